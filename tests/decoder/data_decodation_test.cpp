#include "decoder/data_decodation.h"
#include "tests/support/printers.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace dm {
namespace {

struct Decoded {
    bool ok = false;
    std::string text;
    DecodeStatus status = DecodeStatus::Success;
    DecodeState state;
};

Decoded decode(const std::vector<uint8_t>& data) {
    Decoded r;
    std::vector<uint8_t> text;
    r.ok = decodeData(data, text, r.state, r.status);
    r.text.assign(text.begin(), text.end());
    if (r.ok) {
        EXPECT_EQ(r.state.textLength, static_cast<int>(text.size()));
    }
    return r;
}

// The codeword pair that packs three C40/Text/X12 values.
std::vector<uint8_t> pair(int v1, int v2, int v3) {
    const int v = 1600 * v1 + 40 * v2 + v3 + 1;
    return {static_cast<uint8_t>(v / 256), static_cast<uint8_t>(v % 256)};
}

std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Base256 codeword for a byte at 0-based stream position pos.
uint8_t randomised(int value, int pos) {
    return static_cast<uint8_t>((value + (149 * (pos + 1)) % 255 + 1) % 256);
}

// EDIFACT codewords for 6-bit values, four per three codewords.
std::vector<uint8_t> edifact(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    uint32_t acc = 0;
    int bits = 0;
    for (const int v : values) {
        acc = acc << 6 | static_cast<uint32_t>(v);
        bits += 6;
        while (bits >= 8) {
            out.push_back(static_cast<uint8_t>(acc >> (bits - 8)));
            bits -= 8;
        }
    }
    if (bits > 0)
        out.push_back(static_cast<uint8_t>(acc << (8 - bits)));
    return out;
}

// Codewords and the text they decode to; no text: the data must fail.
struct TextCase {
    const char* name;
    std::vector<uint8_t> data;
    std::optional<std::string> text;
};

void expectTexts(std::span<const TextCase> cases) {
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded r = decode(c.data);
        EXPECT_EQ(r.ok, c.text.has_value());
        if (c.text) {
            EXPECT_EQ(r.text, *c.text);
        } else {
            EXPECT_EQ(r.status, DecodeStatus::DataDecodationFailed);
        }
    }
}

const std::nullopt_t fails = std::nullopt;

TEST(AsciiDecodation, CodewordsGiveTheirTextOrFail) {
    const TextCase cases[] = {
        {"digit pairs", {142, 164, 186}, "123456"},
        {"characters, padding ends the data", {'A' + 1, 'b' + 1, 129, 'X' + 1}, "Ab"},
        {"padding only", {129, 175, 75}, ""},
        {"Upper Shift adds 128", {235, 'A' + 1, 129}, "\xC1"},
        {"Upper Shift as the last codeword has nothing to shift", {'A' + 1, 235}, fails},
        {"Structured Append header longer than the whole 10x10 data", {233, 0x21, 7}, fails},
        // ECI designators cut off by the end of the data or holding no valid number.
        {"ECI without a number", {'A' + 1, 241}, fails},
        {"ECI cut in its third codeword", {'A' + 1, 241, 193, 5}, fails},
        {"ECI 0", {241, 0, 'A' + 1}, fails},
        {"ECI second codeword 255", {241, 131, 255, 'A' + 1}, fails},
        {"ECI third codeword 0", {241, 192, 0, 1}, fails},
        {"ECI first codeword 254", {241, 254, 254, 254, 'A' + 1}, fails},
    };
    expectTexts(cases);
}

TEST(AsciiDecodation, StructuredAppendHeaderIsRecordedAndDecodingContinues) {
    const Decoded r = decode({233, 0x21, 7, 9, 'H' + 1, 'i' + 1, 129});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.text, "Hi");
    EXPECT_EQ(r.state.appendPosition, 3);
    EXPECT_EQ(r.state.appendTotal, 0);  // 17 - 1 = 16 symbols, kept modulo 16
    EXPECT_EQ(r.state.fileId1, 7);
    EXPECT_EQ(r.state.fileId2, 9);

    const Decoded three = decode({233, 0x1E, 1, 2, 'A' + 1});
    EXPECT_EQ(three.state.appendPosition, 2);
    EXPECT_EQ(three.state.appendTotal, 3);
}

// Codewords without a meaning here (unassigned, or marking the message only in its first
// position) are passed over without output; before the fix the cursor stayed on them for ever.
TEST(AsciiDecodation, UninterpretedCodewordsAreSkippedWithoutOutput) {
    std::vector<int> skipped = {0, 233, 234, 236, 237, 254, 255};
    for (int c = 242; c <= 253; ++c)
        skipped.push_back(c);
    for (const int c : skipped) {
        SCOPED_TRACE("codeword " + std::to_string(c));
        // After '!', which is no application indicator, in the second position.
        const Decoded r = decode({'!' + 1, static_cast<uint8_t>(c), 'B' + 1, 129});
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.text, "!B");
        EXPECT_EQ(symbologyIdentifier(r.state.format), "]d1");
        // Also as the very last data codeword.
        EXPECT_EQ(decode({'!' + 1, static_cast<uint8_t>(c)}).text, "!");
    }
}

