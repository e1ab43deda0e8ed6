// Print-quality grades under controlled damage: each parameter moves at its thresholds and the
// others stay where they were.
#include "grading/print_quality.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>

#include "grading/reflectance_image.h"
#include "symbology/placement.h"
#include "symbology/reed_solomon.h"
#include "symbology/symbol_size.h"
#include "tests/support/frame_synth.h"
#include "tests/support/symbol_builders.h"

namespace dm {
namespace {

constexpr int k24 = 7, k26 = 8, k52 = 14, k72 = 16;  // size indexes

// Data codewords for a symbol of the size: letters for half of them, pads in the rest.
std::vector<uint8_t> someData(int sizeIndex) {
    std::vector<uint8_t> data;
    for (int i = 0; i < symbolSize(sizeIndex).dataCodewords / 2; ++i)
        data.push_back(static_cast<uint8_t>('A' + 1 + (i * 7) % 26));
    return data;
}

std::vector<uint8_t> symbolOfSize(int sizeIndex) {
    return test::symbolWithData(someData(sizeIndex), sizeIndex);
}

// A symbol drawn by the frame synthesiser, black on white at 8 pixels a module unless the
// options change it.
struct Drawn {
    test::SynthFrame frame;
    SymbolCorners corners;  // as drawn
    int rows = 0;
    int cols = 0;
    test::SynthOptions fitted;  // what drew it

    // Paints module (row, col) in one gray level; -1 or one past the last row or column is in
    // the quiet zone.
    void paint(int row, int col, uint8_t level) {
        const PointD c = test::moduleCentreInGray(rows, cols, row, col, fitted);
        const auto x0 = static_cast<int>(std::floor(c.x)) - 4;
        const auto y0 = static_cast<int>(std::floor(c.y)) - 4;
        for (int y = y0; y < y0 + 8; ++y) {
            for (int x = x0; x < x0 + 8; ++x) {
                uint8_t* p = &frame.bgr[static_cast<size_t>(y) * frame.stride + 3 * x];
                p[0] = p[1] = p[2] = level;
            }
        }
    }

