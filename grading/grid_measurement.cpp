#include "grading/grid_measurement.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "symbology/symbol_size.h"

namespace dm {

namespace {

// Where the reflectance from a to b crosses the threshold from light to dark (or from dark to
// light), as a fraction of the way: the crossing nearest the middle when there are several.
// Sampled every quarter pixel and interpolated between samples.
std::optional<double> crossing(const ReflectanceImage& image, ImagePoint a, ImagePoint b,
                               double threshold, bool lightToDark) {
    const int steps = std::clamp(static_cast<int>(std::ceil(4 * length(b - a))), 4, 4096);
    std::optional<double> best;
    double previous = image.sample(a) - threshold;
    for (int i = 1; i <= steps; ++i) {
        const double t = static_cast<double>(i) / steps;
        const double current = image.sample(a + t * (b - a)) - threshold;
        const bool crosses =
            lightToDark ? previous > 0 && current <= 0 : previous <= 0 && current > 0;
        if (crosses) {
            const double at = t - (1.0 / steps) * current / (current - previous);
            if (!best || std::abs(at - 0.5) < std::abs(*best - 0.5))
                best = at;
        }
        previous = current;
    }
    return best;
}

std::optional<ImagePoint> edgeBetween(const ReflectanceImage& image, ImagePoint a, ImagePoint b,
                                      double threshold, bool lightToDark) {
    const auto t = crossing(image, a, b, threshold, lightToDark);
    if (!t)
        return std::nullopt;
    return a + *t * (b - a);
}

// Least squares fit of centre = origin + u colStep + v rowStep over (u, v) = (c + 0.5, r + 0.5).
void fitRegularGrid(MeasuredGrid& grid, int32_t rows, int32_t cols) {
    std::array<std::array<double, 3>, 3> m{};
    std::array<double, 3> bx{}, by{};
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < cols; ++c) {
            const std::array<double, 3> f{c + 0.5, r + 0.5, 1.0};
            const ImagePoint& p = grid.centres[static_cast<size_t>(r) * cols + c];
            for (int i = 0; i < 3; ++i) {
                for (int j = 0; j < 3; ++j)
                    m[i][j] += f[i] * f[j];
                bx[i] += f[i] * p.x;
                by[i] += f[i] * p.y;
            }
        }
    }
    auto det3 = [](const std::array<std::array<double, 3>, 3>& a) {
        return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
               a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
               a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    };
    const double det = det3(m);
    // Cramer's rule: column k of the matrix replaced by the right-hand side.
    auto solve = [&](const std::array<double, 3>& b) {
        std::array<double, 3> x{};
        for (int k = 0; k < 3; ++k) {
            auto mk = m;
            for (int i = 0; i < 3; ++i)
                mk[i][k] = b[i];
            x[k] = det3(mk) / det;
        }
        return x;
    };
    const auto sx = solve(bx);
    const auto sy = solve(by);
    grid.colStep = {sx[0], sy[0]};
    grid.rowStep = {sx[1], sy[1]};
    grid.origin = {sx[2], sy[2]};
    const double xPitch = length(grid.colStep);
    const double yPitch = length(grid.rowStep);
    grid.moduleSize = (xPitch + yPitch) / 2;
    grid.axialNonuniformity = std::abs(xPitch - yPitch) / grid.moduleSize;
    double worst = 0;
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < cols; ++c) {
            const ImagePoint ideal =
                grid.origin + (c + 0.5) * grid.colStep + (r + 0.5) * grid.rowStep;
            worst =
                std::max(worst, length(grid.centres[static_cast<size_t>(r) * cols + c] - ideal));
        }
    }
    grid.gridNonuniformity = worst / grid.moduleSize;
}

}  // namespace

