#pragma once

#include <cstdint>

#include "detection/shared/decoder_records.h"

namespace dm {

// Start point of a directional scan. A scan visits radius + 1 positions from the seed on.
struct SearchSeed {
    int32_t x = 0;
    int32_t y = 0;
    int32_t radius = 0;
};

// Direction of the scan that found a candidate pixel.
enum class ScanDirection : int32_t { Left = 1, Right = 2, Down = 3, Up = 4 };

// Looks for the solid L finder in the thresholded frame. On success the context holds
// corner, xEnd, yEnd and moduleSize; on failure status is NoFinder or NoFinderAfterFirstArm.
bool findFinder(DecodeStatus& status, DetectionContext& context);

}  // namespace dm
