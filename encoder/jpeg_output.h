#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "encoder/symbol_renderer.h"

namespace dm {

// Compresses a gray symbol image into a baseline JPEG of three components at quality 75.
// Empty on failure.
std::vector<uint8_t> CompressJpeg(const SymbolImage& image);

// Writes the image as JPEG to path; on failure the system's error code of the step that failed.
// A regular file appears complete or not at all (any earlier file stays untouched on failure),
// and is replaced as an overwrite would change it: its mode stays, a symbolic link to it stays
// and the file it leads to is written, a read-only file is refused. A device or FIFO is written
// in place.
std::error_code SaveJpeg(const SymbolImage& image, const std::string& path);

// Writes the bytes to path as SaveJpeg writes its file.
std::error_code ReplaceFile(const std::string& path, std::span<const uint8_t> bytes);

// Encodes, renders and saves. Returns the symbol side in modules, or -1 on invalid
// parameters, encoder failure, or when the file could not be written.
int32_t GenerateSymbolFile(std::span<const uint8_t> message, const std::string& path,
                           int moduleSize, int quietZone);

}  // namespace dm
