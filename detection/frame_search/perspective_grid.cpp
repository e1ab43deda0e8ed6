#include "detection/frame_search/perspective_grid.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace dm {
double timingAgreement(const BinaryFrame& frame, const Homography& map, int32_t rows, int32_t cols,
                       double reach) {
    int32_t agree = 0;
    int32_t checked = 0;
    auto check = [&](double u, double v, bool dark) {
        const PointD p = map.map(u, v);
        agree += (frame.grayAt(p.x, p.y) < frame.thresholdNear(p.x, p.y)) == dark;
        ++checked;
    };
    for (int32_t c = 0; c < std::max(2, static_cast<int32_t>(reach * cols)); ++c)
        check(c + 0.5, 0.5, c % 2 == 0);
    for (int32_t r = rows - 1; r >= rows - std::max(2, static_cast<int32_t>(reach * rows)); --r)
        check(cols - 0.5, r + 0.5, (rows - 1 - r) % 2 == 0);
    return static_cast<double>(agree) / checked;
}

namespace {

// How well a trial outline fits a rows x cols symbol, scored through points that depend only on
// the size: listed once per refinement, mapped through each trial's corners.
class OutlineScore {
  public:
    OutlineScore(const BinaryFrame& frame, int32_t rows, int32_t cols)
        : frame_(frame), rows_(rows), cols_(cols) {
        // The border modules and the quiet zone beside them, each with the side of the
        // threshold it must read on. Long sides are read at every stride-th module; odd strides,
        // so that both dark and light modules of the alternating sides are read.
        const int32_t strideC = (cols / 48) | 1;
        const int32_t strideR = (rows / 48) | 1;
        for (int32_t c = 0; c < cols; c += strideC) {
            addBorder(c + 0.5, 0.5, c % 2 == 0);   // far row
            addBorder(c + 0.5, rows - 0.5, true);  // solid row
            addBorder(c + 0.5, -0.5, false);       // quiet zone beyond each
            addBorder(c + 0.5, rows + 0.5, false);
        }
        for (int32_t r = 0; r < rows; r += strideR) {
            addBorder(cols - 0.5, r + 0.5, (rows - 1 - r) % 2 == 0);  // far column
            addBorder(0.5, r + 0.5, true);                            // solid column
            addBorder(cols + 0.5, r + 0.5, false);
            addBorder(-0.5, r + 0.5, false);
        }
        borderCount_ = u_.size();
        // A spread of the data modules: every one of a side under 34 modules, every
        // (side - 2) / 16-th one of a longer side (16 to 24 of them).
        const int32_t dataR = std::max(1, (rows - 2) / 16);
        const int32_t dataC = std::max(1, (cols - 2) / 16);
        for (int32_t r = 1; r < rows - 1; r += dataR) {
            for (int32_t c = 1; c < cols - 1; c += dataC) {
                u_.push_back(c + 0.5);
                v_.push_back(r + 0.5);
            }
        }
        x_.resize(u_.size());
        y_.resize(u_.size());
        level_.resize(u_.size());
    }

    // The mean of how far the border and quiet zone points read on their expected side of the
    // tile threshold (positive when right), plus the mean distance of the data points from it
    // (highest when they sit on module centres rather than between them); a corner set scored
    // before is not scored again.
    double operator()(const std::array<PointD, 4>& corners) {
        for (const auto& [seen, score] : scored_) {
            if (std::equal(seen.begin(), seen.end(), corners.begin(),
                           [](PointD a, PointD b) { return a.x == b.x && a.y == b.y; }))
                return score;
        }
        const double score = evaluate(corners);
        scored_.emplace_back(corners, score);
        return score;
    }

  private:
    void addBorder(double u, double v, bool dark) {
        u_.push_back(u);
        v_.push_back(v);
        sign_.push_back(dark ? -1.0 : 1.0);
    }

    double evaluate(const std::array<PointD, 4>& corners) {
        const auto map = symbolToImage(corners, cols_, rows_);
        if (!map)
            return -1e9;
        // Mapping first and sampling after keeps each loop short.
        for (size_t i = 0; i < u_.size(); ++i) {
            const PointD p = map->map(u_[i], v_[i]);
            x_[i] = p.x;
            y_[i] = p.y;
        }
        for (size_t i = 0; i < u_.size(); ++i)
            level_[i] = frame_.grayAt(x_[i], y_[i]) - frame_.thresholdNear(x_[i], y_[i]);
        double border = 0;
        for (size_t i = 0; i < borderCount_; ++i)
            border += sign_[i] * level_[i];
        double data = 0;
        for (size_t i = borderCount_; i < level_.size(); ++i)
            data += std::abs(level_[i]);
        const size_t dataCount = level_.size() - borderCount_;
        return border / static_cast<double>(borderCount_) +
               (dataCount > 0 ? data / static_cast<double>(dataCount) : 0);
    }

