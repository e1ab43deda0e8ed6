#include "encoder/gs1_syntax.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdint>

namespace dm {
namespace {

// One identifier or a run of them (3100 to 3105) with the layout of its data: components
// separated by spaces, each a character set and a length, then its checks:
//   N digits, X character set 82, Y character set 39, Z character set 64;
//   "14" exactly 14, "..20" 1 to 20; a leading "?" makes a final component optional;
//   ":name" a check of the component's value, see componentError (":key:csumalpha" two).
struct AiRule {
    std::string_view from;
    std::string_view to;
    std::string_view layout;
    std::string_view title;  // the data title, as the specifications name the field
};

// clang-format off
constexpr std::array kRules = std::to_array<AiRule>({
    {"00", "00", "N18:csum", "SSCC"},
    {"01", "01", "N14:csum", "GTIN"},
    {"02", "02", "N14:csum", "CONTENT"},
    {"10", "10", "X..20", "BATCH/LOT"},
    {"11", "11", "N6:yymmd0", "PROD DATE"},
    {"12", "12", "N6:yymmd0", "DUE DATE"},
    {"13", "13", "N6:yymmd0", "PACK DATE"},
    {"15", "15", "N6:yymmd0", "BEST BEFORE"},
    {"16", "16", "N6:yymmd0", "SELL BY"},
    {"17", "17", "N6:yymmd0", "USE BY OR EXPIRY"},
    {"20", "20", "N2", "VARIANT"},
    {"21", "21", "X..20", "SERIAL"},
    {"22", "22", "X..20", "CPV"},
    {"235", "235", "X..28", "TPX"},
    {"240", "240", "X..30", "ADDITIONAL ID"},
    {"241", "241", "X..30", "CUST. PART No."},
    {"242", "242", "N..6", "MTO VARIANT"},
    {"243", "243", "X..20", "PCN"},
    {"250", "250", "X..30", "SECONDARY SERIAL"},
    {"251", "251", "X..30", "REF. TO SOURCE"},
    {"253", "253", "N13:csum ?X..17", "GDTI"},
    {"254", "254", "X..20", "GLN EXTENSION COMPONENT"},
    {"255", "255", "N13:csum ?N..12", "GCN"},
    {"30", "30", "N..8", "VAR. COUNT"},
    {"3100", "3105", "N6", "NET WEIGHT (kg)"},
    {"3110", "3115", "N6", "LENGTH (m)"},
    {"3120", "3125", "N6", "WIDTH (m)"},
    {"3130", "3135", "N6", "HEIGHT (m)"},
    {"3140", "3145", "N6", "AREA (m2)"},
    {"3150", "3155", "N6", "NET VOLUME (l)"},
    {"3160", "3165", "N6", "NET VOLUME (m3)"},
    {"3200", "3205", "N6", "NET WEIGHT (lb)"},
    {"3210", "3215", "N6", "LENGTH (in)"},
    {"3220", "3225", "N6", "LENGTH (ft)"},
    {"3230", "3235", "N6", "LENGTH (yd)"},
    {"3240", "3245", "N6", "WIDTH (in)"},
    {"3250", "3255", "N6", "WIDTH (ft)"},
    {"3260", "3265", "N6", "WIDTH (yd)"},
    {"3270", "3275", "N6", "HEIGHT (in)"},
    {"3280", "3285", "N6", "HEIGHT (ft)"},
    {"3290", "3295", "N6", "HEIGHT (yd)"},
    {"3300", "3305", "N6", "GROSS WEIGHT (kg)"},
    {"3310", "3315", "N6", "LENGTH (m), log"},
    {"3320", "3325", "N6", "WIDTH (m), log"},
    {"3330", "3335", "N6", "HEIGHT (m), log"},
    {"3340", "3345", "N6", "AREA (m2), log"},
    {"3350", "3355", "N6", "VOLUME (l), log"},
    {"3360", "3365", "N6", "VOLUME (m3), log"},
    {"3370", "3375", "N6", "KG PER m2"},
    {"3400", "3405", "N6", "GROSS WEIGHT (lb)"},
    {"3410", "3415", "N6", "LENGTH (in), log"},
    {"3420", "3425", "N6", "LENGTH (ft), log"},
    {"3430", "3435", "N6", "LENGTH (yd), log"},
    {"3440", "3445", "N6", "WIDTH (in), log"},
    {"3450", "3455", "N6", "WIDTH (ft), log"},
    {"3460", "3465", "N6", "WIDTH (yd), log"},
    {"3470", "3475", "N6", "HEIGHT (in), log"},
    {"3480", "3485", "N6", "HEIGHT (ft), log"},
    {"3490", "3495", "N6", "HEIGHT (yd), log"},
    {"3500", "3505", "N6", "AREA (in2)"},
    {"3510", "3515", "N6", "AREA (ft2)"},
    {"3520", "3525", "N6", "AREA (yd2)"},
    {"3530", "3535", "N6", "AREA (in2), log"},
    {"3540", "3545", "N6", "AREA (ft2), log"},
    {"3550", "3555", "N6", "AREA (yd2), log"},
    {"3560", "3565", "N6", "NET WEIGHT (t oz)"},
    {"3570", "3575", "N6", "NET VOLUME (oz)"},
    {"3600", "3605", "N6", "NET VOLUME (qt)"},
    {"3610", "3615", "N6", "NET VOLUME (gal.)"},
    {"3620", "3625", "N6", "VOLUME (qt), log"},
    {"3630", "3635", "N6", "VOLUME (gal.), log"},
    {"3640", "3645", "N6", "VOLUME (in3)"},
    {"3650", "3655", "N6", "VOLUME (ft3)"},
    {"3660", "3665", "N6", "VOLUME (yd3)"},
    {"3670", "3675", "N6", "VOLUME (in3), log"},
    {"3680", "3685", "N6", "VOLUME (ft3), log"},
    {"3690", "3695", "N6", "VOLUME (yd3), log"},
    {"37", "37", "N..8", "COUNT"},
    {"3900", "3909", "N..15", "AMOUNT"},
    {"3910", "3919", "N3:iso4217 N..15", "AMOUNT"},
    {"3920", "3929", "N..15", "PRICE"},
    {"3930", "3939", "N3:iso4217 N..15", "PRICE"},
    {"3940", "3943", "N4", "PRCNT OFF"},
    {"3950", "3955", "N6", "PRICE/UoM"},
    {"400", "400", "X..30", "ORDER NUMBER"},
    {"401", "401", "X..30:key", "GINC"},
    {"402", "402", "N17:csum", "GSIN"},
    {"403", "403", "X..30", "ROUTE"},
    {"410", "410", "N13:csum", "SHIP TO LOC"},
    {"411", "411", "N13:csum", "BILL TO"},
    {"412", "412", "N13:csum", "PURCHASE FROM"},
    {"413", "413", "N13:csum", "SHIP FOR LOC"},
    {"414", "414", "N13:csum", "LOC No."},
    {"415", "415", "N13:csum", "PAY TO"},
    {"416", "416", "N13:csum", "PROD/SERV LOC"},
    {"417", "417", "N13:csum", "PARTY"},
    {"420", "420", "X..20", "SHIP TO POST"},
    {"421", "421", "N3:iso3166 X..9", "SHIP TO POST"},
    {"422", "422", "N3:iso3166", "ORIGIN"},
    {"423", "423", "N3:iso3166 ?N..12:iso3166list", "COUNTRY - INITIAL PROCESS"},
    {"424", "424", "N3:iso3166", "COUNTRY - PROCESS"},
    {"425", "425", "N3:iso3166 ?N..12:iso3166list", "COUNTRY - DISASSEMBLY"},
    {"426", "426", "N3:iso3166", "COUNTRY - FULL PROCESS"},
    {"427", "427", "X..3", "ORIGIN SUBDIVISION"},
    {"4300", "4301", "X..35:pcenc", "SHIP TO COMP / NAME"},
    {"4302", "4306", "X..70:pcenc", "SHIP TO ADD / SUB / LOC / REG"},
    {"4307", "4307", "X2:iso3166alpha2", "SHIP TO COUNTRY"},
    {"4308", "4308", "X..30", "SHIP TO PHONE"},
    {"4309", "4309", "N20:latlong", "SHIP TO GEO"},
    {"4310", "4311", "X..35:pcenc", "RTN TO COMP / NAME"},
    {"4312", "4316", "X..70:pcenc", "RTN TO ADD / SUB / LOC / REG"},
    {"4317", "4317", "X2:iso3166alpha2", "RTN TO COUNTRY"},
    {"4318", "4318", "X..20", "RTN TO POST"},
    {"4319", "4319", "X..30", "RTN TO PHONE"},
    {"4320", "4320", "X..35:pcenc", "SRV DESCRIPTION"},
    {"4321", "4323", "N1:yesno", "DANGEROUS GOODS / AUTH LEAVE / SIG REQUIRED"},
    {"4324", "4325", "N10:yymmd0hhmi", "NBEF / NAFT DEL DATE"},
    {"4326", "4326", "N6:yymmdd", "REL DATE"},
    {"4330", "4333", "N6 ?X1:hyphen", "MAX / MIN TEMP"},
    {"7001", "7001", "N13", "NSN"},
    {"7002", "7002", "X..30", "MEAT CUT"},
    {"7003", "7003", "N10:yymmddhhmi", "EXPIRY TIME"},
    {"7004", "7004", "N..4", "ACTIVE POTENCY"},
    {"7005", "7005", "X..12", "CATCH AREA"},
    {"7006", "7006", "N6:yymmdd", "FIRST FREEZE DATE"},
    {"7007", "7007", "N6:yymmdd ?N6:yymmdd", "HARVEST DATE"},
    {"7008", "7008", "X..3", "AQUATIC SPECIES"},
    {"7009", "7009", "X..10", "FISHING GEAR TYPE"},
    {"7010", "7010", "X..2", "PROD METHOD"},
    {"7011", "7011", "N6:yymmdd ?N4:hhmi", "TEST BY DATE"},
    {"7020", "7022", "X..20", "REFURB LOT / FUNC STAT / REV STAT"},
    {"7023", "7023", "X..30:key", "GIAI - ASSEMBLY"},
    {"7030", "7039", "N3:iso3166999 X..27", "PROCESSOR # s"},
    {"7040", "7040", "N1 X3", "UIC+EXT"},
    {"710", "716", "X..20", "NHRN"},
    {"7230", "7239", "X2 X..28", "CERT # s"},
    {"7240", "7240", "X..20", "PROTOCOL"},
    {"7241", "7241", "N2", "AIDC MEDIA TYPE"},
    {"7242", "7242", "X..25", "VCN"},
    {"7250", "7250", "N8:yyyymmdd", "DOB"},
    {"7251", "7251", "N12:yyyymmddhhmi", "DOB TIME"},
    {"7252", "7252", "N1:iso5218", "BIO SEX"},
    {"7253", "7254", "X..40:pcenc", "FAMILY NAME / GIVEN NAME"},
    {"7255", "7255", "X..10", "SUFFIX"},
    {"7256", "7256", "X..90:pcenc", "FULL NAME"},
    {"7257", "7257", "X..70:pcenc", "PERSON ADDR"},
    {"7258", "7258", "N1 X1 N1", "BIRTH SEQUENCE"},
    {"7259", "7259", "X..40:pcenc", "BABY"},
    {"8001", "8001", "N4:nonzero N5:nonzero N3:nonzero N1:winding N1", "DIMENSIONS"},
    {"8002", "8002", "X..20", "CMT No."},
    {"8003", "8003", "N1:zero N13:csum ?X..16", "GRAI"},
    {"8004", "8004", "X..30:key", "GIAI"},
    {"8005", "8005", "N6", "PRICE PER UNIT"},
    {"8006", "8006", "N14:csum N4:pieceoftotal", "ITIP"},
    {"8007", "8007", "X..34:iban", "IBAN"},
    {"8008", "8008", "N8:yymmddhh ?N..4:mmoptss", "PROD TIME"},
    {"8009", "8009", "X..50", "OPTSEN"},
    {"8010", "8010", "Y..30:key", "CPID"},
    {"8011", "8011", "N..12:nozeroprefix", "CPID SERIAL"},
    {"8012", "8012", "X..20", "VERSION"},
    {"8013", "8013", "X..25:key:csumalpha", "GMN"},
    {"8017", "8018", "N18:csum", "GSRN"},
    {"8019", "8019", "N..10", "SRIN"},
    {"8020", "8020", "X..25", "REF No."},
    {"8026", "8026", "N14:csum N4:pieceoftotal", "ITIP CONTENT"},
    {"8030", "8030", "Z..90", "DIGSIG"},
    {"8110", "8110", "X..70:couponcode", "Coupon"},
    {"8111", "8111", "N4", "POINTS"},
    {"8112", "8112", "X..70", "Coupon"},
    {"8200", "8200", "X..70", "PRODUCT URL"},
    {"90", "90", "X..30", "INTERNAL"},
    {"91", "99", "X..90", "INTERNAL"},
});
// clang-format on

// The checks componentError knows; the layouts of the table name no other.
constexpr std::array<std::string_view, 29> kCheckNames = {
    "csum",       "csumalpha",    "yymmd0",       "yymmdd",        "yymmddhh",  "yymmddhhmi",
    "yymmd0hhmi", "yyyymmdd",     "yyyymmddhhmi", "hhmi",          "mmoptss",   "key",
    "iso3166",    "iso3166999",   "iso3166list",  "iso3166alpha2", "iso4217",   "iban",
    "latlong",    "hyphen",       "yesno",        "iso5218",       "zero",      "nonzero",
    "winding",    "nozeroprefix", "pcenc",        "pieceoftotal",  "couponcode"};

constexpr bool layoutsNameKnownChecks() {
    for (const AiRule& r : kRules) {
        std::string_view layout = r.layout;
        for (size_t colon = layout.find(':'); colon != std::string_view::npos;
             colon = layout.find(':')) {
            layout.remove_prefix(colon + 1);
            const std::string_view name = layout.substr(0, layout.find_first_of(": "));
            if (std::find(kCheckNames.begin(), kCheckNames.end(), name) == kCheckNames.end())
                return false;
        }
    }
    return true;
}
static_assert(layoutsNameKnownChecks(), "a layout names a check componentError does not know");

// ISO 3166-1 numeric country codes, ascending.
constexpr std::array<uint16_t, 249> kIso3166Numeric = {
    4,   8,   10,  12,  16,  20,  24,  28,  31,  32,  36,  40,  44,  48,  50,  51,  52,  56,
    60,  64,  68,  70,  72,  74,  76,  84,  86,  90,  92,  96,  100, 104, 108, 112, 116, 120,
    124, 132, 136, 140, 144, 148, 152, 156, 158, 162, 166, 170, 174, 175, 178, 180, 184, 188,
    191, 192, 196, 203, 204, 208, 212, 214, 218, 222, 226, 231, 232, 233, 234, 238, 239, 242,
    246, 248, 250, 254, 258, 260, 262, 266, 268, 270, 275, 276, 288, 292, 296, 300, 304, 308,
    312, 316, 320, 324, 328, 332, 334, 336, 340, 344, 348, 352, 356, 360, 364, 368, 372, 376,
    380, 384, 388, 392, 398, 400, 404, 408, 410, 414, 417, 418, 422, 426, 428, 430, 434, 438,
    440, 442, 446, 450, 454, 458, 462, 466, 470, 474, 478, 480, 484, 492, 496, 498, 499, 500,
    504, 508, 512, 516, 520, 524, 528, 531, 533, 534, 535, 540, 548, 554, 558, 562, 566, 570,
    574, 578, 580, 581, 583, 584, 585, 586, 591, 598, 600, 604, 608, 612, 616, 620, 624, 626,
    630, 634, 638, 642, 643, 646, 652, 654, 659, 660, 662, 663, 666, 670, 674, 678, 682, 686,
    688, 690, 694, 702, 703, 704, 705, 706, 710, 716, 724, 728, 729, 732, 740, 744, 748, 752,
    756, 760, 762, 764, 768, 772, 776, 780, 784, 788, 792, 795, 796, 798, 800, 804, 807, 818,
    826, 831, 832, 833, 834, 840, 850, 854, 858, 860, 862, 876, 882, 887, 894,
};

// ISO 3166-1 alpha-2 country codes, ascending, two letters each.
constexpr std::string_view kIso3166Alpha2 =
    "ADAEAFAGAIALAMAOAQARASATAUAWAXAZBABBBDBEBFBGBHBIBJBLBMBNBOBQBRBSBTBVBWBYBZCACCCD"
    "CFCGCHCICKCLCMCNCOCRCUCVCWCXCYCZDEDJDKDMDODZECEEEGEHERESETFIFJFKFMFOFRGAGBGDGEGF"
    "GGGHGIGLGMGNGPGQGRGSGTGUGWGYHKHMHNHRHTHUIDIEILIMINIOIQIRISITJEJMJOJPKEKGKHKIKMKN"
    "KPKRKWKYKZLALBLCLILKLRLSLTLULVLYMAMCMDMEMFMGMHMKMLMMMNMOMPMQMRMSMTMUMVMWMXMYMZNA"
    "NCNENFNGNINLNONPNRNUNZOMPAPEPFPGPHPKPLPMPNPRPSPTPWPYQARERORSRURWSASBSCSDSESGSHSI"
    "SJSKSLSMSNSOSRSSSTSVSXSYSZTCTDTFTGTHTJTKTLTMTNTOTRTTTVTWTZUAUGUMUSUYUZVAVCVEVGVI"
    "VNVUWFWSYEYTZAZMZW";

// ISO 4217 numeric currency codes, ascending (funds, metals and the testing code included).
constexpr std::array<uint16_t, 181> kIso4217Numeric = {
    8,   12,  32,  36,  44,  48,  50,  51,  52,  60,  64,  68,  72,  84,  90,  96,  104, 108, 116,
    124, 132, 136, 144, 152, 156, 170, 174, 188, 191, 192, 203, 208, 214, 222, 230, 232, 238, 242,
    262, 270, 292, 320, 324, 328, 332, 340, 344, 348, 352, 356, 360, 364, 368, 376, 388, 392, 398,
    400, 404, 408, 410, 414, 417, 418, 422, 426, 430, 434, 446, 454, 458, 462, 480, 484, 496, 498,
    504, 512, 516, 524, 532, 533, 548, 554, 558, 566, 578, 586, 590, 598, 600, 604, 608, 634, 643,
    646, 654, 682, 690, 694, 702, 704, 706, 710, 728, 748, 752, 756, 760, 764, 776, 780, 784, 788,
    800, 807, 818, 826, 834, 840, 858, 860, 882, 886, 901, 925, 926, 927, 928, 929, 930, 931, 932,
    933, 934, 936, 938, 940, 941, 943, 944, 946, 947, 948, 949, 950, 951, 952, 953, 955, 956, 957,
    958, 959, 960, 961, 962, 963, 964, 965, 967, 968, 969, 970, 971, 972, 973, 975, 976, 977, 978,
    979, 980, 981, 984, 985, 986, 990, 994, 997, 999,
};

// An identifier (or a run) that stands only beside one of others: "anyOf" lists them.
struct Requisite {
    std::string_view from;
    std::string_view to;
    std::string_view anyOf;
    std::string_view why;
};

// Identifiers of the one run that cannot stand beside those of the other.
struct Exclusion {
    std::string_view from;
    std::string_view to;
    std::string_view otherFrom;
    std::string_view otherTo;
    std::string_view why;
};

// The mandatory associations GS1 gives for the identifiers of the table. An attribute that may
// stand beside several keys lists every one of them: a list too wide lets a rare bad pairing
// through, one too narrow would refuse sound data.
constexpr std::string_view kTradeItem = "01 02 8006 8026";
// clang-format off
constexpr std::array kRequisites = std::to_array<Requisite>({
    {"02", "02", "37", "the GTIN of contained items goes with their count"},
    {"10", "11", kTradeItem, "it is an attribute of a trade item"},
    {"12", "12", "8020", "a due date belongs to a payment slip"},
    {"13", "16", kTradeItem, "it is an attribute of a trade item"},
    {"17", "17", "01 02 8006 8026 255 8020", "an expiry date belongs to what it ends"},
    {"20", "20", kTradeItem, "it is an attribute of a trade item"},
    {"21", "21", "01 8006", "a serial number belongs to a GTIN or an ITIP"},
    {"22", "22", "01", "a consumer product variant belongs to a GTIN"},
    {"235", "235", "01", "a third-party serial number belongs to a GTIN"},
    {"240", "242", kTradeItem, "it is an attribute of a trade item"},
    {"243", "243", "01", "a packaging component number belongs to a GTIN"},
    {"250", "250", "21", "a secondary serial number goes with the serial number"},
    {"251", "251", "01 8006", "a reference to the source entity belongs to a trade item"},
    {"254", "254", "414", "a GLN extension extends a GLN"},
    {"30", "30", kTradeItem, "a count of items belongs to a trade item"},
    {"3100", "3695", "00 01 02 8006 8026", "a measure belongs to a trade item or logistic unit"},
    {"37", "37", "02 8026", "a count of contained items names what they are"},
    {"3920", "3939", "01", "the price of a variable measure trade item goes with its GTIN"},
    {"3940", "3943", "255", "a percentage discount belongs to a coupon"},
    {"3950", "3955", "01", "the price per unit of measure goes with the GTIN"},
    {"403", "403", "00", "a routing code belongs to a logistic unit"},
    {"422", "426", kTradeItem, "a country of origin or processing belongs to a trade item"},
    {"427", "427", "422", "a subdivision of the country of origin goes with that country"},
    {"4300", "4326", "00", "shipping and return data belong to a logistic unit"},
    {"7001", "7011", "01 02", "it is an attribute of a trade item"},
    {"7020", "7021", "01 8004", "it is an attribute of a trade item or an asset"},
    {"7022", "7022", "7021", "a revision status goes with the functional status"},
    {"7023", "7023", "8004", "the GIAI of an assembly goes with the GIAI of the asset"},
    {"7030", "7039", "01 02", "an approval number of a processor belongs to a trade item"},
    {"710", "716", "01 02", "a national healthcare reimbursement number belongs to a GTIN"},
    {"7241", "7241", "8017 8018", "it belongs to a service relation (GSRN)"},
    {"7250", "7259", "8017 8018", "it belongs to a service relation (GSRN)"},
    {"8001", "8001", "01", "roll dimensions belong to a GTIN"},
    {"8005", "8005", "01 02", "a price per unit belongs to a trade item"},
    {"8008", "8008", kTradeItem, "a production time belongs to a trade item"},
    {"8011", "8011", "8010", "a component serial number goes with the component (CPID)"},
    {"8012", "8012", "01 8006", "a software version belongs to a trade item"},
    {"8019", "8019", "8017 8018", "a service relation instance goes with its GSRN"},
    {"8020", "8020", "415", "a payment slip reference goes with the GLN of the invoicing party"},
    {"8026", "8026", "37", "the ITIP of contained pieces goes with their count"},
    {"8030", "8030", "00 01 253 255 401 402 414 417 8003 8004 8006 8010 8013 8017 8018",
     "a digital signature signs an identification key"},
    {"8111", "8111", "255", "loyalty points belong to a coupon"},
    {"8200", "8200", "01", "an extended packaging URL belongs to a GTIN"},
});

// The invalid pairs GS1 gives for the identifiers of the table; a measure or an amount given
// twice with different decimal points is refused apart.
constexpr std::array kExclusions = std::to_array<Exclusion>({
    {"01", "01", "02", "02", "a trade item is either identified or contained"},
    {"01", "01", "37", "37", "a count of trade items goes with the GTIN of contained items"},
    {"01", "01", "255", "255", "a coupon is identified by its GCN, not a GTIN"},
    {"01", "01", "8006", "8006", "a piece of a trade item is identified by its ITIP"},
    {"21", "21", "235", "235", "a trade item takes one serial number"},
    {"3900", "3909", "3910", "3919", "there is one amount payable"},
    {"3920", "3929", "3930", "3939", "there is one price"},
    {"420", "420", "421", "421", "there is one ship-to postal code"},
    {"422", "425", "426", "426", "(426) gives the one country of the whole process"},
    {"8017", "8017", "8018", "8018", "a service relation has either a provider or a recipient"},
});
// clang-format on

constexpr bool inRun(std::string_view ai, std::string_view from, std::string_view to) {
    return ai.size() == from.size() && ai >= from && ai <= to;
}

constexpr const AiRule* ruleOf(std::string_view ai) {
    for (const AiRule& r : kRules) {
        if (inRun(ai, r.from, r.to))
            return &r;
    }
    return nullptr;
}

// Every identifier a pairing names is one of the table.
constexpr bool pairingsNameAssignedIdentifiers() {
    for (const Requisite& r : kRequisites) {
        if (ruleOf(r.from) == nullptr || ruleOf(r.to) == nullptr)
            return false;
        for (std::string_view list = r.anyOf; !list.empty();) {
            const size_t space = list.find(' ');
            if (ruleOf(list.substr(0, space)) == nullptr)
                return false;
            list.remove_prefix(space == std::string_view::npos ? list.size() : space + 1);
        }
    }
    for (const Exclusion& e : kExclusions) {
        for (const std::string_view ai : {e.from, e.to, e.otherFrom, e.otherTo}) {
            if (ruleOf(ai) == nullptr)
                return false;
        }
    }
    return true;
}
static_assert(pairingsNameAssignedIdentifiers(), "a pairing names an unassigned identifier");

struct Component {
    char set = 'N';
    size_t length = 0;  // exact length, or the most for a variable one
    bool variable = false;
    bool optional = false;
    std::string_view checks;  // check names, each after a ':'
};

std::vector<Component> componentsOf(std::string_view layout) {
    std::vector<Component> out;
    while (!layout.empty()) {
        const size_t space = std::min(layout.find(' '), layout.size());
        std::string_view part = layout.substr(0, space);
        layout.remove_prefix(std::min(space + 1, layout.size()));
        Component c;
        if (part.front() == '?') {
            c.optional = true;
            part.remove_prefix(1);
        }
        c.set = part.front();
        part.remove_prefix(1);
        if (part.starts_with("..")) {
            c.variable = true;
            part.remove_prefix(2);
        }
        const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), c.length);
        c.checks = part.substr(static_cast<size_t>(end - part.data()));
        out.push_back(c);
    }
    return out;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isCapital(char c) {
    return c >= 'A' && c <= 'Z';
}

// Character set 82: the invariant characters of ISO/IEC 646 less the space, in the order that
// gives each its value for the check character pair.
constexpr std::string_view kSet82 =
    "!\"%&'()*+,-./0123456789:;<=>?ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";

bool inSet82(char c) {
    return kSet82.find(c) != std::string_view::npos;
}
// Character set 39: digits, capitals, "#", "-" and "/".
bool inSet39(char c) {
    return isCapital(c) || isDigit(c) || c == '#' || c == '-' || c == '/';
}
// Character set 64: the URL-safe base64 alphabet and "=" for padding.
bool inSet64(char c) {
    return isCapital(c) || (c >= 'a' && c <= 'z') || isDigit(c) || c == '-' || c == '_' || c == '=';
}

std::string_view setDescription(char set) {
    switch (set) {
        case 'N':
            return "digits";
        case 'Y':
            return "GS1 character set 39 (A-Z 0-9 # - /)";
        case 'Z':
            return "GS1 character set 64 (A-Z a-z 0-9 - _ =)";
        default:
            return "GS1 character set 82 (A-Z a-z 0-9 and ! \" % & ' ( ) * + , - . / : ; < = > "
                   "? _)";
    }
}

bool inSet(char set, char c) {
    switch (set) {
        case 'N':
            return isDigit(c);
        case 'Y':
            return inSet39(c);
        case 'Z':
            return inSet64(c);
        default:
            return inSet82(c);
    }
}

std::string characterName(char c) {
    if (c == ' ')
        return "a space";
    if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126)
        return "byte " + std::to_string(static_cast<unsigned char>(c));
    std::string out = "'";
    out += c;
    out += '\'';
    return out;
}

