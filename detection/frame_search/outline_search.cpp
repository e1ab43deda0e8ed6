#include "detection/frame_search/outline_search.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>

#include "detection/frame_search/outline_search_internals.h"

namespace dm {
namespace {

using outline_internals::convexHull;
using outline_internals::finderThickness;
using outline_internals::fitSide;
using outline_internals::traceFarSide;

// Scan lines this many pixels apart cross every arm of 8 modules of 3 pixels (which spans at
// least 17 pixels along one axis at any rotation), with room for perspective.
constexpr int32_t kLineSpacing = 12;
// Regions given the outline test per frame; beyond it a cluttered frame is given up (a bound on
// work).
constexpr int32_t kMaxRegionsTested = 60;
// The smallest symbol (8 x 18 modules of 3 pixels seen at 45 degrees) exceeds both.
constexpr int32_t kMinRegionSide = 18;
constexpr int64_t kMinRegionPixels = 100;
constexpr uint8_t kUnvisitedDark = 1;
constexpr uint8_t kVisitedDark = 2;
// Below this a cross product or determinant is taken for zero: lines parallel, points on one
// line (far below any pixel measure).
constexpr double kDegenerate = 1e-9;
// The most modules a damaged finder's arm is taken to have lost in one gap (the L keeps 80 % of
// its modules; the smallest arm has 8).
constexpr double kLongestFinderGap = 3.5;

// The outline search's lengths are the square root of the dot product, which its measures
// were taken with (the shared length rounds through hypot).
double length(Vec2 a) {
    return std::sqrt(dot(a, a));
}

struct Region {
    int32_t x0, y0, x1, y1;  // bounding box, inclusive
    int64_t pixels = 0;
};

// Nearest whole pixel coordinate; -1 for anything outside every image (left of -0.5, beyond
// two billion, or not a number).
int32_t nearest(double v) {
    return v > -0.5 && v < 2e9 ? static_cast<int32_t>(v + 0.5) : -1;
}

bool darkAt(const BinaryFrame& f, Vec2 p) {
    const int32_t x = nearest(p.x);
    const int32_t y = nearest(p.y);
    if (x < 0 || y < 0 || x >= f.width || y >= f.height)
        return false;
    return f.dark[static_cast<size_t>(y) * f.width + x] != 0;
}

// Whether the point lies within the frame or a little beyond it (nearly parallel lines meet
// far away; a symbol's corners do not).
bool nearFrame(const BinaryFrame& f, Vec2 p) {
    constexpr double kMargin = 16;
    return p.x > -kMargin && p.y > -kMargin && p.x < f.width + kMargin && p.y < f.height + kMargin;
}

// Marks the 8-connected dark region through (x, y) visited and records its extents per row
// and per column. Each run of a row is filled whole; the rows above and below it are searched
// for runs still to fill, except along the run it was reached from (filled already).
Region fillRegion(BinaryFrame& f, OutlineSearchScratch& s, int32_t x, int32_t y) {
    const int32_t w = f.width;
    Region r{x, y, x, y, 0};
    s.seeds.clear();
    s.seeds.push_back({x, y, -1, 0, -1});
    while (!s.seeds.empty()) {
        const FillSeed seed = s.seeds.back();
        s.seeds.pop_back();
        const int32_t cy = seed.y;
        uint8_t* row = f.regionMap() + static_cast<size_t>(cy) * w;
        if (row[seed.x] != kUnvisitedDark)
            continue;
        int32_t xl = seed.x;
        while (xl > 0 && row[xl - 1] == kUnvisitedDark)
            --xl;
        int32_t xr = seed.x;
        while (xr + 1 < w && row[xr + 1] == kUnvisitedDark)
            ++xr;
        std::fill(row + xl, row + xr + 1, kVisitedDark);
        r.pixels += xr - xl + 1;
        r.x0 = std::min(r.x0, xl);
        r.x1 = std::max(r.x1, xr);
        r.y0 = std::min(r.y0, cy);
        r.y1 = std::max(r.y1, cy);
        s.rowLeft[static_cast<size_t>(cy)] = std::min(s.rowLeft[static_cast<size_t>(cy)], xl);
        s.rowRight[static_cast<size_t>(cy)] = std::max(s.rowRight[static_cast<size_t>(cy)], xr);
        for (int32_t k = xl; k <= xr; ++k) {
            s.colTop[static_cast<size_t>(k)] = std::min(s.colTop[static_cast<size_t>(k)], cy);
            s.colBottom[static_cast<size_t>(k)] = std::max(s.colBottom[static_cast<size_t>(k)], cy);
        }
        // Pushes a seed at the start of every unvisited run of row ny within [from, to].
        auto seedRuns = [&](int32_t ny, int32_t from, int32_t to) {
            const uint8_t* next = f.regionMap() + static_cast<size_t>(ny) * w;
            for (int32_t k = from; k <= to; ++k) {
                if (next[k] != kUnvisitedDark)
                    continue;
                s.seeds.push_back({k, ny, cy, xl, xr});
                while (k + 1 <= to && next[k + 1] == kUnvisitedDark)
                    ++k;
            }
        };
        const int32_t from = std::max(xl - 1, 0);
        const int32_t to = std::min(xr + 1, w - 1);
        for (const int32_t ny : {cy - 1, cy + 1}) {
            if (ny < 0 || ny >= f.height)
                continue;
            if (ny == seed.fromY) {
                seedRuns(ny, from, std::min(to, seed.fromLeft - 1));
                seedRuns(ny, std::max(from, seed.fromRight + 1), to);
            } else {
                seedRuns(ny, from, to);
            }
        }
    }
    return r;
}

// The region's outline: the outer edges of its first and last pixel on every row and column,
// ordered by x and then y as the hull wants them. Row edges lie at half pixels and column edges
// at whole ones, so the outline is counting-sorted by twice x; within a slot the edges arrive
// by rising y already. Resets the extents for the next region.
void collectOutline(const Region& r, OutlineSearchScratch& s) {
    // Slot of an edge at x: 2 (x - x0) + 1; a row's left edge at xl - 0.5 takes 2 (xl - x0),
    // its right edge at xr + 0.5 takes 2 (xr - x0) + 2.
    const auto slots = static_cast<size_t>(2 * (r.x1 - r.x0) + 3);
    std::vector<int32_t>& next = s.outlineSlots;  // first free place of each slot
    next.assign(slots + 1, 0);
    for (int32_t y = r.y0; y <= r.y1; ++y) {
        const int32_t right = s.rowRight[static_cast<size_t>(y)];
        if (right >= 0) {
            ++next[static_cast<size_t>(2 * (s.rowLeft[static_cast<size_t>(y)] - r.x0) + 1)];
            ++next[static_cast<size_t>(2 * (right - r.x0) + 3)];
        }
    }
    for (int32_t x = r.x0; x <= r.x1; ++x) {
        if (s.colBottom[static_cast<size_t>(x)] >= 0)
            next[static_cast<size_t>(2 * (x - r.x0) + 2)] += 2;
    }
    for (size_t k = 1; k <= slots; ++k)
        next[k] += next[k - 1];
    s.outline.resize(static_cast<size_t>(next[slots]));
    auto place = [&](int32_t slot, Vec2 edge) {
        s.outline[static_cast<size_t>(next[static_cast<size_t>(slot)]++)] = edge;
    };
    for (int32_t y = r.y0; y <= r.y1; ++y) {
        auto& left = s.rowLeft[static_cast<size_t>(y)];
        auto& right = s.rowRight[static_cast<size_t>(y)];
        if (right >= 0) {
            place(2 * (left - r.x0), {left - 0.5, static_cast<double>(y)});
            place(2 * (right - r.x0) + 2, {right + 0.5, static_cast<double>(y)});
        }
        left = INT32_MAX;
        right = -1;
    }
    for (int32_t x = r.x0; x <= r.x1; ++x) {
        auto& top = s.colTop[static_cast<size_t>(x)];
        auto& bottom = s.colBottom[static_cast<size_t>(x)];
        if (bottom >= 0) {
            place(2 * (x - r.x0) + 1, {static_cast<double>(x), top - 0.5});
            place(2 * (x - r.x0) + 1, {static_cast<double>(x), bottom + 0.5});
        }
        top = INT32_MAX;
        bottom = -1;
    }
}

// Share of points along the side, just inside it, that are dark.
double solidity(const BinaryFrame& f, Vec2 p, Vec2 q, Vec2 inward) {
    constexpr int kSamples = 32;
    // Depths probed inside the side, in pixels: one and a little under two, within a finder of
    // the 3-pixel modules the scan lines are spaced for; either dark counts, against a stray
    // light pixel.
    constexpr double kNearProbe = 1.0;
    constexpr double kFarProbe = 1.8;
    // A map closed over dots joins them by bridges narrower than the dots: probed also a pixel
    // short of the closing radius in, which lies within the bridges along a row of dots.
    const double closedProbe = f.closedRadius > kFarProbe ? f.closedRadius - 1.0 : kFarProbe;
    int dark = 0;
    for (int k = 0; k < kSamples; ++k) {
        const Vec2 at = p + ((k + 0.5) / kSamples) * (q - p);
        if (darkAt(f, at + kNearProbe * inward) || darkAt(f, at + kFarProbe * inward) ||
            darkAt(f, at + closedProbe * inward))
            ++dark;
    }
    return static_cast<double>(dark) / kSamples;
}

}  // namespace

void outline_internals::convexHull(OutlineSearchScratch& s) {
    const std::vector<Vec2>& p = s.outline;
    std::vector<Vec2>& h = s.hull;
    h.assign(2 * p.size() + 1, {});
    size_t k = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        while (k >= 2 && cross(h[k - 1] - h[k - 2], p[i] - h[k - 2]) <= 0)
            --k;
        h[k++] = p[i];
    }
    for (size_t i = p.size() - 1, lower = k + 1; i-- > 0;) {
        while (k >= lower && cross(h[k - 1] - h[k - 2], p[i] - h[k - 2]) <= 0)
            --k;
        h[k++] = p[i];
    }
    h.resize(k > 1 ? k - 1 : k);
}

