#include "grading/mark_image.h"

#include <algorithm>
#include <vector>

namespace dm {
namespace {

// The lowest (or highest) value over a window of width along each row, then each column, for
// the pixels of the box; the window centred on the pixel, cut at the box's sides. Pixels outside
// the box keep their values.
std::vector<float> squareFilter(const ReflectanceImage& image, int32_t width, bool lowest,
                                const PixelBox& box) {
    const int32_t w = image.width;
    const int32_t before = (width - 1) / 2;
    const int32_t after = width - 1 - before;
    auto pick = [lowest](float a, float b) { return lowest ? std::min(a, b) : std::max(a, b); };
    std::vector<float> across = image.values;
    for (int32_t y = box.y0; y < box.y1; ++y) {
        const float* row = image.values.data() + static_cast<size_t>(y) * w;
        for (int32_t x = box.x0; x < box.x1; ++x) {
            float v = row[x];
            for (int32_t k = std::max(box.x0, x - before); k <= std::min(box.x1 - 1, x + after);
                 ++k)
                v = pick(v, row[k]);
            across[static_cast<size_t>(y) * w + x] = v;
        }
    }
    std::vector<float> out = across;
    for (int32_t y = box.y0; y < box.y1; ++y) {
        for (int32_t x = box.x0; x < box.x1; ++x) {
            float v = across[static_cast<size_t>(y) * w + x];
            for (int32_t k = std::max(box.y0, y - before); k <= std::min(box.y1 - 1, y + after);
                 ++k)
                v = pick(v, across[static_cast<size_t>(k) * w + x]);
            out[static_cast<size_t>(y) * w + x] = v;
        }
    }
    return out;
}

}  // namespace

ReflectanceImage closedDarkGaps(const ReflectanceImage& image, int32_t width, PixelBox box) {
    box.x0 = std::clamp(box.x0, 0, image.width);
    box.x1 = std::clamp(box.x1, box.x0, image.width);
    box.y0 = std::clamp(box.y0, 0, image.height);
    box.y1 = std::clamp(box.y1, box.y0, image.height);
    if (width < 2 || image.width <= 0)
        return image;
    ReflectanceImage darkened{image.width, image.height, squareFilter(image, width, true, box)};
    return {image.width, image.height, squareFilter(darkened, width, false, box)};
}

ReflectanceImage negative(const ReflectanceImage& image) {
    ReflectanceImage out = image;
    for (float& v : out.values)
        v = 1.0f - v;
    return out;
}

ReflectanceImage exposed(const ReflectanceImage& image, double factor) {
    ReflectanceImage out = image;
    for (float& v : out.values)
        v = std::min(1.0f, static_cast<float>(v * factor));
    return out;
}

double brightestArea(const ReflectanceImage& image, int32_t side) {
    const int32_t w = image.width;
    const int32_t h = image.height;
    if (w <= 0 || h <= 0)
        return 0;
    side = std::clamp(side, 1, std::min(w, h));
    // Sums over the rectangle from (0, 0) to each pixel, one row and column of zeros before.
    std::vector<double> sums(static_cast<size_t>(w + 1) * (h + 1));
    auto at = [&](int32_t x, int32_t y) -> double& {
        return sums[static_cast<size_t>(y) * (w + 1) + x];
    };
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x)
            at(x + 1, y + 1) = image.at(x, y) + at(x, y + 1) + at(x + 1, y) - at(x, y);
    }
    double best = 0;
    for (int32_t y = side; y <= h; ++y) {
        for (int32_t x = side; x <= w; ++x)
            best = std::max(best,
                            at(x, y) - at(x - side, y) - at(x, y - side) + at(x - side, y - side));
    }
    return best / (static_cast<double>(side) * side);
}

}  // namespace dm