    const BinaryFrame& frame_;
    int32_t rows_;
    int32_t cols_;
    std::vector<double> u_, v_;  // the points in symbol coordinates: border first, then data
    std::vector<double> sign_;   // per border point: 1 where it must read light, -1 dark
    size_t borderCount_ = 0;
    std::vector<double> x_, y_, level_;  // per point, for the trial being scored
    std::vector<std::pair<std::array<PointD, 4>, double>> scored_;
};

}  // namespace

std::array<PointD, 4> refineCorners(const BinaryFrame& frame, std::array<PointD, 4> corners,
                                    int32_t rows, int32_t cols, double step) {
    OutlineScore score(frame, rows, cols);
    return climbCorners(corners, step, 4, score,
                        [](const std::array<PointD, 4>&, size_t) { return true; });
}

void sampleModulesAt(const BinaryFrame& frame, const Homography& map, std::span<const double> us,
                     std::span<const double> vs, std::vector<uint8_t>& levels) {
    constexpr double kSpread = 0.22;
    const size_t cols = us.size();
    levels.resize(vs.size() * cols);
    // Local pitch: half the distance between a centre's neighbours (one-sided at the ends).
    auto pitch = [](std::span<const double> c, size_t i) {
        const size_t lo = i > 0 ? i - 1 : 0;
        const size_t hi = std::min(i + 1, c.size() - 1);
        return hi > lo ? (c[hi] - c[lo]) / static_cast<double>(hi - lo) : 1.0;
    };
    constexpr size_t kPoints = 5;
    // A row's sample points are all mapped first and read after, which keeps each loop short.
    std::vector<PointD> points(kPoints * cols);
    for (size_t r = 0; r < vs.size(); ++r) {
        const double v = vs[r];
        const double dv = kSpread * pitch(vs, r);
        for (size_t c = 0; c < cols; ++c) {
            const double u = us[c];
            const double du = kSpread * pitch(us, c);
            const std::array<PointD, kPoints> offsets{
                {{0.0, 0.0}, {-du, 0.0}, {du, 0.0}, {0.0, -dv}, {0.0, dv}}};
            for (size_t k = 0; k < kPoints; ++k)
                points[c * kPoints + k] = map.map(u + offsets[k].x, v + offsets[k].y);
        }
        for (size_t c = 0; c < cols; ++c) {
            double sum = 0;
            for (size_t k = 0; k < kPoints; ++k) {
                const PointD p = points[c * kPoints + k];
                sum += frame.grayAt(p.x, p.y);
            }
            levels[r * cols + c] = static_cast<uint8_t>(sum / kPoints + 0.5);
        }
    }
}

namespace {

// Where the ink of the module at (u, v) (its centre in symbol coordinates) lies: the
// darkness-weighted mean of samples over the module, nothing when too little of it reads dark.
std::optional<PointD> darkCentre(const BinaryFrame& frame, const Homography& map, double u,
                                 double v) {
    constexpr int32_t kSteps = 3;  // samples every sixth of a module, seven across
    constexpr double kLeastDarkShare = 0.12;
    const PointD centre = map.map(u, v);
    const double threshold = frame.thresholdNear(centre.x, centre.y);
    double weight = 0;
    PointD sum;
    int32_t darkCount = 0;
    for (int32_t j = -kSteps; j <= kSteps; ++j) {
        for (int32_t i = -kSteps; i <= kSteps; ++i) {
            const PointD p = map.map(u + i / (2.0 * kSteps), v + j / (2.0 * kSteps));
            const double w = threshold - frame.grayAt(p.x, p.y);
            if (w <= 0)
                continue;
            ++darkCount;
            weight += w;
            sum = sum + w * p;
        }
    }
    constexpr int32_t kSamples = (2 * kSteps + 1) * (2 * kSteps + 1);
    if (darkCount < kLeastDarkShare * kSamples || weight <= 0)
        return std::nullopt;
    return (1 / weight) * sum;
}

}  // namespace

