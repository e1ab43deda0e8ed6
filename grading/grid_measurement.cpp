#include "grading/grid_measurement.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "symbology/symbol_size.h"

namespace dm {

namespace {

// Samples per pixel along a scan for an edge: finer than the bilinear reflectance changes, so
// the interpolation between two samples finds the crossing to a small fraction of a pixel. A
// scan takes at least kFewestScanSamples and at most kMostScanSamples (a bound for maps that
// run far off the picture).
constexpr int kScanSamplesPerPixel = 4;
constexpr int kFewestScanSamples = 4;
constexpr int kMostScanSamples = 4096;

// Each outer edge is looked for from three quarters of a module outside to three quarters
// inside where the rough map puts it: the located corners lie well within a module of the
// symbol's, and the scan stays short of the next edge inside.
constexpr double kEdgeReach = 0.75;
// An edge point farther than this share of the module size from its side's line is dropped
// from the fit (a damaged module's edge lies elsewhere), but never for less than
// kLeastEdgeTolerance pixels, the scatter of the crossings themselves on small modules.
constexpr double kEdgeToleranceShare = 0.2;
constexpr double kLeastEdgeTolerance = 0.5;

// The module at the open end of an alternating line (light, against the quiet zone) shows one
// edge only: its centre is taken half a module beyond it, a quarter of the two modules before.
constexpr double kOpenEndShare = 0.25;

// Where the reflectance from a to b crosses the threshold from light to dark (or from dark to
// light), as a fraction of the way: the crossing nearest the middle when there are several.
// Sampled every quarter pixel and interpolated between samples.
std::optional<double> crossing(const ReflectanceImage& image, ImagePoint a, ImagePoint b,
                               double threshold, bool lightToDark) {
    const int steps = std::clamp(static_cast<int>(std::ceil(kScanSamplesPerPixel * length(b - a))),
                                 kFewestScanSamples, kMostScanSamples);
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

// Every threshold crossing from a to b, as fractions of the way, sampled as crossing() samples.
std::vector<double> crossings(const ReflectanceImage& image, ImagePoint a, ImagePoint b,
                              double threshold) {
    const int steps = std::clamp(static_cast<int>(std::ceil(kScanSamplesPerPixel * length(b - a))),
                                 kFewestScanSamples, kMostScanSamples);
    std::vector<double> out;
    double previous = image.sample(a) - threshold;
    for (int i = 1; i <= steps; ++i) {
        const double t = static_cast<double>(i) / steps;
        const double current = image.sample(a + t * (b - a)) - threshold;
        if ((previous > 0) != (current > 0))
            out.push_back(t - (1.0 / steps) * current / (current - previous));
        previous = current;
    }
    return out;
}

// Print growth from the runs of an alternating line, in modules: a dark module printed
// 1 + 2g wide leaves its light neighbour 1 - 2g, so each neighbouring dark and light run (D, L)
// gives g = (D - L) / (2 (D + L)) whatever the local pitch. Collects one value per neighbouring
// pair of runs that both end in a crossing.
void collectGrowth(const ReflectanceImage& image, double threshold, ImagePoint from, ImagePoint to,
                   std::vector<double>& growths) {
    const std::vector<double> t = crossings(image, from, to, threshold);
    if (t.size() < 3)
        return;
    // The run from t[i] to t[i + 1] is dark when the line falls below the threshold at t[i].
    const bool firstDark = image.sample(from + 0.5 * (t[0] + t[1]) * (to - from)) <= threshold;
    for (size_t i = 0; i + 2 < t.size(); ++i) {
        const bool dark = firstDark == (i % 2 == 0);
        const double first = t[i + 1] - t[i];
        const double second = t[i + 2] - t[i + 1];
        const double d = dark ? first : second;
        const double l = dark ? second : first;
        growths.push_back((d - l) / (2 * (d + l)));
    }
}

// Growth and loss beyond this share of a module leave light modules narrower than the aperture
// can see; the estimate is held within it.
constexpr double kMostGrowth = 0.4;
// Fewer run pairs than this give no estimate (growth 0).
constexpr size_t kFewestGrowthPairs = 4;

double medianGrowth(std::vector<double> growths) {
    if (growths.size() < kFewestGrowthPairs)
        return 0;
    const auto middle = growths.begin() + static_cast<ptrdiff_t>(growths.size() / 2);
    std::nth_element(growths.begin(), middle, growths.end());
    return std::clamp(*middle, -kMostGrowth, kMostGrowth);
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

// Mean module size along the four sides of the map of a rows x cols symbol, pixels.
double sideModuleSize(const Homography& map, int32_t rows, int32_t cols) {
    return (length(map.map(cols, 0) - map.map(0, 0)) / cols +
            length(map.map(cols, rows) - map.map(0, rows)) / cols +
            length(map.map(0, rows) - map.map(0, 0)) / rows +
            length(map.map(cols, rows) - map.map(cols, 0)) / rows) /
           4;
}

// Scans across the outer edges of the symbol that a rough map places.
struct EdgeScan {
    const ReflectanceImage& image;
    const Homography& rough;
    double threshold;
    double tolerance;  // pixels an edge point may lie off its side's line

    // The light-to-dark edge from symbol point (u0, v0) to (u1, v1).
    std::optional<ImagePoint> edge(double u0, double v0, double u1, double v1) const {
        return edgeBetween(image, rough.map(u0, v0), rough.map(u1, v1), threshold, true);
    }

    // The line fitted to the edges that scan(0 ... count - 1) finds; the rough side from from to
    // to when they give none.
    template <typename Scan>
    Line side(Scan scan, int32_t count, ImagePoint from, ImagePoint to) const {
        std::vector<ImagePoint> points;
        for (int32_t i = 0; i < count; ++i) {
            if (const auto p = scan(i))
                points.push_back(*p);
        }
        return fitLine(points, tolerance).value_or(Line{from, to - from});
    }
};

// The outline through the four measured outer edges: the solid column and row against the
// quiet zone, and the dark modules of the top and right clock tracks. Nothing when the edges
// do not form a quadrilateral.
std::optional<Homography> measureOutline(const EdgeScan& scan, int32_t rows, int32_t cols) {
    const Homography& rough = scan.rough;
    const Line left =
        scan.side([&](int32_t r) { return scan.edge(-kEdgeReach, r + 0.5, kEdgeReach, r + 0.5); },
                  rows, rough.map(0, 0), rough.map(0, rows));
    const Line bottom = scan.side(
        [&](int32_t c) {
            return scan.edge(c + 0.5, rows + kEdgeReach, c + 0.5, rows - kEdgeReach);
        },
        cols, rough.map(0, rows), rough.map(cols, rows));
    const Line top = scan.side(
        [&](int32_t i) {  // the dark modules, columns 0, 2, 4 ...
            return scan.edge(2 * i + 0.5, -kEdgeReach, 2 * i + 0.5, kEdgeReach);
        },
        cols / 2, rough.map(0, 0), rough.map(cols, 0));
    const Line right = scan.side(
        [&](int32_t i) {  // the dark modules, rows - 1, rows - 3 ...
            const double v = rows - 1 - 2 * i + 0.5;
            return scan.edge(cols + kEdgeReach, v, cols - kEdgeReach, v);
        },
        rows / 2, rough.map(cols, 0), rough.map(cols, rows));
    const auto topLeft = intersect(top, left);
    const auto topRight = intersect(top, right);
    const auto bottomRight = intersect(bottom, right);
    const auto bottomLeft = intersect(bottom, left);
    if (!topLeft || !topRight || !bottomRight || !bottomLeft)
        return std::nullopt;
    return symbolToImage({*topLeft, *topRight, *bottomRight, *bottomLeft}, cols, rows);
}

// Module edges along one alternating line, point(u) its point u modules along, on a print
// whose dark modules reach growth modules beyond their nominal edges. Edge k (between modules
// k - 1 and k) is looked for within half a module of where the edges before it put it: its
// nominal place moved by the growth (before k when the line turns dark there, after it when it
// turns light), shifted by the drift of the last edge found plus the change since the edge
// before, so that the search follows a grid that bends or narrows away from the outline. The
// growth is taken out before the drift is extrapolated: edges of opposite direction lie 2
// growth apart, which would otherwise be followed as a drift of three times the growth. Where an
// edge cannot be seen, its expected place stands in.
template <typename PointAt, typename LightToDark>
std::vector<ImagePoint> trackEdges(const ReflectanceImage& image, double threshold, PointAt point,
                                   LightToDark lightToDark, int32_t first, int32_t last,
                                   double growth) {
    std::vector<ImagePoint> edges(static_cast<size_t>(last + 1));
    double shift = 0;
    std::optional<double> lastShift;
    for (int32_t k = first; k <= last; ++k) {
        const double grown = lightToDark(k) ? k - growth : k + growth;
        const double place = grown + shift;
        const auto t =
            crossing(image, point(place - 0.5), point(place + 0.5), threshold, lightToDark(k));
        const double u = t ? place - 0.5 + *t : place;
        edges[static_cast<size_t>(k)] = point(u);
        if (t) {
            shift = lastShift ? 2 * (u - grown) - *lastShift : u - grown;
            lastShift = u - grown;
        }
    }
    return edges;
}

// Column centres along the alternating row at v (the top row of a region): light quiet zone,
// then dark at even columns; the last column is light and open to the quiet zone.
std::vector<ImagePoint> columnCentresAlong(const ReflectanceImage& image, double threshold,
                                           const Homography& outline, double v, int32_t cols,
                                           double growth) {
    const auto e = trackEdges(
        image, threshold, [&](double k) { return outline.map(k, v); },
        [](int32_t k) { return k % 2 == 0; }, 0, cols - 1, growth);
    std::vector<ImagePoint> centres(static_cast<size_t>(cols));
    for (int32_t c = 0; c + 1 < cols; ++c)
        centres[c] = 0.5 * (e[c] + e[c + 1]);
    // The last edge lies growth beyond its nominal place; e[cols - 1] - e[cols - 3] is two
    // modules.
    centres[cols - 1] = e[cols - 1] + (kOpenEndShare - growth / 2) * (e[cols - 1] - e[cols - 3]);
    return centres;
}

// Row centres along the alternating column at u (the right column of a region), edges at
// v = 1 ... rows: dark where rows - 1 - r is even, the bottom module against the quiet zone, the
// top one light and open to it.
std::vector<ImagePoint> rowCentresAlong(const ReflectanceImage& image, double threshold,
                                        const Homography& outline, double u, int32_t rows,
                                        double growth) {
    const auto e = trackEdges(
        image, threshold, [&](double k) { return outline.map(u, k); },
        [&](int32_t k) { return (rows - k) % 2 != 0; }, 1, rows, growth);
    std::vector<ImagePoint> centres(static_cast<size_t>(rows));
    for (int32_t r = 1; r < rows; ++r)
        centres[r] = 0.5 * (e[r] + e[r + 1]);
    // The first edge turns dark growth before its nominal place.
    centres[0] = e[1] - (kOpenEndShare - growth / 2) * (e[3] - e[1]);
    return centres;
}

// Module centres, rows x cols: module (r, c) where the line through its column's centre on the
// alternating row of its region runs down the columns and the line through its row's centre on
// the alternating column of its region runs across; the outline's place where they do not meet.
std::vector<ImagePoint> moduleCentres(const Homography& outline,
                                      const std::vector<std::vector<ImagePoint>>& columnCentres,
                                      const std::vector<std::vector<ImagePoint>>& rowCentres,
                                      int32_t rows, int32_t cols, int32_t regionRows,
                                      int32_t regionCols) {
    std::vector<ImagePoint> centres(static_cast<size_t>(rows) * cols);
    for (int32_t r = 0; r < rows; ++r) {
        const ImagePoint along = outline.map(cols, r + 0.5) - outline.map(0, r + 0.5);
        for (int32_t c = 0; c < cols; ++c) {
            const Line column{columnCentres[static_cast<size_t>(r / regionRows)][c],
                              outline.map(c + 0.5, rows) - outline.map(c + 0.5, 0)};
            const Line row{rowCentres[static_cast<size_t>(c / regionCols)][r], along};
            centres[static_cast<size_t>(r) * cols + c] =
                intersect(column, row).value_or(outline.map(c + 0.5, r + 0.5));
        }
    }
    return centres;
}

}  // namespace

std::optional<MeasuredGrid> measureGrid(const ReflectanceImage& image, const Homography& rough,
                                        int32_t sizeIndex, double threshold) {
    if (!isValidSizeIndex(sizeIndex))
        return std::nullopt;
    const SymbolSize& s = symbolSize(sizeIndex);
    const int32_t rows = s.symbolRows;
    const int32_t cols = s.symbolCols;
    const double roughModule = sideModuleSize(rough, rows, cols);
    if (!std::isfinite(roughModule) || roughModule <= 0)
        return std::nullopt;
    const EdgeScan scan{image, rough, threshold,
                        std::max(kLeastEdgeTolerance, kEdgeToleranceShare * roughModule)};
    const auto grown = measureOutline(scan, rows, cols);
    if (!grown)
        return std::nullopt;

    // The print growth from the alternating rows and columns (with the finder modules at their
    // ends), then the outline moved in by it: its sides are edges of dark modules.
    const int32_t regionRows = rows / verticalRegions(s);
    const int32_t regionCols = cols / horizontalRegions(s);
    MeasuredGrid grid;
    // The growth along the alternating lines the map places, and the outline it leaves.
    auto moveIn = [&](const Homography& along) {
        std::vector<double> across, down;
        for (int32_t t = 0; t < rows; t += regionRows)
            collectGrowth(image, threshold, along.map(-kEdgeReach, t + 0.5),
                          along.map(cols + kEdgeReach, t + 0.5), across);
        for (int32_t t = regionCols - 1; t < cols; t += regionCols)
            collectGrowth(image, threshold, along.map(t + 0.5, -kEdgeReach),
                          along.map(t + 0.5, rows + kEdgeReach), down);
        grid.growthX = medianGrowth(std::move(across));
        grid.growthY = medianGrowth(std::move(down));
        const double u0 = grid.growthX * cols / (cols + 2 * grid.growthX);
        const double v0 = grid.growthY * rows / (rows + 2 * grid.growthY);
        return symbolToImage({grown->map(u0, v0), grown->map(cols - u0, v0),
                              grown->map(cols - u0, rows - v0), grown->map(u0, rows - v0)},
                             cols, rows);
    };
    // Measured once more along the lines the moved outline places: a heavy loss puts the first
    // outline's lines off the middles of the modules, where round dots are narrower.
    auto outline = moveIn(*grown);
    if (outline)
        outline = moveIn(*outline);
    if (!outline)
        return std::nullopt;

    // The centres each alternating row and column shows, then the module centres between them.
    std::vector<std::vector<ImagePoint>> columnCentres;
    for (int32_t t = 0; t < rows; t += regionRows)
        columnCentres.push_back(
            columnCentresAlong(image, threshold, *outline, t + 0.5, cols, grid.growthX));
    std::vector<std::vector<ImagePoint>> rowCentres;
    for (int32_t t = regionCols - 1; t < cols; t += regionCols)
        rowCentres.push_back(
            rowCentresAlong(image, threshold, *outline, t + 0.5, rows, grid.growthY));

    grid.outline = *outline;
    grid.centres =
        moduleCentres(*outline, columnCentres, rowCentres, rows, cols, regionRows, regionCols);
    fitRegularGrid(grid, rows, cols);
    if (!std::isfinite(grid.moduleSize) || grid.moduleSize <= 0)
        return std::nullopt;
    return grid;
}

MeasuredGrid cellCentredGrid(const MeasuredGrid& grid, int32_t rows, int32_t cols) {
    MeasuredGrid out = grid;
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < cols; ++c)
            out.centres[static_cast<size_t>(r) * cols + c] = grid.outline.map(c + 0.5, r + 0.5);
    }
    fitRegularGrid(out, rows, cols);
    return out;
}

MeasuredGrid inkCentredGrid(const ReflectanceImage& image, const MeasuredGrid& grid,
                            std::span<const uint8_t> dark, int32_t rows, int32_t cols,
                            double threshold, double darkest) {
    // The ink is looked for within this share of the module around the centre: the radius of
    // a dot of nearly the pitch, short of most of the neighbours' dots.
    constexpr double kSearchRadius = 0.45;
    // A cell moves no farther than this share of the module from where its search started.
    constexpr double kMostShift = 0.35;
    // A cell holds a dot when its ink weighs at least this share of a disc of the darkest level.
    constexpr double kLeastInk = 0.2;
    constexpr int kRounds = 3;
    MeasuredGrid out = grid;
    // The ink is what lies below halfway from the threshold to the darkest level: a dot's core,
    // which blur spreads less far than its rim, so that neighbours' blurred rims do not pull.
    const double core = (threshold + darkest) / 2;
    const double depth = core - darkest;
    const double radius = kSearchRadius * grid.moduleSize;
    const auto cells = static_cast<size_t>(rows) * cols;
    if (!(depth > 0) || !(radius >= 1) || dark.size() != cells || grid.centres.size() != cells)
        return out;
    const double most = kMostShift * grid.moduleSize;
    // The ink's centre found from a start, and its weight as a share of a disc of the darkest
    // level there.
    struct Ink {
        ImagePoint centre;
        double share = 0;
    };
    auto inkFrom = [&](ImagePoint from) {
        Ink found{from, 0};
        for (int round = 0; round < kRounds; ++round) {
            const ImagePoint at = found.centre;
            double mass = 0, x = 0, y = 0;
            int32_t pixels = 0;
            const auto y0 = static_cast<int32_t>(std::max(0.0, std::ceil(at.y - 0.5 - radius)));
            const auto y1 =
                static_cast<int32_t>(std::min(image.height - 1.0, std::floor(at.y - 0.5 + radius)));
            const auto x0 = static_cast<int32_t>(std::max(0.0, std::ceil(at.x - 0.5 - radius)));
            const auto x1 =
                static_cast<int32_t>(std::min(image.width - 1.0, std::floor(at.x - 0.5 + radius)));
            for (int32_t py = y0; py <= y1; ++py) {
                for (int32_t px = x0; px <= x1; ++px) {
                    const double dx = px + 0.5 - at.x, dy = py + 0.5 - at.y;
                    if (dx * dx + dy * dy > radius * radius)
                        continue;
                    ++pixels;
                    const double ink = core - image.at(px, py);
                    if (ink <= 0)
                        continue;
                    mass += ink;
                    x += ink * (px + 0.5);
                    y += ink * (py + 0.5);
                }
            }
            found.share = pixels > 0 ? mass / (depth * pixels) : 0;
            if (found.share < kLeastInk)
                break;
            ImagePoint next{x / mass, y / mass};
            const double shift = length(next - from);
            if (shift > most)
                next = from + (most / shift) * (next - from);
            found.centre = next;
        }
        return found;
    };
    // How far the ink lies from the grid's centres over the whole symbol (a grid measured off
    // the dots' outer edges can sit a fraction of a module to one side): the median shift of
    // the cells whose ink the centres find.
    std::vector<double> dxs, dys;
    for (size_t i = 0; i < cells; ++i) {
        if (!dark[i])
            continue;
        const ImagePoint centre = grid.centres[i];
        const Ink ink = inkFrom(centre);
        if (ink.share >= kLeastInk) {
            dxs.push_back(ink.centre.x - centre.x);
            dys.push_back(ink.centre.y - centre.y);
        }
    }
    auto median = [](std::vector<double>& v) {
        if (v.empty())
            return 0.0;
        const auto middle = v.begin() + static_cast<ptrdiff_t>(v.size() / 2);
        std::nth_element(v.begin(), middle, v.end());
        return *middle;
    };
    const ImagePoint offset{median(dxs), median(dys)};
    // Each cell from the centre the grid gave, from there moved by the symbol's shift and from
    // the middle of its cell in the outline (the clock tracks' dots, jittered too, can move a
    // whole column of centres), the start that finds the most ink kept.
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < cols; ++c) {
            if (!dark[static_cast<size_t>(r) * cols + c])
                continue;
            ImagePoint& centre = out.centres[static_cast<size_t>(r) * cols + c];
            Ink best = inkFrom(centre);
            for (const ImagePoint start : {centre + offset, grid.outline.map(c + 0.5, r + 0.5)}) {
                const Ink ink = inkFrom(start);
                if (ink.share > best.share)
                    best = ink;
            }
            if (best.share >= kLeastInk)
                centre = best.centre;
        }
    }
    return out;
}

}  // namespace dm
