#include "detection/finder_pass/multi_region_sampling.h"

#include <algorithm>
#include <new>
#include <span>
#include <vector>

#include "detection/finder_pass/finder_normalisation.h"
#include "detection/finder_pass/region_sampling.h"

namespace dm {
namespace {

int32_t nearestDarkBelow(const GrayImage& image, Point& point);
int32_t nearestDarkRight(const GrayImage& image, Point& point);
bool recentreColumnGap(Point& point, int32_t half, const GrayImage& image);
bool recentreRowGap(Point& point, int32_t half, const GrayImage& image);
bool traceInnerColumn(const GrayImage& image, int32_t listIndex, const SearchSeed& seed,
                      TimingRecord& timing);
bool traceInnerRow(const GrayImage& image, int32_t listIndex, const SearchSeed& seed,
                   TimingRecord& timing);

bool append(MarkList& list, Point mark) {
    if (list.count < 0 || list.count >= static_cast<int32_t>(list.points.size()))
        return false;
    list.points[static_cast<size_t>(list.count++)] = mark;
    return true;
}

std::span<const Point> marksOf(const MarkList& list) {
    const auto count =
        std::clamp<size_t>(static_cast<size_t>(std::max(list.count, 0)), 0, list.points.size());
    return std::span<const Point>(list.points).first(count);
}

// An inner row walks toward -u and looks across in v; an inner column walks toward -v and
// looks across in u. Both start in a light module and end with the dark module at index 0.
bool traceInnerLine(const GrayImage& image, const SearchSeed& seed, MarkList& list, int32_t half,
                    int32_t maxGaps, bool isRow, bool gapsBeside = true) {
    auto along = [isRow](Point& p) -> int32_t& { return isRow ? p.x : p.y; };
    auto across = [isRow](Point& p) -> int32_t& { return isRow ? p.y : p.x; };
    auto recentre = [&](Point& p) {
        return isRow ? recentreRowGap(p, half, image) : recentreColumnGap(p, half, image);
    };

    list.count = 0;
    Point cur{seed.x, seed.y};
    Point q = cur;  // the last gap
    Point r = cur;  // the gap before it
    const int32_t start = along(cur);
    auto darkBeside = [&](int32_t offset) {
        Point p = cur;
        across(p) += offset;
        return isDarkAt(image, p);
    };

    int32_t found = 0;
    bool inDark = false;  // the seed is a light module
    for (int32_t i = 0; i < seed.radius; ++i) {
        along(cur) -= 1;
        if (along(cur) < start - seed.radius)
            break;
        bool gap = false;
        if (inDark) {
            if (!darkBeside(0)) {
                gap = true;
            } else if (gapsBeside && !darkBeside(-1)) {
                across(cur) -= 1;
                gap = true;
            } else if (gapsBeside && !darkBeside(1)) {
                across(cur) += 1;
                gap = true;
            }
        } else if (darkBeside(0) && darkBeside(-1) && darkBeside(1)) {
            inDark = true;
        }
        if (gap) {
            if (!recentre(cur))
                return false;
            r = q;
            q = cur;
            // The dark module lies between this gap and the previous one.
            if (!append(list, midpoint(r, q)))
                return false;
            ++found;
            inDark = false;
        }
        if (found > maxGaps)
            break;
    }

    // The closing module at index 0: its two edges, found walking on from the last gap.
    cur = q;
    while (along(cur) > 1) {
        along(cur) -= 1;
        Point before = cur;
        along(before) -= 1;
        const bool here = isDarkAt(image, cur);
        const bool prior = isDarkAt(image, before);
        if (!here && prior)
            along(q) = along(cur) - 1;
        if (here && !prior) {
            along(r) = along(cur);
            break;
        }
    }
    Point closing = q;
    along(closing) = (along(r) + along(q)) / 2;
    return append(list, closing);
}

// Moves a trace seed across its line until it lies half positions before the solid line
// that follows (below an inner row, right of an inner column), as the gap re-centring does.
void alignSeed(const GrayImage& image, SearchSeed& seed, int32_t half, bool isRow) {
    for (int round = 0; round < 3; ++round) {
        Point p{seed.x, seed.y};
        const int32_t d = isRow ? nearestDarkBelow(image, p) : nearestDarkRight(image, p);
        if (d == half)
            return;
        (isRow ? seed.y : seed.x) += d - half;
    }
}

// Traces every inner row and column of a k x k layout into the timing record's inner mark lists
// (which must be allocated), checks their mark counts and puts the marks in order from the
// finder side. Line t crosses the far column between marks t*q - 1 and t*q, q being the dark
// modules per region side.
bool traceInnerLinesSquare(DecodeStatus& status, TimingRecord& timing,
                           const DetectionContext& context, int32_t k) {
    const int32_t lines = k - 1;
    const int32_t q = timing.rowCount / (2 * k);
    const int32_t marksAvailable =
        std::min({timing.rowCount / 2, timing.columnCount / 2, kMaxFarMarks});
    if (context.image == nullptr || lines < 1 || lines > kMaxInnerLines || q < 1 ||
        lines * q >= marksAvailable) {
        status = DecodeStatus::GridLost;
        return false;
    }
    const GrayImage& image = *context.image;
    // With 6 x 6 regions a module is only about four grid positions wide. There each seed is
    // first put at the traces' distance from the solid line that follows, that distance is
    // half a module rounded rather than truncated (the middle of the line), and a gap counts
    // only on the traced line itself: stepping beside it would drift onto the data next to it.
    const bool fine = k >= 6;
    const auto half = static_cast<int32_t>(timing.pitchY * 0.5f + (fine ? 0.5f : 0.0f));
    for (int32_t t = 1; t <= lines; ++t) {
        const Point mark = timing.farColumnMarks[t * q];
        const Point previous = timing.farColumnMarks[t * q - 1];
        SearchSeed seed{mark.x, (previous.y + mark.y) / 2, mark.x - context.corner.x};
        if (fine)
            alignSeed(image, seed, half, true);
        const bool traced = fine ? traceInnerLine(image, seed, timing.innerRowMarks[t - 1], half,
                                                  timing.columnCount / 2, true, false)
                                 : traceInnerRow(image, t - 1, seed, timing);
        if (!traced) {
            status = DecodeStatus::GridLost;
            return false;
        }
        if (timing.columnCount != 2 * timing.innerRowMarks[t - 1].count) {
            status = DecodeStatus::AlignmentMismatch;
            return false;
        }
    }
    for (int32_t t = 1; t <= lines; ++t) {
        const Point mark = timing.farRowMarks[t * q];
        const Point previous = timing.farRowMarks[t * q - 1];
        SearchSeed seed{(previous.x + mark.x) / 2, mark.y, mark.y - context.corner.y};
        if (fine)
            alignSeed(image, seed, half, false);
        const bool traced = fine ? traceInnerLine(image, seed, timing.innerColumnMarks[t - 1], half,
                                                  timing.rowCount / 2, false, false)
                                 : traceInnerColumn(image, t - 1, seed, timing);
        if (!traced) {
            status = DecodeStatus::GridLost;
            return false;
        }
        if (timing.rowCount != 2 * timing.innerColumnMarks[t - 1].count) {
            status = DecodeStatus::AlignmentMismatch;
            return false;
        }
    }
    // The walks ran from the far side; put mark m at module index 2m.
    for (int32_t t = 0; t < lines; ++t) {
        for (MarkList* list : {&timing.innerRowMarks[t], &timing.innerColumnMarks[t]}) {
            std::reverse(list->points.begin(), list->points.begin() + list->count);
        }
    }
    return true;
}

void releaseInnerLists(TimingRecord& timing) {
    for (auto* lists : {&timing.innerRowMarks, &timing.innerColumnMarks}) {
        for (MarkList& list : *lists) {
            list.points.clear();
            list.points.shrink_to_fit();
            list.count = 0;
        }
    }
}

// Releases the inner mark lists on every way out of a sampler.
class InnerListsGuard {
  public:
    explicit InnerListsGuard(TimingRecord& timing) : timing_(timing) {}
    ~InnerListsGuard() { releaseInnerLists(timing_); }
    InnerListsGuard(const InnerListsGuard&) = delete;
    InnerListsGuard& operator=(const InnerListsGuard&) = delete;

