// Whole messages (macros, GS1 and AIM data, ECI character sets, Reader Programming, Structured
// Append) written by zint and libdmtx, read by decodeImage and by zxing-cpp and libdmtx.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "decoder/decode_image.h"
#include "decoder/gs1_element_strings.h"
#include "platform/message_text.h"
#include "tests/support/peer_encoders.h"
#include "tests/support/peer_readers.h"
#include "tests/support/symbol_builders.h"

namespace dm {
namespace {

using test::bytesOf;
using test::ZintInput;
using test::ZintOptions;
using test::ZintSegment;

constexpr int kModulePixels = 6;

struct Expected {
    std::string bytes = {};
    std::string identifier = "]d1";
    std::string text = {};  // for people, UTF-8; empty: the bytes
    bool gs1 = false;
    uint8_t macro = 0;
    bool readerProgramming = false;
    int appendPosition = 0;
    int appendTotal = 0;
    bool peerKnowsTheCharacterSet = true;  // zxing-cpp 1.4 misreads ECI 32 and 33
};

std::string printable(const std::string& s) {
    std::string out;
    for (const unsigned char c : s) {
        if (c >= 32 && c != 127) {
            out += static_cast<char>(c);
        } else {
            out += "\\x" + std::string(1, "0123456789ABCDEF"[c >> 4]) + "0123456789ABCDEF"[c & 15];
        }
    }
    return out;
}

// Decodes the symbol as drawn and in a mirror, and has zxing-cpp read the same pictures.
void expectMessage(const std::optional<test::PeerSymbol>& symbol, const Expected& e) {
    ASSERT_TRUE(symbol.has_value()) << "the peer did not write the symbol";
    for (const bool mirrored : {false, true}) {
        SCOPED_TRACE(mirrored ? "mirrored" : "as printed");
        const test::GrayPicture picture = test::drawModules(
            symbol->matrix, symbol->rows, symbol->cols, kModulePixels, 4, mirrored);
        const DecodeResult r = decodeImage({picture.pixels, picture.width, picture.height, 1});
        ASSERT_TRUE(r.decoded) << r.statusMeaning();
        EXPECT_EQ(printable(r.text), printable(e.bytes));
        EXPECT_EQ(printable(messageText(r.text, r.eciSegments)),
                  printable(e.text.empty() ? e.bytes : e.text));
        EXPECT_EQ(r.symbologyIdentifier, e.identifier);
        EXPECT_EQ(r.gs1, e.gs1);
        EXPECT_EQ(r.macro, e.macro);
        EXPECT_EQ(r.readerProgramming, e.readerProgramming);
        EXPECT_EQ(r.appendPosition, e.appendPosition);
        EXPECT_EQ(r.appendTotal, e.appendTotal);
        EXPECT_EQ(r.mirrored, mirrored);

        const std::optional<test::PeerMessage> peer = test::readMessageWithZxing(picture);
        ASSERT_TRUE(peer.has_value()) << "zxing-cpp does not read it";
        EXPECT_EQ(printable(peer->bytes), printable(r.text));
        EXPECT_EQ(peer->symbologyIdentifier, r.symbologyIdentifier);
        EXPECT_EQ(peer->gs1, r.gs1);
        EXPECT_EQ(peer->readerProgramming, r.readerProgramming);
        EXPECT_EQ(peer->appendPosition, r.appendPosition);
        EXPECT_EQ(peer->appendTotal, r.appendTotal);
        EXPECT_EQ(peer->mirrored, mirrored);
        // zxing-cpp guesses a character set for bytes without an ECI; compare where there is one.
        if (peer->hasEci && e.peerKnowsTheCharacterSet) {
            EXPECT_EQ(printable(peer->text), printable(messageText(r.text, r.eciSegments)));
        }
    }
}

ZintOptions zintInput(ZintInput input, int eci = 0) {
    ZintOptions o;
    o.input = input;
    o.eci = eci;
    return o;
}

TEST(PeerMessages, ZintMacrosExpandToHeaderAndTrailer) {
    const std::string m06 =
        "[)>\x1E"
        "06\x1D"
        "12345\x1E\x04";
    expectMessage(test::encodeWithZint(bytesOf(m06)), {.bytes = m06, .macro = 6});

    // libdmtx expands them too.
    const auto symbol = test::encodeWithZint(bytesOf(m06));
    ASSERT_TRUE(symbol.has_value());
    const auto picture = test::drawModules(symbol->matrix, symbol->rows, symbol->cols);
    EXPECT_EQ(printable(test::readWithDmtx(picture).value_or("(none)")), printable(m06));
}

TEST(PeerMessages, Gs1FieldsKeepTheirSeparators) {
    struct Case {
        const char* input;
        std::string bytes;
        const char* elements;
    };
    const Case cases[] = {
        {"[01]09501101530003[17]140704[10]AB-123", "01095011015300031714070410AB-123",
         "(01)09501101530003(17)140704(10)AB-123"},
        // Upper-case fields that zint packs in C40, with FNC1 among them.
        {"[10]ABCDEFGHIJKLMNOPQRST[21]XYZ0123456789[01]09501101530003",
         "10ABCDEFGHIJKLMNOPQRST\x1D"
         "21XYZ0123456789\x1D"
         "0109501101530003",
         "(10)ABCDEFGHIJKLMNOPQRST(21)XYZ0123456789(01)09501101530003"},
        {"[8200]http://example.com/x[3103]000750",
         "8200http://example.com/x\x1D"
         "3103000750",
         "(8200)http://example.com/x(3103)000750"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        const auto symbol = test::encodeWithZint(bytesOf(c.input), zintInput(ZintInput::Gs1));
        expectMessage(symbol, {.bytes = c.bytes, .identifier = "]d2", .gs1 = true});
        EXPECT_EQ(gs1ElementStrings(c.bytes).value_or("(none)"), c.elements);
    }

    // libdmtx writes FNC1 for the group separator in each scheme that takes the message.
    const std::string fields =
        "10ABC123\x1D"
        "0109501101530003";
    int written = 0;
    for (const auto scheme : {test::PeerScheme::Ascii, test::PeerScheme::C40,
                              test::PeerScheme::Text, test::PeerScheme::Edifact}) {
        SCOPED_TRACE(std::string(test::schemeName(scheme)));
        const auto symbol = test::encodeWithDmtx(bytesOf("\x1D" + fields), scheme, -1, true);
        if (!symbol)
            continue;
        ++written;
        expectMessage(symbol, {.bytes = fields, .identifier = "]d2", .gs1 = true});
    }
    EXPECT_GE(written, 2);
}

TEST(PeerMessages, EciSegmentsAreReadInTheirCharacterSets) {
    struct Case {
        int eci;
        std::string text;
    };
    const Case cases[] = {
        {3, "Grüße, ¶ ©"},        {4, "Łódź Żółć"},    {7, "Привет мир"},   {9, "Καλημέρα"},
        {17, "€ œuvre Ÿ"},        {18, "Țară Școală"}, {20, "テスト ｶﾀｶﾅ"}, {25, "UTF-16 ünï 中"},
        {26, "Grüße 你好 😀"},     {27, "plain ASCII"}, {28, "測試繁體"},    {29, "测试简体"},
        {32, "测试 GB 18030 㐀"}, {33, "UTF-16LE ø"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("ECI " + std::to_string(c.eci));
        const auto symbol =
            test::encodeWithZint(bytesOf(c.text), zintInput(ZintInput::Utf8, c.eci));
        const auto set = eciCharacterSet(c.eci);
        ASSERT_TRUE(set.has_value());
        // The bytes are the text in the ECI's character set, as zint wrote them.
        const test::GrayPicture picture =
            test::drawModules(symbol->matrix, symbol->rows, symbol->cols, kModulePixels);
        const auto peer = test::readMessageWithZxing(picture);
        ASSERT_TRUE(peer.has_value());
        expectMessage(symbol, {.bytes = peer->bytes,
                               .identifier = "]d4",
                               .text = c.text,
                               .peerKnowsTheCharacterSet = c.eci != 32 && c.eci != 33});
    }

    const ZintSegment segments[] = {{3, "Grüße "}, {7, "Привет "}, {20, "日本"}};
    const auto mixed = test::encodeWithZintSegments(segments);
    ASSERT_TRUE(mixed.has_value());
    const auto picture = test::drawModules(mixed->matrix, mixed->rows, mixed->cols, kModulePixels);
    const DecodeResult r = decodeImage({picture.pixels, picture.width, picture.height, 1});
    ASSERT_TRUE(r.decoded);
    const std::vector<EciSegment> expected = {{3, 0}, {7, 6}, {20, 13}};
    EXPECT_EQ(r.eciSegments, expected);
    EXPECT_EQ(messageText(r.text, r.eciSegments), "Grüße Привет 日本");
}

TEST(PeerMessages, ReaderProgrammingAndStructuredAppendAreReported) {
    ZintOptions programming;
    programming.readerProgramming = true;
    expectMessage(test::encodeWithZint(bytesOf("PROG1"), programming),
                  {.bytes = "PROG1", .readerProgramming = true});

    ZintOptions appended = zintInput(ZintInput::Utf8, 26);
    appended.appendIndex = 2;
    appended.appendCount = 3;
    expectMessage(test::encodeWithZint(bytesOf("ünï"), appended),
                  {.bytes = "ünï", .identifier = "]d4", .appendPosition = 2, .appendTotal = 3});
}

// From codewords: FNC1 after an application indicator, FNC1 first with an ECI later, a macro
// after a Structured Append header (zint writes the header's characters instead).
TEST(PeerMessages, AimDataGs1WithEciAndMacroAfterStructuredAppendFromCodewords) {
    auto symbol = [](std::vector<uint8_t> data) {
        test::PeerSymbol s;
        s.sizeIndex = 3;  // 16 x 16
        s.rows = s.cols = 16;
        s.matrix = test::symbolWithData(std::move(data), s.sizeIndex);
        return std::optional(s);
    };
    expectMessage(symbol({'Z' + 1, 232, 'a' + 1, 'b' + 1, 232, 'c' + 1}), {.bytes = "Zab\x1D"
                                                                                    "c",
                                                                           .identifier = "]d3"});
    expectMessage(symbol({130 + 42, 232, 'x' + 1}), {.bytes = "42x", .identifier = "]d3"});
    // ECI 3 (ISO-8859-1) from its designator on: byte 0xC3 (Upper Shift, 68) is "Ã".
    expectMessage(symbol({232, 130 + 10, 'A' + 1, 241, 4, 235, 68}),
                  {.bytes = "10A\xC3", .identifier = "]d5", .text = "10AÃ", .gs1 = true});
    // Symbol 1 of 2: the macro is the message's first codeword and expands.
    expectMessage(symbol({233, 0x0F, 1, 1, 236, 'A' + 1, 'B' + 1}), {.bytes = "[)>\x1E"
                                                                              "05\x1D"
                                                                              "AB\x1E\x04",
                                                                     .macro = 5,
                                                                     .appendPosition = 1,
                                                                     .appendTotal = 2});
}

}  // namespace
}  // namespace dm
