#include "detection/shared/geometry.h"

#include <cstddef>

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

}  // namespace dm
