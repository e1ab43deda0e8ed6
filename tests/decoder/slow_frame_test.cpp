#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "decoder/frame_intake.h"
#include "tests/support/frame_synth.h"
#include "tests/support/printers.h"

namespace dm {
namespace {

// The slowest frame the frame fuzzer found in a ten-minute run: 112 x 1023 pixels, 32 bits,
// its pixel bytes a 232-byte pattern (given here as runs of equal bytes) tiled over the frame,
// as the fuzz target builds frames. Tall dark and light bands give the finder many candidates
// along its long vertical scans. Every walk is bounded, so it must finish quickly.
std::vector<uint8_t> slowestPattern() {
    const std::vector<std::pair<uint8_t, int>> runs = {
        {255, 20}, {0, 1},  {200, 1}, {0, 15},  {255, 4}, {0, 31},  {1, 1},    {0, 2},   {16, 1},
        {0, 3},    {97, 1}, {0, 23},  {112, 1}, {0, 1},   {112, 1}, {0, 2},    {200, 1}, {0, 15},
        {255, 1},  {1, 1},  {0, 5},   {200, 2}, {220, 1}, {37, 1},  {220, 12}, {221, 1}, {220, 16},
        {200, 26}, {0, 6},  {112, 1}, {0, 1},   {112, 1}, {0, 2},   {200, 1},  {0, 19},  {200, 11},
    };
    std::vector<uint8_t> pattern;
    for (const auto& [value, count] : runs)
        pattern.insert(pattern.end(), count, value);
    return pattern;
}

TEST(SlowestFuzzFrame, EndsInBoundedTimeWithoutASymbol) {
    const std::vector<uint8_t> pattern = slowestPattern();
    ASSERT_EQ(pattern.size(), 232u);
    std::vector<uint8_t> pixels(static_cast<size_t>(CFrameDib::stride(112, 32)) * 1023);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = pattern[i % pattern.size()];
    const CFrameDib frame = test::cameraFrame(112, 1023, 32, pixels);
    ASSERT_FALSE(frame.bits.empty());

    FrameIntake intake;
    std::string text = "unchanged";
    const auto start = std::chrono::steady_clock::now();
    const FrameDecodeResult result = decodeFrame(frame, text, intake);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(result.decoded);
    EXPECT_EQ(result.status, DecodeStatus::NoFinderAfterFirstArm);
    EXPECT_EQ(text, "unchanged");
    // A termination bound, not a speed target: the optimised build takes about 12 ms.
    EXPECT_LT(elapsed, std::chrono::seconds(5));
}

}  // namespace
}  // namespace dm