    ImageView view() const { return test::viewOf(frame); }
};

test::SynthOptions blackOnWhite() {
    test::SynthOptions o;
    o.moduleSize = 8;
    o.dark = 0;
    o.light = o.background = 255;
    o.width = o.height = 120;
    return o;
}

Drawn draw(const std::vector<uint8_t>& matrix, int sizeIndex, test::SynthOptions o) {
    const SymbolSize& s = symbolSize(sizeIndex);
    o = test::fitted(s.symbolRows, s.symbolCols, o);
    Drawn d{test::synthesiseFrame(matrix, s.symbolRows, s.symbolCols, o),
            {},
            s.symbolRows,
            s.symbolCols,
            o};
    const auto corners = test::symbolCornersInPicture(s.symbolRows, s.symbolCols, o);
    for (size_t i = 0; i < corners.size(); ++i)
        d.corners[i] = {corners[i].x, corners[i].y};
    return d;
}

// The grade of a drawn symbol at its drawn corners: for damage the finder search does not see
// through (an erased finder module).
SymbolGrade gradeAsDrawn(const std::vector<uint8_t>& matrix, int sizeIndex,
                         test::SynthOptions o = blackOnWhite()) {
    const Drawn d = draw(matrix, sizeIndex, o);
    return gradeSymbol(d.view(), d.corners, sizeIndex);
}

std::string grades(const SymbolGrade& g) {
    std::string text;
    for (const ParameterGrade& p : g.parameters) {
        text += std::string(parameterName(p.parameter)) + " " + std::to_string(p.value) + ": " +
                gradeLetter(p.grade) + "; ";
    }
    return text;
}

// Every parameter A but the one named, which has the grade given.
void expectOnlyLowered(const SymbolGrade& g, Parameter lowered, double grade) {
    ASSERT_TRUE(g.located);
    for (const ParameterGrade& p : g.parameters)
        EXPECT_EQ(p.grade, p.parameter == lowered ? grade : 4.0) << grades(g);
    EXPECT_EQ(g.overall, grade);
}

TEST(PrintQuality, CleanSymbolsGradeAOnEveryParameter) {
    // Square single and multi-region symbols (144 x 144, which the decoder locates but does not
    // sample, is read by the grading itself), rectangles and extension rectangles of one to six
    // regions, turned and mirrored.
    const struct {
        int sizeIndex;
        double angle;
        bool mirrored;
    } cases[] = {{0, 0, false},     {k24, 17, false},           {k52, 0, false},
                 {k72, 200, false}, {kLargestSquare, 0, false}, {24, 0, false},
                 {29, 90, false},   {kFirstDmre + 4, 0, false}, {kSizeCount - 1, 0, false},
                 {k26, 0, true}};
    for (const auto& c : cases) {
        const SymbolSize& s = symbolSize(c.sizeIndex);
        SCOPED_TRACE(std::to_string(s.symbolRows) + "x" + std::to_string(s.symbolCols));
        test::SynthOptions o = blackOnWhite();
        o.moduleSize = c.sizeIndex == kLargestSquare ? 6 : 8;
        o.rotationDeg = c.angle;
        Drawn d = draw(symbolOfSize(c.sizeIndex), c.sizeIndex, o);
        ImageView view = d.view();
        if (c.mirrored)
            view.rowOrder = RowOrder::TopDown;  // the stored rows read the other way round
        const SymbolGrade g = gradeImage(view);
        expectOnlyLowered(g, Parameter::Decode, 4);
        EXPECT_TRUE(g.decoded);
        EXPECT_EQ(g.sizeIndex, c.sizeIndex);
        EXPECT_NEAR(g.moduleSize, o.moduleSize, 0.05);
        EXPECT_DOUBLE_EQ(g[Parameter::UnusedErrorCorrection].value, 1.0);
        EXPECT_EQ(g[Parameter::FixedPatternDamage].value, 0);
    }
}

// A symbol printed light on dark is located in the negative and graded there: every parameter
// A, as for the same symbol dark on light.
TEST(PrintQuality, LightOnDarkGradesAsDarkOnLight) {
    test::SynthOptions o = blackOnWhite();
    o.dark = o.background = 255;
    o.light = 0;
    o.width = o.height = 160;
    o.rotationDeg = 12;
    const SymbolGrade g = gradeImage(draw(symbolOfSize(k24), k24, o).view());
    expectOnlyLowered(g, Parameter::Decode, 4);
    EXPECT_TRUE(g.decoded);
    EXPECT_EQ(g.sizeIndex, k24);
}

TEST(PrintQuality, SymbolContrastStepsDownAtItsThresholds) {
    // Light 230 on every step; dark made lighter, two hundredths either side of each limit.
    const struct {
        double contrast;
        double grade;
    } steps[] = {{0.72, 4}, {0.68, 3}, {0.57, 3}, {0.53, 2},
                 {0.42, 2}, {0.38, 1}, {0.22, 1}, {0.18, 0}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.contrast);
        test::SynthOptions o = blackOnWhite();
        o.light = o.background = 230;
        o.dark = static_cast<uint8_t>(std::lround(230 - 255 * step.contrast));
        const SymbolGrade g = gradeAsDrawn(symbolOfSize(k24), k24, o);
        EXPECT_NEAR(g[Parameter::SymbolContrast].value, step.contrast, 0.003);
        expectOnlyLowered(g, Parameter::SymbolContrast, step.grade);
    }
}

TEST(PrintQuality, GrayModulesLowerModulationAsFarAsTheReserveAllows) {
    // The dark modules of the first codewords painted gray 90: modulation 2 (127.5 - 90) / 255,
    // D, on the right side of the threshold. Those codewords count as erasures against the 24
    // the block's error correction takes at every level above D.
    const std::vector<uint8_t> matrix = symbolOfSize(k24);
    const std::vector<int32_t> bits = moduleBits(k24);
    for (const auto& [codewords, grade] : {std::pair{1, 4.0}, {10, 3.0}, {14, 2.0}, {20, 1.0}}) {
        SCOPED_TRACE(codewords);
        Drawn d = draw(matrix, k24, blackOnWhite());
        for (size_t i = 0; i < matrix.size(); ++i) {
            if (matrix[i] && bits[i] >= 0 && bits[i] / 8 < codewords)
                d.paint(static_cast<int>(i) / d.cols, static_cast<int>(i) % d.cols, 90);
        }
        const SymbolGrade g = gradeImage(d.view());
        // The value is the lowest module the grade rests on: the gray ones only at D, where
        // they no longer count as erasures.
        const double gray = 2 * (127.5 - 90) / 255;
        for (const Parameter p : {Parameter::Modulation, Parameter::ReflectanceMargin}) {
            EXPECT_NEAR(g[p].value, grade == 1 ? gray : 1.0, 0.005);
            EXPECT_EQ(g[p].grade, grade) << grades(g);
        }
        EXPECT_NEAR(g.lowestModulation, gray, 0.005);
        EXPECT_NEAR(g.lowestMargin, gray, 0.005);
        EXPECT_EQ(g.overall, grade);
    }
}

TEST(PrintQuality, DamagedFinderClockAndQuietZoneLowerFixedPatternDamage) {
    const SymbolSize& s24 = symbolSize(k24);
    const auto clean24 = symbolOfSize(k24);
    // Modules of the solid column erased one by one: A, B, C, D, then F.
    for (int erased = 0; erased <= 4; ++erased) {
        SCOPED_TRACE(erased);
        auto matrix = clean24;
        for (int k = 0; k < erased; ++k)
            matrix[(2 + 5 * k) * s24.symbolCols] = 0;
        const SymbolGrade g = gradeAsDrawn(matrix, k24);
        EXPECT_EQ(g[Parameter::FixedPatternDamage].value, erased);
        expectOnlyLowered(g, Parameter::FixedPatternDamage, 4 - erased);
    }
    // One module of 47 in the clock tracks (2 %): B.
    auto clock = clean24;
    clock[4] = 0;
    expectOnlyLowered(gradeAsDrawn(clock, k24), Parameter::FixedPatternDamage, 3);
    // Two dark spots in the quiet zone below the solid row: C.
    Drawn spotted = draw(clean24, k24, blackOnWhite());
    for (const int col : {5, 15})
        spotted.paint(s24.symbolRows, col, 0);
    expectOnlyLowered(gradeSymbol(spotted.view(), spotted.corners, k24),
                      Parameter::FixedPatternDamage, 2);
    // Larger symbols average each finder side's segments: three erased modules in one of the
    // four segments of the 72 x 72 solid column grade that segment D, the side 3.25.
    const SymbolSize& s72 = symbolSize(k72);
    auto large = symbolOfSize(k72);
    for (const int row : {20, 25, 30})
        large[row * s72.symbolCols] = 0;
    test::SynthOptions small = blackOnWhite();
    small.moduleSize = 5;
    const SymbolGrade g72 = gradeAsDrawn(large, k72, small);
    expectOnlyLowered(g72, Parameter::FixedPatternDamage, 3.25);
}

TEST(PrintQuality, InjectedErrorsLeaveOneMinusErrorsOverCapacityUnused) {
    for (const int sizeIndex : {0, k24, k52}) {
        const SymbolSize& s = symbolSize(sizeIndex);
        const int capacity = test::blockCapacity(sizeIndex);
        const int last = s.blockCount - 1;
        for (const int errors : {1, capacity / 2, capacity}) {
            SCOPED_TRACE(std::to_string(s.symbolRows) + " with " + std::to_string(errors));
            std::vector<uint8_t> stream = someData(sizeIndex);
            stream.resize(s.dataCodewords, 129);
            stream.resize(s.dataCodewords + s.eccCodewords);
            encodeBlocks(stream, sizeIndex);
            std::mt19937 rng(static_cast<uint32_t>(errors));
            test::corruptBlock(stream, sizeIndex, last, errors, rng);
            const SymbolGrade g = gradeImage(
                draw(placeCodewords(stream, sizeIndex), sizeIndex, blackOnWhite()).view());
            ASSERT_TRUE(g.decoded) << grades(g);
            const double unused = 1.0 - static_cast<double>(errors) / capacity;
            EXPECT_DOUBLE_EQ(g[Parameter::UnusedErrorCorrection].value, unused);
            const double expected = unused >= 0.62   ? 4
                                    : unused >= 0.50 ? 3
                                    : unused >= 0.37 ? 2
                                    : unused >= 0.25 ? 1
                                                     : 0;
            EXPECT_EQ(g[Parameter::UnusedErrorCorrection].grade, expected);
            EXPECT_EQ(g.blocks[last].errors, errors);
            EXPECT_EQ(g.blocks[last].capacity, capacity);
            // The wrong codewords' modules read the wrong colour; the margin grade rests on
            // the others.
            EXPECT_LT(g.lowestMargin, 0);
            EXPECT_EQ(g[Parameter::ReflectanceMargin].value < 0,
                      g[Parameter::ReflectanceMargin].grade == 0);
        }
    }
}

TEST(PrintQuality, StretchedModulesLowerAxialNonuniformity) {
    for (const auto& [ratio, grade] :
         {std::pair{0.04, 4.0}, {0.07, 3.0}, {0.09, 2.0}, {0.11, 1.0}, {0.14, 0.0}}) {
        SCOPED_TRACE(ratio);
        test::SynthOptions o = blackOnWhite();
        o.stretch = (1 + ratio / 2) / (1 - ratio / 2);  // |X - Y| / mean(X, Y) = ratio
        const SymbolGrade g = gradeImage(draw(symbolOfSize(k26), k26, o).view());
        EXPECT_NEAR(g[Parameter::AxialNonuniformity].value, ratio, 0.003);
        expectOnlyLowered(g, Parameter::AxialNonuniformity, grade);
    }
}

TEST(PrintQuality, BowedColumnsLowerGridNonuniformityAndAUniformSkewDoesNot) {
    const int cols = symbolSize(k26).symbolCols;
    for (const auto& [bend, grade] :
         {std::pair{0.35, 4.0}, {0.77, 3.0}, {0.98, 2.0}, {1.2, 1.0}, {1.6, 0.0}}) {
        SCOPED_TRACE(bend);
        test::SynthOptions o = blackOnWhite();
        o.bend = bend;
        const SymbolGrade g = gradeImage(draw(symbolOfSize(k26), k26, o).view());
        EXPECT_NEAR(g[Parameter::GridNonuniformity].value, test::bowedColumnsDeviation(cols, bend),
                    0.02);
        expectOnlyLowered(g, Parameter::GridNonuniformity, grade);
    }
    // Rows shifted evenly (a parallelogram): the regular grid that fits best is skewed too.
    test::SynthOptions o = blackOnWhite();
    o.shear = 0.15;
    const SymbolGrade skewed = gradeImage(draw(symbolOfSize(k26), k26, o).view());
    EXPECT_LT(skewed[Parameter::GridNonuniformity].value, 0.05);
    expectOnlyLowered(skewed, Parameter::Decode, 4);
}

// Columns 12, then 9, then 6 pixels wide (a label bent away from the camera), graded at the
// symbol's exact outline: the clock tracks are followed as they narrow, the symbol reads and
// only the grid's nonuniformity is marked down.
TEST(PrintQuality, ColumnsThatNarrowAcrossTheSymbolAreFollowed) {
    const int k16 = 3;
    const std::vector<uint8_t> matrix = symbolOfSize(k16);
    const int n = symbolSize(k16).symbolCols;
    constexpr int kQuiet = 18, kRow = 9;
    std::vector<int> left{kQuiet};
    for (int c = 0; c < n; ++c)
        left.push_back(left.back() + (c < 4 ? 12 : c < 12 ? 9 : 6));
    const int width = left.back() + kQuiet;
    const int height = n * kRow + 2 * kQuiet;
    std::vector<uint8_t> gray(static_cast<size_t>(width) * height, 255);
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) {
            for (int y = kQuiet + r * kRow; y < kQuiet + (r + 1) * kRow; ++y) {
                for (int x = left[c]; x < left[c + 1]; ++x)
                    gray[static_cast<size_t>(y) * width + x] = matrix[r * n + c] ? 0 : 255;
            }
        }
    }
    const double right = left.back(), bottom = kQuiet + n * kRow;
    const SymbolGrade g =
        gradeSymbol({gray, width, height},
                    {{{kQuiet, kQuiet}, {right, kQuiet}, {right, bottom}, {kQuiet, bottom}}}, k16);
    ASSERT_TRUE(g.located);
    EXPECT_EQ(g[Parameter::Decode].grade, 4.0) << grades(g);
    EXPECT_EQ(g[Parameter::FixedPatternDamage].grade, 4.0) << grades(g);
    EXPECT_GT(g[Parameter::GridNonuniformity].value, 0.5) << grades(g);
}

