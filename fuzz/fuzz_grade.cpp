// Arbitrary images into the grading: either decoded first (as dmcodec grade does) or graded at
// an outline and size taken from the input, which reaches corners far outside the picture,
// folded or degenerate outlines and sizes that do not fit the picture.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "grading/print_quality.h"
#include "symbology/symbol_size.h"

namespace {

// A coordinate in quarter pixels, from -1024 to about 15360 pixels.
double coordinate(const uint8_t* p) {
    return (static_cast<int32_t>(p[0] | p[1] << 8) - 4096) / 4.0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5)
        return 0;
    // The image header as the frame decoder's target reads it: width, height (up to 1023),
    // layout byte (bit 0 four bytes per pixel, else bit 1 gray, else three; bit 2 rows
    // top-down; bit 4 grade at the outline that follows instead of decoding).
    const int width = (data[0] | data[1] << 8) & 0x3FF;
    const int height = (data[2] | data[3] << 8) & 0x3FF;
    const uint8_t layout = data[4];
    const int bytesPerPixel = layout & 1 ? 4 : layout & 2 ? 1 : 3;
    data += 5;
    size -= 5;

    dm::SymbolCorners corners{};
    int32_t sizeIndex = 0;
    const bool givenOutline = (layout & 16) != 0;
    if (givenOutline) {
        if (size < 17)
            return 0;
        sizeIndex = data[0] % dm::kSizeCount;
        for (size_t i = 0; i < corners.size(); ++i)
            corners[i] = {coordinate(data + 1 + 4 * i), coordinate(data + 3 + 4 * i)};
        data += 17;
        size -= 17;
    }

    const int64_t stride = (int64_t{width} * bytesPerPixel + 3) & ~int64_t{3};
    const auto needed = static_cast<size_t>(stride) * height;
    std::vector<uint8_t> pixels(needed, 255);
    if (size > 0) {
        for (size_t i = 0; i < needed; ++i)
            pixels[i] = data[i % size];
    }
    const dm::ImageView view{pixels, width,
                             height, bytesPerPixel,
                             stride, layout & 4 ? dm::RowOrder::TopDown : dm::RowOrder::BottomUp};
    if (givenOutline)
        (void)dm::gradeSymbol(view, corners, sizeIndex);
    else
        (void)dm::gradeImage(view);
    return 0;
}
