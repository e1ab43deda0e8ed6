#pragma once

#include <cstdint>

#include "grading/reflectance_image.h"

namespace dm {

// A direct part mark's picture prepared as a mark verifier prepares it.

// The picture with the light gaps between its dark marks closed: the lowest reflectance over a
// width x width square, then the highest over the same square, so that gaps narrower than width
// pixels fill and the dots of a dot-peen mark join into modules with edges to follow. Wider light
// areas keep their place and edges.
ReflectanceImage closedDarkGaps(const ReflectanceImage& image, int32_t width);

// Every reflectance times factor, held at 1: the picture at another exposure.
ReflectanceImage exposed(const ReflectanceImage& image, double factor);

// The highest mean reflectance of a side x side square anywhere in the picture: its brightest
// area, the stand-in for a calibrated reference where there is none.
double brightestArea(const ReflectanceImage& image, int32_t side);

}  // namespace dm
