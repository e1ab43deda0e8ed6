#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "decoder/decode_image.h"
#include "decoder/frame_dib.h"
#include "symbology/decode_status.h"
#include "symbology/message_format.h"

namespace dm {

struct FrameDecodeResult {
    bool decoded = false;
    DecodeStatus status = DecodeStatus::MissingInput;
    int32_t sizeIndex = -1;                // size of the symbol decoded, -1 when none
    std::vector<EciSegment> eciSegments;   // the character sets of the decoded bytes
    std::optional<SymbolCorners> corners;  // where the symbol was located, in picture coordinates
    bool inverted = false;                 // printed light on a dark ground
};

// What one caller keeps from frame to frame: the sound to play after a decoded frame, the
// count of frames taken, which picks each frame's threshold variant (whole frame, central half,
// central three quarters in turn), and the decoder's buffers. Use one per thread.
struct FrameIntake {
    std::function<void()> beep;
    uint32_t frameCounter = 0;
    FrameBuffers buffers;
};

// The frame's stored pixels as an image view (rows bottom-up, read in place); nothing when the
// header does not describe a 24- or 32-bit frame whose pixels are all there.
std::optional<ImageView> frameView(const CFrameDib& frame);

// Decodes one camera frame of 24 or 32 bits, reading its pixels as gray
// (59 G + 30 R + 11 B) / 100, with the threshold variant the intake's frame count selects; the
// count then advances, so a symbol held before the camera meets every variant within three
// frames. On success outText receives the decoded bytes (whole, however long) and the beep
// sounds; otherwise outText is unchanged.
FrameDecodeResult decodeFrame(const CFrameDib& frame, std::string& outText, FrameIntake& intake);

}  // namespace dm
