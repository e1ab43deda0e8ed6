#pragma once

// The frame search: finds a symbol anywhere in the frame, under a threshold per tile, and
// samples it through a perspective grid. It reads frames the finder pass cannot (symbols off
// centre, in perspective, on uneven light, stretched unevenly, mirrored), and every frame the
// finder pass reads, but at several times its cost; the reading order (decoder/reading.h) runs
// it after the finder pass.

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "detection/frame_search/local_threshold.h"
#include "detection/frame_search/outline_search.h"
#include "detection/shared/decoder_records.h"

namespace dm {

// Buffers of the frame search, kept by a reader from one image to the next.
struct FrameSearchBuffers {
    BinaryFrame frame;
    OutlineSearchScratch search;
    std::vector<uint8_t> levels;
    std::vector<uint8_t> sharpened;
    std::vector<uint8_t> matrix;
};

// Decodes a sampled module matrix (standard orientation, 1 = dark) of the given size; true when
// it held a message. On failure status says how far the decode got.
using MatrixDecoder =
    std::function<bool(std::span<const uint8_t> matrix, int sizeIndex, DecodeStatus& status)>;

// What the frame search found: on success the symbol's outer corners (top left, top right,
// bottom right, bottom left in standard orientation, stored pixel coordinates); otherwise
// status says how far the best outline got.
struct FrameSearchResult {
    bool decoded = false;
    bool located = false;   // some outline with a finder was found
    bool mirrored = false;  // decoded as the mirror image of the turn asked for
    std::array<PointD, 4> corners;
    DecodeStatus status = DecodeStatus::NoFinder;
};

// Looks for a symbol anywhere in the image (pixel extents as first set) and hands each matrix
// it samples to decode until one decodes. With alsoMirrored, an outline that does not read with
// the turn asked for is read as its mirror image too (the other arm as the solid row), with a
// bound of its own on the refinements.
FrameSearchResult searchWholeFrame(const GrayImage& image, FinderTurn turn,
                                   FrameSearchBuffers& buffers, const MatrixDecoder& decode,
                                   bool alsoMirrored = false);

}  // namespace dm
