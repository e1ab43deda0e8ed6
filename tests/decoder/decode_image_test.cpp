// The public decode call: pixel layouts, what a result carries, refused views, and the README's
// example program.
#include "decoder/decode_image.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <iterator>

#include "encoder/symbol_renderer.h"
#include "symbology/symbol_size.h"
#include "tests/support/camera_tiers.h"
#include "tests/support/decoding.h"
#include "tests/support/frame_synth.h"
#include "tests/support/peer_readers.h"
#include "tests/support/printers.h"
#include "tests/support/symbol_builders.h"
#include "tests/support/temp_dir.h"

namespace dm {
namespace {

// A synthesised camera frame (blue, green, red; bottom-up; padded rows), the same picture in
// gray levels (bottom-up, no padding) and as top-down BGRA rows with 8 spare bytes each.
struct Layouts {
    test::SynthFrame camera;
    std::vector<uint8_t> gray;
    std::vector<uint8_t> bgra;
    int64_t bgraStride;

    explicit Layouts(test::SynthFrame frame)
        : camera(std::move(frame)),
          gray(test::grayPixels(camera)),
          bgra(static_cast<size_t>(4 * camera.width + 8) * camera.height),
          bgraStride(4 * int64_t{camera.width} + 8) {
        for (int y = 0; y < camera.height; ++y) {
            for (int x = 0; x < camera.width; ++x) {
                const uint8_t* p = &camera.bgr[(camera.height - 1 - y) * camera.stride + 3 * x];
                std::copy_n(p, 3, &bgra[y * bgraStride + 4 * x]);
            }
        }
    }
    std::vector<ImageView> views() const {
        const int w = camera.width, h = camera.height;
        return {{camera.bgr, w, h, PixelFormat::Bgr, camera.stride, RowOrder::BottomUp},
                {gray, w, h, PixelFormat::Gray, 0, RowOrder::BottomUp},
                {bgra, w, h, PixelFormat::Bgra, bgraStride, RowOrder::TopDown}};
    }
};

// Every layout of each symbol gives the same result, and the outline lies within a third of a
// module of the symbol's true corners, whatever the row order.
TEST(DecodeImage, EveryPixelLayoutGivesTheTextSizeFieldsAndOutline) {
    struct Case {
        const char* name;
        test::TestSymbol symbol;
        double moduleSize, angle;
        DecodeStatus status = DecodeStatus::Success;
    };
    const Case cases[] = {
        {"square", test::symbolFor(5, "One call, any layout"), 6, 12},
        {"square upside down", test::symbolFor(5, "One call, any layout"), 6, 200},
        {"12x26 rectangle", test::symbolFor(26, "R"), 7, -30},
        // Structured Append: symbol 2 of 3 of file (5, 6).
        {"appended", {"x", test::symbolWithData({233, 0x1E, 5, 6, 'x' + 1}, 2), 14, 14}, 6, 25},
        {"unreadable", test::smudgedSymbol(), 6, 25, DecodeStatus::BlockUncorrectable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const test::SynthOptions o{
            .moduleSize = c.moduleSize, .rotationDeg = c.angle, .offsetX = 37, .offsetY = -21};
        const auto& s = c.symbol;
        ASSERT_FALSE(s.matrix.empty());
        const auto truth = test::symbolCornersInPicture(s.rows, s.cols, o);
        const Layouts layouts(test::synthesiseFrame(s.matrix, s.rows, s.cols, o));
        const DecodeResult first = decodeImage(layouts.views()[0]);
        for (const ImageView& view : layouts.views()) {
            const DecodeResult r = decodeImage(view);
            EXPECT_EQ(r.decoded, c.status == DecodeStatus::Success);
            EXPECT_EQ(r.status, c.status);
            EXPECT_EQ(r.text, s.message);
            EXPECT_EQ(r.symbolRows, s.rows);
            EXPECT_EQ(r.symbolCols, s.cols);
            EXPECT_EQ(r.sizeIndex, first.sizeIndex);
            const bool appended = s.message == "x";
            EXPECT_EQ(r.appendPosition, appended ? 2 : 0);
            EXPECT_EQ(r.appendTotal, appended ? 3 : 0);
            EXPECT_EQ(r.fileId1 + r.fileId2, appended ? 11 : 0);
            ASSERT_TRUE(r.corners);
            for (size_t i = 0; i < truth.size(); ++i) {
                EXPECT_NEAR((*r.corners)[i].x, truth[i].x, c.moduleSize / 3) << "corner " << i;
                EXPECT_NEAR((*r.corners)[i].y, truth[i].y, c.moduleSize / 3) << "corner " << i;
                // Gray levels make the same decisions as colour read in place.
                EXPECT_DOUBLE_EQ((*r.corners)[i].y, (*first.corners)[i].y);
            }
        }
    }
}

// Seen in a mirror, every shape reads at the cost of one more attempt, says so, and keeps its
// corners' places in the symbol; camera frames of one threshold variant get the attempt too.
// Upright, the mirror is taken top to bottom: left to right, the finder pass would see
// the symbol turned by 180 degrees, where some 8- and 16-row rectangles do not read at all.
TEST(DecodeImage, MirroredSymbolsOfEveryShapeRead) {
    for (int sizeIndex = 0; sizeIndex < kFirstDmre; ++sizeIndex) {
        const SymbolSize& s = symbolSize(sizeIndex);
        // "Mi" and the size index as a digit pair: three codewords, as the smallest holds.
        const std::string message = "Mi" + std::to_string(100 + sizeIndex).substr(1);
        const auto matrix = test::symbolWithData(
            {'M' + 1, 'i' + 1, static_cast<uint8_t>(130 + sizeIndex)}, sizeIndex);
        for (const double angle : {0.0, 100.0, 290.0}) {
            const bool leftToRight = angle != 0.0;
            SCOPED_TRACE(std::to_string(s.symbolRows) + "x" + std::to_string(s.symbolCols) +
                         " at " + std::to_string(angle));
            // Large enough for the largest symbols turned and their quiet zone.
            const int side =
                static_cast<int>(1.42 * 6 * (std::max(s.symbolRows, s.symbolCols) + 8));
            const test::SynthOptions o{.width = std::max(1000, side),
                                       .height = std::max(800, side),
                                       .moduleSize = 6,
                                       .rotationDeg = angle};
            test::SynthFrame frame = test::synthesiseFrame(matrix, s.symbolRows, s.symbolCols, o);
            if (leftToRight)
                test::mirrorRows(frame.bgr, frame.width, frame.height, frame.stride);
            // The camera frame is stored bottom-up; read top-down it is mirrored top to bottom.
            const ImageView view{
                frame.bgr,    frame.width,
                frame.height, PixelFormat::Bgr,
                frame.stride, leftToRight ? RowOrder::BottomUp : RowOrder::TopDown};
            const DecodeResult r = decodeImage(view);
            ASSERT_TRUE(r.decoded) << r.statusMeaning();
            EXPECT_EQ(r.text, message);
            EXPECT_TRUE(r.mirrored);
            const auto truth = test::symbolCornersInPicture(s.symbolRows, s.symbolCols, o);
            ASSERT_TRUE(r.corners.has_value());
            // As close as upright symbols at these angles; a corner mapped the wrong way would
            // be off by the symbol's size.
            for (size_t i = 0; i < truth.size(); ++i) {
                const double x = leftToRight ? frame.width - truth[i].x : truth[i].x;
                const double y = leftToRight ? truth[i].y : frame.height - truth[i].y;
                EXPECT_NEAR((*r.corners)[i].x, x, 4) << "corner " << i;
                EXPECT_NEAR((*r.corners)[i].y, y, 4) << "corner " << i;
            }
            if (angle == 0.0) {
                const DecodeResult camera = decodeImage(view, {.thresholdVariant = 0});
                EXPECT_TRUE(camera.decoded && camera.mirrored) << camera.statusMeaning();
            }
        }
    }
}

// A still frame that only the central thresholds read: its mirror image is read with the variant
// that got furthest, not always the first.
TEST(DecodeImage, MirrorImageIsReadWithTheThresholdThatGotFurthest) {
    const test::SynthOptions o{.moduleSize = 3, .blurSigma = 0.6, .noiseSigma = 4};
    const auto f = test::synthesiseFrame(test::symbolWithData({'V' + 1, 'a' + 1}, 0), 10, 10, o);
    const ImageView upright{f.bgr,    f.width,           f.height, PixelFormat::Bgr,
                            f.stride, RowOrder::BottomUp};
    // The finder search misses it under the whole-frame threshold and reads it under the
    // central half (the frame search reads it either way).
    for (const uint32_t variant : {0u, 1u})
        ASSERT_EQ(test::finderPassDecodes(upright, variant), variant == 1) << "variant " << variant;
    ImageView mirror = upright;
    mirror.rowOrder = RowOrder::TopDown;
    const DecodeResult r = decodeImage(mirror);
    EXPECT_TRUE(r.decoded && r.mirrored) << r.statusMeaning();
    EXPECT_EQ(r.text, "Va");
}

// Camera frames under perspective, blur and noise, mirrored: the frame search reads
// each outline as a mirror image too, so one camera frame reads them (the finder search on the
// mirror image alone read 77 of 100 such frames), corners in their places in the symbol.
TEST(DecodeImage, MirroredCameraFramesReadThroughTheWholeFrameSearch) {
    int read = 0;
    for (int i = 0; i < 10; ++i) {
        test::TierFrame frame = test::tierFrame(test::Tier::Camera, 5, i);
        const BitmapInfoHeader& h = frame.dib.info.bmiHeader;
        test::mirrorRows(frame.dib.bits, h.biWidth, h.biHeight, CFrameDib::stride(h.biWidth, 24));
        const DecodeResult r = decodeImage(test::frameView(frame.dib), {.thresholdVariant = 0});
        if (!r.decoded)
            continue;
        ++read;
        EXPECT_EQ(r.text, frame.message) << frame.description;
        EXPECT_TRUE(r.mirrored) << frame.description;
        ASSERT_TRUE(r.corners.has_value());
        for (size_t c = 0; c < 4; ++c) {
            EXPECT_NEAR((*r.corners)[c].x, h.biWidth - 0.5 - frame.corners[c].x, 3) << c;
            EXPECT_NEAR((*r.corners)[c].y, h.biHeight - 0.5 - frame.corners[c].y, 3) << c;
        }
    }
    EXPECT_GE(read, 9);
}

TEST(DecodeImage, ViewsThatDoNotDescribeTheirPixelsAreMissingInput) {
    const std::vector<uint8_t> pixels(64 * 48 * 4, 200);
    const std::span<const uint8_t> all(pixels);
    constexpr auto missing = DecodeStatus::MissingInput;
    constexpr auto none = DecodeStatus::NoFinder;
    struct Case {
        const char* name;
        ImageView view;
        DecodeStatus other = missing;  // as a camera frame and as a still image
        bool fileRuns = false;  // as an image file (enlarged when it does not read) it is decoded
    };
    const auto gray = PixelFormat::Gray;
    const Case cases[] = {
        {"no pixels", {{}, 64, 48, gray}},
        {"two bytes a pixel", {all, 64, 48, static_cast<PixelFormat>(2)}},
        // An image file is enlarged down to 10 x 8 pixels.
        {"narrower than 10", {all, 9, 48, gray}, missing, true},
        {"lower than 10", {all, 64, 9, gray}, missing, true},
        {"smaller than 10 x 8", {all, 9, 9, gray}},
        {"stride below a row", {all, 64, 48, PixelFormat::Bgr, 191}},
        {"last row short", {all.first(64 * 47 + 63), 64, 48, gray}},
        {"negative size", {all, -64, 48, gray}},
        // Rows are addressed through 32-bit offsets.
        {"offsets beyond 32 bits", {all, 640, 48, PixelFormat::Bgr, int64_t{1} << 31}},
        {"a row longer than 2 GiB", {all, 1 << 30, 10, PixelFormat::Bgra, int64_t{1} << 32}},
        {"sound, blank", {all, 64, 48, PixelFormat::Bgra, 0, RowOrder::BottomUp}, none, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const DecodeOptions options :
             {DecodeOptions{std::nullopt, true}, DecodeOptions{}, DecodeOptions{0u}}) {
            const DecodeResult r = decodeImage(c.view, options);
            EXPECT_FALSE(r.decoded);
            if (options.enlarge)
                EXPECT_EQ(r.status != missing, c.fileRuns) << "file";
            else
                EXPECT_EQ(r.status, c.other) << (options.thresholdVariant ? "frame" : "still");
            EXPECT_FALSE(r.corners.has_value());
            EXPECT_EQ(r.sizeIndex, -1);
        }
    }
}

// The example is built from the README as it stands; it must stay under 15 lines.
using ReadmeExample = test::TempDirTest;

TEST_F(ReadmeExample, IsShortAndDecodesAPng) {
    std::ifstream source(DM_README_EXAMPLE_SOURCE);
    ASSERT_TRUE(source);
    EXPECT_LT(std::count(std::istreambuf_iterator<char>(source), {}, '\n'), 15);

    auto run = [&](const char* file, std::string& out) {
        const std::string cmd = std::string(DM_README_EXAMPLE) + " '" + (dir_ / file).string() +
                                "' >'" + (dir_ / "out").string() + "'";
        const int status = std::system(cmd.c_str());
        const std::vector<uint8_t> bytes = test::readFile(dir_ / "out");
        out.assign(bytes.begin(), bytes.end());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    auto writePng = [&](const char* file, const SymbolImage& image) {
        ASSERT_TRUE(
            test::writePng((dir_ / file).string(), {image.width, image.height, image.pixels}));
    };
    const std::string message = "Read by the README";
    const auto rendered = RenderSymbol(
        std::span(reinterpret_cast<const uint8_t*>(message.data()), message.size()), 6, 4);
    ASSERT_TRUE(rendered);
    writePng("symbol.png", rendered->image);
    writePng("blank.png", {std::vector<uint8_t>(80 * 60, 255), 80, 60});

    std::string out;
    EXPECT_EQ(run("symbol.png", out), 0);
    EXPECT_EQ(out, message + "\n");
    EXPECT_EQ(run("blank.png", out), 1);
    EXPECT_EQ(out, std::string(statusMeaning(DecodeStatus::NoFinder)) + "\n");
    EXPECT_EQ(run("missing.png", out), 2);
}

}  // namespace
}  // namespace dm
