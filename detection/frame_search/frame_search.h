#pragma once

// The frame search: finds a symbol anywhere in the frame, under a threshold per tile, and
// samples it through a perspective grid. It reads frames the finder pass cannot (symbols off
// centre, in perspective, on uneven light, stretched unevenly, mirrored), and every frame the
// finder pass reads, but at several times its cost; the reading order (decoder/reading.h) runs
// it after the finder pass.

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "detection/frame_search/local_threshold.h"
#include "detection/frame_search/outline_search.h"
#include "detection/shared/decoder_records.h"

namespace dm {

// An outline the frame search located and how far its reading got (decodeProgress).
struct LocatedOutline {
    std::array<PointD, 4> corners;
    int32_t progress = 0;
};

// Buffers of the frame search, kept by a reader from one image to the next.
struct FrameSearchBuffers {
    // Every outline the last searchWholeFrame located and read without decoding, in the order
    // read (a reader of a reduced frame reads the likeliest again at full resolution).
    std::vector<LocatedOutline> located;
    BinaryFrame frame;
    OutlineSearchScratch search;
    std::vector<uint8_t> levels;
    std::vector<uint8_t> sharpened;
    std::vector<uint8_t> matrix;
    std::vector<int32_t> regionWork;  // the pixels still to visit while the dots are measured
};

// The gray levels a module matrix was split from (same layout) and the level it was split at:
// the modules near that level are the doubtful ones.
struct SampledLevels {
    std::span<const uint8_t> levels;
    uint8_t split = 0;
};

// Decodes a sampled module matrix (standard orientation, 1 = dark) of the given size; true when
// it held a message. speculative marks the readings that offer the most false outlines (the
// negative, the closed map, a size whose shape is far from the outline's), whose reads the
// decoder may hold to a stricter rule. sampled, when
// given, says which modules are doubtful. On failure status says how far the decode got.
using MatrixDecoder =
    std::function<bool(std::span<const uint8_t> matrix, int sizeIndex, bool speculative,
                       const SampledLevels* sampled, DecodeStatus& status)>;

// What the frame search found: on success the symbol's outer corners (top left, top right,
// bottom right, bottom left in standard orientation, stored pixel coordinates); otherwise
// status says how far the best outline got.
struct FrameSearchResult {
    bool decoded = false;
    bool located = false;                // some outline with a finder was found
    double moduleSize = 0;               // the finder thickness of the first outline found, pixels
    std::array<PointD, 4> firstOutline;  // the first outline found (when located)
    bool mirrored = false;               // decoded as the mirror image of the turn asked for
    bool inverted = false;               // light modules on a dark ground
    std::array<PointD, 4> corners;
    DecodeStatus status = DecodeStatus::NoFinder;
};

// The readings the frame search makes beyond dark symbols with the turn asked for.
struct FrameSearchReadings {
    // An outline that does not read with the turn asked for is read as its mirror image too
    // (the other arm as the solid row), with a bound of its own on the refinements.
    bool alsoMirrored = false;
    // When no dark symbol reads, the frame's negative is searched as well (light symbols on a
    // dark ground), with bounds of its own.
    bool alsoInverted = false;
    // When still nothing reads and a search met many small regions of one size (separate dots,
    // modules parted by ink loss, pieces of a symbol a scratch cut apart), the dark map closed
    // at that size is searched as well, in each polarity searched; then the dark map as it is
    // with its regions joined at that size.
    bool alsoClosed = false;
    // Without alsoClosed (a camera frame): when nothing reads and a search met many small
    // regions a dot pitch apart, each polarity that showed them is searched through the closed
    // and joined maps as alsoClosed searches them (the dots' regions closed at that pitch, then
    // all regions, then joined), its outlines also read with the grid on the ink's centres.
    // Frames without such regions pay nothing for it.
    bool alsoDots = false;
    // Without alsoClosed: when an outline was found but nothing read, the dark map is searched
    // once more with its regions joined at half that outline's module (a symbol a scratch cut
    // apart).
    bool alsoJoined = false;
    // Outlines per search that are read again, when they do not read, as damaged finders
    // (modules of the solid arms missing); each costs about as much as the outline did.
    int32_t damagedFinders = 0;
    // When set, told the outer corners (as FrameSearchResult gives them) and the size of every
    // sampling that looks like a symbol, before it is decoded: a caller that reads symbols its
    // own way (the grading) learns where the search sampled, whether or not it decodes.
    std::function<void(const std::array<PointD, 4>& corners, int sizeIndex)> sampled = {};
};

// Reading every symbol of a frame instead of the first (see collectWholeFrame).
struct SymbolCollection {
    // Outer corners (stored coordinates, as FrameSearchResult gives them) of symbols already
    // read some other way: the search passes over them, as over each symbol it reads.
    std::vector<std::array<PointD, 4>> known;
    // Called with each symbol that decodes (decoded, corners, mirrored and inverted set) while
    // the decoder still holds its message; false when no more are wanted.
    std::function<bool(const FrameSearchResult&)> found;
};

// Looks for a symbol anywhere in the image (pixel extents as first set) and hands each matrix
// it samples to decode until one decodes.
FrameSearchResult searchWholeFrame(const GrayImage& image, FinderTurn turn,
                                   FrameSearchBuffers& buffers, const MatrixDecoder& decode,
                                   FrameSearchReadings readings = {});

// Reads every symbol of the frame: the dark map (with alsoInverted its negative instead) searched
// through to its end, each outline read as searchWholeFrame reads it, every symbol read
// handed to collection.found and passed over from then on, each with a fresh bound on work.
// The closed and joined maps are not searched. Returns the number of symbols read.
int32_t collectWholeFrame(const GrayImage& image, FinderTurn turn, FrameSearchBuffers& buffers,
                          const MatrixDecoder& decode, const FrameSearchReadings& readings,
                          SymbolCollection& collection);

}  // namespace dm
