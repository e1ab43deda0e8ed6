#include "detection/frame_search/region_grid.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <utility>

#include "detection/frame_search/perspective_grid.h"
#include "symbology/symbol_size.h"

namespace dm {
namespace {

// How a module of the symbol must read: dark or light for the finder, the alternating sides of
// every region and the quiet zone, nothing for a data module. Regions are blockRows x blockCols
// with their solid sides left and at the bottom.
enum class Expected { Light, Dark, Data };

struct RegionPattern {
    int32_t rows = 0, cols = 0;            // the symbol's
    int32_t blockRows = 0, blockCols = 0;  // a region with its sides

    Expected at(int32_t r, int32_t c) const {
        if (r < 0 || c < 0 || r >= rows || c >= cols)
            return Expected::Light;
        const int32_t lr = r % blockRows, lc = c % blockCols;
        auto dark = [](bool d) { return d ? Expected::Dark : Expected::Light; };
        if (lr == blockRows - 1 || lc == 0)
            return Expected::Dark;
        if (lr == 0)
            return dark(lc % 2 == 0);
        if (lc == blockCols - 1)
            return dark((blockRows - 1 - lr) % 2 == 0);
        return Expected::Data;
    }
};

// How well four corners place one region: the mean of how far its sides and the modules just
// beyond them read on their expected side of the tile threshold, plus the mean distance of a
// spread of its data modules from the threshold (highest on module centres).
class RegionScore {
  public:
    RegionScore(const BinaryFrame& frame, const RegionPattern& layout, int32_t r0, int32_t c0)
        : frame_(frame), blockRows_(layout.blockRows), blockCols_(layout.blockCols) {
        for (int32_t r = r0 - 1; r <= r0 + blockRows_; ++r) {
            for (int32_t c = c0 - 1; c <= c0 + blockCols_; ++c) {
                const bool ring =
                    r <= r0 || r >= r0 + blockRows_ - 1 || c <= c0 || c >= c0 + blockCols_ - 1;
                const Expected e = layout.at(r, c);
                if (!ring || e == Expected::Data)
                    continue;
                u_.push_back(c - c0 + 0.5);
                v_.push_back(r - r0 + 0.5);
                sign_.push_back(e == Expected::Dark ? -1.0 : 1.0);
            }
        }
        borderCount_ = u_.size();
        const int32_t strideR = std::max(1, (blockRows_ - 2) / 4);
        const int32_t strideC = std::max(1, (blockCols_ - 2) / 4);
        for (int32_t r = 1; r < blockRows_ - 1; r += strideR) {
            for (int32_t c = 1; c < blockCols_ - 1; c += strideC) {
                u_.push_back(c + 0.5);
                v_.push_back(r + 0.5);
            }
        }
    }

    double operator()(const std::array<PointD, 4>& corners) const {
        const auto map = symbolToImage(corners, blockCols_, blockRows_);
        if (!map)
            return -1e9;
        double border = 0, data = 0;
        for (size_t i = 0; i < u_.size(); ++i) {
            const PointD p = map->map(u_[i], v_[i]);
            const double level = frame_.grayAt(p.x, p.y) - frame_.thresholdNear(p.x, p.y);
            if (i < borderCount_)
                border += sign_[i] * level;
            else
                data += std::abs(level);
        }
        const size_t dataCount = u_.size() - borderCount_;
        return border / static_cast<double>(std::max<size_t>(borderCount_, 1)) +
               (dataCount > 0 ? data / static_cast<double>(dataCount) : 0);
    }

