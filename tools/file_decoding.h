#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decoder/decode_image.h"
#include "platform/image_files.h"

namespace dm::tool {

// What decoding one image file gave.
struct FileOutcome {
    bool loaded = false;  // the file was read as an image, whether or not the decoder ran
    // Why the decoder did not run: the file could not be read or was refused, or the image is
    // too small to hold a symbol ("cannot read image: is a folder", "not decoded: ..."). Empty
    // when the decoder ran.
    std::string error;
    DecodeResult result;      // the decoded bytes in result.text; corners in the file's pixels
    double milliseconds = 0;  // decode time, file loading excluded
};

// An image as the decoder is given it: gray levels, rows top-down, no padding.
struct GrayPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> gray;
};

// Loads an image file and decodes it as the window decodes three frames of a still picture:
// camera-sized images as they are first, small ones enlarged, and both framed in light and
// enlarged further where the module size suggests it helps. At most kMaxAttempts pictures are
// decoded, each the image itself or a framed picture of at most kMaxFramedPixels.
FileOutcome decodeImageFile(const std::string& path);

// An image's gray pixels decoded as decodeImageFile decodes them once loaded.
FileOutcome decodePicture(const GrayPicture& image);

// Images whose short side is under this are enlarged by an integer factor first.
inline constexpr int kEnlargedShortSide = 240;
// Framed and enlarged pictures stay within this many pixels: the decoder's search of the whole
// picture needs a few bytes for each.
inline constexpr int64_t kMaxFramedPixels = 40'000'000;
inline constexpr int kMaxAttempts = 7;

// These limits and the image files' in words, for --help.
std::string decodingLimits();

// The image in gray as the decoder reads colour.
GrayPicture grayPicture(const RgbImage& image);

// A rectangle of pixels.
struct Region {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// One way of presenting the image to the decoder.
struct Attempt {
    int scale = 1;        // integer enlargement (nearest neighbour)
    bool framed = false;  // the region, enlarged and framed in light; else the whole image as is
    Region region;        // what a framed attempt enlarges
};

// The attempts for an image, in order; none for an image too small to hold a symbol, with the
// reason in why. A blank image (one gray level) gets the first attempt alone.
std::vector<Attempt> planAttempts(const GrayPicture& image, std::string& why);

// The smallest integer factor that brings a short side to kEnlargedShortSide (1 for sides
// that already reach it).
int cameraScale(int shortSide);

// Width of the light border around a framed region: a quarter of the enlarged short side, at
// least 16 pixels, since files are often cropped to the symbol while a camera always sees some
// light paper around it.
int borderWidth(const Region& region, int scale);

// The region enlarged by the attempt's factor and framed with the light border.
GrayPicture framedPicture(const GrayPicture& image, const Attempt& attempt);

// "10x10", "8x18" (rows x columns) for a size index, empty for -1.
std::string sizeName(int sizeIndex);

// Text for people, in UTF-8, of a decoded message: GBK where no ECI is in force, each ECI
// segment from its character set.
std::string displayText(const DecodeResult& result);

// JSON string literal for UTF-8 text; bytes that are not UTF-8 become U+FFFD.
std::string jsonString(const std::string& s);

}  // namespace dm::tool
