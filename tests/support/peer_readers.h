#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "decoder/frame_dib.h"

namespace dm::test {

// 8-bit gray picture, rows top-down, no padding.
struct GrayPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

// Reads a JPEG file into gray; nothing when it is not a readable JPEG.
std::optional<GrayPicture> loadJpegGray(const std::string& path);

// Writes the picture as a gray PNG file; false when it cannot.
bool writePng(const std::string& path, const GrayPicture& picture);

// A module matrix (rows x cols, 1 = dark, row 0 at the top) drawn with modulePixels pixels per
// module inside a light quiet zone of quietModules modules; mirrored draws it upside down in a
// mirror (the rows in the other order).
GrayPicture drawModules(std::span<const uint8_t> matrix, int rows, int cols, int modulePixels = 4,
                        int quietModules = 4, bool mirrored = false);

// Decodes with zxing-cpp (Data Matrix only); the raw content bytes, or nothing.
std::optional<std::string> readWithZxing(const GrayPicture& picture);

// The whole message as zxing-cpp reads it.
struct PeerMessage {
    std::string bytes;                // macros expanded, FNC1 as 29, no character set applied
    std::string text;                 // UTF-8 through the ECIs
    std::string symbologyIdentifier;  // "]d1" to "]d6"
    bool hasEci = false;
    bool gs1 = false;
    bool readerProgramming = false;
    bool mirrored = false;
    int appendPosition = 0;  // 1-based, 0 when not part of a Structured Append sequence
    int appendTotal = 0;
};

std::optional<PeerMessage> readMessageWithZxing(const GrayPicture& picture);

// Decodes with libdmtx within the time limit; the raw content bytes, or nothing.
std::optional<std::string> readWithDmtx(const GrayPicture& picture, int timeoutMs = 3000);

// The same readers on a camera frame as it is stored (24-bit BGR, rows bottom-up, padded);
// each reader does its own gray conversion.
std::optional<std::string> readFrameWithZxing(const CFrameDib& frame);
std::optional<std::string> readFrameWithDmtx(const CFrameDib& frame, int timeoutMs);

// Every symbol each reader finds in the frame (zxing-cpp's multi-symbol read; libdmtx region
// after region within the time limit), their raw content bytes.
std::vector<std::string> readFrameAllWithZxing(const CFrameDib& frame);
std::vector<std::string> readFrameAllWithDmtx(const CFrameDib& frame, int timeoutMs);

}  // namespace dm::test
