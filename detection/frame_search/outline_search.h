#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "detection/frame_search/local_threshold.h"
#include "detection/shared/geometry.h"

namespace dm {

using Vec2 = PointD;

// Which way the solid L turns in stored coordinates (x to the right, y along the stored rows),
// from the solid row (corner toward its far end) to the solid column: like +x turns to +y (a
// printed symbol in a bottom-up frame), or the other way (a top-down image, or a mirror image
// in a bottom-up frame).
enum class FinderTurn { PlusXToPlusY, PlusXToMinusY };

// A symbol outline found in the frame.
struct LocatedSymbol {
    // Outer corners in stored pixel coordinates (pixel centres at whole numbers), in standard
    // orientation: top left (far end of the solid column), top right, bottom right (far end of
    // the solid row), bottom left (the corner of the L).
    std::array<Vec2, 4> corners;
    double moduleSize = 0;       // finder thickness in pixels
    bool damagedFinder = false;  // read as a finder with modules missing (see searchOutlines)
};

// A run still to fill: a pixel of it, and the run of the neighbouring row it was found from.
struct FillSeed {
    int32_t x, y;
    int32_t fromY, fromLeft, fromRight;
};

// Buffers of one search, kept from frame to frame.
struct OutlineSearchScratch {
    std::vector<int32_t> rowLeft, rowRight;  // per row: the region's leftmost, rightmost x
    std::vector<int32_t> colTop, colBottom;  // per column: its lowest and highest y
    std::vector<FillSeed> seeds;             // runs still to fill
    std::vector<Vec2> outline;               // the region's outermost pixel edges
    std::vector<int32_t> outlineSlots;       // their counting sort by x
    std::vector<Vec2> hull;
    std::vector<Vec2> side;           // outline points near one side
    std::vector<double> runs;         // finder thickness samples
    std::vector<double> depths;       // depths sampled along a ray toward a far side
    std::vector<Vec2> offsets;        // those depths along the ray's direction
    std::vector<double> slopes;       // tilts tried for a far side
    std::vector<int32_t> histograms;  // candidates per tilt and offset
    // The round regions too small to test (3 pixels across and up, about as wide as high and
    // filling most of their box) the last search met: a symbol made of separate dots shows as
    // many of them, of the dot's size and a pitch apart.
    struct SmallRegion {
        int32_t side;    // the longer extent of its bounding box
        int32_t x2, y2;  // twice its bounding box's centre
    };
    std::vector<SmallRegion> smallRegions;
};

// What the reader of an outline made of it.
enum class OutlineVerdict {
    NotRead,  // the search goes on
    Read,     // a symbol: the search goes on for more, with a fresh bound on regions tested
    Enough,   // a symbol, and no more are wanted: the search ends
};

// Searches the thresholded frame for symbols: dark regions met by row and column scan lines
// spaced so that any finder arm of 8 modules of 3 pixels is crossed at any rotation, lines
// nearest the centre first. Each region is traced once (its pixels are marked, so a later line
// through it costs nothing); one that outlines a quadrilateral with two solid sides meeting as
// the turn says and two alternating ones is handed to accept. Ends when accept says Enough, or
// when the frame is covered or the work bound is reached; true when accept read some outline.
// An outline that does not read is read again as a damaged finder (modules of its arms missing)
// up to damagedReadings times per search (and again after each outline read); when that bound is
// not INT32_MAX, only damaged outlines whose far side alternates are handed over. The scan lines
// may be kept to an area of the frame (regions they meet are followed beyond it).
bool searchOutlines(BinaryFrame& frame, OutlineSearchScratch& scratch, FinderTurn turn,
                    int32_t damagedReadings,
                    const std::function<OutlineVerdict(const LocatedSymbol&)>& accept,
                    MapWindow area = {});

// Marks the dark pixels within the outline (grown by margin pixels all round) as searched, so
// that the search passes over a symbol already read and the pieces inside it.
void passOver(BinaryFrame& frame, const std::array<Vec2, 4>& outline, double margin);

}  // namespace dm
