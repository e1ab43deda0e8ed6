#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace dm {

// An image file's pixels: 8-bit RGB, rows top-down, no padding.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

// Largest image read: a side of 16,384 pixels and 8,192 x 8,192 pixels in all. Larger images
// are refused from their header, before any pixel buffer is allocated.
inline constexpr int kMaxImageSide = 16384;
inline constexpr int64_t kMaxImagePixels = int64_t{8192} * 8192;
// Largest image file read (256 MiB); larger files are refused before they are read. JPEG files,
// whose decoding time grows with their size, are refused above 64 MiB, which keeps a
// progressive one of the largest size within a few seconds.
inline constexpr std::size_t kMaxImageFileBytes = std::size_t{256} << 20;
inline constexpr std::size_t kMaxJpegFileBytes = std::size_t{64} << 20;

// Loads a JPEG (gray, colour or CMYK), PNG or BMP file, recognised by content. On failure error
// says why.
std::optional<RgbImage> loadImage(const std::string& path, std::string& error);

// The width and height an image file's header gives, read from its first bytes only (PNG,
// BMP, JPEG); nothing when the file cannot be read or its header is not found there.
struct ImageDimensions {
    int width = 0;
    int height = 0;
};
std::optional<ImageDimensions> readImageDimensions(const std::string& path);

// The image compressed as a PNG or a JPEG file's bytes (JPEG quality 1 to 100); empty when
// there is no image to compress or the compressor fails.
std::vector<uint8_t> encodePng(const RgbImage& image);
std::vector<uint8_t> encodeJpeg(const RgbImage& image, int quality);

// Writes the image as a PNG file through writeFileAtomically; on failure the system's error code
// of the step that failed (invalid_argument when there is no image to write).
std::error_code savePng(const std::string& path, const RgbImage& image);

}  // namespace dm
