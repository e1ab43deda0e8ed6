#include "decoder/gs1_element_strings.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace dm {
namespace {

constexpr char kGroupSeparator = 29;

// Per first two digits of an application identifier: its length in digits (0: not assigned)
// and, for the element strings of predefined length, the length of the data that follows it.
// Every other field runs to a group separator or to the end of the message.
struct AiPrefix {
    uint8_t identifierDigits = 0;
    uint8_t fixedDataLength = 0;
};

constexpr std::array<AiPrefix, 100> makePrefixes() {
    std::array<AiPrefix, 100> t{};
    auto set = [&t](int from, int to, uint8_t digits, uint8_t fixed = 0) {
        for (int p = from; p <= to; ++p)
            t[p] = {digits, fixed};
    };
    set(0, 0, 2, 18);  // SSCC
    set(1, 3, 2, 14);  // GTINs
    set(4, 4, 2, 16);
    set(10, 10, 2);     // batch or lot
    set(11, 19, 2, 6);  // dates
    set(20, 20, 2, 2);  // variant
    set(21, 22, 2);
    set(23, 25, 3);
    set(30, 30, 2);
    set(31, 36, 4, 6);  // measures
    set(37, 37, 2);
    set(39, 39, 4);
    set(40, 40, 3);
    set(41, 41, 3, 13);  // locations
    set(42, 42, 3);
    set(43, 43, 4);
    set(70, 70, 4);
    set(71, 71, 3);
    set(72, 72, 4);
    set(80, 82, 4);
    set(90, 99, 2);
    return t;
}

constexpr std::array<AiPrefix, 100> kPrefixes = makePrefixes();

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::optional<std::string> gs1ElementStrings(std::string_view bytes) {
    std::string out;
    size_t pos = 0;
    while (pos < bytes.size()) {
        if (pos + 2 > bytes.size() || !isDigit(bytes[pos]) || !isDigit(bytes[pos + 1]))
            return std::nullopt;
        const AiPrefix prefix = kPrefixes[(bytes[pos] - '0') * 10 + (bytes[pos + 1] - '0')];
        const size_t digits = prefix.identifierDigits;
        if (digits == 0 || pos + digits > bytes.size())
            return std::nullopt;
        for (size_t i = 2; i < digits; ++i) {
            if (!isDigit(bytes[pos + i]))
                return std::nullopt;
        }
        out += '(';
        out.append(bytes.substr(pos, digits));
        out += ')';
        pos += digits;
        size_t end = 0;
        if (prefix.fixedDataLength > 0) {
            end = pos + prefix.fixedDataLength;
            if (end > bytes.size())
                return std::nullopt;
        } else {
            end = std::min(bytes.find(kGroupSeparator, pos), bytes.size());
        }
        out.append(bytes.substr(pos, end - pos));
        pos = end;
        // A separator may follow a fixed-length field too.
        if (pos < bytes.size() && bytes[pos] == kGroupSeparator)
            ++pos;
    }
    return out;
}

}  // namespace dm
