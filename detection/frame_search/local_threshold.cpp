#include "detection/frame_search/local_threshold.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "detection/shared/pixel_rows.h"

namespace dm {
namespace {

// Tiles within this many tiles of a tile make up its window.
constexpr int32_t kWindowRadius = 2;
// Least spread of tile means in a window (gray levels) that tells a window with something in
// it from a plain one; noisier frames need more (see meanSpreadGate).
constexpr int32_t kMinContrast = 12;
// 2 x 2 blocks across a tile.
constexpr int32_t kTileBlocks = kThresholdTile / 2;

// Row y of the image in gray.
void grayRowOf(const GrayImage& image, int32_t y, uint8_t* dst, size_t w) {
    grayRow(image.pixels + image.rowOffsets[y], image.bytesPerPixel, dst, w);
}

// Per column of 2 x 2 blocks, the lowest, highest and summed block sums over the row pairs of
// the current row of tiles (block sums are four times the mean, which keeps single noisy
// pixels from setting a tile's extremes).
struct BlockColumns {
    std::vector<uint16_t>& low;
    std::vector<uint16_t>& high;
    std::vector<uint16_t>& sum;
    int32_t rowPairs = 0;

    void start() {
        std::fill(low.begin(), low.end(), UINT16_MAX);
        std::fill(high.begin(), high.end(), 0);
        std::fill(sum.begin(), sum.end(), 0);
        rowPairs = 0;
    }

    void add(const uint8_t* r0, const uint8_t* r1) {
        addBlockRow(r0, r1, low.data(), high.data(), sum.data(), low.size());
        ++rowPairs;
    }

