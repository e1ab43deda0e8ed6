#include "encoder/symbol_encoder.h"

#include <algorithm>
#include <numeric>

#include "encoder/gs1_syntax.h"
#include "symbology/codeword_values.h"
#include "symbology/gs1_identifiers.h"
#include "symbology/placement.h"
#include "symbology/reed_solomon.h"
#include "symbology/symbol_size.h"

namespace dm {
namespace {

constexpr int32_t kLargestEci = 999999;

constexpr std::string_view kMacroTrailer = "\x1E\x04";

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Sizes the shape allows, in the order they are tried: squares and rectangles by capacity,
// Any by area.
std::vector<int> sizesInOrder(Shape shape, bool dmre) {
    std::vector<int> sizes;
    for (int i = 0; i < kSizeCount; ++i) {
        const bool square = i < kSquareCount;
        const bool extension = isDmre(i);
        if (extension && !dmre)
            continue;
        if ((shape == Shape::Square && square) || (shape == Shape::Rectangle && !square) ||
            shape == Shape::Any)
            sizes.push_back(i);
    }
    auto area = [](int i) { return symbolSize(i).symbolRows * symbolSize(i).symbolCols; };
    auto data = [](int i) { return static_cast<int>(symbolSize(i).dataCodewords); };
    std::stable_sort(sizes.begin(), sizes.end(), [&](int a, int b) {
        return shape == Shape::Any ? std::pair(area(a), data(a)) < std::pair(area(b), data(b))
                                   : std::pair(data(a), area(a)) < std::pair(data(b), area(b));
    });
    return sizes;
}

// The sizes of every shape, with and without the extension, sorted once.
std::span<const int> candidateSizes(Shape shape, bool dmre) {
    static const std::array<std::vector<int>, 6> orders = [] {
        std::array<std::vector<int>, 6> out;
        for (const Shape s : {Shape::Square, Shape::Rectangle, Shape::Any}) {
            for (const bool d : {false, true})
                out[static_cast<size_t>(s) * 2 + d] = sizesInOrder(s, d);
        }
        return out;
    }();
    return orders[static_cast<size_t>(shape) * 2 + dmre];
}

void appendEci(std::vector<uint8_t>& out, int32_t eci) {
    out.push_back(kEci);
    if (eci <= 126) {
        out.push_back(static_cast<uint8_t>(eci + 1));
    } else if (eci <= 16382) {
        out.push_back(static_cast<uint8_t>((eci - 127) / 254 + 128));
        out.push_back(static_cast<uint8_t>((eci - 127) % 254 + 1));
    } else {
        out.push_back(static_cast<uint8_t>((eci - 16383) / 64516 + 192));
        out.push_back(static_cast<uint8_t>((eci - 16383) / 254 % 254 + 1));
        out.push_back(static_cast<uint8_t>((eci - 16383) % 254 + 1));
    }
}

std::string checkOptions(const SymbolOptions& o) {
    if (o.macro != 0 && o.macro != 5 && o.macro != 6)
        return "the macro must be 05 or 06";
    if (o.eci > kLargestEci || o.eci < -1)
        return "an ECI number is 0 to 999999";
    if (o.structuredAppend != 0 &&
        (o.structuredAppend < 2 || o.structuredAppend > kMaxStructuredAppend))
        return "a Structured Append series has 2 to 16 symbols";
    const int kinds = (o.gs1 ? 1 : 0) + (o.macro ? 1 : 0) + (o.readerProgramming ? 1 : 0);
    if (kinds > 1)
        return "GS1, a macro and Reader Programming each mark the start of the message; choose "
               "one";
    if (o.readerProgramming && o.structuredAppend)
        return "a Reader Programming symbol cannot be part of a Structured Append series";
    if (o.sizeIndex != -1 && !isValidSizeIndex(o.sizeIndex))
        return "no symbol size has the index " + std::to_string(o.sizeIndex);
    if (o.dmre && o.shape == Shape::Square)
        return "the rectangular extension sizes are rectangles; choose the shape rect or any";
    return {};
}

EncodedSymbol buildSymbol(Encodation e) {
    const SymbolSize& s = symbolSize(e.sizeIndex);
    std::vector<uint8_t> stream = std::move(e.codewords);
    stream.resize(static_cast<size_t>(s.dataCodewords) + s.eccCodewords);
    encodeBlocks(stream, e.sizeIndex);
    EncodedSymbol symbol;
    symbol.sizeIndex = e.sizeIndex;
    symbol.side = s.symbolCols;
    symbol.rows = s.symbolRows;
    symbol.cols = s.symbolCols;
    symbol.moduleMatrix = placeCodewords(stream, e.sizeIndex);
    symbol.codewords = std::move(stream);
    return symbol;
}

std::string characterName(int c) {
    if (c == kFnc1Character)
        return "FNC1";
    std::string out = "byte ";
    out += std::to_string(c);
    if (c > 32 && c < 127) {
        out += " '";
        out += static_cast<char>(c);
        out += '\'';
    }
    return out;
}

std::string_view schemeLabel(Scheme s) {
    constexpr std::array<std::string_view, 7> names{"auto", "ASCII",   "C40",    "Text",
                                                    "X12",  "EDIFACT", "Base256"};
    return names[static_cast<size_t>(s)];
}

// Where a character of the message begins, for each index and the end: a series is split only
// there, so that no symbol ends inside a character. Multi-byte sets by their lead bytes: GBK
// (no ECI) and GB18030 (two or four bytes), GB2312, Big5, EUC-KR, Shift JIS, UTF-8 and UTF-16.
std::vector<bool> characterStarts(std::span<const int> chars, int32_t eci) {
    std::vector<bool> starts(chars.size() + 1, true);
    auto byteAt = [&](size_t i) { return i < chars.size() ? chars[i] : -1; };
    for (size_t i = 0; i < chars.size();) {
        const int b = chars[i];
        size_t length = 1;
        switch (eci) {
            case -1:  // GBK as this system writes text, and GB18030
            case 29:
            case 31:
            case 32:
            case 28:  // Big5
            case 30:  // EUC-KR
                if (b >= 0x81 && b <= 0xFE)
                    length = byteAt(i + 1) >= 0x30 && byteAt(i + 1) <= 0x39 ? 4 : 2;
                break;
            case 20:  // Shift JIS
                if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC))
                    length = 2;
                break;
            case 26:  // UTF-8
                length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
                break;
            case 25:  // UTF-16, big and little endian: a surrogate pair is one character
                length = (b & 0xFC) == 0xD8 ? 4 : 2;
                break;
            case 33:
                length = (byteAt(i + 1) & 0xFC) == 0xD8 ? 4 : 2;
                break;
            case 34:  // UTF-32
            case 35:
                length = 4;
                break;
            default:
                break;
        }
        for (size_t j = i + 1; j < i + length && j < chars.size(); ++j)
            starts[j] = false;
        i += length;
    }
    return starts;
}