// A macro stands for its header and trailer (an empty message gets both); Reader Programming is
// reported; FNC1 marks GS1 data first and AIM data second, after one letter or two digits, and
// separates fields elsewhere. After a Structured Append header the message starts at codeword 4.
TEST(AsciiDecodation, FirstAndSecondPositionsMarkTheMessage) {
    const std::string gs = "\x1D", rs = "\x1E";
    struct Case {
        const char* name;
        std::vector<uint8_t> data;
        std::string text;
        Fnc1Mode fnc1 = Fnc1Mode::None;
        uint8_t macro = 0;
        bool readerProgramming = false;
    };
    const Case cases[] = {
        {"Macro 05",
         {236, 'A' + 1, 130 + 12, 129},
         "[)>" + rs + "05" + gs + "A12" + rs + "\x04",
         Fnc1Mode::None,
         5},
        {"appended Macro 06",
         {233, 0x1E, 1, 2, 237, 129},
         "[)>" + rs + "06" + gs + rs + "\x04",
         Fnc1Mode::None,
         6},
        {"Reader Programming", {234, '$' + 1, 'I' + 1}, "$I", Fnc1Mode::None, 0, true},
        {"FNC1 first: GS1", {232, 130 + 1, 232, 130 + 10}, "01" + gs + "10", Fnc1Mode::Gs1},
        {"after a letter: AIM", {'a' + 1, 232, 'b' + 1}, "ab", Fnc1Mode::Aim},
        {"after two digits: AIM", {130 + 37, 232, 'x' + 1}, "37x", Fnc1Mode::Aim},
        {"after a sign: separator", {'%' + 1, 232, 'b' + 1}, "%" + gs + "b"},
        {"third: separator", {'a' + 1, 'b' + 1, 232, 'c' + 1}, "ab" + gs + "c"},
        {"appended GS1", {233, 0x12, 1, 1, 232, 'Z' + 1}, "Z", Fnc1Mode::Gs1},
        {"appended AIM", {233, 0x12, 1, 1, 'Q' + 1, 232}, "Q", Fnc1Mode::Aim},
        // Shift 2 value 27 is FNC1 in C40 and Text; before the fix it came out as a space.
        {"C40 FNC1", join({{232, 230}, pair(14, 1, 27), pair(15, 3, 3)}), "A" + gs + "B  ",
         Fnc1Mode::Gs1},
        {"Text FNC1", join({{239}, pair(1, 27, 14), {254}}), gs + "a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded r = decode(c.data);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.text, c.text);
        EXPECT_EQ(r.state.format.fnc1, c.fnc1);
        EXPECT_EQ(r.state.format.macro, c.macro);
        EXPECT_EQ(r.state.format.readerProgramming, c.readerProgramming);
    }
}

TEST(AsciiDecodation, EciDesignatorsStartSegmentsOfTheText) {
    // ECI 3 in one codeword, 1000 in two (128 + ...), 100000 in three (192 + ...); a second
    // designator in a row leaves an empty segment.
    const Decoded r =
        decode({'A' + 1, 241, 4, 'B' + 1, 241, 131, 112, 241, 193, 76, 52, 'C' + 1, 129});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.text, "ABC");
    const std::vector<EciSegment> expected = {{3, 1}, {1000, 2}, {100000, 2}};
    EXPECT_EQ(r.state.format.eciSegments, expected);
    EXPECT_EQ(symbologyIdentifier(r.state.format), "]d4");
}

