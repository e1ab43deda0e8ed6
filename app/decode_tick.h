#pragma once

#include <QImage>
#include <QPolygonF>
#include <QString>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/frame_grabber.h"
#include "decoder/frame_intake.h"

namespace dm {

// What the decoder made of one picture, a camera frame or a still picture.
struct DecodeOutcome {
    bool decoded = false;
    DecodeStatus status = DecodeStatus::MissingInput;
    int32_t sizeIndex = -1;   // of the first symbol decoded
    int32_t symbolCount = 0;  // symbols decoded
    // The result box's text, when decoded: the symbol's text, or, when several were read, each
    // numbered in reading order followed by their Structured Append series.
    QString text;
    // Each symbol decoded, in reading order, or the one located that did not decode; in the
    // picture's pixels.
    std::vector<QPolygonF> outlines;
    QImage picture;   // the picture as the decoder saw it, when asked for; a camera frame is
                      // shrunk for display to at most kFramePreviewSide pixels a side
    QSize frameSize;  // of the camera frame decoded, at the resolution it was decoded
    std::optional<double> grade;  // overall print-quality grade of a lone symbol decoded, when
                                  // asked for
};

// Camera frames kept for display are shrunk to this many pixels a side: a 4K frame is never
// copied whole for a view a few hundred pixels wide.
inline constexpr int kFramePreviewSide = 1024;

// Decodes camera frames one after another, holding what lives from frame to frame (frame
// intake, result bytes). One per thread.
class FrameDecoder {
  public:
    explicit FrameDecoder(std::function<void()> beep);

    // The outcome of one frame (with the frame itself and, once decoded, its grade when
    // keepPicture); nothing when the frame is not a whole camera frame. One symbol per frame,
    // or with allSymbols every symbol in it, read with the same threshold variant.
    std::optional<DecodeOutcome> decode(const GrabbedFrame& frame, bool keepPicture,
                                        bool allSymbols);

    // Decoded bytes of the last success.
    const std::string& result() const { return resultBuffer; }

  private:
    FrameIntake intake;
    std::string resultBuffer;
};

// One timer tick of the decoding half: take the next frame, decode it, and give back the
// text for display.
class DecodeTick {
  public:
    DecodeTick(FrameGrabber& grabber, std::function<void()> beep);

    // The outcome when a frame arrived; nothing when none came. See FrameDecoder::decode.
    std::optional<DecodeOutcome> run(bool keepPicture = false, bool allSymbols = false);

    const std::string& result() const { return decoder.result(); }

  private:
    FrameGrabber& grabber;
    FrameDecoder decoder;
};

// The part of a picture around a located symbol, with the symbol's corners in it: the corners'
// bounding box and a margin of half its larger side, clipped to the picture. Nothing when that
// leaves no pixel or the view is not whole.
struct SymbolRegion {
    ImageView view;
    SymbolCorners corners;
};
std::optional<SymbolRegion> symbolRegion(const ImageView& image, const SymbolCorners& corners);

// Decodes every symbol of an image file as the command-line tool does, with its reader and
// bounds, as a still picture (every threshold variant, enlargements for fine modules), and
// grades a lone symbol decoded. The outcome's picture is the file's, shrunk to at most
// previewSide pixels a side, with the outlines in its pixels. Nothing when the file cannot be
// read as an image. Runs on any thread.
std::optional<DecodeOutcome> decodePictureFile(const QString& path, int previewSide);

// Decoded bytes as display text: GBK, or the character sets of the ECI segments; invalid
// sequences become U+FFFD, CR LF becomes a line break.
QString decodedTextForDisplay(const std::string& bytes, std::span<const EciSegment> segments = {});

}  // namespace dm
