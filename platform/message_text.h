#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "symbology/message_format.h"

namespace dm {

// The character set (its iconv name) an ECI number designates; nothing for an ECI that names
// no character set known here.
std::optional<std::string_view> eciCharacterSet(int32_t eci);

// Text for people, in UTF-8, of decoded message bytes. A message without ECIs is code page 936
// (GBK) text, as this system writes it. In a message with ECIs each segment is read in its
// character set; bytes before the first segment, and those of a segment whose ECI names no
// character set known here, are read as ISO-8859-1, the symbology's default. Invalid or
// incomplete sequences become U+FFFD.
std::string messageText(std::string_view bytes, std::span<const EciSegment> segments);

}  // namespace dm
