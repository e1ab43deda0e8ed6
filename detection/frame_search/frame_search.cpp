#include "detection/frame_search/frame_search.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <utility>

#include "detection/frame_search/perspective_grid.h"
#include "detection/frame_search/region_grid.h"
#include "detection/frame_search/side_alternation.h"
#include "detection/frame_search/timing_grid.h"
#include "symbology/placement.h"
#include "symbology/symbol_size.h"

namespace dm {
namespace {

// The extension sizes are tried for outlines whose length for their height is within this
// factor of theirs.
constexpr double kAspectTolerance = 1.2;

// An outline's length along its rows and its height, each the sum of its two opposite sides.
struct OutlineSides {
    double width = 0;
    double height = 0;
};

OutlineSides outlineSides(const std::array<PointD, 4>& c) {
    return {length(c[2] - c[3]) + length(c[1] - c[0]), length(c[0] - c[3]) + length(c[1] - c[2])};
}

// A size to try for an outline.
struct SizeFit {
    double agreement = 0;
    int sizeIndex = 0;
    // Its reads are held to the stricter rule (correction to spare): the size's columns for its
    // rows are far from the outline's width for its height (a square size on an outline nearly
    // twice as long as wide), or its alternating sides agree little more than at random (a
    // 10 x 10 read on the outline of a 14 x 14 of finer modules).
    bool strict = false;
};

// How far a size's shape may be from the outline's, as the ratio of the longer to the shorter
// of columns per row and width per height: perspective and a slanted view stretch an outline
// by up to about 1.3; a square size on the outline of a long rectangle lies near 2.
constexpr double kMostShapeRatio = 1.5;
// Alternating sides that agree with a size in fewer than this share of their modules leave its
// reads to the stricter rule.
constexpr double kSureAgreement = 0.6;

// Sizes to try for the outline, most likely first: those whose alternating sides, sampled
// through the outline's map, read as they must in many modules (of the part nearer the finder:
// the far corner is the least sure), and not far behind the best.
std::vector<SizeFit> sizesFor(const BinaryFrame& frame, const LocatedSymbol& symbol) {
    constexpr double kLeastAgreement = 0.45;
    constexpr double kNearShare = 0.6;
    constexpr double kMostBehind = 0.2;
    constexpr size_t kMostSizes = 6;
    std::vector<SizeFit> fits;
    // The extension sizes are tried only for outlines about as long for their height as they
    // are, which keeps their many shapes from crowding out the others.
    const auto [width, height] = outlineSides(symbol.corners);
    const double aspect = height > 0 ? width / height : 0;
    constexpr double kModuleTolerance = 3;
    for (int i = 0; i < kSizeCount; ++i) {
        const SymbolSize& s = symbolSize(i);
        const double expected = static_cast<double>(s.symbolCols) / s.symbolRows;
        if (isDmre(i) &&
            (aspect * kAspectTolerance < expected || aspect > expected * kAspectTolerance))
            continue;
        // A size whose modules would be far thinner or thicker than the finder cannot be the
        // symbol's; its alternating sides agreeing by chance would only spend refinements.
        const double across = width / 2 / s.symbolCols;
        const double down = height / 2 / s.symbolRows;
        if (symbol.moduleSize > 0 &&
            (std::max(across, down) > kModuleTolerance * symbol.moduleSize ||
             std::min(across, down) * kModuleTolerance < symbol.moduleSize))
            continue;
        if (const auto map = symbolToImage(symbol.corners, s.symbolCols, s.symbolRows)) {
            const double agreement =
                timingAgreement(frame, *map, s.symbolRows, s.symbolCols, kNearShare);
            if (agreement >= kLeastAgreement)
                fits.push_back(
                    {agreement, i,
                     agreement < kSureAgreement ||
                         std::max(aspect / expected, expected / aspect) > kMostShapeRatio});
        }
    }
    std::sort(fits.begin(), fits.end(),
              [](const SizeFit& a, const SizeFit& b) { return a.agreement > b.agreement; });
    fits.resize(std::min(fits.size(), kMostSizes));
    std::erase_if(
        fits, [&](const SizeFit& f) { return f.agreement < fits.front().agreement - kMostBehind; });
    return fits;
}

// A size is sampled once this share of its alternating sides reads as it must (blur leaves
// the finest ones well short of all).
constexpr double kLeastTimingAgreement = 0.65;

// Corner refinements per frame (each symbol size tried for an outline takes one).
constexpr int32_t kMostRefinements = 6;
// And for the mirror readings of outlines: a mirrored symbol is rare, a frame full of
// finder-like shapes is not; three keep such frames within about a millisecond of the time
// without.
constexpr int32_t kMostMirrorRefinements = 3;
// And for the readings of outlines as damaged finders, which clutter offers as often as
// outlines, so that they do not take the refinements of the symbol found later.
constexpr int32_t kMostDamagedRefinements = 3;

// And outlines read again as fine modules (see OutlineReader::readFine), each with one
// refinement.
constexpr int32_t kMostFineReadings = 2;

// And last readings of outlines (see OutlineReader::tryRegionGrids).
constexpr int32_t kMostRegionGrids = 2;

// The refinements left, of each kind: a camera frame's searches share them, a still image gives
// each search its own.
struct RefinementBudget {
    int32_t outlines = kMostRefinements;
    int32_t mirrors = kMostMirrorRefinements;
    int32_t damaged = kMostDamagedRefinements;
    int32_t fine = kMostFineReadings;
    int32_t regions = kMostRegionGrids;
};

// One search of a frame: each outline the search hands over is read at its likeliest sizes,
// each size through the corners as located and then refined, each sampling thresholded in turn
// at the symbol's own level, with blur undone, at the tile thresholds and at the module centres
// the alternating sides show. Refinements are the costly step; a frame full of finder-like
// shapes gets a bounded number, and so do the mirror readings.
class OutlineReader {
  public:
    OutlineReader(FrameSearchBuffers& buffers, const MatrixDecoder& decode,
                  const FrameSearchReadings& readings, bool speculative, RefinementBudget& budget,
                  bool dotCentres)
        : buffers_(buffers),
          frame_(buffers.frame),
          decode_(decode),
          sampled_(readings.sampled),
          alsoMirrored_(readings.alsoMirrored),
          speculative_(speculative),
          alsoDotCentres_(dotCentres),
          still_(readings.alsoClosed),
          budget_(budget) {}

