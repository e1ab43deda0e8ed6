#include "tests/support/gray_frame.h"

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
