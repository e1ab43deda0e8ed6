#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "detection/finder_pass/finder_normalisation.h"
#include "detection/finder_pass/multi_region_sampling.h"
#include "detection/finder_pass/region_sampling.h"
#include "detection/finder_pass/sampling_internals.h"
#include "detection/finder_pass/symbol_measurement.h"
#include "detection/shared/decoder_records.h"
#include "symbology/symbol_size.h"
#include "tests/support/frame_synth.h"
#include "tests/support/gray_frame.h"
#include "tests/support/printers.h"
#include "tests/support/sweeps.h"
#include "tests/support/symbol_builders.h"

namespace dm {
namespace {

using test::SweepCase;

// Module matrix of size index i (encoder orientation: alternating row on top), filled with
// letters to capacity.
std::vector<uint8_t> symbolMatrix(int sizeIndex) {
    const int capacity = symbolSize(sizeIndex).dataCodewords;
    return test::symbolFor(sizeIndex, test::letters(capacity, sizeIndex < kSquareCount ? 7 : 11))
        .matrix;
}

using test::GrayFrame;

Point rounded(PointD p) {
    return {static_cast<int32_t>(std::lround(p.x)), static_cast<int32_t>(std::lround(p.y))};
}

// The finder as a perfect first stage would report it: true module centres.
DetectionContext trueFinder(GrayFrame& frame, int rows, int cols, const test::SynthOptions& o) {
    const auto centre = [&](int r, int c) {
        return rounded(test::moduleCentreInGray(rows, cols, r, c, o));
    };
    return frame.finder(centre(rows - 1, 0), centre(rows - 1, cols - 1), centre(0, 0),
                        static_cast<int32_t>(std::lround(o.moduleSize)));
}

// The smallest frame, at least 320 x 240, that holds the rotated symbol and its quiet zone.
test::SynthOptions framedOptions(int rows, int cols, double moduleSize, double angle) {
    return test::fitted(
        rows, cols, {.width = 320, .height = 240, .moduleSize = moduleSize, .rotationDeg = angle});
}

struct StageRun {
    bool ok = false;
    DecodeStatus status = DecodeStatus::Success;
    DetectionContext context;
};

StageRun runStage(DetectionContext context) {
    StageRun run;
    SamplingCache cache;
    run.ok = normaliseFinder(run.status, context, cache) && measureSymbol(run.status, context);
    run.context = std::move(context);
    return run;
}

// Runs the stage on one synthesised frame; empty when the sampled matrix equals the symbol.
std::string checkStage(const SweepCase& c) {
    const SymbolSize& size = symbolSize(c.sizeIndex);
    const int rows = size.symbolRows;
    const int cols = size.symbolCols;
    const std::vector<uint8_t> matrix = symbolMatrix(c.sizeIndex);
    test::SynthOptions o = framedOptions(rows, cols, c.moduleSize, c.angle);
    o.blurSigma = c.rough ? 0.7 : 0.0;
    o.noiseSigma = c.rough ? 6.0 : 0.0;
    o.seed = static_cast<uint32_t>(c.sizeIndex * 1000 + c.angle);
    GrayFrame frame(test::synthesiseFrame(matrix, rows, cols, o), (o.dark + o.light) / 2);
    const StageRun run = runStage(trueFinder(frame, rows, cols, o));
    if (!run.ok)
        return "status " + ::testing::PrintToString(run.status);
    if (run.context.sizeIndex != c.sizeIndex) {
        return "size index " + std::to_string(run.context.sizeIndex);
    }
    // The sampler's row 0 is the solid row, the encoder's last row.
    int wrong = 0;
    std::string first;
    for (int r = 0; r < rows; ++r) {
        for (int col = 0; col < cols; ++col) {
            const bool sampled = run.context.moduleMatrix[r * cols + col] != 0;
            const bool truth = matrix[(rows - 1 - r) * cols + col] != 0;
            if (sampled != truth && wrong++ == 0) {
                first =
                    " first at row " + std::to_string(rows - 1 - r) + " col " + std::to_string(col);
            }
        }
    }
    // With 6 x 6 regions the normalised grid has only about four positions per module; a few
    // misread modules there are left to error correction (up to 31 per block).
    const int allowed =
        regionLayout(c.sizeIndex) == RegionLayout::Square6x6 ? rows * cols / 200 : 0;
    return wrong <= allowed ? std::string() : std::to_string(wrong) + " modules wrong," + first;
}

// Every size at a handful of rotations spread over the circle, module sizes 4-10, with and
// without light blur and noise; large symbols get fewer rotations to keep the run short.
std::vector<SweepCase> quickSweep() {
    std::vector<SweepCase> cases;
    for (int i = 0; i < kFirstDmre; ++i) {
        const int side = std::max(symbolSize(i).symbolRows, symbolSize(i).symbolCols);
        const int angles = side <= 26 || i >= kSquareCount ? 8 : side <= 52 ? 4 : 2;
        for (int k = 0; k < angles; ++k) {
            const double angle = std::fmod(k * 360.0 / angles + i * 17 + 5, 360.0);
            const double moduleSize = side >= 88 ? 4 + (i + k) % 3 : 4 + (i + 3 * k) % 7;
            cases.push_back({i, moduleSize, angle, (i + k) % 2 == 1});
        }
    }
    return cases;
}

// The fast subset, or under DM_FULL_SWEEP every size, every 15 degrees, every module size 4-10,
// clean and rough.
TEST(SamplingStage, SampledMatrixEqualsTheSymbolForEverySize) {
    test::SweepTally tally;
    for (const SweepCase& c :
         test::fullSweep() ? test::fullGrid(0, kFirstDmre - 1, 15, true) : quickSweep()) {
        const std::string what = checkStage(c);
        EXPECT_EQ(what, "") << test::describe(c);
        tally.add(c, what);
    }
    tally.report("sampled exactly");
}

// Runs the stage on a symbol matrix altered by the caller, at rotation 0 and module size 8.
StageRun runAltered(const std::vector<uint8_t>& matrix, int rows, int cols,
                    void (*touchUp)(GrayFrame&, int, int, const test::SynthOptions&) = nullptr) {
    const test::SynthOptions o = framedOptions(rows, cols, 8, 0);
    GrayFrame frame(test::synthesiseFrame(matrix, rows, cols, o), (o.dark + o.light) / 2);
    if (touchUp)
        touchUp(frame, rows, cols, o);
    return runStage(trueFinder(frame, rows, cols, o));
}

TEST(SamplingStage, FarRowWithoutTimingMatchesNoSize) {
    const int n = 12;
    std::vector<uint8_t> matrix = symbolMatrix(1);
    for (int c = 1; c < n; ++c)
        matrix[c] = 0;  // encoder row 0 is the far row
    const StageRun run = runAltered(matrix, n, n);
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.status, DecodeStatus::NoSizeMatch);
    EXPECT_TRUE(run.context.moduleMatrix.empty());
}

TEST(SamplingStage, TimingModulesTooThinToCentreLoseTheGrid) {
    // Only a thin strip through the centre of each far-row timing module is left dark:
    // centring it half a finder thickness inside the outer edge lands on light.
    const StageRun run = runAltered(
        symbolMatrix(0), 10, 10,
        [](GrayFrame& frame, int rows, int cols, const test::SynthOptions& o) {
            for (int c = 2; c < cols; c += 2) {
                const PointD centre = test::moduleCentreInGray(rows, cols, 0, c, o);
                for (int y = 0; y < frame.image.height; ++y) {
                    for (int x = 0; x < frame.image.width; ++x) {
                        const double dx = std::abs(x - centre.x);
                        const double dy = std::abs(y - centre.y);
                        if (dx <= o.moduleSize / 2 + 0.5 && dy > 0.75 &&
                            dy <= o.moduleSize / 2 + 0.5) {
                            frame.pixels[static_cast<size_t>(y) * frame.image.width + x] = o.light;
                        }
                    }
                }
            }
        });
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.status, DecodeStatus::GridLost);
}

