#include "symbology/placement.h"

#include <gtest/gtest.h>

#include <random>

#include "symbology/symbol_size.h"
#include "tests/support/printers.h"
#include "tests/support/symbol_builders.h"

namespace dm {
namespace {

std::vector<uint8_t> randomCodewords(int sizeIndex, std::mt19937& rng) {
    const SymbolSize& s = symbolSize(sizeIndex);
    std::vector<uint8_t> stream(s.dataCodewords + s.eccCodewords);
    for (auto& c : stream)
        c = static_cast<uint8_t>(rng());
    return stream;
}

using test::codewordsOf;

TEST(Placement, EveryStreamOfEverySizeReadsBack) {
    std::mt19937 rng(3);
    for (int i = 0; i < kSizeCount; ++i) {
        for (int trial = 0; trial < 3; ++trial) {
            const auto stream = randomCodewords(i, rng);
            const auto matrix = placeCodewords(stream, i);
            const SymbolSize& s = symbolSize(i);
            ASSERT_EQ(matrix.size(), static_cast<size_t>(s.symbolRows) * s.symbolCols) << i;
            EXPECT_EQ(codewordsOf(matrix, i), stream) << "sizeIndex " << i;
        }
    }
}

TEST(Placement, EveryRegionIsFramedBySolidAndAlternatingLines) {
    std::mt19937 rng(5);
    for (int i = 0; i < kSizeCount; ++i) {
        const SymbolSize& s = symbolSize(i);
        const auto m = placeCodewords(randomCodewords(i, rng), i);
        const int h = s.symbolRows / verticalRegions(s);
        const int w = s.symbolCols / horizontalRegions(s);
        for (int r = 0; r < s.symbolRows; ++r) {
            for (int c = 0; c < s.symbolCols; ++c) {
                const uint8_t v = m[r * s.symbolCols + c];
                const int rr = r % h, cc = c % w;
                SCOPED_TRACE("sizeIndex " + std::to_string(i) + " at " + std::to_string(r) + "," +
                             std::to_string(c));
                if (cc == 0 || rr == h - 1) {
                    ASSERT_EQ(v, 1);
                } else if (rr == 0) {
                    ASSERT_EQ(v, cc % 2 == 0);
                } else if (cc == w - 1) {
                    ASSERT_EQ(v, rr % 2);
                }
            }
        }
    }
}

TEST(Placement, TenByTenPutsTheFirstCodewordWhereTheSweepSays) {
    // Only codeword 1 dark: its eight modules show where the sweep put it, inside the frame of
    // solid left and bottom, alternating top and right lines.
    std::vector<uint8_t> stream(8, 0);
    stream[0] = 0xFF;
    EXPECT_EQ(test::matrixText(placeCodewords(stream, 0), 10, 10),
              "#.#.#.#.#.\n"
              "#........#\n"
              "#.........\n"
              "#......###\n"
              "##.....##.\n"
              "##.....###\n"
              "#.........\n"
              "#........#\n"
              "#.........\n"
              "##########\n");
    // Position (0,0) is bit 1 of codeword 2 and (7,7) bit 6 of codeword 7.
    stream = std::vector<uint8_t>(8, 0);
    stream[1] = 0x80;
    stream[6] = 0x04;
    const auto m2 = placeCodewords(stream, 0);
    EXPECT_EQ(m2[1 * 10 + 1], 1);
    EXPECT_EQ(m2[8 * 10 + 8], 1);
}

TEST(Placement, FixedCornerOfTwelveByTwelveCarriesNoData) {
    std::mt19937 rng(9);
    const auto stream = randomCodewords(1, rng);
    auto m = placeCodewords(stream, 1);
    // Mapping positions (8,8),(9,9) dark and (8,9),(9,8) light; symbol = mapping + 1.
    EXPECT_EQ(m[10 * 12 + 10], 1);
    EXPECT_EQ(m[9 * 12 + 9], 1);
    EXPECT_EQ(m[9 * 12 + 10], 0);
    EXPECT_EQ(m[10 * 12 + 9], 0);
    for (int idx : {9 * 12 + 9, 9 * 12 + 10, 10 * 12 + 9, 10 * 12 + 10})
        m[idx] ^= 1;
    EXPECT_EQ(codewordsOf(m, 1), stream);
}

TEST(Placement, AlignmentBarsContributeNoBits) {
    std::mt19937 rng(21);
    const auto stream = randomCodewords(9, rng);  // 32x32: bars at rows/cols 15 and 16
    auto m = placeCodewords(stream, 9);
    for (int k = 0; k < 32; ++k) {
        m[15 * 32 + k] ^= 1;
        m[16 * 32 + k] ^= 1;
        m[k * 32 + 15] ^= 1;
        m[k * 32 + 16] ^= 1;
    }
    EXPECT_EQ(codewordsOf(m, 9), stream);
}

TEST(Extraction, OnlyTheValueOneCountsAsDark) {
    std::mt19937 rng(23);
    const auto stream = randomCodewords(0, rng);
    const auto m = placeCodewords(stream, 0);
    auto lightAsTwo = m;
    for (auto& v : lightAsTwo)
        v = v ? 1 : 2;
    EXPECT_EQ(codewordsOf(lightAsTwo, 0), stream);
    auto darkAsTwo = m;
    for (auto& v : darkAsTwo)
        v = v ? 2 : 0;
    EXPECT_EQ(codewordsOf(darkAsTwo, 0), std::vector<uint8_t>(stream.size(), 0));
}

TEST(Extraction, RefusesMissingInputsAndUnknownSizes) {
    std::vector<uint8_t> matrix(100, 0), out(8);
    DecodeStatus status = DecodeStatus::Success;
    EXPECT_FALSE(extractCodewords({}, 0, out, status));
    EXPECT_EQ(status, DecodeStatus::MissingInput);
    EXPECT_FALSE(extractCodewords(matrix, kSizeCount, out, status));
    EXPECT_EQ(status, DecodeStatus::SizeIndexOutOfRange);
    EXPECT_FALSE(extractCodewords(matrix, -1, out, status));
    EXPECT_EQ(status, DecodeStatus::SizeIndexOutOfRange);
    std::vector<uint8_t> small(10);
    EXPECT_FALSE(extractCodewords(small, 0, out, status));
    EXPECT_EQ(status, DecodeStatus::MissingInput);
}

TEST(Plausibility, OnlyAMatrixWithItsBorderAndBothColoursLooksLikeASymbol) {
    std::mt19937 rng(29);
    for (const int i : {0, 14, kLargestSquare, kSizeCount - 1}) {
        const SymbolSize& s = symbolSize(i);
        const auto symbol = placeCodewords(randomCodewords(i, rng), i);
        EXPECT_TRUE(looksLikeASymbol(symbol, i)) << "sizeIndex " << i;
        EXPECT_FALSE(looksLikeASymbol(std::vector<uint8_t>(symbol.size(), 0), i)) << i;
        EXPECT_FALSE(looksLikeASymbol(std::vector<uint8_t>(symbol.size(), 1), i)) << i;
        auto noFinder = symbol;
        for (int r = 0; r < s.symbolRows; ++r)
            noFinder[static_cast<size_t>(r) * s.symbolCols] = 0;
        for (int c = 0; c < s.symbolCols; ++c)
            noFinder[static_cast<size_t>(s.symbolRows - 1) * s.symbolCols + c] = 0;
        EXPECT_FALSE(looksLikeASymbol(noFinder, i)) << i;
        EXPECT_FALSE(looksLikeASymbol(std::span(symbol).first(symbol.size() - 1), i)) << i;
    }
    EXPECT_FALSE(looksLikeASymbol(std::vector<uint8_t>(100, 1), kSizeCount));
}

}  // namespace
}  // namespace dm