// "exactly 14 digits", "up to 20 characters", "3 digits, then up to 9 characters"
std::string layoutDescription(const std::vector<Component>& components) {
    std::string out;
    const bool one = components.size() == 1;
    for (const Component& c : components) {
        if (!out.empty())
            out += c.optional ? ", then optionally " : ", then ";
        out += c.variable ? "up to " : (one ? "exactly " : "");
        out += std::to_string(c.length);
        out += c.set == 'N' ? " digit" : " character";
        if (c.length > 1)
            out += 's';
    }
    return out;
}

int number(std::string_view digits) {
    int n = 0;
    for (const char c : digits)
        n = n * 10 + (c - '0');
    return n;
}

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysIn(int month, int year) {
    constexpr std::array<int, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[static_cast<size_t>(month - 1)];
}

int thisYear() {
    const std::chrono::year_month_day today{
        std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now())};
    return static_cast<int>(today.year());
}

// The rule a date breaks, or empty: YYYYMMDD (yearDigits 4) or YYMMDD, then perhaps hours,
// minutes and seconds, two digits each.
std::string dateError(std::string_view digits, size_t yearDigits, bool dayZeroAllowed) {
    const int yy = number(digits.substr(0, yearDigits));
    const int year = yearDigits == 4 ? yy : gs1FullYear(yy, thisYear());
    const std::string_view mm = digits.substr(yearDigits, 2);
    const std::string_view dd = digits.substr(yearDigits + 2, 2);
    const int month = number(mm);
    const int day = number(dd);
    if (month < 1 || month > 12) {
        std::string why = "the month ";
        why += mm;
        return why + " is not 01 to 12";
    }
    if ((day != 0 || !dayZeroAllowed) && (day < 1 || day > daysIn(month, year))) {
        std::string why = "the day ";
        why += dd;
        why += " is not 01 to ";
        why += std::to_string(daysIn(month, year));
        if (month == 2) {
            why += " in February ";
            why += std::to_string(year);
        } else {
            why += " in that month";
        }
        if (dayZeroAllowed)
            why += " (or 00 for the month's last)";
        return why;
    }
    const std::string_view time = digits.substr(yearDigits + 4);
    constexpr std::array<std::string_view, 3> units{"hour", "minute", "second"};
    for (size_t i = 0; i + 2 <= time.size() && i < 6; i += 2) {
        const std::string_view two = time.substr(i, 2);
        if (number(two) > (i == 0 ? 23 : 59)) {
            std::string why = "the ";
            why += units[i / 2];
            why += ' ';
            why += two;
            why += i == 0 ? " is not 00 to 23" : " is not 00 to 59";
            return why;
        }
    }
    return {};
}