// The nearest character start at or before to that leaves the part non-empty, or the first one
// after when the part would be empty; never beyond last.
size_t characterCut(const std::vector<bool>& starts, size_t from, size_t to, size_t last) {
    size_t cut = to;
    while (cut > from + 1 && !starts[cut])
        --cut;
    if (starts[cut] && cut > from)
        return cut;
    cut = to;
    while (cut < last && !starts[cut])
        ++cut;
    return cut;
}

}  // namespace

Gs1Characters parseGs1(std::string_view text) {
    Gs1Characters out;
    auto fail = [&out](std::string why) {
        out.chars.clear();
        out.error = std::move(why);
        return out;
    };
    if (text.empty() || text.front() != '(')
        return fail("GS1 data starts with an application identifier in parentheses, as (01)");
    std::vector<std::pair<std::string, std::string>> fields;
    size_t pos = 0;
    bool separatorDue = false;
    while (pos < text.size()) {
        const size_t close = text.find(')', pos);
        if (text[pos] != '(' || close == std::string_view::npos)
            return fail("expected an application identifier in parentheses at character " +
                        std::to_string(pos + 1));
        const std::string_view ai = text.substr(pos + 1, close - pos - 1);
        const bool digits = !ai.empty() && std::all_of(ai.begin(), ai.end(), isDigit);
        const AiPrefix prefix =
            digits && ai.size() >= 2 ? kAiPrefixes[(ai[0] - '0') * 10 + (ai[1] - '0')] : AiPrefix{};
        std::string label = "(";
        label += ai;
        label += ')';
        if (prefix.identifierDigits == 0 || ai.size() != prefix.identifierDigits ||
            !gs1IdentifierAssigned(ai))
            return fail("application identifier " + label + " is not assigned or not " +
                        (prefix.identifierDigits ? std::to_string(prefix.identifierDigits)
                                                 : std::string("2 to 4")) +
                        " digits long");
        // The data runs to the next unescaped "(": a backslash takes the "(" or ")" after it
        // (or a second backslash) as data.
        std::string field;
        size_t end = close + 1;
        for (; end < text.size() && text[end] != '('; ++end) {
            if (text[end] != '\\') {
                field += text[end];
                continue;
            }
            if (end + 1 == text.size() ||
                std::string_view("()\\").find(text[end + 1]) == std::string_view::npos) {
                return fail(label +
                            " holds a backslash that escapes nothing; \\( and \\) write "
                            "parentheses in data");
            }
            field += text[++end];
        }
        if (field.empty())
            return fail(label + " has no data");
        if (std::string why = gs1FieldError(ai, field); !why.empty())
            return fail(std::move(why));
        if (separatorDue)
            out.chars.push_back(kFnc1Character);
        for (const char c : ai)
            out.chars.push_back(c);
        for (const char c : field)
            out.chars.push_back(static_cast<unsigned char>(c));
        separatorDue = prefix.fixedDataLength == 0;
        fields.emplace_back(ai, std::move(field));
        pos = end;
    }
    if (std::string why = gs1PairingError(fields); !why.empty())
        return fail(std::move(why));
    return out;
}