    // The statistics of row `tileRow` of tiles: per tile the extremes of its blocks and four
    // times its mean. A one-pixel last column or row of tiles has no whole block and takes its
    // neighbour's: the tile to the left, or the one above.
    void finish(BinaryFrame& f, int32_t tileRow) const {
        BinaryFrame::Scratch& s = f.scratch;
        const size_t first = static_cast<size_t>(tileRow) * f.tilesX;
        const auto blocks = static_cast<int32_t>(low.size());
        for (int32_t tx = 0; tx < f.tilesX; ++tx) {
            const size_t t = first + static_cast<size_t>(tx);
            const int32_t begin = tx * kTileBlocks;
            const int32_t end = std::min(begin + kTileBlocks, blocks);
            if (rowPairs == 0 || begin >= end) {
                const size_t from = rowPairs == 0 ? t - f.tilesX : t - 1;
                s.tileLow[t] = s.tileLow[from];
                s.tileHigh[t] = s.tileHigh[from];
                s.tileSum[t] = s.tileSum[from];
                continue;
            }
            uint16_t lo = UINT16_MAX;
            uint16_t hi = 0;
            uint32_t total = 0;
            for (int32_t i = begin; i < end; ++i) {
                lo = std::min(lo, low[i]);
                hi = std::max(hi, high[i]);
                total += sum[i];
            }
            s.tileLow[t] = lo;
            s.tileHigh[t] = hi;
            const auto count = static_cast<uint32_t>(rowPairs * (end - begin));
            s.tileSum[t] = static_cast<uint16_t>(total / count);
        }
    }
};

// Gray copy, smoothed copy and per-tile block statistics in one walk down the frame: each
// row is converted, summed along and smoothed with the sums of its neighbours while they are
// still in cache, and every second smoothed row adds its 2 x 2 blocks to the row of tiles.
void graySmoothAndTiles(const GrayImage& image, BinaryFrame& f) {
    const auto w = static_cast<size_t>(f.width);
    const int32_t h = f.height;
    BinaryFrame::Scratch& s = f.scratch;
    s.rowSums.resize(3 * w);  // horizontal sums of three consecutive rows, in turn
    auto sumsOf = [&](int32_t y) { return s.rowSums.data() + static_cast<size_t>(y % 3) * w; };
    auto grayOf = [&](int32_t y) { return f.gray.data() + static_cast<size_t>(y) * w; };
    auto smoothOf = [&](int32_t y) { return f.smooth.data() + static_cast<size_t>(y) * w; };
    for (auto* v : {&s.blockLow, &s.blockHigh, &s.blockSum})
        v->resize(w / 2);
    BlockColumns blocks{s.blockLow, s.blockHigh, s.blockSum};

    grayRowOf(image, 0, grayOf(0), w);
    rowSums(grayOf(0), sumsOf(0), w);
    blocks.start();
    for (int32_t y = 0; y < h; ++y) {
        const int32_t below = std::min(y + 1, h - 1);
        if (below > y) {
            grayRowOf(image, below, grayOf(below), w);
            rowSums(grayOf(below), sumsOf(below), w);
        }
        smoothedRow(sumsOf(std::max(y - 1, 0)), sumsOf(y), sumsOf(below), smoothOf(y), w);
        if (y % 2 == 1)
            blocks.add(smoothOf(y - 1), smoothOf(y));
        if (y % kThresholdTile == kThresholdTile - 1 || y == h - 1) {
            blocks.finish(f, y / kThresholdTile);
            blocks.start();
        }
    }
}

// Lowest of low and highest of high within kWindowRadius tiles along each row of tiles, then
// along each column: a tile's window extremes. Edges repeat, which leaves the extremes as they
// are and lets each output be the same five-term expression.
void windowExtremes(BinaryFrame& f, const std::vector<uint16_t>& low,
                    const std::vector<uint16_t>& high, std::vector<uint16_t>& outLow,
                    std::vector<uint16_t>& outHigh) {
    const auto tx = static_cast<size_t>(f.tilesX);
    const auto ty = static_cast<size_t>(f.tilesY);
    const auto r = static_cast<size_t>(kWindowRadius);
    BinaryFrame::Scratch& s = f.scratch;
    std::vector<uint16_t>& padLow = s.paddedLow;
    std::vector<uint16_t>& padHigh = s.paddedHigh;
    padLow.resize(tx + 2 * r);
    padHigh.resize(tx + 2 * r);
    std::vector<uint16_t>& rowLow = s.rowLow;
    std::vector<uint16_t>& rowHigh = s.rowHigh;
    rowLow.resize(low.size());
    rowHigh.resize(high.size());
    for (size_t line = 0; line < ty; ++line) {
        const uint16_t* lo = low.data() + line * tx;
        const uint16_t* hi = high.data() + line * tx;
        std::fill_n(padLow.begin(), r, lo[0]);
        std::fill_n(padHigh.begin(), r, hi[0]);
        std::copy(lo, lo + tx, padLow.begin() + r);
        std::copy(hi, hi + tx, padHigh.begin() + r);
        std::fill_n(padLow.begin() + r + tx, r, lo[tx - 1]);
        std::fill_n(padHigh.begin() + r + tx, r, hi[tx - 1]);
        uint16_t* outLo = rowLow.data() + line * tx;
        uint16_t* outHi = rowHigh.data() + line * tx;
        const uint16_t* pl = padLow.data();
        const uint16_t* ph = padHigh.data();
        for (size_t i = 0; i < tx; ++i) {
            outLo[i] = std::min({pl[i], pl[i + 1], pl[i + 2], pl[i + 3], pl[i + 4]});
            outHi[i] = std::max({ph[i], ph[i + 1], ph[i + 2], ph[i + 3], ph[i + 4]});
        }
    }
    static_assert(kWindowRadius == 2, "the window terms above and below are written out");
    auto line = [&](const std::vector<uint16_t>& v, ptrdiff_t j) {
        return v.data() + static_cast<size_t>(std::clamp<ptrdiff_t>(j, 0, ty - 1)) * tx;
    };
    for (ptrdiff_t j = 0; j < static_cast<ptrdiff_t>(ty); ++j) {
        const uint16_t* l0 = line(rowLow, j - 2);
        const uint16_t* l1 = line(rowLow, j - 1);
        const uint16_t* l2 = line(rowLow, j);
        const uint16_t* l3 = line(rowLow, j + 1);
        const uint16_t* l4 = line(rowLow, j + 2);
        const uint16_t* h0 = line(rowHigh, j - 2);
        const uint16_t* h1 = line(rowHigh, j - 1);
        const uint16_t* h2 = line(rowHigh, j);
        const uint16_t* h3 = line(rowHigh, j + 1);
        const uint16_t* h4 = line(rowHigh, j + 2);
        uint16_t* outLo = outLow.data() + static_cast<size_t>(j) * tx;
        uint16_t* outHi = outHigh.data() + static_cast<size_t>(j) * tx;
        for (size_t i = 0; i < tx; ++i) {
            outLo[i] = std::min({l0[i], l1[i], l2[i], l3[i], l4[i]});
            outHi[i] = std::max({h0[i], h1[i], h2[i], h3[i], h4[i]});
        }
    }
}

// Spread of tile means a window needs (four times gray levels): the least, or more than one
// window in ten shows, which in a frame of mostly plain surfaces is what noise and shading give.
int32_t meanSpreadGate(BinaryFrame::Scratch& s) {
    std::vector<int32_t>& spreads = s.spreads;
    spreads.resize(s.meanLow.size());
    for (size_t i = 0; i < spreads.size(); ++i)
        spreads[i] = s.meanHigh[i] - s.meanLow[i];
    auto tenth = spreads.begin() + static_cast<ptrdiff_t>(spreads.size() / 10);
    std::nth_element(spreads.begin(), tenth, spreads.end());
    return std::max(4 * kMinContrast, *tenth * 3 / 2 + 4 * 2);
}

// The dark map: a smoothed pixel below its tile's threshold is dark. The thresholds of a row of
// tiles are spread out to one per pixel once, so each pixel row is a plain comparison of two
// rows; plain tiles (threshold 0) come out light.
void binarise(BinaryFrame& f) {
    f.connected.clear();
    f.closedRadius = 0;
    const auto w = static_cast<size_t>(f.width);
    f.scratch.pixelThresholds.resize(static_cast<size_t>(f.tilesX) * kThresholdTile);
    uint8_t* thresholds = f.scratch.pixelThresholds.data();
    for (int32_t y = 0; y < f.height; ++y) {
        if (y % kThresholdTile == 0) {
            const uint8_t* tiles =
                f.tileThreshold.data() + static_cast<size_t>(y / kThresholdTile) * f.tilesX;
            for (int32_t tx = 0; tx < f.tilesX; ++tx)
                std::fill_n(thresholds + static_cast<size_t>(tx) * kThresholdTile, kThresholdTile,
                            tiles[tx]);
        }
        const uint8_t* g = f.smooth.data() + static_cast<size_t>(y) * w;
        uint8_t* d = f.dark.data() + static_cast<size_t>(y) * w;
        for (size_t x = 0; x < w; ++x)
            d[x] = g[x] < thresholds[x];
    }
}

}  // namespace

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
    BinaryFrame::Scratch& s = f.scratch;
    for (auto* v : {&s.tileLow, &s.tileHigh, &s.tileSum, &s.windowLow, &s.windowHigh, &s.meanLow,
                    &s.meanHigh})
        v->resize(tiles);

