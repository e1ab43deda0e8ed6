#pragma once

// Joining the symbols of Structured Append series back into their messages.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "decoder/decode_image.h"
#include "symbology/api.h"

namespace dm {

// One series among the symbols read: those with the same file identification and count.
struct AppendSeries {
    uint8_t fileId1 = 0;
    uint8_t fileId2 = 0;
    uint8_t total = 0;                 // symbols in the series, 2 to 16
    std::vector<int32_t> members;      // per position (1 to total, in order): the index of its
                                       // symbol among those given, -1 when none was read
    std::vector<uint8_t> missing;      // positions no symbol was read for
    std::vector<uint8_t> conflicting;  // positions read with two different messages
    std::string text;                  // the joined message, in position order, once joined()

    bool joined() const { return missing.empty() && conflicting.empty(); }
};

// The series among the decoded symbols, in the order their first symbols come. The same symbol
// read twice (the same message at one position) counts once; a series is joined only when every
// position was read and no position holds two different messages.
DM_API std::vector<AppendSeries> joinStructuredAppend(std::span<const DecodeResult> symbols);

}  // namespace dm
