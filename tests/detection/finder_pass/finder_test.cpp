#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "detection/finder_pass/finder_candidate.h"
#include "detection/finder_pass/finder_internals.h"
#include "detection/finder_pass/finder_search.h"
#include "detection/shared/decoder_records.h"
#include "symbology/symbol_size.h"
#include "tests/support/frame_synth.h"
#include "tests/support/gray_frame.h"
#include "tests/support/printers.h"
#include "tests/support/sweeps.h"
#include "tests/support/symbol_builders.h"

namespace dm {
namespace {

using test::GrayFrame;

struct FinderRun {
    bool found = false;
    DecodeStatus status = DecodeStatus::Success;
    DetectionContext context;
};

FinderRun runFinder(GrayFrame& frame) {
    FinderRun run;
    run.context.image = &frame.image;
    run.found = findFinder(run.status, run.context);
    return run;
}

// Square size index i filled to capacity with 'A'.
test::TestSymbol squareSymbol(int sizeIndex) {
    return test::symbolFor(sizeIndex, test::letters(symbolSize(sizeIndex).dataCodewords, 0));
}

// A frame without an L gives no finder and says how far the search got (the thick square's
// stage is left open).
TEST(FindFinder, FramesWithoutAnLReportHowFarTheSearchGot) {
    struct Case {
        const char* name;
        int x0, y0, x1, y1;  // a dark rectangle on light
        DecodeStatus status;
        std::optional<SearchResult> result;
    };
    const Case cases[] = {
        {"empty frame", 0, 0, 0, 0, DecodeStatus::NoFinder, SearchResult::NothingFound},
        {"thick dark square", 110, 70, 210, 170, DecodeStatus::NoFinder, std::nullopt},
        {"lone arm: one solid bar, 8 px thick, 200 px long", 60, 116, 260, 124,
         DecodeStatus::NoFinderAfterFirstArm, SearchResult::FirstArm},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GrayFrame frame(320, 240, 200, 100);
        frame.fill(c.x0, c.y0, c.x1, c.y1, 20);
        const FinderRun run = runFinder(frame);
        EXPECT_FALSE(run.found);
        EXPECT_EQ(run.status, c.status);
        if (c.result) {
            EXPECT_EQ(run.context.searchResult, *c.result);
        }
    }
}

TEST(FindFinder, UprightSymbolGivesTheSolidRowEndAsXEnd) {
    const test::TestSymbol symbol = squareSymbol(7);  // 24 x 24
    GrayFrame frame(test::synthesiseFrame(symbol.matrix, 24, 24, {}), 125);
    const FinderRun run = runFinder(frame);
    ASSERT_TRUE(run.found);
    EXPECT_EQ(run.context.searchResult, SearchResult::FinderFound);
    // Gray rows run bottom-up: the corner is the lowest, leftmost point of the three.
    EXPECT_LT(run.context.corner.y, run.context.yEnd.y - 100);
    EXPECT_GT(run.context.xEnd.x, run.context.corner.x + 100);
    EXPECT_NEAR(run.context.xEnd.y, run.context.corner.y, 2);
    EXPECT_NEAR(run.context.yEnd.x, run.context.corner.x, 2);
    EXPECT_EQ(run.context.moduleSize, 6);
}

// A horizontal dark bar of the given thickness from x = 20 to 179 on light, in a frame of
// 200 x 100; the arm runs along its middle row.
struct BarCase {
    GrayFrame frame{200, 100, 200, 100};
    DetectionContext context;
    Segment arm;

