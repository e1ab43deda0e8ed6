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
    QImage picture;               // the picture as the decoder saw it, when asked for
    std::optional<double> grade;  // overall print-quality grade of a lone symbol decoded, when
                                  // asked for
};

// One timer tick of the decoding half: take the next frame, decode it, and give back the
// text for display. Holds what lives from tick to tick (frame intake, result bytes).
class DecodeTick {
  public:
    DecodeTick(FrameGrabber& grabber, std::function<void()> beep);

    // The outcome when a frame arrived (with the frame itself and, once decoded, its grade when
    // keepPicture); nothing when none came. One symbol per frame, or with allSymbols every
    // symbol in it, read with the same threshold variant.
    std::optional<DecodeOutcome> run(bool keepPicture = false, bool allSymbols = false);

    // Decoded bytes of the last success.
    const std::string& result() const { return resultBuffer; }

  private:
    FrameGrabber& grabber;
    FrameIntake intake;
    std::string resultBuffer;
};

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
