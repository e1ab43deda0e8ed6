#include "detection/sampling/symbol_measurement.h"

namespace dm {

bool measureSymbol(DecodeStatus& status, DetectionContext&) {
    status = DecodeStatus::NoFinder;
    return false;
}

}  // namespace dm
