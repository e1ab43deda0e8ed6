#pragma once

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <vector>

#include "detection/shared/decoder_records.h"
#include "detection/shared/geometry.h"

namespace dm {

// Side of the square tiles that carry their own threshold.
inline constexpr int32_t kThresholdTile = 8;

// A gray copy of the frame (stored rows in order) and its dark map under a threshold per tile.
// The vectors are kept from one frame to the next, so a decoder reuses them.
struct BinaryFrame {
    int32_t width = 0;
    int32_t height = 0;
    int32_t tilesX = 0;
    int32_t tilesY = 0;
    std::vector<uint8_t> gray;           // width x height
    std::vector<uint8_t> smooth;         // gray smoothed by a 3 x 3 binomial kernel
    std::vector<uint8_t> dark;           // width x height: 0 light, non-zero dark
    std::vector<uint8_t> tileThreshold;  // tilesX x tilesY: a value below it is dark
    // When not empty, the dark map closed at a small scale (see connectDarkRegions): the outline
    // search fills its regions and measures on the dark map itself.
    std::vector<uint8_t> connected;
    // The radius the dark map itself was closed at (closeDarkMap, closeDotMap); 0 as thresholded.
    int32_t closedRadius = 0;
    // Per tile, the lowest and highest 2 x 2 block sums and the tile's pixel sum, their extremes
    // over each tile's window, and the working rows that compute them.
    struct Scratch {
        std::vector<uint16_t> tileLow;
        std::vector<uint16_t> tileHigh;
        std::vector<uint16_t> tileSum;  // in 2 x 2 blocks: sum / 16 = 4 x mean
        std::vector<uint16_t> windowLow;
        std::vector<uint16_t> windowHigh;
        std::vector<uint16_t> meanLow;
        std::vector<uint16_t> meanHigh;
        std::vector<int32_t> spreads;
        std::vector<uint16_t> rowSums;                        // three rows
        std::vector<uint16_t> blockLow, blockHigh, blockSum;  // one per 2 x 2 block column
        std::vector<uint16_t> paddedLow, paddedHigh, rowLow, rowHigh;
        std::vector<uint8_t> pixelThresholds;  // one row
    } scratch;

    uint8_t thresholdAt(int32_t x, int32_t y) const {
        return tileThreshold[static_cast<size_t>(y / kThresholdTile) * tilesX + x / kThresholdTile];
    }

    // The threshold of the pixel nearest (x, y) and the gray level there by bilinear
    // interpolation, both with the point clamped into the frame; any value is safe, even one
    // that is not finite (a map far beyond its symbol can give such). Inline: the grid fits
    // call them for every module of every candidate map.
    uint8_t thresholdNear(double x, double y) const {
        return thresholdAt(static_cast<int32_t>(clampCoordinate(x + 0.5, width - 1)),
                           static_cast<int32_t>(clampCoordinate(y + 0.5, height - 1)));
    }

    double grayAt(double x, double y) const {
        x = clampCoordinate(x, width - 1.001);
        y = clampCoordinate(y, height - 1.001);
        const auto x0 = static_cast<int32_t>(x);
        const auto y0 = static_cast<int32_t>(y);
        const double fx = x - x0;
        const double fy = y - y0;
        const uint8_t* p = gray.data() + static_cast<size_t>(y0) * width + x0;
        const double top = p[0] + fx * (p[1] - p[0]);
        const double bottom = p[width] + fx * (p[width + 1] - p[width]);
        return top + fy * (bottom - top);
    }

    // The map whose regions the outline search fills (and marks).
    uint8_t* regionMap() { return connected.empty() ? dark.data() : connected.data(); }

  private:
    // v clamped to [0, high]; NaN becomes 0.
    static double clampCoordinate(double v, double high) { return v > 0 ? std::min(v, high) : 0.0; }
};

// Converts the image (as first set: pixel extents) to gray, smooths it lightly against noise
// and thresholds every tile at the middle of the darkest and lightest 2 x 2 blocks within two
// tiles around it. Tiles whose
// surroundings are plain (their tile means differ too little: noise alone makes the block
// extremes differ) are light throughout. False when every tile is plain: nothing to find.
bool thresholdLocally(const GrayImage& image, BinaryFrame& frame);

// The dark map closed by a square of 2 radius + 1 pixels (dilated by radius, then eroded by a
// pixel less, which keeps dots along a diagonal joined): gaps up to 2 radius pixels wide between
// dark parts are filled, so separate dots and modules parted by ink loss become one region,
// a pixel larger all round. Starts from the tile thresholds, whatever marks a search left in the
// map.
void closeDarkMap(BinaryFrame& frame, int32_t radius);

// The same, keeping before the closing only the dark regions the size of a dot of the given
// side or of a few dots joined: the streaks and grain of brushed or cast metal, which the
// closing would join to each other and to the symbol, are left out. work is scratch space.
void closeDotMap(BinaryFrame& frame, int32_t radius, int32_t side, std::vector<int32_t>& work);

// A part of the frame: columns x0 to x1 - 1, rows y0 to y1 - 1 (clamped to the frame).
struct MapWindow {
    int32_t x0 = 0, y0 = 0;
    int32_t x1 = INT32_MAX, y1 = INT32_MAX;
};

// The dark map from the tile thresholds again, and a copy of it closed (within the window) by
// a square of 2 radius + 1 pixels as the map whose regions the search fills: a symbol crossed
// by a light scratch is one region again, while the search measures it on the dark map as it is.
void connectDarkRegions(BinaryFrame& frame, int32_t radius, MapWindow window = {});

// The dark map kept as it stands (a closed dot map) as the map the search measures on, and a
// copy of it closed by a square of 2 radius + 1 pixels as the map whose regions the search
// fills: a finder of dots that lost the modules where its arms meet is one region again.
void connectClosedRegions(BinaryFrame& frame, int32_t radius);

// The dark map again within a convex quadrilateral (corners in order, pixel centres at whole
// numbers) from thresholds of the levels inside it alone, and light everywhere else. A mark
// inside a printed frame needs it: the frame's ink, far darker than a low-contrast mark, sets the
// tiles' thresholds around it below the mark's modules near the frame. The tiles that the
// quadrilateral's box meets take thresholds from their windows' blocks inside it (0 where none
// lie inside or the window is plain); the others keep theirs. Starts from the smoothed levels and
// the frame's own thresholding (thresholdLocally, not inverted).
void thresholdWithin(BinaryFrame& frame, const std::array<PointD, 4>& inside);

// Turns the thresholded frame into its negative: gray and smoothed levels inverted, each tile's
// threshold moved with them, so that exactly the pixels of textured tiles that were light are
// dark. Light symbols on a dark ground then read as printed ones do.
void invertFrame(BinaryFrame& frame);

}  // namespace dm
