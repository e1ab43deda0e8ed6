#include "detection/finder_pass/finder_candidate.h"

#include <utility>

#include "detection/finder_pass/finder_internals.h"

namespace dm {
namespace {

int32_t centreArmEnd(const GrayImage& image, LineStepper& stepper);
bool centreCorner(const GrayImage& image, Point& corner, int32_t firstAngle, int32_t secondAngle,
                  int32_t moduleSize);
std::optional<Segment> findSecondArm(DetectionContext& context, const Segment& first);

// Re-centring rounds at an arm end (see centreArmEnd).
constexpr int kArmEndRounds = 6;

int32_t perpendicularOf(int32_t angle) {
    return angle + 90 <= 179 ? angle + 90 : angle - 90;
}

// Sense of travel along an arm from its p1 end outward, as the edge follower wants it.
int32_t outwardStep(const Segment& arm, int32_t angle) {
    if (angle > 22 && angle < 158)
        return arm.p0.y < arm.p1.y ? 1 : -1;
    if (angle >= 0 && angle <= 22)
        return arm.p0.x < arm.p1.x ? 1 : -1;
    if (angle >= 158 && angle <= 179)
        return arm.p0.x < arm.p1.x ? 1 : -1;
    return 0;
}

// Sense of travel from one point toward another along a line of the angle (0-179).
int32_t stepToward(Point from, Point to, int32_t angle) {
    if (angle >= 46 && angle <= 134)
        return from.y < to.y ? 1 : -1;
    return from.x < to.x ? 1 : -1;
}

// Sense of travel from the point toward the shorter dark run along the angle.
int32_t stepToShorterRun(const GrayImage& image, Point& point, int32_t angle) {
    const int32_t forward = runFrom(image, LineStepper{&point, angle, 1});
    const int32_t backward = runFrom(image, LineStepper{&point, angle, -1});
    return forward <= backward ? 1 : -1;
}

}  // namespace

bool testFinderCandidate(DetectionContext& context, Point candidate, ScanDirection direction) {
    const GrayImage& image = *context.image;

    // A horizontal scan stops on a steep edge, a vertical scan on a shallow one. The fan is
    // searched in 2-degree steps, then the two whole degrees beside the best line: a line one
    // degree off a long arm drifts out of it well before its end, and the end is then placed
    // mid-arm, beside dark data modules that fool the centring.
    const bool horizontalScan =
        direction == ScanDirection::Left || direction == ScanDirection::Right;
    std::optional<Segment> found = horizontalScan ? bestLineThrough(image, candidate, 45, 135, 2)
                                                  : bestLineThrough(image, candidate, 135, 225, 2);
    if (!found)
        return false;
    Segment arm = *found;
    if (const auto beside = bestLineThrough(image, candidate, arm.angle - 1, arm.angle + 2, 2);
        beside && beside->length > arm.length) {
        arm = *beside;
    }
    // Each fan ends a degree short of the next diagonal (135 or 225 degrees), which the whole
    // degrees beside the best line do not reach: from a best line at the fan's last angle the
    // degree beyond is tried as well, and likewise before its first angle.
    const int32_t firstFanAngle = horizontalScan ? 45 : 135;
    const int32_t lastFanAngle = firstFanAngle + 88;
    if (found->angle == firstFanAngle || found->angle == lastFanAngle) {
        const int32_t beyond = found->angle == firstFanAngle ? found->angle - 2 : found->angle + 2;
        if (const auto edge = bestLineThrough(image, candidate, beyond, beyond + 1, 1);
            edge && edge->length > arm.length) {
            arm = *edge;
        }
    }

    const int32_t a = arm.angle;
    const int32_t s = outwardStep(arm, a);
    if (!trimSegment(image, arm, 2))
        return false;

    // Extend both ends along zero-valued pixels; those steps count toward the arm length.
    LineStepper edge{&arm.p1, a, s};
    arm.length += followEdge(image, edge);
    edge = {&arm.p0, a, -s};
    arm.length += followEdge(image, edge);

    segmentAngle(arm);
    if (!validateArm(arm, context))
        return false;
    context.corner = arm.p0;
    context.xEnd = arm.p1;

    LineStepper stepper{&context.xEnd, arm.angle,
                        stepToward(context.corner, context.xEnd, arm.angle)};
    if (centreArmEnd(image, stepper) == 0)
        return false;
    context.searchResult = SearchResult::FirstArm;

    const std::optional<Segment> second = findSecondArm(context, arm);
    if (!second)
        return false;
    const int32_t m2 = context.moduleSize;

    stepper = {&context.yEnd, second->angle,
               stepToward(context.corner, context.yEnd, second->angle)};
    const int32_t t2 = centreArmEnd(image, stepper);
    if (t2 == 0)
        return false;
    context.moduleSize = (m2 + t2) / 2;

    if (!centreCorner(image, context.corner, arm.angle, second->angle, context.moduleSize)) {
        return false;
    }
    context.searchResult = SearchResult::FinderFound;
    orientFinder(context);
    // A corner that slid to an arm's end leaves no L; the search goes on rather than the
    // normalisation failing on it.
    return armsSpanSevenModules(context.corner, context.xEnd, context.yEnd, context.moduleSize);
}

namespace {

// The second arm through the corner, roughly perpendicular to the first. On success corner,
// yEnd and moduleSize (the second arm's module estimate) are set.
std::optional<Segment> findSecondArm(DetectionContext& context, const Segment& first) {
    const GrayImage& image = *context.image;
    int32_t b = perpendicularOf(first.angle);
    if (b < 20)
        b += 180;

    std::optional<Segment> found = bestLineThrough(image, context.corner, b - 20, b + 20, 1);
    if (!found)
        return std::nullopt;
    Segment second = *found;

    const int32_t c = second.angle % 180;
    const int32_t s = (c > 22 && c < 158) ? (second.p0.y < second.p1.y ? 1 : -1)
                                          : (second.p0.x < second.p1.x ? 1 : -1);
    if (!trimSegment(image, second, 2))
        return std::nullopt;

    // Unlike the first arm's, these extensions do not add to the length.
    LineStepper edge{&second.p1, c, s};
    followEdge(image, edge);
    edge = {&second.p0, c, -s};
    followEdge(image, edge);

    segmentAngle(second);
    if (!validateArm(second, context, kMinSecondArmSteps, kMinSecondArmModules))
        return std::nullopt;
    context.corner = second.p0;
    context.yEnd = second.p1;
    return second;
}

// Thickness of the arm at its thinner end, which becomes p1 (the corner end becomes p0).
int32_t estimateArmModule(const GrayImage& image, Segment& arm) {
    const int32_t perpendicular = perpendicularOf(arm.angle);
    const Segment atP0 = crossRun(image, arm.p0, perpendicular);
    const Segment atP1 = crossRun(image, arm.p1, perpendicular);
    // At the corner the cross run runs along the other arm, so it is the longer one.
    if (atP0.length < atP1.length) {
        std::swap(arm.p0, arm.p1);
        return atP0.length;
    }
    return atP1.length;
}

}  // namespace

bool validateArm(Segment& arm, DetectionContext& context, int32_t minSteps, int32_t minModules) {
    const GrayImage& image = *context.image;
    if (arm.length < minSteps)
        return false;
    const int32_t m = estimateArmModule(image, arm);
    if (m < 1)
        return false;
    if (modulesAlong(arm, m) < minModules)
        return false;

    // A finder arm has the quiet zone or a row of light modules on one side: look for a
    // parallel line with fewer than m dark pixels at 0.75 to 2 module sizes.
    for (int32_t k = 3; k <= 8; ++k) {
        const int32_t d = (k * m) / 4;
        for (const int32_t side : {d, -d}) {
            Segment probe = arm;
            if (!shiftSegment(image, probe, side))
                return false;
            const int32_t c = countDarkOnLine(image, probe.angle, probe.p0, probe.p1);
            if (c >= 0 && c < m) {
                context.moduleSize = m;
                return true;
            }
        }
    }
    return false;
}

namespace {

// Moves the stepper's point (an arm end, the stepper aimed from the corner toward it) to the
// centre of the arm's last module. Returns the arm's thickness there, 0 on failure.
int32_t centreArmEnd(const GrayImage& image, LineStepper& stepper) {
    Point& point = *stepper.point;
    // A line a degree off the arm drifts out of it before the arm's end; one correction then
    // leaves the point mid-arm. Each round re-centres across the arm and runs on to its end,
    // so the point converges on the last module.
    int32_t t = 0;
    for (int round = 0; round < kArmEndRounds; ++round) {
        const Segment across = crossRun(image, point, perpendicularOf(stepper.angle));
        point = {(across.p0.x + across.p1.x) / 2, (across.p0.y + across.p1.y) / 2};
        t = across.length;
        // Leave half the thickness of dark pixels between the point and the arm's end.
        const int32_t d = runFrom(image, stepper);
        if (d == t / 2 || d == (t + 1) / 2)
            return t;
        if (!stepAlongLine(image, stepper, d - (t + 1) / 2))
            return 0;
    }
    return t;
}

// Moves the corner point onto the centre of the corner module.
bool centreCorner(const GrayImage& image, Point& corner, int32_t firstAngle, int32_t secondAngle,
                  int32_t moduleSize) {
    // Both steppers move the same point, each outward across the corner.
    Point q = corner;
    LineStepper u{&q, firstAngle, stepToShorterRun(image, q, firstAngle)};
    LineStepper v{&q, secondAngle, stepToShorterRun(image, q, secondAngle)};
    const int32_t h = (moduleSize + 1) / 2;
    for (int round = 0; round < 5; ++round) {
        const int32_t e = runFrom(image, u);
        if (e != h && !stepAlongLine(image, u, e - h))
            return false;
        const int32_t f = runFrom(image, v);
        if (f != h && !stepAlongLine(image, v, f - h))
            return false;
        if (e == h && f == h)
            break;
    }
    corner = q;
    return true;
}

}  // namespace

void orientFinder(DetectionContext& context) {
    const Point e = context.xEnd;
    const Point k = context.corner;
    const Point f = context.yEnd;
    // 64-bit so that long arms cannot overflow the product and flip its sign.
    const int64_t turn = int64_t{e.y - k.y} * (f.x - k.x) - int64_t{e.x - k.x} * (f.y - k.y);
    const int64_t fLength = int64_t{f.x - k.x} * (f.x - k.x) + int64_t{f.y - k.y} * (f.y - k.y);
    if ((turn > 0) && (fLength > 0))
        std::swap(context.xEnd, context.yEnd);
}

}  // namespace dm
