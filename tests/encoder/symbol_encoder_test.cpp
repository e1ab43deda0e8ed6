#include "encoder/symbol_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "symbology/symbol_size.h"
#include "tests/support/decoding.h"
#include "tests/support/peer_encoders.h"
#include "tests/support/peer_readers.h"
#include "tests/support/sweeps.h"
#include "tests/support/symbol_builders.h"

namespace dm {
namespace {

using test::bytesOf;

std::string sizeName(int sizeIndex) {
    std::string name = std::to_string(symbolSize(sizeIndex).symbolRows);
    name += 'x';
    name += std::to_string(symbolSize(sizeIndex).symbolCols);
    return name;
}

// The data codewords of an error-free module matrix, pads included.
std::vector<uint8_t> dataCodewordsOf(std::span<const uint8_t> matrix, int sizeIndex) {
    std::vector<uint8_t> stream = test::codewordsOf(matrix, sizeIndex);
    stream.resize(symbolSize(sizeIndex).dataCodewords);
    return stream;
}

test::GrayPicture pictureOf(const EncodedSymbol& s) {
    return test::drawModules(s.moduleMatrix, s.rows, s.cols);
}

// What a reader must give back for one symbol of a case.
struct Expected {
    std::string bytes;  // as zxing-cpp reports them: macros expanded, FNC1 as 29
    bool gs1 = false;
    bool eci = false;
    bool readerProgramming = false;
};

struct KindCase {
    std::string name;
    std::string input;
    SymbolOptions options;
    std::vector<Expected> symbols;
    bool dmtx = true;  // libdmtx reads it back as well (it reports no macro, ECI or FNC1 marks)
};

SymbolOptions with(Scheme scheme, Shape shape = Shape::Square, bool dmre = false) {
    SymbolOptions o;
    o.scheme = scheme;
    o.shape = shape;
    o.dmre = dmre;
    return o;
}

std::vector<KindCase> kindCases() {
    std::vector<KindCase> cases;
    auto plain = [&](std::string name, std::string text, SymbolOptions o) {
        cases.push_back({std::move(name), text, o, {{text}}});
    };
    const std::string mixed = "Lot 4711-B/ABC DEF 0123456789 \xC4\xE3\xBA\xC3 http://x.org/?q=1";
    plain("auto square", mixed, with(Scheme::Auto));
    plain("auto rectangle", mixed, with(Scheme::Auto, Shape::Rectangle));
    plain("auto any", "HELLO WORLD 12345", with(Scheme::Auto, Shape::Any));
    plain("ascii", "Text 1234 \x81", with(Scheme::Ascii));
    plain("c40", "C40 SCHEME 0123 with lower \xC9", with(Scheme::C40));
    plain("text", "text scheme 0123 With Upper", with(Scheme::Text));
    plain("x12", "X12*SCHEME>0123 \rEND", with(Scheme::X12));
    plain("edifact", "EDIFACT:+.?'0123 ABC", with(Scheme::Edifact));
    plain("base256", std::string("\x00\x01\x80\xFF base256", 12), with(Scheme::Base256));
    KindCase gs1{"gs1", "(01)09501101530003(17)140704(10)AB-123", with(Scheme::Auto), {}};
    gs1.options.gs1 = true;
    gs1.symbols = {
        {"010950110153000317140704"
         "10AB-123",
         true}};
    gs1.dmtx = false;
    cases.push_back(gs1);
    for (const int macro : {5, 6}) {
        KindCase m{"macro 0" + std::to_string(macro), "ABC123", with(Scheme::Auto), {}};
        m.options.macro = macro;
        m.symbols = {
            {"[)>\x1E"
             "0" +
             std::to_string(macro) +
             "\x1D"
             "ABC123\x1E\x04"}};
        m.dmtx = false;
        cases.push_back(m);
    }
    KindCase eci{"eci",
                 "Gr\xC3\xBC\xC3\x9F"
                 "e",
                 with(Scheme::Auto),
                 {}};
    eci.options.eci = 26;
    eci.symbols = {
        {"Gr\xC3\xBC\xC3\x9F"
         "e",
         false, true}};
    eci.dmtx = false;
    cases.push_back(eci);
    KindCase rp{"reader programming", "SETUP 42", with(Scheme::Auto), {}};
    rp.options.readerProgramming = true;
    rp.symbols = {{"SETUP 42", false, false, true}};
    rp.dmtx = false;
    cases.push_back(rp);
    KindCase sa{"structured append", "PART ONE|PART TWO|PART 3", with(Scheme::Auto), {}};
    sa.options.structuredAppend = 3;
    sa.symbols = {{"PART ONE"}, {"|PART TW"}, {"O|PART 3"}};
    sa.dmtx = false;
    cases.push_back(sa);
    return cases;
}

// Every message kind, scheme and shape reads back to its bytes with zxing-cpp and libdmtx, with
// the marks (GS1, ECI, Reader Programming, Structured Append position) zxing-cpp reports; and
// our own decoder reads the same bytes.
TEST(SymbolEncoder, PeersReadEachMessageKindBack) {
    for (const KindCase& c : kindCases()) {
        SCOPED_TRACE(c.name);
        const SymbolSeries series = encodeSymbols(bytesOf(c.input), c.options);
        ASSERT_EQ(series.symbols.size(), c.symbols.size()) << series.error;
        for (size_t k = 0; k < c.symbols.size(); ++k) {
            const EncodedSymbol& s = series.symbols[k];
            const Expected& e = c.symbols[k];
            const auto zx = test::readMessageWithZxing(pictureOf(s));
            ASSERT_TRUE(zx) << "zxing-cpp, symbol " << k + 1 << " " << sizeName(s.sizeIndex);
            EXPECT_EQ(zx->bytes, e.bytes);
            EXPECT_EQ(zx->gs1, e.gs1);
            EXPECT_EQ(zx->hasEci, e.eci);
            EXPECT_EQ(zx->readerProgramming, e.readerProgramming);
            if (c.symbols.size() > 1) {
                EXPECT_EQ(zx->appendPosition, static_cast<int>(k + 1));
                EXPECT_EQ(zx->appendTotal, static_cast<int>(c.symbols.size()));
            }
            if (c.dmtx) {
                EXPECT_EQ(test::readWithDmtx(pictureOf(s)), e.bytes) << "libdmtx";
            }
            const auto own = test::readMatrix(s.moduleMatrix, s.sizeIndex);
            EXPECT_TRUE(own.ok);
            EXPECT_EQ(own.text, e.bytes) << "own decoder";
        }
    }
}

// Each rectangular extension size, asked for by index, reads back with our own decoder and
// zxing-cpp.
TEST(SymbolEncoder, EveryExtensionSizeReadsBack) {
    for (int i = kFirstDmre; i < kSizeCount; ++i) {
        SCOPED_TRACE(sizeName(i));
        SymbolOptions o = with(Scheme::Auto, Shape::Rectangle, true);
        o.sizeIndex = i;
        const std::string text = "DMRE " + sizeName(i) + " 0123456789";
        const SymbolSeries series = encodeSymbols(bytesOf(text), o);
        ASSERT_EQ(series.symbols.size(), 1u) << series.error;
        const EncodedSymbol& s = series.symbols[0];
        EXPECT_EQ(s.sizeIndex, i);
        EXPECT_EQ(test::readMatrix(s.moduleMatrix, s.sizeIndex).text, text);
        EXPECT_EQ(test::readWithZxing(pictureOf(s)), text);
    }
}

// A forced scheme writes what libdmtx writes in that scheme, codeword for codeword (pads
// included), for messages where the scheme's choices are fixed.
TEST(SymbolEncoder, ForcedSchemesWriteLibdmtxCodewords) {
    struct Case {
        Scheme ours;
        test::PeerScheme theirs;
        std::string message;
    };
    const std::vector<Case> cases{
        {Scheme::Ascii, test::PeerScheme::Ascii, "Ascii 12345 \xE9"},
        {Scheme::C40, test::PeerScheme::C40, "C40 ENCODED 123456"},
        {Scheme::C40, test::PeerScheme::C40, "64"},     // two values and a Shift 1 fill 10x10
        {Scheme::C40, test::PeerScheme::C40, "J7B56"},  // the same at the end of 12x12
        {Scheme::C40, test::PeerScheme::C40, "E"},      // one value: latch, unlatch, ASCII
        {Scheme::Text, test::PeerScheme::Text, "text encoded 123456"},
        {Scheme::Text, test::PeerScheme::Text, "i4359"},
        {Scheme::X12, test::PeerScheme::X12, "X12*>12345 ABC\r"},
        {Scheme::X12, test::PeerScheme::X12, "ABCDE"},
        {Scheme::Edifact, test::PeerScheme::Edifact, "EDIFACT:+.?'0123"},
        {Scheme::Edifact, test::PeerScheme::Edifact, "CE752?"},  // two values and the unlatch
        {Scheme::Edifact, test::PeerScheme::Edifact, "AB"},      // latch, then ASCII
        {Scheme::Base256, test::PeerScheme::Base256, std::string("\x00\x01\x80\xFF bytes", 10)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(test::schemeName(c.theirs)) + " '" + c.message + "'");
        const SymbolSeries series = encodeSymbols(bytesOf(c.message), with(c.ours));
        ASSERT_EQ(series.symbols.size(), 1u) << series.error;
        const auto peer = test::encodeWithDmtx(bytesOf(c.message), c.theirs);
        ASSERT_TRUE(peer);
        const EncodedSymbol& s = series.symbols[0];
        EXPECT_EQ(dataCodewordsOf(s.moduleMatrix, s.sizeIndex),
                  dataCodewordsOf(peer->matrix, peer->sizeIndex));
    }
}

// The generated corpus: ten kinds of message, lengths mostly short with some long ones.
enum class Kind { Digits, Upper, Lower, X12, Edifact, Binary, Gbk, Url, Gs1, Mixed, Count };
constexpr std::array<const char*, 10> kKindNames{
    "digits", "upper case", "lower case", "X12 set", "EDIFACT set",
    "binary", "GBK text",   "URLs",       "GS1",     "mixed"};

std::string randomText(std::mt19937& rng, std::string_view alphabet, int length) {
    std::string s;
    for (int i = 0; i < length; ++i)
        s += alphabet[rng() % alphabet.size()];
    return s;
}

std::string gbkText(std::mt19937& rng, int length) {
    std::string s;
    while (static_cast<int>(s.size()) < length) {
        if (rng() % 4 == 0) {
            s += randomText(rng, " ,.0123456789:", 1);
        } else {
            s += static_cast<char>(0xB0 + rng() % 40);
            s += static_cast<char>(0xA1 + rng() % 94);
        }
    }
    return s;
}

// A GTIN of random digits and its check digit.
std::string gtin(std::mt19937& rng) {
    std::string digits = randomText(rng, "0123456789", 13);
    int sum = 0;
    for (size_t i = 0; i < digits.size(); ++i)
        sum += (digits[i] - '0') * (i % 2 ? 1 : 3);
    return digits + static_cast<char>('0' + (10 - sum % 10) % 10);
}

std::string gs1Text(std::mt19937& rng) {
    std::string s = "(01)" + gtin(rng);
    if (rng() % 2) {
        char date[8];
        std::snprintf(date, sizeof date, "%02u%02u%02u", static_cast<unsigned>(rng() % 100),
                      static_cast<unsigned>(1 + rng() % 12), static_cast<unsigned>(rng() % 29));
        s += "(17)";
        s += date;
    }
    if (rng() % 3)
        s += "(10)" + randomText(rng, "ABCDEFGHJKLMNPQRSTUVWXYZ0123456789-", 1 + rng() % 12);
    if (rng() % 2)
        s += "(21)" + randomText(rng, "0123456789abcdefABCDEF", 1 + rng() % 16);
    return s;
}

std::string message(Kind kind, std::mt19937& rng) {
    const int length = rng() % 8 == 0 ? 60 + rng() % 200 : 1 + rng() % 50;
    switch (kind) {
        case Kind::Digits:
            return randomText(rng, "0123456789", length);
        case Kind::Upper:
            return randomText(rng, "ABCDEFGHIJKLMNOPQRSTUVWXYZ    0123", length);
        case Kind::Lower:
            return randomText(rng, "abcdefghijklmnopqrstuvwxyz    0123", length);
        case Kind::X12:
            return randomText(rng, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789*> \r", length);
        case Kind::Edifact:
            return randomText(
                rng, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 !\"#$%&'()*+,-./:;<=>?@[\\]^", length);
        case Kind::Binary: {
            std::string s;
            for (int i = 0; i < length; ++i)
                s += static_cast<char>(rng() % 256);
            return s;
        }
        case Kind::Gbk:
            return gbkText(rng, length);
        case Kind::Url:
            return "https://" + randomText(rng, "abcdefghijklmnopqrstuvwxyz", 3 + rng() % 10) +
                   ".com/" + randomText(rng, "abcdefghijklmnopqrstuvwxyz/-_", rng() % 20) +
                   "?id=" + randomText(rng, "0123456789", 1 + rng() % 10);
        case Kind::Gs1:
            return gs1Text(rng);
        default: {
            std::string s;
            while (static_cast<int>(s.size()) < length) {
                const Kind part = static_cast<Kind>(rng() % 8);
                s += message(part, rng).substr(0, 1 + rng() % 12);
            }
            return s;
        }
    }
}

// Data codewords before the pads of a symbol, or INT_MAX for none.
int used(const std::optional<test::PeerSymbol>& s) {
    return s ? test::dataCodewordsUsed(dataCodewordsOf(s->matrix, s->sizeIndex)) : INT_MAX;
}

struct Counts {
    int ours = 0, zint = 0, dmtx = 0;
};

Counts countsFor(Kind kind, const std::string& text) {
    Counts c;
    SymbolOptions o;
    o.gs1 = kind == Kind::Gs1;
    const SymbolSeries series = encodeSymbols(bytesOf(text), o);
    if (series.symbols.empty())
        return {INT_MAX, 0, 0};
    const EncodedSymbol& s = series.symbols[0];
    c.ours = test::dataCodewordsUsed(dataCodewordsOf(s.moduleMatrix, s.sizeIndex));
    EXPECT_EQ(c.ours, series.dataLengths[0]);
    std::string expected = text;
    if (kind == Kind::Gs1) {
        expected.clear();
        for (const int ch : parseGs1(text).chars)
            expected += static_cast<char>(ch == kFnc1Character ? 29 : ch);
    }
    EXPECT_EQ(test::readMatrix(s.moduleMatrix, s.sizeIndex).text, expected) << "own decoder";
    std::string peerText = text;
    bool fnc1 = false;
    test::ZintOptions zo;
    if (kind == Kind::Gs1) {
        // zint takes the identifiers in brackets; libdmtx takes FNC1 as a group separator.
        std::replace(peerText.begin(), peerText.end(), '(', '[');
        std::replace(peerText.begin(), peerText.end(), ')', ']');
        zo.input = test::ZintInput::Gs1;
        const Gs1Characters parsed = parseGs1(text);
        std::string dmtxText = "\x1D";
        for (const int ch : parsed.chars)
            dmtxText += static_cast<char>(ch == kFnc1Character ? 29 : ch);
        c.zint = used(test::encodeWithZint(bytesOf(peerText), zo));
        peerText = dmtxText;
        fnc1 = true;
    } else {
        c.zint = used(test::encodeWithZint(bytesOf(text), zo));
    }
    c.dmtx = used(test::encodeWithDmtxAutoBest(bytesOf(peerText), -1, fnc1));
    for (int k = 0; k < 6; ++k) {
        c.dmtx =
            std::min(c.dmtx, used(test::encodeWithDmtx(
                                 bytesOf(peerText), static_cast<test::PeerScheme>(k), -1, fnc1)));
    }
    return c;
}

// Over a generated corpus (2,000 messages in the full sweep, 300 by default) the optimiser
// never needs more data codewords than zint's optimiser or the best of libdmtx's schemes.
TEST(SymbolEncoder, OptimiserNeverNeedsMoreCodewordsThanThePeers) {
    const int perKind = test::fullSweep() ? 200 : 30;
    struct Row {
        long ours = 0, zint = 0, dmtx = 0;
        int oursBelowZint = 0, zintBelowOurs = 0, oursBelowDmtx = 0, dmtxBelowOurs = 0;
    };
    std::array<Row, 10> rows{};
    for (int k = 0; k < static_cast<int>(Kind::Count); ++k) {
        std::mt19937 rng(1000 + k);
        for (int i = 0; i < perKind; ++i) {
            const std::string text = message(static_cast<Kind>(k), rng);
            const Counts c = countsFor(static_cast<Kind>(k), text);
            ASSERT_NE(c.ours, INT_MAX) << kKindNames[k] << " message " << i;
            EXPECT_LE(c.ours, c.zint) << kKindNames[k] << " message " << i;
            EXPECT_LE(c.ours, c.dmtx) << kKindNames[k] << " message " << i;
            Row& r = rows[k];
            if (c.zint == INT_MAX || c.dmtx == INT_MAX)
                continue;
            r.ours += c.ours;
            r.zint += c.zint;
            r.dmtx += c.dmtx;
            r.oursBelowZint += c.ours < c.zint;
            r.zintBelowOurs += c.zint < c.ours;
            r.oursBelowDmtx += c.ours < c.dmtx;
            r.dmtxBelowOurs += c.dmtx < c.ours;
        }
    }
    if (!test::fullSweep())
        return;
    std::printf(
        "| kind | ours | zint | libdmtx best | ours < zint | zint < ours | ours < libdmtx "
        "| libdmtx < ours |\n|---|---|---|---|---|---|---|---|\n");
    Row total;
    for (int k = 0; k < 10; ++k) {
        const Row& r = rows[k];
        std::printf("| %s | %ld | %ld | %ld | %d | %d | %d | %d |\n", kKindNames[k], r.ours, r.zint,
                    r.dmtx, r.oursBelowZint, r.zintBelowOurs, r.oursBelowDmtx, r.dmtxBelowOurs);
        total.ours += r.ours;
        total.zint += r.zint;
        total.dmtx += r.dmtx;
        total.oursBelowZint += r.oursBelowZint;
        total.zintBelowOurs += r.zintBelowOurs;
        total.oursBelowDmtx += r.oursBelowDmtx;
        total.dmtxBelowOurs += r.dmtxBelowOurs;
    }
    std::printf("| all | %ld | %ld | %ld | %d | %d | %d | %d |\n", total.ours, total.zint,
                total.dmtx, total.oursBelowZint, total.zintBelowOurs, total.oursBelowDmtx,
                total.dmtxBelowOurs);
}

}  // namespace
}  // namespace dm

namespace dm {
namespace {

// A series carries up to its symbols' capacity, in equal shares where they fit and full symbols
// where they do not, and never cuts a character of the message's character set. Every symbol
// reads back with its place in the series, by our decoder and zxing-cpp, and the parts join to
// the message.
TEST(SymbolEncoder, StructuredAppendCarriesAWholeSeriesWithoutCuttingACharacter) {
    std::mt19937 random(26);
    auto randomText = [&](size_t n, int from, int to) {
        std::string s;
        for (size_t i = 0; i < n; ++i)
            s += static_cast<char>(from + static_cast<int>(random() % (to - from + 1)));
        return s;
    };
    struct Case {
        std::string name;
        std::string message;
        int parts;
        int32_t eci = -1;
        size_t characterBytes = 1;  // every part holds whole characters of this many bytes
        int32_t sizeIndex = -1;
    };
    std::string chinese;  // GBK: two bytes a character, the equal cuts fall inside them
    for (int i = 0; i < 7; ++i)
        chinese += "\xCA\xFD";
    const std::vector<Case> cases = {
        {"3,117 letters over 16 symbols", randomText(3117, 32, 126), 16},
        {"24,000 letters, 1,500 a symbol", randomText(24000, 32, 126), 16},
        {"20,000 letters in sixteen 132x132", randomText(20000, 32, 126), 16, -1, 1, 22},
        {"41,600 digits fill sixteen 132x132", randomText(41600, '0', '9'), 16, -1, 1, 22},
        {"digits then bytes: the byte shares do not fit equal cuts",
         randomText(16000, '0', '9') + randomText(15000, 128, 255), 16},
        {"GBK characters over 4", chinese, 4, -1, 2},
        {"UTF-8 four-byte characters over 3", "\xF0\x9F\x98\x80\xF0\x9F\x98\x81\xF0\x9F\x98\x82", 3,
         26, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SymbolOptions o;
        o.structuredAppend = c.parts;
        o.eci = c.eci;
        o.sizeIndex = c.sizeIndex;
        const SymbolSeries series = encodeSymbols(bytesOf(c.message), o);
        ASSERT_EQ(series.symbols.size(), static_cast<size_t>(c.parts)) << series.error;
        std::string ownJoined, zxingJoined;
        bool zxingRead = true;
        for (size_t k = 0; k < series.symbols.size(); ++k) {
            const EncodedSymbol& s = series.symbols[k];
            const auto own = test::readMatrix(s.moduleMatrix, s.sizeIndex);
            ASSERT_TRUE(own.ok) << "symbol " << k + 1;
            EXPECT_EQ(own.text.size() % c.characterBytes, 0u) << "symbol " << k + 1;
            ownJoined += own.text;
            // zxing-cpp 1.4 reads only the older interleaving of 144x144.
            if (s.side == 144) {
                zxingRead = false;
                continue;
            }
            const auto zx = test::readMessageWithZxing(pictureOf(s));
            ASSERT_TRUE(zx) << "zxing-cpp, symbol " << k + 1 << " " << sizeName(s.sizeIndex);
            EXPECT_EQ(zx->appendPosition, static_cast<int>(k + 1));
            EXPECT_EQ(zx->appendTotal, c.parts);
            zxingJoined += zx->bytes;
        }
        EXPECT_EQ(ownJoined, c.message);
        if (c.eci < 0 && zxingRead) {  // zxing-cpp gives the bytes of an ECI message converted
            EXPECT_EQ(zxingJoined, c.message);
        }
    }
    // Beyond the capacity of sixteen 144x144 symbols.
    SymbolOptions o;
    o.structuredAppend = 16;
    const SymbolSeries tooLong = encodeSymbols(bytesOf(randomText(25000, 128, 255)), o);
    EXPECT_TRUE(tooLong.symbols.empty());
    EXPECT_EQ(tooLong.error, "the text does not fit a series of 16 symbols of the chosen shape");
}

}  // namespace
}  // namespace dm
