#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dm {

// UTF-8 text to code page 936 (GBK) bytes. Nothing when the text is not valid UTF-8 or holds
// a character GBK cannot represent; firstBadCharacter then receives that character (UTF-8).
std::optional<std::string> utf8ToGbk(std::string_view utf8,
                                     std::string* firstBadCharacter = nullptr);

// UTF-8 text to bytes of the character set iconv knows by that name; as utf8ToGbk otherwise.
std::optional<std::string> fromUtf8(std::string_view utf8, const char* characterSet,
                                    std::string* firstBadCharacter = nullptr);

// GBK bytes to UTF-8; every invalid or incomplete sequence becomes U+FFFD.
std::string gbkToUtf8(std::string_view gbk);

// Bytes in the character set iconv knows by that name to UTF-8; every invalid or incomplete
// sequence becomes U+FFFD. Nothing when iconv does not know the character set.
std::optional<std::string> toUtf8(std::string_view bytes, const char* characterSet);

// Offset of the first byte that does not belong to a well-formed UTF-8 sequence (overlong
// forms, surrogates and code points above U+10FFFF are not); nothing when the text is valid.
std::optional<size_t> invalidUtf8Offset(std::string_view text);

// The length of the valid UTF-8 sequence at the start of text (no overlong forms, no
// surrogates, nothing above U+10FFFF), 0 when it does not start with one or is empty.
size_t utf8SequenceLength(std::string_view text);

}  // namespace dm
