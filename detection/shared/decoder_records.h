#pragma once

// The decoder records: the bottom layer that the detection stages (detection/finder,
// detection/sampling) and the decoder driver share. It includes nothing above symbology/.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "symbology/decode_status.h"
#include "symbology/message_format.h"

namespace dm {

// Side of the normalised sampling grid in positions.
inline constexpr int normalisedGridSize = 600;

struct Point {
    int32_t x = 0;
    int32_t y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// Affine map from the normalised grid onto the frame in half-pixel units, split into
// per-column and per-row terms: x = xOfU[u] + xOfV[v], y = yOfU[u] + yOfV[v].
struct SamplingGrid {
    uint16_t uCount = normalisedGridSize;
    uint16_t vCount = normalisedGridSize;
    std::array<float, normalisedGridSize> xOfU{};
    std::array<float, normalisedGridSize> xOfV{};
    std::array<float, normalisedGridSize> yOfU{};
    std::array<float, normalisedGridSize> yOfV{};
};

// The grayscale frame one decode works on. Nothing here is owned. The pixels are either gray
// bytes or the camera's BGR(A) pixels, which are turned to gray only where they are read: a
// decode reads a small part of the frame, so converting all of it first would cost most of the
// time.
struct GrayImage {
    int32_t width = 0;      // pixels; half-pixel extent once the sampling grid is built
    int32_t height = 0;     // likewise
    uint8_t threshold = 0;  // a value <= threshold is dark
    int32_t pixelCount = 0;
    const int32_t* rowOffsets = nullptr;  // height entries, row i at pixels + rowOffsets[i]
    const uint8_t* pixels = nullptr;
    const SamplingGrid* grid = nullptr;
    int32_t bytesPerPixel = 1;  // 1: gray; 3 or 4: blue, green, red (and a spare byte)
};

// gray = (59 G + 30 R + 11 B) / 100, the division done as (x * 5243) >> 19, exact up to 25,500.
inline uint8_t grayOfBgr(const uint8_t* bgr) {
    const uint32_t sum = 59u * bgr[1] + 30u * bgr[2] + 11u * bgr[0];
    return static_cast<uint8_t>((sum * 5243u) >> 19);
}

// Gray value of pixel (x, y), which must lie inside the image as first set (before the
// sampling grid changes its extent).
inline uint8_t grayAt(const GrayImage& image, int32_t x, int32_t y) {
    const uint8_t* row = image.pixels + image.rowOffsets[y];
    if (image.bytesPerPixel == 1)
        return row[x];
    return grayOfBgr(row + static_cast<ptrdiff_t>(x) * image.bytesPerPixel);
}

// grayAt(image, x, y) <= image.threshold. For colour pixels the weighted sum is compared with
// the threshold scaled by 100 instead of being divided: sum / 100 <= t exactly when
// sum < 100 (t + 1).
inline bool isDarkPixel(const GrayImage& image, int32_t x, int32_t y) {
    const uint8_t* row = image.pixels + image.rowOffsets[y];
    if (image.bytesPerPixel == 1)
        return row[x] <= image.threshold;
    const uint8_t* p = row + static_cast<ptrdiff_t>(x) * image.bytesPerPixel;
    return 59u * p[1] + 30u * p[2] + 11u * p[0] < 100u * (image.threshold + 1u);
}

// Buffers that survive from one decode to the next with the same decoder.
struct SamplingCache {
    std::vector<int32_t> rowOffsets;
    std::unique_ptr<SamplingGrid> grid;
    uint32_t frameCounter = 0;
};

struct DecodeState {
    GrayImage image;
    SamplingCache cache;
    int32_t sizeIndex = 0;
    std::vector<uint8_t> moduleMatrix;  // symbolRows x symbolCols, 1 = dark
    uint8_t appendPosition = 0;
    uint8_t appendTotal = 0;
    std::vector<uint8_t> text;  // 2 x dataCodewords + 1 bytes
    int32_t textLength = 0;
    uint8_t fileId1 = 0;
    uint8_t fileId2 = 0;
    MessageFormat format;  // ECIs, FNC1, macro and Reader Programming of the decoded text
};

// How far the finder search got in a frame.
enum class SearchResult : int32_t {
    NothingFound = 0,
    FirstArm = 1,     // a candidate's first arm was confirmed
    FinderFound = 2,  // a whole L was found
};

// What the detection stages find in one frame.
struct DetectionContext {
    GrayImage* image = nullptr;
    Point xEnd;    // far end of the solid arm along the symbol's columns (the solid row)
    Point corner;  // where the two solid arms meet
    Point yEnd;    // far end of the solid arm along the symbol's rows (the solid column)
    int32_t moduleSize = 0;
    SearchResult searchResult = SearchResult::NothingFound;
    int32_t sizeIndex = 0;
    std::vector<uint8_t> moduleMatrix;  // symbolRows x symbolCols, row 0 = solid row
    int32_t matrixBytes = 0;
};

}  // namespace dm
