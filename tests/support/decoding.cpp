#include "tests/support/decoding.h"

#include <algorithm>

#include "decoder/decoder.h"
#include "symbology/codeword_values.h"

namespace dm::test {

MatrixReading readMatrix(std::span<const uint8_t> matrix, int sizeIndex, DecodeState state) {
    MatrixReading r{false, DecodeStatus::NoFinder, {}, std::move(state)};
    r.ok = decodeModuleMatrix(matrix, sizeIndex, r.state, r.status);
    r.text.assign(r.state.text.begin(), r.state.text.end());
    return r;
}

int dataCodewordsUsed(std::span<const uint8_t> data) {
    const int d = static_cast<int>(data.size());
    auto at = [&](int p) { return p < d ? data[p] : 0; };
    int pos = 0;
    while (pos < d) {
        const int c = data[pos++];
        if (c == kPad) {
            return pos - 1;
        } else if (c == kLatchC40 || c == kLatchX12 || c == kLatchText) {  // pairs to an unlatch
            while (pos < d - 1 && data[pos] != kUnlatch)
                pos += 2;
            if (pos < d && data[pos] == kUnlatch)
                ++pos;
        } else if (c == kLatchEdifact) {  // groups of three to the unlatch value
            bool unlatched = false;
            while (!unlatched && pos + 3 <= d) {
                const uint32_t bits = at(pos) << 16 | at(pos + 1) << 8 | at(pos + 2);
                int k = 0;
                while (k < 4 && ((bits >> (18 - 6 * k)) & 63) != 31)
                    ++k;
                unlatched = k < 4;
                pos += unlatched ? (k == 3 ? 3 : k + 1) : 3;
            }
        } else if (c == kLatchBase256) {  // the randomised length
            auto plain = [&](int p) { return (at(p) - (149 * (p + 1)) % 255 - 1) & 255; };
            int length = plain(pos);
            if (length > 249) {
                length = 250 * (length - 249) + plain(pos + 1);
                ++pos;
            }
            pos += 1 + (length == 0 ? d : length);
        } else if (c == kUpperShift) {
            ++pos;
        } else if (c == kEci) {
            pos += at(pos) < 128 ? 1 : at(pos) < 192 ? 2 : 3;
        } else if (c == kStructuredAppend && pos == 1) {
            pos += 3;
        }
    }
    return d;
}

ImageView frameView(const CFrameDib& frame, RowOrder order) {
    const int32_t width = frame.info.bmiHeader.biWidth;
    return {frame.bits,
            width,
            frame.info.bmiHeader.biHeight,
            PixelFormat::Bgr,
            CFrameDib::stride(width, 24),
            order};
}

bool finderPassDecodes(const ImageView& view, uint32_t variant) {
    Decoder decoder;
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
