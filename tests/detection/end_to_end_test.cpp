#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "decoder/decode_image.h"
#include "decoder/decoder.h"
#include "decoder/frame_dib.h"
#include "decoder/frame_intake.h"
#include "encoder/message_encoder.h"
#include "symbology/symbol_size.h"
#include "tests/support/frame_synth.h"
#include "tests/support/printers.h"
#include "tests/support/sweeps.h"
#include "tests/support/symbol_builders.h"

namespace dm {
namespace {

using test::SweepCase;
using test::TestSymbol;

// Letters and punctuation only, so that every byte is one ASCII codeword.
std::string messageOf(int length, int salt) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz .,-+";
    std::string message;
    for (int i = 0; i < length; ++i) {
        message += kAlphabet[(i * 7 + salt * 13 + i / 5) % (sizeof(kAlphabet) - 1)];
    }
    return message;
}

// Squares filled to capacity; rectangles two codewords short, so that they carry pads.
TestSymbol symbolOfSize(int sizeIndex) {
    const int capacity = symbolSize(sizeIndex).dataCodewords;
    TestSymbol symbol = test::symbolFor(
        sizeIndex, messageOf(sizeIndex < kSquareCount ? capacity : capacity - 2, sizeIndex));
    EXPECT_FALSE(symbol.matrix.empty()) << sizeIndex;
    return symbol;
}

// Empty when the frame decodes to the message; otherwise what went wrong.
std::string decodeCase(const SweepCase& c, const TestSymbol& symbol) {
    test::SynthOptions o = test::fitted(
        symbol.rows, symbol.cols, {.moduleSize = c.moduleSize, .rotationDeg = c.angle}, 64, 48);
    if (c.rough) {
        o.blurSigma = 0.7;
        o.noiseSigma = 6;
        o.seed = static_cast<uint32_t>(c.sizeIndex * 7919 + c.angle * 13 + c.moduleSize);
    }
    const CFrameDib frame =
        test::cameraFrame(test::synthesiseFrame(symbol.matrix, symbol.rows, symbol.cols, o));
    // A symbol held before the camera meets every threshold variant within three frames.
    const DecodeResult result = decodeImage(*frameView(frame));
    const std::string& text = result.text;
    if (!result.decoded)
        return "status " + ::testing::PrintToString(result.status);
    if (result.sizeIndex != c.sizeIndex)
        return "size index " + std::to_string(result.sizeIndex);
    if (text != symbol.message)
        return "wrong text";
    return {};
}

// Rotations spread over the full circle, module sizes 4-10 in turn, every other case blurred
// and noisy. Small symbols and rectangles get more rotations than the large ones.
std::vector<SweepCase> sweep(int sizeIndex, int rotations) {
    std::vector<SweepCase> cases;
    const int side = std::max(symbolSize(sizeIndex).symbolRows, symbolSize(sizeIndex).symbolCols);
    for (int k = 0; k < rotations; ++k) {
        const double angle = std::fmod(k * 360.0 / rotations + sizeIndex * 11 + 3, 360.0);
        // Keep the largest symbols in frames of reasonable size.
        const int moduleSpan = side >= 88 ? 3 : 7;
        const double moduleSize = 4 + (k * 3 + sizeIndex) % moduleSpan;
        cases.push_back({sizeIndex, moduleSize, angle, (k + sizeIndex) % 2 == 1});
    }
    return cases;
}

// Decodes every case of the sizes first..last: the fast subset, or the full grid (every 15
// degrees, module sizes 4-10, clean and rough) under DM_FULL_SWEEP. A wrong text or size always
// fails; frames that do not decode at all are listed, and the share that decodes must reach the
// floor. (The full sweep decodes 98.9%; the misses are mostly 4-pixel modules at steep angles,
// where the finder takes a run of data modules for an arm or the timing walks lose the grid,
// and the largest symbols at 5 pixels, whose inner-line traces lose their way.)
void expectDecodeRate(int firstSize, int lastSize, int rotationsSmall, int rotationsLarge,
                      double floor) {
    test::SweepTally tally;
    for (int i = firstSize; i <= lastSize; ++i) {
        const TestSymbol symbol = symbolOfSize(i);
        const int side = std::max(symbol.rows, symbol.cols);
        const std::vector<SweepCase> cases =
            test::fullSweep() ? test::fullGrid(i, i, 15, true)
                              : sweep(i, side <= 52 ? rotationsSmall : rotationsLarge);
        test::SweepTally sizeTally;
        for (const SweepCase& c : cases) {
            const std::string what = decodeCase(c, symbol);
            if (!what.empty() && !what.starts_with("status"))
                ADD_FAILURE() << test::describe(c) << ": " << what;
            sizeTally.add(c, what);
            tally.add(c, what);
        }
        sizeTally.report(std::to_string(symbol.rows) + "x" + std::to_string(symbol.cols));
    }
    tally.report("decoded");
    EXPECT_GE(tally.rate(), floor) << tally.summary("decoded") << "; not decoded:\n"
                                   << tally.misses;
}

TEST(EndToEnd, SquareSymbolsDecodeAtAnyRotation) {
    expectDecodeRate(0, kLargestSquare, 6, 2, 0.97);
}

TEST(EndToEnd, RectangularSymbolsDecodeAtAnyRotation) {
    expectDecodeRate(kSquareCount, kFirstDmre - 1, 12, 12, 0.95);
}

// Every case decodes to its message.
void expectEachDecodes(std::span<const SweepCase> cases) {
    for (const SweepCase& c : cases)
        EXPECT_EQ(decodeCase(c, symbolOfSize(c.sizeIndex)), "") << test::describe(c);
}

// The first-arm fans stop short of the diagonals; a long solid row lying on one must still be
// followed to its end, or the far column walk runs off the symbol.
TEST(EndToEnd, LongArmsOnTheDiagonalsAreFollowedToTheirEnds) {
    std::vector<SweepCase> cases;
    for (const int sizeIndex : {kFirstDmre - 2, kFirstDmre - 1}) {  // 16x36, 16x48
        for (const double angle : {45.0, 135.0, 225.0, 315.0}) {
            for (const double moduleSize : {5.0, 7.0, 9.0})
                cases.push_back({sizeIndex, moduleSize, angle, false});
        }
    }
    expectEachDecodes(cases);
}

// The short side of an 8-row rectangle is the shortest arm there is: seen obliquely it is
// walked in few steps and its whole-pixel cross runs make it look under 8 modules long.
TEST(EndToEnd, EightRowRectanglesAreFoundAtObliqueAngles) {
    const int rect8x18 = kSquareCount;
    const int rect8x32 = kSquareCount + 1;
    const SweepCase cases[] = {{rect8x18, 4, 60, false},  {rect8x18, 4, 150, false},
                               {rect8x18, 4, 330, false}, {rect8x32, 5, 30, false},
                               {rect8x32, 5, 120, false}, {rect8x32, 7, 45, false},
                               {rect8x32, 7, 225, false}, {rect8x32, 8, 120, false}};
    expectEachDecodes(cases);
}

// Fine modules at steep angles can let the finder's corner slide to the end of an arm; such an
// L is dropped and the search goes on to the real one.
TEST(EndToEnd, AFinderWithACollapsedArmDoesNotEndTheSearch) {
    const SweepCase cases[] = {{4, 4, 135, false},    // 18x18
                               {5, 4, 300, false},    // 20x20
                               {15, 4, 195, false},   // 64x64
                               {26, 5, 135, false}};  // 12x26
    expectEachDecodes(cases);
}

// The rectangular extension sizes: the whole chain reads each of them at any rotation (the
// frame search where the finder pass cannot), and the finder pass alone reads each with its long
// side along the finder arm at xEnd (upright symbols turned a quarter either way).
TEST(EndToEnd, ExtensionSizesDecode) {
    for (int i = kFirstDmre; i < kSizeCount; ++i) {
        const TestSymbol symbol = symbolOfSize(i);
        for (const double angle : {0.0, 90.0, 135.0, 200.0, 270.0, 320.0}) {
            SCOPED_TRACE(std::to_string(symbol.rows) + "x" + std::to_string(symbol.cols) + " at " +
                         std::to_string(angle));
            test::SynthOptions o;
            o.moduleSize = 5;
            o.rotationDeg = angle;
            o = test::fitted(symbol.rows, symbol.cols, o, 64, 48);
            const test::SynthFrame f =
                test::synthesiseFrame(symbol.matrix, symbol.rows, symbol.cols, o);
            const ImageView view{f.bgr,    f.width,           f.height, PixelFormat::Bgr,
                                 f.stride, RowOrder::BottomUp};
            const DecodeResult whole = decodeImage(view);
            EXPECT_TRUE(whole.decoded && whole.text == symbol.message) << whole.statusMeaning();
            if (angle != 90.0 && angle != 270.0)
                continue;
            Decoder finderPass;
            DecodeResult r;
            for (int variant = 0; variant < 3 && !r.decoded; ++variant)
                r = finderPass.decodeView(view);
            EXPECT_TRUE(r.decoded && r.text == symbol.message)
                << "finder pass: " << r.statusMeaning();
        }
    }
}

}  // namespace
}  // namespace dm
