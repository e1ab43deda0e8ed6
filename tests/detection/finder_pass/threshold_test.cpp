#include "detection/finder_pass/threshold.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "tests/support/gray_frame.h"
#include "tests/support/printers.h"

namespace dm {
namespace {

using test::GrayFrame;

TEST(Threshold, UniformAndTwoLevelFrames) {
    // All black: T = 0 at once, so every pixel counts as dark.
    EXPECT_EQ(computeThreshold(GrayFrame(64, 48, 0).image, 0), 255);
    // All white: T = 255, every pixel light.
    EXPECT_EQ(computeThreshold(GrayFrame(64, 48, 255).image, 0), 254);
    // Half 40, half 200: the midpoint is already balanced.
    GrayFrame half(64, 48, 40);
    half.fill(0, 24, 64, 48, 200);
    EXPECT_EQ(computeThreshold(half.image, 0), 119);
}

// Three nested areas: the central half holds 100 and 140, the ring out to the central three
// quarters holds 20, the outer ring 250. Each variant must see exactly its own area.
TEST(Threshold, VariantsSampleTheirOwnAreas) {
    GrayFrame f(128, 128, 250);
    f.fill(16, 16, 112, 112, 20);
    f.fill(32, 32, 96, 64, 100);
    f.fill(32, 64, 96, 96, 140);
    // Central half only: 100 and 140 balance at 120.
    EXPECT_EQ(computeThreshold(f.image, 1), 119);
    // Central three quarters: 20 against the mean of 100 and 140 settles at T = 70.
    EXPECT_EQ(computeThreshold(f.image, 2), 69);
    // Whole frame: the class means give m = 267, T alternates between 133 and 134 until the
    // adjustment limit stops it at 133.
    EXPECT_EQ(computeThreshold(f.image, 0), 132);
}

TEST(Threshold, SparseSamplesFallBackToTheSampledRange) {
    // 10 x 10 samples 9 pixels, so no level reaches more than 10 samples.
    GrayFrame flat(10, 10, 50);
    EXPECT_EQ(computeThreshold(flat.image, 0), 49);
    GrayFrame split(10, 10, 30);
    split.fill(0, 5, 10, 10, 90);
    EXPECT_EQ(computeThreshold(split.image, 0), 59);
    // Nothing sampled (the central half of a 1 x 1 frame is empty): full range, no classes.
    EXPECT_EQ(computeThreshold(GrayFrame(1, 1, 0).image, 1), 126);
    EXPECT_EQ(computeThreshold(GrayImage{}, 0), 126);
}

// The mean-of-means rule recomputed level by level at every adjustment, as plainly as it reads,
// on random two- and three-level frames with noise: the threshold must match.
TEST(Threshold, MatchesThePlainMeanOfMeansRule) {
    auto plain = [](const std::vector<uint8_t>& pixels, int width, int height) {
        std::vector<uint32_t> hist(256);
        for (int y = 0; y < height; y += 4) {
            for (int x = 0; x < width; x += 4)
                ++hist[pixels[static_cast<size_t>(y) * width + x]];
        }
        int lo = 0, hi = 255;
        while (lo < 256 && hist[lo] <= 10)
            ++lo;
        while (hi >= 0 && hist[hi] <= 10)
            --hi;
        if (lo == 256) {  // no level above 10 samples: the sampled range bounds the search
            lo = 0;
            hi = 255;
            while (hist[lo] == 0)
                ++lo;
            while (hist[hi] == 0)
                --hi;
        }
        int t = (lo + hi) / 2;
        for (int n = 0; n < 128; ++n) {
            uint64_t c1 = 0, c2 = 0, s1 = 0, s2 = 0;
            for (int v = 0; v < 256; ++v) {
                (v < t ? c1 : c2) += hist[v];
                (v < t ? s1 : s2) += static_cast<uint64_t>(v) * hist[v];
            }
            if (c1 == 0 || c2 == 0 || static_cast<uint64_t>(2 * t) == s1 / c1 + s2 / c2)
                break;
            t += static_cast<uint64_t>(2 * t) < s1 / c1 + s2 / c2 ? 1 : -1;
        }
        return t - 1;
    };
    uint32_t state = 12345;
    auto next = [&state](uint32_t n) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % n;
    };
    for (int trial = 0; trial < 200; ++trial) {
        GrayFrame f(96, 64, static_cast<uint8_t>(next(256)));
        const int levels[3] = {static_cast<int>(next(256)), static_cast<int>(next(256)),
                               static_cast<int>(next(256))};
        const int spread = static_cast<int>(next(40));
        for (auto& p : f.pixels) {
            const int v = levels[next(3)] + static_cast<int>(next(2 * spread + 1)) - spread;
            p = static_cast<uint8_t>(std::clamp(v, 0, 255));
        }
        ASSERT_EQ(computeThreshold(f.image, 0), static_cast<uint8_t>(plain(f.pixels, 96, 64)))
            << "trial " << trial;
    }
}

TEST(FlipRows, SwapsRowsTopToBottom) {
    for (const int rows : {10, 9, 1, 0}) {
        SCOPED_TRACE(std::to_string(rows) + " rows");
        const int cols = 3;
        std::vector<uint8_t> m(static_cast<size_t>(rows) * cols);
        std::iota(m.begin(), m.end(), 0);
        DecodeStatus status = DecodeStatus::Success;
        ASSERT_TRUE(flipRows(m, cols, rows, status));
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < cols; ++c) {
                EXPECT_EQ(m[static_cast<size_t>(r) * cols + c], (rows - 1 - r) * cols + c);
            }
        }
    }
}

TEST(FlipRows, RefusesAMatrixShorterThanItsRows) {
    std::vector<uint8_t> m(29);
    DecodeStatus status = DecodeStatus::Success;
    EXPECT_FALSE(flipRows(m, 3, 10, status));
    EXPECT_EQ(status, DecodeStatus::MissingInput);
}

}  // namespace
}  // namespace dm
