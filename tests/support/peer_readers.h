#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dm::test {

// 8-bit gray picture, rows top-down, no padding.
struct GrayPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

// Reads a JPEG file into gray; nothing when it is not a readable JPEG.
std::optional<GrayPicture> loadJpegGray(const std::string& path);

// Decodes with zxing-cpp (Data Matrix only); the raw content bytes, or nothing.
std::optional<std::string> readWithZxing(const GrayPicture& picture);

// Decodes with libdmtx within the time limit; the raw content bytes, or nothing.
std::optional<std::string> readWithDmtx(const GrayPicture& picture, int timeoutMs = 3000);

}  // namespace dm::test
