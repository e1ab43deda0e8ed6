#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "grading/print_quality.h"
#include "platform/image_files.h"

namespace dm::tool {

// A parameter's measured value as the grade's text gives it: "pass", "78 %", "2 modules",
// "0.512", "not measured".
std::string measuredText(const ParameterGrade& p, GradingMode mode);

// How a report shows the picture's levels: a direct part mark as exposed for its grade (the
// factor, 1 for a print), and levels from low to high stretched to the whole range when they span
// too little to show the symbol.
struct ShownLevels {
    double exposure = 1;
    int low = 0;
    int high = 255;
    bool stretched = false;
};

// A line of a report's legend, in its colour.
struct LegendLine {
    std::string text;
    std::array<uint8_t, 3> colour{};
};

// The legend under a report picture: per graded symbol its mode, size, overall grade and every
// parameter's value and grade (a direct part mark's mean light and dark and exposure too), how
// the levels are shown, and what the colours mark.
std::vector<LegendLine> reportLegend(std::span<const SymbolGrade> grades, const ShownLevels& shown);

// The graded symbol as a picture for people: the image around the symbol in gray (a direct part
// mark as exposed for its grade; levels spanning too little stretched to the whole range),
// enlarged so that a module spans at least 16 pixels (at most 8 times), with the measured outline
// in green, the module centres as blue dots, modules whose modulation or reflectance margin
// grades F in red and D in orange, and the finder and quiet-zone segments graded below A as a
// magenta line with their damaged modules (also in the clock tracks) framed in magenta; the
// legend below it.
RgbImage gradeReport(const RgbImage& image, const SymbolGrade& grade);

// The same for several symbols of one image, in one picture around them all.
RgbImage gradeReport(const RgbImage& image, std::span<const SymbolGrade> grades);

}  // namespace dm::tool
