#include "decoder/frame_intake.h"

#include "decoder/decode_image.h"

namespace dm {
std::optional<ImageView> frameView(const CFrameDib& frame) {
    const BitmapInfoHeader& header = frame.info.bmiHeader;
    const int bitCount = header.biBitCount;
    if (header.biWidth <= 0 || header.biHeight <= 0 || (bitCount != 24 && bitCount != 32))
        return std::nullopt;
    const int64_t stride = CFrameDib::stride(header.biWidth, bitCount);
    if (static_cast<int64_t>(frame.bits.size()) < stride * header.biHeight)
        return std::nullopt;
    // The decoder reads the stored rows in place; a bottom-up frame stays bottom-up.
    return ImageView{frame.bits,      header.biWidth,
                     header.biHeight, bitCount == 24 ? PixelFormat::Bgr : PixelFormat::Bgra,
                     stride,          RowOrder::BottomUp};
}

namespace {

FrameDecodeResult decodeFrameView(const CFrameDib& frame, std::string& outText, FrameIntake& intake,
                                  const DecodeOptions& options) {
    const std::optional<ImageView> view = frameView(frame);
    if (!view)
        return {false, DecodeStatus::MissingInput, -1, {}, std::nullopt};
    DecodeResult result = decodeImage(*view, options, intake.buffers);
    if (!result.decoded)
        return {false, result.status, -1, {}, result.corners};
    outText = std::move(result.text);
    if (intake.beep)
        intake.beep();
    return {true,           result.status,  result.sizeIndex, std::move(result.eciSegments),
            result.corners, result.inverted};
}

}  // namespace

FrameDecodeResult decodeFrame(const CFrameDib& frame, std::string& outText, FrameIntake& intake) {
    const uint32_t count = intake.frameCounter++;
    return decodeFrameView(frame, outText, intake, {count});
}

}  // namespace dm