std::optional<Line> outline_internals::fitSide(OutlineSearchScratch& s, Vec2 p, Vec2 q,
                                               Vec2 outward) {
    // The ends of the side are left out (blur rounds the corners there), and the band of
    // outline points taken narrows once the first fit has found the side. Empirical values,
    // in pixels: a pixel's rounding and a little more either way of the fitted line.
    constexpr double kEndShare = 0.08;
    constexpr double kFirstInnerBand = 1.5;
    constexpr double kInnerBand = 1.2;
    constexpr double kOuterBand = 1.2;
    constexpr int kPasses = 3;
    const Vec2 along = q - p;
    const double len2 = dot(along, along);
    Line line{p, (1.0 / std::sqrt(len2)) * along};
    double inner = kFirstInnerBand;
    bool movedOut = false;
    for (int pass = 0; pass < kPasses; ++pass) {
        s.side.clear();
        for (const Vec2& o : s.outline) {
            const double t = dot(o - p, along) / len2;
            const double off = dot(o - line.point, outward);
            if (t > kEndShare && t < 1 - kEndShare && off >= -inner && off <= kOuterBand)
                s.side.push_back(o);
        }
        // A side merged from the hull's vertices may pass a few pixels inside the outermost of
        // them (a row of round dots, their tops outward and the bridges between them inward):
        // with too few points within the band, the band moves out to the outermost point once.
        if (pass == 0 && s.side.size() < 3 && !movedOut) {
            double outermost = kOuterBand;
            for (const Vec2& o : s.outline) {
                const double t = dot(o - p, along) / len2;
                if (t > kEndShare && t < 1 - kEndShare)
                    outermost = std::max(outermost, dot(o - line.point, outward));
            }
            if (outermost > kOuterBand) {
                line.point = line.point + (outermost - kOuterBand) * outward;
                movedOut = true;
                --pass;
                continue;
            }
        }
        // Three points at least: two always lie on a line.
        const auto fitted =
            s.side.size() >= 3 ? fitLine(std::span<const Vec2>(s.side)) : std::nullopt;
        if (!fitted)
            return std::nullopt;
        line = *fitted;
        if (dot(line.direction, along) < 0)
            line.direction = -1.0 * line.direction;
        inner = kInnerBand;
    }
    return line;
}

double outline_internals::finderThickness(const BinaryFrame& f, OutlineSearchScratch& s,
                                          Vec2 corner, const std::array<Vec2, 2>& ends,
                                          const std::array<Vec2, 2>& inwards) {
    // Runs sampled per arm, each walked in half pixels up to a bound on work (larger than any
    // module a frame shows); fewer dark runs than half an arm's worth give no thickness. Where
    // the module beside the finder is light the run is the finder alone, so the lower quartile.
    constexpr int kSamples = 16;
    constexpr double kRunStep = 0.5;
    constexpr double kMaxRun = 40;
    constexpr size_t kMinRuns = kSamples / 2;
    s.runs.clear();
    for (size_t arm = 0; arm < 2; ++arm) {
        for (int k = 0; k < kSamples; ++k) {
            const Vec2 at = corner + ((k + 1.0) / (kSamples + 1)) * (ends[arm] - corner);
            double run = 0;
            while (run < kMaxRun && darkAt(f, at + (run + 0.5) * inwards[arm]))
                run += kRunStep;
            if (run > 0)
                s.runs.push_back(run);
        }
    }
    if (s.runs.size() < kMinRuns)
        return 0;
    auto quartile = s.runs.begin() + static_cast<ptrdiff_t>(s.runs.size() / 4);
    std::nth_element(s.runs.begin(), quartile, s.runs.end());
    return *quartile;
}

