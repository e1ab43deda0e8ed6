#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "encoder/symbol_renderer.h"

namespace dm {

// The file types a symbol can be written as, chosen by the file name's extension.
enum class SymbolFileType { Jpeg, Png, Svg };

// The type a file name asks for, in any letter case: .png, .svg, and JPEG for .jpg, .jpeg, .jpe,
// .jfif and every name whose extension names no image format (FIFOs and devices included), as
// files were written before. Nothing for the image formats not written (.gif, .bmp, .tif, ...),
// whose name would belie the JPEG bytes.
std::optional<SymbolFileType> symbolFileType(const std::string& path);

// The name of a file type as people know it: "PNG", "SVG", "JPEG".
std::string_view symbolFileTypeName(SymbolFileType type);

// The extension of path (after its last dot, in its own folder), empty when it has none.
std::string fileExtension(const std::string& path);

// A gray PNG of the image; empty on failure.
std::vector<uint8_t> compressPng(const SymbolImage& image);

// An SVG drawing of a module matrix (rows x cols, 1 = dark): moduleSize user units per module
// inside quietZone light modules, each run of dark modules in a row one path segment.
std::string drawSvg(std::span<const uint8_t> matrix, int rows, int cols, int moduleSize,
                    int quietZone);

// The file of a module matrix drawn as the type asks: PNG and JPEG of the rendered image, SVG
// drawn from the matrix. Empty for invalid parameters.
std::vector<uint8_t> symbolFileBytes(std::span<const uint8_t> matrix, int rows, int cols,
                                     int moduleSize, int quietZone, SymbolFileType type);

// Draws the matrix and writes it as the path's file type through writeFileAtomically; on
// failure the system's error code (invalid_argument for invalid parameters, not_supported for
// an image format that is not written).
std::error_code saveSymbolFile(std::span<const uint8_t> matrix, int rows, int cols, int moduleSize,
                               int quietZone, const std::string& path);

}  // namespace dm
