#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dm {

// An image file's pixels: 8-bit RGB, rows top-down, no padding.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

// Loads a JPEG, PNG or BMP file (recognised by content). On failure error says why.
std::optional<RgbImage> loadImage(const std::string& path, std::string& error);

}  // namespace dm
