#pragma once

#include <array>
#include <cstdint>

namespace dm {

// Geometry and codeword budget of one ECC 200 symbol size.
struct SymbolSize {
    uint16_t symbolRows;
    uint16_t symbolCols;
    uint16_t mappingRows;
    uint16_t mappingCols;
    uint16_t dataCodewords;
    uint16_t eccCodewords;
    uint16_t blockCount;
    uint16_t blockDataCodewords;
    uint16_t blockEccCodewords;
};

inline constexpr int kSizeCount = 48;
inline constexpr int kSquareCount = 24;
// The rectangular extension (DMRE) sizes follow the 30 sizes of the original table.
inline constexpr int kFirstDmre = 30;
inline constexpr int kLargestSquare = 23;  // 144x144
inline constexpr int kMaxDataCodewords = 1558;
inline constexpr int kMaxCodewords = 2178;

// Squares 10x10 ... 144x144, then the rectangles 8x18, 8x32, 12x26, 12x36, 16x36, 16x48, then
// the rectangular extension sizes 8x48 ... 26x64 by rows, then columns.
inline constexpr std::array<SymbolSize, kSizeCount> kSymbolSizes{{
    {10, 10, 8, 8, 3, 5, 1, 3, 5},
    {12, 12, 10, 10, 5, 7, 1, 5, 7},
    {14, 14, 12, 12, 8, 10, 1, 8, 10},
    {16, 16, 14, 14, 12, 12, 1, 12, 12},
    {18, 18, 16, 16, 18, 14, 1, 18, 14},
    {20, 20, 18, 18, 22, 18, 1, 22, 18},
    {22, 22, 20, 20, 30, 20, 1, 30, 20},
    {24, 24, 22, 22, 36, 24, 1, 36, 24},
    {26, 26, 24, 24, 44, 28, 1, 44, 28},
    {32, 32, 28, 28, 62, 36, 1, 62, 36},
    {36, 36, 32, 32, 86, 42, 1, 86, 42},
    {40, 40, 36, 36, 114, 48, 1, 114, 48},
    {44, 44, 40, 40, 144, 56, 1, 144, 56},
    {48, 48, 44, 44, 174, 68, 1, 174, 68},
    {52, 52, 48, 48, 204, 84, 2, 102, 42},
    {64, 64, 56, 56, 280, 112, 2, 140, 56},
    {72, 72, 64, 64, 368, 144, 4, 92, 36},
    {80, 80, 72, 72, 456, 192, 4, 114, 48},
    {88, 88, 80, 80, 576, 224, 4, 144, 56},
    {96, 96, 88, 88, 696, 272, 4, 174, 68},
    {104, 104, 96, 96, 816, 336, 6, 136, 56},
    {120, 120, 108, 108, 1050, 408, 6, 175, 68},
    {132, 132, 120, 120, 1304, 496, 8, 163, 62},
    {144, 144, 132, 132, 1558, 620, 10, 156, 62},
    {8, 18, 6, 16, 5, 7, 1, 5, 7},
    {8, 32, 6, 28, 10, 11, 1, 10, 11},
    {12, 26, 10, 24, 16, 14, 1, 16, 14},
    {12, 36, 10, 32, 22, 18, 1, 22, 18},
    {16, 36, 14, 32, 32, 24, 1, 32, 24},
    {16, 48, 14, 44, 49, 28, 1, 49, 28},
    {8, 48, 6, 44, 18, 15, 1, 18, 15},
    {8, 64, 6, 56, 24, 18, 1, 24, 18},
    {8, 80, 6, 72, 32, 22, 1, 32, 22},
    {8, 96, 6, 88, 38, 28, 1, 38, 28},
    {8, 120, 6, 108, 49, 32, 1, 49, 32},
    {8, 144, 6, 132, 63, 36, 1, 63, 36},
    {12, 64, 10, 56, 43, 27, 1, 43, 27},
    {12, 88, 10, 80, 64, 36, 1, 64, 36},
    {16, 64, 14, 56, 62, 36, 1, 62, 36},
    {20, 36, 18, 32, 44, 28, 1, 44, 28},
    {20, 44, 18, 40, 56, 34, 1, 56, 34},
    {20, 64, 18, 56, 84, 42, 1, 84, 42},
    {22, 48, 20, 44, 72, 38, 1, 72, 38},
    {24, 48, 22, 44, 80, 41, 1, 80, 41},
    {24, 64, 22, 56, 108, 46, 1, 108, 46},
    {26, 40, 24, 36, 70, 38, 1, 70, 38},
    {26, 48, 24, 44, 90, 42, 1, 90, 42},
    {26, 64, 24, 56, 118, 50, 1, 118, 50},
}};

// The short block (blocks 8 and 9) of the 144x144 symbol; only the block decoder reads it.
inline constexpr SymbolSize kShortBlock144{0, 0, 0, 0, 155, 62, 1, 155, 62};

enum class RegionLayout {
    SingleSquare,
    Square2x2,
    Square4x4,
    Square6x6,
    SingleRectangle,
    DoubleRectangle,
    RectangleRow,  // four or six regions side by side (rectangular extension sizes only)
};

constexpr bool isValidSizeIndex(int sizeIndex) {
    return sizeIndex >= 0 && sizeIndex < kSizeCount;
}

constexpr bool isDmre(int sizeIndex) {
    return sizeIndex >= kFirstDmre && sizeIndex < kSizeCount;
}

// The row for sizeIndex; valid for 0..kSizeCount - 1 only (callers check with isValidSizeIndex).
constexpr const SymbolSize& symbolSize(int sizeIndex) {
    return kSymbolSizes[sizeIndex];
}

// Size index from the module counts along the two finder arms, or -1. Squares have equal
// counts; rectangles are recognised with more columns than rows only.
int findSize(int columnCount, int rowCount);

RegionLayout regionLayout(int sizeIndex);

// Data regions across and down the symbol.
constexpr int horizontalRegions(const SymbolSize& s) {
    return (s.symbolCols - s.mappingCols) / 2;
}
constexpr int verticalRegions(const SymbolSize& s) {
    return (s.symbolRows - s.mappingRows) / 2;
}

// Data codewords of block k (equal for all blocks except the short blocks of 144x144).
constexpr int blockDataCount(int sizeIndex, int k) {
    return sizeIndex == kLargestSquare && k >= 8 ? kShortBlock144.blockDataCodewords
                                                 : symbolSize(sizeIndex).blockDataCodewords;
}

}  // namespace dm
