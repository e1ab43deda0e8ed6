#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "encoder/symbol_renderer.h"

namespace dm {

// The file types a symbol can be written as, chosen by the file name's extension.
enum class SymbolFileType { Jpeg, Png, Svg };

// .png and .svg in any letter case; JPEG for every other name, as files were written before
// (FIFOs and devices included).
SymbolFileType symbolFileType(const std::string& path);

// A gray PNG of the image; empty on failure.
std::vector<uint8_t> compressPng(const SymbolImage& image);

// An SVG drawing of a module matrix (rows x cols, 1 = dark): moduleSize user units per module
// inside quietZone light modules, each run of dark modules in a row one path segment.
std::string drawSvg(std::span<const uint8_t> matrix, int rows, int cols, int moduleSize,
                    int quietZone);

// Draws the matrix and writes it as the path's file type through writeFileAtomically; on
// failure the system's error code (invalid_argument for invalid parameters).
std::error_code saveSymbolFile(std::span<const uint8_t> matrix, int rows, int cols, int moduleSize,
                               int quietZone, const std::string& path);

}  // namespace dm
