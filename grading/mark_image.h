#pragma once

#include <cstdint>

#include "grading/reflectance_image.h"

namespace dm {

// A direct part mark's picture prepared as a mark verifier prepares it.

// A rectangle of pixels: columns x0 to x1 - 1, rows y0 to y1 - 1.
struct PixelBox {
    int32_t x0 = 0;
    int32_t y0 = 0;
    int32_t x1 = 0;
    int32_t y1 = 0;
};

// The picture with the light gaps between its dark marks closed within the box (the rest as it
// is): the lowest reflectance over a width x width square, then the highest over the same
// square, so that gaps narrower than width pixels fill and the dots of a dot-peen mark join into
// modules with edges to follow. Wider light areas keep their place and edges.
ReflectanceImage closedDarkGaps(const ReflectanceImage& image, int32_t width, PixelBox box);

// Every reflectance r as 1 - r: the picture's negative.
ReflectanceImage negative(const ReflectanceImage& image);

// Every reflectance times factor, held at 1: the picture at another exposure.
ReflectanceImage exposed(const ReflectanceImage& image, double factor);

// The highest mean reflectance of a side x side square anywhere in the picture: its brightest
// area, the stand-in for a calibrated reference where there is none.
double brightestArea(const ReflectanceImage& image, int32_t side);

}  // namespace dm
