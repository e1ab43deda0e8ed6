#include "detection/frame_search/timing_grid.h"

#include <algorithm>
#include <functional>

namespace dm {
namespace {

// Samples per module along an alternating side, and the shortest run (in samples) taken for a
// module rather than noise or a blurred edge.
constexpr int32_t kSamplesPerModule = 16;
constexpr int32_t kShortestRun = 4;

struct Run {
    bool dark;
    int32_t length;
};

// Edges between the modules of an alternating side of n modules, as walking positions in
// modules from the side's dark end: position t lies at along(t). The side is read from a
// quarter module inside either end, its runs shorter than kShortestRun merged into their
// neighbours; it must then read as exactly n runs, dark first.
std::optional<std::vector<double>> edgesAlong(const BinaryFrame& frame, int32_t n,
                                              const std::function<PointD(double)>& along) {
    const double first = 0.25;
    const int32_t samples = (n * 2 - 1) * kSamplesPerModule / 2;  // up to n - 0.25
    std::vector<Run> runs;
    for (int32_t i = 0; i < samples; ++i) {
        const PointD p = along(first + static_cast<double>(i) / kSamplesPerModule);
        const bool dark = frame.grayAt(p.x, p.y) < frame.thresholdNear(p.x, p.y);
        if (!runs.empty() && runs.back().dark == dark)
            ++runs.back().length;
        else
            runs.push_back({dark, 1});
    }
    // Merge the shortest short run into its neighbours until none is left.
    while (runs.size() > 1) {
        auto shortest = std::min_element(runs.begin(), runs.end(), [](const Run& a, const Run& b) {
            return a.length < b.length;
        });
        if (shortest->length >= kShortestRun)
            break;
        const auto i = static_cast<size_t>(shortest - runs.begin());
        if (i == 0) {
            runs[1].length += runs[0].length;
            runs.erase(runs.begin());
        } else if (i + 1 == runs.size()) {
            runs[i - 1].length += runs[i].length;
            runs.pop_back();
        } else {
            runs[i - 1].length += runs[i].length + runs[i + 1].length;
            runs.erase(runs.begin() + static_cast<ptrdiff_t>(i),
                       runs.begin() + static_cast<ptrdiff_t>(i) + 2);
        }
    }
    if (runs.size() != static_cast<size_t>(n) || !runs.front().dark)
        return std::nullopt;
    std::vector<double> edges;
    int32_t sample = 0;
    for (size_t k = 0; k + 1 < runs.size(); ++k) {
        sample += runs[k].length;
        // The edge lies between the run's last sample and the next run's first.
        edges.push_back(first + (sample - 0.5) / kSamplesPerModule);
    }
    return edges;
}

// Module centres from the edges between them: the first module reaches from the symbol's
// edge (position 0) to the first edge, the last one is as wide as the one before it.
std::vector<double> centresFromEdges(const std::vector<double>& edges) {
    std::vector<double> centres;
    centres.push_back(edges.front() / 2);
    for (size_t k = 0; k + 1 < edges.size(); ++k)
        centres.push_back((edges[k] + edges[k + 1]) / 2);
    const double lastWidth = edges.size() >= 2 ? edges.back() - edges[edges.size() - 2] : 1.0;
    centres.push_back(edges.back() + lastWidth / 2);
    return centres;
}

}  // namespace

std::optional<TimingCentres> timingCentres(const BinaryFrame& frame, const Homography& map,
                                           int32_t rows, int32_t cols) {
    if (rows < 2 || cols < 2)
        return std::nullopt;
    // The far row runs from its dark left end; the far column from its dark bottom end up.
    const auto columnEdges = edgesAlong(frame, cols, [&](double t) { return map.map(t, 0.5); });
    const auto rowEdges =
        edgesAlong(frame, rows, [&](double t) { return map.map(cols - 0.5, rows - t); });
    if (!columnEdges || !rowEdges)
        return std::nullopt;
    TimingCentres centres{centresFromEdges(*columnEdges), centresFromEdges(*rowEdges)};
    std::reverse(centres.v.begin(), centres.v.end());
    for (double& v : centres.v)
        v = rows - v;
    return centres;
}

}  // namespace dm
