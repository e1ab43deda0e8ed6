#include "encoder/symbol_files.h"

#include <png.h>

#include <algorithm>
#include <cctype>

#include "encoder/jpeg_output.h"
#include "platform/file_writing.h"

namespace dm {

SymbolFileType symbolFileType(const std::string& path) {
    const size_t dot = path.find_last_of("./");
    if (dot == std::string::npos || path[dot] != '.')
        return SymbolFileType::Jpeg;
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == "png"   ? SymbolFileType::Png
           : ext == "svg" ? SymbolFileType::Svg
                          : SymbolFileType::Jpeg;
}

std::vector<uint8_t> compressPng(const SymbolImage& image) {
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() < static_cast<size_t>(image.width) * image.height)
        return {};
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_GRAY;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&png, nullptr, &size, 0, image.pixels.data(), 0, nullptr))
        return {};
    std::vector<uint8_t> out(size);
    if (!png_image_write_to_memory(&png, out.data(), &size, 0, image.pixels.data(), 0, nullptr))
        return {};
    out.resize(size);
    return out;
}

std::string drawSvg(std::span<const uint8_t> matrix, int rows, int cols, int moduleSize,
                    int quietZone) {
    const int width = (cols + 2 * quietZone) * moduleSize;
    const int height = (rows + 2 * quietZone) * moduleSize;
    std::string svg =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" "
        "width=\"";
    svg += std::to_string(width);
    svg += "\" height=\"";
    svg += std::to_string(height);
    svg += "\" viewBox=\"0 0 ";
    svg += std::to_string(width);
    svg += ' ';
    svg += std::to_string(height);
    svg +=
        "\" shape-rendering=\"crispEdges\">\n<rect width=\"100%\" height=\"100%\" "
        "fill=\"#fff\"/>\n<path fill=\"#000\" d=\"";
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols;) {
            if (!matrix[static_cast<size_t>(r) * cols + c]) {
                ++c;
                continue;
            }
            const int start = c;
            while (c < cols && matrix[static_cast<size_t>(r) * cols + c])
                ++c;
            svg += 'M';
            svg += std::to_string((start + quietZone) * moduleSize);
            svg += ' ';
            svg += std::to_string((r + quietZone) * moduleSize);
            svg += 'h';
            svg += std::to_string((c - start) * moduleSize);
            svg += 'v';
            svg += std::to_string(moduleSize);
            svg += 'h';
            svg += std::to_string(-(c - start) * moduleSize);
            svg += 'z';
        }
    }
    svg += "\"/>\n</svg>\n";
    return svg;
}

std::error_code saveSymbolFile(std::span<const uint8_t> matrix, int rows, int cols, int moduleSize,
                               int quietZone, const std::string& path) {
    const std::error_code invalid = std::make_error_code(std::errc::invalid_argument);
    if (!validRenderParameters(moduleSize, quietZone) || rows <= 0 || cols <= 0 ||
        matrix.size() < static_cast<size_t>(rows) * cols)
        return invalid;
    const SymbolFileType type = symbolFileType(path);
    if (type == SymbolFileType::Svg) {
        const std::string svg = drawSvg(matrix, rows, cols, moduleSize, quietZone);
        return writeFileAtomically(
            path, std::span(reinterpret_cast<const uint8_t*>(svg.data()), svg.size()));
    }
    const SymbolImage image = drawModules(matrix, rows, cols, moduleSize, quietZone);
    const std::vector<uint8_t> bytes =
        type == SymbolFileType::Png ? compressPng(image) : compressJpeg(image);
    return bytes.empty() ? invalid : writeFileAtomically(path, bytes);
}

}  // namespace dm
