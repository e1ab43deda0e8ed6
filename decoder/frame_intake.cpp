#include "decoder/frame_intake.h"

#include <new>

#include "decoder/decoder.h"

namespace dm {
namespace {

constexpr int kMinFrameSide = 10;

}  // namespace

FrameDecodeResult decodeFrame(const CFrameDib& frame, std::string& outText, FrameIntake& intake) {
    const BitmapInfoHeader& header = frame.info.bmiHeader;
    const int width = header.biWidth;
    const int height = header.biHeight;
    const int bitCount = header.biBitCount;
    if (width < kMinFrameSide || height < kMinFrameSide || (bitCount != 24 && bitCount != 32)) {
        return {false, DecodeStatus::MissingInput};
    }
    const int64_t stride = CFrameDib::stride(width, bitCount);
    if (static_cast<int64_t>(frame.bits.size()) < stride * height) {
        return {false, DecodeStatus::MissingInput};
    }

    Decoder decoder;
    try {
        intake.gray.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    } catch (const std::bad_alloc&) {
        return {false, DecodeStatus::OutOfMemory};
    }
    // Rows keep their stored order: a bottom-up frame stays bottom-up.
    const int bytesPerPixel = bitCount / 8;
    for (int i = 0; i < height; ++i) {
        const uint8_t* src = frame.bits.data() + static_cast<size_t>(i) * stride;
        uint8_t* dst = intake.gray.data() + static_cast<size_t>(i) * width;
        for (int j = 0; j < width; ++j, src += bytesPerPixel) {
            dst[j] = static_cast<uint8_t>((59 * src[1] + 30 * src[2] + 11 * src[0]) / 100);
        }
    }

    const bool decoded = decoder.decode(intake.gray, outText, width, height);
    if (decoded && intake.beep)
        intake.beep();
    return {decoded, decoder.status, decoded ? decoder.resultSizeIndex : -1};
}

}  // namespace dm