    graySmoothAndTiles(image, f);
    windowExtremes(f, s.tileLow, s.tileHigh, s.windowLow, s.windowHigh);
    windowExtremes(f, s.tileSum, s.tileSum, s.meanLow, s.meanHigh);
    const int32_t gate = meanSpreadGate(s);

    // Tiles with something in their window threshold at its middle; plain ones hold nothing
    // to find and count as light throughout.
    bool any = false;
    for (size_t i = 0; i < tiles; ++i) {
        const bool textured = s.meanHigh[i] - s.meanLow[i] >= gate;
        const int32_t middle = std::min((s.windowLow[i] + s.windowHigh[i]) / 8, 254);
        f.tileThreshold[i] = static_cast<uint8_t>(textured ? middle + 1 : 0);
        any = any || textured;
    }
    if (!any)
        return false;
    binarise(f);
    return true;
}

namespace {

// Each of count lines (of n bytes, lines step bytes apart, each 0 or 1) becomes the OR of
// itself and the next len - 1 lines (lines beyond the last count as 0). Spans double each
// step, so len takes about log2(len) passes, each a plain OR of two lines.
void orForward(uint8_t* lines, size_t count, size_t n, size_t step, size_t len) {
    auto orWith = [&](size_t offset) {
        for (size_t k = 0; k + offset < count; ++k) {
            uint8_t* to = lines + k * step;
            const uint8_t* from = lines + (k + offset) * step;
            for (size_t x = 0; x < n; ++x)
                to[x] |= from[x];
        }
    };
    size_t span = 1;
    while (2 * span <= len) {
        orWith(span);
        span *= 2;
    }
    if (span < len)
        orWith(len - span);  // spans overlap: [k, k + span) and [k + len - span, k + len)
}

// Every pixel of the map within the window set to value where any pixel of the square of
// 2 radius + 1 around it (within the window) holds value, and to the other value elsewhere.
// The window is copied out as 0/1 with radius empty lines and columns around it; each row's
// OR over 2 radius + 1 pixels is taken as single-byte lines, then each column's as whole rows.
void spread(BinaryFrame& f, std::vector<uint8_t>& map, const MapWindow& window, int32_t radius,
            uint8_t value, std::vector<uint8_t>& padded) {
    const auto w = static_cast<size_t>(f.width);
    const auto r = static_cast<size_t>(radius);
    const auto n = static_cast<size_t>(window.x1 - window.x0);
    const auto m = static_cast<size_t>(window.y1 - window.y0);
    const size_t pw = n + 2 * r;  // padded row length
    const size_t ph = m + 2 * r;
    padded.assign(pw * ph, 0);
    for (size_t y = 0; y < m; ++y) {
        const uint8_t* in =
            map.data() + (y + static_cast<size_t>(window.y0)) * w + static_cast<size_t>(window.x0);
        uint8_t* out = padded.data() + (y + r) * pw + r;
        for (size_t x = 0; x < n; ++x)
            out[x] = (in[x] != 0) == (value != 0);
    }
    const size_t len = 2 * r + 1;
    // Along the rows: pixel x of the padded row takes the OR of pixels x .. x + 2r, which is
    // pixel x - r's square row.
    for (size_t y = r; y < r + m; ++y)
        orForward(padded.data() + y * pw, pw, 1, 1, len);
    // Down the columns likewise, whole rows at a time.
    orForward(padded.data(), ph, pw, pw, len);
    const auto other = static_cast<uint8_t>(1 - value);
    for (size_t y = 0; y < m; ++y) {
        const uint8_t* in = padded.data() + y * pw;
        uint8_t* out =
            map.data() + (y + static_cast<size_t>(window.y0)) * w + static_cast<size_t>(window.x0);
        for (size_t x = 0; x < n; ++x)
            out[x] = in[x] != 0 ? value : other;
    }
}

// The same spread over an octagon of about the given radius instead of a square: steps of one
// pixel, by the 3 x 3 square and the 3 x 3 cross in turn. Dots along a diagonal are joined and
// kept joined as those along the rows and columns are, where a square reaches further along
// the diagonals while dilating and takes the bridge back while eroding.
void spreadRound(BinaryFrame& f, std::vector<uint8_t>& map, int32_t radius, uint8_t value,
                 std::vector<uint8_t>& padded, std::vector<uint8_t>& step) {
    const auto w = static_cast<size_t>(f.width);
    const auto h = static_cast<size_t>(f.height);
    const auto r = static_cast<size_t>(radius);
    const size_t pw = w + 2 * r;
    const size_t ph = h + 2 * r;
    padded.assign(pw * ph, 0);
    for (size_t y = 0; y < h; ++y) {
        const uint8_t* in = map.data() + y * w;
        uint8_t* out = padded.data() + (y + r) * pw + r;
        for (size_t x = 0; x < w; ++x)
            out[x] = (in[x] != 0) == (value != 0);
    }
    step.assign(pw * ph, 0);
    for (size_t k = 0; k < r; ++k) {
        const bool square = k % 2 == 0;
        // Along the rows into step (the cross keeps its centre column for the vertical part).
        for (size_t y = 0; y < ph; ++y) {
            const uint8_t* in = padded.data() + y * pw;
            uint8_t* out = step.data() + y * pw;
            out[0] = in[0] | in[1];
            for (size_t x = 1; x + 1 < pw; ++x)
                out[x] = in[x - 1] | in[x] | in[x + 1];
            out[pw - 1] = in[pw - 2] | in[pw - 1];
        }
        // Down the columns: of the row sums for the square, of the pixels themselves for the
        // cross (whose row part then joins them).
        const std::vector<uint8_t>& columns = square ? step : padded;
        std::vector<uint8_t>& result = square ? padded : step;
        for (size_t y = 0; y < ph; ++y) {
            const uint8_t* above = columns.data() + (y > 0 ? y - 1 : y) * pw;
            const uint8_t* here = columns.data() + y * pw;
            const uint8_t* below = columns.data() + (y + 1 < ph ? y + 1 : y) * pw;
            uint8_t* out = result.data() + y * pw;
            if (square) {
                for (size_t x = 0; x < pw; ++x)
                    out[x] = above[x] | here[x] | below[x];
            } else {
                for (size_t x = 0; x < pw; ++x)
                    out[x] = static_cast<uint8_t>(out[x] | above[x] | below[x]);
            }
        }
        if (!square)
            padded.swap(step);
    }
    const auto other = static_cast<uint8_t>(1 - value);
    for (size_t y = 0; y < h; ++y) {
        const uint8_t* in = padded.data() + (y + r) * pw + r;
        uint8_t* out = map.data() + y * w;
        for (size_t x = 0; x < w; ++x)
            out[x] = in[x] != 0 ? value : other;
    }
}

// The map within the window dilated by radius (dark spreads) and then eroded by erosion (light
// spreads back); round: over octagons, over the whole map.
void close(BinaryFrame& f, std::vector<uint8_t>& map, MapWindow window, int32_t radius,
           int32_t erosion, bool round = false) {
    window = {std::clamp(window.x0, 0, f.width), std::clamp(window.y0, 0, f.height),
              std::clamp(window.x1, 0, f.width), std::clamp(window.y1, 0, f.height)};
    if (window.x1 <= window.x0 || window.y1 <= window.y0)
        return;
    std::vector<uint8_t> padded;
    if (round) {
        std::vector<uint8_t> step;
        spreadRound(f, map, radius, 1, padded, step);
        if (erosion > 0)
            spreadRound(f, map, erosion, 0, padded, step);
        return;
    }
    spread(f, map, window, radius, 1, padded);
    if (erosion > 0)
        spread(f, map, window, erosion, 0, padded);
}

}  // namespace

