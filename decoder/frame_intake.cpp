#include "decoder/frame_intake.h"

#include "decoder/decoder.h"

namespace dm {
namespace {

constexpr int kMinFrameSide = 10;
constexpr uint32_t kThresholdVariants = 3;

// One decode of the frame with a fresh decoder whose frame count selects the threshold variant.
FrameDecodeResult decodeWithCount(const CFrameDib& frame, std::string& outText,
                                  uint32_t frameCount) {
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
    decoder.state.cache.frameCounter = frameCount;
    const bool decoded =
        decoder.decodeBgr(frame.bits, outText, width, height, bitCount / 8, stride);
    return {decoded, decoder.status, decoded ? decoder.resultSizeIndex : -1};
}

}  // namespace

FrameDecodeResult decodeFrame(const CFrameDib& frame, std::string& outText, FrameIntake& intake) {
    const FrameDecodeResult result = decodeWithCount(frame, outText, intake.frameCounter);
    ++intake.frameCounter;
    if (result.decoded && intake.beep)
        intake.beep();
    return result;
}

FrameDecodeResult decodeStillFrame(const CFrameDib& frame, std::string& outText,
                                   FrameIntake& intake) {
    FrameDecodeResult first;
    for (uint32_t variant = 0; variant < kThresholdVariants; ++variant) {
        const FrameDecodeResult result = decodeWithCount(frame, outText, variant);
        if (result.decoded) {
            if (intake.beep)
                intake.beep();
            return result;
        }
        if (variant == 0)
            first = result;
        if (result.status == DecodeStatus::MissingInput)
            break;
    }
    return first;
}

}  // namespace dm