// Ink spread and loss up to a quarter module on each edge, along one axis and both, on a
// single-region and a four-region symbol at 6 and 12 pixels per module: every print that
// decodes grades Decode A, its modulation within 0.05 of the modulation at the true module
// centres (where they leave the modules clear of the threshold), and the growth is measured.
// DM_GROWTH_TABLE=1 prints each case.
TEST(PrintQuality, PrintGrowthAndLossKeepTheGrid) {
    constexpr int k16 = 3, k32 = 9;
    const bool table = std::getenv("DM_GROWTH_TABLE") != nullptr;
    int decodedPrints = 0;
    for (const int sizeIndex : {k16, k32}) {
        const SymbolSize& s = symbolSize(sizeIndex);
        const std::vector<uint8_t> matrix = symbolOfSize(sizeIndex);
        const std::vector<int32_t> bits = moduleBits(sizeIndex);
        for (const int pixels : {6, 12}) {
            for (const double growth : {-0.25, -0.2, -0.15, -0.1, 0.1, 0.15, 0.2, 0.25}) {
                for (const auto& [alongX, alongY] :
                     {std::pair{true, false}, {false, true}, {true, true}}) {
                    const double gx = alongX ? growth : 0, gy = alongY ? growth : 0;
                    const test::GrownPrint print =
                        test::printGrown(matrix, s.symbolRows, s.symbolCols, pixels, gx, gy);
                    const ImageView view{print.gray, print.width, print.height};
                    // The modulation at the true centres: white 1 and black 0 give a threshold of
                    // 0.5 and a contrast of 1.
                    const ReflectanceImage image = reflectanceOf(view);
                    double atCentres = 1e9;
                    for (int i = 0; i < s.symbolRows * s.symbolCols; ++i) {
                        if (bits[i] < 0)
                            continue;
                        const ImagePoint centre{(4 + i % s.symbolCols + 0.5) * pixels,
                                                (4 + i / s.symbolCols + 0.5) * pixels};
                        atCentres = std::min(
                            atCentres, 2 * std::abs(image.aperture(centre, 0.8 * pixels) - 0.5));
                    }
                    const bool decodes = decodeImage(view).decoded;
                    const SymbolGrade g = gradeImage(view);
                    char name[96];
                    std::snprintf(name, sizeof name, "%dx%d at %d px, growth %+.2f x %+.2f y",
                                  s.symbolRows, s.symbolCols, pixels, gx, gy);
                    if (table) {
                        std::printf(
                            "%s: decodes %d, Decode %c, lowest modulation %.3f (true centres "
                            "%.3f), modulation %c, growth %+.3f %+.3f, overall %c\n",
                            name, decodes, gradeLetter(g[Parameter::Decode].grade),
                            g.lowestModulation, atCentres,
                            gradeLetter(g[Parameter::Modulation].grade), g.printGrowthX,
                            g.printGrowthY, gradeLetter(g.overall));
                    }
                    if (!decodes)
                        continue;
                    ++decodedPrints;
                    SCOPED_TRACE(name);
                    EXPECT_TRUE(g.located);
                    // Loss of a quarter on both axes leaves the aperture half dark over a lone
                    // dark module: the threshold decides even at the true centres.
                    if (atCentres >= 0.1) {
                        EXPECT_EQ(g[Parameter::Decode].grade, 4.0) << grades(g);
                    }
                    EXPECT_NEAR(g.lowestModulation, atCentres, 0.05);
                    EXPECT_NEAR(g.printGrowthX, gx, 0.03);
                    EXPECT_NEAR(g.printGrowthY, gy, 0.03);
                    EXPECT_LT(g[Parameter::GridNonuniformity].value, 0.1);
                }
            }
        }
    }
    // The decoder reads nearly all of them; the grading has to cope with what it reads.
    EXPECT_GE(decodedPrints, 80);
}