    // Reads an outline as located and, when asked, as its mirror image; true once one decoded.
    bool read(const LocatedSymbol& symbol) {
        if (!result_.located) {
            result_.moduleSize = symbol.moduleSize;
            result_.firstOutline = symbol.corners;
        }
        result_.located = true;
        result_.mirrored = false;
        outlineBest_ = DecodeStatus::NoFinder;
        regionCandidate_.reset();
        if (readAt(symbol, symbol.damagedFinder ? budget_.damaged : budget_.outlines))
            return true;
        const std::vector<SizeFit> fits = std::move(fits_);
        if (alsoMirrored_) {
            // The mirror image: the row and column ends exchanged.
            LocatedSymbol mirror = symbol;
            std::swap(mirror.corners[0], mirror.corners[2]);
            result_.mirrored = readAt(mirror, budget_.mirrors);
            if (result_.mirrored)
                return true;
        }
        if (readFine(symbol) || readWrapped(symbol) || tryRegionGrids() || readGrown(symbol, fits))
            return true;
        buffers_.located.push_back({symbol.corners, decodeProgress(outlineBest_)});
        return false;
    }

    // The outline just read, as a result on its own.
    FrameSearchResult lastRead(bool inverted) const {
        FrameSearchResult r = result_;
        r.decoded = true;
        r.inverted = inverted;
        r.status = DecodeStatus::Success;
        return r;
    }

    FrameSearchResult finish(bool decoded) {
        result_.decoded = decoded;
        result_.status = decoded ? DecodeStatus::Success : best_;
        return result_;
    }

  private:
    // Keeps the status that got furthest.
    void note(DecodeStatus s) {
        if (decodeProgress(s) > decodeProgress(best_))
            best_ = s;
        if (decodeProgress(s) > decodeProgress(outlineBest_))
            outlineBest_ = s;
    }

    bool readAt(const LocatedSymbol& symbol, int32_t& budget) {
        sized_ = false;
        fits_ = sizesFor(frame_, symbol);
        for (const SizeFit& fit : fits_) {
            strict_ = speculative_ || fit.strict;
            // The corners as located, then refined for the size (while refinements are left).
            if (tryCorners(symbol.corners, fit.sizeIndex))
                return true;
            if (budget-- <= 0)
                continue;
            const SymbolSize& size = symbolSize(fit.sizeIndex);
            if (tryCorners(refineCorners(frame_, symbol.corners, size.symbolRows, size.symbolCols,
                                         std::max(0.5, symbol.moduleSize / 4)),
                           fit.sizeIndex))
                return true;
        }
        if (!sized_)
            note(DecodeStatus::NoSizeMatch);
        return false;
    }

    // The outline's likeliest sizes (fits, as readAt found them) read within the grown print its
    // finder shows, where their
    // alternating sides read as they must there (clutter's thick outlines are left at that).
    bool readGrown(const LocatedSymbol& symbol, const std::vector<SizeFit>& fits) {
        for (const SizeFit& fit : fits) {
            strict_ = speculative_ || fit.strict;
            const auto inner = withinGrowth(symbol, fit.sizeIndex);
            if (!inner)
                continue;
            const SymbolSize& size = symbolSize(fit.sizeIndex);
            const auto map = symbolToImage(*inner, size.symbolCols, size.symbolRows);
            if (map &&
                timingAgreement(frame_, *map, size.symbolRows, size.symbolCols) >=
                    kLeastTimingAgreement &&
                tryCorners(*inner, fit.sizeIndex))
                return true;
        }
        return false;
    }

