// Arbitrary images into the image decoder: size, pixel layout and pixels from the input.
#include "fuzz/fuzz_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < dm::fuzz::kImageHeaderSize)
        return 0;
    // Sizes up to 1023 x 1023 keep single runs fast while covering odd widths and padding.
    // Layout bit 3: every threshold variant (a still image) instead of the first; bit 4: every
    // symbol of the image, each of which must come with its corners and a message.
    dm::fuzz::FuzzImage image = dm::fuzz::imageHeader(data);
    dm::fuzz::fillPixels(image, data + dm::fuzz::kImageHeaderSize,
                         size - dm::fuzz::kImageHeaderSize);
    dm::DecodeOptions options;
    if (!(image.layout & 8))
        options.thresholdVariant = 0;
    if (image.layout & 16) {
        const dm::ImageSymbols all = dm::decodeAllSymbols(image.view(), options, 4);
        for (const dm::DecodeResult& s : all.symbols) {
            if (!s.decoded || !s.corners)
                __builtin_trap();
        }
        if (all.symbols.size() > 4)
            __builtin_trap();
        return 0;
    }
    (void)dm::decodeImage(image.view(), options);
    return 0;
}
