#include "app/decode_tick.h"

#include <QFile>

#include "grading/print_quality.h"
#include "platform/image_decoding.h"
#include "platform/message_text.h"

namespace dm {
namespace {

std::optional<QPolygonF> outlineOf(const std::optional<SymbolCorners>& corners) {
    if (!corners) {
        return std::nullopt;
    }
    QPolygonF outline;
    for (const ImagePoint& corner : *corners) {
        outline << QPointF(corner.x, corner.y);
    }
    return outline;
}

// A camera frame (BGR, rows bottom-up and padded to 4 bytes) as a picture.
QImage frameImage(const GrabbedFrame& frame) {
    const auto stride = static_cast<qsizetype>(CFrameDib::stride(frame.width, frame.bitCount));
    const QImage stored(frame.buffer.data(), frame.width, frame.height, stride,
                        frame.bitCount == 32 ? QImage::Format_RGB32 : QImage::Format_BGR888);
    return stored.mirrored(false, true);  // a copy, top row first
}

}  // namespace

DecodeTick::DecodeTick(FrameGrabber& frameGrabber, std::function<void()> beep)
    : grabber(frameGrabber) {
    intake.beep = std::move(beep);
}

std::optional<DecodeOutcome> DecodeTick::run(bool keepPicture) {
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
    const FrameDecodeResult result = decodeFrame(dib, resultBuffer, intake);
    DecodeOutcome outcome;
    outcome.decoded = result.decoded;
    outcome.status = result.status;
    outcome.sizeIndex = result.sizeIndex;
    outcome.outline = outlineOf(result.corners);
    if (result.decoded) {
        outcome.text = decodedTextForDisplay(resultBuffer, result.eciSegments);
    }
    if (keepPicture) {
        outcome.picture = frameImage(*frame);
        const std::optional<ImageView> view = frameView(dib);
        if (result.decoded && result.corners && view) {
            const SymbolGrade grade =
                gradeSymbol(*view, *result.corners, result.sizeIndex, result.inverted);
            if (grade.located) {
                outcome.grade = grade.overall;
            }
        }
    }
    return outcome;
}

std::optional<DecodeOutcome> decodePictureFile(const QString& path,
                                               const std::function<void()>& beep) {
    const GradedFile graded = gradeImageFile(QFile::encodeName(path).toStdString());
    const FileOutcome& file = graded.file;
    if (!file.loaded) {
        return std::nullopt;
    }
    DecodeOutcome outcome;
    outcome.decoded = file.result.decoded;
    outcome.status = file.result.status;
    outcome.sizeIndex = file.result.sizeIndex;
    outcome.outline = outlineOf(file.result.corners);
    if (file.result.decoded) {
        outcome.text = decodedTextForDisplay(file.result.text, file.result.eciSegments);
        if (beep) {
            beep();
        }
        if (graded.grade.located) {
            outcome.grade = graded.grade.overall;
        }
    }
    return outcome;
}

QString decodedTextForDisplay(const std::string& bytes, std::span<const EciSegment> segments) {
    QString text = QString::fromStdString(messageText(bytes, segments));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

}  // namespace dm
