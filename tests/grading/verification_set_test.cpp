// The check of the checker: symbols from zint and libdmtx rendered with one known defect at a
// time, in series of steps, each measured value compared with what the rendering parameters
// give, computed here without the grader, and each grade with the level that value earns.
// DM_FULL_SWEEP=1 prints every series as a table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <random>
#include <string>

#include "grading/print_quality.h"
#include "symbology/placement.h"
#include "symbology/reed_solomon.h"
#include "symbology/symbol_size.h"
#include "tests/support/frame_synth.h"
#include "tests/support/peer_encoders.h"
#include "tests/support/sweeps.h"
#include "tests/support/symbol_builders.h"

namespace dm {
namespace {

constexpr int k24 = 7, k26 = 8;  // size indexes

// Grade limits, the A limit first: at least (contrast, modulation, unused error correction) or
// at most (non-uniformities) the value.
struct Levels {
    std::array<double, 4> limits;
    bool atLeast = true;

    double grade(double value) const {
        for (int k = 0; k < 4; ++k) {
            if (atLeast ? value >= limits[k] - 1e-9 : value <= limits[k] + 1e-9)
                return 4 - k;
        }
        return 0;
    }
};
constexpr Levels kContrastLevels{{0.70, 0.55, 0.40, 0.20}};
constexpr Levels kModulationLevels{{0.50, 0.40, 0.30, 0.20}};
constexpr Levels kUnusedLevels{{0.62, 0.50, 0.37, 0.25}};
constexpr Levels kAxialLevels{{0.06, 0.08, 0.10, 0.12}, false};
constexpr Levels kGridLevels{{0.38, 0.50, 0.63, 0.75}, false};

const test::PeerSymbol& zintSymbol(int sizeIndex) {
    static const auto symbols = [] {
        std::array<test::PeerSymbol, 2> out;
        for (const int i : {0, 1}) {
            test::ZintOptions o;
            o.size = (i == 0 ? k24 : k26) + 1;
            out[i] = *test::encodeWithZint(test::bytesOf("zint checks the checker 0123456789"), o);
        }
        return out;
    }();
    return symbols[sizeIndex == k24 ? 0 : 1];
}

const test::PeerSymbol& dmtxSymbol(int sizeIndex) {
    static const auto symbols = [] {
        std::array<test::PeerSymbol, 2> out;
        for (const int i : {0, 1}) {
            out[i] = *test::encodeWithDmtx(test::bytesOf("LIBDMTX CHECKS THE CHECKER 42"),
                                           test::PeerScheme::C40, i == 0 ? k24 : k26);
        }
        return out;
    }();
    return symbols[sizeIndex == k24 ? 0 : 1];
}

// One rendered step: the picture and the symbol's corners as drawn.
struct Rendered {
    test::SynthFrame frame;
    SymbolCorners corners{};

