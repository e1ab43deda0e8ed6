// The driver after detection (decodeModuleMatrix), the Decoder's own bookkeeping, and bad input.
#include "decoder/decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "decoder/data_decodation.h"
#include "encoder/message_encoder.h"
#include "symbology/symbol_size.h"
#include "tests/support/printers.h"
#include "tests/support/symbol_builders.h"

namespace dm {
namespace {

using test::symbolWithData;

TEST(DecodeModuleMatrix, OwnEncoderSymbolsReadBack) {
    for (const std::string& message :
         std::vector<std::string>{"A", "123456", "Hello, Data Matrix!", std::string(600, 'q')}) {
        const auto encoded = EncodeMessage(message);
        ASSERT_TRUE(encoded.has_value());
        SCOPED_TRACE("size " + std::to_string(encoded->sizeIndex));
        DecodeState state;
        DecodeStatus status = DecodeStatus::NoFinder;
        ASSERT_TRUE(decodeModuleMatrix(encoded->moduleMatrix, encoded->sizeIndex, state, status));
        EXPECT_EQ(status, DecodeStatus::Success);
        EXPECT_EQ(std::string(state.text.begin(), state.text.end()), message);
        EXPECT_EQ(state.textLength, static_cast<int>(message.size()));
        EXPECT_EQ(state.sizeIndex, encoded->sizeIndex);
    }
}

// The text is delivered whole, far beyond the 1,023 bytes the product's result buffer held.
TEST(DecodeModuleMatrix, LongestTextIsDeliveredWhole) {
    const std::string digits(3116, '5');
    const auto encoded = EncodeMessage(digits);
    ASSERT_TRUE(encoded.has_value());
    ASSERT_EQ(encoded->sizeIndex, kLargestSquare);
    DecodeState state;
    DecodeStatus status = DecodeStatus::NoFinder;
    ASSERT_TRUE(decodeModuleMatrix(encoded->moduleMatrix, encoded->sizeIndex, state, status));
    EXPECT_EQ(std::string(state.text.begin(), state.text.end()), digits);
}

TEST(DecodeModuleMatrix, EveryFailureReportsItsStatus) {
    struct Case {
        const char* name;
        std::vector<uint8_t> matrix;
        int sizeIndex;
        DecodeStatus expected;
    };
    std::vector<uint8_t> clean = symbolWithData({'O' + 1, 'K' + 1}, 0);
    std::vector<uint8_t> smudged = clean;
    for (int c = 1; c < 9; ++c)
        smudged[5 * 10 + c] ^= 1;  // one row of every codeword it crosses
    for (int r = 1; r < 9; ++r)
        smudged[r * 10 + 3] ^= 1;
    const std::vector<Case> cases = {
        {"size index 30", clean, kSizeCount, DecodeStatus::SizeIndexOutOfRange},
        {"size index -1", clean, -1, DecodeStatus::SizeIndexOutOfRange},
        {"no matrix", {}, 0, DecodeStatus::MissingInput},
        {"matrix too short", std::vector<uint8_t>(99), 0, DecodeStatus::MissingInput},
        {"uncorrectable", smudged, 0, DecodeStatus::BlockUncorrectable},
        {"Upper Shift at the end", symbolWithData({'A' + 1, 'B' + 1, 235}, 0), 0,
         DecodeStatus::DataDecodationFailed},
        {"C40 value out of range", symbolWithData({230, 253, 1}, 0), 0,
         DecodeStatus::DataDecodationFailed},
        {"clean", clean, 0, DecodeStatus::Success},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DecodeState state;
        DecodeStatus status = DecodeStatus::NoFinder;
        const bool ok = decodeModuleMatrix(c.matrix, c.sizeIndex, state, status);
        EXPECT_EQ(ok, c.expected == DecodeStatus::Success);
        EXPECT_EQ(status, c.expected);
        if (!ok) {
            EXPECT_TRUE(state.text.empty());
        }
    }
}

TEST(DecodeModuleMatrix, StructuredAppendFieldsDoNotLeakIntoTheNextSymbol) {
    DecodeState state;
    DecodeStatus status = DecodeStatus::Success;
    ASSERT_TRUE(
        decodeModuleMatrix(symbolWithData({233, 0x1E, 5, 6, 'x' + 1}, 2), 2, state, status));
    EXPECT_EQ(state.appendPosition, 2);
    ASSERT_TRUE(decodeModuleMatrix(symbolWithData({'y' + 1}, 0), 0, state, status));
    EXPECT_EQ(state.appendPosition, 0);
    EXPECT_EQ(state.appendTotal, 0);
    EXPECT_EQ(std::string(state.text.begin(), state.text.end()), "y");
}

TEST(DecoderObject, FailedImageLeavesTextAndKeepsTheCache) {
    Decoder decoder;
    std::string out = "unchanged";
    const std::vector<uint8_t> blank(64 * 48, 200);
    for (int i = 0; i < 4; ++i) {
        EXPECT_FALSE(decoder.decode(blank, out, 64, 48));
        EXPECT_EQ(decoder.status, DecodeStatus::NoFinder);
    }
    EXPECT_EQ(out, "unchanged");
    // The threshold variant cycles with the images a decoder sees; the row offsets stay.
    EXPECT_EQ(decoder.state.cache.frameCounter, 4u);
    EXPECT_EQ(decoder.state.cache.rowOffsets.size(), 48u);
    EXPECT_EQ(decoder.state.image.pixels, nullptr);
    EXPECT_EQ(decoder.resultSizeIndex, -1);

    // A smaller image after a larger one rebuilds the offsets for its own rows.
    const std::vector<uint8_t> small(20 * 12, 200);
    EXPECT_FALSE(decoder.decode(small, out, 20, 12));
    ASSERT_EQ(decoder.state.cache.rowOffsets.size(), 12u);
    EXPECT_EQ(decoder.state.cache.rowOffsets[11], 11 * 20);

    // Pixels that do not fill the image are refused before any is read or a frame is counted.
    EXPECT_FALSE(decoder.decode(std::span(small).first(20 * 11), out, 20, 12));
    EXPECT_EQ(decoder.status, DecodeStatus::MissingInput);
    EXPECT_FALSE(decoder.decode(small, out, 0, 12));
    EXPECT_EQ(decoder.status, DecodeStatus::MissingInput);
    EXPECT_EQ(decoder.state.cache.frameCounter, 5u);
}

// Random input must never crash or write out of bounds (run under the sanitizer preset too).
TEST(DecoderRobustness, RandomCodewordStreamsIntoDataDecodation) {
    std::mt19937 rng(99);
    // Bias toward the codewords that switch schemes so every decoder gets exercised.
    const uint8_t latches[] = {230, 231, 232, 233, 234, 235, 236,
                               237, 238, 239, 240, 241, 254, 129};
    for (int trial = 0; trial < 4000; ++trial) {
        std::vector<uint8_t> data(1 + rng() % (trial % 10 == 0 ? kMaxDataCodewords : 60));
        for (auto& c : data)
            c = rng() % 4 == 0 ? latches[rng() % std::size(latches)] : rng() & 255;
        std::vector<uint8_t> text;
        DecodeState state;
        DecodeStatus status = DecodeStatus::Success;
        const bool ok = decodeData(data, text, state, status);
        EXPECT_LE(text.size(), maxMessageBytes(data.size()));
        if (ok) {
            EXPECT_EQ(state.textLength, static_cast<int>(text.size()));
            EXPECT_EQ(status, DecodeStatus::Success);
        } else {
            EXPECT_EQ(status, DecodeStatus::DataDecodationFailed);
        }
    }
}

TEST(DecoderRobustness, RandomMatricesAndValidSymbolsOfRandomDataThroughTheChain) {
    std::mt19937 rng(7);
    for (int sizeIndex = 0; sizeIndex < kSizeCount; ++sizeIndex) {
        const SymbolSize& s = symbolSize(sizeIndex);
        SCOPED_TRACE("size " + std::to_string(sizeIndex));
        for (int trial = 0; trial < 6; ++trial) {
            // Random modules: as a rule uncorrectable, never a crash.
            std::vector<uint8_t> matrix(static_cast<size_t>(s.symbolRows) * s.symbolCols);
            for (auto& m : matrix)
                m = rng() & 1;
            DecodeState state;
            DecodeStatus status = DecodeStatus::Success;
            if (decodeModuleMatrix(matrix, sizeIndex, state, status)) {
                EXPECT_LE(state.text.size(), maxMessageBytes(s.dataCodewords));
            }
            // Random data codewords with valid error correction reach data decodation.
            std::vector<uint8_t> data(s.dataCodewords);
            for (auto& c : data)
                c = rng() & 255;
            const bool ok =
                decodeModuleMatrix(symbolWithData(data, sizeIndex), sizeIndex, state, status);
            EXPECT_TRUE(ok || status == DecodeStatus::DataDecodationFailed)
                << ::testing::PrintToString(status);
            EXPECT_LE(state.text.size(), maxMessageBytes(s.dataCodewords));
        }
    }
}

}  // namespace
}  // namespace dm
