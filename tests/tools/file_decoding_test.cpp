#include "tools/file_decoding.h"
#include "tests/support/printers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string_view>

#include "encoder/jpeg_output.h"

namespace dm::tool {
namespace {

TEST(FramedPicture, SmallImagesAreEnlargedAndEveryImageFramedAndReadAsGray) {
    // 4 x 2: top row black, white, red, blue; bottom row white.
    RgbImage img{4, 2, std::vector<uint8_t>(24, 255)};
    const uint8_t top[12] = {0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 0, 255};
    std::copy(std::begin(top), std::end(top), img.rgb.begin());
    EXPECT_EQ(cameraScale(img), 120);
    const GrayPicture picture = framedPicture(img, cameraScale(img));
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

}  // namespace
}  // namespace dm::tool