    // Print growth: dark modules spread beyond their pitch by a share g of a module at each
    // edge, so the outline (and the finder, 1 + 2 g modules thick) lies g outside the symbol, and
    // a grid through the outline misses the light modules, narrowed to 1 - 2 g. On an outline N
    // of whose pitches make its side, a finder t pitches thick puts the symbol's edge
    // N (t - 1) / (2 (N - 1)) pitches in. The symbol's corners within the outline; nothing when
    // the finder shows little or implausibly much growth.
    static std::optional<std::array<PointD, 4>> withinGrowth(const LocatedSymbol& symbol,
                                                             int sizeIndex) {
        constexpr double kLeastInset = 0.08;  // pitches; less is within a refinement's reach
        constexpr double kMostInset = 0.4;
        const SymbolSize& size = symbolSize(sizeIndex);
        const auto& c = symbol.corners;
        const auto [width, height] = outlineSides(c);
        const double pitch = (width / size.symbolCols + height / size.symbolRows) / 4;
        if (!(pitch > 0))
            return std::nullopt;
        const double excess = symbol.moduleSize / pitch - 1;
        const double u = size.symbolCols * excess / (2 * (size.symbolCols - 1));
        const double v = size.symbolRows * excess / (2 * (size.symbolRows - 1));
        if (!(std::min(u, v) >= kLeastInset && std::max(u, v) <= kMostInset))
            return std::nullopt;
        const auto map = symbolToImage(c, size.symbolCols, size.symbolRows);
        if (!map)
            return std::nullopt;
        const double cols = size.symbolCols, rows = size.symbolRows;
        return std::array<PointD, 4>{map->map(u, v), map->map(cols - u, v),
                                     map->map(cols - u, rows - v), map->map(u, rows - v)};
    }

    // Modules of 2 to 3 pixels: a located corner off by half a module leaves every size's
    // alternating sides reading at random, and the finder's sides hardly differ from the
    // alternating ones, so the L may be taken at the wrong corner. The outline's turn and size
    // are read from how its sides alternate as a whole (see alternatingFits) and the likeliest
    // refined and read (on the fine tier's misses the likeliest was always the symbol's).
    bool readFine(const LocatedSymbol& symbol) {
        constexpr double kFinePitch = 3.5;  // pixels per module at most
        constexpr size_t kFits = 1;
        // On a camera frame a finder measured thicker than two fine modules is not read as fine
        // modules: clutter's outlines are left before their sides are sampled for every turn
        // and size. A still image samples them: the size its sides show is the last reading's
        // (tryRegionGrids) when none other was found.
        if (budget_.fine <= 0 || (!still_ && symbol.moduleSize > 2 * kFinePitch))
            return false;
        const std::vector<TurnedSize> fits =
            alternatingFits(frame_, symbol.corners, kFinePitch, kFits);
        if (fits.empty())
            return false;
        --budget_.fine;
        strict_ = speculative_;  // the size is read off the sides, not the outline's shape
        for (const TurnedSize& fit : fits) {
            const SymbolSize& size = symbolSize(fit.sizeIndex);
            const auto& c = fit.corners;
            const double pitch = length(c[1] - c[0]) / size.symbolCols;
            const auto refined = refineCorners(frame_, c, size.symbolRows, size.symbolCols,
                                               std::max(0.5, pitch / 2));
            if (tryCorners(refined, fit.sizeIndex))
                return true;
            // The size read off the sides as a whole is the likelier one for the last reading.
            regionCandidate_ = {refined, fit.sizeIndex};
        }
        return false;
    }

    // The extension sizes sizesFor leaves out by the outline's aspect, which takes the lengths
    // of its sides: a long rectangle's short sides lengthen when they slant (a shear of the
    // perspective), and its long side looks shorter wrapped around a cylinder (a label on a
    // vial or a cable). Read as located when the outline's length against its height across
    // (its area over its length) fits the size's, or its sides' aspect does within a wider
    // tolerance.
    bool readWrapped(const LocatedSymbol& symbol) {
        constexpr double kWrappedAspect = 1.45;
        const auto& c = symbol.corners;
        const auto [width, height] = outlineSides(c);
        const double area = std::abs(cross(c[2] - c[0], c[3] - c[1])) / 2;
        if (height <= 0 || area <= 0)
            return false;
        const double aspect = width / height;
        const double across = width * width / 4 / area;
        strict_ = speculative_;  // the sizes tried are those whose shape fits the outline's
        auto within = [](double a, double b, double tolerance) {
            return a * tolerance >= b && b * tolerance >= a;
        };
        for (int i = kFirstDmre; i < kSizeCount; ++i) {
            const SymbolSize& s = symbolSize(i);
            const double expected = static_cast<double>(s.symbolCols) / s.symbolRows;
            if (within(aspect, expected, kAspectTolerance) ||
                !(within(across, expected, kAspectTolerance) ||
                  within(aspect, expected, kWrappedAspect)))
                continue;
            if (tryCorners(c, i))
                return true;
        }
        return false;
    }

    // Decodes through the corners if the alternating sides then read as they must; alternating
    // sides that drift off the even grid can still show the size's edges.
    bool tryCorners(const std::array<PointD, 4>& corners, int sizeIndex) {
        current_ = corners;
        const SymbolSize& size = symbolSize(sizeIndex);
        const auto map = symbolToImage(corners, size.symbolCols, size.symbolRows);
        if (!map)
            return false;
        if (timingAgreement(frame_, *map, size.symbolRows, size.symbolCols) <
            kLeastTimingAgreement) {
            if (!tryTimingCentres(*map, sizeIndex))
                return tryDarkCentres(*map, sizeIndex);
        } else {
            sized_ = true;
            // The first size that read so, as refined (see tryRegionGrids).
            if (!regionCandidate_ || regionCandidate_->second == sizeIndex)
                regionCandidate_ = {corners, sizeIndex};
            if (!tryMap(*map, sizeIndex))
                return tryDarkCentres(*map, sizeIndex);
        }
        result_.corners = corners;
        return true;
    }

