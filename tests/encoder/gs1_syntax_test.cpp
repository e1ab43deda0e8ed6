// GS1 element strings are checked as a GS1 encoder must: each refusal names the identifier,
// the field and the rule; zint, asked through its public interface, refuses or warns on the
// same data and takes the sound data.
#include "encoder/gs1_syntax.h"

#include <gtest/gtest.h>
#include <zint.h>

#include <algorithm>
#include <chrono>
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
    bool zintChecks = true;  // zint 2.11 checks no pairings and knows no identifier after 2021
};

// Data of GS1's own examples and of zint's refusals, one or two rows per rule.
const std::vector<Refusal> kRefusals = {
    {"(01)09501101530004",
     "(01) GTIN 09501101530004: the check digit is 4, the other digits give 3 (mod 10)"},
    {"(00)123456789012345670",
     "(00) SSCC 123456789012345670: the check digit is 0, the other digits give 5 (mod 10)"},
    {"(414)9501101530004",
     "(414) LOC No. 9501101530004: the check digit is 4, the other digits give 3 (mod 10)"},
    {"(8013)1987654Ad4X4bL5ttr2310c2L",
     "(8013) GMN 1987654Ad4X4bL5ttr2310c2L: the check characters are 2L, the other characters "
     "give 2K (mod 1021)"},
    {"(17)991399", "(17) USE BY OR EXPIRY date 991399: the month 13 is not 01 to 12"},
    {"(11)230230",
     "(11) PROD DATE date 230230: the day 30 is not 01 to 28 in February 2023 (or 00 for the "
     "month's last)"},
    {"(7006)240100",
     "(7006) FIRST FREEZE DATE date 240100: the day 00 is not 01 to 31 in that month"},
    {"(7003)2401012460", "(7003) EXPIRY TIME date 2401012460: the hour 24 is not 00 to 23"},
    {"(4324)2401000060",
     "(4324) NBEF / NAFT DEL DATE date 2401000060: the minute 60 is not 00 to 59"},
    {"(7250)19000229", "(7250) DOB date 19000229: the day 29 is not 01 to 28 in February 1900",
     false},
    {"(8008)240101126", "(8008) PROD TIME '6' is minutes (2 digits) or minutes and seconds (4)"},
    {"(10)ABCDEFGHIJKLMNOPQRSTU", "(10) takes up to 20 characters; 'ABCDEFGHIJKLMNOPQRSTU' has 21"},
    {"(01)123", "(01) takes exactly 14 digits; '123' has 3"},
    {"(20)1A", "(20) VARIANT '1A' holds 'A', which is not among digits"},
    {"(421)ABC1234", "(421) SHIP TO POST country code 'ABC' holds 'A', which is not among digits"},
    {"(421)0001234", "(421) SHIP TO POST country code 000 is no ISO 3166 numeric country code"},
    {"(422)999", "(422) ORIGIN country code 999 is no ISO 3166 numeric country code"},
    {"(423)528277",
     "(423) COUNTRY - INITIAL PROCESS country code 277 is no ISO 3166 numeric country code"},
    {"(425)5282", "(425) COUNTRY - DISASSEMBLY country codes 2 after the first: each has 3 digits"},
    {"(7030)000ABC",
     "(7030) PROCESSOR # s country code 000 is no ISO 3166 numeric country code nor 999"},
    {"(4307)UK", "(4307) SHIP TO COUNTRY country code 'UK' is no ISO 3166 alpha-2 country code"},
    {"(3910)1231", "(3910) AMOUNT currency 123 is no ISO 4217 numeric currency code"},
    {"(8007)GB82WEST12345698765433",
     "(8007) IBAN GB82WEST12345698765433: the check digits are 82, the rest gives 55 (mod 97)"},
    {"(8007)ZZ82WEST12345698765432",
     "(8007) IBAN ZZ82WEST12345698765432: 'ZZ' is no ISO 3166 alpha-2 country code"},
    {"(8007)GB82west12345698765432",
     "(8007) IBAN GB82west12345698765432: it holds 'w', which is not among capitals and digits"},
    {"(4309)18000000013600000000",
     "(4309) SHIP TO GEO latitude 1800000001 is over 1800000000 (90 N)"},
    {"(4330)001234+", "(4330) MAX / MIN TEMP sign '+' is not '-', the sign of a value below zero",
     false},
    {"(8006)095011015300030302", "(8006) ITIP piece 03 of 02: the piece is 01 to the total"},
    {"(8003)1950110153000312", "(8003) GRAI leading digit 1 is not 0"},
    {"(4321)2",
     "(4321) DANGEROUS GOODS / AUTH LEAVE / SIG REQUIRED 2 is neither 0 (no) nor 1 (yes)"},
    {"(4300)O%27Br%ien",
     "(4300) SHIP TO COMP / NAME 'O%27Br%ien' has a '%' at character 7 that is not followed by "
     "two hex digits"},
    {"(7253)O%27Br%2",
     "(7253) FAMILY NAME / GIVEN NAME 'O%27Br%2' has a '%' at character 7 that is not followed by "
     "two hex digits",
     false},
    {"(8011)0123", "(8011) CPID SERIAL 0123 starts with 0"},
    {"(8001)00001000010001", "(8001) DIMENSIONS 0000 is zero"},
    {"(8110)761414112345615110123",
     "(8110) Coupon 761414112345615110123: the GS1 Company Prefix length digit 7 is not one of "
     "0123456"},
    {"(8110)0614141123456151101233251331",
     "(8110) Coupon 0614141123456151101233251331: the expiry date 251331: the month 13 is not 01 "
     "to 12"},
    {"(8110)06141411234561511012359123456",
     "(8110) Coupon 06141411234561511012359123456: it ends inside the serial number"},
    {"(8010)ABc",
     "(8010) CPID 'ABc' holds 'c', which is not among GS1 character set 39 (A-Z 0-9 # - /)"},
    {"(8010)AB-/#1",
     "(8010) CPID 'AB-/#1' does not start with a GS1 Company Prefix, which is digits (two or "
     "more)"},
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

// The country and currency lists take exactly the codes zint takes: every numeric and alpha-2
// country code, and every currency code but VED (926), assigned after zint 2.11.
TEST(Gs1Syntax, CountryAndCurrencyCodesAreThoseZintTakes) {
    auto sameVerdict = [](const std::string& ai, const std::string& data) {
        EXPECT_EQ(gs1FieldError(ai, data).empty(), zintVerdict("(" + ai + ")" + data) == 0)
            << "(" << ai << ")" << data;
    };
    int currencies = 0;
    for (int n = 0; n < 1000; ++n) {
        const std::string code = std::to_string(1000 + n).substr(1);
        sameVerdict("422", code);
        sameVerdict("7030", code + "X");
        if (n != 926)
            sameVerdict("3910", code + "1");
        currencies += gs1FieldError("3910", code + "1").empty();
    }
    EXPECT_EQ(currencies, 181);
    for (char a = 'A'; a <= 'Z'; ++a) {
        for (char b = 'A'; b <= 'Z'; ++b)
            sameVerdict("4307", std::string{a, b});
    }
}

// A two-digit year is the nearest at most 49 years back or 50 ahead; 29 February of a century
// year that is not a leap year (2100) is refused.
TEST(Gs1Syntax, TwoDigitYearsFollowTheCenturyWindow) {
    struct Year {
        int yy;
        int today;
        int full;
    };
    for (const Year& y :
         {Year{0, 2026, 2000}, Year{76, 2026, 2076}, Year{77, 2026, 1977}, Year{99, 2000, 1999},
          Year{50, 2000, 2050}, Year{51, 2000, 1951}, Year{0, 2060, 2100}, Year{10, 2060, 2110},
          Year{11, 2060, 2011}, Year{99, 2099, 2099}}) {
        EXPECT_EQ(gs1FullYear(y.yy, y.today), y.full) << y.yy << " in " << y.today;
    }
    const int thisYear =
        static_cast<int>(std::chrono::year_month_day(std::chrono::floor<std::chrono::days>(
                                                         std::chrono::system_clock::now()))
                             .year());
    const int year00 = gs1FullYear(0, thisYear);
    const bool leap = year00 % 400 == 0 || (year00 % 4 == 0 && year00 % 100 != 0);
    EXPECT_EQ(gs1FieldError("17", "000229").empty(), leap) << year00;
    EXPECT_EQ(gs1FieldError("7250", "20000229"), "");
    EXPECT_NE(gs1FieldError("7250", "21000229"), "");
}

struct Pairing {
    std::string text;
    std::string message;  // empty for data that is sound
};

// The pairings of GS1: repeated identifiers, invalid pairs and the keys an attribute needs.
TEST(Gs1Syntax, PairingsAreCheckedNamingBothIdentifiers) {
    const std::string gtin = "(01)09501101530003";
    const std::string sscc = "(00)123456789012345675";
    const std::vector<Pairing> pairings = {
        {gtin + "(02)09501101530003(37)1",
         "(01) and (02) exclude each other: a trade item is either identified or contained"},
        {gtin + "(37)5",
         "(01) and (37) exclude each other: a count of trade items goes with the GTIN of "
         "contained items"},
        {gtin + "(8006)095011015300030102",
         "(01) and (8006) exclude each other: a piece of a trade item is identified by its ITIP"},
        {gtin + "(21)1(235)X",
         "(21) and (235) exclude each other: a trade item takes one serial number"},
        {gtin + "(3102)001234(3103)000123",
         "(3102) and (3103) exclude each other: one quantity takes one decimal point position"},
        {"(01)99501101530006(3103)001234(3922)199(3932)978199",
         "(3922) and (3932) exclude each other: there is one price"},
        {sscc + "(420)123(421)528123",
         "(420) and (421) exclude each other: there is one ship-to postal code"},
        {gtin + "(422)528(426)528",
         "(422) and (426) exclude each other: (426) gives the one country of the whole process"},
        {"(8017)123456789012345675(8018)123456789012345675",
         "(8017) and (8018) exclude each other: a service relation has either a provider or a "
         "recipient"},
        {"(10)A(10)B", "(10) appears twice with different data (A, B)"},
        {"(02)09501101530003",
         "(02) CONTENT needs (37): the GTIN of contained items goes with their count"},
        {"(37)5",
         "(37) COUNT needs (02) or (8026): a count of contained items names what they are"},
        {"(10)AB-123",
         "(10) BATCH/LOT needs (01), (02), (8006) or (8026): it is an attribute of a trade item"},
        {"(02)09501101530003(37)5(21)1",
         "(21) SERIAL needs (01) or (8006): a serial number belongs to a GTIN or an ITIP"},
        {gtin + "(250)X",
         "(250) SECONDARY SERIAL needs (21): a secondary serial number goes with the serial "
         "number"},
        {"(254)A1", "(254) GLN EXTENSION COMPONENT needs (414): a GLN extension extends a GLN"},
        {"(3103)001234",
         "(3103) NET WEIGHT (kg) needs (00), (01), (02), (8006) or (8026): a measure belongs to a "
         "trade item or logistic unit"},
        {"(4307)FR",
         "(4307) SHIP TO COUNTRY needs (00): shipping and return data belong to a logistic unit"},
        {"(8020)ABC",
         "(8020) REF No. needs (415): a payment slip reference goes with the GLN of the invoicing "
         "party"},
        {"(8011)123",
         "(8011) CPID SERIAL needs (8010): a component serial number goes with the component "
         "(CPID)"},
        {"(8030)QUJD",
         "(8030) DIGSIG needs (00), (01), (253), (255), (401), (402), (414), (417), (8003), "
         "(8004), (8006), (8010), (8013), (8017) or (8018): a digital signature signs an "
         "identification key"},
        {gtin + "(3103)001234(3922)199",
         "(3922) PRICE needs (01) of a variable measure trade item, whose first digit is 9; (01) "
         "09501101530003 starts with 0"},
        // Sound pairings.
        {gtin + "(17)140704(10)AB-123(21)X(10)AB-123", ""},
        {"(02)09501101530003(37)12" + sscc, ""},
        {sscc + "(8026)095011015300030102(37)1", ""},
        {"(01)99501101530006(3103)001234(3922)199(3201)002720", ""},
        {sscc + "(4307)FR(4309)00000000000000000000(403)R1(3300)000100", ""},
        {"(414)9501101530003(254)A1", ""},
        {"(415)9501101530003(8020)ABC(12)240131(3902)1234", ""},
        {"(255)9501101530003(3940)0010(8111)0100(17)240131", ""},
        {"(8017)123456789012345675(8019)12(7250)20000229(7253)O%27Brien", ""},
        {"(8010)9501-/#1(8011)123(8030)QUJD", ""},
        {"(8003)0950110153000312(91)X", ""},
    };
    for (const Pairing& p : pairings)
        EXPECT_EQ(parseGs1(p.text).error, p.message) << p.text;
}

TEST(Gs1Syntax, SoundDataIsTakenAndParenthesesInDataRoundTrip) {
    const std::vector<std::string> sound = {
        "(01)09501101530003",
        "(00)123456789012345675",
        "(01)09501101530003(17)140704(10)AB-123",
        "(01)09501101530003(17)240200",  // day 00: the month's last
        "(01)09501101530003(11)240229",  // a leap year
        "(02)09501101530003(37)12(00)123456789012345675",
        "(421)528123456789",
        "(01)99501101530006(3103)001234(3922)199",
        "(8003)0950110153000312(8010)9501-/#1",
        "(253)9501101530003ABC",
        "(91)!\"%&'*+,-./:;<=>?_",
        "(01)09501101530003(7007)240101240131",
        "(8013)1987654Ad4X4bL5ttr2310c2K",
        "(00)123456789012345675(4307)FR(4324)2401000000",
        "(01)09501101530003(423)528276040(7030)999ABC",
        "(01)99501101530006(3103)001234(3932)978199",
        "(8007)GB82WEST12345698765432",
        "(01)09501101530003(8001)01000020003010",
        "(8110)06141411234561511012310120456932512315012345690001",
        "(8110)061414112345615110123211178906141414250100610614141",
    };
    for (const std::string& text : sound) {
        EXPECT_EQ(parseGs1(text).error, "") << text;
        EXPECT_EQ(zintVerdict(text), 0) << "zint refuses " << text;
    }
    // A backslash writes a parenthesis (or a backslash) into data; the decoder gives the
    // element strings back in the same form.
    const std::string escaped = "(01)09501101530003(10)A\\(1\\)(21)X\\)";
    const Gs1Characters parsed = parseGs1(escaped);
    ASSERT_EQ(parsed.error, "");
    std::string bytes;
    for (const int c : parsed.chars)
        bytes += static_cast<char>(c == kFnc1Character ? 29 : c);
    EXPECT_EQ(bytes,
              "0109501101530003"
              "10A(1)\x1D"
              "21X)");
    EXPECT_EQ(gs1ElementStrings(bytes), escaped);
}

}  // namespace
}  // namespace dm