// Gaps of one to three light modules in the solid L, along the column and along the row, from
// the middle to near the open ends and the corner: the symbol is located as the decoder locates
// a damaged finder and graded, fixed pattern damage counting the missing modules. (Gaps in the
// row within four modules of the corner are not read by the decoder yet.)
TEST(PrintQuality, FinderGapsAreLocatedAndGradedAsFixedPatternDamage) {
    const SymbolSize& s = symbolSize(k24);
    const auto clean = symbolOfSize(k24);
    for (const int gap : {1, 2, 3}) {
        for (const int from : {5, 10, 16, 18}) {
            for (const bool inColumn : {true, false}) {
                SCOPED_TRACE(std::to_string(gap) + " from " + std::to_string(from) +
                             (inColumn ? " in the column" : " in the row"));
                auto matrix = clean;
                for (int k = from; k < from + gap; ++k) {
                    const int at =
                        inColumn ? k * s.symbolCols : (s.symbolRows - 1) * s.symbolCols + k;
                    matrix[at] = 0;
                }
                const SymbolGrade g = gradeImage(draw(matrix, k24, blackOnWhite()).view());
                ASSERT_TRUE(g.located);
                EXPECT_EQ(g[Parameter::FixedPatternDamage].value, gap);
                expectOnlyLowered(g, Parameter::FixedPatternDamage, 4 - gap);
            }
        }
    }
}

