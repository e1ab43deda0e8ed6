#pragma once

#include <cstdint>
#include <vector>

#include "decoder/frame_dib.h"
#include "detection/shared/decoder_records.h"
#include "tests/support/frame_synth.h"

namespace dm::test {

// A gray frame without row padding and the image record the detection stages read; the record
// points into the frame's own buffers, so a frame is moved, never copied.
struct GrayFrame {
    std::vector<uint8_t> pixels;
    std::vector<int32_t> rowOffsets;
    GrayImage image;

    // width x height pixels of one value.
    GrayFrame(int width, int height, uint8_t fill = 200, uint8_t threshold = 100);
    // A synthesised camera frame as frame intake reads it: stored rows in order (bottom-up).
    GrayFrame(const SynthFrame& synth, uint8_t threshold);
    // Pixels of bytesPerPixel bytes (blue, green, red and a spare byte), stored rows stride bytes
    // apart, read in stored order or reversed (which mirrors the picture top to bottom).
    GrayFrame(std::vector<uint8_t> bytes, int width, int height, int bytesPerPixel, int32_t stride,
              bool reversed = false);
    // A 24-bit camera frame's stored rows, likewise.
    GrayFrame(const CFrameDib& frame, bool reversed);
    GrayFrame(GrayFrame&&) = default;
    GrayFrame(const GrayFrame&) = delete;
    GrayFrame& operator=(const GrayFrame&) = delete;

    void set(int x, int y, uint8_t value) {
        pixels[static_cast<size_t>(y) * image.width + x] = value;
    }
    // Pixels x0 <= x < x1, y0 <= y < y1.
    void fill(int x0, int y0, int x1, int y1, uint8_t value);

    // A context for the detection stages with the finder given by hand.
    DetectionContext finder(Point corner, Point xEnd, Point yEnd, int moduleSize);
};

}  // namespace dm::test
