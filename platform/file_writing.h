#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <system_error>

namespace dm {

// Writes the bytes to path; on failure the system's error code of the step that failed. A
// regular file appears complete or not at all (a temporary file beside it is renamed into place,
// so any earlier file stays untouched on failure) and is replaced as an overwrite would change
// it: its mode stays, a symbolic link to it stays and the file it leads to is written, a
// read-only file is refused. A device or FIFO is written in place.
std::error_code writeFileAtomically(const std::string& path, std::span<const uint8_t> bytes);

}  // namespace dm
