#include "decoder/frame_intake.h"

#include <new>

#include "decoder/decoder.h"

namespace dm {
namespace {

constexpr int kMinFrameSide = 10;

// gray = (59 G + 30 R + 11 B) / 100 for one row of BGR(A) pixels. The division is done as
// (x * 5243) >> 19, exact for every sum up to 25,500, so the loop vectorises.
template <int BytesPerPixel>
void convertRow(const uint8_t* __restrict src, uint8_t* __restrict dst, int width) {
    for (int j = 0; j < width; ++j) {
        const uint8_t* p = src + BytesPerPixel * j;
        const uint32_t sum = 59u * p[1] + 30u * p[2] + 11u * p[0];
        dst[j] = static_cast<uint8_t>((sum * 5243u) >> 19);
    }
}

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
        if (bytesPerPixel == 3) {
            convertRow<3>(src, dst, width);
        } else {
            convertRow<4>(src, dst, width);
        }
    }

    const bool decoded = decoder.decode(intake.gray, outText, width, height);
    if (decoded && intake.beep)
        intake.beep();
    return {decoded, decoder.status, decoded ? decoder.resultSizeIndex : -1};
}

}  // namespace dm