// The check digit the other digits call for: weights 3 and 1 from the right, mod 10.
char checkDigitFor(std::string_view digits) {
    int sum = 0;
    for (size_t i = 0; i + 1 < digits.size(); ++i) {
        const size_t fromRight = digits.size() - 1 - i;
        sum += (digits[i] - '0') * (fromRight % 2 ? 3 : 1);
    }
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

// The check character pair the other characters of an alphanumeric key (GMN) call for: each
// character's value in set 82 weighted by the primes from the right, mod 1021, written as two
// characters of a 32-character set.
std::string checkPairFor(std::string_view key) {
    constexpr std::array<int, 23> primes{2,  3,  5,  7,  11, 13, 17, 19, 23, 29, 31, 37,
                                         41, 43, 47, 53, 59, 61, 67, 71, 73, 79, 83};
    constexpr std::string_view set32 = "23456789ABCDEFGHJKLMNPQRSTUVWXYZ";
    const std::string_view body = key.substr(0, key.size() - 2);
    int sum = 0;
    for (size_t i = 0; i < body.size(); ++i) {
        const size_t value = kSet82.find(body[body.size() - 1 - i]);
        sum += static_cast<int>(value) * primes[i];
    }
    sum %= 1021;
    return {set32[static_cast<size_t>(sum >> 5)], set32[static_cast<size_t>(sum & 31)]};
}

bool isIso3166(int code) {
    return std::binary_search(kIso3166Numeric.begin(), kIso3166Numeric.end(), code);
}

bool isIso3166Alpha2(std::string_view code) {
    for (size_t i = 0; i + 2 <= kIso3166Alpha2.size(); i += 2) {
        if (kIso3166Alpha2.substr(i, 2) == code)
            return true;
    }
    return false;
}

// Why an IBAN breaks its rules: two capitals of a country, two check digits, then capitals
// and digits, the whole, its first four characters moved to its end and letters read as 10
// to 35, 1 mod 97.
std::string ibanError(std::string_view iban) {
    if (iban.size() < 5)
        return "an IBAN is a country code, two check digits and the account number";
    std::string why;
    if (!isIso3166Alpha2(iban.substr(0, 2))) {
        why = "'";
        why += iban.substr(0, 2);
        return why + "' is no ISO 3166 alpha-2 country code";
    }
    if (!isDigit(iban[2]) || !isDigit(iban[3])) {
        why = "the check digits '";
        why += iban.substr(2, 2);
        return why + "' are not digits";
    }
    for (const char c : iban.substr(4)) {
        if (!isCapital(c) && !isDigit(c)) {
            why = "it holds ";
            why += characterName(c);
            return why + ", which is not among capitals and digits";
        }
    }
    // The remainder with "00" for the check digits gives them: 98 less it.
    int remainder = 0;
    auto add = [&remainder](char c) {
        const int value = isDigit(c) ? c - '0' : c - 'A' + 10;
        remainder = (remainder * (value < 10 ? 10 : 100) + value) % 97;
    };
    for (const char c : iban.substr(4))
        add(c);
    for (const char c : std::string{iban[0], iban[1], '0', '0'})
        add(c);
    const int check = 98 - remainder;
    if (number(iban.substr(2, 2)) != check) {
        why = "the check digits are ";
        why += iban.substr(2, 2);
        why += ", the rest gives ";
        why += static_cast<char>('0' + check / 10);
        why += static_cast<char>('0' + check % 10);
        return why + " (mod 97)";
    }
    return {};
}

// Why a North American coupon code (8110) breaks its layout, or empty: the GS1 Company Prefix
// after a digit giving its length (0 to 6 for 6 to 12 digits), the offer code, the save value
// and the purchase requirement each after a length digit (1 to 5), the requirement's code and
// family, then data fields, each after its indicator: 1 and 2 a second and third purchase
// requirement, 3 the expiry and 4 the start date, 5 a serial number, 6 a retailer id, 9 the
// save value code and flags.
std::string couponError(std::string_view code) {
    size_t pos = 0;
    std::string why;
    // The next `n` digits, or why there are none.
    auto digits = [&](std::string_view name, size_t n, std::string_view& out) {
        if (pos + n > code.size()) {
            why = "it ends inside the ";
            why += name;
            return false;
        }
        out = code.substr(pos, n);
        for (const char c : out) {
            if (!isDigit(c)) {
                why = "the ";
                why += name;
                why += " holds ";
                why += characterName(c);
                why += ", not a digit";
                return false;
            }
        }
        pos += n;
        return true;
    };
    // The next digit, one of `allowed`, or why it is not.
    auto digitOf = [&](std::string_view name, std::string_view allowed, int& out) {
        std::string_view d;
        if (!digits(name, 1, d))
            return false;
        if (allowed.find(d[0]) == std::string_view::npos) {
            why = "the ";
            why += name;
            why += " ";
            why += d;
            why += " is not one of ";
            why += allowed;
            return false;
        }
        out = d[0] - '0';
        return true;
    };
    std::string_view part;
    int v = 0;
    // A purchase requirement: length digit, value, code, family.
    auto requirement = [&](std::string_view which, std::string_view codes) {
        const std::string name(which);
        return digitOf(name + " purchase requirement length digit", "12345", v) &&
               digits(name + " purchase requirement", static_cast<size_t>(v), part) &&
               digitOf(name + " purchase requirement code", codes, v) &&
               digits(name + " purchase family code", 3, part);
    };
    // A company prefix of a further purchase: length digit, 9 for none.
    auto furtherPrefix = [&](std::string_view which) {
        const std::string name(which);
        return digitOf(name + " GS1 Company Prefix length digit", "01234569", v) &&
               (v == 9 || digits(name + " GS1 Company Prefix", static_cast<size_t>(6 + v), part));
    };
    auto date = [&](std::string_view name) {
        if (!digits(name, 6, part))
            return false;
        if (std::string bad = dateError(part, 2, true); !bad.empty()) {
            why = "the ";
            why += name;
            why += ' ';
            why += part;
            why += ": ";
            why += bad;
            return false;
        }
        return true;
    };
    bool sound = digitOf("GS1 Company Prefix length digit", "0123456", v) &&
                 digits("GS1 Company Prefix", static_cast<size_t>(6 + v), part) &&
                 digits("offer code", 6, part) && digitOf("save value length digit", "12345", v) &&
                 digits("save value", static_cast<size_t>(v), part) &&
                 requirement("primary", "0123459");
    while (sound && pos < code.size()) {
        int field = 0;
        sound = digitOf("data field indicator", "1234569", field);
        if (!sound)
            break;
        switch (field) {
            case 1:
                sound = digitOf("additional purchase rules code", "0123", v) &&
                        requirement("second", "012349") && furtherPrefix("second");
                break;
            case 2:
                sound = requirement("third", "012349") && furtherPrefix("third");
                break;
            case 3:
                sound = date("expiry date");
                break;
            case 4:
                sound = date("start date");
                break;
            case 5:
                sound = digitOf("serial number length digit", "0123456789", v) &&
                        digits("serial number", static_cast<size_t>(6 + v), part);
                break;
            case 6:
                sound = digitOf("retailer id length digit", "1234567", v) &&
                        digits("retailer id", static_cast<size_t>(6 + v), part);
                break;
            default:
                sound = digitOf("save value code", "01256", v) &&
                        digitOf("save value applies to item", "012", v) &&
                        digitOf("store coupon flag", "0123456789", v) &&
                        digitOf("don't multiply flag", "01", v);
                break;
        }
    }
    return sound ? std::string() : why;
}

// Why the value of a component breaks a check, in a sentence that starts with the field; empty
// when it does not.
std::string componentError(std::string_view check, std::string_view part,
                           const std::string& field) {
    const std::string value(part);
    if (check == "csum") {
        if (part.back() != checkDigitFor(part)) {
            return field + " " + value + ": the check digit is " + part.back() +
                   ", the other digits give " + checkDigitFor(part) + " (mod 10)";
        }
    } else if (check == "csumalpha") {
        if (part.size() < 2)
            return field + " '" + value + "' has no room for its two check characters";
        if (const std::string pair = checkPairFor(part); part.substr(part.size() - 2) != pair) {
            return field + " " + value + ": the check characters are " +
                   std::string(part.substr(part.size() - 2)) + ", the other characters give " +
                   pair + " (mod 1021)";
        }
    } else if (check == "yymmd0" || check == "yymmdd" || check == "yymmddhh" ||
               check == "yymmddhhmi" || check == "yymmd0hhmi" || check == "yyyymmdd" ||
               check == "yyyymmddhhmi") {
        const size_t yearDigits = check.starts_with("yyyy") ? 4 : 2;
        if (std::string why = dateError(part, yearDigits, check.starts_with("yymmd0"));
            !why.empty())
            return field + " date " + value + ": " + why;
    } else if (check == "hhmi" || check == "mmoptss") {
        if (check == "mmoptss" && part.size() != 2 && part.size() != 4)
            return field + " '" + value + "' is minutes (2 digits) or minutes and seconds (4)";
        const bool hours = check == "hhmi";
        for (size_t i = 0; i < part.size(); i += 2) {
            const int limit = hours && i == 0 ? 23 : 59;
            if (number(part.substr(i, 2)) > limit) {
                return field + " time " + value + ": " + std::string(part.substr(i, 2)) +
                       " is over " + std::to_string(limit);
            }
        }
    } else if (check == "key") {
        if (part.size() < 2 || !isDigit(part[0]) || !isDigit(part[1])) {
            return field + " '" + value +
                   "' does not start with a GS1 Company Prefix, which is digits (two or more)";
        }
    } else if (check == "iso3166" || check == "iso3166999") {
        if (!isIso3166(number(part)) && !(check == "iso3166999" && part == "999")) {
            return field + " country code " + value + " is no ISO 3166 numeric country code" +
                   (check == "iso3166999" ? " nor 999" : "");
        }
    } else if (check == "iso3166list") {
        if (part.size() % 3 != 0)
            return field + " country codes " + value + " after the first: each has 3 digits";
        for (size_t i = 0; i < part.size(); i += 3) {
            if (!isIso3166(number(part.substr(i, 3)))) {
                return field + " country code " + std::string(part.substr(i, 3)) +
                       " is no ISO 3166 numeric country code";
            }
        }
    } else if (check == "iso3166alpha2") {
        if (!isIso3166Alpha2(part))
            return field + " country code '" + value + "' is no ISO 3166 alpha-2 country code";
    } else if (check == "iso4217") {
        if (!std::binary_search(kIso4217Numeric.begin(), kIso4217Numeric.end(), number(part)))
            return field + " currency " + value + " is no ISO 4217 numeric currency code";
    } else if (check == "couponcode") {
        if (std::string why = couponError(part); !why.empty())
            return field + " " + value + ": " + why;
    } else if (check == "iban") {
        if (std::string why = ibanError(part); !why.empty())
            return field + " " + value + ": " + why;
    } else if (check == "latlong") {
        // Latitude then longitude in ten-millionths of a degree, from 90 degrees south and
        // 180 degrees west.
        if (part.substr(0, 10) > "1800000000")
            return field + " latitude " + value.substr(0, 10) + " is over 1800000000 (90 N)";
        if (part.substr(10) > "3600000000")
            return field + " longitude " + value.substr(10) + " is over 3600000000 (180 E)";
    } else if (check == "hyphen") {
        if (part != "-")
            return field + " sign '" + value + "' is not '-', the sign of a value below zero";
    } else if (check == "yesno") {
        if (part != "0" && part != "1")
            return field + " " + value + " is neither 0 (no) nor 1 (yes)";
    } else if (check == "iso5218") {
        if (part != "0" && part != "1" && part != "2" && part != "9")
            return field + " " + value + " is no ISO/IEC 5218 code (0, 1, 2 or 9)";
    } else if (check == "zero") {
        if (part != "0")
            return field + " leading digit " + value + " is not 0";
    } else if (check == "nonzero") {
        if (number(part) == 0)
            return field + " " + value + " is zero";
    } else if (check == "winding") {
        if (part != "0" && part != "1" && part != "9")
            return field + " winding direction " + value + " is not 0, 1 or 9";
    } else if (check == "pcenc") {
        // Names and addresses write other characters as "%" and two hex digits.
        for (size_t i = part.find('%'); i != std::string_view::npos; i = part.find('%', i + 3)) {
            if (i + 3 > part.size() || !std::isxdigit(static_cast<unsigned char>(part[i + 1])) ||
                !std::isxdigit(static_cast<unsigned char>(part[i + 2]))) {
                return field + " '" + value + "' has a '%' at character " + std::to_string(i + 1) +
                       " that is not followed by two hex digits";
            }
        }
    } else if (check == "nozeroprefix") {
        if (part.size() > 1 && part.front() == '0')
            return field + " " + value + " starts with 0";
    } else if (check == "pieceoftotal") {
        const int piece = number(part.substr(0, 2));
        const int total = number(part.substr(2, 2));
        if (piece == 0 || total == 0 || piece > total) {
            return field + " piece " + value.substr(0, 2) + " of " + value.substr(2, 2) +
                   ": the piece is 01 to the total";
        }
    }
    return {};
}

}  // namespace

