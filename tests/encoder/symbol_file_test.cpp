#include <gtest/gtest.h>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "encoder/jpeg_output.h"
#include "encoder/symbol_renderer.h"
#include "tests/support/peer_encoders.h"
#include "tests/support/peer_readers.h"
#include "tests/support/temp_dir.h"

namespace dm {
namespace {

namespace fs = std::filesystem;

using test::bytesOf;
using TempDir = test::TempDirTest;
using test::readFile;

TEST(SymbolRendering, TenByTenWithDefaultsIsSixtyFourPixelsWithATwelvePixelMargin) {
    const auto r = RenderSymbol(bytesOf("AB"), 4, 3);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->side, 10);
    ASSERT_EQ(r->image.width, 64);
    ASSERT_EQ(r->image.height, 64);
    const auto& px = r->image.pixels;
    for (int i = 0; i < 64; ++i) {
        for (int k = 0; k < 12; ++k) {
            ASSERT_EQ(px[k * 64 + i], 255);         // top margin
            ASSERT_EQ(px[(63 - k) * 64 + i], 255);  // bottom margin
            ASSERT_EQ(px[i * 64 + k], 255);         // left margin
            ASSERT_EQ(px[i * 64 + 63 - k], 255);    // right margin
        }
    }
    // The solid finder column and the bottom row are black; the top-right module is white.
    EXPECT_EQ(px[12 * 64 + 12], 0);
    EXPECT_EQ(px[51 * 64 + 51], 0);
    EXPECT_EQ(px[12 * 64 + 51], 255);
    for (uint8_t v : px)
        ASSERT_TRUE(v == 0 || v == 255);
}

TEST(SymbolRendering, QuietZoneZeroAndModuleSizeOne) {
    const auto r = RenderSymbol(bytesOf("AB"), 1, 0);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->image.width, 10);
    EXPECT_EQ(r->image.pixels[9 * 10 + 0], 0);  // dark modules touch the border
    const auto big = RenderSymbol(bytesOf(std::string(3116, '1')), 20, 20);
    ASSERT_TRUE(big);
    EXPECT_EQ(big->image.width, 3680);
}

TEST(SymbolRendering, ParametersOutOfRangeRenderNothing) {
    EXPECT_FALSE(RenderSymbol(bytesOf("AB"), 0, 3));
    EXPECT_FALSE(RenderSymbol(bytesOf("AB"), 21, 3));
    EXPECT_FALSE(RenderSymbol(bytesOf("AB"), 4, 21));
    EXPECT_FALSE(RenderSymbol(bytesOf("AB"), 4, -1));
    EXPECT_FALSE(RenderSymbol(bytesOf(""), 4, 3));
}

TEST_F(TempDir, GenerateWritesABaselineThreeComponentJpegAndReturnsTheSide) {
    const fs::path path = dir_ / "条码测试.jpg";
    EXPECT_EQ(GenerateSymbolFile(bytesOf("AB"), path.string(), 4, 3), 10);
    const auto jpeg = readFile(path);
    ASSERT_GT(jpeg.size(), 100u);
    tjhandle h = tjInitDecompress();
    int w = 0, ht = 0, sub = 0, cs = 0;
    ASSERT_EQ(tjDecompressHeader3(h, jpeg.data(), jpeg.size(), &w, &ht, &sub, &cs), 0);
    tjDestroy(h);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(ht, 64);
    EXPECT_EQ(cs, TJCS_YCbCr);
    // Baseline frame marker SOF0 with three components.
    bool sof0 = false;
    for (size_t i = 0; i + 9 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            sof0 = jpeg[i + 9] == 3;
            break;
        }
    }
    EXPECT_TRUE(sof0);
    // No temporary files are left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(TempDir, JpegIsIdenticalToCompressingTheGrayAsRgb) {
    const auto r = RenderSymbol(bytesOf("Identical output check 12345"), 5, 2);
    ASSERT_TRUE(r);
    const auto fast = compressJpeg(r->image);
    std::vector<uint8_t> rgb;
    for (uint8_t v : r->image.pixels)
        rgb.insert(rgb.end(), {v, v, v});
    tjhandle h = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    ASSERT_EQ(tjCompress2(h, rgb.data(), r->image.width, 0, r->image.height, TJPF_RGB, &out, &size,
                          TJSAMP_420, 75, 0),
              0);
    const std::vector<uint8_t> slow(out, out + size);
    tjFree(out);
    tjDestroy(h);
    EXPECT_EQ(fast, slow);
}

TEST_F(TempDir, MissingFolderOrAPathThroughAFileIsAFailure) {
    const fs::path missing = dir_ / "no-such-folder" / "a.jpg";
    EXPECT_EQ(GenerateSymbolFile(bytesOf("AB"), missing.string(), 4, 3), -1);
    EXPECT_FALSE(fs::exists(missing));
    // A path through a regular file can never be written, whatever the privileges.
    const fs::path plain = dir_ / "plain-file";
    std::ofstream(plain) << "x";
    EXPECT_EQ(GenerateSymbolFile(bytesOf("AB"), (plain / "a.jpg").string(), 4, 3), -1);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(TempDir, ReadOnlyFolderIsAFailureAndKeepsTheEarlierFile) {
    const fs::path locked = dir_ / "locked";
    fs::create_directories(locked);
    const fs::path file = locked / "a.jpg";
    ASSERT_EQ(GenerateSymbolFile(bytesOf("first"), file.string(), 4, 3), 12);
    const auto before = readFile(file);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    if (access(locked.c_str(), W_OK) == 0)
        GTEST_SKIP() << "running with privileges that ignore permissions";
    EXPECT_EQ(GenerateSymbolFile(bytesOf("second text"), file.string(), 4, 3), -1);
    EXPECT_EQ(readFile(file), before);
}

TEST_F(TempDir, RejectedMessageLeavesTheEarlierFileUntouched) {
    const fs::path file = dir_ / "a.jpg";
    ASSERT_EQ(GenerateSymbolFile(bytesOf("keep me"), file.string(), 4, 3), 14);
    const auto before = readFile(file);
    EXPECT_EQ(GenerateSymbolFile(bytesOf(std::string(1559, 'a')), file.string(), 4, 3), -1);
    EXPECT_EQ(GenerateSymbolFile(bytesOf(""), file.string(), 4, 3), -1);
    EXPECT_EQ(GenerateSymbolFile(bytesOf("AB"), file.string(), 21, 3), -1);
    EXPECT_EQ(GenerateSymbolFile(bytesOf("AB"), file.string(), 4, 21), -1);
    EXPECT_EQ(GenerateSymbolFile(bytesOf("AB"), "", 4, 3), -1);
    EXPECT_EQ(readFile(file), before);
}

}  // namespace
}  // namespace dm