  private:
    const BinaryFrame& frame_;
    int32_t blockRows_, blockCols_;
    std::vector<double> u_, v_;  // points in the region's coordinates: sides first, then data
    std::vector<double> sign_;   // per side point: 1 where it must read light, -1 dark
    size_t borderCount_ = 0;
};

// The region's corners moved in shrinking steps (from a quarter module: a region starts where
// its neighbours leave the grid) while the score grows, each corner kept within a module of
// where it started (farther, it would take a neighbour's sides for its own).
std::array<PointD, 4> fitRegion(const RegionScore& score, std::array<PointD, 4> corners,
                                double pitch) {
    const std::array<PointD, 4> start = corners;
    return climbCorners(corners, pitch / 4, 3, score,
                        [&](const std::array<PointD, 4>& c, size_t corner) {
                            return length(c[corner] - start[corner]) <= pitch;
                        });
}

}  // namespace

bool sampleRegionGrids(const BinaryFrame& frame, const Homography& map, int sizeIndex,
                       std::vector<uint8_t>& levels) {
    const SymbolSize& size = symbolSize(sizeIndex);
    const int32_t rows = size.symbolRows, cols = size.symbolCols;
    const int32_t regionsDown = (rows - size.mappingRows) / 2;
    const int32_t regionsAcross = (cols - size.mappingCols) / 2;
    if (regionsDown <= 0 || regionsAcross <= 0 || regionsDown * regionsAcross < 2)
        return false;
    const RegionPattern pattern{rows, cols, rows / regionsDown, cols / regionsAcross};
    // The regions' corners where the fitted regions put them, shared by neighbouring regions.
    const auto nodesAcross = static_cast<size_t>(regionsAcross + 1);
    std::vector<std::optional<PointD>> nodes(nodesAcross * static_cast<size_t>(regionsDown + 1));
    auto node = [&](int32_t down, int32_t across) -> std::optional<PointD>& {
        return nodes[static_cast<size_t>(down) * nodesAcross + static_cast<size_t>(across)];
    };
    levels.assign(static_cast<size_t>(rows) * cols, 0);
    std::vector<uint8_t> block;
    // From the finder's corner outward, so that each region starts where its fitted neighbours
    // left the grid (a bulge or a bend grows across the symbol) rather than where the one map
    // puts it.
    for (int32_t down = regionsDown - 1; down >= 0; --down) {
        for (int32_t across = 0; across < regionsAcross; ++across) {
            const int32_t r0 = down * pattern.blockRows, c0 = across * pattern.blockCols;
            const std::array<std::pair<int32_t, int32_t>, 4> at{
                {{down, across}, {down, across + 1}, {down + 1, across + 1}, {down + 1, across}}};
            std::array<PointD, 4> start;
            PointD shift;
            int32_t known = 0;
            for (size_t k = 0; k < 4; ++k) {
                const auto [d, a] = at[k];
                start[k] = map.map(a * pattern.blockCols, d * pattern.blockRows);
                if (const auto& fitted = node(d, a)) {
                    shift = shift + (*fitted - start[k]);
                    ++known;
                }
            }
            for (size_t k = 0; k < 4; ++k) {
                const auto [d, a] = at[k];
                const auto& fitted = node(d, a);
                start[k] =
                    fitted ? *fitted : (known > 0 ? start[k] + (1.0 / known) * shift : start[k]);
            }
            const double pitch =
                std::sqrt(std::abs(cross(start[2] - start[0], start[3] - start[1])) / 2 /
                          (pattern.blockRows * pattern.blockCols));
            const RegionScore score(frame, pattern, r0, c0);
            const std::array<PointD, 4> corners = fitRegion(score, start, pitch);
            const auto own = symbolToImage(corners, pattern.blockCols, pattern.blockRows);
            if (!own)
                return false;
            for (size_t k = 0; k < 4; ++k) {
                auto& n = node(at[k].first, at[k].second);
                n = n ? 0.5 * (*n + corners[k]) : corners[k];
            }
            sampleModules(frame, *own, pattern.blockRows, pattern.blockCols, block);
            for (int32_t r = 0; r < pattern.blockRows; ++r) {
                std::copy_n(block.begin() + static_cast<ptrdiff_t>(r) * pattern.blockCols,
                            pattern.blockCols,
                            levels.begin() + static_cast<ptrdiff_t>(r0 + r) * cols + c0);
            }
        }
    }
    return true;
}

}  // namespace dm
