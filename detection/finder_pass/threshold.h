#pragma once

#include <cstdint>
#include <span>

#include "detection/shared/decoder_records.h"

namespace dm {

// Global threshold of the frame from a sparse histogram (every 4th pixel of every 4th row) by an
// iterative mean-of-means rule. variant 0 samples the whole frame, 1 its central half and 2 its
// central three quarters in each direction. A pixel is dark when its value <= the result.
// When no gray level has more than 10 samples the lowest and highest sampled levels bound the
// search (0 and 255 when nothing was sampled).
uint8_t computeThreshold(const GrayImage& image, int variant);

// Turns the matrix upside down: row i and row rowCount - 1 - i swap places. Fails with
// MissingInput when the matrix is shorter than rowLength x rowCount.
bool flipRows(std::span<uint8_t> matrix, int rowLength, int rowCount, DecodeStatus& status);

}  // namespace dm
