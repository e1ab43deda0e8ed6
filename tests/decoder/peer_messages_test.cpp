// Whole messages (macros, GS1 and AIM data, ECI character sets, Reader Programming, Structured
// Append) written by zint, libdmtx or from codewords, read by decodeImage as printed and in a
// mirror, and by zxing-cpp from the same pictures.
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
using test::PeerMessage;
using test::ZintInput;
using test::ZintOptions;

struct Case {
    std::string name;
    std::optional<test::PeerSymbol> symbol;
    std::string bytes;
    std::string identifier = "]d1";
    std::string text = {};  // for people; empty: the bytes
    bool gs1 = false;
    bool readerProgramming = false;
    int appendPosition = 0;
    int appendTotal = 0;
};

// One line per property, so that a mismatch names it; the text where it can be compared.
std::string summary(const PeerMessage& m, bool withText) {
    return "bytes " + testing::PrintToString(m.bytes) + "\nidentifier " + m.symbologyIdentifier +
           "\ntext " + (withText ? m.text : "-") + "\ngs1 " + std::to_string(m.gs1) +
           "\nreader programming " + std::to_string(m.readerProgramming) + "\nmirrored " +
           std::to_string(m.mirrored) + "\nappend " + std::to_string(m.appendPosition) + "/" +
           std::to_string(m.appendTotal);
}

void expectMessage(const Case& c) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(c.symbol.has_value()) << "the peer did not write the symbol";
    for (const bool mirrored : {false, true}) {
        const test::PeerSymbol& s = *c.symbol;
        const auto picture = test::drawModules(s.matrix, s.rows, s.cols, 6, 4, mirrored);
        const DecodeResult r = decodeImage({picture.pixels, picture.width, picture.height});
        ASSERT_TRUE(r.decoded) << r.statusMeaning() << (mirrored ? " mirrored" : "");
        const PeerMessage ours{r.text,
                               messageText(r.text, r.eciSegments),
                               r.symbologyIdentifier,
                               !r.eciSegments.empty(),
                               r.gs1,
                               r.readerProgramming,
                               r.mirrored,
                               r.appendPosition,
                               r.appendTotal};
        const PeerMessage expected{c.bytes,      c.text.empty() ? c.bytes : c.text,
                                   c.identifier, ours.hasEci,
                                   c.gs1,        c.readerProgramming,
                                   mirrored,     c.appendPosition,
                                   c.appendTotal};
        EXPECT_EQ(summary(ours, true), summary(expected, true));
        const std::optional<PeerMessage> peer = test::readMessageWithZxing(picture);
        ASSERT_TRUE(peer.has_value()) << "zxing-cpp does not read it";
        // zxing-cpp guesses a character set where there is no ECI, and 1.4 misreads ECI 32
        // (GB 18030) and 33 (UTF-16LE).
        const bool text = peer->hasEci && c.name != "ECI 32" && c.name != "ECI 33";
        EXPECT_EQ(summary(*peer, text), summary(ours, text));
    }
}

ZintOptions zint(ZintInput input, int eci = 0) {
    ZintOptions o;
    o.input = input;
    o.eci = eci;
    return o;
}

// A 16 x 16 symbol holding exactly these data codewords.
std::optional<test::PeerSymbol> fromCodewords(std::vector<uint8_t> data) {
    return test::PeerSymbol{16, 16, 3, test::symbolWithData(std::move(data), 3)};
}

TEST(PeerMessages, MacrosExpandToHeaderAndTrailer) {
    const std::string m06 = "[)>\x1E" + std::string("06\x1D") + "12345\x1E\x04";
    expectMessage({"Macro 06", test::encodeWithZint(bytesOf(m06)), m06});
    // After a Structured Append header (symbol 1 of 2) the macro is the message's first
    // codeword; zint writes the header's characters there instead.
    expectMessage({"Macro 05 appended", fromCodewords({233, 0x0F, 1, 1, 236, 'A' + 1}),
                   "[)>\x1E" + std::string("05\x1D") + "A\x1E\x04", "]d1", "", false, false, 1, 2});
    // libdmtx expands them too.
    const auto symbol = test::encodeWithZint(bytesOf(m06));
    ASSERT_TRUE(symbol.has_value());
    EXPECT_EQ(test::readWithDmtx(test::drawModules(symbol->matrix, symbol->rows, symbol->cols)),
              m06);
}

