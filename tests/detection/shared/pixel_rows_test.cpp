#include "detection/shared/pixel_rows.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <type_traits>
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

// The local threshold's rows the same way: [1 2 1] sums (levels to 255, sums to 1020, so the
// smoothing's sum reaches its largest), the smoothing, and the block statistics taken into
// columns that already hold values (sums near the 16-bit limit wrap alike).
TEST(PixelRows, VectorisedThresholdRowsGiveTheScalarRows) {
    std::mt19937 rng(27);
    auto random = [&](auto& v, int high) {
        std::uniform_int_distribution<int> value(0, high);
        for (auto& x : v)
            x = static_cast<std::remove_reference_t<decltype(x)>>(
                high > 1020 && value(rng) % 4 == 0 ? 65535 - value(rng) % 64 : value(rng));
    };
    for (size_t n = 2; n <= 140; n += n < 70 ? 1 : 69) {
        for (const size_t offset : {size_t{0}, size_t{1}, size_t{7}}) {
            const std::string where =
                std::to_string(n).append(" pixels at +").append(std::to_string(offset));
            std::vector<uint8_t> gray(offset + 2 * n), other(gray.size());
            random(gray, 255);
            random(other, 255);
            if (n % 5 == 0)
                std::fill(gray.begin(), gray.end(), 255);
            std::vector<uint16_t> sums(offset + n + 4, 0xA5A5), sumsScalar(sums);
            rowSums(gray.data() + offset, sums.data() + offset, n);
            rowSumsScalar(gray.data() + offset, sumsScalar.data() + offset, n);
            EXPECT_EQ(sums, sumsScalar) << "sums, " << where;

            std::vector<uint16_t> above(n), below(n);
            random(above, 1020);
            random(below, 1020);
            std::vector<uint8_t> out(offset + n + 4, 0xA5), outScalar(out);
            smoothedRow(above.data(), sums.data() + offset, below.data(), out.data() + offset, n);
            smoothedRowScalar(above.data(), sums.data() + offset, below.data(),
                              outScalar.data() + offset, n);
            EXPECT_EQ(out, outScalar) << "smoothed, " << where;

            std::vector<uint16_t> low(n + 4), high(n + 4), sum(n + 4);
            random(low, 1020);
            random(high, 1020);
            random(sum, 65535);
            auto lowS = low, highS = high, sumS = sum;
            addBlockRow(gray.data() + offset, other.data() + offset, low.data(), high.data(),
                        sum.data(), n);
            addBlockRowScalar(gray.data() + offset, other.data() + offset, lowS.data(),
                              highS.data(), sumS.data(), n);
            EXPECT_EQ(low, lowS) << "block lows, " << where;
            EXPECT_EQ(high, highS) << "block highs, " << where;
            EXPECT_EQ(sum, sumS) << "block sums, " << where;
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
