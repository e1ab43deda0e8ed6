#include "tests/support/gray_frame.h"

#include <utility>

namespace dm::test {

GrayFrame::GrayFrame(int width, int height, uint8_t fill, uint8_t threshold)
    : pixels(static_cast<size_t>(width) * height, fill), rowOffsets(height) {
    for (int i = 0; i < height; ++i)
        rowOffsets[i] = i * width;
    image.width = width;
    image.height = height;
    image.threshold = threshold;
    image.pixels = pixels.data();
    image.rowOffsets = rowOffsets.data();
}

GrayFrame::GrayFrame(const SynthFrame& synth, uint8_t threshold)
    : GrayFrame(synth.width, synth.height, 0, threshold) {
    pixels = grayPixels(synth);
    image.pixels = pixels.data();
}

GrayFrame::GrayFrame(std::vector<uint8_t> bytes, int width, int height, int bytesPerPixel,
                     int32_t stride, bool reversed)
    : GrayFrame(width, height, 0, 0) {
    pixels = std::move(bytes);
    for (int i = 0; i < height; ++i)
        rowOffsets[i] = (reversed ? height - 1 - i : i) * stride;
    image.pixels = pixels.data();
    image.bytesPerPixel = bytesPerPixel;
}

GrayFrame::GrayFrame(const CFrameDib& frame, bool reversed)
    : GrayFrame(frame.bits, frame.info.bmiHeader.biWidth, frame.info.bmiHeader.biHeight, 3,
                static_cast<int32_t>(CFrameDib::stride(frame.info.bmiHeader.biWidth, 24)),
                reversed) {}

void GrayFrame::fill(int x0, int y0, int x1, int y1, uint8_t value) {
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x)
            set(x, y, value);
    }
}

DetectionContext GrayFrame::finder(Point corner, Point xEnd, Point yEnd, int moduleSize) {
    DetectionContext context;
    context.image = &image;
    context.corner = corner;
    context.xEnd = xEnd;
    context.yEnd = yEnd;
    context.moduleSize = moduleSize;
    return context;
}

}  // namespace dm::test
