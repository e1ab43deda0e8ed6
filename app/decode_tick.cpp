#include "app/decode_tick.h"

#include <QFile>
#include <QStringList>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <new>

#include "app/ui_strings.h"
#include "decoder/structured_append.h"
#include "grading/print_quality.h"
#include "platform/image_decoding.h"
#include "platform/image_files.h"
#include "platform/message_text.h"

namespace dm {
namespace {

QString text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

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

// A camera frame (BGR, rows bottom-up and padded to 4 bytes) as a picture, top row first, at
// most side pixels a side; picked pixels, which is all a view of the frame needs.
QImage frameImage(const GrabbedFrame& frame, int side) {
    const auto stride = static_cast<qsizetype>(CFrameDib::stride(frame.width, frame.bitCount));
    const QImage stored(frame.buffer.data(), frame.width, frame.height, stride,
                        frame.bitCount == 32 ? QImage::Format_RGB32 : QImage::Format_BGR888);
    if (std::max(frame.width, frame.height) <= side) {
        return stored.mirrored(false, true);  // a copy
    }
    return stored.scaled(side, side, Qt::KeepAspectRatio).mirrored(false, true);
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

std::optional<double> gradeOf(const ImageView& image, const SymbolCorners& corners,
                              int32_t sizeIndex, bool inverted) {
    const SymbolGrade grade = gradeSymbol(image, corners, sizeIndex, inverted);
    return grade.located ? std::optional(grade.overall) : std::nullopt;
}

}  // namespace

std::optional<SymbolRegion> symbolRegion(const ImageView& image, const SymbolCorners& corners) {
    double left = corners[0].x;
    double right = left;
    double top = corners[0].y;
    double bottom = top;
    for (const ImagePoint& corner : corners) {
        left = std::min(left, corner.x);
        right = std::max(right, corner.x);
        top = std::min(top, corner.y);
        bottom = std::max(bottom, corner.y);
    }
    const double margin = std::max(right - left, bottom - top) / 2 + 8;
    const auto clampTo = [](double value, int32_t limit) {
        return static_cast<int32_t>(std::clamp(value, 0.0, static_cast<double>(limit)));
    };
    const int32_t x0 = clampTo(std::floor(left - margin), image.width);
    const int32_t x1 = clampTo(std::ceil(right + margin), image.width);
    const int32_t y0 = clampTo(std::floor(top - margin), image.height);
    const int32_t y1 = clampTo(std::ceil(bottom + margin), image.height);
    if (x1 <= x0 || y1 <= y0 || !image.isComplete()) {
        return std::nullopt;
    }
    const int64_t stride = image.strideBytes();
    // The first stored row of the region: its top row, or its bottom row when stored bottom-up.
    const int64_t firstRow = image.rowOrder == RowOrder::TopDown ? y0 : image.height - y1;
    const int64_t offset = firstRow * stride + int64_t{x0} * bytesPerPixel(image.format);
    const int64_t length =
        (int64_t{y1 - y0} - 1) * stride + int64_t{x1 - x0} * bytesPerPixel(image.format);
    SymbolRegion region;
    region.view = image;
    region.view.pixels =
        image.pixels.subspan(static_cast<size_t>(offset), static_cast<size_t>(length));
    region.view.width = x1 - x0;
    region.view.height = y1 - y0;
    region.view.rowStride = stride;
    region.corners = corners;
    for (ImagePoint& corner : region.corners) {
        corner.x -= x0;
        corner.y -= y0;
    }
    return region;
}

namespace {

// Positions of a series as "2、5".
QString positionList(const std::vector<uint8_t>& positions) {
    QStringList list;
    for (const uint8_t position : positions) {
        list << QString::number(position);
    }
    return list.join(text(ui::kListSeparator));
}

// Several symbols for the result box: each text numbered in reading order, then each
// Structured Append series among them, joined or with what keeps it from joining.
QString symbolListText(std::span<const DecodeResult> symbols) {
    QStringList lines;
    for (size_t i = 0; i < symbols.size(); ++i) {
        lines << text(ui::kNumberedText)
                     .arg(QString::number(i + 1),
                          decodedTextForDisplay(symbols[i].text, symbols[i].eciSegments));
    }
    for (const AppendSeries& series : joinStructuredAppend(symbols)) {
        const QString total = QString::number(series.total);
        if (series.joined()) {
            // Shown in the character sets of its first symbol, as the tool shows it.
            const DecodeResult& first = symbols[static_cast<size_t>(series.members.front())];
            lines << text(ui::kSeriesJoined)
                         .arg(total, decodedTextForDisplay(series.text, first.eciSegments));
            continue;
        }
        QStringList reasons;
        if (!series.missing.empty()) {
            reasons << text(ui::kSeriesMissing).arg(positionList(series.missing));
        }
        if (!series.conflicting.empty()) {
            reasons << text(ui::kSeriesConflicting).arg(positionList(series.conflicting));
        }
        lines << text(ui::kSeriesNotJoined).arg(total, reasons.join(text(ui::kClauseSeparator)));
    }
    return lines.join(QLatin1Char('\n'));
}

// What every symbol read gives for display; a lone symbol's text as the one-symbol decode
// shows it.
DecodeOutcome outcomeOf(const ImageSymbols& read) {
    DecodeOutcome outcome;
    if (read.symbols.empty()) {
        outcome.status = read.failure.status;
        if (std::optional<QPolygonF> located = outlineOf(read.failure.corners)) {
            outcome.outlines.push_back(std::move(*located));
        }
        return outcome;
    }
    const DecodeResult& first = read.symbols.front();
    outcome.decoded = true;
    outcome.status = first.status;
    outcome.sizeIndex = first.sizeIndex;
    outcome.symbolCount = static_cast<int32_t>(read.symbols.size());
    for (const DecodeResult& symbol : read.symbols) {
        if (std::optional<QPolygonF> outline = outlineOf(symbol.corners)) {
            outcome.outlines.push_back(std::move(*outline));
        }
    }
    outcome.text = read.symbols.size() == 1 ? decodedTextForDisplay(first.text, first.eciSegments)
                                            : symbolListText(read.symbols);
    return outcome;
}

}  // namespace

FrameDecoder::FrameDecoder(std::function<void()> beep) {
    intake.beep = std::move(beep);
}

DecodeTick::DecodeTick(FrameGrabber& frameGrabber, std::function<void()> beep)
    : grabber(frameGrabber), decoder(std::move(beep)) {}

std::optional<DecodeOutcome> DecodeTick::run(bool keepPicture, bool allSymbols) {
    const std::optional<GrabbedFrame> frame = grabber.GrabFrame();
    if (!frame) {
        return std::nullopt;
    }
    return decoder.decode(*frame, keepPicture, allSymbols);
}

std::optional<DecodeOutcome> FrameDecoder::decode(const GrabbedFrame& frame, bool keepPicture,
                                                  bool allSymbols) {
    const BitmapInfoHeader header =
        frameHeader(frame.width, frame.height, static_cast<uint16_t>(frame.bitCount));
    CFrameDib dib;
    if (dib.Create(&header, frame.buffer) != 1) {
        return std::nullopt;
    }
    const std::optional<ImageView> view = frameView(dib);
    DecodeOutcome outcome;
    // The one symbol decoded, for its grade.
    std::optional<SymbolCorners> lone;
    int32_t loneSizeIndex = -1;
    bool loneInverted = false;
    if (allSymbols) {
        // The threshold variant a one-symbol frame would have had, counted the same way.
        const uint32_t variant = intake.frameCounter++;
        const ImageSymbols read = view ? decodeAllSymbols(*view, {variant}) : ImageSymbols{};
        outcome = outcomeOf(read);
        if (!read.symbols.empty()) {
            resultBuffer = read.symbols.front().text;
            if (intake.beep) {
                intake.beep();
            }
        }
        if (read.symbols.size() == 1) {
            lone = read.symbols.front().corners;
            loneSizeIndex = read.symbols.front().sizeIndex;
            loneInverted = read.symbols.front().inverted;
        }
    } else {
        const FrameDecodeResult result = decodeFrame(dib, resultBuffer, intake);
        outcome.decoded = result.decoded;
        outcome.status = result.status;
        outcome.sizeIndex = result.sizeIndex;
        if (std::optional<QPolygonF> outline = outlineOf(result.corners)) {
            outcome.outlines.push_back(std::move(*outline));
        }
        if (result.decoded) {
            outcome.symbolCount = 1;
            outcome.text = decodedTextForDisplay(resultBuffer, result.eciSegments);
            lone = result.corners;
            loneSizeIndex = result.sizeIndex;
            loneInverted = result.inverted;
        }
    }
    outcome.frameSize = QSize(frame.width, frame.height);
    if (keepPicture) {
        outcome.picture = frameImage(frame, kFramePreviewSide);
        // Graded on the symbol's region alone: on a whole HD frame grading takes far longer
        // than the decode.
        if (const std::optional<SymbolRegion> region =
                lone && view ? symbolRegion(*view, *lone) : std::nullopt) {
            outcome.grade = gradeOf(region->view, region->corners, loneSizeIndex, loneInverted);
        }
        // The outlines follow the picture when it was shrunk.
        if (!outcome.picture.isNull() && outcome.picture.size() != outcome.frameSize) {
            const QTransform toPicture =
                QTransform::fromScale(static_cast<double>(outcome.picture.width()) / frame.width,
                                      static_cast<double>(outcome.picture.height()) / frame.height);
            for (QPolygonF& outline : outcome.outlines) {
                outline = toPicture.map(outline);
            }
        }
    }
    return outcome;
}

std::optional<DecodeOutcome> decodePictureFile(const QString& path, int previewSide) {
    try {
        std::string error;
        const std::optional<RgbImage> image =
            loadImage(QFile::encodeName(path).toStdString(), error);
        if (!image) {
            return std::nullopt;
        }
        const std::vector<uint8_t> gray = grayPixels(*image);
        const ImageView view{gray, image->width, image->height};
        DecodeOutcome outcome;
        // An image too small to hold a symbol is not decoded, as the tool refuses it.
        if (std::min(image->width, image->height) >= kSmallestSymbolRows &&
            std::max(image->width, image->height) >= kSmallestSymbolCols) {
            DecodeOptions still;
            still.enlarge = true;
            const ImageSymbols read = decodeAllSymbols(view, still);
            outcome = outcomeOf(read);
            if (read.symbols.size() == 1 && read.symbols.front().corners) {
                const DecodeResult& symbol = read.symbols.front();
                outcome.grade = gradeOf(view, *symbol.corners, symbol.sizeIndex, symbol.inverted);
            }
        }
        outcome.picture = previewOf(*image, previewSide);
        if (!outcome.picture.isNull()) {
            const QTransform toPreview = QTransform::fromScale(
                static_cast<double>(outcome.picture.width()) / image->width,
                static_cast<double>(outcome.picture.height()) / image->height);
            for (QPolygonF& outline : outcome.outlines) {
                outline = toPreview.map(outline);
            }
        }
        return outcome;
    } catch (const std::bad_alloc&) {
        return std::nullopt;  // as a file the tool cannot read for want of memory
    }
}

QString decodedTextForDisplay(const std::string& bytes, std::span<const EciSegment> segments) {
    QString text = QString::fromStdString(messageText(bytes, segments));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

}  // namespace dm
