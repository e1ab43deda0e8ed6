#include "decoder/frame_dib.h"

#include <algorithm>

namespace dm {
namespace {

// Colour-table entries that go with a bit depth; direct-colour frames have none.
int colourTableSize(uint16_t bitCount) {
    switch (bitCount) {
        case 1:
            return 2;
        case 4:
            return 16;
        case 8:
            return 256;
        default:
            return 0;
    }
}

}  // namespace

void CFrameDib::Reset() {
    info = BitmapInfo{};
    bits.clear();
    usage = kRgbColours;
    colorCount = 0;
}

int CFrameDib::Create(const BitmapInfoHeader* header, std::span<const uint8_t> pixels) {
    Reset();
    if (header == nullptr || pixels.empty() || header->biWidth <= 0 || header->biHeight <= 0 ||
        header->biBitCount == 0) {
        return 0;
    }
    const int64_t wanted = header->biSizeImage != 0
                               ? int64_t{header->biSizeImage}
                               : stride(header->biWidth, header->biBitCount) * header->biHeight;
    if (static_cast<int64_t>(pixels.size()) < wanted)
        return 0;
    info.bmiHeader = *header;
    colorCount = colourTableSize(header->biBitCount);
    // The colour table of a captured frame is not handed over; it stays zeroed.
    bits.assign(pixels.begin(), pixels.begin() + static_cast<ptrdiff_t>(wanted));
    return 1;
}

}  // namespace dm
