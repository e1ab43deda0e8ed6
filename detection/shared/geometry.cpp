#include "detection/shared/geometry.h"

#include <cstddef>
#include <utility>

namespace dm {

std::optional<PointD> intersect(const Line& a, const Line& b) {
    const double det = cross(a.direction, b.direction);
    if (std::abs(det) < 1e-12)
        return std::nullopt;
    const double t = cross(b.point - a.point, b.direction) / det;
    return a.point + t * a.direction;
}

std::optional<Line> fitLine(std::span<const PointD> points) {
    if (points.size() < 2)
        return std::nullopt;
    PointD mean;
    for (const PointD& p : points)
        mean = mean + p;
    mean = (1.0 / static_cast<double>(points.size())) * mean;
    double sxx = 0, sxy = 0, syy = 0;
    for (const PointD& p : points) {
        const PointD d = p - mean;
        sxx += d.x * d.x;
        sxy += d.x * d.y;
        syy += d.y * d.y;
    }
    const double angle = 0.5 * std::atan2(2 * sxy, sxx - syy);
    return Line{mean, {std::cos(angle), std::sin(angle)}};
}

std::optional<Line> fitLine(std::vector<PointD> points, double tolerance) {
    while (points.size() >= 2) {
        const Line line = *fitLine(points);
        size_t worst = 0;
        double worstDistance = -1;
        for (size_t i = 0; i < points.size(); ++i) {
            const double distance = std::abs(cross(points[i] - line.point, line.direction));
            if (distance > worstDistance) {
                worstDistance = distance;
                worst = i;
            }
        }
        if (worstDistance <= tolerance || points.size() == 2)
            return line;
        points.erase(points.begin() + static_cast<std::ptrdiff_t>(worst));
    }
    return std::nullopt;
}

std::optional<Homography> symbolToImage(const std::array<PointD, 4>& corners, int32_t cols,
                                        int32_t rows) {
    const auto& [p0, p1, p2, p3] = corners;
    const double dx1 = p1.x - p2.x, dx2 = p3.x - p2.x, dx3 = p0.x - p1.x + p2.x - p3.x;
    const double dy1 = p1.y - p2.y, dy2 = p3.y - p2.y, dy3 = p0.y - p1.y + p2.y - p3.y;
    const double det = dx1 * dy2 - dx2 * dy1;
    if (std::abs(det) < 1e-9 || cols <= 0 || rows <= 0)
        return std::nullopt;
    Homography m;
    m.g = (dx3 * dy2 - dx2 * dy3) / det;
    m.h = (dx1 * dy3 - dx3 * dy1) / det;
    m.a = p1.x - p0.x + m.g * p1.x;
    m.b = p3.x - p0.x + m.h * p3.x;
    m.c = p0.x;
    m.d = p1.y - p0.y + m.g * p1.y;
    m.e = p3.y - p0.y + m.h * p3.y;
    m.f = p0.y;
    // From the unit square to cols x rows modules.
    m.a /= cols;
    m.d /= cols;
    m.g /= cols;
    m.b /= rows;
    m.e /= rows;
    m.h /= rows;
    return m;
}

namespace {

// The mean of the points and their mean distance from it over the square root of two, which
// scales them to about unit size for a well-conditioned fit.
std::pair<PointD, double> normalisation(std::span<const PointD> points) {
    PointD mean;
    for (const PointD& p : points)
        mean = mean + p;
    mean = (1.0 / static_cast<double>(points.size())) * mean;
    double spread = 0;
    for (const PointD& p : points)
        spread += length(p - mean);
    spread /= static_cast<double>(points.size());
    return {mean, spread > 0 ? spread / std::sqrt(2.0) : 0.0};
}

}  // namespace

std::optional<Homography> fitHomography(std::span<const PointD> symbolPoints,
                                        std::span<const PointD> picturePoints) {
    constexpr size_t kUnknowns = 8;
    if (symbolPoints.size() != picturePoints.size() || symbolPoints.size() < 4)
        return std::nullopt;
    const auto [uMean, uScale] = normalisation(symbolPoints);
    const auto [xMean, xScale] = normalisation(picturePoints);
    if (uScale <= 0 || xScale <= 0)
        return std::nullopt;
    // Normal equations of x = (a u + b v + c) - g u x - h v x and the same for y, in the
    // normalised coordinates.
    std::array<std::array<double, kUnknowns + 1>, kUnknowns> m{};
    auto add = [&](const std::array<double, kUnknowns>& row, double rhs) {
        for (size_t i = 0; i < kUnknowns; ++i) {
            for (size_t j = 0; j < kUnknowns; ++j)
                m[i][j] += row[i] * row[j];
            m[i][kUnknowns] += row[i] * rhs;
        }
    };
    for (size_t k = 0; k < symbolPoints.size(); ++k) {
        const PointD s = (1 / uScale) * (symbolPoints[k] - uMean);
        const PointD p = (1 / xScale) * (picturePoints[k] - xMean);
        add({s.x, s.y, 1, 0, 0, 0, -s.x * p.x, -s.y * p.x}, p.x);
        add({0, 0, 0, s.x, s.y, 1, -s.x * p.y, -s.y * p.y}, p.y);
    }
    // Gaussian elimination with partial pivoting.
    for (size_t col = 0; col < kUnknowns; ++col) {
        size_t pivot = col;
        for (size_t r = col + 1; r < kUnknowns; ++r) {
            if (std::abs(m[r][col]) > std::abs(m[pivot][col]))
                pivot = r;
        }
        if (std::abs(m[pivot][col]) < 1e-12)
            return std::nullopt;
        std::swap(m[col], m[pivot]);
        for (size_t r = 0; r < kUnknowns; ++r) {
            if (r == col)
                continue;
            const double f = m[r][col] / m[col][col];
            for (size_t j = col; j <= kUnknowns; ++j)
                m[r][j] -= f * m[col][j];
        }
    }
    std::array<double, kUnknowns> h{};
    for (size_t i = 0; i < kUnknowns; ++i)
        h[i] = m[i][kUnknowns] / m[i][i];
    // Back from the normalised coordinates: H = X^-1 H' U, with U taking symbol points to
    // their normalised form and X picture points to theirs.
    const std::array<std::array<double, 3>, 3> fitted{
        {{h[0], h[1], h[2]}, {h[3], h[4], h[5]}, {h[6], h[7], 1}}};
    const std::array<std::array<double, 3>, 3> u{
        {{1 / uScale, 0, -uMean.x / uScale}, {0, 1 / uScale, -uMean.y / uScale}, {0, 0, 1}}};
    const std::array<std::array<double, 3>, 3> xInverse{
        {{xScale, 0, xMean.x}, {0, xScale, xMean.y}, {0, 0, 1}}};
    auto product = [](const auto& a, const auto& b) {
        std::array<std::array<double, 3>, 3> r{};
        for (size_t i = 0; i < 3; ++i)
            for (size_t j = 0; j < 3; ++j)
                for (size_t k = 0; k < 3; ++k)
                    r[i][j] += a[i][k] * b[k][j];
        return r;
    };
    const auto full = product(xInverse, product(fitted, u));
    const double w = full[2][2];
    if (std::abs(w) < 1e-12)
        return std::nullopt;
    Homography map;
    map.a = full[0][0] / w;
    map.b = full[0][1] / w;
    map.c = full[0][2] / w;
    map.d = full[1][0] / w;
    map.e = full[1][1] / w;
    map.f = full[1][2] / w;
    map.g = full[2][0] / w;
    map.h = full[2][1] / w;
    return map;
}

}  // namespace dm
