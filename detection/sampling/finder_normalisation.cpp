#include "detection/sampling/finder_normalisation.h"

namespace dm {

bool normaliseFinder(DecodeStatus& status, DetectionContext&, SamplingCache&) {
    status = DecodeStatus::NoFinder;
    return false;
}

}  // namespace dm
