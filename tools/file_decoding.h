#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decoder/decode_image.h"
#include "platform/image_files.h"

namespace dm::tool {

// What decoding one image file gave.
struct FileOutcome {
    bool loaded = false;
    std::string loadError;    // why the file could not be read, when !loaded
    DecodeResult result;      // the decoded bytes in result.text; corners in the file's pixels
    double milliseconds = 0;  // decode time, file loading excluded
};

// Loads an image file, frames it as a camera would see it and decodes it as the window would
// over three frames of a still picture.
FileOutcome decodeImageFile(const std::string& path);

// Images whose short side is under this are enlarged by an integer factor first.
inline constexpr int kEnlargedShortSide = 240;

// The smallest integer factor that brings the image's short side to kEnlargedShortSide (1 for
// images that already reach it).
int cameraScale(const RgbImage& image);

// An image as the decoder is given it: gray levels, rows top-down, no padding.
struct GrayPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> gray;
    int scale = 1;   // the file's pixels were enlarged by this factor
    int border = 0;  // and framed by this many pixels on every side
};

// The image in gray as the decoder reads colour, enlarged by the integer factor scale (nearest
// neighbour) and framed with a light border of a quarter of the enlarged short side, at least
// 16 pixels: files are often cropped to the symbol, while a camera always sees some light paper
// around it.
GrayPicture framedPicture(const RgbImage& image, int scale);

// "10x10", "8x18" for a size index, empty for -1.
std::string sizeName(int sizeIndex);

// Text for people, in UTF-8, of a decoded message: GBK where no ECI is in force, each ECI
// segment from its character set.
std::string displayText(const DecodeResult& result);

// JSON string literal for a UTF-8 string (invalid bytes escaped as \u00XX).
std::string jsonString(const std::string& s);

}  // namespace dm::tool
