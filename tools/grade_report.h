#pragma once

#include <span>

#include "grading/print_quality.h"
#include "platform/image_files.h"

namespace dm::tool {

// The graded symbol as a picture for people: the image around the symbol in gray, enlarged so
// that a module spans at least 16 pixels (at most 8 times), with the measured outline in green,
// the module centres as blue dots, modules whose modulation or reflectance margin grades F in
// red and D in orange, and the finder and quiet-zone segments graded below A as a magenta line
// with their damaged modules (also in the clock tracks) framed in magenta.
RgbImage gradeReport(const RgbImage& image, const SymbolGrade& grade);

// The same for several symbols of one image, in one picture around them all.
RgbImage gradeReport(const RgbImage& image, std::span<const SymbolGrade> grades);

}  // namespace dm::tool
