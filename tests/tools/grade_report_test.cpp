// The report picture of a grade: its legend names each mode's parameters (a direct part mark's
// cell contrast, cell modulation, minimum reflectance and exposure), and a symbol of low contrast
// stays visible, its levels stretched and the legend saying so.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "grading/print_quality.h"
#include "tests/support/frame_synth.h"
#include "tests/support/symbol_builders.h"
#include "tools/grade_report.h"

namespace dm::tool {
namespace {

constexpr int k16 = 3;  // size index

// A 16 x 16 symbol drawn square at dark and light levels, 8 pixels per module, as RGB.
struct Drawn {
    RgbImage image;
    SymbolCorners corners{};
};
Drawn drawSquares(uint8_t dark, uint8_t light) {
    const std::vector<uint8_t> matrix = test::symbolWithData({'R' + 1, 'e' + 1, 'p' + 1}, k16);
    const test::GrownPrint print = test::printGrown(matrix, 16, 16, 8, 0, 0);
    Drawn d;
    d.image.width = print.width;
    d.image.height = print.height;
    for (const uint8_t v : print.gray) {
        const auto level = static_cast<uint8_t>(dark + (light - dark) * v / 255);
        d.image.rgb.insert(d.image.rgb.end(), {level, level, level});
    }
    d.corners = {{{32, 32}, {160, 32}, {160, 160}, {32, 160}}};
    return d;
}

SymbolGrade gradeOf(const RgbImage& image, const SymbolCorners& corners, int sizeIndex,
                    GradingMode mode) {
    const ImageView view{image.rgb, image.width, image.height, PixelFormat::Bgr};
    return gradeSymbol(view, corners, sizeIndex, false, Light::Red, defaultAperture(mode), mode);
}

std::string legendText(const SymbolGrade& g, const ShownLevels& shown = {}) {
    std::string text;
    for (const LegendLine& line : reportLegend(std::span(&g, 1), shown))
        text.append(line.text).append("\n");
    return text;
}

// The gray levels the report shows in its picture part (the marks and the legend, coloured or
// on paper, aside): the lowest and highest.
std::pair<int, int> shownRange(const RgbImage& report) {
    int low = 255, high = 0;
    for (size_t i = 0; i + 2 < report.rgb.size(); i += 3) {
        const uint8_t r = report.rgb[i];
        if (r != report.rgb[i + 1] || r != report.rgb[i + 2] || r == 250 || r == 30)
            continue;
        low = std::min<int>(low, r);
        high = std::max<int>(high, r);
    }
    return {low, high};
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(GradeReport, TheLegendNamesEachModesParameters) {
    const std::vector<uint8_t> matrix = test::symbolWithData({'D' + 1, 'P' + 1, 'M' + 1}, k16);
    test::DotPeenOptions o;
    o.dotDiameter = 0.9;
    const test::DotPeenMark m = test::dotPeenMark(matrix, 16, 16, o);
    RgbImage image{m.width, m.height, {}};
    for (const uint8_t v : m.gray)
        image.rgb.insert(image.rgb.end(), {v, v, v});
    SymbolCorners corners{};
    for (size_t i = 0; i < corners.size(); ++i)
        corners[i] = {m.corners[i].x, m.corners[i].y};
    const SymbolGrade mark = gradeOf(image, corners, k16, GradingMode::DirectPartMark);
    ASSERT_TRUE(mark.located);
    const std::string text = legendText(mark, {mark.exposure, 0, 255, false});
    for (const char* part :
         {"direct part mark 16x16: overall A (4.0)", "Cell contrast", "Cell modulation",
          "Minimum reflectance", "100 %", "mean light 78 %, mean dark 16 % after exposure x0.99",
          "picture shown as exposed for grading (x0.99)"})
        EXPECT_TRUE(has(text, part)) << part << " in\n" << text;
    EXPECT_FALSE(has(text, "Symbol contrast")) << text;
    EXPECT_FALSE(has(text, "stretched")) << text;

    const SymbolGrade print = gradeOf(image, corners, k16, GradingMode::Print);
    const std::string printed = legendText(print);
    for (const char* part : {"print 16x16", "Symbol contrast", "Modulation", "Reflectance margin"})
        EXPECT_TRUE(has(printed, part)) << part << " in\n" << printed;
    EXPECT_FALSE(has(printed, "mean light")) << printed;

    // The report picture: the legend's text below the symbol.
    const RgbImage report = gradeReport(image, mark);
    const auto legendStart = report.rgb.begin() + static_cast<ptrdiff_t>(report.rgb.size() / 2);
    EXPECT_GT(std::count(legendStart, report.rgb.end(), uint8_t{30}), 3000);
    EXPECT_EQ(std::count(report.rgb.begin(), legendStart, uint8_t{30}), 0);
}

TEST(GradeReport, ALowContrastSymbolIsShownWithItsLevelsStretched) {
    const Drawn low = drawSquares(120, 150);
    const SymbolGrade g = gradeOf(low.image, low.corners, k16, GradingMode::Print);
    ASSERT_TRUE(g.located);
    EXPECT_EQ(gradeLetter(g[Parameter::SymbolContrast].grade), 'F');  // 30 levels of 255
    const RgbImage report = gradeReport(low.image, g);
    const auto [lowest, highest] = shownRange(report);
    // The dark modules show near the darkest gray the report uses, the light ones white.
    EXPECT_LE(lowest, 100);
    EXPECT_GE(highest, 250);
    const std::string text = legendText(g, {1, 120, 150, true});
    EXPECT_TRUE(has(text, "levels 120-150 stretched to black-white")) << text;

    // A symbol of full contrast is shown as it is: its levels span the range already.
    const Drawn full = drawSquares(0, 255);
    const SymbolGrade fine = gradeOf(full.image, full.corners, k16, GradingMode::Print);
    const RgbImage plain = gradeReport(full.image, fine);
    EXPECT_EQ(shownRange(plain), std::make_pair(96, 255));
}

}  // namespace
}  // namespace dm::tool
