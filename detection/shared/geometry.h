#pragma once

// The plane geometry every detector and the grading share: a point with its arithmetic, a line
// with intersection and a least-squares fit, and the projective map of a symbol onto a picture.

#include <algorithm>
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

// A convex quadrilateral: whether a point lies on the inner side of all four edges (or on one),
// whichever way round the corners run, and the pixels its bounds cover in a picture.
class ConvexQuad {
  public:
    // Inclusive pixel bounds.
    struct PixelBox {
        int32_t x0, y0, x1, y1;
    };

    explicit ConvexQuad(const std::array<PointD, 4>& corners)
        : q_(corners),
          turn_(cross(corners[1] - corners[0], corners[2] - corners[1]) < 0 ? -1.0 : 1.0) {}

    bool contains(PointD p) const {
        for (size_t i = 0; i < q_.size(); ++i) {
            if (turn_ * cross(q_[(i + 1) % q_.size()] - q_[i], p - q_[i]) < 0)
                return false;
        }
        return true;
    }

    // The pixels of a width x height picture from the floor of the least coordinates to the
    // ceiling of the greatest, clamped to the picture.
    PixelBox pixels(int32_t width, int32_t height) const {
        double xMin = q_[0].x, xMax = q_[0].x, yMin = q_[0].y, yMax = q_[0].y;
        for (const PointD& p : q_) {
            xMin = std::min(xMin, p.x);
            xMax = std::max(xMax, p.x);
            yMin = std::min(yMin, p.y);
            yMax = std::max(yMax, p.y);
        }
        auto clampTo = [](double v, int32_t high) {
            return static_cast<int32_t>(std::clamp(v, 0.0, static_cast<double>(high)));
        };
        return {clampTo(std::floor(xMin), width - 1), clampTo(std::floor(yMin), height - 1),
                clampTo(std::ceil(xMax), width - 1), clampTo(std::ceil(yMax), height - 1)};
    }

  private:
    std::array<PointD, 4> q_;
    double turn_;
};

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
