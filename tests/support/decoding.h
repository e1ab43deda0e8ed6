#pragma once

// Ways into the decoder for tests: a module matrix read back on its own, the finder search
// alone, and camera frames as the decode call's views.

#include <cstdint>
#include <span>
#include <string>

#include "decoder/decode_image.h"
#include "decoder/frame_dib.h"
#include "detection/shared/decoder_records.h"

namespace dm::test {

// A module matrix read through extraction, correction and data decodation, into the given state
// (a fresh one by default). The status starts as NoFinder, which that path never reports.
struct MatrixReading {
    bool ok = false;
    DecodeStatus status = DecodeStatus::NoFinder;
    std::string text;
    DecodeState state;
};
MatrixReading readMatrix(std::span<const uint8_t> matrix, int sizeIndex, DecodeState state = {});

// How many of a symbol's data codewords its message takes: the codewords before the first pad
// as a reader walks the schemes, or all of them when no pad follows.
int dataCodewordsUsed(std::span<const uint8_t> data);

// A 24-bit camera frame as a view: its stored rows bottom-up, or read top-down, which mirrors
// the picture top to bottom.
ImageView frameView(const CFrameDib& frame, RowOrder order = RowOrder::BottomUp);

// Whether the finder search alone, without the frame search, reads the view under
// the threshold variant.
bool finderPassDecodes(const ImageView& view, uint32_t variant);

// Mirrors each row of 24-bit pixels left to right, in place.
void mirrorRows(std::span<uint8_t> pixels, int width, int height, int64_t stride);

}  // namespace dm::test
