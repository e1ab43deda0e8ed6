// The driver after detection (decodeModuleMatrix), the Decoder's own bookkeeping, and bad input.
#include "decoder/decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "decoder/data_decodation.h"
#include "decoder/decode_image.h"
#include "decoder/frame_intake.h"
#include "encoder/message_encoder.h"
#include "symbology/placement.h"
#include "symbology/symbol_size.h"
#include "tests/support/decoding.h"
#include "tests/support/frame_synth.h"
#include "tests/support/peer_readers.h"
#include "tests/support/printers.h"
#include "tests/support/symbol_builders.h"

namespace dm {
namespace {

using test::readMatrix;
using test::symbolWithData;

// The text is delivered whole, far beyond a 1,024-byte result buffer holds: the
// longest message fills the largest symbol.
TEST(DecodeModuleMatrix, OwnEncoderSymbolsReadBack) {
    for (const std::string& message : std::vector<std::string>{
             "A", "123456", "Hello, Data Matrix!", std::string(600, 'q'), std::string(3116, '5')}) {
        const auto encoded = EncodeMessage(message);
        ASSERT_TRUE(encoded.has_value());
        SCOPED_TRACE("size " + std::to_string(encoded->sizeIndex));
        const test::MatrixReading r = readMatrix(encoded->moduleMatrix, encoded->sizeIndex);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.status, DecodeStatus::Success);
        EXPECT_EQ(r.text, message);
        EXPECT_EQ(r.state.textLength, static_cast<int>(message.size()));
        EXPECT_EQ(r.state.sizeIndex, encoded->sizeIndex);
        if (message.size() == 3116) {
            EXPECT_EQ(encoded->sizeIndex, kLargestSquare);
        }
    }
}

TEST(DecodeModuleMatrix, EveryFailureReportsItsStatus) {
    struct Case {
        const char* name;
        std::vector<uint8_t> matrix;
        int sizeIndex;
        DecodeStatus expected;
    };
    const std::vector<uint8_t> clean = symbolWithData({'O' + 1, 'K' + 1}, 0);
    const std::vector<Case> cases = {
        {"size index past the table", clean, kSizeCount, DecodeStatus::SizeIndexOutOfRange},
        {"size index -1", clean, -1, DecodeStatus::SizeIndexOutOfRange},
        {"no matrix", {}, 0, DecodeStatus::MissingInput},
        {"matrix too short", std::vector<uint8_t>(99), 0, DecodeStatus::MissingInput},
        {"uncorrectable", test::smudgedSymbol().matrix, 0, DecodeStatus::BlockUncorrectable},
        {"Upper Shift at the end", symbolWithData({'A' + 1, 'B' + 1, 235}, 0), 0,
         DecodeStatus::DataDecodationFailed},
        {"C40 value out of range", symbolWithData({230, 253, 1}, 0), 0,
         DecodeStatus::DataDecodationFailed},
        {"clean", clean, 0, DecodeStatus::Success},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const test::MatrixReading r = readMatrix(c.matrix, c.sizeIndex);
        EXPECT_EQ(r.ok, c.expected == DecodeStatus::Success);
        EXPECT_EQ(r.status, c.expected);
        if (!r.ok) {
            EXPECT_TRUE(r.state.text.empty());
        }
    }
}

TEST(DecodeModuleMatrix, StructuredAppendFieldsDoNotLeakIntoTheNextSymbol) {
    test::MatrixReading r = readMatrix(symbolWithData({233, 0x1E, 5, 6, 'x' + 1}, 2), 2);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.state.appendPosition, 2);
    r = readMatrix(symbolWithData({'y' + 1}, 0), 0, std::move(r.state));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.state.appendPosition, 0);
    EXPECT_EQ(r.state.appendTotal, 0);
    EXPECT_EQ(r.text, "y");
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
            test::MatrixReading r = readMatrix(matrix, sizeIndex);
            EXPECT_LE(r.state.text.size(), maxMessageBytes(s.dataCodewords));
            // Random data codewords with valid error correction reach data decodation.
            std::vector<uint8_t> data(s.dataCodewords);
            for (auto& c : data)
                c = rng() & 255;
            r = readMatrix(symbolWithData(data, sizeIndex), sizeIndex, std::move(r.state));
            EXPECT_TRUE(r.ok || r.status == DecodeStatus::DataDecodationFailed)
                << ::testing::PrintToString(r.status);
            EXPECT_LE(r.state.text.size(), maxMessageBytes(s.dataCodewords));
        }
    }
}

