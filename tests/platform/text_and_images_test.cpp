#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "decoder/frame_dib.h"
#include "encoder/jpeg_output.h"
#include "platform/gbk_text.h"
#include "platform/image_files.h"
#include "platform/message_text.h"
#include "tests/support/temp_dir.h"

namespace dm {
namespace {

namespace fs = std::filesystem;

TEST(GbkText, RoundTripsChineseAndAscii) {
    const auto gbk = utf8ToGbk("数据 Matrix");
    ASSERT_TRUE(gbk);
    EXPECT_EQ(*gbk, "\xCA\xFD\xBE\xDD Matrix");
    EXPECT_EQ(gbkToUtf8(*gbk), "数据 Matrix");
}

TEST(GbkText, NamesTheFirstCharacterGbkCannotHold) {
    std::string bad;
    EXPECT_FALSE(utf8ToGbk("ab😀c", &bad));
    EXPECT_EQ(bad, "😀");
    EXPECT_FALSE(utf8ToGbk("\xFF\xFE", &bad));  // not UTF-8 at all
}

TEST(GbkText, InvalidSequencesBecomeReplacementCharacters) {
    EXPECT_EQ(gbkToUtf8("A\xFF"
                        "B"),
              "A\xEF\xBF\xBD"
              "B");
    EXPECT_EQ(gbkToUtf8("A\xD6"), "A\xEF\xBF\xBD");  // truncated double-byte character
    EXPECT_EQ(gbkToUtf8(""), "");
}

TEST(MessageText, WithoutEciGbkWithEciEachSegmentInItsCharacterSet) {
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<EciSegment> segments;
        std::string text;
    };
    const Case cases[] = {
        {"no ECI: GBK", "\xCA\xFD\xBE\xDD", {}, "数据"},
        {"before the first ECI: ISO-8859-1", "\xB6\xB6", {{7, 1}}, "¶Ж"},
        {"Shift JIS", "\x83\x65\x83\x58", {{20, 0}}, "テス"},
        {"Big5", "\xB4\xFA", {{28, 0}}, "測"},
        {"GB 18030 four bytes", "\x81\x39\xEE\x39", {{32, 0}}, "㐀"},
        {"UTF-16BE", std::string("\x00\x41\x4E\x2D", 4), {{25, 0}}, "A中"},
        {"UTF-8 then an empty segment then ASCII", "\xC3\xBC!", {{26, 0}, {3, 2}, {27, 2}}, "ü!"},
        // A character cut by a segment boundary cannot be read, nor a byte ASCII lacks.
        {"cut character", "\xC3\xBC", {{26, 0}, {26, 1}}, "\uFFFD\uFFFD"},
        {"ASCII", "A\xE9", {{27, 0}}, "A\uFFFD"},
        // ECIs that name no character set here show their bytes one character each.
        {"binary", "\xE9", {{899, 0}}, "é"},
        {"unknown ECI", "\xE9", {{1234, 0}}, "é"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(messageText(c.bytes, c.segments), c.text);
    }
    for (int eci = 0; eci <= 35; ++eci) {
        if (const auto set = eciCharacterSet(eci)) {
            EXPECT_TRUE(toUtf8("A", std::string(*set).c_str()).has_value()) << *set;
        }
    }
}

TEST(Utf8Text, OffsetOfTheFirstMalformedSequence) {
    const std::pair<std::string, std::optional<size_t>> cases[] = {
        {"", std::nullopt},
        {"ASCII, 中文, \xC3\xA9, 😀", std::nullopt},
        {"\x80", 0},              // a continuation byte alone
        {"ab\xE4\xB8", 2},        // cut short
        {"a\xC3\x28", 1},         // a lead byte without its continuation
        {"\xC0\x80", 0},          // overlong NUL
        {"x\xE0\x80\x80", 1},     // overlong three-byte form
        {"\xED\xA0\x80", 0},      // a surrogate
        {"\xF4\x90\x80\x80", 0},  // past U+10FFFF
        {"ok \xF0\x9F\x98\x80 \xFF", 8},
    };
    for (const auto& [text, offset] : cases)
        EXPECT_EQ(invalidUtf8Offset(text), offset) << text;
}

using ImageFiles = test::TempDirTest;

// A 4 x 2 picture: top row black/white/red/blue, bottom row white.
RgbImage sample() {
    RgbImage img{4, 2, std::vector<uint8_t>(24, 255)};
    const uint8_t top[12] = {0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 0, 255};
    std::memcpy(img.rgb.data(), top, 12);
    return img;
}

void writeBmp24(const fs::path& p, const RgbImage& img, bool bottomUp) {
    const auto stride = static_cast<int>(CFrameDib::stride(img.width, 24));
    std::vector<uint8_t> f(54 + stride * img.height, 0);
    auto put32 = [&](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            f[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    f[0] = 'B';
    f[1] = 'M';
    put32(2, static_cast<uint32_t>(f.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, img.width);
    put32(22, static_cast<uint32_t>(bottomUp ? img.height : -img.height));
    f[26] = 1;
    f[28] = 24;
    for (int y = 0; y < img.height; ++y) {
        const int row = bottomUp ? img.height - 1 - y : y;
        for (int x = 0; x < img.width; ++x) {
            const uint8_t* px = &img.rgb[(y * img.width + x) * 3];
            uint8_t* q = &f[54 + row * stride + x * 3];
            q[0] = px[2];
            q[1] = px[1];
            q[2] = px[0];
        }
    }
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(f.data()), f.size());
}

TEST_F(ImageFiles, BmpInEitherRowOrderAndSavedPngLoadExactly) {
    const RgbImage img = sample();
    std::string error;
    for (bool bottomUp : {true, false}) {
        writeBmp24(dir_ / "a.bmp", img, bottomUp);
        const auto loaded = loadImage((dir_ / "a.bmp").string(), error);
        ASSERT_TRUE(loaded) << error;
        EXPECT_EQ(loaded->rgb, img.rgb) << "bottomUp " << bottomUp;
    }
    ASSERT_EQ(savePng((dir_ / "a.png").string(), img), std::error_code{});
    const auto fromPng = loadImage((dir_ / "a.png").string(), error);
    ASSERT_TRUE(fromPng) << error;
    EXPECT_EQ(fromPng->rgb, img.rgb);
}

// The size from the header alone, as eval budgets its memory: PNG, BMP either way up, JPEG
// behind a metadata segment; nothing for what is not an image or not a file.
TEST_F(ImageFiles, DimensionsComeFromTheHeader) {
    const RgbImage img = sample();
    ASSERT_EQ(savePng((dir_ / "a.png").string(), img), std::error_code{});
    writeBmp24(dir_ / "a.bmp", img, false);
    const std::vector<uint8_t> jpeg = compressJpeg({std::vector<uint8_t>(33 * 17, 128), 33, 17});
    ASSERT_FALSE(jpeg.empty());
    std::ofstream(dir_ / "a.jpg", std::ios::binary)
        .write(reinterpret_cast<const char*>(jpeg.data()),
               static_cast<std::streamsize>(jpeg.size()));
    std::ofstream(dir_ / "a.txt") << "not an image";
    for (const char* name : {"a.png", "a.bmp"}) {
        const auto size = readImageDimensions((dir_ / name).string());
        ASSERT_TRUE(size) << name;
        EXPECT_EQ(size->width, img.width) << name;
        EXPECT_EQ(size->height, img.height) << name;
    }
    const auto jpegSize = readImageDimensions((dir_ / "a.jpg").string());
    ASSERT_TRUE(jpegSize);
    EXPECT_EQ(jpegSize->width, 33);
    EXPECT_EQ(jpegSize->height, 17);
    EXPECT_FALSE(readImageDimensions((dir_ / "a.txt").string()));
    EXPECT_FALSE(readImageDimensions(dir_.string()));
    EXPECT_FALSE(readImageDimensions((dir_ / "missing.png").string()));
}

TEST_F(ImageFiles, CorruptAndTruncatedFilesAreRefusedWithAReason) {
    const RgbImage img = sample();
    writeBmp24(dir_ / "a.bmp", img, true);
    fs::resize_file(dir_ / "a.bmp", 60);
    std::string error;
    EXPECT_FALSE(loadImage((dir_ / "a.bmp").string(), error));
    EXPECT_NE(error.find("BMP"), std::string::npos);
    std::ofstream(dir_ / "b.jpg", std::ios::binary) << "\xFF\xD8\xFF\xE0 broken";
    EXPECT_FALSE(loadImage((dir_ / "b.jpg").string(), error));
    EXPECT_NE(error.find("JPEG"), std::string::npos);
    std::ofstream(dir_ / "c.png", std::ios::binary) << "\x89PNG\r\n\x1a\n broken";
    EXPECT_FALSE(loadImage((dir_ / "c.png").string(), error));
    EXPECT_NE(error.find("PNG"), std::string::npos);
    std::ofstream(dir_ / "empty.bmp");
    EXPECT_FALSE(loadImage((dir_ / "empty.bmp").string(), error));
    EXPECT_EQ(error, "empty file");
}

}  // namespace
}  // namespace dm