// Values of the other schemes, their shifts, unlatches and segment ends. Shift 3 value 31 is
// DEL and X12 value 0 a carriage return; before the fixes both came out as 0 and cut the text.
TEST(DataDecodation, SchemesGiveTheirTextOrFail) {
    const TextCase cases[] = {
        {"C40 basic set", {230, 0x5B, 0x0B, 254, 129}, "AIM"},
        {"Text basic set", {239, 0x5B, 0x0B, 254, 129}, "aim"},
        {"C40 shift 1 control", join({{230}, pair(0, 13, 3), {254}}), std::string("\x0D ", 2)},
        {"C40 shift 2 punctuation", join({{230}, pair(1, 0, 1), pair(15, 1, 26), {254}}), "!:_"},
        {"C40 shift 2 28 and 29 are spaces", join({{230}, pair(1, 28, 1), pair(29, 3, 3), {254}}),
         "    "},
        {"C40 shift 3 lower case", join({{230}, pair(2, 1, 2), pair(26, 2, 30), {254}}), "az~"},
        {"Text shift 3 upper case", join({{239}, pair(2, 1, 2), pair(26, 2, 0), {254}}), "AZ`"},
        {"Text shift 3 braces", join({{239}, pair(2, 27, 2), pair(29, 3, 3), {254}}), "{}  "},
        {"C40 upper shift", join({{230}, pair(1, 30, 14), {254}}), "\xC1"},
        // A second Upper Shift while one is pending is the entry 235 shifted: 107.
        {"C40 double upper shift", join({{230}, pair(1, 30, 1), pair(30, 3, 3), {254}}), "k  "},
        {"C40 shift 3 value 31", join({{230}, pair(2, 31, 3), {254, 'Z' + 1}}), "\x7F Z"},
        {"Text shift 3 value 31", join({{239}, pair(2, 31, 3), {254, 'Z' + 1}}), "\x7F Z"},
        {"C40 ending at the data end without unlatch", join({{230}, pair(14, 15, 16)}), "ABC"},
        {"C40 with one codeword left: ASCII", join({{230}, pair(14, 15, 16), {'d' + 1}}), "ABCd"},
        {"C40 unlatch, then ASCII", join({{230}, pair(14, 15, 16), {254, 'd' + 1, 'e' + 1}}),
         "ABCde"},
        {"C40 pair beyond 64000", {230, 250, 1}, fails},
        {"Text pair of zero", {239, 0, 0}, fails},
        {"X12 values", join({{238}, pair(14, 0, 3), pair(1, 2, 13), {254}}), "A\r *>9"},
        {"X12 carriage returns", join({{238}, pair(0, 0, 39)}), "\r\rZ"},
        // EDIFACT 'A' = 1, '1' = 49, '?' = 63, ' ' = 32; 31 unlatches.
        {"EDIFACT values, unlatch",
         join({{240}, edifact({1, 49, 63, 32, 31}), {'x' + 1, 'y' + 1, 129}}), "A1? xy"},
        {"EDIFACT unlatch first", join({{240}, edifact({31}), {'y' + 1, 'z' + 1}}), "yz"},
        {"EDIFACT unlatch second", join({{240}, edifact({2, 31}), {'y' + 1, 129}}), "By"},
        {"EDIFACT unlatch third", join({{240}, edifact({2, 3, 31}), {'y' + 1}}), "BCy"},
        {"EDIFACT with two codewords left: ASCII",
         join({{240}, edifact({1, 2, 3, 4}), {'z' + 1, 'w' + 1}}), "ABCDzw"},
        {"EDIFACT with one codeword left: ASCII", {240, 'z' + 1}, "z"},
        // A length of 0 marks a field that runs to the end of the data; read as an empty field,
        // the bytes that follow came out as ASCII garbage.
        {"Base256 length 0",
         {'a' + 1, 231, randomised(0, 2), randomised(0xF0, 3), randomised(0xF1, 4),
          randomised(0xF2, 5), randomised(0xF3, 6), randomised(0xF4, 7)},
         "a\xF0\xF1\xF2\xF3\xF4"},
        {"Base256 length beyond the data", {231, randomised(5, 1), 1, 2, 3}, fails},
        {"Base256 length 200 beyond the data", {231, randomised(200, 1), 1, 2, 3}, fails},
        {"schemes chain back to ASCII",
         join({{'#' + 1, 230},
               pair(14, 15, 16),
               {254, 238},
               pair(4, 5, 6),
               {254, 231, randomised(1, 10), randomised('!', 11), 142, 129}}),
         "#ABC012!12"},
    };
    expectTexts(cases);
}

// A triple whose first codeword happens to be 31 ("G" followed by "0".."?") is data, not the
// end of the segment; reading it as an unlatch lost the rest of the segment.
TEST(EdifactDecodation, FirstCodewordThirtyOneIsData) {
    const auto data = join({{240}, edifact({1, 2, 3, 4, 7, 49, 1, 2}), {129}});
    ASSERT_EQ(data[4], 31);
    EXPECT_EQ(decode(data).text, "ABCDG1AB");
}

TEST(Base256Decodation, LatchFirstUnrandomisesLengthAndData) {
    // The length at position 1 is unrandomised with 44, the data at 2, 3, 4 with 193, 87, 236.
    std::vector<uint8_t> data = {
        231, randomised(3, 1), randomised(0xC8, 2), randomised(0, 3), randomised('a', 4), 'b' + 1,
        129};
    EXPECT_EQ(data[1], (3 + 44) % 256);
    EXPECT_EQ(data[2], (0xC8 + 193) % 256);
    const Decoded r = decode(data);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.text, std::string("\xC8\0ab", 4));
}

TEST(Base256Decodation, TwoCodewordLengthAndSegmentEndingAtTheDataEnd) {
    const int length = 300;  // 250 * (250 - 249) + 50
    std::vector<uint8_t> data = {231, randomised(250, 1), randomised(50, 2)};
    for (int i = 0; i < length; ++i)
        data.push_back(randomised(i & 0xFF, 3 + i));
    const Decoded r = decode(data);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.text.size(), static_cast<size_t>(length));
    for (int i = 0; i < length; ++i)
        EXPECT_EQ(static_cast<uint8_t>(r.text[i]), i & 0xFF);
}

// The whole text is delivered however long; 3116 digits fill the largest symbol.
TEST(DataDecodation, LongTextIsDeliveredWhole) {
    std::vector<uint8_t> data(1558, 130 + 42);
    const Decoded r = decode(data);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.text.size(), 3116u);
    EXPECT_EQ(r.text.substr(3110), "424242");
}

}  // namespace
}  // namespace dm
