#include "tools/file_decoding.h"
#include "tests/support/printers.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace dm::tool
