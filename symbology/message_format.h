#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dm {

// An Extended Channel Interpretation in force from one byte of the message up to the next
// segment's first byte or the end of the message.
struct EciSegment {
    int32_t eci = 0;    // ECI number, 0 to 999999
    int32_t begin = 0;  // index of the first message byte it applies to
    friend bool operator==(const EciSegment&, const EciSegment&) = default;
};

// What an FNC1 in the first or second position of a message marks.
enum class Fnc1Mode : uint8_t {
    None,  // no FNC1 there
    Gs1,   // first position: GS1 element strings
    Aim,   // second position, after an application indicator (one letter or two digits)
};

// What the codewords say about a message beside its bytes.
struct MessageFormat {
    std::vector<EciSegment> eciSegments;  // in message order
    Fnc1Mode fnc1 = Fnc1Mode::None;
    uint8_t macro = 0;               // 5 or 6 when a Macro 05 or 06 codeword began the message
    bool readerProgramming = false;  // the symbol programs the reader; its data is not a message
};

// The AIM symbology identifier of a Data Matrix (ECC 200) message: "]d1" plain, "]d2" FNC1 in
// the first position, "]d3" in the second; three more ("]d4" to "]d6") when ECIs are present.
inline std::string symbologyIdentifier(const MessageFormat& format) {
    int modifier = format.fnc1 == Fnc1Mode::Gs1 ? 2 : format.fnc1 == Fnc1Mode::Aim ? 3 : 1;
    if (!format.eciSegments.empty())
        modifier += 3;
    return "]d" + std::to_string(modifier);
}

}  // namespace dm
