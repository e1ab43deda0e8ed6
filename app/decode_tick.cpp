#include "app/decode_tick.h"

#include "platform/gbk_text.h"

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
    if (!decodeFrame(dib, resultBuffer, intake).decoded) {
        return std::nullopt;
    }
    return decodedTextForDisplay(resultBuffer);
}

QString decodedTextForDisplay(const std::string& gbk) {
    QString text = QString::fromStdString(gbkToUtf8(gbk));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

}  // namespace dm
