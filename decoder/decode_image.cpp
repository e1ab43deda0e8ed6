#include "decoder/decode_image.h"

#include "decoder/decoder.h"

namespace dm {
namespace {

using Detection = Decoder::Detection;

// One decode with a fresh decoder whose frame count selects the threshold variant. The search
// of the whole image reads each outline it locates as printed and as a mirror image.
DecodeResult decodeWithVariant(const ImageView& image, uint32_t variant, Detection detection) {
    Decoder decoder;
    decoder.state.cache.frameCounter = variant;
    decoder.detection = detection;
    decoder.anywhereMirrored = true;
    return decoder.decodeView(image);
}

// A mirrored symbol is the normal one with its rows in the other order: reading the stored rows
// the other way round turns it back for the finder search, which finds one turn of the L only.
DecodeResult decodeMirrored(const ImageView& image, uint32_t variant) {
    ImageView mirror = image;
    mirror.rowOrder = image.rowOrder == RowOrder::TopDown ? RowOrder::BottomUp : RowOrder::TopDown;
    DecodeResult result = decodeWithVariant(mirror, variant, Detection::FirstPass);
    result.mirrored = result.decoded;
    if (result.corners) {
        for (ImagePoint& p : *result.corners)
            p.y = image.height - p.y;
    }
    return result;
}

}  // namespace

uint8_t grayLevel(uint8_t red, uint8_t green, uint8_t blue) {
    const uint8_t bgr[3] = {blue, green, red};
    return grayOfBgr(bgr);
}

DecodeResult decodeImage(const ImageView& image, const DecodeOptions& options) {
    if (image.width < kMinImageSide || image.height < kMinImageSide)
        return {};
    // A camera frame: its variant, the finder search and then the whole-frame search. A still
    // image: the finder search under the variants in turn, then the whole-image search once.
    // On failure the first attempt's result, or the whole-image search's when that found an
    // outline where the finder search measured no symbol. The whole-image search reads mirror
    // images itself; last, the finder search reads the mirror image, with the variant that got
    // furthest (a mirror image is thresholded the same way).
    if (options.thresholdVariant) {
        const uint32_t variant = *options.thresholdVariant;
        DecodeResult result = decodeWithVariant(image, variant, Detection::FirstPassThenAnywhere);
        if (result.decoded || result.status == DecodeStatus::MissingInput)
            return result;
        DecodeResult mirrored = decodeMirrored(image, variant);
        return mirrored.decoded ? mirrored : result;
    }
    DecodeResult first;
    uint32_t furthest = 0;
    int furthestProgress = -1;
    for (uint32_t variant = 0; variant < kThresholdVariantCount; ++variant) {
        DecodeResult result = decodeWithVariant(image, variant, Detection::FirstPass);
        if (result.decoded)
            return result;
        if (result.status == DecodeStatus::MissingInput)
            return result;
        if (decodeProgress(result.status) > furthestProgress) {
            furthestProgress = decodeProgress(result.status);
            furthest = variant;
        }
        if (variant == 0)
            first = std::move(result);
    }
    DecodeResult anywhere = decodeWithVariant(image, 0, Detection::AnywhereOnly);
    if (anywhere.decoded)
        return anywhere;
    if (anywhere.status != DecodeStatus::NoFinder && first.sizeIndex < 0)
        first = std::move(anywhere);
    DecodeResult mirrored = decodeMirrored(image, furthest);
    return mirrored.decoded ? mirrored : first;
}

}  // namespace dm
