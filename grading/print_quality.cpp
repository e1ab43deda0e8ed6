#include "grading/print_quality.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <optional>

#include "decoder/decoder.h"
#include "detection/shared/geometry.h"
#include "grading/fixed_pattern.h"
#include "grading/grid_measurement.h"
#include "grading/mark_image.h"
#include "grading/reflectance_image.h"
#include "grading/symbol_location.h"
#include "symbology/codeword_correction.h"
#include "symbology/placement.h"
#include "symbology/reed_solomon.h"
#include "symbology/symbol_size.h"

namespace dm {
namespace {

// Grade thresholds of the print-quality standard for two-dimensional symbols (ISO/IEC 15415),
// the A limit first: a value reaching limit k (k = 0 ... 3) earns 4 - k.
using Limits = std::array<double, 4>;
constexpr Limits kSymbolContrast{0.70, 0.55, 0.40, 0.20};
constexpr Limits kModulation{0.50, 0.40, 0.30, 0.20};  // modules' modulation and margin
constexpr Limits kUnusedCorrection{0.62, 0.50, 0.37, 0.25};
constexpr Limits kAxialNonuniformity{0.06, 0.08, 0.10, 0.12};  // at most
constexpr Limits kGridNonuniformity{0.38, 0.50, 0.63, 0.75};   // at most
// Direct part marks (AIM DPM): cell contrast (ML - MD) / ML; cell modulation graded as
// modulation; minimum reflectance passes (A) from 5 % and fails (F) below.
constexpr Limits kCellContrast{0.30, 0.25, 0.20, 0.15};
constexpr double kLeastMinimumReflectance = 0.05;

// A direct part mark's picture is exposed so that the mean of its light cells lies here, as a
// mark verifier sets its exposure before it grades.
constexpr double kMeanLightTarget = 0.78;
// The gaps between a dot-peen mark's dots are closed over this share of the module size before
// its grid is measured: dots of half the pitch and more, jittered, join into modules.
constexpr double kDotGapShare = 0.6;
// Rounds of the two-means split of the cells into light and dark.
constexpr int kCellSplitRounds = 8;

// Grade A, the highest: a value that reaches the first limit, a parameter nothing lowers.
constexpr uint8_t kBestGrade = 4;

// The aperture's diameter as a share of the module size for the first threshold the grid is
// measured at: the 0.8 module that verifiers use for Data Matrix.
constexpr double kApertureShare = 0.8;

// The inspection area of the reflectance extremes: the symbol and this many modules of quiet
// zone around it, read at points a quarter aperture apart (at least a pixel).
constexpr double kInspectionMargin = 1;
constexpr double kInspectionStepsPerAperture = 4;

// Values within this of a limit count as reaching it (the limits are decimal fractions that
// the arithmetic cannot always meet exactly).
constexpr double kSlack = 1e-9;

uint8_t gradeAtLeast(double value, const Limits& limits) {
    for (size_t k = 0; k < limits.size(); ++k) {
        if (value >= limits[k] - kSlack)
            return static_cast<uint8_t>(4 - k);
    }
    return 0;
}

uint8_t gradeAtMost(double value, const Limits& limits) {
    for (size_t k = 0; k < limits.size(); ++k) {
        if (value <= limits[k] + kSlack)
            return static_cast<uint8_t>(4 - k);
    }
    return 0;
}

// Highest and lowest reflectance through the aperture over the symbol and a quiet zone of one
// module (the inspection area), at points a quarter aperture apart.
std::pair<double, double> reflectanceExtremes(const ReflectanceImage& image, const Homography& map,
                                              int32_t rows, int32_t cols, double aperture) {
    const double m = kInspectionMargin;
    const std::array<ImagePoint, 4> quad{map.map(-m, -m), map.map(cols + m, -m),
                                         map.map(cols + m, rows + m), map.map(-m, rows + m)};
    auto inside = [&](ImagePoint p) {
        int sign = 0;
        for (size_t i = 0; i < quad.size(); ++i) {
            const ImagePoint a = quad[i];
            const ImagePoint b = quad[(i + 1) % quad.size()];
            const double turn = cross(b - a, p - a);
            const int s = turn > 0 ? 1 : turn < 0 ? -1 : 0;
            if (s != 0 && sign != 0 && s != sign)
                return false;
            sign = s != 0 ? s : sign;
        }
        return true;
    };
    double x0 = quad[0].x, x1 = quad[0].x, y0 = quad[0].y, y1 = quad[0].y;
    for (const ImagePoint& q : quad) {
        x0 = std::min(x0, q.x);
        x1 = std::max(x1, q.x);
        y0 = std::min(y0, q.y);
        y1 = std::max(y1, q.y);
    }
    x0 = std::max(std::floor(x0), 0.0);
    y0 = std::max(std::floor(y0), 0.0);
    x1 = std::min(x1, static_cast<double>(image.width));
    y1 = std::min(y1, static_cast<double>(image.height));
    const double step = std::max(1.0, std::floor(aperture / kInspectionStepsPerAperture));
    double high = -1;
    double low = 2;
    for (double y = y0 + 0.5; y < y1; y += step) {
        for (double x = x0 + 0.5; x < x1; x += step) {
            if (!inside({x, y}))
                continue;
            const double r = image.aperture({x, y}, aperture);
            if (r < 0)
                continue;
            high = std::max(high, r);
            low = std::min(low, r);
        }
    }
    if (high < 0)
        return {0, 0};
    return {high, low};
}

// Above any modulation or margin: the lowest starts here.
constexpr double kAboveAnyModulation = 1e9;

// A grade earned with the error correction's reserve, and the level that earned it (0 when none
// did).
struct ReserveGrade {
    double grade = 0;
    int level = 0;
};

// Modulation or reflectance margin graded with the error correction's reserve: at each grade
// level the codewords graded below it (their lowest module's grade) count as erasures against
// the block's capacity, and the level earns the lower of itself and the grade of the unused
// error correction left. The best level's grade.
ReserveGrade reserveGrade(const std::vector<uint8_t>& codewordGrades, int32_t sizeIndex,
                          Interleaving interleaving) {
    const SymbolSize& s = symbolSize(sizeIndex);
    ReserveGrade best;
    for (int level = 4; level >= 1; --level) {
        double unused = 1;
        for (int32_t k = 0; k < s.blockCount; ++k) {
            const int32_t data = blockDataCount(sizeIndex, k);
            int32_t erasures = 0;
            for (int32_t i = 0; i < data + s.blockEccCodewords; ++i)
                erasures += codewordGrades[blockPosition(sizeIndex, k, i, interleaving)] < level;
            const int32_t capacity = correctableErrors(data, s.blockEccCodewords);
            unused = std::min(unused, 1.0 - static_cast<double>(erasures) / (2.0 * capacity));
        }
        const double grade = std::min<double>(level, gradeAtLeast(unused, kUnusedCorrection));
        if (grade > best.grade)
            best = {grade, level};
    }
    return best;
}

// The value a reserve grade rests on: the lowest of the codewords the level did not count as
// erasures (all of them when no level earned a grade), so that value and grade agree; the
// codewords below it are within the error correction's reserve.
double restingValue(const std::vector<double>& values, const std::vector<uint8_t>& grades,
                    const ReserveGrade& reserve) {
    double lowest = kAboveAnyModulation;
    double lowestOfAll = kAboveAnyModulation;
    for (size_t k = 0; k < values.size(); ++k) {
        lowestOfAll = std::min(lowestOfAll, values[k]);
        if (grades[k] >= reserve.level)
            lowest = std::min(lowest, values[k]);
    }
    return lowest < kAboveAnyModulation ? lowest : lowestOfAll;
}

// Grades a module's modulation and its margin against the colour it must have (unknown:
// margin 0), from the reflectance read through the aperture (-1: outside the image).
void gradeModule(ModuleReading& m, double threshold, double contrast, bool colourKnown) {
    if (m.reflectance < 0 || contrast <= 0) {
        m.modulation = 0;
        m.margin = -1;
    } else {
        m.modulation = 2 * std::abs(m.reflectance - threshold) / contrast;
        const bool readDark = m.reflectance < threshold;
        m.margin = !colourKnown ? 0 : readDark == m.dark ? m.modulation : -m.modulation;
    }
    m.modulationGrade = gradeAtLeast(m.modulation, kModulation);
    m.marginGrade = m.margin < 0 ? 0 : gradeAtLeast(m.margin, kModulation);
}

// Nothing located: every grade 0.
SymbolGrade notLocated() {
    SymbolGrade out;
    for (size_t i = 0; i < kParameterCount; ++i)
        out.parameters[i].parameter = static_cast<Parameter>(i);
    return out;
}

// Module size from the located corners: the mean pitch along the top and the left side.
double cornerModuleSize(const SymbolCorners& corners, int32_t rows, int32_t cols) {
    return (length(corners[1] - corners[0]) / cols + length(corners[3] - corners[0]) / rows) / 2;
}

// The grid of the rows x cols symbol that the located corners place, its edges found at a
// first threshold halfway between the reflectance extremes over the area the corners give.
std::optional<MeasuredGrid> measureFromCorners(const ReflectanceImage& image,
                                               const SymbolCorners& corners, int32_t sizeIndex,
                                               int32_t rows, int32_t cols) {
    const auto rough = symbolToImage(corners, cols, rows);
    if (!rough)
        return std::nullopt;
    const auto [high, low] = reflectanceExtremes(
        image, *rough, rows, cols, kApertureShare * cornerModuleSize(corners, rows, cols));
    return measureGrid(image, *rough, sizeIndex, (high + low) / 2);
}

// Reads every module through the aperture at the centre the grid gives it, into out.modules;
// returns the matrix read under the global threshold (1 dark).
std::vector<uint8_t> readModules(const ReflectanceImage& image, const MeasuredGrid& grid,
                                 SymbolGrade& out) {
    const int32_t rows = out.symbolRows;
    const int32_t cols = out.symbolCols;
    out.modules.resize(static_cast<size_t>(rows) * cols);
    std::vector<uint8_t> read(out.modules.size());
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < cols; ++c) {
            const size_t i = static_cast<size_t>(r) * cols + c;
            ModuleReading& m = out.modules[i];
            m.row = r;
            m.col = c;
            m.centre = grid.centres[i];
            m.reflectance = image.aperture(m.centre, out.aperture);
            read[i] = m.reflectance >= 0 && m.reflectance < out.globalThreshold;
        }
    }
    return read;
}

