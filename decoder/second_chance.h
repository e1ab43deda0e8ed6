#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "decoder/decoder_records.h"
#include "detection/finder/frame_search.h"
#include "detection/finder/local_threshold.h"

namespace dm {

// Buffers of the second-chance search, kept by a decoder from one image to the next.
struct SecondChanceBuffers {
    BinaryFrame frame;
    FrameSearchScratch search;
    std::vector<uint8_t> levels;
    std::vector<uint8_t> sharpened;
    std::vector<uint8_t> matrix;
};

// What the second chance found: on success the symbol's outer corners (top left, top right,
// bottom right, bottom left in standard orientation, stored pixel coordinates).
struct SecondChanceResult {
    bool decoded = false;
    bool located = false;   // some outline with a finder was found
    bool mirrored = false;  // decoded as the mirror image of the turn asked for
    std::array<Vec2, 4> corners;
};

// Looks for a symbol anywhere in the image (pixel extents as first set), with a threshold per
// tile and a perspective grid, and decodes it. With alsoMirrored, an outline that does not read
// with the turn asked for is read as its mirror image too (the other arm as the solid row), with
// a bound of its own on the refinements. On success state holds the text and status is Success;
// otherwise status says how far the best outline got.
SecondChanceResult decodeAnywhere(const GrayImage& image, FinderTurn turn,
                                  SecondChanceBuffers& buffers, DecodeState& state,
                                  DecodeStatus& status, bool alsoMirrored = false);

}  // namespace dm
