#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "detection/frame_search/local_threshold.h"
#include "detection/shared/decoder_records.h"
#include "tests/support/gray_frame.h"

namespace dm {
namespace {

using test::GrayFrame;

// Stripes of 2 pixels dark, 2 light and 4 mid (period 8, one per tile) over light levels that
// fall down the frame, with noise up to `noise`; colour channels differ so a swapped channel
// shows. Rows are stored bottom-up and padded.
GrayFrame stripedFrame(int width, int height, int bytesPerPixel, int noise) {
    std::mt19937 rng(1);
    const int32_t stride = width * bytesPerPixel + 3;  // padded rows
    std::vector<uint8_t> bytes(static_cast<size_t>(stride) * height);
    for (int y = 0; y < height; ++y) {
        const int light = 250 - 180 * y / height;
        for (int x = 0; x < width; ++x) {
            const int level = x % 8 < 2 ? light - 60 : x % 8 < 4 ? light : light - 30;
            for (int c = 0; c < bytesPerPixel; ++c)
                bytes[static_cast<size_t>(y) * stride + x * bytesPerPixel + c] =
                    static_cast<uint8_t>(
                        std::clamp(level - 8 * c + int(rng() % (noise + 1)), 0, 255));
        }
    }
    return GrayFrame(std::move(bytes), width, height, bytesPerPixel, stride, true);
}

// The gray copy, its smoothing and the dark map agree pixel by pixel with their definitions on
// frames of every pixel format and of sizes that leave partial tiles and odd 2 x 2 blocks, also
// when the buffers last held a frame of another size.
TEST(LocalThreshold, GraySmoothAndDarkMapFollowTheirDefinitions) {
    const struct { int width, height; } sizes[] = {{64, 48}, {67, 45}, {41, 33}, {10, 2}, {2, 17}};
    BinaryFrame reused;
    (void)thresholdLocally(stripedFrame(100, 90, 3, 20).image, reused);
    for (const auto& size : sizes) {
        for (const int bpp : {1, 3, 4}) {
            const GrayFrame frame = stripedFrame(size.width, size.height, bpp, 6);
            const GrayImage& image = frame.image;
            BinaryFrame fresh;
            const bool found = thresholdLocally(image, fresh);
            ASSERT_EQ(thresholdLocally(image, reused), found);
            EXPECT_EQ(fresh.gray, reused.gray);
            EXPECT_EQ(fresh.smooth, reused.smooth);
            if (found) {
                EXPECT_EQ(fresh.dark, reused.dark);
                EXPECT_EQ(fresh.tileThreshold, reused.tileThreshold);
            }

            const int w = size.width;
            const int h = size.height;
            auto gray = [&](int x, int y) {
                return int{fresh.gray[std::clamp(y, 0, h - 1) * w + std::clamp(x, 0, w - 1)]};
            };
            int faults = 0;
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    const int i = y * w + x;
                    const uint8_t* p = frame.pixels.data() +
                                       static_cast<size_t>(h - 1 - y) * (w * bpp + 3) + x * bpp;
                    faults += fresh.gray[i] != (bpp == 1 ? p[0] : grayOfBgr(p));
                    int sum = 0;
                    for (int dy = -1; dy <= 1; ++dy) {
                        for (int dx = -1; dx <= 1; ++dx)
                            sum += (2 - dx * dx) * (2 - dy * dy) * gray(x + dx, y + dy);
                    }
                    faults += fresh.smooth[i] != (sum + 8) / 16;
                    if (found)
                        faults +=
                            (fresh.dark[i] != 0) != (fresh.smooth[i] < fresh.thresholdAt(x, y));
                }
            }
            EXPECT_EQ(faults, 0) << size.width << "x" << size.height << ", " << bpp << " bytes";
        }
    }
}

// A last column of tiles one pixel wide has no 2 x 2 block of its own and takes the statistics
// of its left neighbour. On stripes that repeat every tile, every row of tiles then thresholds
// alike away from the left edge (whose repeated pixels change the first tile), however the light
// changes down the frame.
TEST(LocalThreshold, OnePixelLastColumnTakesItsLeftNeighbour) {
    for (const int width : {65, 641}) {
        const GrayFrame frame = stripedFrame(width, 81, 1, 0);
        BinaryFrame f;
        ASSERT_TRUE(thresholdLocally(frame.image, f));
        for (int y = 0; y < f.height; y += kThresholdTile) {
            for (int x = 3 * kThresholdTile; x < width; x += kThresholdTile)
                EXPECT_EQ(f.thresholdAt(x, y), f.thresholdAt(3 * kThresholdTile, y))
                    << width << ": " << x << ", " << y;
        }
    }
}

