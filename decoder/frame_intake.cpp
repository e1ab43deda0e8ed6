#include "decoder/frame_intake.h"

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

    // The decoder reads the stored rows in place; a bottom-up frame stays bottom-up.
    Decoder decoder;
    const bool decoded =
        decoder.decodeBgr(frame.bits, outText, width, height, bitCount / 8, stride);
    if (decoded && intake.beep)
        intake.beep();
    return {decoded, decoder.status, decoded ? decoder.resultSizeIndex : -1};
}

}  // namespace dm
