// The public decode call: pixel layouts, what a result carries, refused views, and the README's
// example program.
#include "decoder/decode_image.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "encoder/message_encoder.h"
#include "encoder/symbol_renderer.h"
#include "symbology/symbol_size.h"
#include "tests/support/frame_synth.h"
#include "tests/support/symbol_builders.h"

namespace dm {
namespace {

namespace fs = std::filesystem;

// A synthesised camera frame and the same picture in other layouts.
struct Layouts {
    test::SynthFrame camera;           // blue, green, red; bottom-up; rows padded to 4 bytes
    std::vector<uint8_t> grayTopDown;  // no padding
    std::vector<uint8_t> bgraTopDown;  // 8 spare bytes after every row
    int64_t bgraStride = 0;

    explicit Layouts(test::SynthFrame frame) : camera(std::move(frame)) {
        const int w = camera.width, h = camera.height;
        const std::vector<uint8_t> gray = test::grayPixels(camera);
        bgraStride = 4 * int64_t{w} + 8;
        bgraTopDown.assign(static_cast<size_t>(bgraStride) * h, 0);
        for (int y = 0; y < h; ++y) {
            const int stored = h - 1 - y;
            grayTopDown.insert(grayTopDown.end(), gray.begin() + stored * w,
                               gray.begin() + (stored + 1) * w);
            for (int x = 0; x < w; ++x) {
                const uint8_t* p = camera.bgr.data() + stored * camera.stride + 3 * x;
                std::copy(p, p + 3, bgraTopDown.begin() + y * bgraStride + 4 * x);
            }
        }
    }

