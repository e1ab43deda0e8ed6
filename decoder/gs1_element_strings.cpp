#include "decoder/gs1_element_strings.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "symbology/gs1_identifiers.h"

namespace dm {
namespace {

constexpr char kGroupSeparator = 29;

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
        const AiPrefix prefix = kAiPrefixes[(bytes[pos] - '0') * 10 + (bytes[pos + 1] - '0')];
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
        for (const char c : bytes.substr(pos, end - pos)) {
            if (c == '(' || c == ')' || c == '\\')
                out += '\\';
            out += c;
        }
        pos = end;
        // A separator may follow a fixed-length field too.
        if (pos < bytes.size() && bytes[pos] == kGroupSeparator)
            ++pos;
    }
    return out;
}

}  // namespace dm
