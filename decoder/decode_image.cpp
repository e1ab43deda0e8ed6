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

// A mirrored symbol is the normal one with its rows in the other order: reading the stored rows
// the other way round turns it back.
DecodeResult decodeMirrored(const ImageView& image, uint32_t variant) {
    ImageView mirror = image;
    mirror.rowOrder = image.rowOrder == RowOrder::TopDown ? RowOrder::BottomUp : RowOrder::TopDown;
    DecodeResult result = decodeWithVariant(mirror, variant);
    result.mirrored = result.decoded;
    if (result.corners) {
        for (ImagePoint& p : *result.corners)
            p.y = image.height - p.y;
    }
    return result;
}

// How far a failed decode got: the variant whose threshold got furthest is the one the mirror
// image is read with, since a mirror image is thresholded the same way.
int progress(DecodeStatus status) {
    switch (status) {
        case DecodeStatus::NoFinder:
            return 0;
        case DecodeStatus::NoFinderAfterFirstArm:
            return 1;
        case DecodeStatus::FinderOutsideImage:
            return 2;
        case DecodeStatus::NoSizeMatch:
            return 3;
        case DecodeStatus::GridLost:
        case DecodeStatus::AlignmentMismatch:
            return 4;
        default:  // sampled: the codewords did not hold a message
            return 5;
    }
}

}  // namespace

uint8_t grayLevel(uint8_t red, uint8_t green, uint8_t blue) {
    const uint8_t bgr[3] = {blue, green, red};
    return grayOfBgr(bgr);
}

DecodeResult decodeImage(const ImageView& image, const DecodeOptions& options) {
    if (image.width < kMinImageSide || image.height < kMinImageSide)
        return {};
    // A camera frame: its variant; a still image: the variants in turn. On failure the first
    // attempt's result.
    const uint32_t firstVariant = options.thresholdVariant.value_or(0);
    const uint32_t variants = options.thresholdVariant ? 1 : kThresholdVariantCount;
    DecodeResult first;
    uint32_t furthest = firstVariant;
    int furthestProgress = -1;
    for (uint32_t i = 0; i < variants; ++i) {
        DecodeResult result = decodeWithVariant(image, firstVariant + i);
        if (result.decoded)
            return result;
        if (result.status == DecodeStatus::MissingInput)
            return result;
        if (progress(result.status) > furthestProgress) {
            furthestProgress = progress(result.status);
            furthest = firstVariant + i;
        }
        if (i == 0)
            first = std::move(result);
    }
    DecodeResult mirrored = decodeMirrored(image, furthest);
    return mirrored.decoded ? mirrored : first;
}

}  // namespace dm
