// Arbitrary camera frames into the frame decoder: size, bit depth and pixels from the input.
#include <cstddef>
#include <cstdint>
#include <string>

#include "decoder/frame_intake.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5)
        return 0;
    // Sizes up to 1023 x 1023 keep single runs fast while covering odd widths and padding.
    const int width = (data[0] | data[1] << 8) & 0x3FF;
    const int height = (data[2] | data[3] << 8) & 0x3FF;
    const int bitCount = data[4] & 1 ? 32 : 24;
    data += 5;
    size -= 5;

    const dm::BitmapInfoHeader header =
        dm::frameHeader(width, height, static_cast<uint16_t>(bitCount));
    const auto needed = static_cast<size_t>(dm::CFrameDib::stride(width, bitCount)) * height;
    // Tile the input over the frame so short inputs still describe whole frames.
    std::vector<uint8_t> pixels(needed, 255);
    if (size > 0) {
        for (size_t i = 0; i < needed; ++i)
            pixels[i] = data[i % size];
    }
    dm::CFrameDib frame;
    if (!frame.Create(&header, pixels))
        return 0;
    dm::FrameIntake intake;
    std::string text;
    (void)dm::decodeFrame(frame, text, intake);
    return 0;
}
