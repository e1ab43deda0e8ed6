#include "detection/finder_pass/threshold.h"

#include <algorithm>
#include <array>

namespace dm {
namespace {

constexpr int kStep = 4;
constexpr uint32_t kLevelMinSamples = 10;  // a level bounds the search only above this count
constexpr int kMaxAdjustments = 128;

struct SampleWindow {
    int rowStart, rowEnd, colStart, colEnd;
};

SampleWindow sampleWindow(int width, int height, int variant) {
    switch (variant) {
        case 1:
            return {height / 4, 3 * height / 4, width / 4, 3 * width / 4};
        case 2:
            return {height / 8, 7 * height / 8, width / 8, 7 * width / 8};
        default:
            return {0, height, 0, width};
    }
}

}  // namespace

uint8_t computeThreshold(const GrayImage& image, int variant) {
    std::array<uint32_t, 256> histogram{};
    const int width = std::max(image.width, 0);
    const int height = std::max(image.height, 0);
    if (image.pixels != nullptr && image.rowOffsets != nullptr) {
        const SampleWindow w = sampleWindow(width, height, variant);
        const ptrdiff_t pixelStep = static_cast<ptrdiff_t>(kStep) * image.bytesPerPixel;
        for (int y = w.rowStart; y < w.rowEnd; y += kStep) {
            const uint8_t* p = image.pixels + image.rowOffsets[y] +
                               static_cast<ptrdiff_t>(w.colStart) * image.bytesPerPixel;
            if (image.bytesPerPixel == 1) {
                for (int x = w.colStart; x < w.colEnd; x += kStep, p += pixelStep)
                    ++histogram[*p];
            } else {
                for (int x = w.colStart; x < w.colEnd; x += kStep, p += pixelStep)
                    ++histogram[grayOfBgr(p)];
            }
        }
    }

    auto firstLevel = [&](uint32_t above, bool fromTop) {
        for (int i = 0; i < 256; ++i) {
            const int level = fromTop ? 255 - i : i;
            if (histogram[level] > above)
                return level;
        }
        return -1;
    };
    int lo = firstLevel(kLevelMinSamples, false);
    int hi = firstLevel(kLevelMinSamples, true);
    if (lo < 0) {
        // Few, widely spread samples: bound by what was seen, or the full range if nothing was.
        lo = firstLevel(0, false);
        hi = firstLevel(0, true);
        if (lo < 0) {
            lo = 0;
            hi = 255;
        }
    }

    // Counts and level sums below each level, so that every adjustment splits in O(1).
    std::array<uint64_t, 257> countBelow{};
    std::array<uint64_t, 257> sumBelow{};
    for (int level = 0; level < 256; ++level) {
        countBelow[level + 1] = countBelow[level] + histogram[level];
        sumBelow[level + 1] = sumBelow[level] + static_cast<uint64_t>(level) * histogram[level];
    }
    int t = (lo + hi) / 2;
    for (int adjustments = 0; adjustments < kMaxAdjustments; ++adjustments) {
        // Levels below t on one side, t and above on the other (t may pass 255 or fall
        // below 0 only when one side is already empty).
        const int split = std::clamp(t, 0, 256);
        const uint64_t count1 = countBelow[split];
        const uint64_t sum1 = sumBelow[split];
        const uint64_t count2 = countBelow[256] - count1;
        const uint64_t sum2 = sumBelow[256] - sum1;
        if (count1 == 0 || count2 == 0)
            break;
        const uint64_t m = sum1 / count1 + sum2 / count2;
        if (static_cast<uint64_t>(2 * t) == m)
            break;
        t += static_cast<uint64_t>(2 * t) < m ? 1 : -1;
    }
    return static_cast<uint8_t>(t - 1);
}

bool flipRows(std::span<uint8_t> matrix, int rowLength, int rowCount, DecodeStatus& status) {
    if (rowLength < 0 || rowCount < 0 ||
        matrix.size() < static_cast<size_t>(rowLength) * static_cast<size_t>(rowCount)) {
        status = DecodeStatus::MissingInput;
        return false;
    }
    for (int i = 0; i < rowCount / 2; ++i) {
        const auto top = matrix.begin() + static_cast<ptrdiff_t>(i) * rowLength;
        const auto bottom = matrix.begin() + static_cast<ptrdiff_t>(rowCount - 1 - i) * rowLength;
        std::swap_ranges(top, top + rowLength, bottom);
    }
    return true;
}

}  // namespace dm
