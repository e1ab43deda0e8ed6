#include "app/decode_tick.h"

#include "platform/message_text.h"

namespace dm {

DecodeTick::DecodeTick(FrameGrabber& frameGrabber, std::function<void()> beep)
    : grabber(frameGrabber) {
    intake.beep = std::move(beep);
}

std::optional<QString> DecodeTick::run() {
    const std::optional<GrabbedFrame> frame = grabber.GrabFrame();
    if (!frame) {
        return std::nullopt;
    }
    const BitmapInfoHeader header =
        frameHeader(frame->width, frame->height, static_cast<uint16_t>(frame->bitCount));
    CFrameDib dib;
    if (dib.Create(&header, frame->buffer) != 1) {
        return std::nullopt;
    }
    const FrameDecodeResult decoded = decodeFrame(dib, resultBuffer, intake);
    if (!decoded.decoded) {
        return std::nullopt;
    }
    return decodedTextForDisplay(resultBuffer, decoded.eciSegments);
}

QString decodedTextForDisplay(const std::string& bytes, std::span<const EciSegment> segments) {
    QString text = QString::fromStdString(messageText(bytes, segments));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

}  // namespace dm
