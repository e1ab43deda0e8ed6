#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "decoder/decoder_records.h"

namespace dm {

// Coefficients of x = a*u + b*v + c, y = d*u + e*v + f (x, y in half-pixel frame units).
struct AffineMap {
    float a = 0;
    float b = 0;
    float c = 0;
    float d = 0;
    float e = 0;
    float f = 0;
};

// Validates the finder and lays the normalised sampling grid over the frame. On success the
// context's points are normalised and the image switches to half-pixel extents; on failure
// status is FinderOutsideImage or OutOfMemory and nothing is changed.
bool normaliseFinder(DecodeStatus& status, DetectionContext& context, SamplingCache& cache);

// Gray value at normalised row v, column u; 255 when that maps outside the frame or the grid.
uint8_t gridSample(const GrayImage& image, int32_t v, int32_t u);

// Map that takes the three grid points onto the three frame points (in the same order);
// nothing when the grid points are collinear.
std::optional<AffineMap> solveAffine(const std::array<Point, 3>& gridPoints,
                                     const std::array<Point, 3>& framePoints);

// Bounds of walks over the normalised grid: the image's half-pixel extents, but never less
// than the grid itself, so that a frame under 300 pixels a side still offers the whole grid.
inline int32_t gridWalkWidth(const GrayImage& image) {
    return std::max<int32_t>(image.width, normalisedGridSize);
}
inline int32_t gridWalkHeight(const GrayImage& image) {
    return std::max<int32_t>(image.height, normalisedGridSize);
}

// Euclidean distance rounded to the nearest integer.
int32_t roundedDistance(Point p, Point q);

// Mean of |p1 - p0| and |p2 - p1|, truncated; p1 is the corner.
int32_t meanArmLength(Point p0, Point p1, Point p2);

}  // namespace dm