int gs1FullYear(int yy, int today) {
    const int century = today - today % 100;
    const int difference = yy - today % 100;
    if (difference >= 51)
        return century - 100 + yy;
    if (difference <= -50)
        return century + 100 + yy;
    return century + yy;
}

bool gs1IdentifierAssigned(std::string_view identifier) {
    return ruleOf(identifier) != nullptr;
}

std::string gs1FieldError(std::string_view ai, std::string_view data) {
    const AiRule* rule = ruleOf(ai);
    // Built by appending: GCC 12 at -O3 takes "(" + std::string(...) for an overlapping copy.
    std::string label = "(";
    label.append(ai);
    label += ')';
    if (rule == nullptr)
        return "application identifier " + label + " is not assigned";
    const std::string field = label + " " + std::string(rule->title);
    const std::vector<Component> components = componentsOf(rule->layout);
    // Each character in the set of the component it falls in, the lengths as laid out.
    size_t pos = 0;
    for (const Component& c : components) {
        if (pos == data.size() && c.optional)
            break;
        const size_t take = c.variable ? std::min(c.length, data.size() - pos) : c.length;
        const bool fits = pos + take <= data.size() && take > 0;
        if (!fits) {
            return label + " takes " + layoutDescription(components) + "; '" + std::string(data) +
                   "' has " + std::to_string(data.size());
        }
        const std::string_view part = data.substr(pos, take);
        for (const char ch : part) {
            if (!inSet(c.set, ch)) {
                return field + (c.checks.starts_with(":iso3166") ? " country code" : "") + " '" +
                       std::string(part) + "' holds " + characterName(ch) +
                       ", which is not among " + std::string(setDescription(c.set));
            }
        }
        for (std::string_view checks = c.checks; !checks.empty();) {
            checks.remove_prefix(1);  // the ':'
            const std::string_view check = checks.substr(0, checks.find(':'));
            checks.remove_prefix(check.size());
            if (std::string why = componentError(check, part, field); !why.empty())
                return why;
        }
        pos += take;
    }
    if (pos != data.size()) {
        return label + " takes " + layoutDescription(components) + "; '" + std::string(data) +
               "' has " + std::to_string(data.size());
    }
    return {};
}