// What a module matrix as read says.
struct Reading {
    bool known = false;    // it looks like a symbol and its codewords corrected
    bool decoded = false;  // and the corrected data decoded
    CodewordCorrection correction;
    // The matrix the corrected codewords place: the colour each module must have (all light
    // when not known).
    std::vector<uint8_t> ideal;
    std::string text;  // the message once decoded, as a decode gives it
    std::vector<EciSegment> eciSegments;
};

// An area without a symbol reads all light, which Reed-Solomon takes for zero codewords: a
// reading counts only when it looks like a symbol. The codewords are corrected once, every
// block for its error count, and the corrected data decoded.
Reading decodeReading(const std::vector<uint8_t>& read, int32_t sizeIndex) {
    const SymbolSize& s = symbolSize(sizeIndex);
    const bool plausible = looksLikeASymbol(read, sizeIndex);
    std::vector<uint8_t> stream(static_cast<size_t>(s.dataCodewords) + s.eccCodewords);
    DecodeStatus status = DecodeStatus::Success;
    Reading out;
    if (extractCodewords(read, sizeIndex, stream, status))
        out.correction = correctCodewords(stream, sizeIndex, BlockScope::EveryBlock);
    out.known = plausible && out.correction.ok;
    DecodeState state;
    out.decoded =
        out.known && decodeCorrectedData(std::span(out.correction.codewords).first(s.dataCodewords),
                                         sizeIndex, state, status);
    if (out.decoded) {
        out.text.assign(state.text.begin(), state.text.end());
        out.eciSegments = state.format.eciSegments;
    }
    out.ideal = placeCodewords(
        out.known ? out.correction.codewords : std::vector<uint8_t>(read.size()), sizeIndex);
    return out;
}