    BarCase(int top, int thickness) {
        frame.fill(20, top, 180, top + thickness, 20);
        context.image = &frame.image;
        const int mid = top + thickness / 2;
        arm = {{170, mid}, {30, mid}, 0, 141};
    }
};

// A first arm needs 30 steps and 8 modules; a second may be as short as 20 steps and 7.
TEST(ValidateArm, NeedsEnoughStepsAndEightModules) {
    struct Case {
        int length;
        int thickness;
        bool second;
        bool valid;
    };
    const Case cases[] = {{29, 3, false, false}, {30, 3, false, true}, {37, 5, false, false},
                          {38, 5, false, true},  {19, 2, true, false}, {20, 2, true, true},
                          {20, 3, true, true},   {19, 3, true, false}, {32, 5, true, false},
                          {33, 5, true, true}};
    for (const auto& [length, thickness, second, valid] : cases) {
        BarCase bar(40, thickness);
        bar.arm.length = length;
        const bool accepted =
            second ? validateArm(bar.arm, bar.context, kMinSecondArmSteps, kMinSecondArmModules)
                   : validateArm(bar.arm, bar.context);
        EXPECT_EQ(accepted, valid) << (second ? "second arm, " : "first arm, ") << "length "
                                   << length << ", thickness " << thickness;
        if (valid && !second) {
            EXPECT_EQ(bar.context.moduleSize, thickness);
        }
    }
}

TEST(ValidateArm, RejectsAnArmWithoutQuietLineBesideIt) {
    // Only hairlines of light separate the bar from dark on both sides.
    BarCase bar(41, 8);
    bar.frame.fill(0, 0, 200, 40, 20);
    bar.frame.fill(0, 50, 200, 100, 20);
    EXPECT_FALSE(validateArm(bar.arm, bar.context));

    // Light two module sizes away on one side is enough.
    BarCase oneSide(41, 8);
    oneSide.frame.fill(0, 0, 200, 40, 20);
    EXPECT_TRUE(validateArm(oneSide.arm, oneSide.context));
    EXPECT_EQ(oneSide.context.moduleSize, 8);
}

TEST(ValidateArm, ProbeOutsideTheImageRejectsAtOnce) {
    // The first probe (+y) leaves the frame although the other side is quiet.
    BarCase nearBottom(90, 8);
    EXPECT_FALSE(validateArm(nearBottom.arm, nearBottom.context));
    BarCase clear(70, 8);
    EXPECT_TRUE(validateArm(clear.arm, clear.context));
}

TEST(ValidateArm, MakesTheEndWithTheLongerCrossRunTheCorner) {
    BarCase bar(40, 6);
    bar.frame.fill(20, 40, 26, 90, 20);  // a second arm down from the left end
    bar.arm.p0 = {30, 43};
    bar.arm.p1 = {170, 43};
    EXPECT_TRUE(validateArm(bar.arm, bar.context));
    EXPECT_EQ(bar.arm.p0, (Point{30, 43}));
    bar.arm.p0 = {170, 43};
    bar.arm.p1 = {23, 43};
    EXPECT_TRUE(validateArm(bar.arm, bar.context));
    EXPECT_EQ(bar.arm.p0, (Point{23, 43}));
    EXPECT_EQ(bar.arm.p1, (Point{170, 43}));
}

TEST(OrientFinder, PutsTheEndsInTheImageAxesOrder) {
    struct Case {
        Point xEnd;
        Point corner;
        Point yEnd;
        bool swapped;
    };
    // The last: arms of a few thousand pixels must not overflow the sign test.
    const Case cases[] = {
        {{10, 0}, {0, 10}, {20, 10}, false},     {{20, 10}, {0, 10}, {10, 0}, true},
        {{100, 10}, {10, 10}, {10, 100}, false}, {{10, 100}, {10, 10}, {100, 10}, true},
        {{10, 10}, {10, 10}, {100, 10}, false},  {{10, 100}, {10, 10}, {10, 10}, false},
        {{10, 3000}, {10, 10}, {3000, 10}, true}};
    for (const auto& [xEnd, corner, yEnd, swapped] : cases) {
        DetectionContext context;
        context.xEnd = xEnd;
        context.corner = corner;
        context.yEnd = yEnd;
        orientFinder(context);
        EXPECT_EQ(context.xEnd, swapped ? yEnd : xEnd)
            << "xEnd " << xEnd.x << "," << xEnd.y << " yEnd " << yEnd.x << "," << yEnd.y;
        EXPECT_EQ(context.yEnd, swapped ? xEnd : yEnd);
    }
}

// Frames of noise, at the smallest size the search supports and at extreme proportions,
// must neither read outside the image nor report points outside it.
TEST(FindFinder, NoiseFramesStayInsideTheImage) {
    struct Size {
        int width;
        int height;
    };
    std::mt19937 rng(7);
    const Size sizes[] = {{10, 10},  {11, 10},  {10, 13}, {17, 23},   {32, 400}, {400, 32},
                          {10, 700}, {700, 10}, {64, 64}, {160, 120}, {3, 3},    {1, 9}};
    for (const auto& [w, h] : sizes) {
        for (int kind = 0; kind < 5; ++kind) {
            GrayFrame frame(w, h, 0, 100);
            std::uniform_int_distribution<int> value(0, 255);
            std::bernoulli_distribution mostlyDark(0.85);
            std::uniform_int_distribution<int> block(2, 6);
            const int b = block(rng);
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    // Noise, dark speckles of zero (which the edge follower walks) or of 40,
                    // a block pattern, or all zero.
                    const int v = kind == 0   ? value(rng)
                                  : kind == 1 ? (mostlyDark(rng) ? 0 : 255)
                                  : kind == 2 ? (mostlyDark(rng) ? 40 : 255)
                                  : kind == 3
                                      ? (((x / b + y / b * 7) * 2654435761u >> 13) & 1 ? 0 : 255)
                                      : 0;
                    frame.set(x, y, static_cast<uint8_t>(v));
                }
            }
            if (kind == 3)
                frame.image.threshold = 128;
            const FinderRun run = runFinder(frame);
            if (run.found) {
                for (const Point p : {run.context.corner, run.context.xEnd, run.context.yEnd}) {
                    EXPECT_TRUE(p.x >= 0 && p.x < w && p.y >= 0 && p.y < h)
                        << w << "x" << h << " kind " << kind;
                }
            } else {
                EXPECT_TRUE(run.status == DecodeStatus::NoFinder ||
                            run.status == DecodeStatus::NoFinderAfterFirstArm)
                    << w << "x" << h << " kind " << kind;
            }
        }
    }
}

