#include "decoder/picture_attempts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string_view>

#include "encoder/jpeg_output.h"
#include "platform/image_decoding.h"

namespace dm {
namespace {

TEST(FramedPicture, SmallImagesAreEnlargedAndEveryImageFramedAndReadAsGray) {
    // 4 x 2: top row black, white, red, blue; bottom row white.
    RgbImage img{4, 2, std::vector<uint8_t>(24, 255)};
    const uint8_t top[12] = {0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 0, 255};
    std::copy(std::begin(top), std::end(top), img.rgb.begin());
    EXPECT_EQ(cameraScale(2), 120);
    const std::vector<uint8_t> gray = grayPixels(img);
    const GrayPicture picture = framedPicture({4, 2, gray}, {120, true, {0, 0, 4, 2}});
    // Short side 2 -> factor 120, border of a quarter of the enlarged short side.
    const int border = 60;
    ASSERT_EQ(picture.width, 4 * 120 + 2 * border);
    ASSERT_EQ(picture.height, 2 * 120 + 2 * border);
    ASSERT_EQ(picture.gray.size(), static_cast<size_t>(picture.width) * picture.height);
    auto at = [&](int x, int y) { return int{picture.gray[y * picture.width + x]}; };
    EXPECT_EQ(at(0, 0), 255);                                 // border
    EXPECT_EQ(at(border, border), 0);                         // black
    EXPECT_EQ(at(border + 2 * 120, border), 76);              // red
    EXPECT_EQ(at(border + 3 * 120 + 119, border + 119), 28);  // blue
    EXPECT_EQ(at(border, border + 120), 255);                 // bottom row, white
}

// The outline of a decoded file is given in the file's own pixels, whatever enlargement and
// border the decode used: a 14 x 14 symbol of 3-pixel modules and a 2-module quiet zone.
TEST(DecodedFile, CornersAreInTheFilesOwnPixels) {
    const std::string path =
        (std::filesystem::temp_directory_path() / "dm_corners_in_file_pixels.jpg").string();
    const std::string_view text = "corners";
    ASSERT_NE(GenerateSymbolFile({reinterpret_cast<const uint8_t*>(text.data()), text.size()}, path,
                                 3, 2),
              -1);
    const FileOutcome outcome = decodeImageFile(path);
    std::filesystem::remove(path);
    ASSERT_TRUE(outcome.result.decoded);
    ASSERT_TRUE(outcome.result.corners.has_value());
    const double expected[4][2] = {{6, 6}, {48, 6}, {48, 48}, {6, 48}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR((*outcome.result.corners)[i].x, expected[i][0], 1.5) << "corner " << i;
        EXPECT_NEAR((*outcome.result.corners)[i].y, expected[i][1], 1.5) << "corner " << i;
    }
}

// Whatever the image, few pictures are decoded and none is enlarged past the bound; camera-sized
// images are tried as they are first; images that cannot hold a symbol are not tried at all.
TEST(DecodeAttempts, AreFewBoundedAndCameraSizedImagesComeAsTheyAre) {
    struct Case {
        int width;
        int height;
        int content;  // 0 white (one attempt), 1 noise of single pixels, 2 one dark pixel in white
        bool planned;
    };
    const Case cases[] = {
        {200, 1, 1, false},  {1000, 7, 1, false},   {9, 9, 1, false},    {5000, 20, 0, true},
        {640, 480, 0, true}, {5000, 20, 1, true},   {16384, 8, 1, true}, {8, 16384, 1, true},
        {16384, 8, 0, true}, {16384, 8, 2, true},   {30, 30, 1, true},   {640, 480, 1, true},
        {640, 480, 2, true}, {4000, 3000, 1, true}, {12, 2000, 1, true}, {239, 239, 1, true},
        {240, 240, 1, true},
    };
    std::mt19937 random(7);
    for (const Case& c : cases) {
        GrayPicture image{c.width, c.height,
                          std::vector<uint8_t>(static_cast<size_t>(c.width) * c.height, 255)};
        if (c.content == 1) {
            for (uint8_t& v : image.gray)
                v = random() % 2 ? 0 : 255;
        } else if (c.content == 2) {
            image.gray[image.gray.size() / 2 + c.width / 2] = 0;
        }
        const std::string name = std::to_string(c.width) + " x " + std::to_string(c.height);
        std::string why;
        const std::vector<Attempt> plan = planAttempts(image.view(), why);
        EXPECT_EQ(!plan.empty(), c.planned) << name << ": " << why;
        EXPECT_EQ(why.empty(), c.planned) << name;
        EXPECT_LE(plan.size(), static_cast<size_t>(c.content == 0 ? 1 : kMaxAttempts)) << name;
        const bool cameraSized = std::min(c.width, c.height) >= kEnlargedShortSide;
        EXPECT_TRUE(!cameraSized || !plan[0].framed) << name;
        for (size_t i = 0; i < plan.size(); ++i) {
            const Attempt& a = plan[i];
            EXPECT_TRUE(a.framed || i == 0) << name << " attempt " << i;
            if (!a.framed)
                continue;
            const Region& r = a.region;
            EXPECT_TRUE(r.x >= 0 && r.y >= 0 && r.width > 0 && r.height > 0 &&
                        r.x + r.width <= c.width && r.y + r.height <= c.height)
                << name << " attempt " << i;
            const int64_t border = borderWidth(r, a.scale);
            const int64_t pixels = (int64_t{r.width} * a.scale + 2 * border) *
                                   (int64_t{r.height} * a.scale + 2 * border);
            EXPECT_LE(pixels, kMaxFramedPixels) << name << " attempt " << i;
        }
    }
}

}  // namespace
}  // namespace dm
