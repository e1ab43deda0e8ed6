#include "encoder/gs1_syntax.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>

namespace dm {
namespace {

// One identifier or a run of them (3100 to 3105) with the layout of its data: components
// separated by spaces, each a character set and a length, then its checks:
//   N digits, X character set 82, Y character set 39, Z character set 64;
//   "14" exactly 14, "..20" 1 to 20; a leading "?" makes a final component optional;
//   ":c" ends in a mod-10 check digit, ":d" a date YYMMDD whose day may be 00, ":D" one whose
//   day may not, ":t" a date YYMMDD then hours, minutes (and seconds), ":k" a numeric country
//   code, ":p" a key that starts with the digits of a GS1 Company Prefix.
struct AiRule {
    std::string_view from;
    std::string_view to;
    std::string_view layout;
    std::string_view title;  // the data title, as the specifications name the field
};

// clang-format off
constexpr std::array kRules = std::to_array<AiRule>({
    {"00", "00", "N18:c", "SSCC"},
    {"01", "01", "N14:c", "GTIN"},
    {"02", "02", "N14:c", "CONTENT"},
    {"10", "10", "X..20", "BATCH/LOT"},
    {"11", "11", "N6:d", "PROD DATE"},
    {"12", "12", "N6:d", "DUE DATE"},
    {"13", "13", "N6:d", "PACK DATE"},
    {"15", "15", "N6:d", "BEST BEFORE"},
    {"16", "16", "N6:d", "SELL BY"},
    {"17", "17", "N6:d", "USE BY OR EXPIRY"},
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
    {"253", "253", "N13:c ?X..17", "GDTI"},
    {"254", "254", "X..20", "GLN EXTENSION COMPONENT"},
    {"255", "255", "N13:c ?N..12", "GCN"},
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
    {"3910", "3919", "N3 N..15", "AMOUNT"},
    {"3920", "3929", "N..15", "PRICE"},
    {"3930", "3939", "N3 N..15", "PRICE"},
    {"3940", "3943", "N4", "PRCNT OFF"},
    {"3950", "3955", "N6", "PRICE/UoM"},
    {"400", "400", "X..30", "ORDER NUMBER"},
    {"401", "401", "X..30:p", "GINC"},
    {"402", "402", "N17:c", "GSIN"},
    {"403", "403", "X..30", "ROUTE"},
    {"410", "410", "N13:c", "SHIP TO LOC"},
    {"411", "411", "N13:c", "BILL TO"},
    {"412", "412", "N13:c", "PURCHASE FROM"},
    {"413", "413", "N13:c", "SHIP FOR LOC"},
    {"414", "414", "N13:c", "LOC No."},
    {"415", "415", "N13:c", "PAY TO"},
    {"416", "416", "N13:c", "PROD/SERV LOC"},
    {"417", "417", "N13:c", "PARTY"},
    {"420", "420", "X..20", "SHIP TO POST"},
    {"421", "421", "N3:k X..9", "SHIP TO POST"},
    {"422", "422", "N3:k", "ORIGIN"},
    {"423", "423", "N3:k ?N..12", "COUNTRY - INITIAL PROCESS"},
    {"424", "424", "N3:k", "COUNTRY - PROCESS"},
    {"425", "425", "N3:k ?N..12", "COUNTRY - DISASSEMBLY"},
    {"426", "426", "N3:k", "COUNTRY - FULL PROCESS"},
    {"427", "427", "X..3", "ORIGIN SUBDIVISION"},
    {"4300", "4301", "X..35", "SHIP TO COMP / NAME"},
    {"4302", "4306", "X..70", "SHIP TO ADD / SUB / LOC / REG"},
    {"4307", "4307", "X2", "SHIP TO COUNTRY"},
    {"4308", "4308", "X..30", "SHIP TO PHONE"},
    {"4309", "4309", "N20", "SHIP TO GEO"},
    {"4310", "4311", "X..35", "RTN TO COMP / NAME"},
    {"4312", "4316", "X..70", "RTN TO ADD / SUB / LOC / REG"},
    {"4317", "4317", "X2", "RTN TO COUNTRY"},
    {"4318", "4318", "X..20", "RTN TO POST"},
    {"4319", "4319", "X..30", "RTN TO PHONE"},
    {"4320", "4320", "X..35", "SRV DESCRIPTION"},
    {"4321", "4323", "N1", "DANGEROUS GOODS / AUTH LEAVE / SIG REQUIRED"},
    {"4324", "4325", "N10:t", "NBEF / NAFT DEL DATE"},
    {"4326", "4326", "N6:D", "REL DATE"},
    {"4330", "4333", "N6 ?X1", "MAX / MIN TEMP"},
    {"7001", "7001", "N13", "NSN"},
    {"7002", "7002", "X..30", "MEAT CUT"},
    {"7003", "7003", "N10:t", "EXPIRY TIME"},
    {"7004", "7004", "N..4", "ACTIVE POTENCY"},
    {"7005", "7005", "X..12", "CATCH AREA"},
    {"7006", "7006", "N6:D", "FIRST FREEZE DATE"},
    {"7007", "7007", "N6:D ?N6:D", "HARVEST DATE"},
    {"7008", "7008", "X..3", "AQUATIC SPECIES"},
    {"7009", "7009", "X..10", "FISHING GEAR TYPE"},
    {"7010", "7010", "X..2", "PROD METHOD"},
    {"7011", "7011", "N6:D ?N4", "TEST BY DATE"},
    {"7020", "7022", "X..20", "REFURB LOT / FUNC STAT / REV STAT"},
    {"7023", "7023", "X..30:p", "GIAI - ASSEMBLY"},
    {"7030", "7039", "N3:k X..27", "PROCESSOR # s"},
    {"7040", "7040", "N1 X3", "UIC+EXT"},
    {"710", "716", "X..20", "NHRN"},
    {"7230", "7239", "X2 X..28", "CERT # s"},
    {"7240", "7240", "X..20", "PROTOCOL"},
    {"7241", "7241", "N2", "AIDC MEDIA TYPE"},
    {"7242", "7242", "X..25", "VCN"},
    {"7250", "7250", "N8", "DOB"},
    {"7251", "7251", "N12", "DOB TIME"},
    {"7252", "7252", "N1", "BIO SEX"},
    {"7253", "7254", "X..40", "FAMILY NAME / GIVEN NAME"},
    {"7255", "7255", "X..10", "SUFFIX"},
    {"7256", "7256", "X..90", "FULL NAME"},
    {"7257", "7257", "X..70", "PERSON ADDR"},
    {"7258", "7258", "N1 X1 N1", "BIRTH SEQUENCE"},
    {"7259", "7259", "X..40", "BABY"},
    {"8001", "8001", "N14", "DIMENSIONS"},
    {"8002", "8002", "X..20", "CMT No."},
    {"8003", "8003", "N1 N13:c ?X..16", "GRAI"},
    {"8004", "8004", "X..30:p", "GIAI"},
    {"8005", "8005", "N6", "PRICE PER UNIT"},
    {"8006", "8006", "N14:c N2 N2", "ITIP"},
    {"8007", "8007", "X..34", "IBAN"},
    {"8008", "8008", "N8:t ?N..4", "PROD TIME"},
    {"8009", "8009", "X..50", "OPTSEN"},
    {"8010", "8010", "Y..30:p", "CPID"},
    {"8011", "8011", "N..12", "CPID SERIAL"},
    {"8012", "8012", "X..20", "VERSION"},
    {"8013", "8013", "X..25", "GMN"},
    {"8017", "8018", "N18:c", "GSRN"},
    {"8019", "8019", "N..10", "SRIN"},
    {"8020", "8020", "X..25", "REF No."},
    {"8026", "8026", "N14:c N2 N2", "ITIP CONTENT"},
    {"8030", "8030", "Z..90", "DIGSIG"},
    {"8110", "8110", "X..70", "Coupon"},
    {"8111", "8111", "N4", "POINTS"},
    {"8112", "8112", "X..70", "Coupon"},
    {"8200", "8200", "X..70", "PRODUCT URL"},
    {"90", "90", "X..30", "INTERNAL"},
    {"91", "99", "X..90", "INTERNAL"},
});
// clang-format on

const AiRule* ruleOf(std::string_view ai) {
    for (const AiRule& r : kRules) {
        if (ai.size() == r.from.size() && ai >= r.from && ai <= r.to)
            return &r;
    }
    return nullptr;
}

struct Component {
    char set = 'N';
    size_t length = 0;  // exact length, or the most for a variable one
    bool variable = false;
    bool optional = false;
    char check = 0;  // 'c', 'd', 'D', 't', 'k', 'p' or 0
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
        if (end != part.data() + part.size() && *end == ':')
            c.check = end[1];
        out.push_back(c);
    }
    return out;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Character set 82: the invariant characters of ISO/IEC 646 less the space.
bool inSet82(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || isDigit(c) ||
           std::string_view("!\"%&'()*+,-./:;<=>?_").find(c) != std::string_view::npos;
}
// Character set 39: digits, capitals, "#", "-" and "/".
bool inSet39(char c) {
    return (c >= 'A' && c <= 'Z') || isDigit(c) || c == '#' || c == '-' || c == '/';
}
// Character set 64: the URL-safe base64 alphabet and "=" for padding.
bool inSet64(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || isDigit(c) || c == '-' || c == '_' ||
           c == '=';
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
    return std::string("'") + c + "'";
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

int daysIn(int month, int year) {
    constexpr std::array<int, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && year % 4 == 0 ? 29 : days[static_cast<size_t>(month - 1)];
}

// The rule a date YYMMDD (then HH, MM, SS for a time) breaks, or empty.
std::string dateError(std::string_view digits, bool dayZeroAllowed) {
    const int year = number(digits.substr(0, 2));
    const int month = number(digits.substr(2, 2));
    const int day = number(digits.substr(4, 2));
    if (month < 1 || month > 12)
        return "the month " + std::string(digits.substr(2, 2)) + " is not 01 to 12";
    if (day == 0 && dayZeroAllowed)
        return {};
    if (day < 1 || day > daysIn(month, year)) {
        return "the day " + std::string(digits.substr(4, 2)) + " is not 01 to " +
               std::to_string(daysIn(month, year)) + " in that month" +
               (dayZeroAllowed ? " (or 00 for the month's last)" : "");
    }
    if (digits.size() >= 8 && number(digits.substr(6, 2)) > 23)
        return "the hour " + std::string(digits.substr(6, 2)) + " is not 00 to 23";
    if (digits.size() >= 10 && number(digits.substr(8, 2)) > 59)
        return "the minute " + std::string(digits.substr(8, 2)) + " is not 00 to 59";
    if (digits.size() >= 12 && number(digits.substr(10, 2)) > 59)
        return "the second " + std::string(digits.substr(10, 2)) + " is not 00 to 59";
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

}  // namespace

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
                return field + (c.check == 'k' ? " country code" : "") + " '" + std::string(part) +
                       "' holds " + characterName(ch) + ", which is not among " +
                       std::string(setDescription(c.set));
            }
        }
        switch (c.check) {
            case 'c':
                if (part.back() != checkDigitFor(part)) {
                    return field + " " + std::string(part) + ": the check digit is " + part.back() +
                           ", the other digits give " + checkDigitFor(part) + " (mod 10)";
                }
                break;
            case 'd':
            case 'D':
            case 't':
                if (std::string why = dateError(part, c.check == 'd'); !why.empty())
                    return field + " date " + std::string(part) + ": " + why;
                break;
            case 'p':
                if (!isDigit(part.front())) {
                    return field + " '" + std::string(part) +
                           "' does not start with a GS1 Company Prefix, which is digits";
                }
                break;
            case 'k':
                // ISO 3166 numeric codes run from 004 to 894.
                if (number(part) < 4 || number(part) > 894) {
                    return field + " country code " + std::string(part) +
                           " is no ISO 3166 numeric code (004 to 894)";
                }
                break;
            default:
                break;
        }
        pos += take;
    }
    if (pos != data.size()) {
        return label + " takes " + layoutDescription(components) + "; '" + std::string(data) +
               "' has " + std::to_string(data.size());
    }
    return {};
}

std::string gs1PairingError(const std::vector<std::pair<std::string, std::string>>& fields) {
    auto has = [&](std::string_view ai) {
        return std::any_of(fields.begin(), fields.end(),
                           [&](const auto& f) { return f.first == ai; });
    };
    for (size_t i = 0; i < fields.size(); ++i) {
        for (size_t j = i + 1; j < fields.size(); ++j) {
            if (fields[i].first == fields[j].first && fields[i].second != fields[j].second) {
                return "(" + fields[i].first + ") appears twice with different data (" +
                       fields[i].second + ", " + fields[j].second + ")";
            }
        }
    }
    if (has("01") && has("02"))
        return "(01) and (02) exclude each other: a trade item is either identified or contained";
    if (has("02") && !has("37"))
        return "(02) needs (37): the GTIN of contained items goes with their count";
    if (has("37") && !has("02") && !has("8026"))
        return "(37) needs (02) or (8026): a count of contained items names what they are";
    return {};
}

}  // namespace dm
