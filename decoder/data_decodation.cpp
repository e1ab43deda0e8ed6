#include "decoder/data_decodation.h"

#include <array>
#include <optional>
#include <string_view>

#include "symbology/codeword_values.h"

namespace dm {
namespace {

// FNC1 anywhere but in the first or second position separates fields: the group separator.
constexpr uint8_t kGroupSeparator = 29;
constexpr uint8_t kRecordSeparator = 30;
constexpr uint8_t kEndOfTransmission = 4;

// Value of a C40/Text shift 2 entry that is the Upper Shift when no Upper Shift is pending;
// with one pending it is output as a character like any other (235 + 128 = 107).
constexpr int kShift2UpperShift = 30;
// Shift 2 value 27 is FNC1, which separates fields as it does in ASCII.
constexpr int kShift2Fnc1 = 27;

// One character set of C40/Text: value 0..39 -> byte.
using CharSet = std::array<uint8_t, 40>;

// C40 and Text share everything but the letters of the basic set and of shift 3.
struct CharTables {
    CharSet basic{};
    CharSet shift1{};
    CharSet shift2{};
    CharSet shift3{};
};

constexpr CharTables makeTables(bool text) {
    CharTables t;
    t.basic[3] = ' ';
    for (int v = 4; v <= 13; ++v)
        t.basic[v] = static_cast<uint8_t>('0' + v - 4);
    for (int v = 14; v <= 39; ++v)
        t.basic[v] = static_cast<uint8_t>((text ? 'a' : 'A') + v - 14);
    // Shift 1: the control characters 0..31; 32..39 have no character and give 0.
    for (int v = 0; v <= 31; ++v)
        t.shift1[v] = static_cast<uint8_t>(v);
    // Shift 2: punctuation; 27 is FNC1, 28 and 29 (unassigned) give a space, 30 is the Upper
    // Shift (235 when output).
    for (int v = 0; v <= 14; ++v)
        t.shift2[v] = static_cast<uint8_t>(33 + v);
    for (int v = 15; v <= 21; ++v)
        t.shift2[v] = static_cast<uint8_t>(58 + v - 15);
    for (int v = 22; v <= 26; ++v)
        t.shift2[v] = static_cast<uint8_t>(91 + v - 22);
    t.shift2[kShift2Fnc1] = kGroupSeparator;
    for (int v = 28; v <= 29; ++v)
        t.shift2[v] = ' ';
    t.shift2[kShift2UpperShift] = kUpperShift;
    // Shift 3: 96..127, value 31 being DEL. Text swaps the letters back to upper case.
    for (int v = 0; v <= 31; ++v)
        t.shift3[v] = static_cast<uint8_t>(96 + v);
    if (text) {
        for (int v = 1; v <= 26; ++v)
            t.shift3[v] = static_cast<uint8_t>('A' + v - 1);
    }
    return t;
}

constexpr CharTables kC40 = makeTables(false);
constexpr CharTables kText = makeTables(true);
static_assert(kC40.shift3[31] == 127 && kText.shift3[2] == 'B' && kText.shift3[27] == '{');

constexpr std::array<uint8_t, 40> makeX12() {
    std::array<uint8_t, 40> t{};
    t[0] = 13;  // carriage return
    t[1] = '*';
    t[2] = '>';
    t[3] = ' ';
    for (int v = 4; v <= 13; ++v)
        t[v] = static_cast<uint8_t>('0' + v - 4);
    for (int v = 14; v <= 39; ++v)
        t[v] = static_cast<uint8_t>('A' + v - 14);
    return t;
}

constexpr std::array<uint8_t, 40> kX12 = makeX12();

// The codeword at pos, or 0 past the end of the data.
uint8_t at(std::span<const uint8_t> data, int pos) {
    return pos >= 0 && static_cast<size_t>(pos) < data.size() ? data[pos] : 0;
}

int dataCount(std::span<const uint8_t> data) {
    return static_cast<int>(data.size());
}

enum class PairBoundary { Decode, Unlatched, Done };

// Segment end rules shared by C40, Text and X12 at a pair boundary: an unlatch codeword is
// consumed; at the end of the data, or with a single codeword left (which ASCII decodes), the
// segment simply ends.
PairBoundary pairBoundary(std::span<const uint8_t> data, int& pos) {
    const int d = dataCount(data);
    if (at(data, pos) == kUnlatch) {
        ++pos;
        return PairBoundary::Unlatched;
    }
    if (pos >= d - 1)
        return PairBoundary::Done;
    return PairBoundary::Decode;
}

// Unpacks one codeword pair into three values 0..39; false for an invalid pair.
bool unpackTriple(std::span<const uint8_t> data, int pos, std::array<int, 3>& values) {
    const int v = at(data, pos) * 256 + at(data, pos + 1) - 1;
    // A pair of zero codewords would give a negative value; first values above 39 do not exist.
    if (v < 0 || v / 1600 > 39)
        return false;
    values = {v / 1600, (v % 1600) / 40, v % 40};
    return true;
}

bool decodeC40Text(std::span<const uint8_t> data, std::vector<uint8_t>& text, int& pos,
                   const CharTables& tables) {
    enum { Basic, Shift1, Shift2, Shift3 } set = Basic;
    bool upperShift = false;
    for (;;) {
        if (pairBoundary(data, pos) != PairBoundary::Decode)
            return true;
        std::array<int, 3> values{};
        if (!unpackTriple(data, pos, values))
            return false;
        for (const int v : values) {
            uint8_t c = 0;
            if (set == Basic) {
                if (v < 3) {
                    set = v == 0 ? Shift1 : v == 1 ? Shift2 : Shift3;
                    continue;
                }
                c = tables.basic[v];
            } else {
                const auto current = set;
                set = Basic;
                if (current == Shift2 && v == kShift2UpperShift && !upperShift) {
                    upperShift = true;
                    continue;
                }
                c = current == Shift1   ? tables.shift1[v]
                    : current == Shift2 ? tables.shift2[v]
                                        : tables.shift3[v];
            }
            if (upperShift) {
                c = static_cast<uint8_t>(c + 128);
                upperShift = false;
            }
            text.push_back(c);
        }
        pos += 2;
    }
}

constexpr int32_t kLargestEci = 999999;

// Reads the ECI number that follows an ECI codeword in one to three codewords from pos and
// moves pos past them. Nothing for a designator that is cut off or holds no valid number.
std::optional<int32_t> readEciNumber(std::span<const uint8_t> data, int& pos) {
    const int c1 = at(data, pos);
    const int length = c1 < 128 ? 1 : c1 < 192 ? 2 : 3;
    if (c1 == 0 || pos + length > dataCount(data))
        return std::nullopt;
    const int c2 = at(data, pos + 1);
    const int c3 = at(data, pos + 2);
    auto valid = [](int c) { return c >= 1 && c <= 254; };
    int32_t eci = c1 - 1;
    if (length == 2) {
        if (!valid(c2))
            return std::nullopt;
        eci = (c1 - 128) * 254 + c2 - 1 + 127;
    } else if (length == 3) {
        if (!valid(c2) || !valid(c3))
            return std::nullopt;
        eci = (c1 - 192) * 64516 + (c2 - 1) * 254 + c3 - 1 + 16383;
    }
    if (eci > kLargestEci)
        return std::nullopt;
    pos += length;
    return eci;
}

// Whether an ASCII codeword is an application indicator: one letter or two digits, which an
// FNC1 right after it marks as the start of AIM-registered data.
bool isApplicationIndicator(uint8_t c) {
    const int ascii = c - 1;
    return (ascii >= 'A' && ascii <= 'Z') || (ascii >= 'a' && ascii <= 'z') ||
           (c >= 130 && c <= 229);
}

// Scheme decoders. Each starts at data[pos] (just after its latch codeword), appends its output
// to text and leaves pos on the first codeword that ASCII decodes next. A codeword read past the
// end of data is 0. They return false on an invalid value or a segment running past the data.
bool decodeC40(std::span<const uint8_t> data, std::vector<uint8_t>& text, int& pos) {
    return decodeC40Text(data, text, pos, kC40);
}

bool decodeText(std::span<const uint8_t> data, std::vector<uint8_t>& text, int& pos) {
    return decodeC40Text(data, text, pos, kText);
}

bool decodeX12(std::span<const uint8_t> data, std::vector<uint8_t>& text, int& pos) {
    for (;;) {
        if (pairBoundary(data, pos) != PairBoundary::Decode)
            return true;
        std::array<int, 3> values{};
        if (!unpackTriple(data, pos, values))
            return false;
        for (const int v : values)
            text.push_back(kX12[v]);
        pos += 2;
    }
}

bool decodeEdifact(std::span<const uint8_t> data, std::vector<uint8_t>& text, int& pos) {
    const int d = dataCount(data);
    // Fewer than three codewords left: they are ASCII.
    if (pos + 3 > d)
        return true;
    for (;;) {
        const uint32_t bits = static_cast<uint32_t>(at(data, pos)) << 16 |
                              static_cast<uint32_t>(at(data, pos + 1)) << 8 | at(data, pos + 2);
        for (int k = 0; k < 4; ++k) {
            // Codeword that holds the last bit of value k: 0, 1, 2, 2.
            const int last = k == 3 ? 2 : k;
            if (pos + last >= d)
                return false;
            const int value = static_cast<int>(bits >> (18 - 6 * k)) & 63;
            if (value == 31) {
                pos += last + 1;
                return true;
            }
            text.push_back(static_cast<uint8_t>(value & 32 ? value : value + 64));
        }
        pos += 3;
        if (pos + 3 > d)
            return true;
    }
}

bool decodeBase256(std::span<const uint8_t> data, std::vector<uint8_t>& text, int& pos) {
    const int d = dataCount(data);
    auto unrandomised = [&](int p) {
        return static_cast<uint8_t>(at(data, p) - (149 * (p + 1)) % 255 - 1);
    };
    int length = unrandomised(pos);
    if (length <= 249) {
        pos += 1;
    } else {
        length = 250 * (length - 249) + unrandomised(pos + 1);
        pos += 2;
    }
    // Length 0 means the field runs to the end of the data.
    if (length == 0)
        length = d - pos;
    // A field running past the data has no valid reading.
    if (length > d - 1 || pos + length > d)
        return false;
    for (int i = 0; i < length; ++i, ++pos)
        text.push_back(unrandomised(pos));
    return true;
}

}  // namespace

bool decodeData(std::span<const uint8_t> data, std::vector<uint8_t>& text, DecodeState& state,
                DecodeStatus& status) {
    const int d = dataCount(data);
    int pos = 0;
    if (at(data, 0) == kStructuredAppend) {
        const uint8_t sequence = at(data, 1);
        state.appendPosition = static_cast<uint8_t>((sequence >> 4) + 1);
        // The low nibble holds 17 minus the symbol count; a count of 16 reads as 0.
        state.appendTotal = static_cast<uint8_t>((1 - sequence) & 15);
        state.fileId1 = at(data, 2);
        state.fileId2 = at(data, 3);
        pos = 4;
    }
    // The message proper starts here, after a Structured Append header: a macro, Reader
    // Programming and FNC1 mark the message only in its first position (FNC1 also the second).
    const int first = pos;
    MessageFormat& format = state.format;
    format = MessageFormat{};
    auto fail = [&] {
        status = DecodeStatus::DataDecodationFailed;
        return false;
    };
    for (;;) {
        if (pos > d)
            return fail();
        if (pos == d || data[pos] == kPad)
            break;
        const uint8_t c = data[pos];
        bool (*scheme)(std::span<const uint8_t>, std::vector<uint8_t>&, int&) = nullptr;
        switch (c) {
            case kLatchC40:
                scheme = decodeC40;
                break;
            case kLatchText:
                scheme = decodeText;
                break;
            case kLatchX12:
                scheme = decodeX12;
                break;
            case kLatchEdifact:
                scheme = decodeEdifact;
                break;
            case kLatchBase256:
                scheme = decodeBase256;
                break;
            default:
                break;
        }
        if (scheme != nullptr) {
            ++pos;
            if (!scheme(data, text, pos))
                return fail();
            continue;
        }
        if (c >= 1 && c <= 128) {
            text.push_back(static_cast<uint8_t>(c - 1));
            ++pos;
        } else if (c >= 130 && c <= 229) {
            text.push_back(static_cast<uint8_t>('0' + (c - 130) / 10));
            text.push_back(static_cast<uint8_t>('0' + (c - 130) % 10));
            ++pos;
        } else if (c == kUpperShift) {
            if (pos + 1 > d - 1)
                return fail();
            text.push_back(static_cast<uint8_t>(data[pos + 1] + 127));
            pos += 2;
        } else if (c == kFnc1) {
            // The marking FNC1 is not data; every other one separates fields.
            if (pos == first) {
                format.fnc1 = Fnc1Mode::Gs1;
            } else if (pos == first + 1 && format.fnc1 == Fnc1Mode::None &&
                       isApplicationIndicator(data[first])) {
                format.fnc1 = Fnc1Mode::Aim;
            } else {
                text.push_back(kGroupSeparator);
            }
            ++pos;
        } else if (c == kEci) {
            // The designator switches the character set for the bytes that follow.
            ++pos;
            const std::optional<int32_t> eci = readEciNumber(data, pos);
            if (!eci)
                return fail();
            format.eciSegments.push_back({*eci, static_cast<int32_t>(text.size())});
        } else if (pos == first && (c == kMacro05 || c == kMacro06)) {
            // The macro stands for the header "[)>" RS "05" (or "06") GS; its trailer RS EOT
            // follows the last byte of the message.
            format.macro = c == kMacro05 ? 5 : 6;
            const std::string_view header = c == kMacro05 ? "[)>\x1E"
                                                            "05\x1D"
                                                          : "[)>\x1E"
                                                            "06\x1D";
            text.insert(text.end(), header.begin(), header.end());
            ++pos;
        } else if (pos == first && c == kReaderProgramming) {
            format.readerProgramming = true;
            ++pos;
        } else {
            // A misplaced Structured Append, macro, Reader Programming or unlatch codeword and
            // the unassigned values carry nothing; they are passed over.
            ++pos;
        }
    }
    if (format.macro != 0) {
        text.push_back(kRecordSeparator);
        text.push_back(kEndOfTransmission);
    }
    state.textLength = static_cast<int32_t>(text.size());
    return true;
}

}  // namespace dm
