#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "decoder/frame_dib.h"
#include "symbology/decode_status.h"

namespace dm {

struct FrameDecodeResult {
    bool decoded = false;
    DecodeStatus status = DecodeStatus::MissingInput;
    int32_t sizeIndex = -1;  // size of the symbol decoded, -1 when none
};

// What one caller keeps from frame to frame: the sound to play after a decoded frame. Use one
// per thread.
struct FrameIntake {
    std::function<void()> beep;
};

// Decodes a 24- or 32-bit frame, reading its pixels as gray (59 G + 30 R + 11 B) / 100. On success
// outText receives the decoded bytes (whole, however long) and the beep sounds; otherwise outText
// is unchanged.
FrameDecodeResult decodeFrame(const CFrameDib& frame, std::string& outText, FrameIntake& intake);

}  // namespace dm
