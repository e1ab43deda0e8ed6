#include "tools/file_grading.h"

#include <vector>

namespace dm::tool {

SymbolGrade gradeLocatedSymbol(const RgbImage& image, const DecodeResult& located) {
    if (!located.corners || located.sizeIndex < 0)
        return gradeSymbol({}, {}, -1);  // nothing to grade
    std::vector<uint8_t> gray(static_cast<size_t>(image.width) * image.height);
    for (size_t i = 0; i < gray.size(); ++i)
        gray[i] = grayLevel(image.rgb[3 * i], image.rgb[3 * i + 1], image.rgb[3 * i + 2]);
    return gradeSymbol({gray, image.width, image.height, 1}, *located.corners, located.sizeIndex);
}

}  // namespace dm::tool
