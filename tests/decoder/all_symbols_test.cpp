// Every symbol of a picture: the multi-label tier read whole (each label once, never wrong
// bytes), the reading order and the count bound, Structured Append series joined from one
// picture and from several.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "decoder/decode_image.h"
#include "decoder/structured_append.h"
#include "tests/support/camera_tiers.h"
#include "tests/support/decoding.h"
#include "tests/support/peer_encoders.h"
#include "tests/support/sweeps.h"

namespace dm {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int kMultiLabelFrames = 5;
#else
constexpr int kMultiLabelFrames = 40;
#endif

ImageView viewOf(const test::LabelsFrame& frame) {
    return test::frameView(frame.dib);
}

// Whether every label was read, each once, and nothing else; the description of what was not.
std::string misreadings(const test::LabelsFrame& frame, const ImageSymbols& read) {
    std::string why;
    std::vector<std::string> left = frame.messages;
    for (const DecodeResult& s : read.symbols) {
        const auto it = std::find(left.begin(), left.end(), s.text);
        if (it == left.end())
            why.append(" read a text no label holds (or one twice): \"")
                .append(s.text)
                .append("\";");
        else
            left.erase(it);
    }
    if (!left.empty())
        why.append(" ").append(std::to_string(left.size())).append(" label(s) not read;");
    return why;
}

TEST(AllSymbols, EveryLabelOfAPictureIsReadOnceInReadingOrder) {
    int whole = 0;
    int symbols = 0;
    int found = 0;
    std::string misses;
    for (int i = 0; i < kMultiLabelFrames; ++i) {
        const test::LabelsFrame frame = test::multiLabelFrame(1, i);
        const ImageSymbols read = decodeAllSymbols(viewOf(frame));
        const std::string why = misreadings(frame, read);
        EXPECT_EQ(why.find("no label holds"), std::string::npos) << frame.description << why;
        whole += why.empty();
        symbols += static_cast<int>(frame.placed());
        found += static_cast<int>(read.symbols.size());
        if (!why.empty())
            misses += frame.description + ":" + why + "\n";
        // Rows top to bottom, each left to right: no symbol's centre lies both above and left
        // of the one before.
        auto centre = [](const SymbolCorners& c) {
            return ImagePoint{(c[0].x + c[1].x + c[2].x + c[3].x) / 4,
                              (c[0].y + c[1].y + c[2].y + c[3].y) / 4};
        };
        for (size_t k = 1; k < read.symbols.size(); ++k) {
            const ImagePoint a = centre(*read.symbols[k - 1].corners);
            const ImagePoint b = centre(*read.symbols[k].corners);
            EXPECT_TRUE(b.y > a.y || b.x > a.x) << frame.description << ": symbol " << k;
        }
    }
    if (test::fullSweep())
        std::printf("multi-label: %d of %d pictures whole, %d of %d symbols\n%s", whole,
                    kMultiLabelFrames, found, symbols, misses.c_str());
    // Measured on these frames: 40 of 40 whole.
    EXPECT_GE(whole, kMultiLabelFrames * 9 / 10) << misses;
}

TEST(AllSymbols, TheCountIsBoundedAndAPictureWithoutSymbolsFailsAsOneDecodeDoes) {
    const test::LabelsFrame frame = test::multiLabelFrame(1, 3);
    ASSERT_GE(frame.placed(), 3u) << frame.description;
    const ImageSymbols two = decodeAllSymbols(viewOf(frame), {}, 2);
    EXPECT_EQ(two.symbols.size(), 2u);
    const ImageSymbols one = decodeAllSymbols(viewOf(frame), {}, 1);
    EXPECT_EQ(one.symbols.size(), 1u);

    const CFrameDib empty = test::backgroundFrame(test::Background::Cluttered, 3);
    const ImageSymbols none = decodeAllSymbols(test::frameView(empty));
    EXPECT_TRUE(none.symbols.empty());
    EXPECT_EQ(none.failure.status, decodeImage(test::frameView(empty)).status);
}

// A series of zint symbols, each holding a part of the message.
std::vector<test::LabelSymbol> series(const std::string& message, int count, const char* id) {
    std::vector<test::LabelSymbol> parts;
    const size_t step = (message.size() + count - 1) / count;
    for (int i = 0; i < count; ++i) {
        const std::string part = message.substr(i * step, step);
        const test::ZintOptions options{.appendIndex = i + 1, .appendCount = count, .appendId = id};
        const auto symbol = test::encodeWithZint(test::bytesOf(part), options);
        EXPECT_TRUE(symbol.has_value());
        if (symbol)
            parts.push_back({symbol->matrix, symbol->rows, symbol->cols, part});
    }
    return parts;
}

TEST(AllSymbols, AStructuredAppendSeriesInOnePictureIsJoinedExactly) {
    std::string message;
    for (int i = 0; message.size() < 16 * 12; ++i)
        message += "Part" + std::to_string(i) + ";";
    message.resize(16 * 12);
    const auto parts = series(message, 16, "7009");
    const test::LabelsFrame frame = test::labelsFrame(parts, 5, 1280, 960, 4, 6);
    ASSERT_EQ(frame.placed(), 16u) << frame.description;
    const ImageSymbols read = decodeAllSymbols(viewOf(frame));
    EXPECT_EQ(read.symbols.size(), 16u) << misreadings(frame, read);
    const std::vector<AppendSeries> joined = joinStructuredAppend(read.symbols);
    ASSERT_EQ(joined.size(), 1u);
    EXPECT_EQ(joined[0].total, 16);
    EXPECT_EQ(joined[0].fileId1, 7);
    EXPECT_EQ(joined[0].fileId2, 9);
    EXPECT_TRUE(joined[0].missing.empty());
    EXPECT_EQ(joined[0].text, message);
}

// Symbols as several pictures (or files) read them: a series complete across them, one with
// positions missing, one with two different symbols at a position, the same symbol read twice.
TEST(AllSymbols, SeriesAcrossPicturesNameWhatIsMissingOrInConflict) {
    auto symbol = [](uint8_t id, uint8_t position, uint8_t total, std::string text) {
        DecodeResult r;
        r.decoded = true;
        r.status = DecodeStatus::Success;
        r.fileId1 = id;
        r.fileId2 = 1;
        r.appendPosition = position;
        r.appendTotal = total;
        r.text = std::move(text);
        return r;
    };
    const std::vector<DecodeResult> read{
        symbol(1, 3, 3, "c"), symbol(2, 1, 4, "x"), symbol(1, 1, 3, "a"),
        symbol(1, 2, 3, "b"), symbol(1, 2, 3, "b"), symbol(2, 3, 4, "y"),
        symbol(2, 3, 4, "z"), symbol(3, 1, 0, "p"), symbol(0, 0, 0, "no series")};
    const std::vector<AppendSeries> joined = joinStructuredAppend(read);
    ASSERT_EQ(joined.size(), 3u);
    EXPECT_TRUE(joined[0].joined());
    EXPECT_EQ(joined[0].text, "abc");
    EXPECT_EQ(joined[0].members, (std::vector<int32_t>{2, 3, 0}));
    EXPECT_FALSE(joined[1].joined());
    EXPECT_EQ(joined[1].missing, (std::vector<uint8_t>{2, 4}));
    EXPECT_EQ(joined[1].conflicting, (std::vector<uint8_t>{3}));
    EXPECT_TRUE(joined[1].text.empty());
    // A count of 16 is kept as 0.
    EXPECT_EQ(joined[2].total, 16);
    EXPECT_EQ(joined[2].missing.size(), 15u);
}

}  // namespace
}  // namespace dm
