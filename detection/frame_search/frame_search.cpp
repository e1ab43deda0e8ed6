#include "detection/frame_search/frame_search.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "detection/frame_search/perspective_grid.h"
#include "detection/frame_search/timing_grid.h"
#include "symbology/placement.h"
#include "symbology/symbol_size.h"

namespace dm {
namespace {

// A size to try for an outline.
struct SizeFit {
    double agreement = 0;
    int sizeIndex = 0;
};

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
    const auto& c = symbol.corners;
    const double width = length(c[2] - c[3]) + length(c[1] - c[0]);
    const double height = length(c[0] - c[3]) + length(c[1] - c[2]);
    const double aspect = height > 0 ? width / height : 0;
    constexpr double kAspectTolerance = 1.2;
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
                fits.push_back({agreement, i});
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

// One search of a frame: each outline the search hands over is read at its likeliest sizes,
// each size through the corners as located and then refined, each sampling thresholded in turn
// at the symbol's own level, with blur undone, at the tile thresholds and at the module centres
// the alternating sides show. Refinements are the costly step; a frame full of finder-like
// shapes gets a bounded number, and so do the mirror readings.
class OutlineReader {
  public:
    OutlineReader(FrameSearchBuffers& buffers, const MatrixDecoder& decode, bool alsoMirrored)
        : buffers_(buffers), frame_(buffers.frame), decode_(decode), alsoMirrored_(alsoMirrored) {}

    // Reads an outline as located and, when asked, as its mirror image; true once one decoded.
    bool accept(const LocatedSymbol& symbol) {
        result_.located = true;
        if (read(symbol, refinementsLeft_))
            return true;
        if (!alsoMirrored_)
            return false;
        // The mirror image: the row and column ends exchanged.
        LocatedSymbol mirror = symbol;
        std::swap(mirror.corners[0], mirror.corners[2]);
        result_.mirrored = read(mirror, mirrorRefinementsLeft_);
        return result_.mirrored;
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
    }

    bool read(const LocatedSymbol& symbol, int32_t& budget) {
        sized_ = false;
        for (const SizeFit& fit : sizesFor(frame_, symbol)) {
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

    // Decodes through the corners if the alternating sides then read as they must; alternating
    // sides that drift off the even grid can still show the size's edges.
    bool tryCorners(const std::array<PointD, 4>& corners, int sizeIndex) {
        const SymbolSize& size = symbolSize(sizeIndex);
        const auto map = symbolToImage(corners, size.symbolCols, size.symbolRows);
        if (!map)
            return false;
        if (timingAgreement(frame_, *map, size.symbolRows, size.symbolCols) <
            kLeastTimingAgreement) {
            if (!tryTimingCentres(*map, sizeIndex))
                return false;
        } else {
            sized_ = true;
            if (!tryMap(*map, sizeIndex))
                return false;
        }
        result_.corners = corners;
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
        return tryMatrix(sizeIndex);
    }

    bool tryMatrix(int sizeIndex) {
        DecodeStatus s = DecodeStatus::GridLost;
        if (looksLikeASymbol(buffers_.matrix, sizeIndex) && decode_(buffers_.matrix, sizeIndex, s))
            return true;
        note(s);
        return false;
    }

    FrameSearchBuffers& buffers_;
    const BinaryFrame& frame_;
    const MatrixDecoder& decode_;
    const bool alsoMirrored_;
    FrameSearchResult result_;
    DecodeStatus best_ = DecodeStatus::NoFinder;
    bool sized_ = false;  // some size's alternating sides read as they must for this outline
    int32_t refinementsLeft_ = kMostRefinements;
    int32_t mirrorRefinementsLeft_ = kMostMirrorRefinements;
};

}  // namespace

FrameSearchResult searchWholeFrame(const GrayImage& image, FinderTurn turn,
                                   FrameSearchBuffers& buffers, const MatrixDecoder& decode,
                                   bool alsoMirrored) {
    if (!thresholdLocally(image, buffers.frame))
        return {};
    OutlineReader reader(buffers, decode, alsoMirrored);
    int32_t located = 0;
    const bool decoded = searchOutlines(
        buffers.frame, buffers.search, turn,
        [&](const LocatedSymbol& symbol) { return reader.accept(symbol); }, located);
    return reader.finish(decoded);
}

}  // namespace dm
