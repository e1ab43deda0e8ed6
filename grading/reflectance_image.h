#pragma once

#include <cstdint>
#include <vector>

#include "decoder/decode_image.h"
#include "symbology/api.h"

namespace dm {

// An image as reflectances: gray level / 255 per pixel, rows top-down. Pixel (x, y) covers
// the picture square from (x, y) to (x + 1, y + 1), so its centre is at (x + 0.5, y + 0.5).
struct ReflectanceImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<float> values;

    float at(int32_t x, int32_t y) const { return values[static_cast<size_t>(y) * width + x]; }

    // Bilinear between the pixel centres around p, the border pixels repeated outward.
    DM_API double sample(ImagePoint p) const;

    // Mean reflectance of the pixels whose centres lie within the disc of the given diameter
    // around p (the nearest pixel when none does): the synthetic aperture. -1 when the disc
    // lies wholly outside the image.
    DM_API double aperture(ImagePoint p, double diameter) const;
};

// The light a colour image's reflectance is read in: one channel, as a verifier's narrow-band
// light sees the print (red, 660 nm, the usual), or white, the gray level decodeImage reads.
// Gray images read the same in every light.
enum class Light : uint8_t { Red, Green, Blue, White };

// The image's pixels as reflectances in the light; empty (width 0) when the view does not
// describe its pixels.
DM_API ReflectanceImage reflectanceOf(const ImageView& view, Light light = Light::Red);

}  // namespace dm
