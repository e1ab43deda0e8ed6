#include "detection/finder/finder_search.h"

namespace dm {

bool findFinder(DecodeStatus& status, DetectionContext& context) {
    context.searchResult = 0;
    status = DecodeStatus::NoFinder;
    return false;
}

}  // namespace dm