// The frame search meets many outlines; an empty message is what those that are no symbol read
// as most often, so it is taken only as an encoder writes it: a pad first and nothing corrected.
// A finder and alternating sides around a light interior (all-zero codewords, which Reed-Solomon
// takes as they are and data decodation passes over) and an empty symbol with one codeword
// wrong both read as empty messages, and neither is taken; the empty symbol as written is.
TEST(DecoderObject, FrameSearchTakesAnEmptyMessageOnlyAsWritten) {
    constexpr int kSize = 0;  // 10 x 10
    const SymbolSize& size = symbolSize(kSize);
    const std::vector<uint8_t> asWritten = symbolWithData({}, kSize);
    std::vector<uint8_t> stream = test::codewordsOf(asWritten, kSize);
    std::mt19937 rng(5);
    test::corruptBlock(stream, kSize, 0, 1, rng);
    const std::vector<uint8_t> corrected = placeCodewords(stream, kSize);
    const std::vector<uint8_t> hollow =
        placeCodewords(std::vector<uint8_t>(size.dataCodewords + size.eccCodewords, 0), kSize);
    for (const auto* matrix : {&asWritten, &corrected, &hollow}) {
        const test::MatrixReading reading = readMatrix(*matrix, kSize);
        ASSERT_TRUE(reading.ok);
        ASSERT_TRUE(reading.text.empty());
        test::SynthOptions options;
        options.rotationDeg = 20;
        const CFrameDib frame = test::cameraFrame(test::synthesiseFrame(*matrix, 10, 10, options));
        Decoder decoder;
        const DecodeResult result = decoder.searchView(*frameView(frame), {});
        EXPECT_EQ(result.decoded, matrix == &asWritten);
        if (matrix != &asWritten) {
            EXPECT_EQ(result.status, DecodeStatus::DataDecodationFailed);
        }
    }
}

}  // namespace
}  // namespace dm

namespace dm {
namespace {

// A symbol under a glare that leaves its modules midway between dark and light, over more
// codewords than the error correction can carry as errors: the frame search reads it by
// erasing the codewords of those modules.
TEST(DecoderObject, ModulesHalfwayBetweenDarkAndLightAreErased) {
    const auto encoded = EncodeMessage(std::string(40, 'E') + "rasure test 0123456789");
    ASSERT_TRUE(encoded.has_value());
    const SymbolSize& size = symbolSize(encoded->sizeIndex);
    constexpr int kModule = 6, kQuiet = 4;
    test::GrayPicture picture =
        test::drawModules(encoded->moduleMatrix, size.symbolRows, size.symbolCols, kModule, kQuiet);
    // The glare: a block of modules half the symbol across, its levels drawn near the
    // middle, a little to either side, so about half come out wrong.
    std::mt19937 rng(3);
    const int from = size.symbolRows / 4, to = from + size.symbolRows / 2;
    for (int r = from; r < to; ++r) {
        for (int c = from; c < to; ++c) {
            const auto level = static_cast<uint8_t>(118 + rng() % 20);
            for (int y = 0; y < kModule; ++y) {
                for (int x = 0; x < kModule; ++x) {
                    picture.pixels[static_cast<size_t>((kQuiet + r) * kModule + y) * picture.width +
                                   (kQuiet + c) * kModule + x] = level;
                }
            }
        }
    }
    const ImageView view{picture.pixels, picture.width, picture.height};
    // Beyond the error correction as errors: the finder pass, which does not erase, fails.
    Decoder plain;
    EXPECT_FALSE(plain.decodeView(view).decoded);
    const DecodeResult result = decodeImage(view);
    ASSERT_TRUE(result.decoded) << ::testing::PrintToString(result.status);
    EXPECT_EQ(result.text, std::string(40, 'E') + "rasure test 0123456789");
}

}  // namespace
}  // namespace dm
