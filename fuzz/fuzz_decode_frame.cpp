// Arbitrary images into the image decoder: size, pixel layout and pixels from the input.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "decoder/decode_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5)
        return 0;
    // Sizes up to 1023 x 1023 keep single runs fast while covering odd widths and padding.
    const int width = (data[0] | data[1] << 8) & 0x3FF;
    const int height = (data[2] | data[3] << 8) & 0x3FF;
    // Layout byte: bit 0 four bytes per pixel, else bit 1 gray, else three; bit 2 rows
    // top-down; bit 3 every threshold variant (a still image) instead of the first.
    const uint8_t layout = data[4];
    const int bytesPerPixel = layout & 1 ? 4 : layout & 2 ? 1 : 3;
    data += 5;
    size -= 5;

    // Rows padded to 4 bytes, as camera frames are.
    const int64_t stride = (int64_t{width} * bytesPerPixel + 3) & ~int64_t{3};
    const auto needed = static_cast<size_t>(stride) * height;
    // Tile the input over the image so short inputs still describe whole images.
    std::vector<uint8_t> pixels(needed, 255);
    if (size > 0) {
        for (size_t i = 0; i < needed; ++i)
            pixels[i] = data[i % size];
    }
    const dm::ImageView view{pixels, width,
                             height, bytesPerPixel,
                             stride, layout & 4 ? dm::RowOrder::TopDown : dm::RowOrder::BottomUp};
    dm::DecodeOptions options;
    if (!(layout & 8))
        options.thresholdVariant = 0;
    (void)dm::decodeImage(view, options);
    return 0;
}