namespace {

// Where the solid arm from the corner toward roughEnd ends: the last dark point, half a
// module inside its edge, before a gap of half a module (at least two pixels, against a stray
// light pixel). Gaps before the rough end are crossed: the hull side spans modules of the arm
// that are missing (a damaged finder). The walk may go half the rough length and two modules
// past the rough end: a blurred arm's hull side can stop well short of it.
// With acrossGaps the arm may have lost modules beyond the hull side too (its region ends at a
// gap): gaps up to three and a half modules are crossed wherever the walk goes, and the walk
// may go three times the rough length.
Vec2 armEnd(const BinaryFrame& f, Vec2 corner, Vec2 roughEnd, Vec2 inward, double module,
            bool acrossGaps) {
    constexpr double kStep = 0.5;
    constexpr double kMinGap = 2.0;
    constexpr double kOvershootShare = 1.5;
    constexpr double kOvershootModules = 2;
    constexpr double kGapsOvershootShare = 3;
    const double roughLength = length(roughEnd - corner);
    const Vec2 dir = (1.0 / roughLength) * (roughEnd - corner);
    const Vec2 track = corner + (0.5 * module) * inward;
    const double gap = acrossGaps ? kLongestFinderGap * module : std::max(kMinGap, 0.5 * module);
    const double reach = (acrossGaps ? kGapsOvershootShare : kOvershootShare) * roughLength +
                         kOvershootModules * module;
    // Across gaps, the arm goes on only where its quiet zone goes on beside it, half a module
    // either way too: dark ground beyond the label is dark on both sides, and so is a label's
    // edge the arm's line crosses (at a slant, a little further on beside the arm).
    const Vec2 outside = corner - (0.5 * module) * inward;
    auto quietBeside = [&](double t) {
        return !darkAt(f, outside + t * dir) && !darkAt(f, outside + (t - 0.5 * module) * dir) &&
               !darkAt(f, outside + (t + 0.5 * module) * dir);
    };
    double lastDark = 0;
    for (double t = 0; t < reach && (t - lastDark <= gap || t < roughLength); t += kStep) {
        if (darkAt(f, track + t * dir) && (!acrossGaps || quietBeside(t)))
            lastDark = t;
    }
    return corner + (lastDark + 0.5) * dir;
}

// The samples of a ray (its origin plus each of offsets) that round to a pixel of the frame, as
// darkAt rounds them: one stretch of indices, since each coordinate moves one way along the ray.
struct SampleStretch {
    int32_t begin, end;
};
SampleStretch samplesOnFrame(const std::vector<Vec2>& offsets, Vec2 origin, int32_t width,
                             int32_t height) {
    const auto n = static_cast<int32_t>(offsets.size());
    // The first index from which pred holds, for a pred that turns true once and stays so.
    auto firstWhere = [n](auto pred) {
        int32_t lo = 0, hi = n;
        while (lo < hi) {
            const int32_t mid = lo + (hi - lo) / 2;
            if (pred(static_cast<size_t>(mid)))
                hi = mid;
            else
                lo = mid + 1;
        }
        return lo;
    };
    SampleStretch on{0, n};
    for (const bool alongX : {true, false}) {
        auto at = [&](size_t i) {
            return alongX ? origin.x + offsets[i].x : origin.y + offsets[i].y;
        };
        const double size = alongX ? width : height;
        auto onLowSide = [&](size_t i) { return at(i) > -0.5; };
        auto onHighSide = [&](size_t i) { return at(i) + 0.5 < size; };
        const bool rising = n == 0 || at(static_cast<size_t>(n - 1)) >= at(0);
        const int32_t begin = rising ? firstWhere(onLowSide) : firstWhere(onHighSide);
        const int32_t end = rising ? firstWhere([&](size_t i) { return !onHighSide(i); })
                                   : firstWhere([&](size_t i) { return !onLowSide(i); });
        on.begin = std::max(on.begin, begin);
        on.end = std::min(on.end, end);
    }
    return on;
}

// The far-side trace walks rays outward from the other solid side and collects edge candidates;
// a histogram per tilt then finds the line most of them lie on. Its settings, from the module
// size and the length of the solid side the rays spread along:
// Rays per module of that side: each dark module of the far side meets about four.
constexpr double kRaysPerModule = 4;
// Fewer rays leave too few candidates on a short side; more cost work without gain.
constexpr int32_t kMinRays = 12;
constexpr int32_t kMaxRays = 160;
// The rays spread a fifth beyond the side: the arm end found may fall short of the corner.
constexpr double kRaySpread = 1.2;
// Depth samples a module (at least every half pixel).
constexpr double kSamplesPerModule = 6;
constexpr double kMinDepthStep = 0.5;
// Light longer than one light module (with room for blur and the sampling) ends a dark run: a
// quiet zone's worth, or light modules inside the symbol.
constexpr double kQuietModules = 1.6;
// Depths walked: from half the solid side's length (well inside the symbol) to half again
// beyond it, plus the span (the steepest tilt) and a few modules of margin.
constexpr double kNearDepthShare = 0.5;
constexpr double kFarDepthShare = 1.5;
constexpr double kFarDepthModules = 4;
// The far side starts within 0.6 module of the solid side's end (where the arm end is found).
constexpr double kOffsetModules = 0.6;
// Offsets go into half-pixel bins, and a triangular window of this many bins each way slides
// over them; a candidate counts for a line within 1.5 pixels of it (a pixel's rounding each way
// of the edge).
constexpr double kBin = 0.5;
constexpr int32_t kReach = 3;
constexpr double kOnLine = 1.5;
// Perspective can tilt a short side of a long rectangle by 45 degrees; tilts are tried in steps
// of under a degree.
constexpr double kMaxSlope = 1.0;
constexpr double kSlopeStep = 0.015;
// A far side needs candidates from a sixth of the rays (its dark modules give them from about
// half), and at least three points for the fit.
constexpr int32_t kMinCandidateRaysShare = 6;
constexpr int32_t kMinCandidates = 3;

// One far-side trace's measures.
struct FarSideTrace {
    Vec2 base, out;
    double module;
    double reach0;  // depth the far side is expected at: the solid side's length
    double spanLength;
    Vec2 spanDir;
    int32_t rays;
    double step;       // between depth samples
    double quiet;      // light that ends a dark run
    int32_t half;      // bins each way of reach0 the far side may start in
    size_t bins;       // per tilt: 2 (half + kReach) + 1
    double halfWidth;  // depths beyond reach0 that fall into a bin, each way

