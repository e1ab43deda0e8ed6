#pragma once

#include "decoder/decoder_records.h"

namespace dm {

// Looks for the solid L finder in the thresholded frame. On success the context holds
// corner, xEnd, yEnd and moduleSize; on failure status is NoFinder or NoFinderAfterFirstArm.
bool findFinder(DecodeStatus& status, DetectionContext& context);

}  // namespace dm