namespace {

std::string labelOf(std::string_view ai) {
    std::string label = "(";
    label.append(ai);
    label += ')';
    return label;
}

// "(01)", "(01) or (02)", "(01), (02) or (8006)"
std::string alternatives(std::string_view list) {
    std::vector<std::string_view> ais;
    while (!list.empty()) {
        const size_t space = std::min(list.find(' '), list.size());
        ais.push_back(list.substr(0, space));
        list.remove_prefix(std::min(space + 1, list.size()));
    }
    std::string out;
    for (size_t i = 0; i < ais.size(); ++i) {
        if (i > 0)
            out += i + 1 == ais.size() ? " or " : ", ";
        out += labelOf(ais[i]);
    }
    return out;
}

bool listed(std::string_view list, std::string_view ai) {
    while (!list.empty()) {
        const size_t space = std::min(list.find(' '), list.size());
        if (list.substr(0, space) == ai)
            return true;
        list.remove_prefix(std::min(space + 1, list.size()));
    }
    return false;
}

// A measure, amount, price or discount (31nn to 39nn): the identifier less its decimal point
// digit names the quantity.
bool isDecimalQuantity(std::string_view ai) {
    return ai.size() == 4 && ai[0] == '3' && ai[1] >= '1' && ai[1] <= '9';
}

}  // namespace

