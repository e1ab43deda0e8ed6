#include "detection/finder_pass/line_geometry.h"

#include <algorithm>
#include <cmath>

#include "detection/finder_pass/slope_tables.h"

namespace dm {
namespace {

// Table row of a line: angles of 180 and above share the row of the angle minus 180.
int32_t tableIndex(int32_t angle) {
    return ((angle % 180) + 180) % 180;
}

// Steep lines are walked along y. stepAlongLine and bestLineThrough count 225 as steep,
// countDarkOnLine and trimSegment as shallow; both give the same pixels at 225.
bool isSteep(int32_t angle) {
    return (angle >= 46 && angle <= 134) || (angle >= 225 && angle <= 314);
}
bool isSteepFrom226(int32_t angle) {
    return (angle >= 46 && angle <= 134) || (angle >= 226 && angle <= 314);
}
bool isShallow(int32_t angle) {
    return (angle >= 0 && angle <= 45) || (angle >= 135 && angle <= 224) ||
           (angle >= 315 && angle <= 359);
}

// Minor-axis offset for distance d along the major axis: d x slope rounded half upward.
// Widened so that no frame size can overflow; within 32 bits the result is the same.
int32_t offset(int32_t d, int32_t slope) {
    return static_cast<int32_t>((int64_t{d} * slope + 32768) >> 16);
}

bool inImage(const GrayImage& image, int32_t x, int32_t y) {
    return x >= 0 && y >= 0 && x < image.width && y < image.height;
}

// Dark pixel test; a position off the image counts as light.
bool isDark(const GrayImage& image, int32_t x, int32_t y) {
    return inImage(image, x, y) && isDarkPixel(image, x, y);
}

bool isDark(const GrayImage& image, Point p) {
    return isDark(image, p.x, p.y);
}

// Zero-valued pixel test for the edge follower; a position off the image is not zero.
bool isZero(const GrayImage& image, int32_t x, int32_t y) {
    return inImage(image, x, y) && grayAt(image, x, y) == 0;
}

// A line through p that bestLineThrough walks (see darkRun): its angle's table entry is
// looked up once for the whole walk.
struct LineWalk {
    Point p;
    bool steep;
    int32_t slope;

