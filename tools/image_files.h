#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "decoder/frame_dib.h"

namespace dm {

// An image file's pixels: 8-bit RGB, rows top-down, no padding.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

// Loads a JPEG, PNG or BMP file (recognised by content). On failure error says why.
std::optional<RgbImage> loadImage(const std::string& path, std::string& error);

// Shortest side a camera frame is given: smaller images are scaled up by an integer factor.
inline constexpr int kMinFrameSide = 240;

// Turns an image into a camera frame (24-bit BGR, bottom-up, rows padded to 4 bytes). An
// image whose short side is under kMinFrameSide is first enlarged by the smallest integer
// factor that reaches it (nearest neighbour); every image is framed with a light border of a
// quarter of its (enlarged) short side, at least 16 pixels.
CFrameDib toCameraFrame(const RgbImage& image);

}  // namespace dm
