#pragma once

#include <cstdint>
#include <optional>

#include "detection/finder_pass/finder_search.h"
#include "detection/finder_pass/line_geometry.h"
#include "detection/shared/decoder_records.h"

namespace dm {

// Whether the candidate pixel lies on an arm of a solid L finder. On success the context holds
// corner, xEnd, yEnd (module centres), moduleSize and searchResult FinderFound; searchResult
// becomes FirstArm once a first arm has been confirmed.
bool testFinderCandidate(DetectionContext& context, Point candidate, ScanDirection direction);

}  // namespace dm
