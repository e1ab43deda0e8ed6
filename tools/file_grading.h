#pragma once

#include "decoder/decode_image.h"
#include "grading/print_quality.h"
#include "platform/image_files.h"

namespace dm::tool {

// The print-quality grade of the symbol a decode of the image located (its corners in the
// image's own pixels, as decodeImageFile gives them); not located when the decode located none.
SymbolGrade gradeLocatedSymbol(const RgbImage& image, const DecodeResult& located);

}  // namespace dm::tool
