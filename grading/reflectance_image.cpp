#include "grading/reflectance_image.h"

#include <algorithm>
#include <cmath>

namespace dm {

double ReflectanceImage::sample(ImagePoint p) const {
    if (width <= 0 || height <= 0)
        return -1;
    const double x = std::clamp(p.x - 0.5, 0.0, width - 1.0);
    const double y = std::clamp(p.y - 0.5, 0.0, height - 1.0);
    const auto x0 = static_cast<int32_t>(x);
    const auto y0 = static_cast<int32_t>(y);
    const int32_t x1 = std::min(x0 + 1, width - 1);
    const int32_t y1 = std::min(y0 + 1, height - 1);
    const double fx = x - x0;
    const double fy = y - y0;
    return (1 - fy) * ((1 - fx) * at(x0, y0) + fx * at(x1, y0)) +
           fy * ((1 - fx) * at(x0, y1) + fx * at(x1, y1));
}

double ReflectanceImage::aperture(ImagePoint p, double diameter) const {
    if (!std::isfinite(p.x) || !std::isfinite(p.y))
        return -1;
    const double radius = std::max(diameter, 0.0) / 2;
    const double r2 = radius * radius;
    // Pixel rows and columns whose centres can lie within the disc.
    const double top = std::ceil(p.y - 0.5 - radius);
    const double bottom = std::floor(p.y - 0.5 + radius);
    double sum = 0;
    int32_t count = 0;
    for (double yy = std::max(top, 0.0); yy <= std::min(bottom, height - 1.0); ++yy) {
        const double dy = yy + 0.5 - p.y;
        const double half = std::sqrt(std::max(r2 - dy * dy, 0.0));
        const double left = std::max(std::ceil(p.x - 0.5 - half), 0.0);
        const double right = std::min(std::floor(p.x - 0.5 + half), width - 1.0);
        const auto y = static_cast<int32_t>(yy);
        for (auto x = static_cast<int32_t>(left); x <= static_cast<int32_t>(right) && left <= right;
             ++x) {
            sum += at(x, y);
            ++count;
        }
    }
    if (count > 0)
        return sum / count;
    const double nx = std::floor(p.x);
    const double ny = std::floor(p.y);
    if (nx < 0 || ny < 0 || nx >= width || ny >= height)
        return -1;
    return at(static_cast<int32_t>(nx), static_cast<int32_t>(ny));
}

ReflectanceImage reflectanceOf(const ImageView& view, Light light) {
    ReflectanceImage out;
    if (!view.isComplete())
        return out;
    const int32_t bpp = bytesPerPixel(view.format);
    const int64_t stride = view.strideBytes();
    out.width = view.width;
    out.height = view.height;
    out.values.resize(static_cast<size_t>(view.width) * view.height);
    for (int32_t y = 0; y < view.height; ++y) {
        const int64_t stored = view.rowOrder == RowOrder::TopDown ? y : view.height - 1 - y;
        const uint8_t* row = view.pixels.data() + stored * stride;
        float* to = out.values.data() + static_cast<size_t>(y) * view.width;
        for (int32_t x = 0; x < view.width; ++x) {
            const uint8_t* p = row + static_cast<ptrdiff_t>(x) * bpp;
            // Pixels are blue, green, red.
            const uint8_t gray = bpp == 1                ? p[0]
                                 : light == Light::Red   ? p[2]
                                 : light == Light::Green ? p[1]
                                 : light == Light::Blue  ? p[0]
                                                         : grayLevel(p[2], p[1], p[0]);
            to[x] = static_cast<float>(gray) / 255.0f;
        }
    }
    return out;
}

}  // namespace dm
