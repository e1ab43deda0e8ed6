#include "detection/finder_pass/line_geometry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/support/gray_frame.h"

#include "detection/finder_pass/slope_tables.h"
#include "tests/support/printers.h"

namespace dm {
namespace {

constexpr uint8_t kDark = 20;

// A light (200) test image with threshold 100.
using Canvas = test::GrayFrame;

TEST(SlopeTables, HoldTheTellingEntries) {
    struct Entry {
        int index;
        int32_t value;
    };
    const Entry tanEntries[] = {{1, 1147},   {10, 11554},    {44, 63288},   {45, 65536},
                                {46, 67863}, {90, 65536000}, {135, -65536}, {179, -1147}};
    const Entry cotEntries[] = {{0, 65536000}, {1, 3754557}, {44, 67862}, {45, 65536},
                                {89, 1146},    {90, 0},      {91, -1146}, {179, -3754544}};
    for (const auto& [k, v] : tanEntries)
        EXPECT_EQ(TanTable[k], v) << "TanTable[" << k << "]";
    for (const auto& [k, v] : cotEntries)
        EXPECT_EQ(CotTable[k], v) << "CotTable[" << k << "]";
}

TEST(StepAlongLine, DiagonalsMoveBothCoordinatesByTheDistance) {
    Canvas c(40, 40);
    struct Case {
        int angle;
        Point expected;
    };
    for (const auto& [angle, expected] : {Case{45, {13, 13}}, {225, {13, 13}}, {135, {13, 7}}}) {
        Point p{10, 10};
        LineStepper stepper{&p, angle, 1};
        EXPECT_TRUE(stepAlongLine(c.image, stepper, 3)) << "angle " << angle;
        EXPECT_EQ(p, expected) << "angle " << angle;
    }
    // A steep line advances along y; negative offsets round half up, not toward zero.
    Point p{10, 10};
    LineStepper stepper{&p, 80, -1};
    EXPECT_TRUE(stepAlongLine(c.image, stepper, 5));
    EXPECT_EQ(p, (Point{9, 5}));
}

TEST(StepAlongLine, AnswersFalseOnceThePointLeavesTheInsideButStillMovesIt) {
    Canvas c(40, 30);
    Point p{38, 10};
    LineStepper stepper{&p, 0, 1};
    EXPECT_FALSE(stepAlongLine(c.image, stepper, 1));
    EXPECT_EQ(p, (Point{39, 10}));
    Point q{10, 2};
    LineStepper up{&q, 90, -1};
    EXPECT_TRUE(stepAlongLine(c.image, up, 1));
    EXPECT_FALSE(stepAlongLine(c.image, up, 1));
    EXPECT_EQ(q, (Point{10, 0}));
}

TEST(CrossRun, CountsTheStartPixelOnce) {
    Canvas c(30, 30);
    c.set(10, 10, kDark);
    Segment run = crossRun(c.image, {10, 10}, 0);
    EXPECT_EQ(run.length, 1);
    EXPECT_EQ(run.p0, (Point{10, 10}));
    EXPECT_EQ(run.p1, (Point{10, 10}));

    run = crossRun(c.image, {5, 5}, 0);
    EXPECT_EQ(run.length, 0);
    EXPECT_EQ(run.p0, (Point{5, 5}));
    EXPECT_EQ(run.p1, (Point{5, 5}));

    // A vertical run of 7 through the start: p0 is the +y end, p1 the -y end.
    for (int y = 7; y <= 13; ++y)
        c.set(20, y, kDark);
    run = crossRun(c.image, {20, 10}, 90);
    EXPECT_EQ(run.length, 7);
    EXPECT_EQ(run.p0, (Point{20, 13}));
    EXPECT_EQ(run.p1, (Point{20, 7}));
    EXPECT_EQ(run.angle, 90);
}

TEST(CrossRun, StopsAtTheInsideBorder) {
    Canvas c(20, 20);
    for (int x = 0; x < 20; ++x)
        c.set(x, 10, kDark);
    const Segment run = crossRun(c.image, {10, 10}, 0);
    EXPECT_EQ(run.length, 18);  // columns 1..18
    EXPECT_EQ(run.p0, (Point{18, 10}));
    EXPECT_EQ(run.p1, (Point{1, 10}));
}

TEST(RunFrom, CountsFromTheStartAndLeavesThePointInPlace) {
    Canvas c(30, 30);
    for (int x = 10; x <= 14; ++x)
        c.set(x, 10, kDark);
    Point p{10, 10};
    EXPECT_EQ(runFrom(c.image, LineStepper{&p, 0, 1}), 5);
    EXPECT_EQ(runFrom(c.image, LineStepper{&p, 0, -1}), 1);
    EXPECT_EQ(p, (Point{10, 10}));
    Point light{5, 5};
    EXPECT_EQ(runFrom(c.image, LineStepper{&light, 0, 1}), 0);
    EXPECT_EQ(light, (Point{5, 5}));
}

TEST(CountDarkOnLine, RejectsEndsOutsideTheInsideArea) {
    Canvas c(30, 20);
    EXPECT_EQ(countDarkOnLine(c.image, 0, {5, 0}, {10, 0}), -1);
    EXPECT_EQ(countDarkOnLine(c.image, 90, {29, 5}, {29, 10}), -1);
    EXPECT_EQ(countDarkOnLine(c.image, 0, {5, 5}, {10, 5}), 0);
}

TEST(CountDarkOnLine, CountsOnlyPixelsOfTheLineWithinTheBox) {
    Canvas c(40, 40);
    for (int i = 0; i < 40; ++i)
        c.set(i, i, kDark);  // the main diagonal
    c.set(12, 20, kDark);    // off the line
    EXPECT_EQ(countDarkOnLine(c.image, 45, {5, 5}, {15, 15}), 11);
    // The anti-diagonal through the box crosses the diagonal once.
    EXPECT_EQ(countDarkOnLine(c.image, 135, {20, 20}, {10, 30}), 1);
    // Part of the line lies beyond the box and is not counted.
    EXPECT_EQ(countDarkOnLine(c.image, 45, {5, 5}, {15, 8}), 4);
}

TEST(TrimSegment, MovesBothEndsInward) {
    Canvas c(60, 60);
    // Steep segment with equal y at both ends: p0 moves by +n and p1 by -n along y.
    Segment s{{20, 30}, {24, 30}, 90, 0};
    EXPECT_TRUE(trimSegment(c.image, s, 2));
    EXPECT_EQ(s.p0, (Point{20, 32}));
    EXPECT_EQ(s.p1, (Point{24, 28}));
    // Shallow segment whose p0 lies right of p1: p0 moves left, p1 right.
    Segment h{{40, 10}, {10, 10}, 0, 0};
    EXPECT_TRUE(trimSegment(c.image, h, 2));
    EXPECT_EQ(h.p0, (Point{38, 10}));
    EXPECT_EQ(h.p1, (Point{12, 10}));
    // Trimming past the other end can push an end out; the moves made so far stay.
    Segment shortOne{{5, 10}, {5, 15}, 90, 0};
    EXPECT_FALSE(trimSegment(c.image, shortOne, 40));
    EXPECT_EQ(shortOne.p0, (Point{5, 50}));
    EXPECT_EQ(shortOne.p1, (Point{5, -25}));
}

TEST(ShiftSegment, MovesAlongThePerpendicularAndFailsAtTheBorder) {
    Canvas c(60, 60);
    Segment s{{40, 20}, {10, 20}, 0, 30};
    EXPECT_TRUE(shiftSegment(c.image, s, 5));
    EXPECT_EQ(s.p0, (Point{40, 25}));
    EXPECT_EQ(s.p1, (Point{10, 25}));
    Segment v{{20, 50}, {20, 10}, 170, 30};  // perpendicular 80: steep
    EXPECT_TRUE(shiftSegment(c.image, v, -3));
    EXPECT_EQ(v.p0.y, 47);
    Segment border{{40, 3}, {10, 3}, 0, 30};
    EXPECT_FALSE(shiftSegment(c.image, border, -3));
}

TEST(SegmentAngle, FoldsIntoZeroTo179) {
    struct Case {
        Point p0;
        Point p1;
        int expected;
    };
    const Case cases[] = {{{10, 20}, {10, 50}, 90}, {{0, 0}, {10, -10}, 135},
                          {{0, 0}, {100, 1}, 1},    {{0, 0}, {1000, -7}, 0},
                          {{0, 0}, {10, 10}, 45},   {{50, 50}, {0, 0}, 45}};
    for (const auto& [p0, p1, expected] : cases) {
        Segment s{p0, p1, 77, 0};
        segmentAngle(s);
        EXPECT_EQ(s.angle, expected) << p0.x << "," << p0.y << " - " << p1.x << "," << p1.y;
    }
}

TEST(ModulesAlong, RoundsAndRefusesModuleSizesBelowOne) {
    Segment s{{}, {}, 0, 30};
    EXPECT_EQ(modulesAlong(s, 4), 8);  // 7.5 rounds up
    s.length = 29;
    EXPECT_EQ(modulesAlong(s, 4), 7);
    EXPECT_EQ(modulesAlong(s, 0), 0);
    EXPECT_EQ(modulesAlong(s, -3), 0);
}

TEST(BestLineThrough, LightStartGivesNothingAndIsolatedPixelCountsTwice) {
    Canvas c(30, 30);
    EXPECT_FALSE(bestLineThrough(c.image, {10, 10}, 45, 135, 2));
    c.set(10, 10, kDark);
    const auto line = bestLineThrough(c.image, {10, 10}, 45, 135, 2);
    ASSERT_TRUE(line);
    EXPECT_EQ(line->length, 2);
    EXPECT_EQ(line->angle, 45);  // equal counts keep the first angle
    EXPECT_EQ(line->p0, (Point{10, 10}));
    EXPECT_EQ(line->p1, (Point{10, 10}));
}

TEST(BestLineThrough, FindsTheLongestLineAndItsEnds) {
    Canvas c(80, 80);
    for (int i = 10; i <= 40; ++i)
        c.set(i, 70 - i, kDark);  // the 135 degree line
    for (int x = 20; x <= 30; ++x)
        c.set(x, 45, kDark);  // a shorter shallow run through (25, 45)
    const auto line = bestLineThrough(c.image, {25, 45}, 135, 225, 2);
    ASSERT_TRUE(line);
    EXPECT_EQ(line->angle, 135);
    EXPECT_EQ(line->length, 32);  // 31 pixels, the start counted twice
    EXPECT_EQ(line->p0, (Point{40, 30}));
    EXPECT_EQ(line->p1, (Point{10, 60}));
}

TEST(FollowEdge, WalksZeroPixelsToTheBorderOfItsClass) {
    Canvas c(30, 30);
    for (int x = 0; x < 30; ++x)
        c.set(x, 10, 0);
    Point p{5, 10};
    LineStepper stepper{&p, 10, 1};  // horizontal class runs up to the last column
    EXPECT_EQ(followEdge(c.image, stepper), 24);
    EXPECT_EQ(p, (Point{29, 10}));
    // Angles of 180 or more do nothing.
    Point still{10, 10};
    LineStepper outOfRange{&still, 180, 1};
    EXPECT_EQ(followEdge(c.image, outOfRange), 0);
    EXPECT_EQ(still, (Point{10, 10}));
    // Dark pixels that are not exactly 0 stop it: dead end at once, back to the start.
    c.set(8, 10, 5);
    Point q{5, 10};
    LineStepper again{&q, 170, 1};
    EXPECT_EQ(followEdge(c.image, again), 2);
    EXPECT_EQ(q, (Point{5, 10}));
}

TEST(FollowEdge, SideNeighboursBeforeDeadEnds) {
    // Anti-diagonal class steps (-s, +s); the first side neighbour is (x + 1, y + 1).
    Canvas c(40, 40);
    c.set(20, 22, 0);
    c.set(19, 23, 0);
    c.set(18, 24, 0);
    Point p{20, 20};
    LineStepper stepper{&p, 135, 1};
    EXPECT_EQ(followEdge(c.image, stepper), 3);
    // The dead end after (18, 24) goes back two accepted steps.
    EXPECT_EQ(p, (Point{20, 22}));

    // Vertical class: first side neighbour (x + 1, y), then (x - 1, y).
    Canvas v(40, 40);
    v.set(11, 11, 0);
    v.set(10, 12, 0);
    v.set(9, 13, 0);
    v.set(11, 13, 0);
    v.set(11, 14, 0);
    Point q{10, 10};
    LineStepper down{&q, 90, 1};
    EXPECT_EQ(followEdge(v.image, down), 4);
    EXPECT_EQ(q, (Point{10, 12}));
}

// Seven modules less half a module, in half pixels: 26 pixels for 4-pixel modules.
TEST(ArmsSpanSevenModules, AllowsHalfAModuleOnEitherArm) {
    const Point corner{10, 10};
    EXPECT_TRUE(armsSpanSevenModules(corner, {36, 10}, {10, 36}, 4));
    EXPECT_FALSE(armsSpanSevenModules(corner, {35, 10}, {10, 36}, 4));
    EXPECT_FALSE(armsSpanSevenModules(corner, {36, 10}, {10, 35}, 4));
    // Diagonal arms round their half-pixel length: 50.9 fails, 52.3 passes.
    EXPECT_FALSE(armsSpanSevenModules(corner, {28, 28}, {-8, 28}, 4));
    EXPECT_TRUE(armsSpanSevenModules(corner, {29, 28}, {-9, 28}, 4));
    // A corner that slid onto an arm's end.
    EXPECT_FALSE(armsSpanSevenModules(corner, {12, 10}, {10, 90}, 3));
}

}  // namespace
}  // namespace dm