    LineWalk(Point from, int32_t angle)
        : p(from),
          steep(isSteep(angle)),
          slope(steep ? CotTable[tableIndex(angle)] : TanTable[tableIndex(angle)]) {}
};

// Whether the point lies in 1..width-2 x 1..height-2.
bool isInside(const GrayImage& image, Point p) {
    return p.x >= 1 && p.x <= image.width - 2 && p.y >= 1 && p.y <= image.height - 2;
}

}  // namespace

bool stepAlongLine(const GrayImage& image, LineStepper& stepper, int32_t distance) {
    Point& p = *stepper.point;
    const int32_t d = distance * stepper.step;
    const int32_t a = stepper.angle;
    if (isShallow(a)) {
        p.x += d;
        p.y += offset(d, TanTable[tableIndex(a)]);
    } else if (isSteep(a)) {
        p.y += d;
        p.x += offset(d, CotTable[tableIndex(a)]);
    }
    return isInside(image, p);
}

Segment crossRun(const GrayImage& image, Point point, int32_t angle) {
    Segment run{point, point, angle, 0};
    Point scratch;
    LineStepper stepper{&scratch, angle, 1};
    for (int32_t i = 0; i < image.width; ++i) {
        scratch = point;
        if (!stepAlongLine(image, stepper, i) || !isDark(image, scratch))
            break;
        ++run.length;
        run.p0 = scratch;
    }
    stepper.step = -1;
    for (int32_t i = 1; i < image.width; ++i) {
        scratch = point;
        if (!stepAlongLine(image, stepper, i) || !isDark(image, scratch))
            break;
        ++run.length;
        run.p1 = scratch;
    }
    return run;
}

int32_t runFrom(const GrayImage& image, const LineStepper& stepper) {
    const Point start = *stepper.point;
    if (!isDark(image, start))
        return 0;
    Point scratch;
    LineStepper walker{&scratch, stepper.angle, stepper.step};
    int32_t count = 0;
    for (int32_t i = 0; i < image.width; ++i) {
        scratch = start;
        if (!stepAlongLine(image, walker, i) || !isDark(image, scratch))
            break;
        ++count;
    }
    return count;
}

int32_t countDarkOnLine(const GrayImage& image, int32_t angle, Point a, Point b) {
    if (!isInside(image, a) || !isInside(image, b))
        return -1;
    const int32_t xMin = std::min(a.x, b.x);
    const int32_t xMax = std::max(a.x, b.x);
    const int32_t yMin = std::min(a.y, b.y);
    const int32_t yMax = std::max(a.y, b.y);
    int32_t count = 0;
    if (isSteepFrom226(angle)) {
        const int32_t slope = CotTable[tableIndex(angle)];
        for (int32_t y = yMin; y <= yMax; ++y) {
            const int32_t x = a.x + offset(y - a.y, slope);
            if (x >= xMin && x <= xMax && isDark(image, x, y))
                ++count;
        }
    } else {
        const int32_t slope = TanTable[tableIndex(angle)];
        for (int32_t x = xMin; x <= xMax; ++x) {
            const int32_t y = a.y + offset(x - a.x, slope);
            if (y >= yMin && y <= yMax && isDark(image, x, y))
                ++count;
        }
    }
    return count;
}

bool trimSegment(const GrayImage& image, Segment& segment, int32_t amount) {
    LineStepper atP0{&segment.p0, segment.angle, amount};
    LineStepper atP1{&segment.p1, segment.angle, amount};
    const bool p0Beyond =
        isSteepFrom226(segment.angle) ? segment.p0.y > segment.p1.y : segment.p0.x > segment.p1.x;
    const int32_t toward = p0Beyond ? -1 : 1;
    if (!stepAlongLine(image, atP0, toward))
        return false;
    return stepAlongLine(image, atP1, -toward);
}

bool shiftSegment(const GrayImage& image, Segment& segment, int32_t distance) {
    const int32_t perpendicular =
        segment.angle + 90 <= 179 ? segment.angle + 90 : segment.angle - 90;
    LineStepper atP0{&segment.p0, perpendicular, 1};
    if (!stepAlongLine(image, atP0, distance))
        return false;
    LineStepper atP1{&segment.p1, perpendicular, 1};
    return stepAlongLine(image, atP1, distance);
}

void segmentAngle(Segment& segment) {
    if (segment.p0.x == segment.p1.x) {
        segment.angle = 90;
        return;
    }
    // Degrees per radian taken as 180 / 3.1416.
    constexpr double kDegreesPerRadian = 57.29564553093965;
    const double slope = static_cast<double>(segment.p1.y - segment.p0.y) /
                         static_cast<double>(segment.p1.x - segment.p0.x);
    double v = std::atan(slope) * kDegreesPerRadian;
    if (v < 0)
        v += 180;
    segment.angle = static_cast<int32_t>(v + 0.5) % 180;
}

int32_t modulesAlong(const Segment& segment, int32_t moduleSize) {
    if (moduleSize < 1)
        return 0;
    return static_cast<int32_t>(static_cast<double>(segment.length) / moduleSize + 0.5);
}

bool armsSpanSevenModules(Point corner, Point xEnd, Point yEnd, int32_t moduleSize) {
    const int64_t m = 2 * int64_t{moduleSize};
    const auto shortest = static_cast<double>(7 * m - m / 2);
    auto halfPixelLength = [](Point p, Point q) {
        const double dx = 2.0 * (static_cast<double>(q.x) - p.x);
        const double dy = 2.0 * (static_cast<double>(q.y) - p.y);
        return std::floor(std::sqrt(dx * dx + dy * dy) + 0.5);
    };
    return halfPixelLength(corner, xEnd) >= shortest && halfPixelLength(corner, yEnd) >= shortest;
}

namespace {

// Dark pixels counted along the walk from its start, one pixel per step of sense (1 or -1) along
// the major axis (y when Steep), at most limit of them, while they lie in 1..xMax x 1..yMax; the
// last one counted goes to end. The minor-axis offset is stepped on as it is computed for a
// single position (d x slope + 1/2 in 16-bit fixed point); the major axis's bounds shorten the
// walk before it starts, so dark() sees only positions inside the image.
template <bool Steep, typename Dark>
int32_t darkRun(const LineWalk& walk, int32_t sense, int32_t limit, int32_t xMax, int32_t yMax,
                const Dark& dark, Point& end) {
    const int32_t major = Steep ? walk.p.y : walk.p.x;
    const int32_t minor = Steep ? walk.p.x : walk.p.y;
    const int32_t majorMax = Steep ? yMax : xMax;
    const int32_t minorMax = Steep ? xMax : yMax;
    if (major < 1 || major > majorMax)
        return 0;
    limit = std::min(limit, sense > 0 ? majorMax - major + 1 : major);
    const int64_t step = int64_t{sense} * walk.slope;
    int64_t acc = 32768;
    int32_t count = 0;
    for (int32_t k = 0; k < limit; ++k, acc += step) {
        const int32_t along = major + k * sense;
        const int32_t across = minor + static_cast<int32_t>(acc >> 16);
        if (across < 1 || across > minorMax)
            break;
        const int32_t x = Steep ? across : along;
        const int32_t y = Steep ? along : across;
        if (!dark(x, y))
            break;
        ++count;
        end = {x, y};
    }
    return count;
}

}  // namespace

std::optional<Segment> bestLineThrough(const GrayImage& image, Point point, int32_t fromAngle,
                                       int32_t toAngle, int32_t angleStep) {
    if (!isDark(image, point))
        return std::nullopt;
    const int32_t w = image.width;
    const int32_t h = image.height;
    Segment best{point, point, fromAngle, 0};
    // Like the walks themselves, the ends carry over from one angle to the next. The pixel test
    // is isDarkPixel's with the image's pixel format chosen once per call, not per pixel.
    Point forwardEnd = point;
    Point backwardEnd = point;
    auto search = [&](const auto& dark) {
        for (int32_t a = fromAngle; a < toAngle; a += std::max(angleStep, 1)) {
            const LineWalk walk(point, a);
            // Forward up to the last column, backward from the start pixel again (it counts
            // twice) down to the second.
            const auto run =
                walk.steep ? darkRun<true, decltype(dark)> : darkRun<false, decltype(dark)>;
            const int32_t count = run(walk, 1, w, w - 1, h - 2, dark, forwardEnd) +
                                  run(walk, -1, w, w - 2, h - 2, dark, backwardEnd);
            if (count > best.length)
                best = {forwardEnd, backwardEnd, a, count};
        }
    };
    const uint8_t* pixels = image.pixels;
    const int32_t* rows = image.rowOffsets;
    if (image.bytesPerPixel == 1) {
        const uint8_t threshold = image.threshold;
        search([&](int32_t x, int32_t y) { return pixels[rows[y] + x] <= threshold; });
    } else {
        const uint32_t limit = 100u * (image.threshold + 1u);
        const ptrdiff_t bpp = image.bytesPerPixel;
        search([&](int32_t x, int32_t y) {
            const uint8_t* p = pixels + rows[y] + x * bpp;
            return 59u * p[1] + 30u * p[2] + 11u * p[0] < limit;
        });
    }
    return best;
}

int32_t followEdge(const GrayImage& image, LineStepper& stepper) {
    const int32_t a = stepper.angle;
    // Only the sense of the step matters: the walker moves one pixel at a time.
    const int32_t s = (stepper.step > 0) - (stepper.step < 0);
    if (a < 0 || a >= 180 || s == 0)
        return 0;

    struct Offset {
        int32_t dx;
        int32_t dy;
    };
    Offset step;
    Offset side1;
    Offset side2;
    int32_t xLimit = image.width - 2;
    if (a <= 22 || a >= 158) {
        step = {s, 0};
        side1 = {0, 1};
        side2 = {0, -1};
        xLimit = image.width - 1;
    } else if (a <= 67) {
        step = {s, s};
        side1 = {-1, 1};
        side2 = {1, -1};
    } else if (a <= 111) {
        step = {0, s};
        side1 = {1, 0};
        side2 = {-1, 0};
    } else {
        step = {-s, s};
        side1 = {1, 1};
        side2 = {-1, -1};
    }

    Point current = *stepper.point;
    Point previous = current;
    Point oldest = current;
    int32_t x = current.x;
    int32_t y = current.y;
    int32_t count = 0;
    while (1 < x && y > 1 && y < image.height - 2 && x < xLimit) {
        x += step.dx;
        y += step.dy;
        if (!isZero(image, x, y)) {
            if (isZero(image, x + side1.dx, y + side1.dy)) {
                x += side1.dx;
                y += side1.dy;
            } else if (isZero(image, x + side2.dx, y + side2.dy)) {
                x += side2.dx;
                y += side2.dy;
            } else {
                x = oldest.x;
                y = oldest.y;
                break;
            }
        }
        oldest = previous;
        previous = current;
        current = {x, y};
        ++count;
    }
    *stepper.point = {x, y};
    return count;
}

}  // namespace dm