    // beyond: modules past reach0 (the solid side's length) that the far side may lie at too.
    FarSideTrace(Vec2 base, Vec2 span, Vec2 out, double reach0, double module, double beyond)
        : base(base),
          out(out),
          module(module),
          reach0(reach0 + beyond / 2 * module),
          spanLength(length(span)) {
        spanDir = (1.0 / spanLength) * span;
        rays = std::clamp(static_cast<int32_t>(kRaysPerModule * spanLength / module), kMinRays,
                          kMaxRays);
        step = std::max(kMinDepthStep, module / kSamplesPerModule);
        quiet = kQuietModules * module;
        half = static_cast<int32_t>((kOffsetModules + beyond / 2) * module / kBin);
        bins = static_cast<size_t>(2 * (half + kReach) + 1);
        halfWidth = (half + kReach + 0.5) * kBin;
    }
};

// Depths sampled along every ray and their offsets from the ray's origin; the same for all rays.
void sampleDepths(const FarSideTrace& t, OutlineSearchScratch& s) {
    s.depths.clear();
    s.offsets.clear();
    const double reach = kFarDepthShare * t.reach0 + t.spanLength + kFarDepthModules * t.module;
    for (double d = kNearDepthShare * t.reach0; d < reach; d += t.step) {
        s.depths.push_back(d);
        s.offsets.push_back(d * t.out);
    }
}

// Walks ray k outward and adds (its position along the span, depth) of every dark run's end
// to s.side. A candidate can fall into the histogram only within the histogram's half width
// (and a pixel for rounding) of reach0 + slope * along, so the ray walks just the depths whose
// dark runs can end there. Where a run ends depends only on the samples after its last dark
// one, so a walk that starts inside a run finds the same end.
void walkRay(const BinaryFrame& f, const FarSideTrace& t, OutlineSearchScratch& s, int32_t k) {
    const double window = t.halfWidth + 1;
    const double along = (k + 0.5) / t.rays * kRaySpread * t.spanLength;
    const Vec2 origin = t.base + along * t.spanDir;
    const double nearDepth = t.reach0 - kMaxSlope * along - window;
    const double farDepth = t.reach0 + kMaxSlope * along + window;
    // (Plain pointers: the candidates pushed meanwhile cannot move them.)
    const double* depths = s.depths.data();
    const Vec2* offsets = s.offsets.data();
    const uint8_t* darkMap = f.dark.data();
    const auto width = static_cast<size_t>(f.width);
    const auto depthCount = static_cast<int32_t>(s.depths.size());
    auto firstAtOrBeyond = [&](double depth) {
        return static_cast<int32_t>(std::lower_bound(s.depths.begin(), s.depths.end(), depth) -
                                    s.depths.begin());
    };
    auto firstBeyond = [&](double depth) {
        return static_cast<int32_t>(std::upper_bound(s.depths.begin(), s.depths.end(), depth) -
                                    s.depths.begin());
    };
    // Candidates lie half a step beyond their run's last dark sample: the walk runs over the
    // samples from nearDepth on that lie on the frame, up to the last that may end a run within
    // farDepth, and on past it only while a run is still open.
    const SampleStretch on = samplesOnFrame(s.offsets, origin, f.width, f.height);
    const int32_t usefulEnd = std::min(on.end, firstBeyond(farDepth - t.step / 2));
    auto darkSample = [&](int32_t i) {
        const Vec2 p = origin + offsets[i];
        return darkMap[static_cast<size_t>(static_cast<int32_t>(p.y + 0.5)) * width +
                       static_cast<size_t>(static_cast<int32_t>(p.x + 0.5))] != 0;
    };
    double lastDark = -1;
    bool open = false;  // a dark run without its quiet zone yet
    int32_t i = std::max(on.begin, firstAtOrBeyond(nearDepth - t.step / 2));
    for (; i < usefulEnd; ++i) {
        if (darkSample(i)) {
            lastDark = depths[i];
            open = true;
        } else if (open && depths[i] - lastDark > t.quiet) {
            s.side.push_back({along, lastDark + t.step / 2});
            open = false;
        }
    }
    // A run still open ends at a quiet zone of light (beyond the frame all is light), unless a
    // dark sample comes first and starts a run too deep to count.
    for (; open && i < depthCount; ++i) {
        if (i < on.end && darkSample(i))
            break;
        if (depths[i] - lastDark > t.quiet) {
            s.side.push_back({along, lastDark + t.step / 2});
            open = false;
        }
    }
}

// The histograms of all tilts at once, into s.histograms (t.bins per tilt of s.slopes): a
// candidate at along falls into a bin only for tilts within the histogram's half width over
// along of its depth beyond reach0, so each candidate visits just those (and one more each
// way, against rounding).
void fillTiltHistograms(const FarSideTrace& t, OutlineSearchScratch& s) {
    s.slopes.clear();
    for (double slope = -kMaxSlope; slope <= kMaxSlope + kDegenerate; slope += kSlopeStep)
        s.slopes.push_back(slope);
    const auto slopeCount = static_cast<int32_t>(s.slopes.size());
    std::vector<int32_t>& histograms = s.histograms;
    histograms.assign(s.slopes.size() * t.bins, 0);
    auto slopeIndex = [&](double slope) {
        return std::clamp((slope + kMaxSlope) / kSlopeStep, -1.0, static_cast<double>(slopeCount));
    };
    for (const Vec2& c : s.side) {
        const double beyond = c.y - t.reach0;
        const auto lowest = std::max(
            0, static_cast<int32_t>(std::ceil(slopeIndex((beyond - t.halfWidth) / c.x))) - 1);
        const auto highest = std::min(
            slopeCount - 1,
            static_cast<int32_t>(std::floor(slopeIndex((beyond + t.halfWidth) / c.x))) + 1);
        for (int32_t j = lowest; j <= highest; ++j) {
            const int32_t bin =
                nearest((beyond - s.slopes[static_cast<size_t>(j)] * c.x) / kBin + t.half + kReach);
            if (bin >= 0 && bin < static_cast<int32_t>(t.bins))
                ++histograms[static_cast<size_t>(j) * t.bins + static_cast<size_t>(bin)];
        }
    }
}

// A far side as depth = reach0 + offset + slope * along.
struct Tilt {
    double slope = 0;
    double offset = 0;
};

// The tilt and offset whose window holds the most candidates, nearer ones counting more (on
// equal scores, the smaller offset).
Tilt bestTilt(const FarSideTrace& t, const OutlineSearchScratch& s) {
    Tilt best;
    int32_t bestScore = 0;
    const int32_t half = t.half;
    for (size_t j = 0; j < s.slopes.size(); ++j) {
        const int32_t* histogram = s.histograms.data() + j * t.bins;
        // The window's score, weights 1 2 3 4 3 2 1, moves one bin on by losing the four bins
        // up to its centre and gaining the four after it.
        int32_t score = 0;
        for (int32_t k = -kReach; k <= kReach; ++k)
            score += (kReach + 1 - std::abs(k)) * histogram[kReach + k];
        for (int32_t centre = kReach; centre <= 2 * half + kReach; ++centre) {
            const double offset = (centre - half - kReach) * kBin;
            if (score > bestScore ||
                (score == bestScore && std::abs(offset) < std::abs(best.offset))) {
                bestScore = score;
                best = {s.slopes[j], offset};
            }
            if (centre == 2 * half + kReach)
                break;
            for (int32_t b = centre - kReach; b <= centre; ++b)
                score -= histogram[b];
            for (int32_t b = centre + 1; b <= centre + kReach + 1; ++b)
                score += histogram[b];
        }
    }
    return best;
}

// Whether a candidate lies on the tilt's line.
bool onTilt(const FarSideTrace& t, Tilt tilt, Vec2 c) {
    return std::abs(c.y - t.reach0 - tilt.offset - tilt.slope * c.x) <= kOnLine;
}

// The line through the candidates near the tilt (least squares: depth = d0 + slope * along);
// none when too few rays found it.
std::optional<Line> fitFarSide(const FarSideTrace& t, const OutlineSearchScratch& s, Tilt tilt) {
    auto onLine = [&](Vec2 c) { return onTilt(t, tilt, c); };
    int32_t count = 0;
    for (const Vec2& c : s.side)
        count += onLine(c);
    if (count < std::max(kMinCandidates, t.rays / kMinCandidateRaysShare))
        return std::nullopt;
    double n = 0, sa = 0, sd = 0, saa = 0, sad = 0;
    for (const Vec2& c : s.side) {
        if (onLine(c)) {
            n += 1;
            sa += c.x;
            sd += c.y;
            saa += c.x * c.x;
            sad += c.x * c.y;
        }
    }
    const double det = n * saa - sa * sa;
    if (n < kMinCandidates || std::abs(det) < kDegenerate)
        return std::nullopt;
    const double slope = (n * sad - sa * sd) / det;
    const double d0 = (sd - slope * sa) / n;
    const Vec2 p0 = t.base + d0 * t.out;
    const Vec2 p1 = t.base + t.spanLength * t.spanDir + (d0 + slope * t.spanLength) * t.out;
    const Vec2 dir = p1 - p0;
    return Line{p0, (1.0 / length(dir)) * dir};
}

}  // namespace

