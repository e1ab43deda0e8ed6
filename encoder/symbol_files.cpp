#include "encoder/symbol_files.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <cctype>

#include "encoder/jpeg_output.h"
#include "platform/file_writing.h"

namespace dm {

namespace {

// Extensions of image formats other than those written.
constexpr std::array<std::string_view, 19> kOtherImageFormats{
    "gif", "bmp", "dib", "tif", "tiff", "webp", "pbm",  "pgm",  "ppm", "pnm",
    "ico", "eps", "ps",  "pdf", "emf",  "wmf",  "avif", "heic", "jp2"};

}  // namespace

std::string fileExtension(const std::string& path) {
    const size_t dot = path.find_last_of("./");
    if (dot == std::string::npos || path[dot] != '.')
        return {};
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

std::optional<SymbolFileType> symbolFileType(const std::string& path) {
    const std::string ext = fileExtension(path);
    if (ext == "png")
        return SymbolFileType::Png;
    if (ext == "svg")
        return SymbolFileType::Svg;
    if (std::find(kOtherImageFormats.begin(), kOtherImageFormats.end(), ext) !=
        kOtherImageFormats.end())
        return std::nullopt;
    return SymbolFileType::Jpeg;
}

std::string_view symbolFileTypeName(SymbolFileType type) {
    constexpr std::array<std::string_view, 3> names{"JPEG", "PNG", "SVG"};
    return names[static_cast<size_t>(type)];
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

std::vector<uint8_t> symbolFileBytes(std::span<const uint8_t> matrix, int rows, int cols,
                                     int moduleSize, int quietZone, SymbolFileType type) {
    if (!validRenderParameters(moduleSize, quietZone) || rows <= 0 || cols <= 0 ||
        matrix.size() < static_cast<size_t>(rows) * cols)
        return {};
    if (type == SymbolFileType::Svg) {
        const std::string svg = drawSvg(matrix, rows, cols, moduleSize, quietZone);
        return {svg.begin(), svg.end()};
    }
    const SymbolImage image = drawModules(matrix, rows, cols, moduleSize, quietZone);
    return type == SymbolFileType::Png ? compressPng(image) : compressJpeg(image);
}

std::error_code saveSymbolFile(std::span<const uint8_t> matrix, int rows, int cols, int moduleSize,
                               int quietZone, const std::string& path) {
    const std::optional<SymbolFileType> type = symbolFileType(path);
    if (!type)
        return std::make_error_code(std::errc::not_supported);
    const std::vector<uint8_t> bytes =
        symbolFileBytes(matrix, rows, cols, moduleSize, quietZone, *type);
    return bytes.empty() ? std::make_error_code(std::errc::invalid_argument)
                         : writeFileAtomically(path, bytes);
}

}  // namespace dm
