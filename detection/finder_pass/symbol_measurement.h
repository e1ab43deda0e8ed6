#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "detection/finder_pass/finder_search.h"
#include "detection/finder_pass/line_geometry.h"
#include "detection/shared/decoder_records.h"

namespace dm {

// Room in each far timing list; the largest symbol needs 72 marks.
inline constexpr int kMaxFarMarks = 80;
// Inner alignment lines of the largest region layout (6 x 6 regions).
inline constexpr int kMaxInnerLines = 5;

// Centres of the dark modules of one inner alignment line. points is sized by the sampler
// that fills it; count entries are in use.
struct MarkList {
    std::vector<Point> points;
    int32_t count = 0;
};

// Scratch record of one measureSymbol call, handed on to the samplers.
struct TimingRecord {
    std::array<Point, kMaxFarMarks> farRowMarks{};     // mark k: far row, module column 2k
    std::array<Point, kMaxFarMarks> farColumnMarks{};  // mark k: far column, module row 2k
    int32_t columnCount = 0;                           // 2 x far row marks
    int32_t rowCount = 0;                              // 2 x far column marks
    std::array<MarkList, kMaxInnerLines> innerRowMarks;
    std::array<MarkList, kMaxInnerLines> innerColumnMarks;
    float pitchX = 0;  // finder thickness during the walks, then the module pitch
    float pitchY = 0;
};

// Walks the timing patterns, looks up the size and samples the module matrix (row 0 = the
// solid row through corner and xEnd). Fails with NoSizeMatch, GridLost, AlignmentMismatch or
// OutOfMemory; the matrix is then released.
bool measureSymbol(DecodeStatus& status, DetectionContext& context);

// Crossing of line a1-a2 (near horizontal) with line b1-b2 (near vertical); (1, 1) when the
// lines are degenerate or the crossing has a negative coordinate.
Point intersectLines(Point a1, Point a2, Point b1, Point b2);

// intersectLines split for a grid of crossings: each line is set up once (its slope divided out)
// and then crossed with many lines of the other family, with the same result.
struct RowLine {
    Point a1;
    double h = 0;  // dy/dx
    bool degenerate = false;
};
struct ColumnLine {
    Point b1;
    double g = 0;  // dx/dy
    bool degenerate = false;
};
RowLine rowLine(Point a1, Point a2);
ColumnLine columnLine(Point b1, Point b2);
Point intersectLines(const RowLine& a, const ColumnLine& b);

}  // namespace dm
