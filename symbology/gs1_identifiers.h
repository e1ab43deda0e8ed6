#pragma once

#include <array>
#include <cstdint>

namespace dm {

// Per first two digits of a GS1 application identifier: its length in digits (0: not assigned)
// and, for the element strings of predefined length, the length of the data that follows it.
// Every other field runs to a group separator or to the end of the message.
struct AiPrefix {
    uint8_t identifierDigits = 0;
    uint8_t fixedDataLength = 0;
};

namespace detail {
constexpr std::array<AiPrefix, 100> makeAiPrefixes() {
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
}  // namespace detail

inline constexpr std::array<AiPrefix, 100> kAiPrefixes = detail::makeAiPrefixes();

}  // namespace dm
