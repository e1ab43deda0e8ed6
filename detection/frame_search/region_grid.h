#pragma once

#include <cstdint>
#include <vector>

#include "detection/frame_search/local_threshold.h"
#include "detection/shared/geometry.h"

namespace dm {

// Gray level of every module of a symbol of several data regions (rows x cols in standard
// orientation, as sampleModules gives them), each region read through a map of its own: the
// whole symbol's map, taken over the region with its finder and alternating sides, moved so
// that those sides and the ones beside them (the neighbouring regions', or the quiet zone) read
// as they must. Where one map cannot follow the whole grid (fine modules whose corners are off
// by a fraction of a module, a label bent around a cylinder), each region's own sides place its
// modules. False for sizes of one region.
bool sampleRegionGrids(const BinaryFrame& frame, const Homography& map, int sizeIndex,
                       std::vector<uint8_t>& levels);

}  // namespace dm