// Rays start inside the symbol at points spread along the other solid side (from base along
// span) and walk outward along out; every dark run followed by a quiet zone's worth of light
// ends at an edge candidate. At the side's dark modules the candidates line up on it; elsewhere
// they lie a module or more inside (or, at the edge of a label on a darker ground, a quiet zone
// outside). The side is the line through about base + reach0 * out, nearly parallel to span,
// that most candidates lie on.
std::optional<Line> outline_internals::traceFarSide(const BinaryFrame& f, OutlineSearchScratch& s,
                                                    Vec2 base, Vec2 span, Vec2 out, double reach0,
                                                    double module, double beyond) {
    const FarSideTrace trace(base, span, out, reach0, module, beyond);
    sampleDepths(trace, s);
    s.side.clear();
    for (int32_t k = 0; k < trace.rays; ++k)
        walkRay(f, trace, s, k);
    fillTiltHistograms(trace, s);
    Tilt tilt = bestTilt(trace, s);
    // Looked for beyond the arm's end, the far side may meet a solid edge further out (a label's
    // edge past the quiet zone), which nearly every ray ends at: an alternating side ends only
    // the rays at its dark modules, so the line is looked for again without that edge's points.
    constexpr double kSolidEdgeShare = 0.8;
    if (beyond > 0) {
        const auto solid = std::count_if(s.side.begin(), s.side.end(),
                                         [&](Vec2 c) { return onTilt(trace, tilt, c); });
        if (static_cast<double>(solid) >= kSolidEdgeShare * trace.rays) {
            std::erase_if(s.side, [&](Vec2 c) { return onTilt(trace, tilt, c); });
            fillTiltHistograms(trace, s);
            tilt = bestTilt(trace, s);
        }
    }
    return fitFarSide(trace, s, tilt);
}

