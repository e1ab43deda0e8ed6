#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "app/frame_grabber.h"
#include "decoder/frame_intake.h"

namespace dm {

// One timer tick of the decoding half: take the next frame, decode it, and give back the
// text for display. Holds what lives from tick to tick (frame intake, result bytes).
class DecodeTick {
  public:
    DecodeTick(FrameGrabber& grabber, std::function<void()> beep);

    // The decoded text (from GBK, or the character sets of its ECIs) when a frame arrived and
    // held a symbol; nothing otherwise.
    std::optional<QString> run();

    // Decoded bytes of the last success.
    const std::string& result() const { return resultBuffer; }

  private:
    FrameGrabber& grabber;
    FrameIntake intake;
    std::string resultBuffer;
};

// Decoded bytes as display text: GBK, or the character sets of the ECI segments; invalid
// sequences become U+FFFD, CR LF becomes a line break.
QString decodedTextForDisplay(const std::string& bytes, std::span<const EciSegment> segments = {});

}  // namespace dm