// A grid whose clock and alignment modules read the wrong colour at more than this share (a
// damaged clock track grades F from 17 %), or whose centres lie farther than this many modules
// from the regular grid, has lost the edges it followed when the symbol does not read at it.
constexpr double kLostClockShare = 0.25;
constexpr double kLostGridDistance = 1.0;

// The codeword modules' grades: per codeword the lowest of its modules, and the lowest values.
struct CodewordGrades {
    std::vector<uint8_t> modulation;
    std::vector<uint8_t> margin;
    std::vector<double> modulationValue;  // per codeword, its lowest module's
    std::vector<double> marginValue;
    double lowestModulation = kAboveAnyModulation;
    double lowestMargin = kAboveAnyModulation;
};

// Grades every module's modulation and margin against the colour the reading says it must have
// (out.modules), and collects the codeword modules' grades.
CodewordGrades gradeModules(SymbolGrade& out, const Reading& reading, double contrast) {
    const SymbolSize& s = symbolSize(out.sizeIndex);
    const std::vector<int32_t> bits = moduleBits(out.sizeIndex);
    const size_t codewords = static_cast<size_t>(s.dataCodewords + s.eccCodewords);
    CodewordGrades grades{std::vector<uint8_t>(codewords, kBestGrade),
                          std::vector<uint8_t>(codewords, kBestGrade),
                          std::vector<double>(codewords, kAboveAnyModulation),
                          std::vector<double>(codewords, kAboveAnyModulation)};
    for (size_t i = 0; i < out.modules.size(); ++i) {
        ModuleReading& m = out.modules[i];
        m.dark = reading.ideal[i] != 0;
        gradeModule(m, out.globalThreshold, contrast, reading.known);
        if (bits[i] < 0)
            continue;
        const auto k = static_cast<size_t>(bits[i] / 8);
        grades.modulation[k] = std::min(grades.modulation[k], m.modulationGrade);
        grades.margin[k] = std::min(grades.margin[k], m.marginGrade);
        grades.modulationValue[k] = std::min(grades.modulationValue[k], m.modulation);
        grades.marginValue[k] = std::min(grades.marginValue[k], m.margin);
        grades.lowestModulation = std::min(grades.lowestModulation, m.modulation);
        grades.lowestMargin = std::min(grades.lowestMargin, m.margin);
    }
    return grades;
}

// Whether the aperture at p lies wholly within the picture.
bool apertureInside(const ReflectanceImage& image, ImagePoint p, double aperture) {
    const double r = aperture / 2;
    return p.x - r >= 0 && p.y - r >= 0 && p.x + r <= image.width && p.y + r <= image.height;
}

// Fixed pattern damage: the modules that kept the grade from being higher, and the grade.
struct PatternDamage {
    int32_t damaged = 0;
    double grade = 0;
    double clocksWrong = 0;  // share of the clock and alignment modules read the wrong colour
};