    ImageView view() const { return test::viewOf(frame); }
};

test::SynthOptions labelOptions() {
    test::SynthOptions o;
    o.moduleSize = 8;
    o.dark = 20;
    o.light = o.background = 235;
    o.width = o.height = 120;
    return o;
}

Rendered render(const std::vector<uint8_t>& matrix, int rows, int cols, test::SynthOptions o) {
    o = test::fitted(rows, cols, o);
    Rendered out{test::synthesiseFrame(matrix, rows, cols, o)};
    const auto c = test::symbolCornersInPicture(rows, cols, o);
    for (size_t i = 0; i < c.size(); ++i)
        out.corners[i] = {c[i].x, c[i].y};
    return out;
}

Rendered render(const test::PeerSymbol& s, const test::SynthOptions& o) {
    return render(s.matrix, s.rows, s.cols, o);
}

// The grade at the corners as drawn: a series checks the measurement, not the symbol search.
SymbolGrade gradeDrawn(const Rendered& r, int sizeIndex) {
    return gradeSymbol(r.view(), r.corners, sizeIndex);
}

// Standard normal distribution function.
double phi(double x) {
    return 0.5 * std::erfc(-x / std::numbers::sqrt2);
}

// The lowest of the values of a symbol's codeword modules (row-major).
double lowestOfCodewords(const std::vector<double>& values, int sizeIndex) {
    const std::vector<int32_t> bits = moduleBits(sizeIndex);
    double lowest = 1e9;
    for (size_t i = 0; i < values.size(); ++i) {
        if (bits[i] >= 0)
            lowest = std::min(lowest, values[i]);
    }
    return lowest;
}

// The modulation grade a single-block symbol earns with its error correction's reserve, from
// each module's modulation raised by shift: a codeword grades as its lowest module; at each
// level the codewords graded below it are erasures, each half an error of the block's capacity,
// and the level earns the lower of itself and the grade of the correction left over; the best
// level counts.
double reserveModulationGrade(const std::vector<double>& modulation, int sizeIndex, double shift) {
    const SymbolSize& size = symbolSize(sizeIndex);
    const std::vector<int32_t> bits = moduleBits(sizeIndex);
    std::vector<double> codewords(static_cast<size_t>(size.dataCodewords + size.eccCodewords), 1e9);
    for (size_t i = 0; i < modulation.size(); ++i) {
        if (bits[i] >= 0) {
            double& lowest = codewords[static_cast<size_t>(bits[i] / 8)];
            lowest = std::min(lowest, modulation[i] + shift);
        }
    }
    const double capacity = test::blockCapacity(sizeIndex);
    double best = 0;
    for (int level = 4; level >= 1; --level) {
        const auto erasures = std::count_if(codewords.begin(), codewords.end(), [&](double m) {
            return kModulationLevels.grade(m) < level;
        });
        const double unused = 1 - static_cast<double>(erasures) / (2 * capacity);
        best = std::max(best, std::min<double>(level, kUnusedLevels.grade(unused)));
    }
    return best;
}

// The lowest modulation of a codeword module and the symbol contrast of a symbol drawn light on
// dark at the levels given and blurred by a Gaussian of sigma modules, worked out from the
// module matrix: a dark module's share of the blurred reflectance at (x, y) is the product of
// two differences of the normal distribution, and the aperture the mean over a disc of 0.8
// module. The extremes are taken at the module centres and corners (the light one is the wide
// quiet zone's).
struct BlurredValues {
    double lowestModulation = 0;
    double contrast = 0;
    std::vector<double> modulation;  // each module's, row-major
};
BlurredValues blurredValues(const test::PeerSymbol& s, double light, double dark, double sigma) {
    std::vector<ImagePoint> disc;
    for (double y = -0.35; y < 0.36; y += 0.1) {
        for (double x = -0.35; x < 0.36; x += 0.1) {
            if (x * x + y * y <= 0.16)
                disc.push_back({x, y});
        }
    }
    const int reach = static_cast<int>(std::ceil(4 * sigma)) + 1;
    auto reflectance = [&](double x, double y) {
        double darkShare = 0;
        for (const ImagePoint& d : disc) {
            const double px = x + d.x, py = y + d.y;
            for (int r = std::max(0, static_cast<int>(py) - reach);
                 r <= std::min(s.rows - 1, static_cast<int>(py) + reach); ++r) {
                const double fy = sigma > 0 ? phi((r + 1 - py) / sigma) - phi((r - py) / sigma)
                                            : (py >= r && py < r + 1);
                for (int c = std::max(0, static_cast<int>(px) - reach);
                     c <= std::min(s.cols - 1, static_cast<int>(px) + reach); ++c) {
                    if (!s.matrix[static_cast<size_t>(r) * s.cols + c])
                        continue;
                    const double fx = sigma > 0 ? phi((c + 1 - px) / sigma) - phi((c - px) / sigma)
                                                : (px >= c && px < c + 1);
                    darkShare += fx * fy;
                }
            }
        }
        return light - (light - dark) * darkShare / static_cast<double>(disc.size());
    };
    double low = light;
    for (int r = 0; r <= s.rows; ++r) {
        for (int c = 0; c <= s.cols; ++c) {
            low = std::min(low, reflectance(c, r));
            if (r < s.rows && c < s.cols)
                low = std::min(low, reflectance(c + 0.5, r + 0.5));
        }
    }
    const double contrast = light - low;
    const double threshold = (light + low) / 2;
    std::vector<double> modulation;
    for (int r = 0; r < s.rows; ++r) {
        for (int c = 0; c < s.cols; ++c)
            modulation.push_back(2 * std::abs(reflectance(c + 0.5, r + 0.5) - threshold) /
                                 contrast);
    }
    return {lowestOfCodewords(modulation, s.sizeIndex), contrast, std::move(modulation)};
}

// A series' step: the rendering parameter, the value expected and the grade it earns.
struct Step {
    double setting = 0;
    double expected = 0;
    double grade = 0;
    // Where the measured values' tolerance leaves the grade between two levels: the highest it
    // may be (grade the lowest); below 0 the grade is exactly grade.
    double highest = -1;
};

struct Series {
    std::string name;                         // "symbol contrast (zint 24x24)"
    Parameter parameter = Parameter::Decode;  // the one graded
    double tolerance = 0;                     // on the measured value
    std::vector<Step> steps;
    std::function<SymbolGrade(double setting)> grade;
    // The value compared; the parameter's value unless given.
    std::function<double(const SymbolGrade&)> measured;
};

Series series(std::string name, Parameter parameter, double tolerance) {
    Series s;
    s.name = std::move(name);
    s.parameter = parameter;
    s.tolerance = tolerance;
    return s;
}

// A modulation step: the lowest codeword module's value, and the grade the reserve gives the
// modules' values, within the tolerance either way.
Step modulationStep(double setting, const std::vector<double>& modulation, int sizeIndex,
                    double tolerance) {
    return {setting, lowestOfCodewords(modulation, sizeIndex),
            reserveModulationGrade(modulation, sizeIndex, -tolerance),
            reserveModulationGrade(modulation, sizeIndex, tolerance)};
}

// A damage series in both modes: modules of the solid column flipped light, one grade lost per
// module.
Series solidColumnSeries(std::string name, const test::PeerSymbol& symbol,
                         std::function<SymbolGrade(const std::vector<uint8_t>&)> gradeMatrix) {
    Series s = series(std::move(name), Parameter::FixedPatternDamage, 0);
    for (const double n : {0.0, 1.0, 2.0, 3.0, 4.0})
        s.steps.push_back({n, n, 4 - n});
    s.grade = [&symbol, gradeMatrix](double n) {
        std::vector<uint8_t> matrix = symbol.matrix;
        for (int k = 0; k < n; ++k)
            matrix[static_cast<size_t>(3 + 5 * k) * symbol.cols] = 0;
        return gradeMatrix(matrix);
    };
    return s;
}

// Wrong codewords in the one block of a 24 x 24 symbol: 1 - errors / capacity, the capacity half
// the block's error correction codewords.
Series wrongCodewordSeries(std::string name, const test::PeerSymbol& symbol,
                           std::function<SymbolGrade(const std::vector<uint8_t>&)> gradeMatrix) {
    const int capacity = test::blockCapacity(k24);
    Series s = series(std::move(name), Parameter::UnusedErrorCorrection, 1e-9);
    for (const int errors : {0, 5, 6, 7, 8, 9, 10, 11}) {
        const double expected = 1.0 - static_cast<double>(errors) / capacity;
        s.steps.push_back({static_cast<double>(errors), expected, kUnusedLevels.grade(expected)});
    }
    s.grade = [&symbol, gradeMatrix](double errors) {
        std::vector<uint8_t> stream = test::codewordsOf(symbol.matrix, k24);
        std::mt19937 rng(static_cast<uint32_t>(errors));
        test::corruptBlock(stream, k24, 0, static_cast<int>(errors), rng);
        return gradeMatrix(placeCodewords(stream, k24));
    };
    return s;
}

// A gap in the fixed pattern: the dark modules of length modules from start along a walk made
// light. The L is walked up the solid column from its top, then along the solid row; the clock
// tracks along the top row from the left, then down the right column.
struct PatternGap {
    bool clocks = false;
    int start = 0;
    int length = 0;
};

// The modules of a single-region symbol's walk, as (row, column).
std::vector<std::pair<int, int>> patternWalk(bool clocks, int rows, int cols) {
    std::vector<std::pair<int, int>> walk;
    for (int k = 0; k < rows + cols - 1; ++k) {
        if (clocks)
            walk.emplace_back(k < cols ? 0 : k - cols + 1, k < cols ? k : cols - 1);
        else
            walk.emplace_back(k < rows ? k : rows - 1, k < rows ? 0 : k - rows + 1);
    }
    return walk;
}

// The matrix with the gap, and the modules it took away.
std::pair<std::vector<uint8_t>, std::vector<std::pair<int, int>>> withGap(const test::PeerSymbol& s,
                                                                          const PatternGap& gap) {
    std::vector<uint8_t> matrix = s.matrix;
    std::vector<std::pair<int, int>> taken;
    const auto walk = patternWalk(gap.clocks, s.rows, s.cols);
    for (int k = gap.start; k < gap.start + gap.length; ++k) {
        const auto [r, c] = walk[static_cast<size_t>(k)];
        uint8_t& m = matrix[static_cast<size_t>(r) * s.cols + c];
        if (m)
            taken.emplace_back(r, c);
        m = 0;
    }
    return {matrix, taken};
}

// Fixed pattern damage of a single-region symbol that lost these pattern modules: the solid
// column (L1) and row (L2) lose a grade per module, the clock tracks grade on the share of their
// rows + cols - 1 modules (A none, B up to 9 %, C 13 %, D 17 %), and the lowest counts.
double gapGrade(const std::vector<std::pair<int, int>>& taken, int rows, int cols) {
    int column = 0, row = 0, clocks = 0;
    for (const auto& [r, c] : taken) {
        column += c == 0;
        row += r == rows - 1;
        clocks += r == 0 || c == cols - 1;
    }
    const double share = static_cast<double>(clocks) / (rows + cols - 1);
    const double clockGrade = share == 0      ? 4
                              : share <= 0.09 ? 3
                              : share <= 0.13 ? 2
                              : share <= 0.17 ? 1
                                              : 0;
    return std::max(0.0, std::min({4.0 - column, 4.0 - row, clockGrade}));
}

// Gaps of 1, 2 and 3 modules at the ends, the middles and the corner of the L or the clock
// tracks, each step's setting 10 x start + length; the damaged modules counted and graded from
// the gap drawn, the data intact (Decode A). locate grades the picture of a matrix.
Series patternGapSeries(std::string name, bool clocks, const test::PeerSymbol& symbol,
                        std::function<SymbolGrade(const std::vector<uint8_t>&)> locate) {
    Series s = series(std::move(name), Parameter::FixedPatternDamage, 0);
    const int length = symbol.rows + symbol.cols - 1;
    const int corner = clocks ? symbol.cols - 1 : symbol.rows - 1;
    for (const int gap : {1, 2, 3}) {
        for (const int start :
             {0, corner / 2, corner - gap / 2, (corner + length) / 2, length - gap}) {
            const auto taken = withGap(symbol, {clocks, start, gap}).second;
            s.steps.push_back({10.0 * start + gap, static_cast<double>(taken.size()),
                               gapGrade(taken, symbol.rows, symbol.cols)});
        }
    }
    s.grade = [&symbol, clocks, locate](double setting) {
        const auto step = static_cast<int>(setting);
        const SymbolGrade g = locate(withGap(symbol, {clocks, step / 10, step % 10}).first);
        EXPECT_EQ(g[Parameter::Decode].grade, 4.0) << setting;
        return g;
    };
    return s;
}

std::vector<Series> verificationSet() {
    std::vector<Series> set;
    const test::PeerSymbol& zint24 = zintSymbol(k24);
    const test::PeerSymbol& dmtx24 = dmtxSymbol(k24);
    const test::PeerSymbol& zint26 = zintSymbol(k26);
    const test::PeerSymbol& dmtx26 = dmtxSymbol(k26);

    {  // Light 230, the dark level raised: symbol contrast (L - D) / 255 either side of each
       // level.
        Series s = series("symbol contrast (zint 24x24)", Parameter::SymbolContrast, 0.004);
        for (const double c : {0.72, 0.68, 0.57, 0.53, 0.42, 0.38, 0.22, 0.18}) {
            const double dark = std::round(230 - 255 * c);
            const double expected = (230 - dark) / 255;
            s.steps.push_back({c, expected, kContrastLevels.grade(expected)});
        }
        s.grade = [&zint24](double c) {
            test::SynthOptions o = labelOptions();
            o.light = o.background = 230;
            o.dark = static_cast<uint8_t>(std::round(230 - 255 * c));
            return gradeDrawn(render(zint24, o), zint24.sizeIndex);
        };
        set.push_back(std::move(s));
    }
    {  // Ink spread and loss on both axes: the growth measured, the grid kept (Decode A).
        Series s = series("print growth (libdmtx 24x24)", Parameter::Decode, 0.03);
        s.measured = [](const SymbolGrade& g) { return (g.printGrowthX + g.printGrowthY) / 2; };
        for (const double growth : {-0.20, -0.10, 0.10, 0.15, 0.20, 0.25})
            s.steps.push_back({growth, growth, 4});
        s.grade = [&dmtx24](double growth) {
            const test::GrownPrint p =
                test::printGrown(dmtx24.matrix, dmtx24.rows, dmtx24.cols, 8, growth, growth);
            const test::SynthFrame f = test::frameOfGray(p.gray, p.width, p.height);
            return gradeImage(test::viewOf(f));
        };
        set.push_back(std::move(s));
    }
    {  // Blur: the lowest codeword module's modulation from the blurred module matrix, and the
       // grade the reserve gives its modules' modulations.
        Series s = series("modulation under blur (zint 24x24)", Parameter::Modulation, 0.04);
        s.measured = [](const SymbolGrade& g) { return g.lowestModulation; };
        for (const double sigma : {0.0, 1.5, 2.0, 2.5, 2.8, 3.0, 3.25, 4.0, 5.0}) {
            s.steps.push_back(modulationStep(
                sigma, blurredValues(zint24, 235, 20, sigma / 8).modulation, k24, s.tolerance));
        }
        s.grade = [&zint24](double sigma) {
            test::SynthOptions o = labelOptions();
            o.blurSigma = sigma;
            return gradeDrawn(render(zint24, o), zint24.sizeIndex);
        };
        set.push_back(std::move(s));
    }
    {  // Noise: the aperture's mean of n pixels varies by sigma / sqrt(n), and the highest and
       // lowest over the inspection area lie about 3.5 of that beyond the levels drawn, so that
       // noise raises symbol contrast.
        Series s =
            series("symbol contrast under noise (libdmtx 24x24)", Parameter::SymbolContrast, 0.03);
        int pixels = 0;  // pixel centres in the 6.4-pixel aperture
        for (int y = -4; y <= 4; ++y) {
            for (int x = -4; x <= 4; ++x)
                pixels += (x + 0.5) * (x + 0.5) + (y + 0.5) * (y + 0.5) <= 3.2 * 3.2;
        }
        for (const double noise : {0.0, 5.0, 10.0, 15.0, 20.0}) {
            const double expected = (200.0 - 40.0 + 7 * noise / std::sqrt(pixels)) / 255;
            s.steps.push_back({noise, expected, kContrastLevels.grade(expected)});
        }
        s.grade = [&dmtx24](double noise) {
            test::SynthOptions o = labelOptions();
            o.light = o.background = 200;
            o.dark = 40;
            o.noiseSigma = noise;
            return gradeDrawn(render(dmtx24, o), dmtx24.sizeIndex);
        };
        set.push_back(std::move(s));
    }
    {  // Modules wider than high: |X - Y| / mean from the stretch drawn.
        Series s =
            series("axial non-uniformity (libdmtx 26x26)", Parameter::AxialNonuniformity, 0.003);
        for (const double ratio : {0.04, 0.07, 0.09, 0.11, 0.14})
            s.steps.push_back({ratio, ratio, kAxialLevels.grade(ratio)});
        s.grade = [&dmtx26](double ratio) {
            test::SynthOptions o = labelOptions();
            o.stretch = (1 + ratio / 2) / (1 - ratio / 2);
            return gradeDrawn(render(dmtx26, o), dmtx26.sizeIndex);
        };
        set.push_back(std::move(s));
    }
    {  // Columns bowed: the largest distance from the straight-line fit of the column centres.
        Series s = series("grid non-uniformity (zint 26x26)", Parameter::GridNonuniformity, 0.02);
        for (const double bend : {0.35, 0.77, 0.98, 1.2, 1.6}) {
            const double expected = test::bowedColumnsDeviation(zint26.cols, bend);
            s.steps.push_back({bend, expected, kGridLevels.grade(expected)});
        }
        s.grade = [&zint26](double bend) {
            test::SynthOptions o = labelOptions();
            o.bend = bend;
            return gradeDrawn(render(zint26, o), zint26.sizeIndex);
        };
        set.push_back(std::move(s));
    }
    auto printed = [](const test::PeerSymbol& symbol) {
        return [&symbol](const std::vector<uint8_t>& matrix) {
            return gradeDrawn(render(matrix, symbol.rows, symbol.cols, labelOptions()), k24);
        };
    };
    set.push_back(solidColumnSeries("fixed pattern damage (zint 24x24)", zint24, printed(zint24)));
    // Finder and clock gaps located as `dmcodec grade` locates them (a decode of the picture,
    // turned a little), and by the grading's own search as if the decode had read nothing.
    auto located = [](bool ownSearch) {
        return [ownSearch](const std::vector<uint8_t>& matrix) {
            test::SynthOptions o = labelOptions();
            o.rotationDeg = 8;
            const Rendered r = render(matrix, 24, 24, o);
            return ownSearch ? gradeDecoded(r.view(), DecodeResult{}) : gradeImage(r.view());
        };
    };
    set.push_back(patternGapSeries("finder gaps (libdmtx 24x24, 10 x start along the L + length)",
                                   false, dmtx24, located(false)));
    set.push_back(
        patternGapSeries("clock track gaps (zint 24x24, 10 x start along the clocks + length)",
                         true, zint24, located(false)));
    set.push_back(
        patternGapSeries("finder gaps, the grading's own search (zint 24x24, 10 x start + length)",
                         false, zint24, located(true)));
    set.push_back(
        wrongCodewordSeries("unused error correction (libdmtx 24x24)", dmtx24, printed(dmtx24)));
    return set;
}

// Runs the steps of a series; the failure message names the series, the step, measured and
// expected value and grade. Returns the table's lines.
std::string runSeries(const Series& s) {
    char line[200];
    std::snprintf(line, sizeof line, "%s\n  %8s %9s %9s %6s %8s\n", s.name.c_str(), "step",
                  "measured", "expected", "grade", "expected");
    std::string table = line;
    for (size_t k = 0; k < s.steps.size(); ++k) {
#ifdef __SANITIZE_ADDRESS__
        if (k % 2 == 1)  // every other step under the sanitizer
            continue;
#endif
        const Step& step = s.steps[k];
        const SymbolGrade g = s.grade(step.setting);
        const ParameterGrade& p = g[s.parameter];
        const double measured = s.measured ? s.measured(g) : p.value;
        std::snprintf(line, sizeof line,
                      "%s, step %g: measured %.4f, expected %.4f, grade %c (%.2f), expected %c",
                      s.name.c_str(), step.setting, measured, step.expected, gradeLetter(p.grade),
                      p.grade, gradeLetter(step.grade));
        EXPECT_TRUE(g.located) << line;
        EXPECT_NEAR(measured, step.expected, s.tolerance) << line;
        if (step.highest >= 0) {
            EXPECT_GE(p.grade, step.grade) << line;
            EXPECT_LE(p.grade, step.highest) << line;
        } else {
            EXPECT_EQ(p.grade, step.grade) << line;
        }
        std::string expected(1, gradeLetter(step.grade));
        if (step.highest > step.grade)
            expected.append(1, '-').append(1, gradeLetter(step.highest));
        std::snprintf(line, sizeof line, "  %8g %9.4f %9.4f %6c %8s\n", step.setting, measured,
                      step.expected, gradeLetter(p.grade), expected.c_str());
        table += line;
    }
    return table;
}

// The same check for direct part marks: libdmtx's 24 x 24 peened as round dots (16-pixel cells,
// dots of 0.9 module jittered by up to 0.05 module, level 40 on a surface of 200 unless a series
// varies it), graded as a mark at the corners drawn.
constexpr Levels kCellContrastLevels{{0.30, 0.25, 0.20, 0.15}};
constexpr double kDotJitter = 0.05;

test::DotPeenOptions dotOptions() {
    test::DotPeenOptions o;
    o.dotDiameter = 0.9;
    o.jitter = kDotJitter;
    return o;
}

test::DotPeenMark peened(const std::vector<uint8_t>& matrix, const test::DotPeenOptions& o) {
    return test::dotPeenMark(matrix, 24, 24, o);
}

SymbolGrade gradeMark(const test::DotPeenMark& m, bool inverted = false) {
    const ImageView view{m.gray, m.width, m.height};
    SymbolCorners corners{};
    for (size_t i = 0; i < corners.size(); ++i)
        corners[i] = {m.corners[i].x, m.corners[i].y};
    return gradeSymbol(view, corners, k24, inverted, Light::Red,
                       defaultAperture(GradingMode::DirectPartMark), GradingMode::DirectPartMark);
}

// Each cell's modulation in a dot-peen mark (row-major), worked out from its dots:
// each a disc of the diameter (modules) at the centre drawn, blurred by a Gaussian of sigma
// modules, read through a disc of half a module at each module's middle. Cell modulation is
// 2 |R - GT| / (ML - MD), ML and MD the means of the light and dark cells, GT halfway; the
// exposure multiplies all of them alike, so the levels drawn need not be known.
std::vector<double> cellModulations(const std::vector<uint8_t>& matrix, int rows, int cols,
                                    const std::vector<PointD>& dots, double diameter,
                                    double sigma) {
    const double rho = diameter / 2;
    // The share of a blurred dot at distance d from its centre, every hundredth of a module.
    constexpr double kTableStep = 0.01, kDiscStep = 0.03;
    const double reach = rho + 5 * sigma + kTableStep;
    std::vector<double> cover(static_cast<size_t>(reach / kTableStep) + 2);
    for (size_t i = 0; i < cover.size(); ++i) {
        const double d = static_cast<double>(i) * kTableStep;
        if (sigma <= 0) {
            cover[i] = d < rho;
            continue;
        }
        double sum = 0;
        for (double y = -rho + kDiscStep / 2; y < rho; y += kDiscStep) {
            for (double x = -rho + kDiscStep / 2; x < rho; x += kDiscStep) {
                if (x * x + y * y < rho * rho)
                    sum += std::exp(-((d - x) * (d - x) + y * y) / (2 * sigma * sigma));
            }
        }
        cover[i] = sum * kDiscStep * kDiscStep / (2 * std::numbers::pi * sigma * sigma);
    }
    auto coverAt = [&](double d) {
        const double at = d / kTableStep;
        const auto i = static_cast<size_t>(at);
        if (i + 1 >= cover.size())
            return 0.0;
        return cover[i] + (cover[i + 1] - cover[i]) * (at - static_cast<double>(i));
    };
    std::vector<PointD> aperture;
    for (double y = -0.225; y < 0.25; y += 0.05) {
        for (double x = -0.225; x < 0.25; x += 0.05) {
            if (x * x + y * y <= 0.0625)
                aperture.push_back({x, y});
        }
    }
    // Each cell's darkness: the mean dot share under the aperture.
    const int window = static_cast<int>(std::ceil(reach + 0.6));
    std::vector<double> darkness(matrix.size());
    double light = 0, dark = 0;
    int lights = 0, darks = 0;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            double sum = 0;
            for (const PointD& a : aperture) {
                const PointD p{c + 0.5 + a.x, r + 0.5 + a.y};
                for (int dr = std::max(0, r - window); dr <= std::min(rows - 1, r + window); ++dr) {
                    for (int dc = std::max(0, c - window); dc <= std::min(cols - 1, c + window);
                         ++dc) {
                        const size_t k = static_cast<size_t>(dr) * cols + dc;
                        if (matrix[k])
                            sum += coverAt(length(p - dots[k]));
                    }
                }
            }
            const size_t i = static_cast<size_t>(r) * cols + c;
            darkness[i] = std::min(1.0, sum / static_cast<double>(aperture.size()));
            (matrix[i] ? dark : light) += 1 - darkness[i];
            (matrix[i] ? darks : lights) += 1;
        }
    }
    light /= lights;
    dark /= darks;
    const double threshold = (light + dark) / 2;
    std::vector<double> modulation;
    for (const double d : darkness)
        modulation.push_back(2 * std::abs(1 - d - threshold) / (light - dark));
    return modulation;
}