// Seeds at the image corners with radii far beyond the frame: every scan keeps the pixels it
// examines within its row or column (the sanitizer build catches reads past the buffer).
TEST(Scans, StayWithinTheirRowOrColumn) {
    GrayFrame frame(24, 40, 200, 100);
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 24; ++x) {
            if ((x + y) % 7 < 3)
                frame.pixels[static_cast<size_t>(y) * 24 + x] = 0;
        }
    }
    DetectionContext context;
    context.image = &frame.image;
    const SearchSeed seeds[] = {{23, 39, 1000}, {0, 0, 1000},   {0, 39, 1000},
                                {23, 0, 1000},  {30, 50, 1000}, {-5, -5, 1000}};
    for (const SearchSeed seed : seeds) {
        EXPECT_FALSE(scanLeft(context, seed));
        EXPECT_FALSE(scanRight(context, seed));
        EXPECT_FALSE(scanDown(context, seed));
        EXPECT_FALSE(scanUp(context, seed));
    }
}

// Rotation sweep over the square sizes 10x10 ... 104x104 at module sizes 4 to 10 pixels.

using test::SweepCase;

struct SweepOutcome {
    bool found = false;
    std::string miss;  // empty when every point and the module size are right
};

// The first arm is searched on odd whole degrees only, so a line 1 degree off has to cover an
// arm whose direction is an even degree; and 4-pixel modules leave the corner and end
// centring too little room. Elsewhere the finder is expected to be exact.
bool isDependable(const SweepCase& c) {
    return static_cast<int>(c.angle) % 10 == 5 && c.moduleSize >= 5;
}

