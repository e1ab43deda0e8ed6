#include "symbology/symbol_size.h"

#include <gtest/gtest.h>

namespace dm {
namespace {

TEST(SymbolSizeTable, EveryRowKeepsItsInvariants) {
    for (int i = 0; i < kSizeCount; ++i) {
        const SymbolSize& s = symbolSize(i);
        SCOPED_TRACE("sizeIndex " + std::to_string(i));
        const int total = s.dataCodewords + s.eccCodewords;
        const int modules = s.mappingRows * s.mappingCols;
        const bool hasFixedCorner = i == 1 || i == 3 || i == 5 || i == 7;
        EXPECT_EQ(modules, total * 8 + (hasFixedCorner ? 4 : 0));
        EXPECT_EQ(s.blockEccCodewords * s.blockCount, s.eccCodewords);
        int dataSum = 0;
        for (int k = 0; k < s.blockCount; ++k)
            dataSum += blockDataCount(i, k);
        EXPECT_EQ(dataSum, s.dataCodewords);
        EXPECT_EQ(s.symbolRows, s.mappingRows + 2 * verticalRegions(s));
        EXPECT_EQ(s.symbolCols, s.mappingCols + 2 * horizontalRegions(s));
    }
}

TEST(SymbolSizeTable, FindSizeRecognisesSquaresAndLandscapeRectanglesOnly) {
    EXPECT_EQ(findSize(18, 8), 24);
    EXPECT_EQ(findSize(8, 18), -1);
    EXPECT_EQ(findSize(20, 12), -1);
    EXPECT_EQ(findSize(12, 12), 1);
    EXPECT_EQ(findSize(36, 18), -1);
    EXPECT_EQ(findSize(144, 144), 23);
    EXPECT_EQ(findSize(48, 16), 29);
    EXPECT_EQ(findSize(2, 2), -1);
    EXPECT_EQ(findSize(0, 0), -1);
}

TEST(SymbolSizeTable, RegionLayoutFollowsTheIndexRanges) {
    EXPECT_EQ(regionLayout(8), RegionLayout::SingleSquare);
    EXPECT_EQ(regionLayout(9), RegionLayout::Square2x2);
    EXPECT_EQ(regionLayout(20), RegionLayout::Square4x4);
    EXPECT_EQ(regionLayout(23), RegionLayout::Square6x6);
    EXPECT_EQ(regionLayout(26), RegionLayout::SingleRectangle);
    EXPECT_EQ(regionLayout(25), RegionLayout::DoubleRectangle);
    for (int i = 0; i < kSizeCount; ++i) {
        const SymbolSize& s = symbolSize(i);
        const int expectedRegions = i <= 8 ? 1 : i <= 14 ? 2 : i <= 20 ? 4 : i <= 23 ? 6 : 1;
        EXPECT_EQ(verticalRegions(s), expectedRegions) << i;
    }
}

}  // namespace
}  // namespace dm
