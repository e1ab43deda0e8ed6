#include "decoder/decode_image.h"

#include "decoder/reading.h"
#include "detection/shared/decoder_records.h"

namespace dm {

uint8_t grayLevel(uint8_t red, uint8_t green, uint8_t blue) {
    const uint8_t bgr[3] = {blue, green, red};
    return grayOfBgr(bgr);
}

bool ImageView::isComplete() const {
    const int64_t bytes = bytesPerPixel(format);
    const int64_t row = int64_t{width} * bytes;
    return width > 0 && height > 0 && bytes != 0 && strideBytes() >= row &&
           static_cast<int64_t>(pixels.size()) >= strideBytes() * (height - 1) + row;
}

DecodeResult decodeImage(const ImageView& image, const DecodeOptions& options) {
    if (options.thresholdVariant)
        return readCameraFrame(image, *options.thresholdVariant, options.threads);
    return options.enlarge ? readImageFile(image, options.threads) : readStillImage(image);
}

DecodeResult decodeImage(const ImageView& image, const DecodeOptions& options,
                         FrameBuffers& buffers) {
    if (options.thresholdVariant)
        return readCameraFrame(image, *options.thresholdVariant, options.threads, &buffers);
    return decodeImage(image, options);
}

ImageSymbols decodeAllSymbols(const ImageView& image, const DecodeOptions& options,
                              int32_t mostSymbols) {
    return readAllSymbols(image, options, mostSymbols);
}

}  // namespace dm
