#include "symbology/symbol_size.h"

#include <gtest/gtest.h>

#include "tests/support/peer_encoders.h"
#include "tests/support/symbol_builders.h"

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
    // The extension sizes, also those less than twice as long as high.
    EXPECT_EQ(findSize(48, 8), kFirstDmre);
    EXPECT_EQ(findSize(36, 20), kFirstDmre + 9);
    EXPECT_EQ(findSize(64, 26), kSizeCount - 1);
    EXPECT_EQ(findSize(26, 48), -1);
}

TEST(SymbolSizeTable, RegionLayoutFollowsTheIndexRanges) {
    EXPECT_EQ(regionLayout(8), RegionLayout::SingleSquare);
    EXPECT_EQ(regionLayout(9), RegionLayout::Square2x2);
    EXPECT_EQ(regionLayout(20), RegionLayout::Square4x4);
    EXPECT_EQ(regionLayout(23), RegionLayout::Square6x6);
    EXPECT_EQ(regionLayout(26), RegionLayout::SingleRectangle);
    EXPECT_EQ(regionLayout(25), RegionLayout::DoubleRectangle);
    EXPECT_EQ(regionLayout(kFirstDmre), RegionLayout::DoubleRectangle);   // 8x48
    EXPECT_EQ(regionLayout(kFirstDmre + 4), RegionLayout::RectangleRow);  // 8x120: 1x6
    EXPECT_EQ(regionLayout(kSizeCount - 1), RegionLayout::RectangleRow);  // 26x64: 1x4
    for (int i = 0; i < kSizeCount; ++i) {
        const SymbolSize& s = symbolSize(i);
        const int expectedRegions = i <= 8 ? 1 : i <= 14 ? 2 : i <= 20 ? 4 : i <= 23 ? 6 : 1;
        EXPECT_EQ(verticalRegions(s), expectedRegions) << i;
    }
}

// zint writes every extension size: the same digits, paired in ASCII as both encoders do, give
// the same symbol module for module, so geometry, codeword counts, blocks and placement agree.
TEST(SymbolSizeTable, ExtensionSizesMatchZintModuleForModule) {
    for (int i = kFirstDmre; i < kSizeCount; ++i) {
        const SymbolSize& s = symbolSize(i);
        SCOPED_TRACE(std::to_string(s.symbolRows) + "x" + std::to_string(s.symbolCols));
        std::string digits;
        for (int k = 0; k < 2 * s.dataCodewords - 3; ++k)
            digits += static_cast<char>('0' + (k * 7 + i) % 10);
        test::ZintOptions options;
        options.size = 31 + i - kFirstDmre;  // zint numbers them 31..48 in the same order
        options.squareOnly = false;
        const auto zint = test::encodeWithZint(test::bytesOf(digits), options);
        ASSERT_TRUE(zint);
        ASSERT_EQ(zint->sizeIndex, i);
        std::vector<uint8_t> pairs;
        for (size_t k = 0; k < digits.size(); k += 2) {
            pairs.push_back(
                k + 1 < digits.size()
                    ? static_cast<uint8_t>(130 + (digits[k] - '0') * 10 + digits[k + 1] - '0')
                    : static_cast<uint8_t>(digits[k] + 1));
        }
        EXPECT_EQ(test::symbolWithData(pairs, i), zint->matrix);
    }
}

}  // namespace
}  // namespace dm
