#include "tests/support/decoding.h"

#include <algorithm>

#include "decoder/decoder.h"

namespace dm::test {

MatrixReading readMatrix(std::span<const uint8_t> matrix, int sizeIndex, DecodeState state) {
    MatrixReading r{false, DecodeStatus::NoFinder, {}, std::move(state)};
    r.ok = decodeModuleMatrix(matrix, sizeIndex, r.state, r.status);
    r.text.assign(r.state.text.begin(), r.state.text.end());
    return r;
}

ImageView frameView(const CFrameDib& frame, RowOrder order) {
    const int32_t width = frame.info.bmiHeader.biWidth;
    return {frame.bits, width, frame.info.bmiHeader.biHeight, 3, CFrameDib::stride(width, 24),
            order};
}

bool firstPassDecodes(const ImageView& view, uint32_t variant) {
    Decoder decoder;
    decoder.detection = Decoder::Detection::FirstPass;
    decoder.state.cache.frameCounter = variant;
    return decoder.decodeView(view).decoded;
}

void mirrorRows(std::span<uint8_t> pixels, int width, int height, int64_t stride) {
    for (int y = 0; y < height; ++y) {
        uint8_t* row = pixels.data() + y * stride;
        for (int x = 0; x < width / 2; ++x)
            std::swap_ranges(row + 3 * x, row + 3 * x + 3, row + 3 * (width - 1 - x));
    }
}

}  // namespace dm::test
