#include "detection/finder_pass/symbol_measurement.h"

#include <algorithm>
#include <new>
#include <optional>

#include "detection/finder_pass/finder_normalisation.h"
#include "detection/finder_pass/multi_region_sampling.h"
#include "detection/finder_pass/region_sampling.h"
#include "detection/finder_pass/sampling_internals.h"
#include "symbology/symbol_size.h"

namespace dm {
namespace {

int32_t recentreMark(LineStepper& stepper, int32_t half, const GrayImage& image);

// One far timing line: the far row walks along u and looks across in v, the far column the
// other way round. Returns the number of marks, or nothing when a module cannot be centred.
std::optional<int32_t> walkTimingLine(const GrayImage& image, const SearchSeed& seed,
                                      std::array<Point, kMaxFarMarks>& marks, float thickness,
                                      bool alongU) {
    auto along = [alongU](Point& p) -> int32_t& { return alongU ? p.x : p.y; };
    auto across = [alongU](Point& p) -> int32_t& { return alongU ? p.y : p.x; };

    Point cur{seed.x, seed.y};
    marks[0] = cur;
    int32_t count = 1;
    if (seed.radius <= 0)
        return count;

    LineStepper stepper{&cur, alongU ? 90 : 0, 1};
    const auto half = static_cast<int32_t>(thickness * 0.5f);
    const int32_t limit = along(cur) + seed.radius;
    auto darkBeside = [&](int32_t offset) {
        Point p = cur;
        across(p) += offset;
        return isDarkAt(image, p);
    };

    bool inGap = false;  // the start is the dark end of the finder arm
    for (int32_t i = 0; i < seed.radius; ++i) {
        along(cur) += 1;
        if (along(cur) > limit)
            break;
        if (!inGap) {
            // A module ends where the line and both its neighbours are light.
            if (!darkBeside(0) && !darkBeside(-1) && !darkBeside(1))
                inGap = true;
            continue;
        }
        // The next module, on the line or one position beside it.
        if (!darkBeside(0)) {
            if (darkBeside(-1)) {
                across(cur) -= 1;
            } else if (darkBeside(1)) {
                across(cur) += 1;
            } else {
                continue;
            }
        }
        if (recentreMark(stepper, half, image) == 0)
            return std::nullopt;
        if (count >= 2) {
            // Keep the spacing plausible: neither half nor twice the previous one.
            const int32_t gapPrev = along(marks[count - 1]) - along(marks[count - 2]);
            const int32_t gapNew = along(cur) - along(marks[count - 1]);
            if (!(gapPrev <= 2 * gapNew && 2 * gapPrev >= gapNew))
                continue;
        }
        marks[count++] = cur;
        inGap = false;
        if (count == kMaxFarMarks)
            break;  // more than any symbol has: stop, the size check fails
    }
    return count;
}

bool runSampler(DecodeStatus& status, TimingRecord& timing, DetectionContext& context) {
    switch (regionLayout(context.sizeIndex)) {
        case RegionLayout::SingleSquare:
        case RegionLayout::SingleRectangle:
        case RegionLayout::DoubleRectangle:
        case RegionLayout::RectangleRow:
            return sampleSingleRegion(status, timing, context);
        case RegionLayout::Square2x2:
            return sampleRegions2x2(status, timing, context);
        case RegionLayout::Square4x4:
            return sampleRegions4x4(status, timing, context);
        case RegionLayout::Square6x6:
            return sampleRegions6x6(status, timing, context);
    }
    status = DecodeStatus::GridLost;
    return false;
}

// Dark run through the point along u (angle 0) or v (angle 90), at most 9 positions each way.
Segment gridCrossRun(const GrayImage& image, Point point, int32_t angle) {
    const bool alongU = angle != 90;
    auto moved = [&](int32_t i) {
        return alongU ? Point{point.x + i, point.y} : Point{point.x, point.y + i};
    };
    Segment seg;
    seg.p0 = point;
    seg.p1 = point;
    seg.angle = angle;
    for (int32_t i = 0; i <= 9; ++i) {
        const Point p = moved(i);
        if ((alongU ? p.x > gridWalkWidth(image) - 1 : p.y > gridWalkHeight(image) - 1) ||
            !isDarkAt(image, p))
            break;
        seg.p0 = p;
        ++seg.length;
    }
    for (int32_t i = 1; i <= 9; ++i) {
        const Point p = moved(-i);
        if ((alongU ? p.x : p.y) < 0 || !isDarkAt(image, p))
            break;
        seg.p1 = p;
        ++seg.length;
    }
    return seg;
}

// Consecutive dark positions from the stepper's point along v (angle 90) or u (angle 0).
int32_t gridRunFrom(const GrayImage& image, const LineStepper& stepper) {
    const Point start = *stepper.point;
    if (!isDarkAt(image, start))
        return 0;
    const bool alongV = stepper.angle == 90;
    int32_t count = 0;
    for (int32_t i = 0; i < gridWalkWidth(image); ++i) {
        const Point p = alongV ? Point{start.x, start.y + i} : Point{start.x + i, start.y};
        if ((alongV ? p.y > gridWalkHeight(image) - 1 : p.x > gridWalkWidth(image) - 1) ||
            !isDarkAt(image, p))
            break;
        ++count;
    }
    return count;
}

// Centres the stepper's point on its timing module and puts it half positions inside the
// outer edge. Returns the last cross-run length; 0 when the point is not on a dark module.
int32_t recentreMark(LineStepper& stepper, int32_t half, const GrayImage& image) {
    Point& point = *stepper.point;
    const int32_t perpendicular =
        stepper.angle + 90 >= 180 ? stepper.angle - 90 : stepper.angle + 90;
    const bool alongV = stepper.angle == 90;
    Segment seg = gridCrossRun(image, point, perpendicular);
    point = midpoint(seg.p0, seg.p1);
    for (int round = 0; round < 2; ++round) {
        const int32_t d = gridRunFrom(image, stepper);
        if (d == half)
            break;
        int32_t& coordinate = alongV ? point.y : point.x;
        coordinate += (d - half) * stepper.step;
        if (coordinate > (alongV ? gridWalkHeight(image) : gridWalkWidth(image)) - 1)
            break;
        seg = gridCrossRun(image, point, perpendicular);
        point = midpoint(seg.p0, seg.p1);
    }
    return seg.length;
}

// Record the dark modules of the far row (from yEnd along +u) and of the far column (from
// xEnd along +v). False when a found module cannot be centred.
bool walkFarRow(const GrayImage& image, const SearchSeed& seed, TimingRecord& record) {
    const auto marks = walkTimingLine(image, seed, record.farRowMarks, record.pitchX, true);
    if (!marks)
        return false;
    record.columnCount = 2 * *marks;
    return true;
}

bool walkFarColumn(const GrayImage& image, const SearchSeed& seed, TimingRecord& record) {
    const auto marks = walkTimingLine(image, seed, record.farColumnMarks, record.pitchY, false);
    if (!marks)
        return false;
    record.rowCount = 2 * *marks;
    return true;
}

}  // namespace

RowLine rowLine(Point a1, Point a2) {
    if (a1.x == a2.x)
        return {a1, 0, true};
    return {a1, static_cast<double>(a2.y - a1.y) / (a2.x - a1.x), false};
}

ColumnLine columnLine(Point b1, Point b2) {
    if (b1.y == b2.y)
        return {b1, 0, true};
    return {b1, static_cast<double>(b2.x - b1.x) / (b2.y - b1.y), false};
}

Point intersectLines(Point a1, Point a2, Point b1, Point b2) {
    return intersectLines(rowLine(a1, a2), columnLine(b1, b2));
}

Point intersectLines(const RowLine& a, const ColumnLine& b) {
    constexpr Point kNone{1, 1};
    if (a.degenerate || b.degenerate)
        return kNone;
    const Point a1 = a.a1;
    const Point b1 = b.b1;
    const double h = a.h;
    const double g = b.g;
    const double x = (b1.x + g * a1.y - g * h * a1.x - g * b1.y) / (1 - g * h) + 0.5;
    // Parallel lines give an infinite or undefined x; both count as no crossing.
    if (!(x > -1.0 && x < 2147483647.0))
        return kNone;
    const auto ix = static_cast<int32_t>(x);
    const double y = h * (ix - a1.x) + a1.y + 0.5;
    if (!(y > -1.0 && y < 2147483647.0))
        return kNone;
    return {ix, static_cast<int32_t>(y)};
}

void trimMarksAtCorner(TimingRecord& record) {
    const int32_t rowMarks = std::clamp(record.columnCount / 2, 0, kMaxFarMarks);
    const int32_t columnMarks = std::clamp(record.rowCount / 2, 0, kMaxFarMarks);
    // The far corner, from the first and the middle mark of each list. A list of one mark
    // has no middle; its count of 2 matches no size anyway.
    const int32_t rowMiddle = rowMarks / 2 - 1;
    const int32_t columnMiddle = columnMarks / 2 - 1;
    if (rowMiddle < 0 || columnMiddle < 0)
        return;
    const Point far = intersectLines(record.farRowMarks[0], record.farRowMarks[rowMiddle],
                                     record.farColumnMarks[0], record.farColumnMarks[columnMiddle]);
    for (int32_t k = rowMarks; k >= 1; --k) {
        if (record.farRowMarks[k - 1].x < far.x) {
            record.columnCount = 2 * k;
            break;
        }
    }
    for (int32_t k = columnMarks; k >= 1; --k) {
        if (record.farColumnMarks[k - 1].y < far.y) {
            record.rowCount = 2 * k;
            break;
        }
    }
}

bool measureSymbol(DecodeStatus& status, DetectionContext& context) {
    if (context.image == nullptr || context.image->grid == nullptr) {
        status = DecodeStatus::MissingInput;
        return false;
    }
    const GrayImage& image = *context.image;
    const SamplingGrid& grid = *image.grid;
    TimingRecord timing;

    // The finder's thickness at each arm end guides the centring of the timing modules.
    const int32_t columnThickness = gridCrossRun(image, context.yEnd, 0).length;
    timing.pitchX = static_cast<float>(columnThickness);
    if (!walkFarRow(image, {context.yEnd.x, context.yEnd.y, grid.uCount - context.yEnd.x - 2},
                    timing)) {
        status = DecodeStatus::GridLost;
        return false;
    }
    const int32_t rowThickness = gridCrossRun(image, context.xEnd, 90).length;
    timing.pitchY = static_cast<float>(rowThickness);
    if (!walkFarColumn(image, {context.xEnd.x, context.xEnd.y, grid.vCount - context.xEnd.y - 2},
                       timing)) {
        status = DecodeStatus::GridLost;
        return false;
    }
    trimMarksAtCorner(timing);

    context.sizeIndex = findSize(timing.columnCount, timing.rowCount);
    if (context.sizeIndex < 0) {
        status = DecodeStatus::NoSizeMatch;
        return false;
    }
    const SymbolSize& size = symbolSize(context.sizeIndex);
    const int32_t rows = size.symbolRows;
    const int32_t columns = size.symbolCols;
    timing.pitchX =
        static_cast<float>(context.xEnd.x - context.corner.x) / static_cast<float>(columns - 1);
    timing.pitchY =
        static_cast<float>(context.yEnd.y - context.corner.y) / static_cast<float>(rows - 1);
    context.moduleSize = std::min(columnThickness, rowThickness);

    context.matrixBytes = rows * columns;
    try {
        context.moduleMatrix.assign(static_cast<size_t>(context.matrixBytes), 0);
    } catch (const std::bad_alloc&) {
        status = DecodeStatus::OutOfMemory;
        return false;
    }
    if (!runSampler(status, timing, context)) {
        context.moduleMatrix.clear();
        context.moduleMatrix.shrink_to_fit();
        return false;
    }
    return true;
}

}  // namespace dm