// The fixed pattern and the quiet zone beside the finder, read (symbol modules as out.modules
// read them, the quiet zone through the aperture) and graded into out.patternModules and
// out.segments.
PatternDamage gradePattern(const ReflectanceImage& image, const MeasuredGrid& grid, double contrast,
                           SymbolGrade& out) {
    const int32_t rows = out.symbolRows;
    const int32_t cols = out.symbolCols;
    FixedPattern pattern = fixedPatternOf(out.sizeIndex);
    PatternDamage damage;
    for (ModuleReading& m : pattern.modules) {
        if (m.row >= 0 && m.row < rows && m.col >= 0 && m.col < cols) {
            const ModuleReading& symbolModule =
                out.modules[static_cast<size_t>(m.row) * cols + m.col];
            m.centre = symbolModule.centre;
            m.reflectance = symbolModule.reflectance;
        } else {
            m.centre = grid.outline.map(m.col + 0.5, m.row + 0.5);
            m.reflectance = image.aperture(m.centre, out.aperture);
        }
        gradeModule(m, out.globalThreshold, contrast, true);
    }
    // Quiet-zone modules the picture does not hold whole are not measured: their segments grade
    // the rest, and a segment with none left is not graded.
    std::vector<bool> outside(pattern.modules.size());
    for (size_t i = 0; i < pattern.modules.size(); ++i) {
        const ModuleReading& m = pattern.modules[i];
        const bool quiet = m.row < 0 || m.row >= rows || m.col < 0 || m.col >= cols;
        outside[i] = quiet && !apertureInside(image, m.centre, out.aperture);
        out.quietZoneOffPicture += outside[i];
    }
    for (PatternSegment& segment : pattern.segments) {
        std::erase_if(segment.modules, [&](int32_t m) { return outside[static_cast<size_t>(m)]; });
    }
    std::erase_if(pattern.segments, [](const PatternSegment& s) { return s.modules.empty(); });
    damage.grade = gradeFixedPattern(pattern.modules, pattern.segments);
    // The modules that kept the grade from being higher, each once (segments share corners).
    std::vector<bool> counted(pattern.modules.size());
    for (const PatternSegment& s : pattern.segments) {
        for (const int32_t m : s.damaged) {
            damage.damaged += !counted[static_cast<size_t>(m)];
            counted[static_cast<size_t>(m)] = true;
        }
    }
    int32_t clocks = 0, wrong = 0;
    for (const PatternSegment& s : pattern.segments) {
        if (s.kind != PatternSegment::Kind::ClockAndAlignment)
            continue;
        for (const int32_t m : s.modules) {
            ++clocks;
            wrong += pattern.modules[static_cast<size_t>(m)].margin < 0;
        }
    }
    damage.clocksWrong = clocks > 0 ? static_cast<double>(wrong) / clocks : 0;
    out.patternModules = std::move(pattern.modules);
    out.segments = std::move(pattern.segments);
    return damage;
}

// The share of error correction the most damaged block left unused; 0 when nothing is known.
double unusedCorrection(const std::vector<BlockErrors>& blocks, bool known) {
    if (!known)
        return 0;
    double unused = 1;
    for (const BlockErrors& b : blocks)
        unused = std::min(unused, 1.0 - static_cast<double>(b.errors) / b.capacity);
    return unused;
}

// How the grade's own reading ended, as a decoder status.
DecodeStatus readingStatus(const Reading& reading) {
    if (reading.decoded)
        return DecodeStatus::Success;
    if (reading.known)
        return DecodeStatus::DataDecodationFailed;
    return reading.correction.ok ? DecodeStatus::GridLost : DecodeStatus::BlockUncorrectable;
}

// Whether a module of the symbol was read outside the picture.
bool offPicture(const std::vector<ModuleReading>& modules) {
    return std::any_of(modules.begin(), modules.end(),
                       [](const ModuleReading& m) { return m.reflectance < 0; });
}

// The parameters measured at the grid lose their values and grades; symbol contrast, measured
// over the outline, stays.
void markGridUnmeasured(SymbolGrade& out) {
    for (ParameterGrade& p : out.parameters) {
        if (p.parameter != Parameter::SymbolContrast)
            p = {p.parameter, 0, 0, false};
    }
    out.decoded = false;
    out.status = DecodeStatus::GridLost;
}

// A symbol located at the corners whose own outline the grading cannot measure: symbol contrast
// over the located outline, nothing else.
SymbolGrade gridNotMeasured(const ReflectanceImage& image, const SymbolCorners& corners,
                            int32_t sizeIndex, const Aperture& aperture) {
    SymbolGrade out = notLocated();
    const SymbolSize& s = symbolSize(sizeIndex);
    const auto rough = symbolToImage(corners, s.symbolCols, s.symbolRows);
    if (!rough)
        return out;
    out.located = true;
    out.sizeIndex = sizeIndex;
    out.symbolRows = s.symbolRows;
    out.symbolCols = s.symbolCols;
    out.corners = corners;
    out.moduleSize = cornerModuleSize(corners, s.symbolRows, s.symbolCols);
    out.aperture = aperture.diameter(out.moduleSize);
    const auto [high, low] =
        reflectanceExtremes(image, *rough, s.symbolRows, s.symbolCols, out.aperture);
    out.maxReflectance = high;
    out.minReflectance = low;
    out.globalThreshold = (high + low) / 2;
    out.gridFailure = GridFailure::OutlineNotFound;
    markGridUnmeasured(out);
    out.parameters[static_cast<size_t>(Parameter::SymbolContrast)] = {
        Parameter::SymbolContrast, high - low,
        static_cast<double>(gradeAtLeast(high - low, kSymbolContrast)), true};
    out.overall = 0;
    return out;
}