    std::vector<std::pair<const char*, ImageView>> views() const {
        const int w = camera.width, h = camera.height;
        return {{"camera", {camera.bgr, w, h, 3, camera.stride, RowOrder::BottomUp}},
                {"gray top-down", {grayTopDown, w, h, 1}},
                {"bgra top-down", {bgraTopDown, w, h, 4, bgraStride, RowOrder::TopDown}}};
    }
};

test::SynthOptions placed(double moduleSize, double angle) {
    test::SynthOptions o;
    o.moduleSize = moduleSize;
    o.rotationDeg = angle;
    o.offsetX = 37;
    o.offsetY = -21;
    return o;
}

void expectOutline(const DecodeResult& r, int rows, int cols, const test::SynthOptions& o) {
    ASSERT_TRUE(r.corners.has_value());
    const auto truth = test::symbolCornersInPicture(rows, cols, o);
    for (size_t i = 0; i < truth.size(); ++i) {
        EXPECT_NEAR((*r.corners)[i].x, truth[i].x, 1.5) << "corner " << i;
        EXPECT_NEAR((*r.corners)[i].y, truth[i].y, 1.5) << "corner " << i;
    }
}

TEST(DecodeImage, EveryPixelLayoutReadsTheSameSymbolAndOutline) {
    const std::string message = "One call, any layout";
    const auto symbol = EncodeMessage(message);
    ASSERT_TRUE(symbol);
    for (const double angle : {12.0, 200.0}) {
        const test::SynthOptions o = placed(6, angle);
        const Layouts layouts(
            test::synthesiseFrame(symbol->moduleMatrix, symbol->side, symbol->side, o));
        std::optional<SymbolCorners> first;
        for (const auto& [name, view] : layouts.views()) {
            SCOPED_TRACE(std::string(name) + " at " + std::to_string(angle));
            const DecodeResult r = decodeImage(view);
            ASSERT_TRUE(r.decoded) << r.statusMeaning();
            EXPECT_EQ(r.status, DecodeStatus::Success);
            EXPECT_EQ(r.text, message);
            EXPECT_EQ(r.sizeIndex, symbol->sizeIndex);
            EXPECT_EQ(r.symbolRows, symbol->side);
            EXPECT_EQ(r.symbolCols, symbol->side);
            EXPECT_EQ(r.appendTotal, 0);
            expectOutline(r, symbol->side, symbol->side, o);
            // Gray levels make the same decisions as colour read in place.
            if (!first)
                first = r.corners;
            for (size_t i = 0; first && r.corners && i < 4; ++i) {
                EXPECT_DOUBLE_EQ((*r.corners)[i].x, (*first)[i].x);
                EXPECT_DOUBLE_EQ((*r.corners)[i].y, (*first)[i].y);
            }
        }
    }
}

TEST(DecodeImage, RectangleOutlineFollowsItsLongSide) {
    const int sizeIndex = 26;  // 12 x 26
    const SymbolSize& s = symbolSize(sizeIndex);
    const test::SynthOptions o = placed(7, -30);
    const Layouts layouts(test::synthesiseFrame(test::symbolWithData({'R' + 1}, sizeIndex),
                                                s.symbolRows, s.symbolCols, o));
    const DecodeResult r = decodeImage(layouts.views()[1].second);
    ASSERT_TRUE(r.decoded) << r.statusMeaning();
    EXPECT_EQ(r.text, "R");
    EXPECT_EQ(r.symbolRows, 12);
    EXPECT_EQ(r.symbolCols, 26);
    expectOutline(r, s.symbolRows, s.symbolCols, o);
}

TEST(DecodeImage, StructuredAppendFieldsAndTheOutlineOfAnUnreadableSymbol) {
    // Symbol 2 of 3 of file (5, 6).
    const test::SynthOptions o = placed(6, 25);
    const Layouts joined(
        test::synthesiseFrame(test::symbolWithData({233, 0x1E, 5, 6, 'x' + 1}, 2), 14, 14, o));
    const DecodeResult r = decodeImage(joined.views()[1].second);
    ASSERT_TRUE(r.decoded) << r.statusMeaning();
    EXPECT_EQ(r.text, "x");
    EXPECT_EQ(r.appendPosition, 2);
    EXPECT_EQ(r.appendTotal, 3);
    EXPECT_EQ(r.fileId1, 5);
    EXPECT_EQ(r.fileId2, 6);

    // One row and one column of data modules inverted: every codeword they cross is wrong, so
    // the symbol is located and measured but beyond correction.
    const int n = 10;
    std::vector<uint8_t> smudged = test::symbolWithData({'O' + 1, 'K' + 1}, 0);
    for (int i = 1; i < n - 1; ++i) {
        smudged[5 * n + i] ^= 1;
        smudged[i * n + 3] ^= 1;
    }
    const Layouts unreadable(test::synthesiseFrame(smudged, n, n, o));
    const DecodeResult failed = decodeImage(unreadable.views()[0].second);
    EXPECT_FALSE(failed.decoded);
    EXPECT_EQ(failed.status, DecodeStatus::BlockUncorrectable);
    EXPECT_TRUE(failed.text.empty());
    EXPECT_EQ(failed.sizeIndex, 0);
    expectOutline(failed, n, n, o);
}

TEST(DecodeImage, ViewsThatDoNotDescribeTheirPixelsAreMissingInput) {
    const std::vector<uint8_t> pixels(64 * 48 * 4, 200);
    const std::span<const uint8_t> all(pixels);
    struct Case {
        const char* name;
        ImageView view;
        DecodeStatus expected;
    };
    const Case cases[] = {
        {"no pixels", {{}, 64, 48, 1}, DecodeStatus::MissingInput},
        {"two bytes a pixel", {all, 64, 48, 2}, DecodeStatus::MissingInput},
        {"narrower than 10", {all, 9, 48, 1}, DecodeStatus::MissingInput},
        {"lower than 10", {all, 64, 9, 1}, DecodeStatus::MissingInput},
        {"stride below a row", {all, 64, 48, 3, 191}, DecodeStatus::MissingInput},
        {"last row short", {all.first(64 * 47 + 63), 64, 48, 1}, DecodeStatus::MissingInput},
        {"negative size", {all, -64, 48, 1}, DecodeStatus::MissingInput},
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

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ReadmeExample, IsShortAndDecodesAPng) {
    std::ifstream source(DM_README_EXAMPLE_SOURCE);
    ASSERT_TRUE(source);
    int lines = 0;
    for (std::string line; std::getline(source, line);)
        ++lines;
    EXPECT_LT(lines, 15);

    const fs::path dir = fs::temp_directory_path() / ("dm-readme-" + std::to_string(getpid()));
    fs::create_directories(dir);
    auto run = [&](const fs::path& file, std::string& out) {
        const std::string cmd = std::string(DM_README_EXAMPLE) + " '" + file.string() + "' >'" +
                                (dir / "out").string() + "'";
        const int status = std::system(cmd.c_str());
        out = slurp(dir / "out");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    auto writePng = [&](const fs::path& file, const SymbolImage& image) {
        png_image png{};
        png.version = PNG_IMAGE_VERSION;
        png.width = static_cast<png_uint_32>(image.width);
        png.height = static_cast<png_uint_32>(image.height);
        png.format = PNG_FORMAT_GRAY;
        return png_image_write_to_file(&png, file.c_str(), 0, image.pixels.data(), 0, nullptr);
    };
    const std::string message = "Read by the README";
    const auto rendered = RenderSymbol(
        std::span(reinterpret_cast<const uint8_t*>(message.data()), message.size()), 6, 4);
    ASSERT_TRUE(rendered);
    ASSERT_TRUE(writePng(dir / "symbol.png", rendered->image));
    const SymbolImage blank{std::vector<uint8_t>(80 * 60, 255), 80, 60};
    ASSERT_TRUE(writePng(dir / "blank.png", blank));
    std::ofstream(dir / "not.png") << "not a picture";

    std::string out;
    EXPECT_EQ(run(dir / "symbol.png", out), 0);
    EXPECT_EQ(out, message + "\n");
    EXPECT_EQ(run(dir / "blank.png", out), 1);
    EXPECT_EQ(out, std::string(statusMeaning(DecodeStatus::NoFinder)) + "\n");
    EXPECT_EQ(run(dir / "not.png", out), 2);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace dm
