// Fine modules (2 to 3 pixels) seen at a slant: the outline's turn and size read from how its
// sides alternate, and the frame search reading the symbols that only that finds.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "decoder/decoder.h"
#include "detection/frame_search/frame_search.h"
#include "detection/frame_search/side_alternation.h"
#include "tests/support/camera_tiers.h"
#include "tests/support/gray_frame.h"

namespace dm {
namespace {

using test::GrayFrame;

// Frames of the fine tier (seed 1) whose L the outline search takes at the wrong corner (46,
// 272, 288) or whose located corners leave every size's alternating sides reading at random
// (69); the frame search read none of them before their sides were read as a whole.
constexpr int kFineFrames[] = {46, 69, 272, 288};

// The outline given turned by each quarter and off by up to half a module at each corner: the
// best fit is the symbol's own turn and size.
TEST(SideAlternation, FindsTheTurnAndSizeOfFineModulesFromRoughCorners) {
    for (const int index : kFineFrames) {
        const test::TierFrame frame = test::tierFrame(test::Tier::FineKeystone, 1, index);
        const GrayFrame view(frame.dib, false);
        BinaryFrame binary;
        ASSERT_TRUE(thresholdLocally(view.image, binary));
        const std::array<PointD, 2> offsets{{{0.0, 0.0}, {1.0, -0.8}}};
        for (size_t turn = 0; turn < 4; ++turn) {
            for (const PointD offset : offsets) {
                std::array<PointD, 4> rough;
                for (size_t k = 0; k < 4; ++k)
                    rough[k] =
                        frame.corners[(k + turn) % 4] + (k % 2 == 0 ? offset : -1.0 * offset);
                const auto fits = alternatingFits(binary, rough, 3.5, 2);
                ASSERT_FALSE(fits.empty()) << frame.description << ", turn " << turn;
                EXPECT_EQ(fits.front().sizeIndex, frame.sizeIndex)
                    << frame.description << ", turn " << turn;
                for (size_t k = 0; k < 4; ++k) {
                    EXPECT_LT(length(fits.front().corners[k] - frame.corners[k]), 2.5)
                        << frame.description << ", turn " << turn << ", corner " << k;
                }
            }
        }
    }
}

// The L's sides must read dark: a frame of light ground alone, or of random modules, gives no
// fit whichever way the outline is taken.
TEST(SideAlternation, GivesNothingWithoutTheFinder) {
    const test::TierFrame frame = test::tierFrame(test::Tier::FineKeystone, 1, 0);
    const GrayFrame view(frame.dib, false);
    BinaryFrame binary;
    ASSERT_TRUE(thresholdLocally(view.image, binary));
    // The symbol's inner half: its data modules, no finder side.
    std::array<PointD, 4> inner;
    PointD centre{0, 0};
    for (const PointD& p : frame.corners)
        centre = centre + 0.25 * p;
    for (size_t k = 0; k < 4; ++k)
        inner[k] = centre + 0.5 * (frame.corners[k] - centre);
    EXPECT_TRUE(alternatingFits(binary, inner, 3.5, 2).empty()) << frame.description;
}

TEST(FrameSearch, ReadsFineModulesByTheAlternationOfTheirSides) {
    for (const int index : kFineFrames) {
        const test::TierFrame frame = test::tierFrame(test::Tier::FineKeystone, 1, index);
        const GrayFrame view(frame.dib, false);
        FrameSearchBuffers buffers;
        DecodeState state;
        const FrameSearchResult r = searchWholeFrame(
            view.image, FinderTurn::PlusXToPlusY, buffers,
            [&](std::span<const uint8_t> matrix, int sizeIndex, bool speculative,
                const SampledLevels* sampled, DecodeStatus& s) {
                return decodeSearchedMatrix(matrix, sizeIndex, speculative, sampled, state, s);
            });
        ASSERT_TRUE(r.decoded) << frame.description;
        EXPECT_EQ(std::string(state.text.begin(), state.text.end()), frame.message)
            << frame.description;
        // The outline read is the symbol's, in its own turn.
        for (size_t k = 0; k < 4; ++k)
            EXPECT_LT(length(r.corners[k] - frame.corners[k]), 1.5) << frame.description;
    }
}

}  // namespace
}  // namespace dm