SweepOutcome runSweepCase(const test::TestSymbol& symbol, const SweepCase& c) {
    const int n = symbol.rows;
    // The smallest frame, at least 640 x 480, that holds the rotated symbol and its quiet zone.
    const test::SynthOptions o =
        test::fitted(n, n, {.moduleSize = c.moduleSize, .rotationDeg = c.angle});
    GrayFrame frame(test::synthesiseFrame(symbol.matrix, n, n, o), (o.dark + o.light) / 2);
    const FinderRun run = runFinder(frame);
    SweepOutcome outcome;
    outcome.found = run.found;
    if (!run.found) {
        outcome.miss = "not found, " + ::testing::PrintToString(run.status);
        return outcome;
    }
    // The corner is module (n-1, 0); the solid row ends at xEnd, the solid column at yEnd.
    struct Expected {
        const char* name;
        Point found;
        PointD truth;
    };
    for (const auto& [name, found, truth] :
         {Expected{"corner", run.context.corner, test::moduleCentreInGray(n, n, n - 1, 0, o)},
          {"xEnd", run.context.xEnd, test::moduleCentreInGray(n, n, n - 1, n - 1, o)},
          {"yEnd", run.context.yEnd, test::moduleCentreInGray(n, n, 0, 0, o)}}) {
        const double d = std::hypot(found.x - truth.x, found.y - truth.y);
        if (d > c.moduleSize)
            outcome.miss += std::string(name) + " off by " + std::to_string(d) + " px; ";
    }
    // Runs are counted in steps along a line's major axis, so the module size comes out as the
    // pitch projected on the nearer image axis.
    const double t = c.angle * std::acos(-1.0) / 180;
    const double pitch = c.moduleSize * std::max(std::abs(std::cos(t)), std::abs(std::sin(t)));
    if (std::abs(run.context.moduleSize - std::lround(pitch)) > 1) {
        outcome.miss += "moduleSize " + std::to_string(run.context.moduleSize) + " for pitch " +
                        std::to_string(pitch);
    }
    return outcome;
}

// Unoptimised (sanitizer) builds synthesise frames slowly; they check one rotation per
// combination.
#if defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__)
constexpr int kRotationsPerCombination = 4;
#else
constexpr int kRotationsPerCombination = 1;
#endif

// Every size and module size, each at four rotations a quarter turn apart; the starting
// rotation moves on by 35 degrees from one combination to the next, so all 72 rotations occur.
// DM_FULL_SWEEP runs every rotation of every combination instead.
std::vector<SweepCase> sweepCases() {
    if (test::fullSweep())
        return test::fullGrid(0, 20, 5, false);
    std::vector<SweepCase> cases;
    int combination = 0;
    for (int sizeIndex = 0; sizeIndex <= 20; ++sizeIndex) {
        for (int moduleSize = 4; moduleSize <= 10; ++moduleSize, ++combination) {
            for (int k = 0; k < kRotationsPerCombination; ++k) {
                const int angle = (5 * combination * 7 + 90 * k) % 360;
                cases.push_back({sizeIndex, static_cast<double>(moduleSize),
                                 static_cast<double>(angle), false});
            }
        }
    }
    return cases;
}

TEST(FinderSweep, LocatesTheLAcrossSizesModuleSizesAndRotations) {
    test::SweepTally found;
    test::SweepTally exact;
    test::SweepTally dependable;
    test::TestSymbol symbol;
    int symbolSizeIndex = -1;
    for (const SweepCase& c : sweepCases()) {
        if (symbolSizeIndex != c.sizeIndex) {
            symbol = squareSymbol(c.sizeIndex);
            symbolSizeIndex = c.sizeIndex;
        }
        const SweepOutcome outcome = runSweepCase(symbol, c);
        found.add(c, outcome.found ? "" : outcome.miss);
        exact.add(c, outcome.miss);
        if (isDependable(c))
            dependable.add(c, outcome.miss);
    }
    found.report("finder sweep, found");
    exact.report("finder sweep, exact");
    dependable.report("finder sweep, dependable cases exact");
    EXPECT_TRUE(dependable.misses.empty()) << dependable.misses;
    // Outside the dependable cases a few combinations (4-pixel modules at some angles) are
    // missed; these floors hold the measured rates (full sweep: 99.94% found, 99.43% exact)
    // so that a regression shows. The full sweep also misses one dependable case, 20x20 at
    // 5 pixels and 245 degrees, where data modules pass for the L.
    EXPECT_GE(found.passed, found.total * 99 / 100) << found.misses;
    EXPECT_GE(exact.passed, exact.total * 97 / 100) << exact.misses;
}

}  // namespace
}  // namespace dm
