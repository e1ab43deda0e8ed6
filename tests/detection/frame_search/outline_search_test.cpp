// The outline search's steps on their own: the convex hull, the side fits, the finder thickness
// and the trace of a far side.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "detection/frame_search/local_threshold.h"
#include "detection/frame_search/outline_search_internals.h"
#include "symbology/symbol_size.h"
#include "tests/support/frame_synth.h"
#include "tests/support/gray_frame.h"
#include "tests/support/symbol_builders.h"

namespace dm {
namespace {

Vec2 unit(Vec2 a) {
    return (1.0 / length(a)) * a;
}
// Distance of p from the line.
double distance(const Line& line, Vec2 p) {
    return std::abs(cross(p - line.point, line.direction));
}

// A polygon's outline, as the search gathers it: points at half pixels along each side (so
// exactly on it), each corner twice, sorted by x and then y. The hull keeps just the corners,
// counter-clockwise from the lowest of the leftmost.
TEST(OutlineSearch, HullOfAPolygonsOutlineIsItsCorners) {
    struct Case {
        const char* name;
        std::vector<Vec2> corners;  // counter-clockwise, the lowest of the leftmost first
    };
    const Case cases[] = {
        {"square", {{0, 0}, {40, 0}, {40, 40}, {0, 40}}},
        {"diamond", {{0, 20}, {20, 0}, {40, 20}, {20, 40}}},
        {"triangle", {{-6, 3}, {30, -9}, {12, 27}}},
        {"tilted quadrilateral", {{2, 10}, {50, 2}, {60, 45}, {8, 52}}},
    };
    for (const Case& c : cases) {
        OutlineSearchScratch s;
        const size_t n = c.corners.size();
        for (size_t i = 0; i < n; ++i) {
            const Vec2 a = c.corners[i], b = c.corners[(i + 1) % n];
            // Steps of whole half pixels from a to b.
            const int steps =
                std::gcd(static_cast<int>(2 * (b.x - a.x)), static_cast<int>(2 * (b.y - a.y)));
            s.outline.push_back(a);
            for (int k = 0; k <= steps; ++k)
                s.outline.push_back({a.x + k * (b.x - a.x) / steps, a.y + k * (b.y - a.y) / steps});
        }
        std::sort(s.outline.begin(), s.outline.end(),
                  [](Vec2 p, Vec2 q) { return p.x < q.x || (p.x == q.x && p.y < q.y); });
        outline_internals::convexHull(s);
        ASSERT_EQ(s.hull.size(), n) << c.name;
        for (size_t i = 0; i < n; ++i) {
            EXPECT_NEAR(s.hull[i].x, c.corners[i].x, 1e-9) << c.name << ", corner " << i;
            EXPECT_NEAR(s.hull[i].y, c.corners[i].y, 1e-9) << c.name << ", corner " << i;
        }
    }
}

// Points within half a pixel of a line at several angles: the fit lies within a tenth of a
// pixel of it and along it; fewer than three points give no line.
TEST(OutlineSearch, LineFitFollowsNoisyCollinearPoints) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> noise(-0.5, 0.5);
    for (const double degrees : {0.0, 30.0, 89.0, 90.0, 135.0, 179.0}) {
        const double a = degrees * M_PI / 180;
        const Line truth{{50, 40}, {std::cos(a), std::sin(a)}};
        std::vector<Vec2> pts;
        for (double t = -40; t <= 40; t += 1) {
            const double off = noise(rng);
            pts.push_back({truth.point.x + t * truth.direction.x - off * truth.direction.y,
                           truth.point.y + t * truth.direction.y + off * truth.direction.x});
        }
        const auto fitted = fitLine(std::span<const PointD>(pts));
        ASSERT_TRUE(fitted.has_value()) << degrees << " degrees";
        EXPECT_LT(distance(truth, fitted->point), 0.1) << degrees << " degrees";
        EXPECT_LT(std::abs(fitted->direction.x * truth.direction.y -
                           fitted->direction.y * truth.direction.x),
                  0.005)
            << degrees << " degrees";
    }
}

// The outline of a 4-pixel-module symbol's side from rough ends a pixel or two off: solid, or
// alternating (every other module's outline a module further in), with the sides that meet it
// at its ends. The fit is the outer edge, directed from p to q, within a fifth of a pixel.
TEST(OutlineSearch, SideFitTakesTheOuterEdge) {
    constexpr double kModule = 4, kLength = 64;
    for (const bool alternating : {false, true}) {
        for (const double degrees : {0.0, 20.0, -65.0}) {
            const std::string name = std::string(alternating ? "alternating" : "solid") +
                                     " side at " + std::to_string(static_cast<int>(degrees)) +
                                     " degrees";
            const double a = degrees * M_PI / 180;
            const Vec2 dir{std::cos(a), std::sin(a)};
            const Vec2 outward{dir.y, -dir.x};  // the quadrilateral lies to the left
            const Vec2 p0{30, 80};
            const Vec2 p1{p0.x + kLength * dir.x, p0.y + kLength * dir.y};
            auto at = [&](double t, double depth) {  // t along, depth inward
                return Vec2{p0.x + t * dir.x - depth * outward.x,
                            p0.y + t * dir.y - depth * outward.y};
            };
            OutlineSearchScratch s;
            for (double t = 0; t <= kLength; t += 0.5) {
                const bool light = alternating && static_cast<int>(t / kModule) % 2 == 1;
                s.outline.push_back(at(t, light ? kModule : 0));
            }
            for (double d = 0.5; d <= kLength; d += 0.5) {  // the sides meeting it
                s.outline.push_back(at(0, d));
                s.outline.push_back(at(kLength, d));
            }
            const auto side =
                outline_internals::fitSide(s, at(-1.5, 1), at(kLength + 2, -1), outward);
            ASSERT_TRUE(side.has_value()) << name;
            EXPECT_LT(distance(*side, p0), 0.2) << name;
            EXPECT_LT(distance(*side, p1), 0.2) << name;
            EXPECT_GT(side->direction.x * dir.x + side->direction.y * dir.y, 0.99) << name;
        }
    }
}

// A symbol synthesised at a rotation, thresholded as the search sees it, with its outer corners
// in stored coordinates: top left, top right, bottom right, bottom left (the finder's corner).
struct Synthesised {
    BinaryFrame frame;
    std::array<Vec2, 4> corners;
};

Synthesised synthesise(const test::TestSymbol& symbol, double module, double degrees,
                       uint8_t background = 200) {
    test::SynthOptions options;
    options.width = 320;
    options.height = 240;
    options.moduleSize = module;
    options.rotationDeg = degrees;
    options.blurSigma = 0.6;
    options.background = background;
    EXPECT_TRUE(test::symbolFits(symbol.rows, symbol.cols, options));
    const test::SynthFrame synth =
        test::synthesiseFrame(symbol.matrix, symbol.rows, symbol.cols, options);
    const test::GrayFrame gray(synth, 0);
    Synthesised out;
    EXPECT_TRUE(thresholdLocally(gray.image, out.frame));
    const auto picture = test::symbolCornersInPicture(symbol.rows, symbol.cols, options);
    for (size_t k = 0; k < 4; ++k)
        out.corners[k] = {picture[k].x - 0.5, options.height - 0.5 - picture[k].y};
    return out;
}

test::TestSymbol symbolOfSize(int sizeIndex) {
    const SymbolSize& size = symbolSize(sizeIndex);
    std::vector<uint8_t> data(size.dataCodewords);
    for (size_t k = 0; k < data.size(); ++k)
        data[k] = static_cast<uint8_t>(66 + 37 * k % 90);
    return {"", test::symbolWithData(data, sizeIndex), size.symbolRows, size.symbolCols};
}

struct SymbolCase {
    int sizeIndex;
    double module;
    double degrees;
};
const SymbolCase kSymbolCases[] = {{0, 5, 0},    {3, 4, 17},   {4, 6, 45}, {1, 3.5, 110},
                                   {24, 5, 200}, {26, 4, 333}, {2, 8, -80}};

std::string nameOf(const SymbolCase& c) {
    return "size " + std::to_string(c.sizeIndex) + ", module " + std::to_string(c.module) + ", " +
           std::to_string(static_cast<int>(c.degrees)) + " degrees";
}

// Measured from a synthesised symbol: the finder's thickness is its module size, within the
// half-pixel step of the runs, and each far side, traced from the finder's corner, lies within
// a pixel of the symbol's outer edge at both of its ends.
TEST(OutlineSearch, FinderThicknessAndFarSidesMatchTheSymbol) {
    for (const SymbolCase& c : kSymbolCases) {
        const test::TestSymbol symbol = symbolOfSize(c.sizeIndex);
        ASSERT_FALSE(symbol.matrix.empty()) << nameOf(c);
        const Synthesised a = synthesise(symbol, c.module, c.degrees);
        const auto& [topLeft, topRight, bottomRight, corner] = a.corners;
        OutlineSearchScratch s;
        const double thickness = outline_internals::finderThickness(
            a.frame, s, corner, {bottomRight, topLeft},
            {unit(topLeft - corner), unit(bottomRight - corner)});
        EXPECT_NEAR(thickness, c.module, 0.75) << nameOf(c);
        const Vec2 toRowEnd = bottomRight - corner, toColumnEnd = topLeft - corner;
        const auto right =
            outline_internals::traceFarSide(a.frame, s, corner, toColumnEnd, unit(toRowEnd),
                                            std::hypot(toRowEnd.x, toRowEnd.y), c.module);
        ASSERT_TRUE(right.has_value()) << nameOf(c) << ", right side";
        EXPECT_LT(distance(*right, bottomRight), 1) << nameOf(c) << ", right side";
        EXPECT_LT(distance(*right, topRight), 1) << nameOf(c) << ", right side";
        const auto top =
            outline_internals::traceFarSide(a.frame, s, corner, toRowEnd, unit(toColumnEnd),
                                            std::hypot(toColumnEnd.x, toColumnEnd.y), c.module);
        ASSERT_TRUE(top.has_value()) << nameOf(c) << ", top side";
        EXPECT_LT(distance(*top, topLeft), 1) << nameOf(c) << ", top side";
        EXPECT_LT(distance(*top, topRight), 1) << nameOf(c) << ", top side";
    }
}

// A finder alone (no alternating sides, nothing inside) on a ground as light as its quiet zone:
// the rays find no edge where the far sides would be, so there are none.
TEST(OutlineSearch, AFinderAloneHasNoFarSide) {
    test::TestSymbol finder;
    finder.rows = finder.cols = 16;
    finder.matrix.assign(16 * 16, 0);
    for (int k = 0; k < 16; ++k) {
        finder.matrix[static_cast<size_t>(k * 16)] = 1;       // the solid column
        finder.matrix[static_cast<size_t>(15 * 16 + k)] = 1;  // the solid row
    }
    for (const double degrees : {0.0, 30.0, 200.0}) {
        const Synthesised a = synthesise(finder, 5, degrees, 220);
        const auto& [topLeft, topRight, bottomRight, corner] = a.corners;
        OutlineSearchScratch s;
        const Vec2 toRowEnd = bottomRight - corner, toColumnEnd = topLeft - corner;
        EXPECT_FALSE(outline_internals::traceFarSide(a.frame, s, corner, toColumnEnd,
                                                     unit(toRowEnd),
                                                     std::hypot(toRowEnd.x, toRowEnd.y), 5)
                         .has_value())
            << degrees << " degrees";
    }
}

}  // namespace
}  // namespace dm