TEST(PeerMessages, Gs1AndAimDataKeepTheirSeparators) {
    const std::string gs = "\x1D";
    struct Gs1 {
        const char* input;
        std::string bytes;
        const char* elements;
    };
    const Gs1 cases[] = {
        {"[01]09501101530003[17]140704[10]AB-123", "01095011015300031714070410AB-123",
         "(01)09501101530003(17)140704(10)AB-123"},
        // Upper-case fields that zint packs in C40, with FNC1 among them.
        {"[10]ABCDEFGHIJKLMNOPQRST[21]XYZ0123456789[01]09501101530003",
         "10ABCDEFGHIJKLMNOPQRST" + gs + "21XYZ0123456789" + gs + "0109501101530003",
         "(10)ABCDEFGHIJKLMNOPQRST(21)XYZ0123456789(01)09501101530003"},
        {"[8200]http://example.com/x[3103]000750", "8200http://example.com/x" + gs + "3103000750",
         "(8200)http://example.com/x(3103)000750"},
    };
    for (const Gs1& c : cases) {
        expectMessage({c.input, test::encodeWithZint(bytesOf(c.input), zint(ZintInput::Gs1)),
                       c.bytes, "]d2", "", true});
        EXPECT_EQ(gs1ElementStrings(c.bytes), c.elements);
    }
    // libdmtx writes FNC1 for the group separator in each scheme that takes the message.
    const std::string fields = "10ABC123" + gs + "0109501101530003";
    for (const auto scheme : {test::PeerScheme::Ascii, test::PeerScheme::C40,
                              test::PeerScheme::Text, test::PeerScheme::Edifact}) {
        if (auto symbol = test::encodeWithDmtx(bytesOf(gs + fields), scheme, -1, true)) {
            expectMessage({std::string(test::schemeName(scheme)), symbol, fields, "]d2", "", true});
        }
    }
    // FNC1 after one letter or two digits marks AIM data; first, and with an ECI later, GS1.
    expectMessage(
        {"AIM", fromCodewords({'Z' + 1, 232, 'a' + 1, 232, 'c' + 1}), "Za" + gs + "c", "]d3"});
    expectMessage({"AIM digits", fromCodewords({130 + 42, 232, 'x' + 1}), "42x", "]d3"});
    // ECI 3 (ISO-8859-1) from its designator on: byte 0xC3 (Upper Shift, 68) is "Ã".
    expectMessage({"GS1 and ECI", fromCodewords({232, 130 + 10, 'A' + 1, 241, 4, 235, 68}),
                   "10A\xC3", "]d5", "10AÃ", true});
}

TEST(PeerMessages, EciSegmentsAreReadInTheirCharacterSets) {
    const std::pair<int, std::string> cases[] = {
        {3, "Grüße, ¶ ©"},        {4, "Łódź Żółć"},    {7, "Привет мир"},   {9, "Καλημέρα"},
        {17, "€ œuvre Ÿ"},        {18, "Țară Școală"}, {20, "テスト ｶﾀｶﾅ"}, {25, "UTF-16 ünï 中"},
        {26, "Grüße 你好 😀"},     {27, "plain ASCII"}, {28, "測試繁體"},    {29, "测试简体"},
        {32, "测试 GB 18030 㐀"}, {33, "UTF-16LE ø"},
    };
    for (const auto& [eci, text] : cases) {
        ASSERT_TRUE(eciCharacterSet(eci).has_value());
        const auto symbol = test::encodeWithZint(bytesOf(text), zint(ZintInput::Utf8, eci));
        ASSERT_TRUE(symbol.has_value());
        // The bytes: the text in the ECI's character set, as zint wrote and zxing-cpp reads it.
        const auto peer = test::readMessageWithZxing(
            test::drawModules(symbol->matrix, symbol->rows, symbol->cols));
        expectMessage({"ECI " + std::to_string(eci), symbol, peer ? peer->bytes : "", "]d4", text});
    }
    const test::ZintSegment segments[] = {{3, "Grüße "}, {7, "Привет "}, {20, "日本"}};
    expectMessage({"three segments", test::encodeWithZintSegments(segments),
                   "Gr\xFC\xDF"
                   "e \xBF\xE0\xD8\xD2\xD5\xE2 \x93\xFA\x96\x7B",
                   "]d4", "Grüße Привет 日本"});
}

TEST(PeerMessages, ReaderProgrammingAndStructuredAppendAreReported) {
    ZintOptions programming;
    programming.readerProgramming = true;
    expectMessage({"Reader Programming", test::encodeWithZint(bytesOf("PROG1"), programming),
                   "PROG1", "]d1", "", false, true});
    ZintOptions appended = zint(ZintInput::Utf8, 26);
    appended.appendIndex = 2;
    appended.appendCount = 3;
    expectMessage({"appended", test::encodeWithZint(bytesOf("ünï"), appended), "ünï", "]d4", "",
                   false, false, 2, 3});
}

}  // namespace
}  // namespace dm