std::optional<EncodedSymbol> encodeAsciiSquare(std::span<const uint8_t> message) {
    const std::vector<int> chars(message.begin(), message.end());
    auto encoded = encodeData({}, chars, Scheme::Ascii, candidateSizes(Shape::Square, false));
    if (!encoded)
        return std::nullopt;
    return buildSymbol(std::move(*encoded));
}

SymbolSeries encodeSymbols(std::span<const uint8_t> message, const SymbolOptions& options) {
    SymbolSeries series;
    if (std::string why = checkOptions(options); !why.empty()) {
        series.error = std::move(why);
        return series;
    }
    std::vector<int> chars;
    if (options.gs1) {
        Gs1Characters parsed = parseGs1(
            std::string_view(reinterpret_cast<const char*>(message.data()), message.size()));
        if (!parsed.error.empty()) {
            series.error = std::move(parsed.error);
            return series;
        }
        chars = std::move(parsed.chars);
    } else {
        std::string_view body(reinterpret_cast<const char*>(message.data()), message.size());
        if (options.macro != 0) {
            // A message that already carries the envelope is written without it: the macro
            // codeword stands for both ends.
            std::string header = "[)>\x1E";
            header += options.macro == 5 ? "05" : "06";
            header += '\x1D';
            if (body.starts_with(header) && body.ends_with(kMacroTrailer) &&
                body.size() >= header.size() + kMacroTrailer.size()) {
                body =
                    body.substr(header.size(), body.size() - header.size() - kMacroTrailer.size());
            }
        }
        const auto* bytes = reinterpret_cast<const uint8_t*>(body.data());
        chars.assign(bytes, bytes + body.size());
    }
    if (chars.empty() && options.macro == 0 && options.eci < 0 && !options.readerProgramming) {
        series.error = "the text is empty; nothing to encode";
        return series;
    }
    if (const int bad = unwritableCharacter(chars, options.scheme); bad >= 0) {
        series.error = std::string(schemeLabel(options.scheme)) + " cannot write " +
                       characterName(chars[bad]) + " (character " + std::to_string(bad + 1) +
                       " of the message)";
        return series;
    }
    const int parts = std::max(1, options.structuredAppend);
    const std::vector<bool> starts = characterStarts(chars, options.gs1 ? 0 : options.eci);
    if (std::count(starts.begin(), starts.end() - 1, true) < parts) {
        series.error = "a series of " + std::to_string(parts) + " symbols needs at least " +
                       std::to_string(parts) + " characters";
        return series;
    }
    const std::span<const int> sizes = options.sizeIndex >= 0
                                           ? std::span<const int>(&options.sizeIndex, 1)
                                           : candidateSizes(options.shape, options.dmre);
    // The file id of a series follows from its content, so the same message gives the same
    // symbols; a single symbol has none.
    const uint32_t hash =
        parts == 1 ? 0
                   : std::accumulate(message.begin(), message.end(), 2166136261u,
                                     [](uint32_t h, uint8_t b) { return (h ^ b) * 16777619u; });
    auto encodePart = [&](int k, size_t from, size_t to) {
        std::vector<uint8_t> prefix;
        if (parts > 1) {
            prefix.push_back(kStructuredAppend);
            prefix.push_back(static_cast<uint8_t>(k << 4 | (17 - parts)));
            prefix.push_back(static_cast<uint8_t>(hash % 254 + 1));
            prefix.push_back(static_cast<uint8_t>(hash / 254 % 254 + 1));
        }
        if (k == 0) {
            if (options.readerProgramming)
                prefix.push_back(kReaderProgramming);
            if (options.gs1)
                prefix.push_back(kFnc1);
            if (options.macro != 0)
                prefix.push_back(options.macro == 5 ? kMacro05 : kMacro06);
        }
        if (options.eci >= 0)
            appendEci(prefix, options.eci);
        return encodeData(prefix, std::span<const int>(chars.data() + from, to - from),
                          options.scheme, sizes);
    };
    // Equal shares first, for symbols of like size; when a share does not fit, each symbol in
    // turn takes as much as fits it, which carries as much as the series can.
    std::vector<Encodation> encoded;
    for (const bool greedy : {false, true}) {
        encoded.clear();
        size_t from = 0;
        for (int k = 0; k < parts; ++k) {
            const size_t last = chars.size() - static_cast<size_t>(parts - 1 - k);
            size_t to =
                k + 1 == parts ? chars.size()
                : greedy       ? last
                         : chars.size() * static_cast<size_t>(k + 1) / static_cast<size_t>(parts);
            to = characterCut(starts, from, to, last);
            std::optional<Encodation> part = encodePart(k, from, to);
            if (!part && greedy && k + 1 < parts) {
                // The longest share that fits: more characters never take fewer codewords.
                size_t fits = from, tooLong = to;
                while (tooLong - fits > 1) {
                    const size_t mid =
                        characterCut(starts, from, fits + (tooLong - fits) / 2, tooLong - 1);
                    if (mid <= fits || mid >= tooLong)
                        break;
                    (encodePart(k, from, mid) ? fits : tooLong) = mid;
                }
                if (fits > from)
                    part = encodePart(k, from, to = fits);
            }
            if (!part)
                break;
            encoded.push_back(std::move(*part));
            from = to;
        }
        if (static_cast<int>(encoded.size()) == parts || parts == 1)
            break;
    }
    if (static_cast<int>(encoded.size()) != parts) {
        series.error = parts == 1 ? "the text does not fit the largest symbol of the chosen shape"
                                  : "the text does not fit a series of " + std::to_string(parts) +
                                        " symbols of the chosen shape";
        return series;
    }
    for (Encodation& e : encoded) {
        series.dataLengths.push_back(e.dataLength);
        series.symbols.push_back(buildSymbol(std::move(e)));
    }
    return series;
}

}  // namespace dm