// The mean reflectance of the light and of the dark cells read through the aperture at the
// grid's centres, the cells split by a threshold halfway between the two means, found from the
// first threshold given (below 0: the mean of all cells).
struct CellLevels {
    double light = 0;
    double dark = 0;
};
CellLevels cellLevels(const ReflectanceImage& image, const MeasuredGrid& grid, double aperture,
                      double threshold) {
    std::vector<double> readings;
    readings.reserve(grid.centres.size());
    for (const ImagePoint& p : grid.centres) {
        const double r = image.aperture(p, aperture);
        if (r >= 0)
            readings.push_back(r);
    }
    if (threshold < 0 && !readings.empty()) {
        threshold = 0;
        for (const double r : readings)
            threshold += r / static_cast<double>(readings.size());
    }
    CellLevels levels{threshold, threshold};
    for (int round = 0; round < kCellSplitRounds; ++round) {
        double light = 0, dark = 0;
        int32_t lights = 0, darks = 0;
        for (const double r : readings) {
            const bool isLight = r >= threshold;
            (isLight ? light : dark) += r;
            (isLight ? lights : darks) += 1;
        }
        if (lights == 0 || darks == 0)
            break;
        levels = {light / lights, dark / darks};
        threshold = (levels.light + levels.dark) / 2;
    }
    return levels;
}

// The width the gaps between a mark's dots are closed over, pixels: 0 (none) for a module size
// that is not a size, at most the widest gap a picture can show.
int32_t dotGapWidth(double moduleSize) {
    constexpr double kWidestGap = 1024;
    const double gap = kDotGapShare * moduleSize;
    return gap > 0 ? static_cast<int32_t>(std::lround(std::min(gap, kWidestGap))) : 0;
}

// How well a grid reads: whether it decodes, whether its centres stay within a module of the
// regular grid (a tracking that lost some edges may still read), the codeword errors the
// correction found, and how far the cells read from the threshold on average (centres off the
// dots read nearer to it, which a heavy blur shows before it costs a codeword).
struct GridReading {
    bool decoded = false;
    bool kept = false;
    int32_t errors = 0;
    double separation = 0;

    bool betterThan(const GridReading& other) const {
        if (decoded != other.decoded)
            return decoded;
        if (kept != other.kept)
            return kept;
        if (errors != other.errors)
            return errors < other.errors;
        return separation > other.separation;
    }
};

GridReading readAt(const ReflectanceImage& image, const MeasuredGrid& grid, int32_t sizeIndex,
                   const Aperture& aperture) {
    const SymbolSize& s = symbolSize(sizeIndex);
    SymbolGrade probe;
    probe.symbolRows = s.symbolRows;
    probe.symbolCols = s.symbolCols;
    probe.aperture = aperture.diameter(grid.moduleSize);
    const CellLevels cells = cellLevels(image, grid, probe.aperture, -1);
    probe.globalThreshold = (cells.light + cells.dark) / 2;
    const Reading reading = decodeReading(readModules(image, grid, probe), sizeIndex);
    GridReading out{reading.decoded, grid.gridNonuniformity <= kLostGridDistance, 0, 0};
    for (const BlockErrors& b : reading.correction.blocks)
        out.errors += b.errors;
    for (const ModuleReading& m : probe.modules)
        out.separation += std::abs(m.reflectance - probe.globalThreshold);
    out.separation /= static_cast<double>(std::max<size_t>(1, probe.modules.size()));
    return out;
}

// A mark's grid: the one its clock tracks give or, when the cells read better there, one with
// each cell read at its middle, as the measured outline places it or else as the corners the
// decode located place it (dots whose edges the tracking cannot follow, a textured surface).
// When none reads, the decode's own: it read the symbol there, so what does not read at it is
// the mark's quality, not a grid lost.
struct MarkGrid {
    MeasuredGrid grid;
    bool located = false;  // the decode's corners placed it
};
MarkGrid markGrid(const ReflectanceImage& image, const MeasuredGrid& tracked,
                  const Homography& located, int32_t sizeIndex, const Aperture& aperture) {
    const SymbolSize& s = symbolSize(sizeIndex);
    MeasuredGrid atLocated = tracked;
    atLocated.outline = located;
    const std::array<MeasuredGrid, 3> candidates{
        tracked, cellCentredGrid(tracked, s.symbolRows, s.symbolCols),
        cellCentredGrid(atLocated, s.symbolRows, s.symbolCols)};
    size_t best = 0;
    GridReading bestReading = readAt(image, candidates[0], sizeIndex, aperture);
    for (size_t k = 1; k < candidates.size(); ++k) {
        const GridReading reading = readAt(image, candidates[k], sizeIndex, aperture);
        if (reading.betterThan(bestReading)) {
            best = k;
            bestReading = reading;
        }
    }
    if (!bestReading.decoded)
        best = candidates.size() - 1;
    return {candidates[best], best == candidates.size() - 1};
}

