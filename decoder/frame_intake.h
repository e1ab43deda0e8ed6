#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "decoder/frame_dib.h"
#include "symbology/decode_status.h"

namespace dm {

struct FrameDecodeResult {
    bool decoded = false;
    DecodeStatus status = DecodeStatus::MissingInput;
    int32_t sizeIndex = -1;  // size of the symbol decoded, -1 when none
};

// What one caller keeps from frame to frame: the grayscale buffer (re-sized when the frame
// size changes) and the sound to play after a decoded frame. Use one per thread.
struct FrameIntake {
    std::vector<uint8_t> gray;
    std::function<void()> beep;
};

// Converts a 24- or 32-bit frame to gray and decodes it. On success outText receives the
// decoded bytes (whole, however long) and the beep sounds; otherwise outText is unchanged.
FrameDecodeResult decodeFrame(const CFrameDib& frame, std::string& outText, FrameIntake& intake);

}  // namespace dm
