// Arbitrary images into the grading: either decoded first (as dmcodec grade does) or graded at
// an outline and size taken from the input, which reaches corners far outside the picture,
// folded or degenerate outlines and sizes that do not fit the picture.
#include "fuzz/fuzz_image.h"
#include "grading/print_quality.h"
#include "symbology/symbol_size.h"

namespace {

// A coordinate in quarter pixels, from -1024 to about 15360 pixels.
double coordinate(const uint8_t* p) {
    return (static_cast<int32_t>(p[0] | p[1] << 8) - 4096) / 4.0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < dm::fuzz::kImageHeaderSize)
        return 0;
    // The frame decoder target's image header; layout bit 4: grade at the outline that
    // follows instead of decoding.
    dm::fuzz::FuzzImage image = dm::fuzz::imageHeader(data);
    data += dm::fuzz::kImageHeaderSize;
    size -= dm::fuzz::kImageHeaderSize;

    dm::SymbolCorners corners{};
    int32_t sizeIndex = 0;
    const bool givenOutline = (image.layout & 16) != 0;
    if (givenOutline) {
        if (size < 17)
            return 0;
        sizeIndex = data[0] % dm::kSizeCount;
        for (size_t i = 0; i < corners.size(); ++i)
            corners[i] = {coordinate(data + 1 + 4 * i), coordinate(data + 3 + 4 * i)};
        data += 17;
        size -= 17;
    }

    dm::fuzz::fillPixels(image, data, size);
    // Graded as a print and as a direct part mark (closed gaps, exposure, the grid choice).
    constexpr dm::GradingMode kMark = dm::GradingMode::DirectPartMark;
    if (givenOutline) {
        (void)dm::gradeSymbol(image.view(), corners, sizeIndex);
        (void)dm::gradeSymbol(image.view(), corners, sizeIndex, false, dm::Light::Red,
                              dm::defaultAperture(kMark), kMark);
    } else {
        (void)dm::gradeImage(image.view());
        (void)dm::gradeImage(image.view(), dm::Light::Red, kMark);
    }
    return 0;
}