    // Separate dots or modules narrowed by ink loss: the grid moved onto the centres of the
    // dark modules' ink, sampled and decoded there. The outline read is then the refitted one.
    bool tryDarkCentres(const Homography& map, int sizeIndex) {
        if (!alsoDotCentres_)
            return false;
        const SymbolSize& size = symbolSize(sizeIndex);
        const auto fitted =
            fitToDarkCentres(frame_, map, size.symbolRows, size.symbolCols, buffers_.levels);
        if (!fitted)
            return false;
        if (timingAgreement(frame_, *fitted, size.symbolRows, size.symbolCols) <
            kLeastTimingAgreement)
            return false;
        sized_ = true;
        const double rows = size.symbolRows, cols = size.symbolCols;
        current_ = {fitted->map(0, 0), fitted->map(cols, 0), fitted->map(cols, rows),
                    fitted->map(0, rows)};
        sampleModules(frame_, *fitted, size.symbolRows, size.symbolCols, buffers_.levels);
        if (!trySplit(buffers_.levels, sizeIndex))
            return false;
        result_.corners = current_;
        return true;
    }

    // Samples the symbol through the map and decodes it with the symbol's own threshold, then
    // with the blur between neighbouring modules partly and then mostly undone, then with the
    // tile thresholds at the module centres, then at the module centres the alternating sides
    // show.
    bool tryMap(const Homography& map, int sizeIndex) {
        const SymbolSize& size = symbolSize(sizeIndex);
        sampleModules(frame_, map, size.symbolRows, size.symbolCols, buffers_.levels);
        if (trySplit(buffers_.levels, sizeIndex))
            return true;
        for (const double unblur : {0.35, 0.8}) {
            sharpenLevels(buffers_.levels, size.symbolRows, size.symbolCols, unblur,
                          buffers_.sharpened);
            if (trySplit(buffers_.sharpened, sizeIndex))
                return true;
        }
        for (int32_t r = 0; r < size.symbolRows; ++r) {
            for (int32_t c = 0; c < size.symbolCols; ++c) {
                const PointD p = map.map(c + 0.5, r + 0.5);
                const size_t i = static_cast<size_t>(r) * size.symbolCols + c;
                buffers_.matrix[i] = buffers_.levels[i] < frame_.thresholdNear(p.x, p.y);
            }
        }
        if (tryMatrix(sizeIndex))
            return true;
        return tryTimingCentres(map, sizeIndex);
    }

    // The last reading of an outline none of whose samplings decoded, through the corners of
    // the first size whose alternating sides read as they must (refined when it was): a symbol
    // of several data regions whose modules one map does not place (fine modules under a
    // lens's distortion, a bent label) sampled region by region, each through its own map; then
    // with the blur undone more strongly than before, on those levels and on the one map's
    // (modules of about two pixels under blur and JPEG).
    bool tryRegionGrids() {
        if (!regionCandidate_ || budget_.regions <= 0)
            return false;
        --budget_.regions;
        const std::array<PointD, 4> corners = regionCandidate_->first;
        const int sizeIndex = regionCandidate_->second;
        const SymbolSize& size = symbolSize(sizeIndex);
        const auto map = symbolToImage(corners, size.symbolCols, size.symbolRows);
        if (!map)
            return false;
        current_ = corners;
        strict_ = true;  // a last try: its reads need correction to spare
        auto tryLevels = [&](std::initializer_list<double> unblurs) {
            if (trySplit(buffers_.levels, sizeIndex))
                return true;
            for (const double unblur : unblurs) {
                sharpenLevels(buffers_.levels, size.symbolRows, size.symbolCols, unblur,
                              buffers_.sharpened);
                if (trySplit(buffers_.sharpened, sizeIndex))
                    return true;
            }
            return false;
        };
        // Region by region on still images only: a large symbol's regions take milliseconds.
        if (still_ && sampleRegionGrids(frame_, *map, sizeIndex, buffers_.levels) &&
            tryLevels({0.8, 1.4})) {
            result_.corners = corners;
            return true;
        }
        sampleModules(frame_, *map, size.symbolRows, size.symbolCols, buffers_.levels);
        if (!tryLevels({1.4}))
            return false;
        result_.corners = corners;
        return true;
    }

    // Modules stretched unevenly across the symbol (columns that narrow across a bent label):
    // sampled where the alternating sides show them. Whether those sides showed the size's
    // edges at all counts as the size being found.
    bool tryTimingCentres(const Homography& map, int sizeIndex) {
        const SymbolSize& size = symbolSize(sizeIndex);
        const auto centres = timingCentres(frame_, map, size.symbolRows, size.symbolCols);
        if (!centres)
            return false;
        sized_ = true;
        sampleModulesAt(frame_, map, centres->u, centres->v, buffers_.levels);
        return trySplit(buffers_.levels, sizeIndex);
    }