namespace {

// The unit normal of the side from p to q that points out of the quadrilateral (whose corners
// turn like +x to +y).
Vec2 outwardOf(Vec2 p, Vec2 q) {
    const Vec2 along = q - p;
    return (1.0 / length(along)) * Vec2{along.y, -along.x};
}

// A finder fitted to the outline: its corner, where its arms end, its sides and thickness.
struct Finder {
    Vec2 corner, next, prev;
    Line nextSide, prevSide;
    double module = 0;
};

// Fits the solid sides from the rough corner toward the rough arm ends to the outline and finds
// where the arms end; when they reach beyond the hull sides they came from (a blurred arm's hull
// breaks into pieces), fits them again over their whole length.
std::optional<Finder> fitFinder(const BinaryFrame& f, OutlineSearchScratch& s, Vec2 cornerRough,
                                Vec2 nextRough, Vec2 prevRough, bool acrossGaps) {
    // Refits allowed (a bound on work), the thinnest finder taken, in pixels, and how much
    // longer an arm must reach than its hull side to be fitted again.
    constexpr int kPasses = 6;
    constexpr double kMinModule = 1.5;
    constexpr double kLongerArm = 1.2;
    Finder finder;
    for (int pass = 0; pass < kPasses; ++pass) {
        const auto nextSide = fitSide(s, cornerRough, nextRough, outwardOf(cornerRough, nextRough));
        const auto prevSide = fitSide(s, prevRough, cornerRough, outwardOf(prevRough, cornerRough));
        if (!nextSide || !prevSide)
            return std::nullopt;
        const auto corner = intersect(*nextSide, *prevSide);
        if (!corner || !nearFrame(f, *corner))
            return std::nullopt;
        finder.corner = *corner;
        finder.nextSide = *nextSide;
        finder.prevSide = *prevSide;
        // The rough corners moved onto the fitted sides.
        const Vec2 nextRoughEnd =
            nextSide->point +
            dot(nextRough - nextSide->point, nextSide->direction) * nextSide->direction;
        const Vec2 prevRoughEnd =
            prevSide->point +
            dot(prevRough - prevSide->point, prevSide->direction) * prevSide->direction;
        const Vec2 nextInward = -1.0 * outwardOf(cornerRough, nextRough);
        const Vec2 prevInward = -1.0 * outwardOf(prevRough, cornerRough);
        if (pass == 0) {
            finder.module = finderThickness(f, s, *corner, {nextRoughEnd, prevRoughEnd},
                                            {nextInward, prevInward});
            if (finder.module < kMinModule)
                return std::nullopt;
        }
        finder.next = armEnd(f, *corner, nextRoughEnd, nextInward, finder.module, acrossGaps);
        finder.prev = armEnd(f, *corner, prevRoughEnd, prevInward, finder.module, acrossGaps);
        const bool longer =
            length(finder.next - *corner) > kLongerArm * length(nextRoughEnd - *corner) ||
            length(finder.prev - *corner) > kLongerArm * length(prevRoughEnd - *corner);
        if (!longer)
            break;
        cornerRough = *corner;
        nextRough = finder.next;
        prevRough = finder.prev;
    }
    return finder;
}

// How much of a far side, half a module inside it from where it meets the arm's line over the
// span's length, runs in single modules: an alternating side nearly all of it, a row of data
// about a quarter, a solid edge or the quiet zone none.
double alternation(const BinaryFrame& f, const Line& side, const Line& arm, Vec2 span,
                   double module) {
    const auto start = intersect(side, arm);
    const double reach = length(span);
    if (!start || reach <= 0)
        return 0;
    const Vec2 along = dot(side.direction, span) < 0 ? -1.0 * side.direction : side.direction;
    const Vec2 from = *start - (0.5 * module) * arm.direction;
    constexpr double kStep = 0.5;
    double single = 0;     // the length of the runs of about one module
    double runStart = -1;  // the first run, cut by the start, does not count
    bool last = darkAt(f, from);
    for (double t = kStep; t < reach; t += kStep) {
        const bool dark = darkAt(f, from + t * along);
        if (dark == last)
            continue;
        const double run = t - runStart;
        if (runStart >= 0 && run >= 0.5 * module && run <= 1.5 * module)
            single += run;
        runStart = t;
        last = dark;
    }
    return single / reach;
}

// The symbol the finder and its two far sides outline, in standard orientation; none when a
// far side is not found or the quadrilateral is too small or not convex.
std::optional<LocatedSymbol> closeOutline(const BinaryFrame& f, OutlineSearchScratch& s,
                                          FinderTurn turn, const Finder& finder, bool acrossGaps,
                                          bool rationed) {
    // The alternating sides: the one beyond next runs along prev's direction and the other
    // way round. The corners turn like +x to +y, so corner->next turns to corner->prev so.
    const Vec2 corner = finder.corner;
    const Vec2 toNext = finder.next - corner;
    const Vec2 toPrev = finder.prev - corner;
    // An arm whose last modules are light ends short of its far side: with acrossGaps the far
    // side is looked for up to three and a half modules beyond the arm's end, unless the line at
    // the arm's end alternates clearly more (an arm that kept its end has its far side there,
    // with other dark lines such as a label's edge further out).
    auto farSide = [&](Vec2 toArm, Vec2 span) {
        const Vec2 out = (1.0 / length(toArm)) * toArm;
        const auto atEnd = traceFarSide(f, s, corner, span, out, length(toArm), finder.module);
        if (!acrossGaps)
            return atEnd;
        const auto further =
            traceFarSide(f, s, corner, span, out, length(toArm), finder.module, kLongestFinderGap);
        if (!atEnd || !further)
            return atEnd ? atEnd : further;
        const Line armSide{corner, out};
        constexpr double kClearlyMoreAlternating = 0.3;
        return alternation(f, *atEnd, armSide, span, finder.module) >
                       alternation(f, *further, armSide, span, finder.module) +
                           kClearlyMoreAlternating
                   ? atEnd
                   : further;
    };
    const auto beyondNext = farSide(toNext, toPrev);
    if (!beyondNext)
        return std::nullopt;
    const auto beyondPrev = farSide(toPrev, toNext);
    if (!beyondPrev)
        return std::nullopt;
    const auto far = intersect(*beyondNext, *beyondPrev);
    const auto nextEnd = intersect(finder.nextSide, *beyondNext);
    const auto prevEnd = intersect(finder.prevSide, *beyondPrev);
    if (!far || !nextEnd || !prevEnd)
        return std::nullopt;
    const std::array<Vec2, 4> corners{corner, *nextEnd, *far, *prevEnd};
    for (size_t i = 0; i < 4; ++i) {
        if (!nearFrame(f, corners[i]))
            return std::nullopt;
        const Vec2 a = corners[(i + 1) % 4] - corners[i];
        const Vec2 b = corners[(i + 2) % 4] - corners[(i + 1) % 4];
        if (length(a) < kMinRegionSide || cross(a, b) <= 0)
            return std::nullopt;  // too short, or not convex
    }
    // When damaged readings are rationed (a camera frame's few), a damaged finder's outline is
    // read only when a far side runs in single modules more than a row of data does: clutter
    // offers damaged corners wherever it offers corners, and about half of its far sides run so
    // less (a dot-peen mark's sides, whose dots are shorter than their modules, run so about a
    // third). A map closed over dots joins a side's dots into longer runs: left to the reading.
    constexpr double kLeastDamagedAlternation = 0.25;
    if (acrossGaps && rationed && f.closedRadius == 0 &&
        std::max(alternation(f, *beyondNext, Line{corner, (1.0 / length(toNext)) * toNext}, toPrev,
                             finder.module),
                 alternation(f, *beyondPrev, Line{corner, (1.0 / length(toPrev)) * toPrev}, toNext,
                             finder.module)) < kLeastDamagedAlternation)
        return std::nullopt;

    const bool nextIsRowEnd = turn == FinderTurn::PlusXToPlusY;
    const Vec2 rowEnd = nextIsRowEnd ? *nextEnd : *prevEnd;
    const Vec2 columnEnd = nextIsRowEnd ? *prevEnd : *nextEnd;
    LocatedSymbol out;
    out.corners = {columnEnd, *far, rowEnd, corner};
    out.moduleSize = finder.module;
    return out;
}

// The symbol whose finder has its corner and arm ends near the three points, if any. A corner
// found across a cut of the hull wider than a rounded corner's (widerCut pixels) is taken when
// the cut spans a finder gap's modules at most. rationed: see closeOutline.
std::optional<LocatedSymbol> locateFrom(const BinaryFrame& f, OutlineSearchScratch& s,
                                        FinderTurn turn, Vec2 cornerRough, Vec2 nextRough,
                                        Vec2 prevRough, bool acrossGaps, double widerCut = 0,
                                        bool rationed = false) {
    auto finder = fitFinder(f, s, cornerRough, nextRough, prevRough, acrossGaps);
    if (finder && widerCut > kLongestFinderGap * finder->module)
        finder.reset();
    if (!finder)
        return std::nullopt;
    return closeOutline(f, s, turn, *finder, acrossGaps, rationed);
}

// The hull vertex where the hull turns most sharply.
size_t sharpestTurn(const std::vector<Vec2>& h) {
    const size_t n = h.size();
    size_t start = 0;
    double sharpest = -2;  // below any sine
    for (size_t i = 0; i < n; ++i) {
        const Vec2 a = h[i] - h[(i + n - 1) % n];
        const Vec2 b = h[(i + 1) % n] - h[i];
        const double turnSine = cross(a, b) / (length(a) * length(b) + kDegenerate);
        if (turnSine > sharpest) {
            sharpest = turnSine;
            start = i;
        }
    }
    return start;
}

// The hull's corners once its vertices are merged into straight sides, from the sharpest turn
// on: a side goes on while every vertex it passes lies within 1.5 pixels of it (a pixel's
// rounding of the outline each way), or 1.5 % of its length (empirical: room for a slightly
// bent or blurred long side).
std::vector<Vec2> straightCorners(const std::vector<Vec2>& h) {
    constexpr double kStraightPixels = 1.5;
    constexpr double kStraightShare = 0.015;
    const size_t n = h.size();
    const size_t start = sharpestTurn(h);
    std::vector<Vec2> corners;
    for (size_t i = 0; i < n;) {
        const Vec2 from = h[(start + i) % n];
        corners.push_back(from);
        size_t k = i + 1;
        while (k < n) {
            const Vec2 to = h[(start + k + 1) % n];
            const Vec2 dir = to - from;
            const double len = length(dir);
            bool straight = true;
            for (size_t m = i + 1; m <= k && straight; ++m)
                straight = std::abs(cross(dir, h[(start + m) % n] - from)) / len <=
                           std::max(kStraightPixels, kStraightShare * len);
            if (!straight)
                break;
            ++k;
        }
        i = k;
    }
    return corners;
}

// A side long enough for a finder arm.
struct LongSide {
    Vec2 from, to;
    double skippedBefore;  // length of the short sides since the previous long one
};

// The sides between the corners long enough for a finder arm, with the length of the short
// ones between them (a corner rounded by blur).
std::vector<LongSide> longSides(const std::vector<Vec2>& corners) {
    const size_t m = corners.size();
    std::vector<LongSide> sides;
    double skipped = 0;
    for (size_t j = 0; j < m; ++j) {
        const Vec2 from = corners[j];
        const Vec2 to = corners[(j + 1) % m];
        if (length(to - from) >= kMinRegionSide) {
            sides.push_back({from, to, skipped});
            skipped = 0;
        } else {
            skipped += length(to - from);
        }
    }
    if (!sides.empty())
        sides.front().skippedBefore += skipped;  // the short sides after the last long one
    return sides;
}

struct FinderCandidate {
    double solid;
    Vec2 corner, next, prev;
    bool cutCorner;       // the arms meet beyond a short side of the hull
    double widerCut = 0;  // the stretch bridged, when wider than a rounded corner's (see below)
};

// Pairs of long sides that meet at a corner of 45 to 135 degrees, with only a short stretch
// between them bridged, and are solid just inside. Pairs whose stretch is too wide for a rounded
// corner but not for a corner that lost up to three modules of each arm (three quarters of the
// shorter side: an arm of 8 keeps 5) go to wider: they are read after all others, as damaged
// finders, once the finder's module shows that the stretch is a few modules at most.
std::vector<FinderCandidate> finderCandidates(const BinaryFrame& f,
                                              const std::vector<LongSide>& sides,
                                              std::vector<FinderCandidate>& wider) {
    // A rounded corner bridged: up to 12 pixels or 30 % of the shorter side (blur rounds a
    // corner by a few modules at most). Sides meeting at 45 to 135 degrees (cosine 0.71 is
    // just over cos 45), and dark along most of both (a finder may miss a few modules).
    constexpr double kBridgePixels = 12.0;
    constexpr double kBridgeShare = 0.3;
    constexpr double kMaxCornerCosine = 0.71;
    constexpr double kMinSolidity = 0.6;
    constexpr double kWiderCutShare = 0.75;
    std::vector<FinderCandidate> candidates;
    wider.clear();
    // Sides one apart meet where they do; sides two apart meet beyond a side short for them
    // both: the corner of a finder that lost the modules where its arms meet, cut off by the
    // hull. Those come after all others.
    for (size_t step = 1; step <= 2 && step < sides.size(); ++step) {
        for (size_t j = 0; j < sides.size(); ++j) {
            const LongSide& in = sides[j];
            const LongSide& out = sides[(j + step) % sides.size()];
            const Vec2 a = out.to - out.from;
            const Vec2 b = in.from - in.to;
            const double shorter = std::min(length(a), length(b));
            const double bridge = std::max(kBridgePixels, kBridgeShare * shorter);
            double gap = out.skippedBefore;
            bool wide = false;
            if (step == 2) {
                const LongSide& cut = sides[(j + 1) % sides.size()];
                const double cutLength = length(cut.to - cut.from);
                wide = cutLength > kBridgeShare * shorter;
                gap += cut.skippedBefore + cutLength;
            }
            wide = wide || gap > bridge;
            if (wide && gap > kWiderCutShare * shorter)
                continue;
            const double cosine = dot(a, b) / (length(a) * length(b));
            if (std::abs(cosine) > kMaxCornerCosine)
                continue;
            const auto corner =
                intersect({in.from, (1.0 / length(b)) * b}, {out.from, (1.0 / length(a)) * a});
            if (!corner)
                continue;
            const double solidNext =
                solidity(f, *corner, out.to, (1.0 / length(a)) * Vec2{-a.y, a.x});
            const double solidPrev =
                solidity(f, in.from, *corner, (1.0 / length(b)) * Vec2{b.y, -b.x});
            if (std::min(solidNext, solidPrev) < kMinSolidity)
                continue;
            if (wide)
                wider.push_back({solidNext + solidPrev, *corner, out.to, in.from, true, gap});
            else
                candidates.push_back({solidNext + solidPrev, *corner, out.to, in.from, step == 2});
        }
    }
    return candidates;
}

// Whether two outlines differ by more than half a module at some corner.
bool differ(const LocatedSymbol& a, const LocatedSymbol& b) {
    for (size_t i = 0; i < 4; ++i) {
        if (length(a.corners[i] - b.corners[i]) > 0.5 * a.moduleSize)
            return true;
    }
    return false;
}

// The region's finder candidates from its hull, tried in turn, most solid first: the first that
// closes an outline is handed to accept. When that does not read, the finder is taken for a
// damaged one (its arms crossing gaps of missing modules, its far sides looked for further
// out: the hull and the region end where a gap cuts an arm) and the first candidate that
// closes so elsewhere than the first did is handed over too; the corners that lost too many
// modules for a rounded corner's bridge are tried last, as damaged finders only.
OutlineVerdict readRegion(const BinaryFrame& f, OutlineSearchScratch& s, FinderTurn turn,
                          const std::function<OutlineVerdict(const LocatedSymbol&)>& accept,
                          int32_t& damagedLeft, bool rationed) {
    if (s.hull.size() < 3)
        return OutlineVerdict::NotRead;
    const std::vector<LongSide> sides = longSides(straightCorners(s.hull));
    if (sides.size() < 2)
        return OutlineVerdict::NotRead;
    std::vector<FinderCandidate> wider;
    std::vector<FinderCandidate> candidates = finderCandidates(f, sides, wider);
    auto order = [](const FinderCandidate& x, const FinderCandidate& y) {
        return x.cutCorner != y.cutCorner ? y.cutCorner : x.solid > y.solid;
    };
    std::sort(candidates.begin(), candidates.end(), order);
    std::sort(wider.begin(), wider.end(), order);
    candidates.insert(candidates.end(), wider.begin(), wider.end());
    std::optional<LocatedSymbol> first;
    for (const FinderCandidate& c : candidates) {
        if (c.widerCut > 0)
            break;  // the wider cuts come last and are read as damaged only
        if ((first = locateFrom(f, s, turn, c.corner, c.next, c.prev, false))) {
            first->damagedFinder = c.cutCorner;
            break;
        }
    }
    if (first) {
        if (const OutlineVerdict v = accept(*first); v != OutlineVerdict::NotRead)
            return v;
    }
    // A region without a finder candidate has no damaged reading either: it keeps the readings
    // for the regions that do.
    if (damagedLeft <= 0 || candidates.empty())
        return OutlineVerdict::NotRead;
    --damagedLeft;
    bool closedAsFirst = false;
    for (const FinderCandidate& c : candidates) {
        // Once a candidate closed where the first outline did, only the corners that lost
        // modules are left to try: one of them may be the finder's true corner.
        if (closedAsFirst && c.widerCut <= 0)
            continue;
        if (const auto damaged =
                locateFrom(f, s, turn, c.corner, c.next, c.prev, true, c.widerCut, rationed)) {
            if (first && !differ(*damaged, *first)) {
                closedAsFirst = true;
                continue;
            }
            LocatedSymbol symbol = *damaged;
            symbol.damagedFinder = true;
            return accept(symbol);
        }
    }
    return OutlineVerdict::NotRead;
}

// Fills the region through (x, y) and, when it is large enough to hold a symbol, reads it (see
// readRegion; counting the regions so tested). Leaves the extents reset for the next region.
OutlineVerdict examineRegion(BinaryFrame& f, OutlineSearchScratch& s, FinderTurn turn, int32_t x,
                             int32_t y,
                             const std::function<OutlineVerdict(const LocatedSymbol&)>& accept,
                             int32_t& tested, int32_t& damagedLeft, bool rationed) {
    const Region r = fillRegion(f, s, x, y);
    collectOutline(r, s);
    const int32_t side = std::max(r.x1 - r.x0, r.y1 - r.y0) + 1;
    if (side < kMinRegionSide || r.pixels < kMinRegionPixels) {
        // Round: the shorter extent at least two thirds of the longer, and half the box filled
        // (a disc fills 0.79 of it).
        const int32_t shorter = std::min(r.x1 - r.x0, r.y1 - r.y0) + 1;
        if (side >= 3 && side < kMinRegionSide && 3 * shorter >= 2 * side &&
            2 * r.pixels >= int64_t{side} * shorter)
            s.smallRegions.push_back({side, r.x0 + r.x1, r.y0 + r.y1});
        return OutlineVerdict::NotRead;
    }
    convexHull(s);
    ++tested;
    return readRegion(f, s, turn, accept, damagedLeft, rationed);
}

}  // namespace

