#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "decoder/decode_image.h"
#include "detection/shared/geometry.h"
#include "grading/reflectance_image.h"

namespace dm {

// The module grid of a symbol as measured in the image, and the regular grid that fits it best.
struct MeasuredGrid {
    // Symbol coordinates (u across the columns, v down the rows, in modules, (0, 0) the outer
    // top-left corner) to picture coordinates, through the measured outer edges.
    Homography outline;
    // Module centres as the clock tracks place them, rows x cols, row-major.
    std::vector<ImagePoint> centres;
    // The regular grid: module (r, c) at origin + (c + 0.5) colStep + (r + 0.5) rowStep.
    ImagePoint origin;
    ImagePoint colStep;
    ImagePoint rowStep;
    double moduleSize = 0;  // mean of the two steps' lengths, pixels
    // |X - Y| / mean of the steps; the largest distance of a centre from its regular place as a
    // fraction of the module size.
    double axialNonuniformity = 0;
    double gridNonuniformity = 0;
    // Print growth: how far the edges of dark modules lie outside their nominal places, in
    // modules, across the columns (X) and down the rows (Y); negative for ink loss.
    double growthX = 0;
    double growthY = 0;
};

// Measures the grid of the symbol of sizeIndex that the map from symbol coordinates roughly
// places: its four outer edges, the print growth from the runs of the alternating rows and
// columns (the outline then moved in by it), then the module edges along every alternating row and
// column (the clock tracks and the inner alignment patterns), each where the reflectance crosses
// the threshold. A module centre lies on the line through its column's centre on the nearest
// alternating row above it and its row's centre on the nearest alternating column to its right.
// Nothing when the measured edges do not form a quadrilateral.
std::optional<MeasuredGrid> measureGrid(const ReflectanceImage& image, const Homography& rough,
                                        int32_t sizeIndex, double threshold);

// The grid with every module centre where the measured outline puts it, the middle of its cell,
// instead of where the clock tracks place it: for marks whose clock tracks are dots or whose
// edges cannot be followed. The regular grid is fitted again; the growth stays.
MeasuredGrid cellCentredGrid(const MeasuredGrid& grid, int32_t rows, int32_t cols);

// The grid of a rows x cols symbol with the centre of each cell that dark marks (row-major, 1 a
// dark cell) moved onto the centre of the ink within it, for marks whose dots lie off their
// cells' middles (a dot-peen stylus placed with some jitter): the darkness-weighted centre of
// the pixels (darkness the reflectance below the threshold) within a dot's radius, found again
// from there a few times and never farther than a bound from where it started. It starts from
// the centre the grid gave, from there moved by the median shift of all the dark cells' ink,
// and from the middle of the cell in the outline, whichever finds the most ink. A dark cell with
// little ink within reach (its dot missing) keeps its centre, and so does every light cell. The
// regular grid, non-uniformities and growth stay those measured: the ink's place is read, not
// graded.
MeasuredGrid inkCentredGrid(const ReflectanceImage& image, const MeasuredGrid& grid,
                            std::span<const uint8_t> dark, int32_t rows, int32_t cols,
                            double threshold, double darkest);

}  // namespace dm
