#include "detection/finder_pass/region_sampling.h"

#include <algorithm>
#include <vector>

#include "detection/finder_pass/finder_normalisation.h"
#include "detection/finder_pass/symbol_measurement.h"

namespace dm {
namespace {

// Centre of alternating-line module `index`: mark index/2 for a dark module, the midpoint of
// the two dark neighbours for a light one.
Point alternatingCentre(std::span<const Point> marks, int32_t index) {
    if (index % 2 == 0)
        return marks[index / 2];
    return midpoint(marks[(index - 1) / 2], marks[(index + 1) / 2]);
}

// Marks an alternating line of `modules` modules needs for its interior lines.
size_t marksNeeded(int32_t modules) {
    return static_cast<size_t>((modules + 1) / 2);
}

std::span<const Point> usedMarks(const std::array<Point, kMaxFarMarks>& marks, int32_t count) {
    return std::span<const Point>(marks).first(
        static_cast<size_t>(std::clamp(count / 2, 0, kMaxFarMarks)));
}

}  // namespace

uint8_t isDarkAt(const GrayImage& image, Point point) {
    return gridSample(image, point.y, point.x) <= image.threshold ? 1 : 0;
}

bool sampleRegion(const RegionRecord& region) {
    const int32_t rows = region.rows;
    const int32_t columns = region.columns;
    if (region.image == nullptr || rows < 2 || columns < 2 ||
        region.farColumnMarks.size() < marksNeeded(rows) ||
        region.farRowMarks.size() < marksNeeded(columns) ||
        region.modules.size() < static_cast<size_t>(rows) * static_cast<size_t>(columns)) {
        return false;
    }
    const GrayImage& image = *region.image;
    const Point origin = region.origin;
    // Pitches from the region itself: mark 0 of each far line lies on the region's first
    // row or column.
    const float pX =
        static_cast<float>(region.farColumnMarks[0].x - origin.x) / static_cast<float>(columns - 1);
    const float pY =
        static_cast<float>(region.farRowMarks[0].y - origin.y) / static_cast<float>(rows - 1);

    if (origin.y < 0 ||
        static_cast<float>(rows - 1) * pY + static_cast<float>(origin.y) >
            static_cast<float>(gridWalkHeight(image)) ||
        origin.x < 0 ||
        static_cast<float>(columns - 1) * pX + static_cast<float>(origin.x) >
            static_cast<float>(gridWalkWidth(image))) {
        return false;
    }

    // Column lines are the same for every row: set them up once.
    std::vector<ColumnLine> columnLines(static_cast<size_t>(columns));
    for (int32_t c = 1; c <= columns - 2; ++c) {
        const Point top{
            static_cast<int32_t>(static_cast<float>(c) * pX + static_cast<float>(origin.x)),
            origin.y};
        columnLines[static_cast<size_t>(c)] =
            columnLine(top, alternatingCentre(region.farRowMarks, c));
    }
    for (int32_t r = 1; r <= rows - 2; ++r) {
        const Point left{origin.x, static_cast<int32_t>(static_cast<float>(r) * pY +
                                                        static_cast<float>(origin.y))};
        const RowLine row = rowLine(left, alternatingCentre(region.farColumnMarks, r));
        for (int32_t c = 1; c <= columns - 2; ++c) {
            region.modules[static_cast<size_t>(r) * columns + c] =
                isDarkAt(image, intersectLines(row, columnLines[static_cast<size_t>(c)]));
        }
    }

    // The border is known: solid first column and row, alternating last column and row.
    for (int32_t i = 0; i < rows; ++i) {
        region.modules[static_cast<size_t>(i) * columns] = 1;
        region.modules[static_cast<size_t>(i) * columns + columns - 1] = i % 2 == 0 ? 1 : 0;
    }
    for (int32_t j = 0; j < columns; ++j) {
        region.modules[j] = 1;
        region.modules[static_cast<size_t>(rows - 1) * columns + j] = j % 2 == 0 ? 1 : 0;
    }
    return true;
}

bool sampleSingleRegion(DecodeStatus& status, const TimingRecord& timing,
                        DetectionContext& context) {
    RegionRecord region;
    region.image = context.image;
    region.origin = context.corner;
    region.farColumnMarks = usedMarks(timing.farColumnMarks, timing.rowCount);
    region.rows = timing.rowCount;
    region.farRowMarks = usedMarks(timing.farRowMarks, timing.columnCount);
    region.columns = timing.columnCount;
    region.modules = context.moduleMatrix;
    if (!sampleRegion(region)) {
        status = DecodeStatus::GridLost;
        return false;
    }
    return true;
}

}  // namespace dm
