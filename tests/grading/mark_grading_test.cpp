// Direct part mark grading: dot-peen and etched marks get every mark parameter, a clean label
// grades A, and cell contrast and minimum reflectance step at their levels.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

#include "grading/print_quality.h"
#include "symbology/symbol_size.h"
#include "tests/support/camera_tiers.h"
#include "tests/support/decoding.h"
#include "tests/support/frame_synth.h"
#include "tests/support/peer_encoders.h"
#include "tests/support/sweeps.h"

namespace dm {
namespace {

constexpr GradingMode kMark = GradingMode::DirectPartMark;
constexpr int k22 = 6;  // size index

#ifdef __SANITIZE_ADDRESS__
constexpr int kFramesPerTier = 3;
#else
constexpr int kFramesPerTier = 10;
#endif

std::string describe(const SymbolGrade& g) {
    std::string text;
    for (const ParameterGrade& p : g.parameters) {
        char item[80];
        std::snprintf(item, sizeof item, "%s %.3f %c; ",
                      std::string(parameterName(p.parameter, g.mode)).c_str(), p.value,
                      p.measured ? gradeLetter(p.grade) : '-');
        text += item;
    }
    if (g.gridFailure != GridFailure::None)
        text += "grid not measured: " + std::string(gridFailureText(g.gridFailure));
    return text;
}

// Every dot-peen (dark and bright) and etched frame that decodes is graded as a mark: located,
// every parameter measured at a grid (the clock tracks', the cells' middles or the decode's), the
// light cells exposed to the target. Most read under the global threshold too (Decode A); an etched
// mark on blotchy metal may not, which is its grade.
TEST(MarkGrading, DecodedDotPeenAndEtchedFramesGetEveryMarkParameter) {
    for (const test::Tier tier :
         {test::Tier::DotPeenDark, test::Tier::DotPeenBright, test::Tier::Etched}) {
        int decoded = 0, readAtThreshold = 0;
        for (int index = 0; index < kFramesPerTier; ++index) {
            const test::TierFrame frame = test::tierFrame(tier, 24, index);
            const ImageView view = test::frameView(frame.dib);
            const DecodeResult read = decodeImage(view);
            if (!read.decoded)
                continue;
            ++decoded;
            const auto start = std::chrono::steady_clock::now();
            const SymbolGrade g = gradeSymbol(view, *read.corners, read.sizeIndex, read.inverted,
                                              Light::Red, defaultAperture(kMark), kMark);
            const std::chrono::duration<double, std::milli> took =
                std::chrono::steady_clock::now() - start;
            SCOPED_TRACE(std::string(test::tierName(tier)) + " " + frame.description);
            if (test::fullSweep()) {
                const SymbolGrade print = gradeSymbol(view, *read.corners, read.sizeIndex);
                std::printf("%s %d: %s overall %c in %.0f ms (as a print %c %s)\n",
                            test::tierName(tier), index, describe(g).c_str(),
                            gradeLetter(g.overall), took.count(), gradeLetter(print.overall),
                            std::string(gridFailureText(print.gridFailure)).c_str());
            }
            ASSERT_TRUE(g.located);
            EXPECT_EQ(g.mode, kMark);
            EXPECT_EQ(g.gridFailure, GridFailure::None) << describe(g);
            readAtThreshold += g.decoded;
            for (const ParameterGrade& p : g.parameters)
                EXPECT_TRUE(p.measured) << describe(g);
            EXPECT_EQ(g.sizeIndex, frame.sizeIndex);
            // At the target, or a little under where the brightest cells (a bright dot's rim)
            // are held at 100 % by the exposure.
            EXPECT_LE(g.meanLight, 0.785);
            EXPECT_GE(g.meanLight, 0.75);
            EXPECT_GT(g[Parameter::CellContrast].value, 0.1) << describe(g);
            EXPECT_GT(g[Parameter::MinimumReflectance].value, 0.05) << describe(g);
        }
        EXPECT_GE(decoded, kFramesPerTier / 2) << test::tierName(tier);
        EXPECT_GE(readAtThreshold, decoded / 2) << test::tierName(tier);
    }
}

const test::PeerSymbol& symbol22() {
    static const test::PeerSymbol s =
        *test::encodeWithDmtx(test::bytesOf("PART 4711-0815 LOT 42"), test::PeerScheme::C40, k22);
    return s;
}

struct Mark {
    test::SynthFrame frame;
    SymbolCorners corners{};
    ImageView view() const { return test::viewOf(frame); }
};

Mark drawMark(uint8_t light, uint8_t dark, uint8_t background) {
    const test::PeerSymbol& s = symbol22();
    test::SynthOptions o;
    o.moduleSize = 8;
    o.light = light;
    o.dark = dark;
    o.background = background;
    o.width = o.height = 120;
    o = test::fitted(s.rows, s.cols, o);
    Mark m{test::synthesiseFrame(s.matrix, s.rows, s.cols, o)};
    const auto c = test::symbolCornersInPicture(s.rows, s.cols, o);
    for (size_t i = 0; i < c.size(); ++i)
        m.corners[i] = {c[i].x, c[i].y};
    return m;
}

TEST(MarkGrading, ACleanLabelGradesAAsAMark) {
    const Mark m = drawMark(235, 20, 235);
    const SymbolGrade g = gradeImage(m.view(), Light::Red, kMark);
    ASSERT_TRUE(g.located);
    for (const ParameterGrade& p : g.parameters)
        EXPECT_EQ(p.grade, 4.0) << describe(g);
    EXPECT_NEAR(g[Parameter::CellContrast].value, (235.0 - 20) / 235, 0.01);
    EXPECT_NEAR(g[Parameter::MinimumReflectance].value, 1.0, 0.01);
    EXPECT_NEAR(g.exposure, 0.78 / (235 / 255.0), 0.01);
    EXPECT_NEAR(g.aperture, 4.0, 0.1);  // half a module
    EXPECT_EQ(parameterName(Parameter::CellContrast, kMark), "Cell contrast");
    // The same picture as a print: its own names, aperture and exposure.
    const SymbolGrade print = gradeImage(m.view());
    EXPECT_EQ(print.mode, GradingMode::Print);
    EXPECT_EQ(print.exposure, 1.0);
    EXPECT_NEAR(print.aperture, 6.4, 0.1);
}

// Corners that are no outline (not numbers, far off the picture, a point) grade nothing as a
// mark either, without reading outside the picture.
TEST(MarkGrading, NoOutlineGradesNothing) {
    const Mark m = drawMark(235, 20, 235);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double huge = 1e12;
    for (const SymbolCorners& corners :
         {SymbolCorners{{{nan, nan}, {nan, 0}, {0, nan}, {1, 1}}},
          SymbolCorners{{{-huge, -huge}, {huge, -huge}, {huge, huge}, {-huge, huge}}},
          SymbolCorners{{{5, 5}, {5, 5}, {5, 5}, {5, 5}}}}) {
        const SymbolGrade g =
            gradeSymbol(m.view(), corners, k22, false, Light::Red, defaultAperture(kMark), kMark);
        EXPECT_FALSE(g.decoded);
        EXPECT_EQ(g.overall, 0);
    }
}

// The mark series of the check of the checker: cell contrast (L - D) / L of squares darker than
// the surface either side of each level, and minimum reflectance, the light cells against a
// bright surround (a reference patch), either side of 5 %.
TEST(MarkGrading, CellContrastAndMinimumReflectanceStepAtTheMarkLevels) {
    const bool table = test::fullSweep();
    if (table)
        std::printf("cell contrast (libdmtx 22x22)\n  step  measured  expected  grade\n");
    for (const auto& [contrast, grade] : {std::pair{0.32, 4.0},
                                          {0.28, 3.0},
                                          {0.27, 3.0},
                                          {0.23, 2.0},
                                          {0.22, 2.0},
                                          {0.18, 1.0},
                                          {0.17, 1.0},
                                          {0.13, 0.0}}) {
        const auto dark = static_cast<uint8_t>(std::lround(200 * (1 - contrast)));
        const double expected = (200.0 - dark) / 200;
        const Mark m = drawMark(200, dark, 200);
        const SymbolGrade g =
            gradeSymbol(m.view(), m.corners, k22, false, Light::Red, defaultAperture(kMark), kMark);
        const ParameterGrade& cc = g[Parameter::CellContrast];
        if (table)
            std::printf("  %4.2f  %8.4f  %8.4f  %c\n", contrast, cc.value, expected,
                        gradeLetter(cc.grade));
        SCOPED_TRACE(contrast);
        EXPECT_NEAR(cc.value, expected, 0.005) << describe(g);
        EXPECT_EQ(cc.grade, grade) << describe(g);
        EXPECT_TRUE(g.decoded) << describe(g);
    }
    if (table)
        std::printf("minimum reflectance (libdmtx 22x22, surround 255)\n");
    for (const int light : {20, 14, 12, 8}) {
        const Mark m = drawMark(static_cast<uint8_t>(light), 0, 255);
        const SymbolGrade g =
            gradeSymbol(m.view(), m.corners, k22, false, Light::Red, defaultAperture(kMark), kMark);
        const ParameterGrade& rmin = g[Parameter::MinimumReflectance];
        const double expected = light / 255.0;
        if (table)
            std::printf("  %4d  %8.4f  %8.4f  %c\n", light, rmin.value, expected,
                        gradeLetter(rmin.grade));
        SCOPED_TRACE(light);
        EXPECT_NEAR(rmin.value, expected, 0.003) << describe(g);
        EXPECT_EQ(rmin.grade, expected >= 0.05 ? 4.0 : 0.0);
        // Exposed to the target, the dark mark reads as well as a bright one.
        EXPECT_TRUE(g.decoded) << describe(g);
        EXPECT_EQ(g[Parameter::CellContrast].grade, 4.0) << describe(g);
    }
}

// Round dots of radius r modules at the middles of 16-pixel cells, level 40 on a surface of 200,
// Gaussian noise of the sigma added.
struct DotMark {
    test::DotPeenMark mark;
    SymbolCorners corners{};
    ImageView view() const { return {mark.gray, mark.width, mark.height}; }
};
DotMark drawDots(const test::PeerSymbol& s, double radius, double noise = 0) {
    test::DotPeenOptions o;
    o.dotDiameter = 2 * radius;
    o.noiseSigma = noise;
    DotMark m{test::dotPeenMark(s.matrix, s.rows, s.cols, o)};
    for (size_t i = 0; i < m.corners.size(); ++i)
        m.corners[i] = {m.mark.corners[i].x, m.mark.corners[i].y};
    return m;
}

// The dot series of the check of the checker: dots from 0.35 to 0.50 module in radius read as
// cells of the dot's level (the half-module aperture lies within a dot), cell contrast
// (200 - 40) / 200 and cell modulation 1 at every size, the symbol read, and the dots' edges
// measured as ink loss of 0.5 - r per edge.
TEST(MarkGrading, DotPeenMarksOfEveryDotSizeReadAsTheirDotsAndSurface) {
    const test::PeerSymbol& s = symbol22();
    const bool table = test::fullSweep();
    if (table)
        std::printf("dot-peen (libdmtx 22x22): radius, cell contrast, growth, decode, overall\n");
    for (const double radius : {0.35, 0.40, 0.45, 0.50}) {
        const DotMark m = drawDots(s, radius);
        const SymbolGrade g =
            gradeSymbol(m.view(), m.corners, k22, false, Light::Red, defaultAperture(kMark), kMark);
        if (table)
            std::printf("  %.2f  %.4f (0.8000)  %+.3f %+.3f (%+.3f)  %c  %c\n", radius,
                        g[Parameter::CellContrast].value, g.printGrowthX, g.printGrowthY,
                        radius - 0.5, gradeLetter(g[Parameter::Decode].grade),
                        gradeLetter(g.overall));
        SCOPED_TRACE(radius);
        ASSERT_TRUE(g.located);
        EXPECT_EQ(g[Parameter::Decode].grade, 4.0) << describe(g);
        EXPECT_NEAR(g[Parameter::CellContrast].value, 0.8, 0.01) << describe(g);
        EXPECT_NEAR(g[Parameter::CellModulation].value, 1.0, 0.02) << describe(g);
        EXPECT_EQ(g[Parameter::FixedPatternDamage].grade, 4.0) << describe(g);
        EXPECT_NEAR(g.printGrowthX, radius - 0.5, 0.03);
        EXPECT_NEAR(g.printGrowthY, radius - 0.5, 0.03);
    }
}

// Noise on a dot-peen mark: cell contrast is a ratio of the means of many cells, so grain up to
// 30 levels leaves it at (200 - 40) / 200 (where the extremes of symbol contrast would widen), and
// the mark still reads at the threshold.
TEST(MarkGrading, NoiseLeavesCellContrastAtTheMeansDrawn) {
    const test::PeerSymbol& s = symbol22();
    for (const double noise : {0.0, 10.0, 20.0, 30.0}) {
        const DotMark m = drawDots(s, 0.45, noise);
        const SymbolGrade g =
            gradeSymbol(m.view(), m.corners, k22, false, Light::Red, defaultAperture(kMark), kMark);
        if (test::fullSweep())
            std::printf("dot-peen noise %2.0f: cell contrast %.4f (0.8000), %c, overall %c\n",
                        noise, g[Parameter::CellContrast].value,
                        gradeLetter(g[Parameter::CellContrast].grade), gradeLetter(g.overall));
        SCOPED_TRACE(noise);
        EXPECT_NEAR(g[Parameter::CellContrast].value, 0.8, 0.02) << describe(g);
        EXPECT_EQ(g[Parameter::Decode].grade, 4.0) << describe(g);
    }
}

// Dot marks the grading locates through the decoder's search alone (no corners given): dots as
// even as a machine places them, and a finder of dots that lost two modules where its arms meet,
// graded with the gap as fixed pattern damage; dark dots and light ones.
TEST(MarkGrading, EvenDotsAndDotFindersCutAtTheCornerAreLocatedAndGraded) {
    constexpr int k24 = 7;  // size index
    const test::PeerSymbol s = *test::encodeWithDmtx(test::bytesOf("LIBDMTX CHECKS THE CHECKER 42"),
                                                     test::PeerScheme::C40, k24);
    for (const bool cut : {false, true}) {
        for (const bool light : {false, true}) {
            test::PeerSymbol marked = s;
            if (cut) {  // the corner and the solid column's module above it
                marked.matrix[static_cast<size_t>(22 * 24)] = 0;
                marked.matrix[static_cast<size_t>(23 * 24)] = 0;
            }
            DotMark m = drawDots(marked, 0.45);
            if (light)
                std::ranges::transform(m.mark.gray, m.mark.gray.begin(),
                                       [](uint8_t v) { return 255 - v; });
            const SymbolGrade g = gradeImage(m.view(), Light::Red, kMark);
            SCOPED_TRACE(std::string(cut ? "cut" : "whole").append(light ? ", light" : ", dark"));
            ASSERT_TRUE(g.located);
            EXPECT_TRUE(g.decoded) << describe(g);
            EXPECT_EQ(g[Parameter::Decode].grade, 4.0) << describe(g);
            EXPECT_EQ(g[Parameter::FixedPatternDamage].grade < 4.0, cut) << describe(g);
            for (size_t i = 0; i < g.corners.size(); ++i) {
                EXPECT_NEAR(g.corners[i].x, m.corners[i].x, 8) << i;
                EXPECT_NEAR(g.corners[i].y, m.corners[i].y, 8) << i;
            }
        }
    }
}

}  // namespace
}  // namespace dm
