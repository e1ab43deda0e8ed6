#pragma once

// The plane geometry every detector and the grading share: a point with its arithmetic, a line
// with intersection and a least-squares fit, and the projective map of a symbol onto a picture.

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

#include "symbology/api.h"

namespace dm {

// A point, or the displacement between two; PointD, in double precision, is the one in use. The
// operations are templates, so a file that still declares its own plain functions on points
// (the outline search, for now) calls those without ambiguity.
template <typename T>
struct PointT {
    T x = 0;
    T y = 0;
};
using PointD = PointT<double>;

template <typename T>
PointT<T> operator+(PointT<T> a, PointT<T> b) {
    return {a.x + b.x, a.y + b.y};
}
template <typename T>
PointT<T> operator-(PointT<T> a, PointT<T> b) {
    return {a.x - b.x, a.y - b.y};
}
template <typename T>
PointT<T> operator*(std::type_identity_t<T> k, PointT<T> a) {
    return {k * a.x, k * a.y};
}
template <typename T>
T dot(PointT<T> a, PointT<T> b) {
    return a.x * b.x + a.y * b.y;
}
// The z component of the cross product: positive when b turns from a like +x turns to +y.
template <typename T>
T cross(PointT<T> a, PointT<T> b) {
    return a.x * b.y - a.y * b.x;
}
template <typename T>
T length(PointT<T> a) {
    return std::hypot(a.x, a.y);
}

// A straight line through point along direction (unit length from fitLine; intersect takes
// any length).
struct Line {
    PointD point;
    PointD direction;
};

// Where the two lines meet; nothing when they are parallel (or nearly so).
DM_API std::optional<PointD> intersect(const Line& a, const Line& b);

// Total least squares line through the points (their principal axis, through their mean);
// nothing from fewer than two points.
DM_API std::optional<Line> fitLine(std::span<const PointD> points);

// The same, dropping the point farthest from the line while it lies farther than tolerance (a
// damaged edge lies elsewhere), down to two points.
DM_API std::optional<Line> fitLine(std::vector<PointD> points, double tolerance);

// Projective map from symbol coordinates (u across the columns, v down the rows, in modules;
// (0, 0) the outer top-left corner) to picture coordinates.
struct Homography {
    double a = 0, b = 0, c = 0;  // x = (a u + b v + c) / (g u + h v + 1)
    double d = 0, e = 0, f = 0;  // y = (d u + e v + f) / (g u + h v + 1)
    double g = 0, h = 0;

    PointD map(double u, double v) const {
        const double w = g * u + h * v + 1;
        return {(a * u + b * v + c) / w, (d * u + e * v + f) / w};
    }
};

// The projective map that takes each of the symbol points to its picture point with the least
// squared error (at least four pairs, not three on a line); nothing when the points do not fix
// one.
std::optional<Homography> fitHomography(std::span<const PointD> symbolPoints,
                                        std::span<const PointD> picturePoints);

// The map that takes the symbol's outer corners (0, 0), (cols, 0), (cols, rows), (0, rows) onto
// the four points (top left, top right, bottom right, bottom left); nothing when three of them
// are collinear or the size is empty.
DM_API std::optional<Homography> symbolToImage(const std::array<PointD, 4>& corners, int32_t cols,
                                               int32_t rows);

}  // namespace dm
