#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dm {

// GS1 element strings (the bytes of a message that began with FNC1, fields separated by the
// group separator 29) with each application identifier in parentheses:
// "(01)09501101530003(17)140704(10)AB-123"; a parenthesis or backslash in data has a backslash
// before it, "(10)A\\(1\\)", as encode --gs1 takes it. Nothing when the bytes do not split into
// element strings: an identifier that is not digits or not assigned, or a fixed-length field cut
// short.
std::optional<std::string> gs1ElementStrings(std::string_view bytes);

}  // namespace dm