// The setting in [low, high] at which a falling model first gives the value, by bisection.
double settingFor(double value, double low, double high,
                  const std::function<double(double)>& model) {
    for (int i = 0; i < 10; ++i) {
        const double mid = (low + high) / 2;
        (model(mid) > value ? low : high) = mid;
    }
    return (low + high) / 2;
}

std::vector<Series> markVerificationSet() {
    std::vector<Series> set;
    const test::PeerSymbol& dmtx24 = dmtxSymbol(k24);
    {  // The dot level raised on a surface of 200: (200 - dot) / 200 either side of each level
       // (the half-module aperture lies within a dot).
        Series s = series("cell contrast (dots, libdmtx 24x24)", Parameter::CellContrast, 0.005);
        for (const double c : {0.32, 0.28, 0.27, 0.23, 0.22, 0.18, 0.17, 0.13}) {
            const double expected = (200 - std::round(200 * (1 - c))) / 200;
            s.steps.push_back({c, expected, kCellContrastLevels.grade(expected)});
        }
        s.grade = [&dmtx24](double c) {
            test::DotPeenOptions o = dotOptions();
            o.dotLevel = std::round(200 * (1 - c));
            return gradeMark(peened(dmtx24.matrix, o));
        };
        set.push_back(std::move(s));
    }
    {  // Light dots of 200 on a darker surface, read on the negative: the cell contrast is still
       // (ML - MD) / ML of the picture as taken, the dots its light cells, (200 - surface) / 200,
       // and its light cells are as bright as the brightest area (minimum reflectance 100 %).
        Series s =
            series("cell contrast (light dots, libdmtx 24x24)", Parameter::CellContrast, 0.005);
        for (const double c : {0.32, 0.28, 0.22, 0.18, 0.13}) {
            const double expected = (200 - std::round(200 * (1 - c))) / 200;
            s.steps.push_back({c, expected, kCellContrastLevels.grade(expected)});
        }
        s.grade = [&dmtx24](double c) {
            test::DotPeenOptions o = dotOptions();
            o.dotLevel = 200;
            o.surface = std::round(200 * (1 - c));
            const SymbolGrade g = gradeMark(peened(dmtx24.matrix, o), true);
            EXPECT_NEAR(g[Parameter::MinimumReflectance].value, 1.0, 0.01) << c;
            EXPECT_NEAR(g.meanLight, 0.78, 0.01) << c;
            return g;
        };
        set.push_back(std::move(s));
    }
    {  // Blur: the steps are the blurs at which the dots drawn give a lowest cell modulation two
       // hundredths either side of each level.
        Series s = series("cell modulation under blur (dots, libdmtx 24x24, sigma in pixels)",
                          Parameter::CellModulation, 0.04);
        s.measured = [](const SymbolGrade& g) { return g.lowestModulation; };
        const std::vector<PointD> dots = peened(dmtx24.matrix, dotOptions()).dotCentres;
        auto modulations = [&dmtx24, dots](double sigmaPixels) {
            return cellModulations(dmtx24.matrix, 24, 24, dots, 0.9, sigmaPixels / 16);
        };
        auto lowest = [&](double sigmaPixels) {
            return lowestOfCodewords(modulations(sigmaPixels), k24);
        };
        std::vector<double> sigmas;
        for (const double target : {0.52, 0.48, 0.42, 0.38, 0.32, 0.28, 0.22, 0.18, 0.12})
            sigmas.push_back(settingFor(target, 0, 8, lowest));
        // Past them, blurs where the reserve grades D and F.
        sigmas.insert(sigmas.end(), {8.2, 8.5, 10.0, 11.0});
        for (const double sigma : sigmas)
            s.steps.push_back(modulationStep(sigma, modulations(sigma), k24, s.tolerance));
        s.grade = [&dmtx24](double sigma) {
            test::DotPeenOptions o = dotOptions();
            o.blurSigma = sigma;
            return gradeMark(peened(dmtx24.matrix, o));
        };
        set.push_back(std::move(s));
    }
    {  // Dots placed off their cells' middles by up to the jitter on each axis: each dark cell
       // is read at its dot, so the lowest cell modulation stays at the unjittered dots' (the
       // model's, whose dots lie at the middles).
        Series s = series("cell modulation under jitter (dots, libdmtx 24x24, jitter in modules)",
                          Parameter::CellModulation, 0.05);
        s.measured = [](const SymbolGrade& g) { return g.lowestModulation; };
        const std::vector<PointD> centred = [&] {
            test::DotPeenOptions o = dotOptions();
            o.jitter = 0;
            return peened(dmtx24.matrix, o).dotCentres;
        }();
        const double expected =
            lowestOfCodewords(cellModulations(dmtx24.matrix, 24, 24, centred, 0.9, 0), k24);
        for (const double jitter : {0.0, 0.05, 0.10, 0.15})
            s.steps.push_back({jitter, expected, kModulationLevels.grade(expected)});
        s.grade = [&dmtx24](double jitter) {
            test::DotPeenOptions o = dotOptions();
            o.jitter = jitter;
            return gradeMark(peened(dmtx24.matrix, o));
        };
        set.push_back(std::move(s));
    }
    {  // Cells wider than high, the dots round: |X - Y| / mean from the cell sizes drawn.
        Series s = series("axial non-uniformity (dots, libdmtx 24x24)",
                          Parameter::AxialNonuniformity, 0.005);
        for (const double ratio : {0.04, 0.07, 0.09, 0.11, 0.14})
            s.steps.push_back({ratio, ratio, kAxialLevels.grade(ratio)});
        s.grade = [&dmtx24](double ratio) {
            test::DotPeenOptions o = dotOptions();
            o.cellWidth = 16 * (1 + ratio / 2);
            o.cellHeight = 16 * (1 - ratio / 2);
            return gradeMark(peened(dmtx24.matrix, o));
        };
        set.push_back(std::move(s));
    }
    // Dots of the solid column missing and wrong codewords, as for a print.
    auto dotted = [](const std::vector<uint8_t>& matrix) {
        return gradeMark(peened(matrix, dotOptions()));
    };
    set.push_back(solidColumnSeries("fixed pattern damage (dots, libdmtx 24x24)", dmtx24, dotted));
    set.push_back(
        wrongCodewordSeries("unused error correction (dots, libdmtx 24x24)", dmtx24, dotted));
    return set;
}

TEST(GradingVerificationSet, EachSeriesMeasuresWhatWasDrawnAndGradesAtTheLevels) {
    for (const Series& s : verificationSet()) {
        const std::string table = runSeries(s);
        if (test::fullSweep())
            std::printf("%s\n", table.c_str());
    }
}

TEST(GradingVerificationSet, EachDotPeenSeriesMeasuresWhatWasDrawnAndGradesAtTheMarkLevels) {
    for (const Series& s : markVerificationSet()) {
        const std::string table = runSeries(s);
        if (test::fullSweep())
            std::printf("%s\n", table.c_str());
    }
}

}  // namespace
}  // namespace dm
