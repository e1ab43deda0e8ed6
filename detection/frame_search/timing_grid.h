#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "detection/frame_search/local_threshold.h"
#include "detection/frame_search/perspective_grid.h"

namespace dm {

// Module centres of a symbol as its alternating sides show them, in the symbol coordinates of
// a map: u of every column (from the far row's edges) and v of every row (from the far
// column's edges). Where a printed or photographed symbol is stretched unevenly (columns that
// narrow across it, a bulge), these follow the modules where the map's even spacing does not.
struct TimingCentres {
    std::vector<double> u;  // cols entries
    std::vector<double> v;  // rows entries
};

// Reads the far row and the far column of a rows x cols symbol through the map and takes the
// module centres from their dark / light edges; nothing when either side does not show exactly
// the edges its alternating modules must give.
std::optional<TimingCentres> timingCentres(const BinaryFrame& frame, const Homography& map,
                                           int32_t rows, int32_t cols);

}  // namespace dm
