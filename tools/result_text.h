#pragma once

// How the tool writes decode results for people and for JSON.

#include <string>

#include "decoder/decode_image.h"

namespace dm::tool {

// "10x10", "8x18" (rows x columns) for a size index, empty for -1.
std::string sizeName(int sizeIndex);

// Text for people, in UTF-8, of a decoded message: GBK where no ECI is in force, each ECI
// segment from its character set.
std::string displayText(const DecodeResult& result);

// The bytes in lower-case hex, two digits each.
std::string hexBytes(const std::string& bytes);

// JSON string literal for UTF-8 text; bytes that are not UTF-8 become U+FFFD.
std::string jsonString(const std::string& s);

// The bounds on image files and on the pictures decoded of them, in words, for --help.
std::string decodingLimits();

}  // namespace dm::tool