std::optional<Homography> fitToDarkCentres(const BinaryFrame& frame, const Homography& map,
                                           int32_t rows, int32_t cols,
                                           std::vector<uint8_t>& levels) {
    constexpr int32_t kRounds = 3;
    constexpr size_t kLeastCentres = 12;
    // A centre farther than this from where the map puts it belongs to a neighbour.
    constexpr double kMostShift = 0.4;
    std::optional<Homography> fitted = map;
    std::vector<PointD> symbolPoints;
    std::vector<PointD> picturePoints;
    for (int32_t round = 0; round < kRounds; ++round) {
        // Dark modules: the finder and the alternating sides' dark ones, then (once the grid
        // has moved onto the ink) every module the sampling reads dark.
        std::vector<bool> dark(static_cast<size_t>(rows) * cols, false);
        if (round > 0) {
            sampleModules(frame, *fitted, rows, cols, levels);
            const uint8_t split = splitLevels(levels);
            for (size_t i = 0; i < levels.size(); ++i)
                dark[i] = levels[i] <= split;
        }
        for (int32_t r = 0; r < rows; ++r) {
            dark[static_cast<size_t>(r) * cols] = true;
            dark[static_cast<size_t>(r) * cols + cols - 1] = (rows - 1 - r) % 2 == 0;
        }
        for (int32_t c = 0; c < cols; ++c) {
            dark[static_cast<size_t>(rows - 1) * cols + c] = true;
            dark[static_cast<size_t>(c)] = c % 2 == 0;
        }
        symbolPoints.clear();
        picturePoints.clear();
        const PointD unitX = fitted->map(1.5, 0.5) - fitted->map(0.5, 0.5);
        const PointD unitY = fitted->map(0.5, 1.5) - fitted->map(0.5, 0.5);
        const double modulePixels = std::sqrt(std::abs(cross(unitX, unitY)));
        for (int32_t r = 0; r < rows; ++r) {
            for (int32_t c = 0; c < cols; ++c) {
                if (!dark[static_cast<size_t>(r) * cols + c])
                    continue;
                const PointD at{c + 0.5, r + 0.5};
                const auto ink = darkCentre(frame, *fitted, at.x, at.y);
                if (!ink || length(*ink - fitted->map(at.x, at.y)) > kMostShift * modulePixels)
                    continue;
                symbolPoints.push_back(at);
                picturePoints.push_back(*ink);
            }
        }
        if (symbolPoints.size() < kLeastCentres)
            return std::nullopt;
        fitted = fitHomography(symbolPoints, picturePoints);
        if (!fitted)
            return std::nullopt;
    }
    return fitted;
}

void sampleModules(const BinaryFrame& frame, const Homography& map, int32_t rows, int32_t cols,
                   std::vector<uint8_t>& levels) {
    auto evenCentres = [](int32_t n) {
        std::vector<double> centres(static_cast<size_t>(std::max(n, 0)));
        for (size_t i = 0; i < centres.size(); ++i)
            centres[i] = static_cast<double>(i) + 0.5;
        return centres;
    };
    sampleModulesAt(frame, map, evenCentres(cols), evenCentres(rows), levels);
}

void sharpenLevels(const std::vector<uint8_t>& levels, int32_t rows, int32_t cols, double amount,
                   std::vector<uint8_t>& out) {
    out.resize(levels.size());
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < cols; ++c) {
            double sum = 0, weight = 0;
            for (int32_t dr = -1; dr <= 1; ++dr) {
                for (int32_t dc = -1; dc <= 1; ++dc) {
                    const int32_t rr = r + dr, cc = c + dc;
                    if ((dr == 0 && dc == 0) || rr < 0 || rr >= rows || cc < 0 || cc >= cols)
                        continue;
                    const double w = dr != 0 && dc != 0 ? 0.5 : 1.0;
                    sum += w * levels[static_cast<size_t>(rr) * cols + cc];
                    weight += w;
                }
            }
            const double own = levels[static_cast<size_t>(r) * cols + c];
            const double v = own + amount * (own - sum / weight);
            out[static_cast<size_t>(r) * cols + c] =
                static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
        }
    }
}

uint8_t splitLevels(const std::vector<uint8_t>& levels) {
    std::array<int32_t, 256> histogram{};
    for (const uint8_t v : levels)
        ++histogram[v];
    double t = 0;
    for (const uint8_t v : levels)
        t += v;
    t /= static_cast<double>(std::max<size_t>(levels.size(), 1));
    for (int iteration = 0; iteration < 32; ++iteration) {
        double sumLow = 0, sumHigh = 0;
        int64_t low = 0, high = 0;
        for (int v = 0; v < 256; ++v) {
            if (v <= t) {
                sumLow += static_cast<double>(v) * histogram[static_cast<size_t>(v)];
                low += histogram[static_cast<size_t>(v)];
            } else {
                sumHigh += static_cast<double>(v) * histogram[static_cast<size_t>(v)];
                high += histogram[static_cast<size_t>(v)];
            }
        }
        if (low == 0 || high == 0)
            break;
        const double next = (sumLow / low + sumHigh / high) / 2;
        if (std::abs(next - t) < 0.25)
            break;
        t = next;
    }
    return static_cast<uint8_t>(t);
}

}  // namespace dm
