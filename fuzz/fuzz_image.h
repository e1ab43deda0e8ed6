// The image the image-reading fuzz targets build from their input: a five-byte header (width
// and height up to 1023, a layout byte), then pixel bytes tiled over the whole image so short
// inputs still describe whole images.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "decoder/decode_image.h"

namespace dm::fuzz {

inline constexpr size_t kImageHeaderSize = 5;

struct FuzzImage {
    int32_t width = 0;
    int32_t height = 0;
    // Layout: bit 0 four bytes per pixel, else bit 1 gray, else three; bit 2 rows top-down;
    // the higher bits are the target's own.
    uint8_t layout = 0;
    std::vector<uint8_t> pixels;

    PixelFormat format() const {
        return layout & 1 ? PixelFormat::Bgra : layout & 2 ? PixelFormat::Gray : PixelFormat::Bgr;
    }
    // Rows padded to 4 bytes, as camera frames are.
    int64_t stride() const {
        return (int64_t{width} * dm::bytesPerPixel(format()) + 3) & ~int64_t{3};
    }
    ImageView view() const {
        return {pixels,   width,    height,
                format(), stride(), layout & 4 ? RowOrder::TopDown : RowOrder::BottomUp};
    }
};

// The header of at least kImageHeaderSize bytes; pixels still empty.
inline FuzzImage imageHeader(const uint8_t* data) {
    return {(data[0] | data[1] << 8) & 0x3FF, (data[2] | data[3] << 8) & 0x3FF, data[4], {}};
}

// Fills the image with the given bytes, repeated; light when there are none.
inline void fillPixels(FuzzImage& image, const uint8_t* data, size_t size) {
    image.pixels.assign(static_cast<size_t>(image.stride()) * image.height, 255);
    if (size > 0) {
        for (size_t i = 0; i < image.pixels.size(); ++i)
            image.pixels[i] = data[i % size];
    }
}

}  // namespace dm::fuzz