  private:
    TimingRecord& timing_;
};

// The inner lines of the 2 x 2, 4 x 4 and 6 x 6 region layouts.
bool traceInnerLines2x2(DecodeStatus& status, TimingRecord& timing,
                        const DetectionContext& context) {
    return traceInnerLinesSquare(status, timing, context, 2);
}

bool traceInnerLines4x4(DecodeStatus& status, TimingRecord& timing,
                        const DetectionContext& context) {
    return traceInnerLinesSquare(status, timing, context, 4);
}

bool traceInnerLines6x6(DecodeStatus& status, TimingRecord& timing,
                        const DetectionContext& context) {
    return traceInnerLinesSquare(status, timing, context, 6);
}

bool sampleRegionsSquare(DecodeStatus& status, TimingRecord& timing, DetectionContext& context,
                         int32_t k, bool roundOrigins) {
    InnerListsGuard guard(timing);
    const int32_t lines = k - 1;
    if (lines < 1 || lines > kMaxInnerLines || timing.rowCount < 0 || timing.columnCount < 0) {
        status = DecodeStatus::GridLost;
        return false;
    }
    try {
        for (int32_t i = 0; i < lines; ++i) {
            timing.innerRowMarks[i].points.assign(static_cast<size_t>(timing.columnCount / 2 + 8),
                                                  Point{});
        }
        for (int32_t i = 0; i < lines; ++i) {
            timing.innerColumnMarks[i].points.assign(static_cast<size_t>(timing.rowCount / 2 + 8),
                                                     Point{});
        }
    } catch (const std::bad_alloc&) {
        status = DecodeStatus::OutOfMemory;
        return false;
    }
    const bool traced = k == 2   ? traceInnerLines2x2(status, timing, context)
                        : k == 4 ? traceInnerLines4x4(status, timing, context)
                                 : traceInnerLines6x6(status, timing, context);
    if (!traced)
        return false;

    const int32_t h = timing.columnCount / (2 * k);  // dark modules per region side
    const int32_t c = 2 * h;                         // region side in modules
    const int32_t n = k * c;
    if (h < 1 || timing.rowCount != n || timing.columnCount != n ||
        context.moduleMatrix.size() != static_cast<size_t>(n) * static_cast<size_t>(n)) {
        status = DecodeStatus::GridLost;
        return false;
    }
    std::vector<uint8_t> buffer;
    try {
        buffer.assign(static_cast<size_t>(c) * static_cast<size_t>(c), 0);
    } catch (const std::bad_alloc&) {
        status = DecodeStatus::OutOfMemory;
        return false;
    }

    const std::span<const Point> farRow = std::span<const Point>(timing.farRowMarks).first(n / 2);
    const std::span<const Point> farColumn =
        std::span<const Point>(timing.farColumnMarks).first(n / 2);
    auto adjust = [roundOrigins](float v) {
        return static_cast<int32_t>(roundOrigins ? v + 0.5f : v);
    };

    for (int32_t i = 0; i < k; ++i) {
        for (int32_t j = 0; j < k; ++j) {
            // Region row i ends on inner row i + 1 (list i), region column j on inner column
            // j + 1; the last ones end on the symbol's far row and column.
            const std::span<const Point> rowLine =
                i == k - 1 ? farRow : marksOf(timing.innerRowMarks[i]);
            const std::span<const Point> columnLine =
                j == k - 1 ? farColumn : marksOf(timing.innerColumnMarks[j]);
            RegionRecord region;
            region.image = context.image;
            region.rows = c;
            region.columns = c;
            region.farRowMarks = rowLine.subspan(static_cast<size_t>(j * h));
            region.farColumnMarks = columnLine.subspan(static_cast<size_t>(i * h));
            region.modules = buffer;
            if (i == 0 && j == 0) {
                region.origin = context.corner;
            } else if (i == 0) {
                const Point m = marksOf(timing.innerColumnMarks[j - 1])[0];
                region.origin = {adjust(static_cast<float>(m.x) + timing.pitchX), m.y};
            } else if (j == 0) {
                const Point m = marksOf(timing.innerRowMarks[i - 1])[0];
                region.origin = {m.x, adjust(static_cast<float>(m.y) + timing.pitchY)};
            } else {
                region.origin = {
                    marksOf(timing.innerRowMarks[i - 1])[static_cast<size_t>(j * h)].x,
                    marksOf(timing.innerColumnMarks[j - 1])[static_cast<size_t>(i * h)].y};
            }
            if (!sampleRegion(region)) {
                status = DecodeStatus::GridLost;
                return false;
            }
            for (int32_t r = 0; r < c; ++r) {
                std::copy_n(
                    buffer.begin() + static_cast<ptrdiff_t>(r) * c, c,
                    context.moduleMatrix.begin() + static_cast<ptrdiff_t>(i * c + r) * n + j * c);
            }
        }
    }
    return true;
}

// Move the point to the first dark position in one direction, the point itself included, and
// return the distance; 0 and no move when there is none.
int32_t nearestDarkBelow(const GrayImage& image, Point& point) {
    for (int32_t y = point.y; y < gridWalkHeight(image); ++y) {
        if (isDarkAt(image, {point.x, y})) {
            const int32_t distance = y - point.y;
            point.y = y;
            return distance;
        }
    }
    return 0;
}

int32_t nearestDarkAbove(const GrayImage& image, Point& point) {
    for (int32_t y = point.y; y >= 1; --y) {
        if (isDarkAt(image, {point.x, y})) {
            const int32_t distance = point.y - y;
            point.y = y;
            return distance;
        }
    }
    return 0;
}

int32_t nearestDarkLeft(const GrayImage& image, Point& point) {
    for (int32_t x = point.x; x >= 1; --x) {
        if (isDarkAt(image, {x, point.y})) {
            const int32_t distance = point.x - x;
            point.x = x;
            return distance;
        }
    }
    return 0;
}

int32_t nearestDarkRight(const GrayImage& image, Point& point) {
    for (int32_t x = point.x; x <= gridWalkWidth(image) - 1; ++x) {
        if (isDarkAt(image, {x, point.y})) {
            const int32_t distance = x - point.x;
            point.x = x;
            return distance;
        }
    }
    return 0;
}

// Centre a light module of an inner row (column) between its dark neighbours and put it half
// positions above (left of) the solid row (column) that follows. False when the point starts
// outside the image extents.
bool recentreRowGap(Point& point, int32_t half, const GrayImage& image) {
    if (point.x < 0 || point.x > gridWalkWidth(image) - 1 || point.y < 0 ||
        point.y > gridWalkHeight(image) - 1) {
        return false;
    }
    for (int round = 0; round < 3; ++round) {
        Point left = point;
        Point right = point;
        nearestDarkLeft(image, left);
        nearestDarkRight(image, right);
        point.x = (left.x + right.x) / 2;
        Point below = point;
        const int32_t d = nearestDarkBelow(image, below);
        if (d == half)
            break;
        point.y += d - half;
    }
    return true;
}

bool recentreColumnGap(Point& point, int32_t half, const GrayImage& image) {
    if (point.x < 0 || point.x > gridWalkWidth(image) - 1 || point.y < 0 ||
        point.y > gridWalkHeight(image) - 1) {
        return false;
    }
    for (int round = 0; round < 3; ++round) {
        Point above = point;
        Point below = point;
        nearestDarkAbove(image, above);
        nearestDarkBelow(image, below);
        point.y = (above.y + below.y) / 2;
        Point right = point;
        const int32_t d = nearestDarkRight(image, right);
        if (d == half)
            break;
        point.x += d - half;
    }
    return true;
}

// Walk one inner row (toward -u) or inner column (toward -v) from the seed, the centre of its
// light module on the far column or far row, for seed.radius steps, into inner list
// listIndex. Marks come out from the far side toward the finder. False when a gap cannot be
// centred or the list is full.
bool traceInnerRow(const GrayImage& image, int32_t listIndex, const SearchSeed& seed,
                   TimingRecord& timing) {
    if (listIndex < 0 || listIndex >= kMaxInnerLines)
        return false;
    return traceInnerLine(image, seed, timing.innerRowMarks[listIndex],
                          static_cast<int32_t>(timing.pitchY * 0.5f), timing.columnCount / 2, true);
}

bool traceInnerColumn(const GrayImage& image, int32_t listIndex, const SearchSeed& seed,
                      TimingRecord& timing) {
    if (listIndex < 0 || listIndex >= kMaxInnerLines)
        return false;
    return traceInnerLine(image, seed, timing.innerColumnMarks[listIndex],
                          static_cast<int32_t>(timing.pitchY * 0.5f), timing.rowCount / 2, false);
}
}  // namespace

bool sampleRegions2x2(DecodeStatus& status, TimingRecord& timing, DetectionContext& context) {
    return sampleRegionsSquare(status, timing, context, 2, true);
}

bool sampleRegions4x4(DecodeStatus& status, TimingRecord& timing, DetectionContext& context) {
    return sampleRegionsSquare(status, timing, context, 4, false);
}

bool sampleRegions6x6(DecodeStatus& status, TimingRecord& timing, DetectionContext& context) {
    return sampleRegionsSquare(status, timing, context, 6, true);
}

}  // namespace dm
