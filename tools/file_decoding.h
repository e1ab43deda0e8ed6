#pragma once

#include <string>

#include "decoder/frame_intake.h"

namespace dm::tool {

// What decoding one image file gave.
struct FileOutcome {
    bool loaded = false;
    std::string loadError;  // why the file could not be read, when !loaded
    FrameDecodeResult result;
    std::string text;         // decoded bytes
    double milliseconds = 0;  // decode time, file loading excluded
};

// Loads an image file, turns it into a camera frame and decodes it as the window would over
// three frames of a still picture.
FileOutcome decodeImageFile(const std::string& path, FrameIntake& intake);

// "10x10", "8x18" for a size index, empty for -1.
std::string sizeName(int sizeIndex);

// Text for people: GBK bytes shown as UTF-8.
std::string displayText(const std::string& bytes);

// JSON string literal for a UTF-8 string (invalid bytes escaped as \u00XX).
std::string jsonString(const std::string& s);

}  // namespace dm::tool
