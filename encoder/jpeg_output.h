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
std::vector<uint8_t> compressJpeg(const SymbolImage& image);

// Writes the image as JPEG to path through writeFileAtomically; on failure the system's error
// code of the step that failed (invalid_argument when the image cannot be compressed).
std::error_code SaveJpeg(const SymbolImage& image, const std::string& path);

// Encodes, renders and saves. Returns the symbol side in modules, or -1 on invalid
// parameters, encoder failure, or when the file could not be written.
int32_t GenerateSymbolFile(std::span<const uint8_t> message, const std::string& path,
                           int moduleSize, int quietZone);

}  // namespace dm