// Every parameter but symbol contrast not measured, overall F, the reading's status GridLost.
void expectGridNotMeasured(const SymbolGrade& g, GridFailure failure) {
    ASSERT_TRUE(g.located);
    EXPECT_EQ(g.gridFailure, failure);
    EXPECT_EQ(g.overall, 0);
    EXPECT_FALSE(g.decoded);
    EXPECT_EQ(g.status, DecodeStatus::GridLost);
    for (const ParameterGrade& p : g.parameters)
        EXPECT_EQ(p.measured, p.parameter == Parameter::SymbolContrast) << grades(g);
    EXPECT_GT(g[Parameter::SymbolContrast].value, 0.7);
}

// A grid the grading cannot measure is said to be so, never graded as measured: a symbol cut
// by the picture's edge, and one whose clock tracks are gone.
TEST(PrintQuality, AGridNotMeasuredGradesNothingButContrast) {
    Drawn d = draw(symbolOfSize(k24), k24, blackOnWhite());
    ImageView cut = d.view();
    cut.width = static_cast<int>(d.corners[1].x) - 3 * 8;  // three columns cut off
    expectGridNotMeasured(gradeSymbol(cut, d.corners, k24), GridFailure::OffPicture);

    // Four dark modules of the top clock track erased (9 %): graded as damage, not as a failure.
    const SymbolSize& s = symbolSize(k24);
    auto clocks = symbolOfSize(k24);
    for (const int c : {4, 6, 8, 10})
        clocks[c] = 0;
    const SymbolGrade damaged = gradeAsDrawn(clocks, k24);
    EXPECT_EQ(damaged.gridFailure, GridFailure::None);
    expectOnlyLowered(damaged, Parameter::FixedPatternDamage, 3);  // 4 of 47 modules
    // Both clock tracks erased: nothing to follow.
    for (int i = 0; i < s.symbolCols; ++i)
        clocks[i] = 0;
    for (int r = 0; r < s.symbolRows; ++r)
        clocks[r * s.symbolCols + s.symbolCols - 1] = 0;
    expectGridNotMeasured(gradeAsDrawn(clocks, k24), GridFailure::GridLost);
}

