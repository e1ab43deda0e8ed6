#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "encoder/symbol_renderer.h"

namespace dm {

// Compresses a gray symbol image into a baseline JPEG of three components at quality 75.
// Empty on failure.
std::vector<uint8_t> CompressJpeg(const SymbolImage& image);

// Writes the image as JPEG to path. The file appears complete or not at all: any earlier
// file at the path stays untouched on failure.
bool SaveJpeg(const SymbolImage& image, const std::string& path);

// Encodes, renders and saves. Returns the symbol side in modules, or -1 on invalid
// parameters, encoder failure, or when the file could not be written.
int32_t GenerateSymbolFile(std::span<const uint8_t> message, const std::string& path,
                           int moduleSize, int quietZone);

}  // namespace dm