TEST(SamplingStage, BrokenInnerAlignmentRowIsAMismatch) {
    // 32 x 32: encoder row 16 is the alternating top row of the lower region row, the inner
    // row the sampler traces. Losing one of its dark modules loses one mark.
    std::vector<uint8_t> matrix = symbolMatrix(9);
    const int n = 32;
    ASSERT_EQ(matrix[16 * n + 10], 1);
    const StageRun clean = runAltered(matrix, n, n);
    ASSERT_TRUE(clean.ok) << ::testing::PrintToString(clean.status);
    matrix[16 * n + 10] = 0;
    const StageRun run = runAltered(matrix, n, n);
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.status, DecodeStatus::AlignmentMismatch);
    EXPECT_TRUE(run.context.moduleMatrix.empty());
}

TEST(FinderNormalisation, RejectsPointsOutsideShortArmsAndDegenerateFinders) {
    struct Case {
        const char* name;
        Point corner, xEnd, yEnd;
        int moduleSize;
    };
    const Case cases[] = {
        {"corner in column 0", {0, 100}, {200, 100}, {0, 300}, 4},
        {"yEnd in row 0", {100, 200}, {300, 200}, {100, 0}, 4},
        {"xEnd beyond the last column", {400, 100}, {640, 100}, {400, 300}, 4},
        {"arms of six modules", {100, 100}, {160, 100}, {100, 160}, 10},
        {"all points equal, no module size", {100, 100}, {100, 100}, {100, 100}, 0},
        {"xEnd on the corner, no module size", {100, 100}, {100, 100}, {100, 300}, 0},
    };
    for (const Case& c : cases) {
        GrayFrame frame(640, 480);
        DetectionContext context = frame.finder(c.corner, c.xEnd, c.yEnd, c.moduleSize);
        SamplingCache cache;
        DecodeStatus status = DecodeStatus::Success;
        EXPECT_FALSE(normaliseFinder(status, context, cache)) << c.name;
        EXPECT_EQ(status, DecodeStatus::FinderOutsideImage) << c.name;
        EXPECT_EQ(context.corner, c.corner) << c.name;
        EXPECT_EQ(frame.image.width, 640) << c.name;
        EXPECT_EQ(frame.image.grid, nullptr) << c.name;
    }
}