bool searchOutlines(BinaryFrame& frame, OutlineSearchScratch& scratch, FinderTurn turn,
                    int32_t damagedReadings,
                    const std::function<OutlineVerdict(const LocatedSymbol&)>& accept,
                    MapWindow area) {
    BinaryFrame& f = frame;
    OutlineSearchScratch& s = scratch;
    s.smallRegions.clear();
    s.rowLeft.assign(static_cast<size_t>(f.height), INT32_MAX);
    s.rowRight.assign(static_cast<size_t>(f.height), -1);
    s.colTop.assign(static_cast<size_t>(f.width), INT32_MAX);
    s.colBottom.assign(static_cast<size_t>(f.width), -1);
    int32_t tested = 0;
    const int32_t damagedPerRead = damagedReadings;
    const bool rationed = damagedReadings != INT32_MAX;
    bool accepted = false;
    bool done = false;  // enough read, or out of budget

    auto visit = [&](int32_t x, int32_t y) {
        const OutlineVerdict v =
            examineRegion(f, s, turn, x, y, accept, tested, damagedReadings, rationed);
        if (v != OutlineVerdict::NotRead) {
            accepted = true;
            tested = 0;
            damagedReadings = damagedPerRead;
        }
        if (v == OutlineVerdict::Enough || tested >= kMaxRegionsTested)
            done = true;
    };

    const MapWindow a{std::max(area.x0, 0), std::max(area.y0, 0), std::min(area.x1, f.width),
                      std::min(area.y1, f.height)};
    const int32_t cx = (a.x0 + a.x1) / 2;
    const int32_t cy = (a.y0 + a.y1) / 2;
    const int32_t reach = std::max(a.x1 - a.x0, a.y1 - a.y0) / 2 + kLineSpacing;
    for (int32_t k = 0; k * kLineSpacing <= reach && !done; ++k) {
        for (const int32_t sign : {-1, 1}) {
            if (k == 0 && sign == 1)
                continue;
            const int32_t y = cy + sign * k * kLineSpacing;
            if (y >= a.y0 && y < a.y1) {
                const uint8_t* row = f.regionMap() + static_cast<size_t>(y) * f.width;
                for (int32_t x = a.x0; x < a.x1 && !done; ++x) {
                    if (row[x] == kUnvisitedDark)
                        visit(x, y);
                }
            }
            const int32_t x = cx + sign * k * kLineSpacing;
            if (x >= a.x0 && x < a.x1) {
                for (int32_t yy = a.y0; yy < a.y1 && !done; ++yy) {
                    if (f.regionMap()[static_cast<size_t>(yy) * f.width + x] == kUnvisitedDark)
                        visit(x, yy);
                }
            }
        }
    }
    return accepted;
}

void passOver(BinaryFrame& frame, const std::array<Vec2, 4>& outline, double margin) {
    // The outline grown about its centre by margin (near enough for the convex quadrilaterals
    // of symbols), then every pixel inside it whose centre lies on the inner side of all four
    // edges, whichever way round the corners run.
    Vec2 centre{0, 0};
    for (const Vec2& p : outline)
        centre = centre + 0.25 * p;
    std::array<Vec2, 4> q;
    for (size_t i = 0; i < q.size(); ++i) {
        const Vec2 d = outline[i] - centre;
        const double len = length(d);
        q[i] = len > kDegenerate ? outline[i] + (margin / len) * d : outline[i];
    }
    const ConvexQuad quad(q);
    const auto [x0, y0, x1, y1] = quad.pixels(frame.width, frame.height);
    uint8_t* map = frame.regionMap();
    for (int32_t y = y0; y <= y1; ++y) {
        for (int32_t x = x0; x <= x1; ++x) {
            uint8_t& pixel = map[static_cast<size_t>(y) * frame.width + x];
            if (pixel != kUnvisitedDark)
                continue;
            if (quad.contains({static_cast<double>(x), static_cast<double>(y)}))
                pixel = kVisitedDark;
        }
    }
}

}  // namespace dm