// The negative: levels inverted, and dark exactly where a textured tile's pixel was light; a
// second inversion gives the frame back.
TEST(LocalThreshold, NegativeIsTheLightOfTexturedTiles) {
    const GrayFrame frame = stripedFrame(67, 45, 3, 6);
    BinaryFrame f;
    ASSERT_TRUE(thresholdLocally(frame.image, f));
    const BinaryFrame original = f;
    invertFrame(f);
    int faults = 0;
    for (int y = 0; y < f.height; ++y) {
        for (int x = 0; x < f.width; ++x) {
            const size_t i = static_cast<size_t>(y) * f.width + x;
            const bool textured = original.thresholdAt(x, y) != 0;
            faults += f.gray[i] != 255 - original.gray[i];
            faults += (f.dark[i] != 0) != (textured && original.dark[i] == 0);
        }
    }
    EXPECT_EQ(faults, 0);
    invertFrame(f);
    EXPECT_EQ(f.gray, original.gray);
    EXPECT_EQ(f.smooth, original.smooth);
    EXPECT_EQ(f.dark, original.dark);
}

// Dark squares of 4 pixels in a row, 4 pixels apart, and one 12 pixels further on: closed with
// radius 3, the near gaps fill and the far one stays light; joined instead, the dark map stays
// as it was and only the map of regions fills the near gaps.
TEST(LocalThreshold, ClosingFillsGapsUpToTwiceTheRadius) {
    GrayFrame frame(96, 32, 220);
    for (const int x : {8, 16, 24, 32, 48})
        frame.fill(x, 12, x + 4, 16, 20);
    BinaryFrame f;
    ASSERT_TRUE(thresholdLocally(frame.image, f));
    const std::vector<uint8_t> plain = f.dark;
    auto darkAt = [&](const std::vector<uint8_t>& map, int x) {
        return map[static_cast<size_t>(14) * f.width + x] != 0;
    };
    for (const int x : {13, 21, 29})
        ASSERT_FALSE(darkAt(plain, x));
    closeDarkMap(f, 3);
    for (const int x : {13, 21, 29})
        EXPECT_TRUE(darkAt(f.dark, x)) << x;
    EXPECT_FALSE(darkAt(f.dark, 42));
    EXPECT_FALSE(darkAt(f.dark, 4));  // no growth beyond the first square but the pixel kept
    connectDarkRegions(f, 3);
    EXPECT_EQ(f.dark, plain);
    for (const int x : {13, 21, 29})
        EXPECT_TRUE(darkAt(f.connected, x)) << x;
    EXPECT_FALSE(darkAt(f.connected, 42));
    // Joined within a window, the gaps outside it stay light.
    connectDarkRegions(f, 3, {18, 0, 96, 32});
    EXPECT_FALSE(darkAt(f.connected, 13));
    for (const int x : {21, 29})
        EXPECT_TRUE(darkAt(f.connected, x)) << x;
    // Thresholding again forgets the joined map.
    ASSERT_TRUE(thresholdLocally(frame.image, f));
    EXPECT_TRUE(f.connected.empty());
}

// Dots are closed into one region while a long streak beside them is left out; closing
// everything would join the streak to the dots.
TEST(LocalThreshold, DotClosingLeavesStreaksAndGrainOut) {
    GrayFrame frame(128, 128, 220);
    for (int x = 8; x < 80; x += 8)
        frame.fill(x, 60, x + 4, 64, 20);  // dots of 4 pixels, a pitch of 8
    frame.fill(8, 68, 120, 70, 40);        // a streak 3 pixels below the dots
    BinaryFrame f;
    ASSERT_TRUE(thresholdLocally(frame.image, f));
    auto darkAt = [&](int x, int y) { return f.dark[static_cast<size_t>(y) * f.width + x] != 0; };
    ASSERT_TRUE(darkAt(50, 69));
    std::vector<int32_t> work;
    closeDotMap(f, 3, 4, work);
    for (const int x : {14, 30, 62})
        EXPECT_TRUE(darkAt(x, 62)) << x;  // the gaps between dots
    EXPECT_FALSE(darkAt(50, 69));
    EXPECT_FALSE(darkAt(14, 66));  // between the dots and where the streak was
    closeDarkMap(f, 3);
    EXPECT_TRUE(darkAt(14, 66));
}