// A print's grid: the one its clock tracks give, or the regular grid of its measured outline when
// the modules read clearly better there. Under a heavy blur the tracking can follow an edge a
// third of a module off along some rows, and every module of those rows would be graded at the
// blur's edge; a print whose rows or columns really bow reads worse at the regular grid.
MeasuredGrid printGrid(const ReflectanceImage& image, MeasuredGrid tracked, int32_t sizeIndex,
                       const Aperture& aperture) {
    // The regular grid wins on the same codeword errors only when the modules read this much
    // farther from the threshold, so that a clean print keeps the grid it tracked.
    constexpr double kClearlyFarther = 1.1;
    const SymbolSize& s = symbolSize(sizeIndex);
    MeasuredGrid regular = cellCentredGrid(tracked, s.symbolRows, s.symbolCols);
    const GridReading atTracked = readAt(image, tracked, sizeIndex, aperture);
    const GridReading atRegular = readAt(image, regular, sizeIndex, aperture);
    const bool better =
        atRegular.decoded && (!atTracked.decoded || atRegular.errors < atTracked.errors ||
                              (atRegular.errors == atTracked.errors &&
                               atRegular.separation > kClearlyFarther * atTracked.separation));
    return better ? std::move(regular) : std::move(tracked);
}

// Grades the symbol in image, where its modules are dark (the negative of the picture as taken
// when it was printed light on dark, inverted).
SymbolGrade grade(const ReflectanceImage& image, const SymbolCorners& corners, int32_t sizeIndex,
                  const Aperture& aperture, GradingMode mode, bool inverted) {
    SymbolGrade out = notLocated();
    out.mode = mode;
    if (!isValidSizeIndex(sizeIndex) || image.width <= 0)
        return out;
    const bool mark = mode == GradingMode::DirectPartMark;
    const SymbolSize& s = symbolSize(sizeIndex);
    const int32_t rows = s.symbolRows;
    const int32_t cols = s.symbolCols;
    // A direct part mark's grid is measured with the gaps between its dots closed, around the
    // located symbol.
    PixelBox around{image.width, image.height, 0, 0};
    const double reach = 3 * cornerModuleSize(corners, rows, cols);
    for (const ImagePoint& p : corners) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y))
            continue;
        const auto clampTo = [](double v, int32_t hi) {  // NaN to 0
            return v >= 0 ? static_cast<int32_t>(std::min(v, static_cast<double>(hi))) : 0;
        };
        around.x0 = std::min(around.x0, clampTo(std::floor(p.x - reach), image.width));
        around.y0 = std::min(around.y0, clampTo(std::floor(p.y - reach), image.height));
        around.x1 = std::max(around.x1, clampTo(std::ceil(p.x + reach), image.width));
        around.y1 = std::max(around.y1, clampTo(std::ceil(p.y + reach), image.height));
    }
    auto grid = measureFromCorners(
        mark ? closedDarkGaps(image, dotGapWidth(cornerModuleSize(corners, rows, cols)), around)
             : image,
        corners, sizeIndex, rows, cols);
    if (!grid) {
        SymbolGrade failed = gridNotMeasured(image, corners, sizeIndex, aperture);
        failed.mode = mode;
        if (mark)  // cell contrast needs the cells
            failed.parameters[static_cast<size_t>(Parameter::CellContrast)] = {
                Parameter::CellContrast, 0, 0, false};
        return failed;
    }
    out.located = true;
    out.sizeIndex = sizeIndex;
    out.symbolRows = rows;
    out.symbolCols = cols;
    bool gridOfTheDecode = false;
    if (mark) {
        if (const auto located = symbolToImage(corners, cols, rows)) {
            MarkGrid chosen = markGrid(image, *grid, *located, sizeIndex, aperture);
            grid = std::move(chosen.grid);
            gridOfTheDecode = chosen.located;
        }
    } else {
        grid = printGrid(image, std::move(*grid), sizeIndex, aperture);
    }
    out.moduleSize = grid->moduleSize;
    out.aperture = aperture.diameter(grid->moduleSize);
    out.printGrowthX = grid->growthX;
    out.printGrowthY = grid->growthY;
    auto [high, low] = reflectanceExtremes(image, grid->outline, rows, cols, out.aperture);
    double threshold = (high + low) / 2;
    // A mark's dark cells are read where their dots' ink lies, which a stylus places off the
    // cells' middles: the cells that the symbol's reading at the grid says are dark, else those
    // read dark there.
    if (mark) {
        SymbolGrade probe;
        probe.symbolRows = rows;
        probe.symbolCols = cols;
        probe.aperture = out.aperture;
        probe.globalThreshold = threshold;
        const std::vector<uint8_t> read = readModules(image, *grid, probe);
        const Reading first = decodeReading(read, sizeIndex);
        grid = inkCentredGrid(image, *grid, first.known ? first.ideal : read, rows, cols, threshold,
                              low);
    }
    double contrast = high - low;
    // A direct part mark: its minimum reflectance is the mean light of its cells as the
    // picture shows them, against the picture's brightest area; then the picture is exposed to
    // put the mean light at the target, and the threshold lies halfway between the light and
    // dark cells' means, whose difference the cells' modulation is measured against.
    double minimumReflectance = 0;
    ReflectanceImage exposedImage;
    if (mark) {
        // A mark made light on dark is read on its negative, but its light cells, exposure and
        // minimum reflectance are those of the picture as taken: the negative's dark cells.
        const auto asTaken = [inverted](CellLevels read) {
            return inverted ? CellLevels{1 - read.dark, 1 - read.light} : read;
        };
        const auto exposedValue = [&](double r) {  // a reflectance of image, exposed
            return inverted ? 1 - std::min(1.0, (1 - r) * out.exposure)
                            : std::min(1.0, r * out.exposure);
        };
        const ReflectanceImage taken = inverted ? negative(image) : ReflectanceImage{};
        const ReflectanceImage& picture = inverted ? taken : image;
        const CellLevels seen = asTaken(cellLevels(image, *grid, out.aperture, threshold));
        const double brightest =
            brightestArea(picture, std::max<int32_t>(1, std::lround(out.aperture)));
        minimumReflectance = brightest > 0 ? seen.light / brightest : 0;
        out.exposure = seen.light > 0 ? kMeanLightTarget / seen.light : 1;
        exposedImage = exposed(picture, out.exposure);
        if (inverted)
            exposedImage = negative(exposedImage);
        const CellLevels read =
            cellLevels(exposedImage, *grid, out.aperture, exposedValue(threshold));
        const CellLevels cells = asTaken(read);
        out.meanLight = cells.light;
        out.meanDark = cells.dark;
        threshold = (read.light + read.dark) / 2;
        contrast = cells.light - cells.dark;
        // The extremes exposed alike (those of the exposed picture but where highlights beyond
        // 100 % mix with other pixels under the aperture).
        high = exposedValue(high);
        low = exposedValue(low);
    }
    const ReflectanceImage& read = mark ? exposedImage : image;
    out.maxReflectance = high;
    out.minReflectance = low;
    out.globalThreshold = threshold;
    out.corners = {grid->outline.map(0, 0), grid->outline.map(cols, 0),
                   grid->outline.map(cols, rows), grid->outline.map(0, rows)};

    const Reading reading = decodeReading(readModules(read, *grid, out), sizeIndex);
    out.decoded = reading.decoded;
    out.text = reading.text;
    out.eciSegments = reading.eciSegments;
    out.blocks = reading.correction.blocks;
    const CodewordGrades codewords = gradeModules(out, reading, contrast);
    const PatternDamage pattern = gradePattern(read, *grid, contrast, out);
    const double unused = unusedCorrection(out.blocks, reading.known);
    const Interleaving interleaving = reading.correction.interleaving;

    auto set = [&](Parameter p, double value, double grade) {
        out.parameters[static_cast<size_t>(p)] = {p, value, grade};
    };
    set(Parameter::Decode, out.decoded ? 1 : 0, out.decoded ? kBestGrade : 0);
    if (mark) {
        const double cellContrast = out.meanLight > 0 ? contrast / out.meanLight : 0;
        set(Parameter::CellContrast, cellContrast, gradeAtLeast(cellContrast, kCellContrast));
    } else {
        set(Parameter::SymbolContrast, contrast, gradeAtLeast(contrast, kSymbolContrast));
    }
    const ReserveGrade modulation = reserveGrade(codewords.modulation, sizeIndex, interleaving);
    set(Parameter::Modulation,
        restingValue(codewords.modulationValue, codewords.modulation, modulation),
        modulation.grade);
    out.lowestModulation = codewords.lowestModulation;
    const ReserveGrade margin = reserveGrade(codewords.margin, sizeIndex, interleaving);
    if (mark) {
        set(Parameter::MinimumReflectance, minimumReflectance,
            minimumReflectance >= kLeastMinimumReflectance - kSlack ? kBestGrade : 0);
    } else {
        set(Parameter::ReflectanceMargin,
            reading.known ? restingValue(codewords.marginValue, codewords.margin, margin) : 0,
            reading.known ? margin.grade : 0);
    }
    out.lowestMargin = reading.known ? codewords.lowestMargin : 0;
    set(Parameter::FixedPatternDamage, pattern.damaged, pattern.grade);
    set(Parameter::AxialNonuniformity, grid->axialNonuniformity,
        gradeAtMost(grid->axialNonuniformity, kAxialNonuniformity));
    set(Parameter::GridNonuniformity, grid->gridNonuniformity,
        gradeAtMost(grid->gridNonuniformity, kGridNonuniformity));
    set(Parameter::UnusedErrorCorrection, unused,
        out.decoded ? gradeAtLeast(unused, kUnusedCorrection) : 0);
    out.status = readingStatus(reading);
    // A symbol that runs off the picture, or does not read at centres where its clock tracks
    // read wrong or that lie more than a module from the regular grid, was not measured at its
    // grid: the tracking lost the edges, and the parameters would grade that, not the print.
    if (offPicture(out.modules))
        out.gridFailure = GridFailure::OffPicture;
    else if (!reading.decoded && !gridOfTheDecode &&
             (pattern.clocksWrong > kLostClockShare || grid->gridNonuniformity > kLostGridDistance))
        out.gridFailure = GridFailure::GridLost;
    if (out.gridFailure != GridFailure::None) {
        markGridUnmeasured(out);
        if (mark)  // the cells were read at the lost grid
            out.parameters[static_cast<size_t>(Parameter::CellContrast)] = {Parameter::CellContrast,
                                                                            0, 0, false};
    }
    out.overall = kBestGrade;
    for (const ParameterGrade& p : out.parameters)
        out.overall = std::min(out.overall, p.grade);
    return out;
}

}  // namespace

