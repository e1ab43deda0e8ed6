#include "detection/finder/local_threshold.h"

#include <algorithm>
#include <array>

namespace dm {
namespace {

// Tiles within this many tiles of a tile make up its window.
constexpr int32_t kWindowRadius = 2;
// Least spread of tile means in a window (gray levels) that tells a window with something in
// it from a plain one; noisier frames need more (see meanSpreadGate).
constexpr int32_t kMinContrast = 12;

// Gray levels of colour pixels through per-channel tables of the weighted sum (scaled so
// that a shift divides by 100 exactly, as grayOfBgr does): three look-ups and two additions.
struct GrayTables {
    std::array<uint32_t, 256> blue{}, green{}, red{};
    constexpr GrayTables() {
        for (uint32_t v = 0; v < 256; ++v) {
            blue[v] = 11 * v * 5243;
            green[v] = 59 * v * 5243;
            red[v] = 30 * v * 5243;
        }
    }
};
constexpr GrayTables kGrayTables;

void copyGray(const GrayImage& image, BinaryFrame& frame) {
    const auto w = static_cast<size_t>(frame.width);
    const GrayTables& t = kGrayTables;
    for (int32_t y = 0; y < frame.height; ++y) {
        const uint8_t* src = image.pixels + image.rowOffsets[y];
        uint8_t* dst = frame.gray.data() + static_cast<size_t>(y) * w;
        if (image.bytesPerPixel == 1) {
            std::copy(src, src + w, dst);
        } else {
            const auto step = static_cast<size_t>(image.bytesPerPixel);
            for (size_t x = 0; x < w; ++x, src += step)
                dst[x] =
                    static_cast<uint8_t>((t.blue[src[0]] + t.green[src[1]] + t.red[src[2]]) >> 19);
        }
    }
}

// The gray image under the kernel [1 2 1] x [1 2 1] / 16 (edges repeated).
void smoothGray(BinaryFrame& f) {
    const int32_t w = f.width;
    std::vector<uint16_t>& rows = f.rowSums;
    rows.resize(f.gray.size());
    for (int32_t y = 0; y < f.height; ++y) {
        const uint8_t* g = f.gray.data() + static_cast<size_t>(y) * w;
        uint16_t* r = rows.data() + static_cast<size_t>(y) * w;
        r[0] = static_cast<uint16_t>(3 * g[0] + g[1]);
        for (int32_t x = 1; x + 1 < w; ++x)
            r[x] = static_cast<uint16_t>(g[x - 1] + 2 * g[x] + g[x + 1]);
        r[w - 1] = static_cast<uint16_t>(g[w - 2] + 3 * g[w - 1]);
    }
    for (int32_t y = 0; y < f.height; ++y) {
        const uint16_t* above = rows.data() + static_cast<size_t>(std::max(y - 1, 0)) * w;
        const uint16_t* here = rows.data() + static_cast<size_t>(y) * w;
        const uint16_t* below =
            rows.data() + static_cast<size_t>(std::min(y + 1, f.height - 1)) * w;
        uint8_t* out = f.smooth.data() + static_cast<size_t>(y) * w;
        for (int32_t x = 0; x < w; ++x)
            out[x] = static_cast<uint8_t>((above[x] + 2 * here[x] + below[x] + 8) / 16);
    }
}

// Lowest and highest sum of 2 x 2 pixel blocks per tile (block sums are four times the mean,
// which keeps single noisy pixels from setting the extremes), and four times the tile's mean.
void tileStatistics(BinaryFrame& f) {
    std::fill(f.tileLow.begin(), f.tileLow.end(), UINT16_MAX);
    std::fill(f.tileHigh.begin(), f.tileHigh.end(), 0);
    std::vector<uint32_t> sums(f.tileSum.size());
    std::vector<uint16_t> counts(f.tileSum.size());
    const auto w = static_cast<size_t>(f.width);
    for (int32_t y = 0; y + 1 < f.height; y += 2) {
        const uint8_t* r0 = f.smooth.data() + static_cast<size_t>(y) * w;
        const uint8_t* r1 = r0 + w;
        const size_t first = static_cast<size_t>(y / kThresholdTile) * f.tilesX;
        for (int32_t x = 0; x + 1 < f.width; x += 2) {
            const auto sum = static_cast<uint16_t>(r0[x] + r0[x + 1] + r1[x] + r1[x + 1]);
            const size_t t = first + static_cast<size_t>(x / kThresholdTile);
            f.tileLow[t] = std::min(f.tileLow[t], sum);
            f.tileHigh[t] = std::max(f.tileHigh[t], sum);
            sums[t] += sum;
            ++counts[t];
        }
    }
    for (size_t i = 0; i < f.tileSum.size(); ++i) {
        // A one-pixel last row or column of tiles has no whole block: take its neighbour's.
        if (counts[i] == 0) {
            const size_t from = i >= static_cast<size_t>(f.tilesX) ? i - f.tilesX : i - 1;
            f.tileLow[i] = f.tileLow[from];
            f.tileHigh[i] = f.tileHigh[from];
            f.tileSum[i] = f.tileSum[from];
        } else {
            f.tileSum[i] = static_cast<uint16_t>(sums[i] / counts[i]);
        }
    }
}

// Lowest of low and highest of high within kWindowRadius tiles along one direction: step
// apart in the arrays, count along it; lines of them start lineStep apart.
void extremesAlong(const std::vector<uint16_t>& low, const std::vector<uint16_t>& high,
                   std::vector<uint16_t>& outLow, std::vector<uint16_t>& outHigh, int32_t count,
                   size_t step, int32_t lines, size_t lineStep) {
    for (int32_t line = 0; line < lines; ++line) {
        const size_t first = static_cast<size_t>(line) * lineStep;
        for (int32_t i = 0; i < count; ++i) {
            uint16_t lo = UINT16_MAX;
            uint16_t hi = 0;
            for (int32_t k = std::max(0, i - kWindowRadius);
                 k <= std::min(count - 1, i + kWindowRadius); ++k) {
                lo = std::min(lo, low[first + static_cast<size_t>(k) * step]);
                hi = std::max(hi, high[first + static_cast<size_t>(k) * step]);
            }
            outLow[first + static_cast<size_t>(i) * step] = lo;
            outHigh[first + static_cast<size_t>(i) * step] = hi;
        }
    }
}

// Lowest of low and highest of high over each tile's window, separably (rows, then columns).
void windowExtremes(const BinaryFrame& f, const std::vector<uint16_t>& low,
                    const std::vector<uint16_t>& high, std::vector<uint16_t>& outLow,
                    std::vector<uint16_t>& outHigh) {
    const auto tx = static_cast<size_t>(f.tilesX);
    std::vector<uint16_t> rowLow(low.size());
    std::vector<uint16_t> rowHigh(high.size());
    extremesAlong(low, high, rowLow, rowHigh, f.tilesX, 1, f.tilesY, tx);
    extremesAlong(rowLow, rowHigh, outLow, outHigh, f.tilesY, tx, f.tilesX, 1);
}

// Spread of tile means a window needs (four times gray levels): the least, or more than one
// window in ten shows, which in a frame of mostly plain surfaces is what noise and shading give.
int32_t meanSpreadGate(BinaryFrame& f) {
    std::vector<int32_t>& spreads = f.spreads;
    spreads.resize(f.meanLow.size());
    for (size_t i = 0; i < spreads.size(); ++i)
        spreads[i] = f.meanHigh[i] - f.meanLow[i];
    auto tenth = spreads.begin() + static_cast<ptrdiff_t>(spreads.size() / 10);
    std::nth_element(spreads.begin(), tenth, spreads.end());
    return std::max(4 * kMinContrast, *tenth * 3 / 2 + 4 * 2);
}

}  // namespace

namespace {

// v clamped to [0, high]; NaN becomes 0.
double clampCoordinate(double v, double high) {
    return v > 0 ? std::min(v, high) : 0.0;
}

}  // namespace

uint8_t BinaryFrame::thresholdNear(double x, double y) const {
    return thresholdAt(static_cast<int32_t>(clampCoordinate(x + 0.5, width - 1)),
                       static_cast<int32_t>(clampCoordinate(y + 0.5, height - 1)));
}

double BinaryFrame::grayAt(double x, double y) const {
    x = clampCoordinate(x, width - 1.001);
    y = clampCoordinate(y, height - 1.001);
    const auto x0 = static_cast<int32_t>(x);
    const auto y0 = static_cast<int32_t>(y);
    const double fx = x - x0;
    const double fy = y - y0;
    const uint8_t* p = gray.data() + static_cast<size_t>(y0) * width + x0;
    const double top = p[0] + fx * (p[1] - p[0]);
    const double bottom = p[width] + fx * (p[width + 1] - p[width]);
    return top + fy * (bottom - top);
}

bool thresholdLocally(const GrayImage& image, BinaryFrame& frame) {
    BinaryFrame& f = frame;
    f.width = image.width;
    f.height = image.height;
    f.tilesX = (f.width + kThresholdTile - 1) / kThresholdTile;
    f.tilesY = (f.height + kThresholdTile - 1) / kThresholdTile;
    const size_t pixels = static_cast<size_t>(f.width) * f.height;
    const size_t tiles = static_cast<size_t>(f.tilesX) * f.tilesY;
    if (f.width < 2 || f.height < 2)
        return false;
    f.gray.resize(pixels);
    f.smooth.resize(pixels);
    f.dark.resize(pixels);
    f.tileThreshold.resize(tiles);
    for (auto* v : {&f.tileLow, &f.tileHigh, &f.tileSum, &f.windowLow, &f.windowHigh, &f.meanLow,
                    &f.meanHigh})
        v->resize(tiles);

    copyGray(image, f);
    smoothGray(f);
    tileStatistics(f);
    windowExtremes(f, f.tileLow, f.tileHigh, f.windowLow, f.windowHigh);
    windowExtremes(f, f.tileSum, f.tileSum, f.meanLow, f.meanHigh);
    const int32_t gate = meanSpreadGate(f);

    // Tiles with something in their window threshold at its middle; plain ones hold nothing
    // to find and count as light throughout.
    bool any = false;
    for (size_t i = 0; i < tiles; ++i) {
        const bool textured = f.meanHigh[i] - f.meanLow[i] >= gate;
        const int32_t middle = std::min((f.windowLow[i] + f.windowHigh[i]) / 8, 254);
        f.tileThreshold[i] = static_cast<uint8_t>(textured ? middle + 1 : 0);
        any = any || textured;
    }
    if (!any)
        return false;

    for (int32_t y = 0; y < f.height; ++y) {
        const uint8_t* g = f.smooth.data() + static_cast<size_t>(y) * f.width;
        uint8_t* d = f.dark.data() + static_cast<size_t>(y) * f.width;
        const uint8_t* thresholds =
            f.tileThreshold.data() + static_cast<size_t>(y / kThresholdTile) * f.tilesX;
        for (int32_t x = 0; x < f.width; ++x)
            d[x] = g[x] < thresholds[x / kThresholdTile];
    }
    return true;
}

}  // namespace dm