// A picture cropped just left of the symbol holds none of the quiet zone beside the solid
// column: those modules are not measured (and do not grade as damage); the rest grades A.
TEST(PrintQuality, AQuietZoneOffThePictureIsNotMeasured) {
    const Drawn d = draw(symbolOfSize(k24), k24, blackOnWhite());
    const int cut = static_cast<int>(d.corners[0].x) - 2;
    ImageView view = d.view();
    view.pixels = view.pixels.subspan(static_cast<size_t>(3 * cut));
    view.width -= cut;
    SymbolCorners corners = d.corners;
    for (ImagePoint& p : corners)
        p.x -= cut;
    const SymbolGrade g = gradeSymbol(view, corners, k24);
    EXPECT_EQ(g.quietZoneOffPicture, symbolSize(k24).symbolRows);
    expectOnlyLowered(g, Parameter::Decode, 4);
    EXPECT_EQ(g.gridFailure, GridFailure::None);
}

// Red ink on white, as a 660 nm verifier sees it, has almost no contrast: symbol contrast F
// in red light (the default for colour), the ink's gray level in white light.
TEST(PrintQuality, RedInkHasNoContrastInRedLight) {
    Drawn d = draw(symbolOfSize(k24), k24, blackOnWhite());
    constexpr std::array<double, 3> kInk{40, 40, 230};  // blue, green, red
    for (size_t i = 0; i + 2 < d.frame.bgr.size(); i += 3) {
        const double paper = d.frame.bgr[i] / 255.0;  // gray, 1 on white paper
        for (size_t k = 0; k < 3; ++k)
            d.frame.bgr[i + k] =
                static_cast<uint8_t>(std::lround(255 * paper + kInk[k] * (1 - paper)));
    }
    const SymbolGrade red = gradeImage(d.view());
    ASSERT_TRUE(red.located);
    EXPECT_NEAR(red[Parameter::SymbolContrast].value, (255 - 230) / 255.0, 0.01);
    EXPECT_EQ(red[Parameter::SymbolContrast].grade, 0);
    const SymbolGrade white = gradeImage(d.view(), Light::White);
    EXPECT_NEAR(white[Parameter::SymbolContrast].value, (255 - grayLevel(230, 40, 40)) / 255.0,
                0.01);
    expectOnlyLowered(white, Parameter::SymbolContrast, 3);
    EXPECT_EQ(gradeImage(d.view(), Light::Green)[Parameter::SymbolContrast].grade, 4);
}

TEST(PrintQuality, NothingToReadGradesNothing) {
    std::vector<uint8_t> blank(100 * 100, 255);
    const ImageView view{blank, 100, 100};
    const SymbolGrade g = gradeImage(view);
    EXPECT_FALSE(g.located);
    EXPECT_EQ(g.overall, 0);
    EXPECT_EQ(g[Parameter::GridNonuniformity].parameter, Parameter::GridNonuniformity);
    EXPECT_FALSE(gradeSymbol(view, {}, 99).located);
    // A plain area or one beyond the picture reads all light, which Reed-Solomon would take for
    // zero codewords: never a decoded symbol.
    for (const double at : {10.0, 1e6}) {
        const SymbolGrade plain =
            gradeSymbol(view, {{{at, at}, {at + 50, at}, {at + 50, at + 50}, {at, at + 50}}}, 0);
        EXPECT_FALSE(plain.decoded) << at;
        EXPECT_EQ(plain.overall, 0) << at;
    }
}

}  // namespace
}  // namespace dm
