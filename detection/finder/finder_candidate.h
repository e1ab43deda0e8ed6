#pragma once

#include <cstdint>
#include <optional>

#include "decoder/decoder_records.h"
#include "detection/finder/finder_search.h"
#include "detection/finder/line_geometry.h"

namespace dm {

// Whether the candidate pixel lies on an arm of a solid L finder. On success the context holds
// corner, xEnd, yEnd (module centres), moduleSize and searchResult FinderFound; searchResult
// becomes FirstArm once a first arm has been confirmed.
bool testFinderCandidate(DetectionContext& context, Point candidate, ScanDirection direction);

}  // namespace dm
