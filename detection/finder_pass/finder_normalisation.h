#pragma once

#include <algorithm>
#include <cstdint>

#include "detection/shared/decoder_records.h"

namespace dm {

// Validates the finder and lays the normalised sampling grid over the frame. On success the
// context's points are normalised and the image switches to half-pixel extents; on failure
// status is FinderOutsideImage or OutOfMemory and nothing is changed.
bool normaliseFinder(DecodeStatus& status, DetectionContext& context, SamplingCache& cache);

// Gray value at normalised row v, column u; 255 when that maps outside the frame or the grid.
uint8_t gridSample(const GrayImage& image, int32_t v, int32_t u);

// Bounds of walks over the normalised grid: the image's half-pixel extents, but never less
// than the grid itself, so that a frame under 300 pixels a side still offers the whole grid.
inline int32_t gridWalkWidth(const GrayImage& image) {
    return std::max<int32_t>(image.width, normalisedGridSize);
}
inline int32_t gridWalkHeight(const GrayImage& image) {
    return std::max<int32_t>(image.height, normalisedGridSize);
}

}  // namespace dm