TEST(FinderNormalisation, PlacesTheFinderInTheNormalisedGrid) {
    GrayFrame frame(640, 480);
    SamplingCache cache;
    DecodeStatus status = DecodeStatus::Success;
    // Square: M = 8 half-pixels, mean arm 144: s = 308, t = 17, K = 76.
    DetectionContext square = frame.finder({100, 100}, {172, 100}, {100, 172}, 4);
    ASSERT_TRUE(normaliseFinder(status, square, cache));
    EXPECT_EQ(square.corner, (Point{76, 76}));
    EXPECT_EQ(square.xEnd, (Point{384, 76}));
    EXPECT_EQ(square.yEnd, (Point{76, 384}));
    EXPECT_EQ(frame.image.width, 1280);
    EXPECT_EQ(frame.image.height, 960);
    EXPECT_EQ(frame.image.grid, cache.grid.get());
    // The map takes the normalised corner back onto the frame (half-pixels, rounded).
    EXPECT_EQ(static_cast<int>(cache.grid->xOfU[76] + cache.grid->xOfV[76]), 200);
    EXPECT_EQ(static_cast<int>(cache.grid->yOfU[76] + cache.grid->yOfV[76]), 200);

    // Rectangle, arms 100 and 40 pixels: I = 464, J = 464 * 80 / 200 = 185.
    GrayFrame wide(640, 480);
    DetectionContext rectangle = wide.finder({100, 100}, {200, 100}, {100, 140}, 4);
    ASSERT_TRUE(normaliseFinder(status, rectangle, cache));
    EXPECT_EQ(rectangle.corner, (Point{36, 36}));
    EXPECT_EQ(rectangle.xEnd, (Point{500, 36}));
    EXPECT_EQ(rectangle.yEnd, (Point{36, 221}));

    // Exactly 2 : 1 still counts as square: both normalised arms equal.
    GrayFrame twoToOne(640, 480);
    DetectionContext even = twoToOne.finder({100, 100}, {200, 100}, {100, 150}, 4);
    ASSERT_TRUE(normaliseFinder(status, even, cache));
    EXPECT_EQ(even.xEnd.x - even.corner.x, even.yEnd.y - even.corner.y);
}

TEST(GridSample, InterpolatesHalfPixelsAndReadsOutsideAsLight) {
    // A 4 x 3 frame and an identity grid: normalised (u, v) is half-pixel (u, v).
    GrayFrame frame(4, 3);
    const uint8_t pixels[] = {0, 0, 9, 50, 0, 3, 9, 60, 7, 7, 7, 70};
    std::copy(std::begin(pixels), std::end(pixels), frame.pixels.begin());
    SamplingGrid grid;
    for (int i = 0; i < normalisedGridSize; ++i) {
        grid.xOfU[i] = static_cast<float>(i);
        grid.yOfV[i] = static_cast<float>(i) + 0.25f;
    }
    GrayImage& image = frame.image;
    image.width = 8;  // half-pixel extents, as the sampling stage sets them
    image.height = 6;
    image.grid = &grid;
    EXPECT_EQ(gridSample(image, 2, 2), 3);    // pixel (1, 1)
    EXPECT_EQ(gridSample(image, 1, 1), 0);    // 0 + 0 + 0 + 3, truncated quarter
    EXPECT_EQ(gridSample(image, 2, 5), 34);   // (9 + 60) / 2
    EXPECT_EQ(gridSample(image, 3, 2), 5);    // (3 + 7) / 2
    EXPECT_EQ(gridSample(image, 4, 6), 70);   // X = 2W - 2: the last column
    EXPECT_EQ(gridSample(image, 4, 7), 255);  // X = 2W - 1
    EXPECT_EQ(gridSample(image, 0, 2), 255);  // Y = 0
    EXPECT_EQ(gridSample(image, 2, -1), 255);
    EXPECT_EQ(gridSample(image, 2, normalisedGridSize), 255);
}

