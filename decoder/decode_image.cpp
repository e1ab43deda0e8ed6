#include "decoder/decode_image.h"

#include "decoder/decoder.h"

namespace dm {
namespace {

// One decode with a fresh decoder whose frame count selects the threshold variant.
DecodeResult decodeWithVariant(const ImageView& image, uint32_t variant) {
    Decoder decoder;
    decoder.state.cache.frameCounter = variant;
    return decoder.decodeView(image);
}

}  // namespace

uint8_t grayLevel(uint8_t red, uint8_t green, uint8_t blue) {
    const uint8_t bgr[3] = {blue, green, red};
    return grayOfBgr(bgr);
}

DecodeResult decodeImage(const ImageView& image, const DecodeOptions& options) {
    if (image.width < kMinImageSide || image.height < kMinImageSide)
        return {};
    if (options.thresholdVariant)
        return decodeWithVariant(image, *options.thresholdVariant);
    // A still image: the variants in turn; on failure the whole-image variant's result.
    DecodeResult first;
    for (uint32_t variant = 0; variant < kThresholdVariantCount; ++variant) {
        DecodeResult result = decodeWithVariant(image, variant);
        if (result.decoded)
            return result;
        const bool missing = result.status == DecodeStatus::MissingInput;
        if (variant == 0)
            first = std::move(result);
        if (missing)
            break;
    }
    return first;
}

}  // namespace dm
