#pragma once

// The pictures a still image is read as: the image itself when a camera could have taken it,
// and framed in light, and enlarged to the module sizes the detection reads best. Image files
// are often cropped close to the symbol, small, or of one or two pixels a module, none of which
// a camera frame is.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "decoder/decode_image.h"

namespace dm {

// Gray levels, rows top-down, no padding, held elsewhere.
struct GrayView {
    int width = 0;
    int height = 0;
    std::span<const uint8_t> gray;
};

// The same with its own pixels.
struct GrayPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> gray;

    GrayView view() const { return {width, height, gray}; }
};

// Images whose short side is under this are enlarged by an integer factor first.
inline constexpr int kEnlargedShortSide = 240;
// Framed and enlarged pictures stay within this many pixels: the frame search needs a few bytes
// for each.
inline constexpr int64_t kMaxFramedPixels = 40'000'000;
// At most this many pictures are read of one image.
inline constexpr int kMaxAttempts = 7;

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
std::vector<Attempt> planAttempts(const GrayView& image, std::string& why);

// The smallest integer factor that brings a short side to kEnlargedShortSide (1 for sides
// that already reach it).
int cameraScale(int shortSide);

// Width of the light border around a framed region: a quarter of the enlarged short side, at
// least 16 pixels, since files are often cropped to the symbol while a camera always sees some
// light paper around it.
int borderWidth(const Region& region, int scale);

// The region enlarged by the attempt's factor and framed with the light border.
GrayPicture framedPicture(const GrayView& image, const Attempt& attempt);

}  // namespace dm
