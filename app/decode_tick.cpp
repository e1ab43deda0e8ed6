#include "app/decode_tick.h"

#include <QFile>
#include <QTransform>
#include <algorithm>

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

// The picture for display, at most side pixels a side: picked pixels down to twice that, then
// smoothed, so that a picture of many megapixels is never converted whole.
QImage previewOf(const RgbImage& image, int side) {
    const QImage whole(image.rgb.data(), image.width, image.height,
                       static_cast<qsizetype>(image.width) * 3, QImage::Format_RGB888);
    if (std::max(image.width, image.height) <= side) {
        return whole.copy();
    }
    const QImage picked = std::max(image.width, image.height) > 2 * side
                              ? whole.scaled(2 * side, 2 * side, Qt::KeepAspectRatio)
                              : whole;
    return picked.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
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

std::optional<DecodeOutcome> decodePictureFile(const QString& path, int previewSide) {
    const GradedFile graded = gradeImageFile(QFile::encodeName(path).toStdString());
    const FileOutcome& file = graded.file;
    if (!file.loaded || !graded.image) {
        return std::nullopt;
    }
    DecodeOutcome outcome;
    outcome.decoded = file.result.decoded;
    outcome.status = file.result.status;
    outcome.sizeIndex = file.result.sizeIndex;
    outcome.outline = outlineOf(file.result.corners);
    if (file.result.decoded) {
        outcome.text = decodedTextForDisplay(file.result.text, file.result.eciSegments);
        if (graded.grade.located) {
            outcome.grade = graded.grade.overall;
        }
    }
    outcome.picture = previewOf(*graded.image, previewSide);
    if (outcome.outline && !outcome.picture.isNull()) {
        const QTransform toPreview = QTransform::fromScale(
            static_cast<double>(outcome.picture.width()) / graded.image->width,
            static_cast<double>(outcome.picture.height()) / graded.image->height);
        outcome.outline = toPreview.map(*outcome.outline);
    }
    return outcome;
}

QString decodedTextForDisplay(const std::string& bytes, std::span<const EciSegment> segments) {
    QString text = QString::fromStdString(messageText(bytes, segments));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

}  // namespace dm