TEST(IntersectLines, CrossesLinesAndReportsDegenerateOnesAsOneOne) {
    EXPECT_EQ(intersectLines({0, 10}, {100, 10}, {40, 0}, {40, 100}), (Point{40, 10}));
    EXPECT_EQ(intersectLines({0, 0}, {100, 50}, {60, 0}, {60, 100}), (Point{60, 30}));
    EXPECT_EQ(intersectLines({5, 5}, {5, 5}, {40, 0}, {40, 100}), (Point{1, 1}));
    EXPECT_EQ(intersectLines({0, 10}, {100, 10}, {40, 7}, {60, 7}), (Point{1, 1}));
    // Parallel lines (1 - g h = 0) and crossings left of the origin.
    EXPECT_EQ(intersectLines({0, 0}, {10, 10}, {0, 5}, {10, 15}), (Point{1, 1}));
    EXPECT_EQ(intersectLines({0, 10}, {100, 10}, {-40, 0}, {-40, 100}), (Point{1, 1}));
}

TEST(TrimMarksAtCorner, DropsMarksBeyondTheFarCornerAndKeepsShortLists) {
    TimingRecord record;
    for (int k = 0; k < 6; ++k) {
        record.farRowMarks[k] = {50 + 40 * k, 450};
        record.farColumnMarks[k] = {450, 50 + 40 * k};
    }
    record.farRowMarks[6] = {500, 452};  // a blob in the quiet zone past the far corner
    record.columnCount = 14;
    record.rowCount = 12;
    trimMarksAtCorner(record);
    EXPECT_EQ(record.columnCount, 12);
    EXPECT_EQ(record.rowCount, 12);

    TimingRecord single;
    single.columnCount = 2;
    single.rowCount = 12;
    trimMarksAtCorner(single);
    EXPECT_EQ(single.columnCount, 2);
    EXPECT_EQ(single.rowCount, 12);
}

TEST(SampleRegion, WritesTheBorderAndRefusesRegionsThatDoNotFit) {
    GrayFrame frame(640, 480);
    DetectionContext context = frame.finder({100, 100}, {172, 100}, {100, 172}, 4);
    SamplingCache cache;
    DecodeStatus status = DecodeStatus::Success;
    ASSERT_TRUE(normaliseFinder(status, context, cache));
    const std::vector<Point> farColumn = {{200, 20}, {200, 60}, {200, 100}};
    const std::vector<Point> farRow = {{20, 200}, {60, 200}, {100, 200}};
    std::vector<uint8_t> modules(36, 7);
    const RegionRecord region{.image = &frame.image,
                              .origin = {20, 20},
                              .farColumnMarks = farColumn,
                              .rows = 6,
                              .farRowMarks = farRow,
                              .columns = 6,
                              .modules = modules};
    ASSERT_TRUE(sampleRegion(region));
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(modules[i * 6], 1) << i;
        EXPECT_EQ(modules[i * 6 + 5], i % 2 == 0 ? 1 : 0) << i;
        EXPECT_EQ(modules[i], 1) << i;
        EXPECT_EQ(modules[30 + i], i % 2 == 0 ? 1 : 0) << i;
    }
    EXPECT_EQ(modules[7], 0);  // the blank frame is light everywhere

    RegionRecord negative = region;
    negative.origin = {-1, 20};
    EXPECT_FALSE(sampleRegion(negative));
    RegionRecord shortMarks = region;
    shortMarks.farRowMarks = std::span<const Point>(farRow).first(2);
    EXPECT_FALSE(sampleRegion(shortMarks));
    RegionRecord shortBuffer = region;
    shortBuffer.modules = std::span<uint8_t>(modules).first(35);
    EXPECT_FALSE(sampleRegion(shortBuffer));
}

}  // namespace
}  // namespace dm