// Dots a pitch apart along a steep diagonal (7 pixels across, 9 down) are joined by the dot
// closings as those along a row are: a square reaches further along the diagonals while
// dilating but takes such a bridge back while eroding. Dots two pitches apart stay apart.
TEST(LocalThreshold, DotClosingsJoinDotsAlongADiagonal) {
    GrayFrame frame(112, 96, 220);
    for (int k = 0; k < 5; ++k)
        frame.fill(16 + 7 * k, 16 + 9 * k, 21 + 7 * k, 21 + 9 * k, 20);
    frame.fill(66, 16, 71, 21, 20);  // two dots 17 pixels apart
    frame.fill(88, 16, 93, 21, 20);
    BinaryFrame f;
    ASSERT_TRUE(thresholdLocally(frame.image, f));
    auto darkAt = [&](int x, int y) { return f.dark[static_cast<size_t>(y) * f.width + x] != 0; };
    auto expectJoined = [&](const char* closing) {
        for (int k = 0; k < 4; ++k) {
            // The two pixels nearest the middle between dot k and dot k + 1.
            const int x = 21 + 7 * k, y = 22 + 9 * k;
            EXPECT_TRUE(darkAt(x, y) && darkAt(x + 1, y + 1))
                << closing << ", between dots " << k << " and " << k + 1;
        }
        EXPECT_FALSE(darkAt(79, 18)) << closing;  // between the two dots 17 pixels apart
    };
    closeDarkMap(f, 5);
    expectJoined("all regions");
    std::vector<int32_t> work;
    closeDotMap(f, 5, 5, work);
    expectJoined("dot regions");
}

// A low-contrast random pattern (modules of 8 pixels, 40 levels darker than the ground) inside a
// frame of near-black ink a module out: the frame's tile windows put the modules near it on the
// light side. Thresholded within the frame's inside, every module reads as drawn and the ink,
// outside the quadrilateral, is light; so is a dark patch beyond it.
TEST(LocalThreshold, WithinAFrameTheInkLeavesTheThresholdsAlone) {
    GrayFrame frame(320, 240, 170);   // mostly plain, as a part around a mark is
    frame.fill(16, 16, 136, 20, 30);  // the frame, 4 pixels thick
    frame.fill(16, 132, 136, 136, 30);
    frame.fill(16, 16, 20, 136, 30);
    frame.fill(132, 16, 136, 136, 30);
    frame.fill(0, 0, 8, 8, 30);
    std::mt19937 rng(1);
    std::vector<uint8_t> modules(144);
    for (uint8_t& m : modules)
        m = static_cast<uint8_t>(rng() % 2);
    auto etched = [&](int r, int c) { return modules[static_cast<size_t>(r) * 12 + c] != 0; };
    for (int r = 0; r < 12; ++r) {
        for (int c = 0; c < 12; ++c) {
            if (etched(r, c))
                frame.fill(28 + 8 * c, 28 + 8 * r, 36 + 8 * c, 36 + 8 * r, 130);
        }
    }
    BinaryFrame f;
    ASSERT_TRUE(thresholdLocally(frame.image, f));
    auto darkAt = [&](int x, int y) { return f.dark[static_cast<size_t>(y) * f.width + x] != 0; };
    auto wrongModules = [&] {
        int wrong = 0;
        for (int r = 0; r < 12; ++r) {
            for (int c = 0; c < 12; ++c)
                wrong += darkAt(32 + 8 * c, 32 + 8 * r) != etched(r, c);
        }
        return wrong;
    };
    ASSERT_GT(wrongModules(), 0);  // the fault the thresholds within mend
    thresholdWithin(f, {{{22, 22}, {129, 22}, {129, 129}, {22, 129}}});
    EXPECT_EQ(wrongModules(), 0);
    for (const int k : {17, 80, 134}) {
        EXPECT_FALSE(darkAt(k, 17)) << k;
        EXPECT_FALSE(darkAt(17, k)) << k;
    }
    EXPECT_FALSE(darkAt(3, 3));
    EXPECT_TRUE(f.connected.empty());
}

}  // namespace
}  // namespace dm