std::optional<MeasuredGrid> measureGrid(const ReflectanceImage& image, const Homography& rough,
                                        int32_t sizeIndex, double threshold) {
    if (!isValidSizeIndex(sizeIndex))
        return std::nullopt;
    const SymbolSize& s = symbolSize(sizeIndex);
    const int32_t rows = s.symbolRows;
    const int32_t cols = s.symbolCols;
    const int32_t regionRows = rows / verticalRegions(s);
    const int32_t regionCols = cols / horizontalRegions(s);
    const double roughModule = (length(rough.map(cols, 0) - rough.map(0, 0)) / cols +
                                length(rough.map(cols, rows) - rough.map(0, rows)) / cols +
                                length(rough.map(0, rows) - rough.map(0, 0)) / rows +
                                length(rough.map(cols, rows) - rough.map(cols, 0)) / rows) /
                               4;
    if (!std::isfinite(roughModule) || roughModule <= 0)
        return std::nullopt;

    // The outer edges: the solid column and row against the quiet zone, and the dark modules of
    // the top and right clock tracks. Each scan runs three quarters of a module either side of
    // where the rough map puts the edge.
    constexpr double kReach = 0.75;
    const double tolerance = std::max(0.5, 0.2 * roughModule);
    auto side = [&](auto scan, int32_t count, ImagePoint from, ImagePoint to) {
        std::vector<ImagePoint> points;
        for (int32_t i = 0; i < count; ++i) {
            if (const auto p = scan(i))
                points.push_back(*p);
        }
        return fitLine(points, tolerance).value_or(Line{from, to - from});
    };
    auto edge = [&](double u0, double v0, double u1, double v1, bool lightToDark) {
        return edgeBetween(image, rough.map(u0, v0), rough.map(u1, v1), threshold, lightToDark);
    };
    const Line left = side([&](int32_t r) { return edge(-kReach, r + 0.5, kReach, r + 0.5, true); },
                           rows, rough.map(0, 0), rough.map(0, rows));
    const Line bottom =
        side([&](int32_t c) { return edge(c + 0.5, rows + kReach, c + 0.5, rows - kReach, true); },
             cols, rough.map(0, rows), rough.map(cols, rows));
    const Line top = side(
        [&](int32_t i) {  // the dark modules, columns 0, 2, 4 ...
            return edge(2 * i + 0.5, -kReach, 2 * i + 0.5, kReach, true);
        },
        cols / 2, rough.map(0, 0), rough.map(cols, 0));
    const Line right = side(
        [&](int32_t i) {  // the dark modules, rows - 1, rows - 3 ...
            const double v = rows - 1 - 2 * i + 0.5;
            return edge(cols + kReach, v, cols - kReach, v, true);
        },
        rows / 2, rough.map(cols, 0), rough.map(cols, rows));
    const auto topLeft = intersect(top, left);
    const auto topRight = intersect(top, right);
    const auto bottomRight = intersect(bottom, right);
    const auto bottomLeft = intersect(bottom, left);
    if (!topLeft || !topRight || !bottomRight || !bottomLeft)
        return std::nullopt;
    const auto outline =
        symbolToImage({*topLeft, *topRight, *bottomRight, *bottomLeft}, cols, rows);
    if (!outline)
        return std::nullopt;

    MeasuredGrid grid;
    grid.outline = *outline;
    auto at = [&](double u, double v) { return outline->map(u, v); };
    // Module edges along one alternating line, point(u) its point u modules along. Edge k (between
    // modules k - 1 and k) is looked for within half a module of where the edges before it put
    // it: the outline's place, shifted as far as the last edge found lay from its own plus the
    // change since the edge before, so that the search follows a grid that bends or narrows away
    // from the outline. Where it cannot be seen, that place stands in.
    auto trackEdges = [&](auto point, auto lightToDark, int32_t first, int32_t last) {
        std::vector<ImagePoint> edges(static_cast<size_t>(last + 1));
        double shift = 0;
        std::optional<double> lastShift;
        for (int32_t k = first; k <= last; ++k) {
            const double place = k + shift;
            const auto t =
                crossing(image, point(place - 0.5), point(place + 0.5), threshold, lightToDark(k));
            const double u = t ? place - 0.5 + *t : place;
            edges[static_cast<size_t>(k)] = point(u);
            if (t) {
                shift = lastShift ? 2 * (u - k) - *lastShift : u - k;
                lastShift = u - k;
            }
        }
        return edges;
    };
    // Column centres on every alternating row (the top row of each region): light quiet zone,
    // then dark at even columns; the last column is light and open to the quiet zone.
    std::vector<std::vector<ImagePoint>> columnCentres;
    for (int32_t t = 0; t < rows; t += regionRows) {
        const auto e = trackEdges([&](double k) { return at(k, t + 0.5); },
                                  [](int32_t k) { return k % 2 == 0; }, 0, cols - 1);
        std::vector<ImagePoint> centres(static_cast<size_t>(cols));
        for (int32_t c = 0; c + 1 < cols; ++c)
            centres[c] = 0.5 * (e[c] + e[c + 1]);
        centres[cols - 1] = e[cols - 1] + 0.25 * (e[cols - 1] - e[cols - 3]);
        columnCentres.push_back(std::move(centres));
    }
    // Row centres on every alternating column (the right column of each region), edges at
    // v = 1 ... rows: dark where rows - 1 - r is even, the bottom module against the quiet zone,
    // the top one light and open to it.
    std::vector<std::vector<ImagePoint>> rowCentres;
    for (int32_t t = regionCols - 1; t < cols; t += regionCols) {
        const auto e = trackEdges([&](double k) { return at(t + 0.5, k); },
                                  [&](int32_t k) { return (rows - k) % 2 != 0; }, 1, rows);
        std::vector<ImagePoint> centres(static_cast<size_t>(rows));
        for (int32_t r = 1; r < rows; ++r)
            centres[r] = 0.5 * (e[r] + e[r + 1]);
        centres[0] = e[1] - 0.25 * (e[3] - e[1]);
        rowCentres.push_back(std::move(centres));
    }

    grid.centres.resize(static_cast<size_t>(rows) * cols);
    for (int32_t r = 0; r < rows; ++r) {
        const ImagePoint along = at(cols, r + 0.5) - at(0, r + 0.5);
        for (int32_t c = 0; c < cols; ++c) {
            const Line column{columnCentres[static_cast<size_t>(r / regionRows)][c],
                              at(c + 0.5, rows) - at(c + 0.5, 0)};
            const Line row{rowCentres[static_cast<size_t>(c / regionCols)][r], along};
            grid.centres[static_cast<size_t>(r) * cols + c] =
                intersect(column, row).value_or(at(c + 0.5, r + 0.5));
        }
    }
    fitRegularGrid(grid, rows, cols);
    if (!std::isfinite(grid.moduleSize) || grid.moduleSize <= 0)
        return std::nullopt;
    return grid;
}

}  // namespace dm
