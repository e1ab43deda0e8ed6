#include "encoder/message_encoder.h"

#include <gtest/gtest.h>

#include <string>

#include "encoder/encodation.h"
#include "symbology/symbol_size.h"

namespace dm {
namespace {

std::vector<uint8_t> dataCodewords(const EncodedSymbol& s) {
    const int d = symbolSize(s.sizeIndex).dataCodewords;
    return {s.codewords.begin(), s.codewords.begin() + d};
}

TEST(AsciiEncodation, WorkedExamples) {
    struct Case {
        std::string message;
        std::vector<uint8_t> data;
        int sizeIndex;
    };
    const std::vector<Case> cases = {
        {"A", {66, 129, 70}, 0},  // one pad, then a randomised pad
        {"AB", {66, 67, 129}, 0},
        {"123456", {142, 164, 186}, 0},  // exactly full, no pad
        {"12345", {142, 164, 54}, 0},    // pairs, then the odd digit alone
        {"\r\n", {14, 11, 129}, 0},
        {"1A2", {50, 66, 51}, 0},            // a digit before a letter is not paired
        {"ABCD", {66, 67, 68, 69, 129}, 1},  // four codewords choose 12x12
        {"ABCD1", {66, 67, 68, 69, 50}, 1},
    };
    for (const auto& c : cases) {
        const auto symbol = EncodeMessage(c.message);
        ASSERT_TRUE(symbol) << c.message;
        EXPECT_EQ(symbol->sizeIndex, c.sizeIndex) << c.message;
        auto data = dataCodewords(*symbol);
        EXPECT_EQ(data, c.data) << c.message;
    }
}

TEST(AsciiEncodation, BytesAboveAsciiUseUpperShift) {
    const std::string chinese = "\xD6\xD0";  // one GBK character
    const auto symbol = EncodeMessage(chinese);
    ASSERT_TRUE(symbol);
    EXPECT_EQ(std::vector<uint8_t>(symbol->codewords.begin(), symbol->codewords.begin() + 4),
              (std::vector<uint8_t>{235, 0xD6 - 127, 235, 0xD0 - 127}));
    // The pad after four codewords of a 12x12 symbol is randomised: 129 + (149 * 6) mod 253 + 1.
    EXPECT_EQ(symbol->codewords[4], 129);
    EXPECT_EQ(symbol->sizeIndex, 1);  // four codewords need 12x12
}

TEST(SymbolChoice, LargestSymbolLimits) {
    std::string chinese389, chinese390;
    for (int i = 0; i < 389; ++i)
        chinese389 += "\xD6\xD0";
    chinese390 = chinese389 + "\xD6\xD0";
    const auto fits = EncodeMessage(chinese389);
    ASSERT_TRUE(fits);
    EXPECT_EQ(fits->sizeIndex, kLargestSquare);
    EXPECT_FALSE(EncodeMessage(chinese390));

    const auto digits = EncodeMessage(std::string(3116, '7'));
    ASSERT_TRUE(digits);
    EXPECT_EQ(digits->sizeIndex, kLargestSquare);
    EXPECT_EQ(digits->side, 144);
    EXPECT_EQ(digits->codewords[kMaxDataCodewords - 1], 130 + 77);  // last pair, no pad
    EXPECT_FALSE(EncodeMessage(std::string(3117, '7')));
    EXPECT_FALSE(EncodeMessage(std::string(1559, 'a')));
    EXPECT_TRUE(EncodeMessage(std::string(1558, 'a')));
    EXPECT_FALSE(EncodeMessage(std::string()));
    // A long run of high bytes must not overrun anything.
    EXPECT_FALSE(EncodeMessage(std::string(3116, '\xFF')));
}

TEST(SymbolChoice, EachSquareIsChosenAtItsCapacity) {
    for (int i = 0; i < kSquareCount; ++i) {
        const int capacity = symbolSize(i).dataCodewords;
        const auto exact = EncodeMessage(std::string(capacity, 'x'));
        ASSERT_TRUE(exact);
        EXPECT_EQ(exact->sizeIndex, i);
        EXPECT_EQ(exact->side, symbolSize(i).symbolCols);
        EXPECT_EQ(exact->moduleMatrix.size(), static_cast<size_t>(exact->side) * exact->side);
        if (i + 1 < kSquareCount) {
            const auto over = EncodeMessage(std::string(capacity + 1, 'x'));
            ASSERT_TRUE(over);
            EXPECT_EQ(over->sizeIndex, i + 1);
        }
    }
}

TEST(AsciiEncodation, CodewordCountMatchesTheEncoder) {
    const std::string mixed =
        "12a\xB0\xA1"
        "9";
    EXPECT_EQ(asciiCodewordCount({reinterpret_cast<const uint8_t*>(mixed.data()), mixed.size()}),
              1 + 1 + 2 + 2 + 1);
    const std::string many(4000, '\x80');
    EXPECT_EQ(asciiCodewordCount({reinterpret_cast<const uint8_t*>(many.data()), many.size()}),
              8000);
}

}  // namespace
}  // namespace dm
