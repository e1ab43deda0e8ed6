#include "detection/shared/pixel_rows.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace dm {
namespace {

// Random rows of every pixel size at lengths around the vector widths (and a long odd one),
// starting at every offset of a 64-byte block so that no alignment is assumed: the vectorised
// rows give the scalar rows' bytes, and write nothing past the row.
TEST(PixelRows, VectorisedRowsGiveTheScalarRowsBytes) {
    std::mt19937 rng(27);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 70; ++n)
        lengths.push_back(n);
    lengths.push_back(1917);
    constexpr uint8_t kGuard = 0xA5;
    for (const int32_t bytes : {1, 3, 4}) {
        for (const size_t n : lengths) {
            for (const size_t offset : {size_t{0}, size_t{1}, size_t{3}, size_t{17}, size_t{63}}) {
                std::string where = std::to_string(bytes);
                where.append(" bytes, ").append(std::to_string(n)).append(" pixels at +");
                where.append(std::to_string(offset));
                std::vector<uint8_t> top(offset + 2 * n * static_cast<size_t>(bytes));
                std::vector<uint8_t> bottom(top.size());
                for (auto* row : {&top, &bottom}) {
                    for (uint8_t& b : *row)
                        b = static_cast<uint8_t>(byte(rng));
                }
                std::vector<uint8_t> vector(offset + n + 8, kGuard), scalar(vector);
                grayRow(top.data() + offset, bytes, vector.data() + offset, n);
                grayRowScalar(top.data() + offset, bytes, scalar.data() + offset, n);
                EXPECT_EQ(vector, scalar) << "gray, " << where;
                std::fill(vector.begin(), vector.end(), kGuard);
                std::fill(scalar.begin(), scalar.end(), kGuard);
                halvedGrayRow(top.data() + offset, bottom.data() + offset, bytes,
                              vector.data() + offset, n);
                halvedGrayRowScalar(top.data() + offset, bottom.data() + offset, bytes,
                                    scalar.data() + offset, n);
                EXPECT_EQ(vector, scalar) << "halved, " << where;
                EXPECT_EQ(vector.back(), kGuard) << where;
            }
        }
    }
}

// The levels themselves: the weighted gray rounded down, each channel's mean of four rounded,
// the extremes kept. 64 pixels take the vectorised path on every instruction set.
TEST(PixelRows, LevelsAreTheWeightedGrayOfTheRoundedMeans) {
    struct Case {
        const char* name;
        uint8_t topBgr[2][3];
        uint8_t bottomBgr[2][3];
        uint8_t gray;  // of the first top pixel
        uint8_t halved;
    };
    const Case cases[] = {
        {"white", {{255, 255, 255}, {255, 255, 255}}, {{255, 255, 255}, {255, 255, 255}}, 255, 255},
        {"black", {{0, 0, 0}, {0, 0, 0}}, {{0, 0, 0}, {0, 0, 0}}, 0, 0},
        // 59 x 255 / 100 = 150.45; 30 x 255 / 100 = 76.5; 11 x 255 / 100 = 28.05.
        {"green", {{0, 255, 0}, {0, 255, 0}}, {{0, 255, 0}, {0, 255, 0}}, 150, 150},
        {"red", {{0, 0, 255}, {0, 0, 255}}, {{0, 0, 255}, {0, 0, 255}}, 76, 76},
        {"blue", {{255, 0, 0}, {255, 0, 0}}, {{255, 0, 0}, {255, 0, 0}}, 28, 28},
        // Channel means (7 + 2) / 4 = 2, (5 + 2) / 4 = 1, (7 + 2) / 4 = 2; gray 141 / 100.
        {"rounded mean", {{1, 1, 1}, {2, 1, 2}}, {{2, 2, 2}, {2, 1, 2}}, 1, 1},
        // One dark pixel of four: channel means 191 (rounded up from 191.25) and the gray of them.
        {"one dark of four",
         {{0, 0, 0}, {255, 255, 255}},
         {{255, 255, 255}, {255, 255, 255}},
         0,
         191},
    };
    constexpr size_t kPixels = 64;
    for (const Case& c : cases) {
        for (const int32_t bytes : {3, 4}) {
            std::vector<uint8_t> top(2 * kPixels * bytes), bottom(top.size());
            for (size_t x = 0; x < 2 * kPixels; ++x) {
                for (size_t k = 0; k < 3; ++k) {
                    top[x * bytes + k] = c.topBgr[x % 2][k];
                    bottom[x * bytes + k] = c.bottomBgr[x % 2][k];
                }
            }
            std::vector<uint8_t> gray(kPixels), half(kPixels);
            grayRow(top.data(), bytes, gray.data(), kPixels);
            halvedGrayRow(top.data(), bottom.data(), bytes, half.data(), kPixels);
            EXPECT_EQ(gray[kPixels - 2], c.gray) << c.name << ", " << bytes << " bytes";
            EXPECT_EQ(half[kPixels - 1], c.halved) << c.name << ", " << bytes << " bytes";
        }
    }
}

}  // namespace
}  // namespace dm
