#include "detection/finder_pass/finder_normalisation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <optional>

#include "detection/finder_pass/line_geometry.h"

namespace dm {
namespace {

// Coefficients of x = a*u + b*v + c, y = d*u + e*v + f (x, y in half-pixel frame units).
struct AffineMap {
    float a = 0;
    float b = 0;
    float c = 0;
    float d = 0;
    float e = 0;
    float f = 0;
};

int32_t meanArmLength(Point p0, Point p1, Point p2);

constexpr int32_t kGridSide = normalisedGridSize;

// Finder points in half-pixel units; 64-bit so that a wild point cannot overflow.
struct Doubled {
    int64_t x;
    int64_t y;
};

Doubled doubled(Point p) {
    return {2 * int64_t{p.x}, 2 * int64_t{p.y}};
}

bool withinHalfPixelFrame(Doubled p, int64_t width2, int64_t height2) {
    return p.x >= 1 && p.x <= width2 - 1 && p.y >= 1 && p.y <= height2 - 1;
}

// Where the three finder points go in the normalised grid: xEnd, corner, yEnd.
std::optional<std::array<Point, 3>> normalisedLayout(Point xEnd, Point corner, Point yEnd,
                                                     int32_t dX, int32_t dY, int32_t m) {
    const int32_t n = kGridSide;
    if (2 * int64_t{dY} >= dX && 2 * int64_t{dX} >= dY) {
        // Square: the arm plus about 17 modules fill the grid, 4.5 of them before the corner.
        const int32_t l = meanArmLength(xEnd, corner, yEnd) % 65536;
        const int64_t denominator = int64_t{l} + 17 * int64_t{m};
        if (l <= 0 || denominator <= 0)
            return std::nullopt;
        const auto s = static_cast<int32_t>(n * int64_t{l} / denominator);
        const auto t = static_cast<int32_t>(static_cast<double>(s) * m / l + 0.5);
        const int32_t k = t / 2 + 4 * t;
        return std::array<Point, 3>{Point{k + s, k}, Point{k, k}, Point{k, k + s}};
    }
    // Rectangle: the xEnd arm always gets the long side, the yEnd arm its share of it.
    const int64_t i = n - 17 * int64_t{m};
    const int64_t j = dX > dY ? i * dY / dX : i * dX / dY;
    const int32_t margin = 9 * m / 2;
    return std::array<Point, 3>{Point{n - 25 * m / 2, margin}, Point{margin, margin},
                                Point{margin, margin + static_cast<int32_t>(j)}};
}

// Euclidean distance rounded to the nearest integer.
int32_t roundedDistance(Point p, Point q) {
    const double dx = static_cast<double>(q.x) - p.x;
    const double dy = static_cast<double>(q.y) - p.y;
    return static_cast<int32_t>(std::sqrt(dx * dx + dy * dy) + 0.5);
}

// Mean of |p1 - p0| and |p2 - p1|, truncated; p1 is the corner.
int32_t meanArmLength(Point p0, Point p1, Point p2) {
    auto length = [](Point p, Point q) {
        const double dx = static_cast<double>(q.x) - p.x;
        const double dy = static_cast<double>(q.y) - p.y;
        return std::sqrt(dx * dx + dy * dy);
    };
    return static_cast<int32_t>(0.5 * (length(p0, p1) + length(p1, p2)));
}

// Map that takes the three grid points onto the three frame points (in the same order);
// nothing when the grid points are collinear.
std::optional<AffineMap> solveAffine(const std::array<Point, 3>& gridPoints,
                                     const std::array<Point, 3>& framePoints) {
    const int64_t u0 = gridPoints[0].x, u1 = gridPoints[1].x, u2 = gridPoints[2].x;
    const int64_t v0 = gridPoints[0].y, v1 = gridPoints[1].y, v2 = gridPoints[2].y;
    const int64_t det = (u2 - u1) * v0 + (u0 - u2) * v1 + (u1 - u0) * v2;
    if (det == 0)
        return std::nullopt;

    // Cramer's rule with integer determinants, one frame axis at a time.
    auto solveAxis = [&](int64_t x0, int64_t x1, int64_t x2, float& a, float& b, float& c) {
        const int64_t numA = (x2 - x1) * v0 + (x0 - x2) * v1 + (x1 - x0) * v2;
        const int64_t numB = (x2 - x1) * u0 + (x0 - x2) * u1 + (x1 - x0) * u2;
        a = static_cast<float>(numA) / static_cast<float>(det);
        b = static_cast<float>(numB) / static_cast<float>(-det);
        c = static_cast<float>(x0) - a * static_cast<float>(u0) - b * static_cast<float>(v0);
    };
    AffineMap map;
    solveAxis(framePoints[0].x, framePoints[1].x, framePoints[2].x, map.a, map.b, map.c);
    solveAxis(framePoints[0].y, framePoints[1].y, framePoints[2].y, map.d, map.e, map.f);
    return map;
}

}  // namespace

bool normaliseFinder(DecodeStatus& status, DetectionContext& context, SamplingCache& cache) {
    if (context.image == nullptr) {
        status = DecodeStatus::MissingInput;
        return false;
    }
    GrayImage& image = *context.image;
    const int64_t width2 = 2 * int64_t{image.width};
    const int64_t height2 = 2 * int64_t{image.height};
    const Doubled xEnd2 = doubled(context.xEnd);
    const Doubled corner2 = doubled(context.corner);
    const Doubled yEnd2 = doubled(context.yEnd);
    if (!withinHalfPixelFrame(xEnd2, width2, height2) ||
        !withinHalfPixelFrame(corner2, width2, height2) ||
        !withinHalfPixelFrame(yEnd2, width2, height2) || width2 > INT32_MAX ||
        height2 > INT32_MAX) {
        status = DecodeStatus::FinderOutsideImage;
        return false;
    }
    // All coordinates now fit 32 bits.
    const Point xEnd{static_cast<int32_t>(xEnd2.x), static_cast<int32_t>(xEnd2.y)};
    const Point corner{static_cast<int32_t>(corner2.x), static_cast<int32_t>(corner2.y)};
    const Point yEnd{static_cast<int32_t>(yEnd2.x), static_cast<int32_t>(yEnd2.y)};
    const int64_t m64 = 2 * int64_t{context.moduleSize};
    if (m64 > INT32_MAX / 32 || m64 < INT32_MIN / 32) {
        status = DecodeStatus::FinderOutsideImage;
        return false;
    }
    const auto m = static_cast<int32_t>(m64);

    if (!armsSpanSevenModules(context.corner, context.xEnd, context.yEnd, context.moduleSize)) {
        status = DecodeStatus::FinderOutsideImage;
        return false;
    }
    const int32_t dX = roundedDistance(corner, xEnd);
    const int32_t dY = roundedDistance(corner, yEnd);

    if (!cache.grid) {
        try {
            cache.grid = std::make_unique<SamplingGrid>();
        } catch (const std::bad_alloc&) {
            status = DecodeStatus::OutOfMemory;
            return false;
        }
    }

    const auto layout = normalisedLayout(xEnd, corner, yEnd, dX, dY, m);
    const auto map = layout ? solveAffine(*layout, {xEnd, corner, yEnd}) : std::nullopt;
    if (!map) {
        // Coincident finder points or a zero module size leave no usable map.
        status = DecodeStatus::FinderOutsideImage;
        return false;
    }

    SamplingGrid& grid = *cache.grid;
    grid.uCount = kGridSide;
    grid.vCount = kGridSide;
    // The 0.5 in the per-row terms turns the later truncation into rounding.
    for (int i = 0; i < kGridSide; ++i) {
        grid.xOfU[i] = static_cast<float>(static_cast<double>(map->a) * i);
        grid.xOfV[i] = static_cast<float>(static_cast<double>(map->b) * i + map->c + 0.5);
        grid.yOfU[i] = static_cast<float>(static_cast<double>(map->d) * i);
        grid.yOfV[i] = static_cast<float>(static_cast<double>(map->e) * i + map->f + 0.5);
    }

    context.xEnd = (*layout)[0];
    context.corner = (*layout)[1];
    context.yEnd = (*layout)[2];
    image.pixelCount = static_cast<int32_t>(std::min<int64_t>(width2 * height2, INT32_MAX));
    image.width = static_cast<int32_t>(width2);
    image.height = static_cast<int32_t>(height2);
    image.grid = &grid;
    return true;
}

uint8_t gridSample(const GrayImage& image, int32_t v, int32_t u) {
    const SamplingGrid* grid = image.grid;
    if (grid == nullptr || image.pixels == nullptr || image.rowOffsets == nullptr || u < 0 ||
        v < 0 || u >= kGridSide || v >= kGridSide) {
        return 255;
    }
    const float fy = grid->yOfU[u] + grid->yOfV[v];
    const float fx = grid->xOfU[u] + grid->xOfV[v];
    // trunc(f) lies in 1 .. extent - 2 exactly when 1 <= f < extent - 1 (NaN fails too).
    if (!(fy >= 1.0f && fy < static_cast<float>(image.height - 1) && fx >= 1.0f &&
          fx < static_cast<float>(image.width - 1))) {
        return 255;
    }
    const auto y = static_cast<int32_t>(fy);
    const auto x = static_cast<int32_t>(fx);
    // Half-pixel positions: an odd coordinate averages the pixel with its next neighbour.
    // Reading the same pixel twice where the coordinate is even gives the same average without
    // a branch: (2a + 2b) >> 2 = (a + b) >> 1 and 4a >> 2 = a.
    const int32_t px = x >> 1;
    const int32_t py = y >> 1;
    const int32_t px1 = px + (x & 1);
    const int32_t py1 = py + (y & 1);
    return static_cast<uint8_t>((grayAt(image, px, py) + grayAt(image, px1, py) +
                                 grayAt(image, px, py1) + grayAt(image, px1, py1)) >>
                                2);
}

}  // namespace dm
