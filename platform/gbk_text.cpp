#include "platform/gbk_text.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace dm {
namespace {

constexpr const char* kGbk = "GBK";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Owns one iconv conversion descriptor.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (valid())
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as possible; returns false at the first sequence that fails, leaving
    // in/inLeft on it.
    bool run(const char*& in, size_t& inLeft, std::string& out) {
        char buffer[4096];
        while (inLeft > 0) {
            char* outPtr = buffer;
            size_t outLeft = sizeof buffer;
            const size_t r = iconv(cd_, const_cast<char**>(&in), &inLeft, &outPtr, &outLeft);
            out.append(buffer, static_cast<size_t>(outPtr - buffer));
            if (r == static_cast<size_t>(-1) && errno != E2BIG)
                return false;
        }
        return true;
    }

  private:
    iconv_t cd_;
};

// Length of the UTF-8 sequence starting with lead byte b (1 for stray bytes).
size_t utf8Length(unsigned char b) {
    if (b >= 0xF0)
        return 4;
    if (b >= 0xE0)
        return 3;
    if (b >= 0xC0)
        return 2;
    return 1;
}

}  // namespace

std::optional<std::string> utf8ToGbk(std::string_view utf8, std::string* firstBadCharacter) {
    return fromUtf8(utf8, kGbk, firstBadCharacter);
}

std::optional<std::string> fromUtf8(std::string_view utf8, const char* characterSet,
                                    std::string* firstBadCharacter) {
    Converter cv(characterSet, "UTF-8");
    if (!cv.valid())
        return std::nullopt;
    const char* in = utf8.data();
    size_t left = utf8.size();
    std::string out;
    if (!cv.run(in, left, out)) {
        if (firstBadCharacter) {
            *firstBadCharacter =
                std::string(in, std::min(left, utf8Length(static_cast<unsigned char>(*in))));
        }
        return std::nullopt;
    }
    return out;
}

std::string gbkToUtf8(std::string_view gbk) {
    return toUtf8(gbk, kGbk).value_or(std::string());
}

std::optional<std::string> toUtf8(std::string_view bytes, const char* characterSet) {
    Converter cv("UTF-8", characterSet);
    if (!cv.valid())
        return std::nullopt;
    std::string out;
    const char* in = bytes.data();
    size_t left = bytes.size();
    while (!cv.run(in, left, out)) {
        // Replace the byte that cannot start a character and go on with the next one.
        out.append(kReplacement);
        ++in;
        --left;
    }
    return out;
}

size_t utf8SequenceLength(std::string_view text) {
    if (text.empty())
        return 0;
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b = byte(0);
    if (b < 0x80)
        return 1;
    // Lead byte: sequence length and the range allowed for the second byte, which is where
    // overlong forms, surrogates and values past U+10FFFF show.
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        low = b == 0xE0 ? 0xA0 : 0x80;
        high = b == 0xED ? 0x9F : 0xBF;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        low = b == 0xF0 ? 0x90 : 0x80;
        high = b == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (size_t k = 1; k < length; ++k) {
        if (byte(k) < (k == 1 ? low : 0x80) || byte(k) > (k == 1 ? high : 0xBF))
            return 0;
    }
    return length;
}

std::optional<size_t> invalidUtf8Offset(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const size_t length = utf8SequenceLength(text.substr(i));
        if (length == 0)
            return i;
        i += length;
    }
    return std::nullopt;
}

}  // namespace dm
