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

// The smallest integer factor that brings the image's short side to kMinFrameSide (1 for
// images that already reach it).
int cameraScale(const RgbImage& image);

// Turns an image into a camera frame (24-bit BGR, bottom-up, rows padded to 4 bytes),
// enlarged by the integer factor scale (nearest neighbour) and framed with a light border of
// a quarter of the enlarged short side, at least 16 pixels: files are often cropped to the
// symbol, while a camera always sees some light paper around it.
CFrameDib toCameraFrame(const RgbImage& image, int scale);

}  // namespace dm
