#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace dm {

// Device-independent bitmap header, field for field.
struct BitmapInfoHeader {
    uint32_t biSize = 0;
    int32_t biWidth = 0;
    int32_t biHeight = 0;  // positive: rows bottom-up
    uint16_t biPlanes = 0;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};

struct RgbQuad {
    uint8_t rgbBlue = 0;
    uint8_t rgbGreen = 0;
    uint8_t rgbRed = 0;
    uint8_t rgbReserved = 0;
};

struct BitmapInfo {
    BitmapInfoHeader bmiHeader;
    std::array<RgbQuad, 256> bmiColors{};
};

// Header of an uncompressed frame of width x height pixels (positive height: rows bottom-up):
// 40-byte header, one plane, every other field zero.
constexpr BitmapInfoHeader frameHeader(int32_t width, int32_t height, uint16_t bitCount) {
    BitmapInfoHeader header;
    header.biSize = 40;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = bitCount;
    return header;
}

// One captured frame held as a bitmap: header plus a private copy of the pixel rows
// (bottom-up, each row padded to a multiple of 4 bytes).
class CFrameDib {
  public:
    static constexpr uint32_t kRgbColours = 0;

    CFrameDib() { Reset(); }

    // Forgets the pixels and zeroes the header and colour table.
    void Reset();

    // Copies header and pixels (biSizeImage bytes, or stride x biHeight when that is 0).
    // Returns 1 on success, 0 for a missing header or pixels, a width, height or bit depth that
    // is not positive, or pixels shorter than the header describes.
    int Create(const BitmapInfoHeader* header, std::span<const uint8_t> pixels);

    // Bytes per stored row for a width and bit depth.
    static constexpr int64_t stride(int32_t width, int32_t bitCount) {
        return ((static_cast<int64_t>(width) * bitCount + 31) & ~int64_t{31}) / 8;
    }

    BitmapInfo info;
    std::vector<uint8_t> bits;
    uint32_t usage = kRgbColours;
    int colorCount = 0;
};

}  // namespace dm