std::string_view parameterName(Parameter parameter, GradingMode mode) {
    if (mode == GradingMode::DirectPartMark) {
        if (parameter == Parameter::CellContrast)
            return "Cell contrast";
        if (parameter == Parameter::CellModulation)
            return "Cell modulation";
        if (parameter == Parameter::MinimumReflectance)
            return "Minimum reflectance";
    }
    switch (parameter) {
        case Parameter::Decode:
            return "Decode";
        case Parameter::SymbolContrast:
            return "Symbol contrast";
        case Parameter::Modulation:
            return "Modulation";
        case Parameter::ReflectanceMargin:
            return "Reflectance margin";
        case Parameter::FixedPatternDamage:
            return "Fixed pattern damage";
        case Parameter::AxialNonuniformity:
            return "Axial non-uniformity";
        case Parameter::GridNonuniformity:
            return "Grid non-uniformity";
        case Parameter::UnusedErrorCorrection:
            return "Unused error correction";
    }
    return "";
}

std::string_view gridFailureText(GridFailure failure) {
    switch (failure) {
        case GridFailure::None:
            return "";
        case GridFailure::OutlineNotFound:
            return "the outer edges of the finder and clock tracks were not found";
        case GridFailure::GridLost:
            return "the clock tracks could not be followed: the symbol does not read at the "
                   "centres they gave";
        case GridFailure::OffPicture:
            return "part of the symbol lies outside the picture";
    }
    return "";
}

