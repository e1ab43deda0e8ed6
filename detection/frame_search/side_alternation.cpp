#include "detection/frame_search/side_alternation.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "symbology/symbol_size.h"

namespace dm {
namespace {

// Gray levels read per module along a side.
constexpr int32_t kSamplesPerModule = 4;

// A side in symbol coordinates: module position t (0 to n) lies at from + t step.
struct SideLine {
    PointD from;
    PointD step;
};

// How strongly the side of n modules alternates with a period of two modules: the amplitude
// of the levels' component at that period against their mean deviation. A clean alternation
// gives 2 / pi whatever its phase (a corner off by part of a module only moves the phase); a
// solid side, or one read at a period that is not its own, gives little.
double alternation(const BinaryFrame& frame, const Homography& map, const SideLine& side,
                   int32_t n) {
    const int32_t count = n * kSamplesPerModule;
    std::vector<double> levels(static_cast<size_t>(count));
    double mean = 0;
    for (int32_t k = 0; k < count; ++k) {
        const double t = (k + 0.5) / kSamplesPerModule;
        const PointD p = map.map(side.from.x + t * side.step.x, side.from.y + t * side.step.y);
        levels[static_cast<size_t>(k)] = frame.grayAt(p.x, p.y);
        mean += levels[static_cast<size_t>(k)];
    }
    mean /= count;
    double re = 0, im = 0, deviation = 0;
    for (int32_t k = 0; k < count; ++k) {
        const double angle = std::numbers::pi * (k + 0.5) / kSamplesPerModule;
        const double d = levels[static_cast<size_t>(k)] - mean;
        re += d * std::cos(angle);
        im += d * std::sin(angle);
        deviation += std::abs(d);
    }
    return deviation > 0 ? std::hypot(re, im) / deviation : 0;
}

// Share of the side's module centres that read dark against the tile thresholds.
double darkShare(const BinaryFrame& frame, const Homography& map, const SideLine& side, int32_t n) {
    int32_t dark = 0;
    for (int32_t k = 0; k < n; ++k) {
        const double t = k + 0.5;
        const PointD p = map.map(side.from.x + t * side.step.x, side.from.y + t * side.step.y);
        dark += frame.grayAt(p.x, p.y) < frame.thresholdNear(p.x, p.y);
    }
    return n > 0 ? static_cast<double>(dark) / n : 0;
}

}  // namespace

std::vector<TurnedSize> alternatingFits(const BinaryFrame& frame,
                                        const std::array<PointD, 4>& corners, double maxPitch,
                                        size_t most) {
    // Modules of fewer pixels than this are not resolved; an outline's aspect may differ from
    // its size's by this factor (perspective, a label wrapped around a cylinder).
    constexpr double kFinestPitch = 1.2;
    constexpr double kAspectTolerance = 1.5;
    // The L's sides dark at most module centres, and the far sides alternating more clearly
    // than sides of random modules do (measured on fine symbols in perspective: the right turn
    // and size score 0.15 to 0.75, wrong ones under 0.15 but for sizes a period off, which
    // score less than the right one).
    constexpr double kLeastSolid = 0.7;
    constexpr double kLeastAlternation = 0.15;
    std::vector<TurnedSize> fits;
    for (size_t turn = 0; turn < 4; ++turn) {
        std::array<PointD, 4> c;
        for (size_t k = 0; k < 4; ++k)
            c[k] = corners[(k + turn) % 4];
        const double width = (length(c[1] - c[0]) + length(c[2] - c[3])) / 2;
        const double height = (length(c[3] - c[0]) + length(c[2] - c[1])) / 2;
        for (int i = 0; i < kSizeCount; ++i) {
            const SymbolSize& s = symbolSize(i);
            const int32_t rows = s.symbolRows, cols = s.symbolCols;
            const double across = width / cols, down = height / rows;
            if (std::max(across, down) > maxPitch || std::min(across, down) < kFinestPitch ||
                std::max(across / down, down / across) > kAspectTolerance)
                continue;
            const auto map = symbolToImage(c, cols, rows);
            if (!map)
                continue;
            const double r = rows, w = cols;
            const SideLine solidRow{{0, r - 0.5}, {1, 0}};
            const SideLine solidColumn{{0.5, 0}, {0, 1}};
            if (darkShare(frame, *map, solidRow, cols) < kLeastSolid ||
                darkShare(frame, *map, solidColumn, rows) < kLeastSolid)
                continue;
            // The far row from its dark left end, the far column from its dark bottom end up.
            const double score = std::min(alternation(frame, *map, {{0, 0.5}, {1, 0}}, cols),
                                          alternation(frame, *map, {{w - 0.5, r}, {0, -1}}, rows));
            if (score >= kLeastAlternation)
                fits.push_back({c, i, score});
        }
    }
    std::sort(fits.begin(), fits.end(),
              [](const TurnedSize& a, const TurnedSize& b) { return a.score > b.score; });
    fits.resize(std::min(fits.size(), most));
    return fits;
}

}  // namespace dm