    // Splits the levels at the symbol's own threshold and decodes.
    bool trySplit(const std::vector<uint8_t>& levels, int sizeIndex) {
        const uint8_t split = splitLevels(levels);
        buffers_.matrix.resize(levels.size());
        for (size_t i = 0; i < levels.size(); ++i)
            buffers_.matrix[i] = levels[i] <= split;
        const SampledLevels sampled{levels, split};
        return tryMatrix(sizeIndex, &sampled);
    }

    bool tryMatrix(int sizeIndex, const SampledLevels* sampled = nullptr) {
        DecodeStatus s = DecodeStatus::GridLost;
        if (looksLikeASymbol(buffers_.matrix, sizeIndex)) {
            if (sampled_)
                sampled_(current_, sizeIndex);
            if (decode_(buffers_.matrix, sizeIndex, strict_, sampled, s))
                return true;
        }
        note(s);
        return false;
    }

    FrameSearchBuffers& buffers_;
    const BinaryFrame& frame_;
    const MatrixDecoder& decode_;
    const std::function<void(const std::array<PointD, 4>&, int)>& sampled_;
    const bool alsoMirrored_;
    const bool speculative_;
    bool strict_ = false;  // the size tried reads speculatively (see SizeFit::strict)
    // Outlines that do not read are read again with the grid on the ink's centres (see
    // tryDarkCentres): on still images, and on camera frames whose dots were closed.
    const bool alsoDotCentres_;
    const bool still_;  // a still image (see FrameSearchReadings::alsoClosed)
    FrameSearchResult result_;
    std::array<PointD, 4> current_{};  // the corners being sampled
    DecodeStatus best_ = DecodeStatus::NoFinder;
    DecodeStatus outlineBest_ = DecodeStatus::NoFinder;  // of the outline being read
    bool sized_ = false;         // some size's alternating sides read as they must for this outline
    std::vector<SizeFit> fits_;  // the sizes the last readAt tried
    // The corners and size of the outline's first size whose sides read as they must.
    std::optional<std::pair<std::array<PointD, 4>, int>> regionCandidate_;
    RefinementBudget& budget_;
};

// One search of the thresholded frame as it stands.
FrameSearchResult searchThresholded(FinderTurn turn, FrameSearchBuffers& buffers,
                                    const MatrixDecoder& decode,
                                    const FrameSearchReadings& readings, bool speculative,
                                    MapWindow area, RefinementBudget& budget, bool dotCentres) {
    OutlineReader reader(buffers, decode, readings, speculative, budget, dotCentres);
    const bool decoded = searchOutlines(
        buffers.frame, buffers.search, turn, readings.damagedFinders,
        [&](const LocatedSymbol& symbol) {
            return reader.read(symbol) ? OutlineVerdict::Enough : OutlineVerdict::NotRead;
        },
        area);
    return reader.finish(decoded);
}

// The median side of the small regions.
int32_t typicalSide(const std::vector<OutlineSearchScratch::SmallRegion>& regions) {
    std::vector<int32_t> sides;
    for (const auto& r : regions)
        sides.push_back(r.side);
    auto middle = sides.begin() + static_cast<ptrdiff_t>(sides.size() / 2);
    std::nth_element(sides.begin(), middle, sides.end());
    return *middle;
}

// The dots' scale: the radius that closes them into modules, and their pitch.
struct DotScale {
    int32_t radius = 0;
    double pitch = 0;  // the dots' typical distance to their nearest neighbour
};

// The closing radius for the small regions a search met when they look like the dots of a
// symbol: many of them, of one typical side, most with a neighbour a typical pitch away. The
// radius fills the gap between neighbouring dots with two pixels to spare but stays well below
// half the gap across a light module; radius 0 when there are too few regions to speak of dots,
// fewer than leastNeighboured with a neighbour within a pitch and a quarter, or no such radius.

DotScale closingRadius(std::vector<OutlineSearchScratch::SmallRegion>& regions,
                       size_t leastNeighboured) {
    constexpr size_t kLeastDots = 20;
    // Neighbours are looked for among this many regions (a bound on work; visited in scan
    // order, neighbours along the scan lines come close together).
    constexpr size_t kMostDots = 2000;
    if (regions.size() < kLeastDots)
        return {};
    regions.resize(std::min(regions.size(), kMostDots));
    const int32_t side = typicalSide(regions);
    // Nearest neighbour of each region (in doubled coordinates), among regions of about the
    // typical side, sorted by x so that the search stops once x alone is too far.
    std::erase_if(regions, [&](const auto& r) { return r.side * 2 < side || r.side > 2 * side; });
    std::sort(regions.begin(), regions.end(),
              [](const auto& a, const auto& b) { return a.x2 < b.x2; });
    std::vector<double> nearest;
    const int64_t reach = 2 * 4 * int64_t{side};  // a pitch is at most twice the dot
    for (size_t i = 0; i < regions.size(); ++i) {
        int64_t best = reach * reach;
        for (size_t j = i + 1; j < regions.size() && regions[j].x2 - regions[i].x2 < reach; ++j) {
            const int64_t dx = regions[j].x2 - regions[i].x2;
            const int64_t dy = regions[j].y2 - regions[i].y2;
            best = std::min(best, dx * dx + dy * dy);
        }
        for (size_t j = i; j-- > 0 && regions[i].x2 - regions[j].x2 < reach;) {
            const int64_t dx = regions[j].x2 - regions[i].x2;
            const int64_t dy = regions[j].y2 - regions[i].y2;
            best = std::min(best, dx * dx + dy * dy);
        }
        if (best < reach * reach)
            nearest.push_back(std::sqrt(static_cast<double>(best)) / 2);
    }
    if (nearest.size() < kLeastDots)
        return {};
    auto mid = nearest.begin() + static_cast<ptrdiff_t>(nearest.size() / 2);
    std::nth_element(nearest.begin(), mid, nearest.end());
    const double pitch = std::max(*mid, static_cast<double>(side));
    // Across a light module the gap is two pitches less a dot; the closing keeps a pixel and a
    // half of it each side (blur and jitter narrow it).
    const double joining = std::ceil((pitch - side) / 2) + 2;
    const double keeping = std::floor((2 * pitch - side) / 2 - 1.5);
    const double radius = std::min(joining, keeping);
    constexpr double kNeighbourPitches = 1.25;
    const auto neighboured = static_cast<size_t>(std::count_if(
        nearest.begin(), nearest.end(), [&](double d) { return d < kNeighbourPitches * pitch; }));
    if (neighboured < leastNeighboured || radius < 1)
        return {};
    return {static_cast<int32_t>(radius), pitch};
}

// A printed frame around a mark (a part's label border, the box an etched mark sits in): an
// outline each of whose sides, along most of its length, is a dark line followed inward by light
// at least as wide. A symbol's alternating sides are dark along half their length at most, its
// finder's sides are followed by data; a solid block is dark inward. Gives the quadrilateral
// inside the frame's ink: each side fitted to the ink's inner edge, moved in by a margin for
// blur. The outline of a frame that runs off the picture is fitted to the part the picture
// shows, so the ink may lie some pixels in or out from it; sides off the picture are not tested
// (then moved in as far as the others' ink reaches), but three must be.
std::optional<std::array<PointD, 4>> insidePrintedFrame(const BinaryFrame& f,
                                                        const std::array<PointD, 4>& c) {
    constexpr int kRays = 16;
    constexpr double kFirstRay = 0.15;    // rays along the middle of each side, off its corners
    constexpr double kLeastFramed = 0.8;  // share of a side's rays that must show the frame
    constexpr double kBlurMargin = 2;     // pixels beyond the ink
    constexpr double kEdgeTolerance = 1.5;
    constexpr double kLeastSide = 24;
    double shortest = INFINITY;
    for (size_t i = 0; i < 4; ++i)
        shortest = std::min(shortest, length(c[(i + 1) % 4] - c[i]));
    if (!(shortest >= kLeastSide))
        return std::nullopt;
    const double deepest = shortest / 4;
    // A ray looks for the ink this far either side of the outline (fitted askew where the frame
    // runs off the picture).
    const double mostLead = std::max(4.0, deepest / 3);
    const PointD centre = 0.25 * (c[0] + c[1] + c[2] + c[3]);
    auto inFrame = [&](PointD p) {
        return p.x >= -0.5 && p.y >= -0.5 && p.x < f.width - 0.5 && p.y < f.height - 0.5;
    };
    auto dark = [&](PointD p) {
        return f.dark[static_cast<size_t>(std::lround(p.y)) * f.width +
                      static_cast<size_t>(std::lround(p.x))] != 0;
    };
    std::array<PointD, 4> inward;
    std::array<std::optional<Line>, 4> edges;  // the ink's inner edge, of each side tested
    std::vector<double> depths;
    std::vector<PointD> ends;
    int sidesTested = 0;
    for (size_t i = 0; i < 4; ++i) {
        const PointD a = c[i];
        const PointD along = c[(i + 1) % 4] - a;
        const PointD dir = (1 / length(along)) * along;
        inward[i] = {-dir.y, dir.x};
        if (dot(inward[i], centre - a) < 0)
            inward[i] = -1.0 * inward[i];
        int tested = 0;
        ends.clear();
        for (int k = 0; k < kRays; ++k) {
            const PointD p = a + (kFirstRay + (1 - 2 * kFirstRay) * k / (kRays - 1)) * along;
            if (!inFrame(p + 0.5 * inward[i]) || !inFrame(p + deepest * inward[i]))
                continue;
            ++tested;
            double d = 0.5 - mostLead;
            while (d < mostLead && !(inFrame(p + d * inward[i]) && dark(p + d * inward[i])))
                d += 1;
            const double inkFrom = d;
            while (d < deepest && dark(p + d * inward[i]))
                d += 1;
            const double ink = d - inkFrom;
            while (d < deepest && !dark(p + d * inward[i]))
                d += 1;
            const double light = d - inkFrom - ink;
            if (ink >= 1 && light >= std::max(2.0, ink)) {
                depths.push_back(inkFrom + ink - 0.5);
                ends.push_back(p + depths.back() * inward[i]);
            }
        }
        if (tested < kRays / 2)
            continue;
        ++sidesTested;
        if (ends.size() < kLeastFramed * tested)
            return std::nullopt;
        edges[i] = fitLine(ends, kEdgeTolerance);
    }
    if (sidesTested < 3)
        return std::nullopt;
    auto middle = depths.begin() + static_cast<ptrdiff_t>(depths.size() / 2);
    std::nth_element(depths.begin(), middle, depths.end());
    std::array<Line, 4> sides;
    for (size_t i = 0; i < 4; ++i) {
        sides[i] = edges[i]
                       ? Line{edges[i]->point + kBlurMargin * inward[i], edges[i]->direction}
                       : Line{c[i] + (*middle + kBlurMargin) * inward[i], c[(i + 1) % 4] - c[i]};
    }
    std::array<PointD, 4> inside;
    for (size_t i = 0; i < 4; ++i) {
        const auto corner = intersect(sides[(i + 3) % 4], sides[i]);
        if (!corner)
            return std::nullopt;
        inside[i] = *corner;
    }
    return inside;
}

}  // namespace

FrameSearchResult searchWholeFrame(const GrayImage& image, FinderTurn turn,
                                   FrameSearchBuffers& buffers, const MatrixDecoder& decode,
                                   FrameSearchReadings readings) {
    buffers.located.clear();
    if (!thresholdLocally(image, buffers.frame))
        return {};
    FrameSearchResult best;
    bool inverted = false;               // the frame is in its negative
    std::array<int32_t, 2> radius{};     // closing radius per polarity
    std::array<double, 2> pitch{};       // the dots' pitch, per polarity
    std::array<int32_t, 2> side{};       // typical side of the small regions, per polarity
    std::array<double, 2> module{};      // finder thickness of an outline found, per polarity
    std::array<PointD, 4> firstOutline;  // the first outline found in the frame as it is
    RefinementBudget budget;
    bool closed = false;      // the map is closed
    bool joinedDots = false;  // the closed dot map's regions are joined across a corner gap
    MapWindow area;           // where the scan lines go
    // The frame turned to the polarity asked for.
    auto polarity = [&](bool negative) {
        if (negative != inverted)
            invertFrame(buffers.frame);
        inverted = negative;
    };
    // Half the module of the outline found in the polarity: the scale a scratch is joined at.
    auto halfModule = [&](bool negative) {
        return std::max(1, static_cast<int32_t>(std::lround(module[negative] / 2)));
    };
    // One search in the polarity; true once it decoded. On failure the search that got
    // furthest speaks.
    auto search = [&](bool negative) {
        polarity(negative);
        if (readings.alsoClosed)
            budget = {};  // a still image: each search its own
        // The negative and the closed map offer the most false outlines (texture, the inside
        // of large symbols, joined noise): they read speculatively.
        const bool speculative =
            negative || (closed && (buffers.frame.connected.empty() || joinedDots));
        // A still image reads every outline again on the ink's centres; a camera frame only
        // those of its closed dot map.
        const bool dotCentres = readings.alsoClosed || (readings.alsoDots && closed);
        FrameSearchResult result = searchThresholded(turn, buffers, decode, readings, speculative,
                                                     area, budget, dotCentres);
        result.inverted = negative;
        // The first search of each polarity measures its small regions, for the closed maps.
        auto& regions = buffers.search.smallRegions;
        if ((readings.alsoClosed || readings.alsoDots) && buffers.frame.connected.empty() &&
            !closed) {
            constexpr size_t kLeastModules = 8;
            side[negative] = regions.size() >= kLeastModules ? typicalSide(regions) : 0;
            // A camera frame closes the dots only when many of them show a neighbour a pitch
            // away: the few a page of print or texture shows are not worth its time.
            constexpr size_t kLeastCameraDots = 32;
            const DotScale dots =
                closingRadius(regions, readings.alsoClosed ? 0 : kLeastCameraDots);
            radius[negative] = dots.radius;
            pitch[negative] = dots.pitch;
        }
        if (module[negative] == 0 && result.located && !closed) {
            module[negative] = result.moduleSize;
            if (!negative)
                firstOutline = result.firstOutline;
        }
        if (result.decoded || decodeProgress(result.status) > decodeProgress(best.status))
            best = result;
        return result.decoded;
    };
    if (search(false))
        return best;
    // A printed frame among the outlines the first search located, its inside searched last.
    constexpr size_t kMostFrameTests = 3;
    std::optional<std::array<PointD, 4>> insideFrame;
    for (size_t i = 0; i < std::min(buffers.located.size(), kMostFrameTests) && !insideFrame; ++i)
        insideFrame = insidePrintedFrame(buffers.frame, buffers.located[i].corners);
    // A mark inside a printed frame whose ink kept the mark's modules near it light: the inside
    // thresholded on its own, the frame left out, and searched with refinements of its own.
    auto searchInsideFrame = [&]() {
        if (!insideFrame)
            return;
        polarity(false);
        thresholdWithin(buffers.frame, *insideFrame);
        closed = false;
        joinedDots = false;
        const auto& c = *insideFrame;
        const auto [xMin, xMax] = std::minmax({c[0].x, c[1].x, c[2].x, c[3].x});
        const auto [yMin, yMax] = std::minmax({c[0].y, c[1].y, c[2].y, c[3].y});
        auto at = [](double v) { return static_cast<int32_t>(std::clamp(v, -1.0, 1e9)); };
        area = {at(xMin), at(yMin), at(xMax) + 1, at(yMax) + 1};
        budget = {};
        search(false);
    };
    if (readings.alsoInverted && search(true))
        return best;
    // The closed and joined maps of one polarity, in turn; true once one decoded.
    auto searchClosed = [&](bool negative) {
        polarity(negative);
        // Separate dots closed into modules: first only the regions of a dot's size (the
        // surface's streaks and grain, closed with them, join the symbol to its surroundings),
        // then all (dots that touch make larger regions).
        if (radius[negative] > 0) {
            closeDotMap(buffers.frame, radius[negative], side[negative], buffers.regionWork);
            closed = true;
            if (search(negative))
                return true;
            closeDarkMap(buffers.frame, radius[negative]);
            if (search(negative))
                return true;
        }
        // A symbol cut apart by a light scratch (or modules parted by ink loss) joined into one
        // region but measured as it is: joined at half the module of an outline found (most
        // likely a part of the symbol), else at the dots' scale, else across the scratches of
        // the smallest modules.
        constexpr int32_t kSmallestJoin = 2;
        const int32_t join = module[negative] > 0   ? halfModule(negative)
                             : radius[negative] > 0 ? radius[negative]
                                                    : kSmallestJoin;
        connectDarkRegions(buffers.frame, join);
        if (search(negative))
            return true;
        // No outline at all: the finder may have lost modules where its arms meet, which parts
        // the row from the column. Joined across gaps of up to three modules (the small regions'
        // typical side taken for a module, as the data's lone modules show it).
        constexpr double kCornerGapModules = 1.6;
        if (module[negative] == 0 && side[negative] > 0) {
            connectDarkRegions(buffers.frame,
                               static_cast<int32_t>(std::ceil(kCornerGapModules * side[negative])));
            if (search(negative))
                return true;
        }
        // Dots whose finder lost the modules where its arms meet: the dot map closed again, its
        // regions joined across such a gap (in pitches, as above) but measured as closed.
        if (radius[negative] > 0) {
            closeDotMap(buffers.frame, radius[negative], side[negative], buffers.regionWork);
            connectClosedRegions(buffers.frame, static_cast<int32_t>(std::ceil(kCornerGapModules *
                                                                               pitch[negative])));
            closed = true;
            joinedDots = true;
            if (search(negative))
                return true;
            joinedDots = false;
        }
        return false;
    };
    if (!readings.alsoClosed) {
        // Separate dots (a dot-peen mark, a label with ink loss): each polarity that showed many
        // of them a pitch apart read through its closed and joined maps as a still image is.
        // Frames without such dots pay nothing for it.
        if (readings.alsoDots) {
            for (const bool negative : {false, true}) {
                if (radius[negative] == 0 || (negative && !readings.alsoInverted))
                    continue;
                if (searchClosed(negative))
                    return best;
            }
        }
        // A symbol a scratch cut apart, when part of it was found: its regions joined at half
        // the module of that part, measured as they are, around that part (the rest of the
        // symbol lies within twice its size). The dark map's dots joined it over the whole frame.
        if (readings.alsoJoined && module[0] > 0 && !(readings.alsoDots && radius[0] > 0)) {
            polarity(false);
            const auto& c = firstOutline;
            const auto [xMin, xMax] = std::minmax({c[0].x, c[1].x, c[2].x, c[3].x});
            const auto [yMin, yMax] = std::minmax({c[0].y, c[1].y, c[2].y, c[3].y});
            const double reach = 2 * std::max(xMax - xMin, yMax - yMin);
            auto at = [](double v) { return static_cast<int32_t>(std::clamp(v, -1.0, 1e9)); };
            area = {at(xMin - reach), at(yMin - reach), at(xMax + reach) + 1, at(yMax + reach) + 1};
            connectDarkRegions(buffers.frame, halfModule(false), area);
            if (search(false))
                return best;
        }
        searchInsideFrame();
        return best;
    }
    for (const bool negative : {false, true}) {
        if (negative && !readings.alsoInverted)
            continue;
        if (searchClosed(negative))
            return best;
    }
    searchInsideFrame();
    return best;
}

int32_t collectWholeFrame(const GrayImage& image, FinderTurn turn, FrameSearchBuffers& buffers,
                          const MatrixDecoder& decode, const FrameSearchReadings& readings,
                          SymbolCollection& collection) {
    buffers.located.clear();
    if (!thresholdLocally(image, buffers.frame))
        return 0;
    const bool negative = readings.alsoInverted;
    if (negative)
        invertFrame(buffers.frame);
    // A symbol is passed over with its quiet zone's first pixels: the pieces at its edge.
    constexpr double kPassOverMargin = 2;
    for (const auto& outline : collection.known)
        passOver(buffers.frame, outline, kPassOverMargin);
    RefinementBudget budget;
    OutlineReader reader(buffers, decode, readings, negative, budget, readings.alsoClosed);
    int32_t count = 0;
    searchOutlines(buffers.frame, buffers.search, turn, readings.damagedFinders,
                   [&](const LocatedSymbol& symbol) {
                       if (!reader.read(symbol))
                           return OutlineVerdict::NotRead;
                       const FrameSearchResult found = reader.lastRead(negative);
                       ++count;
                       collection.known.push_back(found.corners);
                       passOver(buffers.frame, found.corners, kPassOverMargin);
                       budget = {};
                       return collection.found(found) ? OutlineVerdict::Read
                                                      : OutlineVerdict::Enough;
                   });
    return count;
}

}  // namespace dm