std::string gs1PairingError(const std::vector<std::pair<std::string, std::string>>& fields) {
    for (size_t i = 0; i < fields.size(); ++i) {
        const std::string& a = fields[i].first;
        for (size_t j = i + 1; j < fields.size(); ++j) {
            const std::string& b = fields[j].first;
            if (a == b && fields[i].second != fields[j].second) {
                return labelOf(a) + " appears twice with different data (" + fields[i].second +
                       ", " + fields[j].second + ")";
            }
            if (a != b && isDecimalQuantity(a) && isDecimalQuantity(b) &&
                a.substr(0, 3) == b.substr(0, 3)) {
                return labelOf(a) + " and " + labelOf(b) +
                       " exclude each other: one quantity takes one decimal point position";
            }
            for (const Exclusion& e : kExclusions) {
                if ((inRun(a, e.from, e.to) && inRun(b, e.otherFrom, e.otherTo)) ||
                    (inRun(b, e.from, e.to) && inRun(a, e.otherFrom, e.otherTo))) {
                    return labelOf(a) + " and " + labelOf(b) +
                           " exclude each other: " + std::string(e.why);
                }
            }
        }
    }
    for (const auto& [ai, data] : fields) {
        for (const Requisite& r : kRequisites) {
            if (!inRun(ai, r.from, r.to))
                continue;
            bool met = false;
            for (const auto& other : fields)
                met = met || listed(r.anyOf, other.first);
            if (!met) {
                return labelOf(ai) + " " + std::string(ruleOf(ai)->title) + " needs " +
                       alternatives(r.anyOf) + ": " + std::string(r.why);
            }
        }
    }
    // A price of a variable measure trade item: its GTIN starts with the indicator digit 9.
    for (const auto& [ai, data] : fields) {
        if (!inRun(ai, "3920", "3939"))
            continue;
        for (const auto& [other, gtin] : fields) {
            if (other == "01" && gtin.front() != '9') {
                return labelOf(ai) + " " + std::string(ruleOf(ai)->title) +
                       " needs (01) of a variable measure trade item, whose first digit is 9; "
                       "(01) " +
                       gtin + " starts with " + gtin.front();
            }
        }
    }
    return {};
}

}  // namespace dm