void closeDarkMap(BinaryFrame& frame, int32_t radius) {
    binarise(frame);
    if (radius > 0)
        close(frame, frame.dark, {}, radius, radius - 1, true);
    frame.closedRadius = std::max(radius, 0);
}

void closeDotMap(BinaryFrame& frame, int32_t radius, int32_t side, std::vector<int32_t>& work) {
    binarise(frame);
    // Regions (8-connected) kept: at least a quarter of a dot, within three dots' extent and
    // four dots' area.
    const int64_t area = int64_t{side} * side;
    const int64_t leastPixels = std::max<int64_t>(2, area / 4);
    const int64_t mostPixels = 4 * area;
    const int32_t mostExtent = 3 * side;
    const int32_t w = frame.width;
    const int32_t h = frame.height;
    uint8_t* dark = frame.dark.data();
    std::vector<int32_t>& stack = work;
    // Each region is filled with 2 while it is measured, then set to 1 (kept) or 0.
    std::vector<int32_t> region;
    for (int32_t start = 0; start < w * h; ++start) {
        if (dark[start] != 1)
            continue;
        region.clear();
        stack.assign(1, start);
        dark[start] = 2;
        int32_t x0 = w, x1 = -1, y0 = h, y1 = -1;
        bool tooLarge = false;
        while (!stack.empty()) {
            const int32_t p = stack.back();
            stack.pop_back();
            region.push_back(p);
            const int32_t x = p % w;
            const int32_t y = p / w;
            x0 = std::min(x0, x);
            x1 = std::max(x1, x);
            y0 = std::min(y0, y);
            y1 = std::max(y1, y);
            tooLarge = tooLarge || static_cast<int64_t>(region.size()) > mostPixels;
            for (int32_t dy = -1; dy <= 1; ++dy) {
                for (int32_t dx = -1; dx <= 1; ++dx) {
                    const int32_t nx = x + dx;
                    const int32_t ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= w || ny >= h)
                        continue;
                    const int32_t q = ny * w + nx;
                    if (dark[q] == 1) {
                        dark[q] = 2;
                        stack.push_back(q);
                    }
                }
            }
        }
        const bool keep = !tooLarge && static_cast<int64_t>(region.size()) >= leastPixels &&
                          x1 - x0 < mostExtent && y1 - y0 < mostExtent;
        for (const int32_t p : region)
            dark[p] = keep ? 3 : 0;
    }
    for (size_t i = 0; i < frame.dark.size(); ++i)
        dark[i] = dark[i] != 0;
    if (radius > 0)
        close(frame, frame.dark, {}, radius, radius - 1, true);
    frame.closedRadius = std::max(radius, 0);
}

