#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "detection/frame_search/local_threshold.h"
#include "detection/shared/geometry.h"

namespace dm {

// A turn and a size an outline may have.
struct TurnedSize {
    std::array<PointD, 4> corners;  // the outline's corners turned so that its L lies at [3]
    int sizeIndex = 0;
    double score = 0;  // how clearly the sides alternate and stay solid as the size's must
};

// The turns and sizes of an outline whose modules are too fine for its corners to place them
// (2 to 3 pixels, where a located corner may be off by half a module): the two sides beyond
// the L must alternate with the size's period and the L's two sides must read dark. The period
// is read as a whole along each side (the strength of the alternation at exactly that period
// in the side's gray levels), which a corner off by a fraction of a module does not change,
// where reading module by module does. Only sizes with modules of at most maxPitch pixels, at
// most `most` fits, best first.
std::vector<TurnedSize> alternatingFits(const BinaryFrame& frame,
                                        const std::array<PointD, 4>& corners, double maxPitch,
                                        size_t most);

}  // namespace dm
