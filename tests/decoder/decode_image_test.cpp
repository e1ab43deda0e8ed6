// The public decode call: pixel layouts, what a result carries, refused views, and the README's
// example program.
#include "decoder/decode_image.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <fstream>
#include <iterator>

#include "encoder/symbol_renderer.h"
#include "tests/support/frame_synth.h"
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
        return {{camera.bgr, w, h, 3, camera.stride, RowOrder::BottomUp},
                {gray, w, h, 1, 0, RowOrder::BottomUp},
                {bgra, w, h, 4, bgraStride, RowOrder::TopDown}};
    }
};

// A symbol whose data modules are wrong along one row and one column: every codeword they
// cross is wrong, so it is located and measured but not read.
test::TestSymbol smudged() {
    test::TestSymbol symbol{"", test::symbolWithData({'O' + 1, 'K' + 1}, 0), 10, 10};
    for (int i = 1; i < 9; ++i) {
        symbol.matrix[5 * 10 + i] ^= 1;
        symbol.matrix[i * 10 + 3] ^= 1;
    }
    return symbol;
}

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
        {"unreadable", smudged(), 6, 25, DecodeStatus::BlockUncorrectable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::SynthOptions o;
        o.moduleSize = c.moduleSize;
        o.rotationDeg = c.angle;
        o.offsetX = 37;
        o.offsetY = -21;
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

TEST(DecodeImage, ViewsThatDoNotDescribeTheirPixelsAreMissingInput) {
    const std::vector<uint8_t> pixels(64 * 48 * 4, 200);
    const std::span<const uint8_t> all(pixels);
    struct Case {
        const char* name;
        ImageView view;
        DecodeStatus expected = DecodeStatus::MissingInput;
    };
    const Case cases[] = {
        {"no pixels", {{}, 64, 48, 1}},
        {"two bytes a pixel", {all, 64, 48, 2}},
        {"narrower than 10", {all, 9, 48, 1}},
        {"lower than 10", {all, 64, 9, 1}},
        {"stride below a row", {all, 64, 48, 3, 191}},
        {"last row short", {all.first(64 * 47 + 63), 64, 48, 1}},
        {"negative size", {all, -64, 48, 1}},
        // Rows are addressed through 32-bit offsets.
        {"offsets beyond 32 bits", {all, 640, 48, 3, int64_t{1} << 31}},
        {"a row longer than 2 GiB", {all, 1 << 30, 10, 4, int64_t{1} << 32}},
        {"sound, blank", {all, 64, 48, 4, 0, RowOrder::BottomUp}, DecodeStatus::NoFinder},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DecodeResult r = decodeImage(c.view);
        EXPECT_FALSE(r.decoded);
        EXPECT_EQ(r.status, c.expected);
        EXPECT_FALSE(r.corners.has_value());
        EXPECT_EQ(r.sizeIndex, -1);
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
        png_image png{};
        png.version = PNG_IMAGE_VERSION;
        png.width = static_cast<png_uint_32>(image.width);
        png.height = static_cast<png_uint_32>(image.height);
        png.format = PNG_FORMAT_GRAY;
        ASSERT_TRUE(png_image_write_to_file(&png, (dir_ / file).c_str(), 0, image.pixels.data(), 0,
                                            nullptr));
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