void connectDarkRegions(BinaryFrame& frame, int32_t radius, MapWindow window) {
    binarise(frame);
    frame.connected = frame.dark;
    close(frame, frame.connected, window, radius, radius);
}

void connectClosedRegions(BinaryFrame& frame, int32_t radius) {
    frame.connected = frame.dark;
    close(frame, frame.connected, {}, radius, radius);
}

void thresholdWithin(BinaryFrame& frame, const std::array<PointD, 4>& inside) {
    BinaryFrame& f = frame;
    f.connected.clear();
    f.closedRadius = 0;
    std::fill(f.dark.begin(), f.dark.end(), uint8_t{0});
    const ConvexQuad quad(inside);
    const auto [x0, y0, x1, y1] = quad.pixels(f.width, f.height);
    if (x1 <= x0 || y1 <= y0)
        return;
    // The tiles the box meets: the extremes and sum of their 2 x 2 blocks inside.
    const int32_t tx0 = x0 / kThresholdTile, ty0 = y0 / kThresholdTile;
    const int32_t nx = x1 / kThresholdTile - tx0 + 1, ny = y1 / kThresholdTile - ty0 + 1;
    const auto tiles = static_cast<size_t>(nx) * ny;
    std::vector<uint16_t> low(tiles, UINT16_MAX), high(tiles, 0);
    std::vector<uint32_t> sum(tiles, 0), blocks(tiles, 0);
    const auto w = static_cast<size_t>(f.width);
    for (int32_t by = y0 / 2; 2 * by + 1 < f.height && 2 * by <= y1; ++by) {
        const uint8_t* r0 = f.smooth.data() + static_cast<size_t>(2 * by) * w;
        const uint8_t* r1 = r0 + w;
        for (int32_t bx = x0 / 2; 2 * bx + 1 < f.width && 2 * bx <= x1; ++bx) {
            if (!quad.contains({2 * bx + 0.5, 2 * by + 0.5}))
                continue;
            const auto x = static_cast<size_t>(2 * bx);
            const auto s = static_cast<uint16_t>(r0[x] + r0[x + 1] + r1[x] + r1[x + 1]);
            const size_t t = static_cast<size_t>(2 * by / kThresholdTile - ty0) * nx +
                             static_cast<size_t>(2 * bx / kThresholdTile - tx0);
            low[t] = std::min(low[t], s);
            high[t] = std::max(high[t], s);
            sum[t] += s;
            ++blocks[t];
        }
    }
    // Each tile thresholded at the middle of its window's extremes inside, as the frame's own
    // thresholding does, plain when the means of its window's tiles inside differ too little.
    const int32_t gate = meanSpreadGate(f.scratch);
    for (int32_t j = 0; j < ny; ++j) {
        for (int32_t i = 0; i < nx; ++i) {
            uint16_t lo = UINT16_MAX, hi = 0;
            uint32_t meanLow = UINT32_MAX, meanHigh = 0;
            for (int32_t v = std::max(j - kWindowRadius, 0);
                 v <= std::min(j + kWindowRadius, ny - 1); ++v) {
                for (int32_t u = std::max(i - kWindowRadius, 0);
                     u <= std::min(i + kWindowRadius, nx - 1); ++u) {
                    const size_t t = static_cast<size_t>(v) * nx + u;
                    if (blocks[t] == 0)
                        continue;
                    lo = std::min(lo, low[t]);
                    hi = std::max(hi, high[t]);
                    const uint32_t mean = sum[t] / blocks[t];
                    meanLow = std::min(meanLow, mean);
                    meanHigh = std::max(meanHigh, mean);
                }
            }
            const bool textured =
                meanHigh >= meanLow && static_cast<int32_t>(meanHigh - meanLow) >= gate;
            const int32_t middle = std::min((lo + hi) / 8, 254);
            f.tileThreshold[static_cast<size_t>(ty0 + j) * f.tilesX + tx0 + i] =
                static_cast<uint8_t>(textured ? middle + 1 : 0);
        }
    }
    for (int32_t y = y0; y <= y1; ++y) {
        const uint8_t* g = f.smooth.data() + static_cast<size_t>(y) * w;
        uint8_t* d = f.dark.data() + static_cast<size_t>(y) * w;
        for (int32_t x = x0; x <= x1; ++x)
            d[x] = quad.contains({static_cast<double>(x), static_cast<double>(y)}) &&
                   g[x] < f.thresholdAt(x, y);
    }
}

void invertFrame(BinaryFrame& frame) {
    for (auto* levels : {&frame.gray, &frame.smooth}) {
        for (uint8_t& v : *levels)
            v = static_cast<uint8_t>(255 - v);
    }
    // A pixel was dark below t; inverted, 255 - v < 256 - t holds exactly when v >= t.
    for (uint8_t& t : frame.tileThreshold)
        t = t == 0 ? 0 : static_cast<uint8_t>(256 - t);
    binarise(frame);
}

}  // namespace dm