char gradeLetter(double grade) {
    return grade >= 3.5 ? 'A' : grade >= 2.5 ? 'B' : grade >= 1.5 ? 'C' : grade >= 0.5 ? 'D' : 'F';
}

Aperture defaultAperture(GradingMode mode) {
    constexpr double kMarkApertureShare = 0.5;
    return mode == GradingMode::DirectPartMark ? Aperture{kMarkApertureShare} : Aperture{};
}

SymbolGrade gradeSymbol(const ImageView& image, const SymbolCorners& corners, int32_t sizeIndex,
                        bool inverted, Light light, Aperture aperture, GradingMode mode) {
    try {
        ReflectanceImage reflectance = reflectanceOf(image, light);
        if (inverted)
            reflectance = negative(reflectance);
        return grade(reflectance, corners, sizeIndex, aperture, mode, inverted);
    } catch (const std::bad_alloc&) {
        return notLocated();
    }
}

SymbolGrade gradeDecoded(const ImageView& image, const DecodeResult& decode, Light light,
                         Aperture aperture, GradingMode mode) {
    try {
        const ReflectanceImage reflectance = reflectanceOf(image, light);
        const auto gradeAt = [&](const SymbolCorners& corners, int32_t sizeIndex, bool inverted) {
            return inverted ? grade(negative(reflectance), corners, sizeIndex, aperture, mode, true)
                            : grade(reflectance, corners, sizeIndex, aperture, mode, false);
        };
        std::optional<SymbolGrade> atDecode;
        if (decode.corners && decode.sizeIndex >= 0) {
            atDecode = gradeAt(*decode.corners, decode.sizeIndex, decode.inverted);
            if (decode.decoded || atDecode->decoded)
                return *atDecode;
        }
        // The outlines the search samples like a symbol, until one reads.
        SymbolGrade found;
        if (searchOutlines(reflectance, [&](const OutlineCandidate& outline) {
                found = gradeAt(outline.corners, outline.sizeIndex, outline.inverted);
                return found.decoded && found.gridFailure == GridFailure::None;
            }))
            return found;
        // An outline whose reading does not decode may be no symbol at all (a frame, a patch of
        // texture): only the decode's own measurement counts then.
        return atDecode ? std::move(*atDecode) : notLocated();
    } catch (const std::bad_alloc&) {
        return notLocated();
    }
}

SymbolGrade gradeImage(const ImageView& image, Light light, GradingMode mode) {
    return gradeDecoded(image, decodeImage(image), light, defaultAperture(mode), mode);
}

}  // namespace dm
