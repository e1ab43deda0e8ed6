#pragma once

#include <cstdint>
#include <span>

#include "detection/finder_pass/symbol_measurement.h"
#include "detection/shared/decoder_records.h"

namespace dm {

// One data region: solid first row and column, alternating last row and column, all in the
// normalised grid with the region's corner module at the top left.
struct RegionRecord {
    const GrayImage* image = nullptr;
    Point origin;                           // centre of the corner module
    std::span<const Point> farColumnMarks;  // mark k: far column, region row 2k
    int32_t rows = 0;
    std::span<const Point> farRowMarks;  // mark k: far row, region column 2k
    int32_t columns = 0;
    std::span<uint8_t> modules;  // rows x columns, row-major, 1 = dark
};

// Samples the region's interior where its row and column lines cross and writes the known
// border. False when the region does not fit the image or its marks or buffer are short.
bool sampleRegion(const RegionRecord& region);

// 1 when the grid position (x = u, y = v) is dark.
uint8_t isDarkAt(const GrayImage& image, Point point);

// Point halfway between a and b, each coordinate divided with truncation.
constexpr Point midpoint(Point a, Point b) {
    return {(a.x + b.x) / 2, (a.y + b.y) / 2};
}

// Samples the whole symbol as one region (squares up to 26 x 26 and the rectangles) into the
// context's module matrix; GridLost when it does not fit.
bool sampleSingleRegion(DecodeStatus& status, const TimingRecord& timing,
                        DetectionContext& context);

}  // namespace dm
