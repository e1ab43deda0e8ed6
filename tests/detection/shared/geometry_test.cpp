#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <optional>
#include <span>
#include <vector>

#include "detection/shared/geometry.h"

namespace dm {
namespace {

// Lines meet where both run; parallel ones, however far apart or long their directions, do not.
TEST(Geometry, LinesMeetUnlessParallel) {
    struct Case {
        const char* name;
        Line a, b;
        std::optional<PointD> meet;
    };
    const Case cases[] = {
        {"axes", {{0, 0}, {1, 0}}, {{3, -2}, {0, 1}}, PointD{3, 0}},
        {"long directions", {{1, 1}, {10, 10}}, {{0, 4}, {4, -4}}, PointD{2, 2}},
        {"parallel", {{0, 0}, {1, 2}}, {{5, 0}, {-2, -4}}, std::nullopt},
        {"same line", {{0, 0}, {1, 1}}, {{2, 2}, {1, 1}}, std::nullopt},
    };
    for (const Case& c : cases) {
        const auto p = intersect(c.a, c.b);
        ASSERT_EQ(p.has_value(), c.meet.has_value()) << c.name;
        if (p) {
            EXPECT_NEAR(p->x, c.meet->x, 1e-12) << c.name;
            EXPECT_NEAR(p->y, c.meet->y, 1e-12) << c.name;
        }
    }
}

// A fit through collinear points lies on them with a unit direction; one stray point is dropped
// when a tolerance is given and pulls the line when not; a single point gives no line.
TEST(Geometry, FitsLinesThroughPoints) {
    std::vector<PointD> points;
    for (int i = 0; i < 6; ++i)
        points.push_back({2.0 + 3 * i, 1.0 - 2 * i});
    const auto line = fitLine(points);
    ASSERT_TRUE(line.has_value());
    EXPECT_NEAR(length(line->direction), 1, 1e-12);
    for (const PointD& p : points)
        EXPECT_NEAR(cross(p - line->point, line->direction), 0, 1e-9);

    std::vector<PointD> stray = points;
    stray.push_back({10, 10});
    const auto pulled = fitLine(stray);
    const auto robust = fitLine(stray, 0.5);
    ASSERT_TRUE(pulled && robust);
    EXPECT_GT(std::abs(cross(points[0] - pulled->point, pulled->direction)), 0.5);
    for (const PointD& p : points)
        EXPECT_NEAR(cross(p - robust->point, robust->direction), 0, 1e-9);

    EXPECT_FALSE(fitLine(std::vector<PointD>{{1, 1}}).has_value());
    EXPECT_FALSE(fitLine(std::vector<PointD>{{1, 1}}, 0.5).has_value());
}

// The map takes the symbol's corners onto the quadrilateral's, in order, and is projective:
// the symbol's centre lands where the quadrilateral's diagonals cross.
TEST(Geometry, MapTakesTheSymbolOntoTheQuadrilateral) {
    const std::array<PointD, 4> quad{{{100, 50}, {300, 80}, {280, 260}, {90, 230}}};
    const auto map = symbolToImage(quad, 26, 12);
    ASSERT_TRUE(map.has_value());
    const std::array<PointD, 4> symbol{{{0, 0}, {26, 0}, {26, 12}, {0, 12}}};
    for (size_t k = 0; k < 4; ++k) {
        const PointD p = map->map(symbol[k].x, symbol[k].y);
        EXPECT_NEAR(p.x, quad[k].x, 1e-9) << "corner " << k;
        EXPECT_NEAR(p.y, quad[k].y, 1e-9) << "corner " << k;
    }
    // Diagonals quad[0]-quad[2] and quad[1]-quad[3] cross at a + t (c - a).
    const PointD a = quad[0], c = quad[2], b = quad[1], d = quad[3];
    const double t = ((b.x - a.x) * (d.y - b.y) - (b.y - a.y) * (d.x - b.x)) /
                     ((c.x - a.x) * (d.y - b.y) - (c.y - a.y) * (d.x - b.x));
    const PointD centre = map->map(13, 6);
    EXPECT_NEAR(centre.x, a.x + t * (c.x - a.x), 1e-9);
    EXPECT_NEAR(centre.y, a.y + t * (c.y - a.y), 1e-9);
    // Corners on one line: no map.
    EXPECT_FALSE(symbolToImage({{{0, 0}, {10, 0}, {20, 0}, {30, 0}}}, 10, 10).has_value());
}

// The least-squares map is the projective map the points came from, also for symbol and
// picture coordinates far apart in scale, and follows noisy points closely; points that fix no
// map give none.
TEST(Geometry, FittedMapRecoversTheMapThePointsCameFrom) {
    const auto truth =
        symbolToImage({{{1210, 840}, {1990, 905}, {1930, 1620}, {1180, 1540}}}, 36, 16);
    ASSERT_TRUE(truth.has_value());
    std::vector<PointD> symbolPoints, exact, noisy;
    for (int r = 0; r < 16; r += 3) {
        for (int c = 0; c < 36; c += 5) {
            symbolPoints.push_back({c + 0.5, r + 0.5});
            const PointD p = truth->map(c + 0.5, r + 0.5);
            exact.push_back(p);
            // Noise of a pixel at most, alternating in sign.
            const double e = ((r + c) % 2 == 0 ? 1.0 : -1.0) * ((r * 7 + c * 3) % 10) / 10.0;
            noisy.push_back({p.x + e, p.y - e});
        }
    }
    const auto fitted = fitHomography(symbolPoints, exact);
    const auto rough = fitHomography(symbolPoints, noisy);
    ASSERT_TRUE(fitted.has_value());
    ASSERT_TRUE(rough.has_value());
    for (const PointD corner : {PointD{0, 0}, PointD{36, 0}, PointD{36, 16}, PointD{0, 16}}) {
        const PointD want = truth->map(corner.x, corner.y);
        const PointD got = fitted->map(corner.x, corner.y);
        EXPECT_NEAR(got.x, want.x, 1e-6);
        EXPECT_NEAR(got.y, want.y, 1e-6);
        const PointD near = rough->map(corner.x, corner.y);
        EXPECT_NEAR(near.x, want.x, 1.0);
        EXPECT_NEAR(near.y, want.y, 1.0);
    }
    const std::vector<PointD> line{{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}};
    EXPECT_FALSE(fitHomography(line, line).has_value());
    EXPECT_FALSE(fitHomography(std::span(symbolPoints).first(3), std::span(exact).first(3)));
    EXPECT_FALSE(fitHomography(symbolPoints, std::span(exact).first(4)));
}

TEST(Geometry, SymbolMapRefusesAnEmptySize) {
    const std::array<PointD, 4> quad{{{0, 0}, {10, 0}, {10, 10}, {0, 10}}};
    EXPECT_TRUE(symbolToImage(quad, 10, 10).has_value());
    EXPECT_FALSE(symbolToImage(quad, 0, 10).has_value());
    EXPECT_FALSE(symbolToImage(quad, 10, -1).has_value());
}

}  // namespace
}  // namespace dm
