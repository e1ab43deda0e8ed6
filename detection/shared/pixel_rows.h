#pragma once

#include <cstddef>
#include <cstdint>

// Rows of pixels turned into gray: the conversion every reading of a colour frame starts with,
// the halving that large frames are searched at, and the smoothing and block statistics of the
// local threshold. Vectorised where the processor allows
// (chosen once, at the first call); the scalar functions give the same bytes and are the
// reference the vectorised ones are tested against.

namespace dm {

// count pixels of 1, 3 or 4 bytes (gray; blue, green, red; and a fourth byte not read) into
// count gray levels: gray pixels as they are, colour ones as (59 G + 30 R + 11 B) / 100 rounded
// down.
void grayRow(const uint8_t* pixels, int32_t bytesPerPixel, uint8_t* out, size_t count);

// count gray levels of the half-resolution row under two full rows: each the gray of the mean
// colour of a 2 x 2 block, every channel's mean rounded ((sum + 2) / 4); for gray pixels the
// rounded mean of the four. top and bottom hold 2 count pixels each.
void halvedGrayRow(const uint8_t* top, const uint8_t* bottom, int32_t bytesPerPixel, uint8_t* out,
                   size_t count);

// The same computed a pixel at a time.
void grayRowScalar(const uint8_t* pixels, int32_t bytesPerPixel, uint8_t* out, size_t count);
void halvedGrayRowScalar(const uint8_t* top, const uint8_t* bottom, int32_t bytesPerPixel,
                         uint8_t* out, size_t count);

// The rows of the local threshold. rowSums: w >= 2 gray levels under [1 2 1] (the edge pixel
// repeated at both ends). smoothedRow: w levels from the sums of a row and the rows above and
// below, the gray under [1 2 1] x [1 2 1] / 16, rounded. addBlockRow: blocks 2 x 2 blocks of
// two rows (2 blocks pixels each) summed, each sum taken into the lowest, highest and
// running (16-bit, wrapping) sum of its column.
void rowSums(const uint8_t* gray, uint16_t* sums, size_t w);
void smoothedRow(const uint16_t* above, const uint16_t* here, const uint16_t* below, uint8_t* out,
                 size_t w);
void addBlockRow(const uint8_t* top, const uint8_t* bottom, uint16_t* low, uint16_t* high,
                 uint16_t* sum, size_t blocks);

// The same computed a pixel at a time.
void rowSumsScalar(const uint8_t* gray, uint16_t* sums, size_t w);
void smoothedRowScalar(const uint16_t* above, const uint16_t* here, const uint16_t* below,
                       uint8_t* out, size_t w);
void addBlockRowScalar(const uint8_t* top, const uint8_t* bottom, uint16_t* low, uint16_t* high,
                       uint16_t* sum, size_t blocks);

// The instruction set the vectorised rows run on: "AVX2", "SSE4", the compiler's target
// (other processors) or "scalar".
const char* pixelRowTarget();

}  // namespace dm
