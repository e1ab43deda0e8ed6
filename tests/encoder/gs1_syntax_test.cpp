// GS1 element strings are checked as a GS1 encoder must: each refusal names the identifier,
// the field and the rule; zint, asked through its public interface, refuses or warns on the
// same data and takes the sound data.
#include "encoder/gs1_syntax.h"

#include <gtest/gtest.h>
#include <zint.h>

#include <algorithm>
#include <memory>

#include "decoder/gs1_element_strings.h"
#include "encoder/symbol_encoder.h"
#include "tests/support/decoding.h"

namespace dm {
namespace {

// zint's verdict on GS1 data in parentheses: 0 taken, a warning (1 to 4) or an error.
int zintVerdict(const std::string& text) {
    const std::unique_ptr<zint_symbol, decltype(&ZBarcode_Delete)> symbol(ZBarcode_Create(),
                                                                          &ZBarcode_Delete);
    symbol->symbology = BARCODE_DATAMATRIX;
    symbol->input_mode = GS1_MODE | GS1PARENS_MODE;
    return ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(text.data()),
                           static_cast<int>(text.size()));
}

struct Refusal {
    std::string text;
    std::string message;     // the whole refusal
    bool zintChecks = true;  // zint 2.11 checks no pairings
};

// Data of GS1's own examples and of zint's refusals.
const std::vector<Refusal> kRefusals = {
    {"(01)09501101530004",
     "(01) GTIN 09501101530004: the check digit is 4, the other digits give 3 (mod 10)"},
    {"(00)123456789012345670",
     "(00) SSCC 123456789012345670: the check digit is 0, the other digits give 5 (mod 10)"},
    {"(414)9501101530004",
     "(414) LOC No. 9501101530004: the check digit is 4, the other digits give 3 (mod 10)"},
    {"(17)991399", "(17) USE BY OR EXPIRY date 991399: the month 13 is not 01 to 12"},
    {"(11)230230",
     "(11) PROD DATE date 230230: the day 30 is not 01 to 28 in that month (or 00 for the "
     "month's last)"},
    {"(7006)240100",
     "(7006) FIRST FREEZE DATE date 240100: the day 00 is not 01 to 31 in that month"},
    {"(7003)2401012460", "(7003) EXPIRY TIME date 2401012460: the hour 24 is not 00 to 23"},
    {"(10)ABCDEFGHIJKLMNOPQRSTU", "(10) takes up to 20 characters; 'ABCDEFGHIJKLMNOPQRSTU' has 21"},
    {"(01)123", "(01) takes exactly 14 digits; '123' has 3"},
    {"(20)1A", "(20) VARIANT '1A' holds 'A', which is not among digits"},
    {"(421)ABC1234", "(421) SHIP TO POST country code 'ABC' holds 'A', which is not among digits"},
    {"(421)0001234",
     "(421) SHIP TO POST country code 000 is no ISO 3166 numeric code (004 to 894)"},
    {"(8010)ABc",
     "(8010) CPID 'ABc' holds 'c', which is not among GS1 character set 39 (A-Z 0-9 # - /)"},
    {"(01)09501101530003(02)09501101530003(37)1",
     "(01) and (02) exclude each other: a trade item is either identified or contained", false},
    {"(02)09501101530003", "(02) needs (37): the GTIN of contained items goes with their count",
     false},
    {"(10)A(10)B", "(10) appears twice with different data (A, B)", false},
    {"(8010)AB-/#1",
     "(8010) CPID 'AB-/#1' does not start with a GS1 Company Prefix, which is digits"},
    {"(10)A\\B",
     "(10) holds a backslash that escapes nothing; \\( and \\) write parentheses in data", false},
    {"(3106)123456", "application identifier (3106) is not assigned or not 4 digits long"},
    {"(236)X", "application identifier (236) is not assigned or not 3 digits long"},
};

TEST(Gs1Syntax, EachRefusalNamesTheIdentifierTheFieldAndTheRule) {
    for (const Refusal& r : kRefusals) {
        EXPECT_EQ(parseGs1(r.text).error, r.message) << r.text;
        if (r.zintChecks) {
            EXPECT_NE(zintVerdict(r.text), 0) << "zint takes " << r.text;
        }
    }
}

// Every character outside character set 82 is refused in GS1's words, a space too.
TEST(Gs1Syntax, CharactersOutsideSet82AreRefused) {
    for (const char c : std::string(" #$@~[]^`{|}")) {
        const std::string text = std::string("(10)A") + c;
        const std::string error = parseGs1(text).error;
        EXPECT_TRUE(error.starts_with("(10) BATCH/LOT 'A")) << error;
        EXPECT_NE(error.find("which is not among GS1 character set 82"), std::string::npos)
            << error;
        EXPECT_NE(zintVerdict(text), 0) << "zint takes " << text;
    }
}

TEST(Gs1Syntax, SoundDataIsTakenAndParenthesesInDataRoundTrip) {
    const std::vector<std::string> sound = {
        "(01)09501101530003",
        "(00)123456789012345675",
        "(01)09501101530003(17)140704(10)AB-123",
        "(17)240200",  // day 00: the month's last
        "(11)240229",  // a leap year
        "(02)09501101530003(37)12(00)123456789012345675",
        "(421)528123456789",
        "(3103)001234(3922)199",
        "(8003)0950110153000312(8010)9501-/#1",
        "(253)9501101530003ABC",
        "(91)!\"%&'*+,-./:;<=>?_",
        "(7007)240101240131",
    };
    for (const std::string& text : sound) {
        EXPECT_EQ(parseGs1(text).error, "") << text;
        EXPECT_EQ(zintVerdict(text), 0) << "zint refuses " << text;
    }
    // A backslash writes a parenthesis (or a backslash) into data; the decoder gives the
    // element strings back in the same form.
    const std::string escaped = "(10)A\\(1\\)(21)X\\)";
    const Gs1Characters parsed = parseGs1(escaped);
    ASSERT_EQ(parsed.error, "");
    std::string bytes;
    for (const int c : parsed.chars)
        bytes += static_cast<char>(c == kFnc1Character ? 29 : c);
    EXPECT_EQ(bytes,
              "10A(1)\x1D"
              "21X)");
    EXPECT_EQ(gs1ElementStrings(bytes), escaped);
}

}  // namespace
}  // namespace dm
