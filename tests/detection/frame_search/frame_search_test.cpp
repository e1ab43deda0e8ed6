// The frame search on its own: chirality, located corners, frames without a
// symbol, and the map from symbol to frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "decoder/frame_intake.h"
#include "detection/frame_search/frame_search.h"
#include "detection/frame_search/perspective_grid.h"
#include "encoder/message_encoder.h"
#include "symbology/symbol_size.h"
#include "tests/support/camera_tiers.h"
#include "tests/support/frame_synth.h"
#include "tests/support/gray_frame.h"
#include "tests/support/peer_encoders.h"
#include "tests/support/symbol_builders.h"

namespace dm {
namespace {

using test::GrayFrame;

struct Searched {
    FrameSearchResult result;
    std::string text;
};

Searched search(const GrayFrame& view, FinderTurn turn, FrameSearchReadings readings = {}) {
    FrameSearchBuffers buffers;
    DecodeState state;
    Searched a;
    a.result = searchWholeFrame(
        view.image, turn, buffers,
        [&](std::span<const uint8_t> matrix, int sizeIndex, bool speculative,
            const SampledLevels* sampled, DecodeStatus& s) {
            return decodeSearchedMatrix(matrix, sizeIndex, speculative, sampled, state, s);
        },
        readings);
    a.text.assign(state.text.begin(), state.text.end());
    return a;
}

// A printed symbol seen in a bottom-up frame turns one way; seen in rows of the other order
// (or in a mirror) the other way. Each is read only with its own turn: the other reading is
// a mirror image, which Reed-Solomon turns away.
TEST(FrameSearch, ReadsEachChiralityOnlyWithItsTurn) {
    int read = 0;
    for (int i = 0; i < 8; ++i) {
        const test::TierFrame frame = test::tierFrame(test::Tier::Camera, 3, i);
        const GrayFrame stored(frame.dib, false);
        const GrayFrame mirrored(frame.dib, true);
        const Searched straight = search(stored, FinderTurn::PlusXToPlusY);
        if (!straight.result.decoded)
            continue;
        ++read;
        EXPECT_EQ(straight.text, frame.message) << frame.description;
        const Searched flipped = search(mirrored, FinderTurn::PlusXToMinusY);
        EXPECT_TRUE(flipped.result.decoded) << frame.description;
        EXPECT_EQ(flipped.text, frame.message) << frame.description;
        EXPECT_FALSE(search(stored, FinderTurn::PlusXToMinusY).result.decoded) << frame.description;
        EXPECT_FALSE(search(mirrored, FinderTurn::PlusXToPlusY).result.decoded)
            << frame.description;
    }
    EXPECT_GE(read, 7);
}

// The corners reported are the symbol's outer corners, top left, top right, bottom right,
// bottom left, within half a module, under perspective.
TEST(FrameSearch, ReportsTheOuterCornersInOrder) {
    int read = 0;
    for (int i = 0; i < 8; ++i) {
        const test::TierFrame frame = test::tierFrame(test::Tier::Camera, 4, i);
        const Searched a = search(GrayFrame(frame.dib, false), FinderTurn::PlusXToPlusY);
        if (!a.result.decoded)
            continue;
        ++read;
        const SymbolSize& size = symbolSize(frame.sizeIndex);
        const double module = std::hypot(frame.corners[1].x - frame.corners[0].x,
                                         frame.corners[1].y - frame.corners[0].y) /
                              size.symbolCols;
        for (size_t k = 0; k < 4; ++k) {
            EXPECT_NEAR(a.result.corners[k].x, frame.corners[k].x, module / 2)
                << frame.description << ", corner " << k;
            EXPECT_NEAR(a.result.corners[k].y, frame.corners[k].y, module / 2)
                << frame.description << ", corner " << k;
        }
    }
    EXPECT_GE(read, 7);
}

// Plain, cluttered and textured frames give nothing, within the work bound; a plain one is
// given up before any search, with the finder search's status.
TEST(FrameSearch, FramesWithoutASymbolGiveNothing) {
    using test::Background;
    for (const Background background :
         {Background::Empty, Background::Cluttered, Background::Textured}) {
        for (uint32_t seed = 1; seed <= 3; ++seed) {
            const CFrameDib frame = test::backgroundFrame(background, seed);
            EXPECT_FALSE(decodeImage(*frameView(frame)).decoded)
                << test::backgroundName(background) << " " << seed;
            if (background == Background::Empty) {
                const Searched a = search(GrayFrame(frame, false), FinderTurn::PlusXToPlusY);
                EXPECT_FALSE(a.result.located);
                EXPECT_EQ(a.result.status, DecodeStatus::NoFinder);
            }
        }
    }
}

// Columns that narrow from 7 to 3 pixels across a 16 x 16 symbol (a label bent away from the
// camera): an even grid through the outline drifts off them by more than half a module, the
// module centres the alternating row shows do not.
TEST(FrameSearch, ReadsColumnsStretchedUnevenly) {
    const test::TestSymbol symbol = test::symbolFor(4, "Uneven col. 7-3");
    ASSERT_FALSE(symbol.matrix.empty());
    GrayFrame view(200, 160, 240);
    std::vector<int> left{30};
    for (int c = 0; c < symbol.cols; ++c)
        left.push_back(left.back() + 7 - 4 * c / (symbol.cols - 1));
    for (int r = 0; r < symbol.rows; ++r) {
        const int y = 40 + (symbol.rows - 1 - r) * 5;  // stored bottom-up
        for (int c = 0; c < symbol.cols; ++c) {
            if (symbol.matrix[static_cast<size_t>(r * symbol.cols + c)])
                view.fill(left[c], y, left[c + 1], y + 5, 20);
        }
    }
    const Searched a = search(view, FinderTurn::PlusXToPlusY);
    EXPECT_TRUE(a.result.decoded) << static_cast<int>(a.result.status);
    EXPECT_EQ(a.text, symbol.message);
}

// A symbol a module from the frame's edge, in each corner of the frame and turned half way
// round or not: the rays that trace its far sides run off the frame, where all is light, so
// those sides' quiet zones lie partly beyond the frame.
TEST(FrameSearch, ReadsASymbolAModuleFromTheFrameEdge) {
    const test::TestSymbol symbol = test::symbolFor(4, "Frame edge 1-2.");
    ASSERT_FALSE(symbol.matrix.empty());
    constexpr int kModule = 5, kWidth = 200, kHeight = 160;
    const int side = symbol.cols * kModule;
    for (const bool turned : {false, true}) {
        for (const int x0 : {kModule, kWidth - kModule - side}) {
            for (const int y0 : {kModule, kHeight - kModule - side}) {
                GrayFrame view(kWidth, kHeight, 240);
                for (int r = 0; r < symbol.rows; ++r) {
                    for (int c = 0; c < symbol.cols; ++c) {
                        if (!symbol.matrix[static_cast<size_t>(r * symbol.cols + c)])
                            continue;
                        // Stored bottom-up; turned, the finder lies along the top and right.
                        const int col = turned ? symbol.cols - 1 - c : c;
                        const int row = turned ? r : symbol.rows - 1 - r;
                        const int x = x0 + col * kModule, y = y0 + row * kModule;
                        view.fill(x, y, x + kModule, y + kModule, 20);
                    }
                }
                const Searched a = search(view, FinderTurn::PlusXToPlusY);
                EXPECT_TRUE(a.result.decoded)
                    << "at " << x0 << ", " << y0 << (turned ? ", turned" : "") << ": status "
                    << static_cast<int>(a.result.status);
                EXPECT_EQ(a.text, symbol.message);
            }
        }
    }
}

// Dots of half the pitch, located by their outer edges, put the grid a quarter module off their
// centres at the symbol's edges; refitted to where the ink lies, the grid sits on the dots and
// samples the symbol as printed.
TEST(FrameSearch, GridMovesOntoTheCentresOfSeparateDots) {
    const test::TestSymbol symbol = test::symbolFor(4, "DOTS ON METAL");  // 18 x 18
    ASSERT_FALSE(symbol.matrix.empty());
    constexpr double kPitch = 12, kOrigin = 40, kRadius = 3;
    GrayFrame frame(300, 300, 210);
    auto centre = [&](int r, int c) {
        return PointD{kOrigin + (c + 0.5) * kPitch, kOrigin + (r + 0.5) * kPitch};
    };
    for (int r = 0; r < symbol.rows; ++r) {
        for (int c = 0; c < symbol.cols; ++c) {
            if (!symbol.matrix[static_cast<size_t>(r) * symbol.cols + c])
                continue;
            const PointD p = centre(r, c);
            for (int y = static_cast<int>(p.y - kRadius); y <= p.y + kRadius; ++y)
                for (int x = static_cast<int>(p.x - kRadius); x <= p.x + kRadius; ++x)
                    if (std::hypot(x + 0.5 - p.x, y + 0.5 - p.y) <= kRadius)
                        frame.set(x, y, 30);
        }
    }
    BinaryFrame binary;
    ASSERT_TRUE(thresholdLocally(frame.image, binary));
    const double inset = kPitch / 2 - kRadius;
    const double far = kOrigin + symbol.cols * kPitch - inset;
    const auto located = symbolToImage({{{kOrigin + inset, kOrigin + inset},
                                         {far, kOrigin + inset},
                                         {far, far},
                                         {kOrigin + inset, far}}},
                                       symbol.cols, symbol.rows);
    ASSERT_TRUE(located.has_value());
    std::vector<uint8_t> levels;
    const auto fitted = fitToDarkCentres(binary, *located, symbol.rows, symbol.cols, levels);
    ASSERT_TRUE(fitted.has_value());
    double before = 0, after = 0;
    for (int r = 0; r < symbol.rows; ++r) {
        for (int c = 0; c < symbol.cols; ++c) {
            // The detection reads pixel (x, y) at the point (x, y), not at its centre.
            const PointD truth = centre(r, c) - PointD{0.5, 0.5};
            before = std::max(before, length(located->map(c + 0.5, r + 0.5) - truth));
            after = std::max(after, length(fitted->map(c + 0.5, r + 0.5) - truth));
        }
    }
    EXPECT_GT(before, 0.2 * kPitch);
    EXPECT_LT(after, 0.05 * kPitch);
    sampleModules(binary, *fitted, symbol.rows, symbol.cols, levels);
    const uint8_t split = splitLevels(levels);
    for (size_t i = 0; i < levels.size(); ++i)
        EXPECT_EQ(levels[i] <= split, symbol.matrix[i] != 0) << "module " << i;
}

// A tall 16 x 36 symbol cut by a scratch, whose outline read as its mirror image offers a
// 10 x 10 square that Reed-Solomon takes with its last correctable error: a size so far from
// the outline's shape reads only with correction to spare, and the symbol reads as printed, on
// a camera frame and as a still image.
TEST(FrameSearch, ASizeOfAnotherShapeThanTheOutlineNeedsCorrectionToSpare) {
    const test::TierFrame frame = test::tierFrame(test::Tier::Scratch, 3, 23);
    ASSERT_EQ(symbolSize(frame.sizeIndex).symbolCols, 36) << frame.description;
    for (const DecodeOptions& options : {DecodeOptions{0u}, DecodeOptions{}}) {
        const DecodeResult r = decodeImage(*frameView(frame.dib), options);
        EXPECT_TRUE(r.decoded) << frame.description;
        EXPECT_EQ(r.sizeIndex, frame.sizeIndex) << frame.description;
        EXPECT_EQ(r.text, frame.message) << frame.description;
    }
}

// A 14 x 14 of 3-pixel modules near the edge of a full HD frame, whose halved frame's outline a
// 10 x 10 matches in a bare half of its alternating sides: Reed-Solomon took such a reading with
// its last correctable error, a size agreeing so little reads only with correction to spare.
TEST(FrameSearch, ASizeItsSidesHardlyAgreeWithNeedsCorrectionToSpare) {
    const std::optional<EncodedSymbol> symbol = EncodeMessage("region");
    ASSERT_TRUE(symbol.has_value());
    for (const double offsetX : {-400.0, -930.0}) {
        const test::SynthFrame frame =
            test::synthesiseFrame(symbol->moduleMatrix, symbol->side, symbol->side,
                                  {.width = 1920,
                                   .height = 1080,
                                   .moduleSize = 3.0,
                                   .offsetX = offsetX,
                                   .offsetY = 200,
                                   .blurSigma = 0.8,
                                   .noiseSigma = 4.0});
        std::string text;
        FrameIntake intake;
        const FrameDecodeResult read = decodeFrame(test::cameraFrame(frame), text, intake);
        EXPECT_TRUE(read.decoded) << offsetX;
        EXPECT_EQ(text, read.decoded ? "region" : "") << offsetX;
    }
}

// Each kind of mark reads with the reading made for it and not without: light on dark with the
// negative, separate dots with the closed map (a camera frame's dot search too), a symbol
// a scratch cut apart with its regions joined, a finder that lost modules at the end of an arm,
// in its middle or at its corner as a damaged finder.
TEST(FrameSearch, ReadsEachMarkWithTheReadingMadeForIt) {
    struct Case {
        test::Tier tier;
        int index;
        FrameSearchReadings readings;
        uint32_t seed = 1;
    };
    const Case cases[] = {
        {test::Tier::Inverted, 0, {.alsoInverted = true}},
        {test::Tier::DotPeenDark, 1, {.alsoClosed = true}},
        // Dots whose closing would join the brushed metal's streaks to them.
        {test::Tier::DotPeenDark, 10, {.alsoClosed = true, .damagedFinders = 60}},
        {test::Tier::DotPeenBright, 0, {.alsoInverted = true, .alsoClosed = true}},
        // Small dots jittered along the diagonal of the frame: the closed solid column holds
        // together only when closed over octagons, and shows as solid only when probed as deep
        // as the closing reached.
        {test::Tier::DotPeenDark, 27, {.alsoClosed = true}},
        // A camera frame's search of the dots closed at their pitch, read on their centres.
        {test::Tier::DotPeenDark, 0, {.alsoInverted = true, .alsoDots = true}},
        {test::Tier::DotPeenBright, 1, {.alsoInverted = true, .alsoDots = true}},
        {test::Tier::InkLoss, 13, {.alsoInverted = true, .alsoDots = true}},
        {test::Tier::Scratch, 0, {.alsoClosed = true}},
        {test::Tier::Scratch, 1, {.alsoJoined = true, .damagedFinders = 4}},
        // The last three modules of the solid row light, and one in the middle of the column.
        {test::Tier::FinderGaps, 12, {.damagedFinders = 60}},
        {test::Tier::FinderGaps, 2, {.damagedFinders = 60}},
        // The corner and the column's next module light (8 x 32): the arms meet across a cut of
        // the hull too wide for a rounded corner, and the alternating side beside the row offers
        // a finder of its own first.
        {test::Tier::FinderGaps, 13, {.damagedFinders = 60}},
        // The column's last two modules light: past the quiet zone the row's line meets dark
        // ground (8 x 18), or the arm's far side meets the label's edge (12 x 26), neither of
        // them the symbol's.
        {test::Tier::FinderGaps, 28, {.damagedFinders = 60}, 3},
        {test::Tier::FinderGaps, 226, {.damagedFinders = 60}, 3},
    };
    for (const Case& c : cases) {
        const test::TierFrame frame = test::tierFrame(c.tier, c.seed, c.index);
        const GrayFrame view(frame.dib, false);
        EXPECT_FALSE(search(view, FinderTurn::PlusXToPlusY).result.decoded) << frame.description;
        const Searched a = search(view, FinderTurn::PlusXToPlusY, c.readings);
        EXPECT_TRUE(a.result.decoded) << frame.description;
        EXPECT_EQ(a.text, frame.message) << frame.description;
        EXPECT_EQ(a.result.inverted,
                  c.tier == test::Tier::Inverted || c.tier == test::Tier::DotPeenBright)
            << frame.description;
    }
}

// Dot-peen marks a still image reads (dark dots, and light ones through the negative): dots
// in rows as even as a machine places them, whose outer sides the hull merges a few pixels
// inside the dots' tops, and finders of dots that lost the modules where the arms meet (the
// solid row and column apart in the closed dot map), near the corner, at it and past it.
TEST(FrameSearch, ReadsEvenDotsAndDotFindersCutAtTheCorner) {
    constexpr int k24 = 7;  // size index
    const test::PeerSymbol symbol = *test::encodeWithDmtx(
        test::bytesOf("LIBDMTX CHECKS THE CHECKER 42"), test::PeerScheme::C40, k24);
    struct Case {
        double jitter;
        int gapFrom = 0;  // along the L walked up the solid column, then along the solid row
        int gap = 0;
        bool light = false;
    };
    const Case cases[] = {{0},           {0, 0, 0, true},     {0, 22, 2},          {0.05, 22, 2},
                          {0.05, 23, 1}, {0.05, 21, 3, true}, {0.05, 23, 3, true}, {0.05, 24, 3}};
    const FrameSearchReadings still{
        .alsoMirrored = true, .alsoInverted = true, .alsoClosed = true, .damagedFinders = 60};
    for (const Case& c : cases) {
        std::vector<uint8_t> matrix = symbol.matrix;
        for (int k = c.gapFrom; k < c.gapFrom + c.gap; ++k)
            matrix[static_cast<size_t>(std::min(k, 23) * 24 + std::max(0, k - 23))] = 0;
        test::DotPeenOptions o;
        o.jitter = c.jitter;
        test::DotPeenMark mark = test::dotPeenMark(matrix, 24, 24, o);
        if (c.light)
            std::ranges::transform(mark.gray, mark.gray.begin(), [](uint8_t v) { return 255 - v; });
        const GrayFrame view(mark.gray, mark.width, mark.height, 1, mark.width, true);
        const Searched a = search(view, FinderTurn::PlusXToPlusY, still);
        const std::string what = std::string("jitter ")
                                     .append(std::to_string(c.jitter))
                                     .append(", gap ")
                                     .append(std::to_string(c.gap))
                                     .append(" from ")
                                     .append(std::to_string(c.gapFrom));
        EXPECT_TRUE(a.result.decoded) << what;
        EXPECT_EQ(a.text, "LIBDMTX CHECKS THE CHECKER 42") << what;
        EXPECT_EQ(a.result.inverted, c.light) << what;
    }
}

// A tier frame the camera's readings of the frame search must read.
struct CameraCase {
    test::Tier tier;
    int index;
    uint32_t seed;
};

// Each frame reads with the camera's readings to its message; with polarity, a dot-peen-bright
// frame reads as inverted and every other one as printed.
void expectCameraSearchReads(std::span<const CameraCase> cases, bool polarity) {
    const FrameSearchReadings camera{.alsoMirrored = true,
                                     .alsoInverted = true,
                                     .alsoDots = true,
                                     .alsoJoined = true,
                                     .damagedFinders = 2};
    for (const CameraCase& c : cases) {
        const test::TierFrame frame = test::tierFrame(c.tier, c.seed, c.index);
        const Searched a = search(GrayFrame(frame.dib, false), FinderTurn::PlusXToPlusY, camera);
        EXPECT_TRUE(a.result.decoded) << frame.description;
        EXPECT_EQ(a.text, frame.message) << frame.description;
        if (polarity) {
            EXPECT_EQ(a.result.inverted, c.tier == test::Tier::DotPeenBright) << frame.description;
        }
    }
}

// A camera frame's two damaged readings go only to outlines whose far side runs in single
// modules more than a row of data does; finders that lost modules still read with them, and so
// do dot-peen marks, whose dots are shorter than their modules and run so about a third.
TEST(FrameSearch, CameraDamagedReadingsReachMarksWhoseSidesAlternate) {
    const CameraCase cases[] = {
        {test::Tier::FinderGaps, 12, 1},
        {test::Tier::FinderGaps, 2, 1},
        {test::Tier::DotPeenBright, 1, 11},
        {test::Tier::DotPeenBright, 15, 11},
    };
    expectCameraSearchReads(cases, false);
}

// Marks a camera frame's search reads late: dots only past the closed dot map, through the
// dark map closed whole (dots that touch) or with its regions joined at the dots' scale, in
// either polarity, as a still image reads them; etched marks inside a printed frame whose ink
// is far darker than the mark (the last frame running off the picture); small symbols cropped
// close whose dark modules grew by a fifth of a module at each edge.
TEST(FrameSearch, CameraSearchReadsDotsPrintedFramesAndGrownPrint) {
    const CameraCase cases[] = {
        {test::Tier::DotPeenDark, 6, 1},    {test::Tier::DotPeenDark, 14, 1},
        {test::Tier::DotPeenDark, 27, 7},   {test::Tier::DotPeenBright, 12, 1},
        {test::Tier::DotPeenBright, 20, 1}, {test::Tier::FramedEtch, 2, 1},
        {test::Tier::FramedEtch, 4, 1},     {test::Tier::FramedEtch, 29, 1},
        {test::Tier::CroppedGrowth, 12, 1}, {test::Tier::CroppedGrowth, 24, 1},
    };
    expectCameraSearchReads(cases, true);
}

}  // namespace
}  // namespace dm
