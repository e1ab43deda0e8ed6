#pragma once

#include <cstdint>

#include "decoder/decoder_records.h"
#include "detection/finder/finder_search.h"
#include "detection/sampling/symbol_measurement.h"

namespace dm {

// Square symbols of 2 x 2 (32 x 32 to 52 x 52), 4 x 4 (64 x 64 to 104 x 104) and 6 x 6
// (120 x 120 to 144 x 144) data regions: trace the inner alignment lines, sample every region
// and assemble the context's module matrix. Fail with OutOfMemory, GridLost or
// AlignmentMismatch. The inner mark lists are released before returning.
bool sampleRegions2x2(DecodeStatus& status, TimingRecord& timing, DetectionContext& context);
bool sampleRegions4x4(DecodeStatus& status, TimingRecord& timing, DetectionContext& context);
bool sampleRegions6x6(DecodeStatus& status, TimingRecord& timing, DetectionContext& context);

// Trace every inner row and column into the timing record's inner mark lists (which must be
// allocated), check their mark counts and put the marks in order from the finder side.
bool traceInnerLines2x2(DecodeStatus& status, TimingRecord& timing,
                        const DetectionContext& context);
bool traceInnerLines4x4(DecodeStatus& status, TimingRecord& timing,
                        const DetectionContext& context);
bool traceInnerLines6x6(DecodeStatus& status, TimingRecord& timing,
                        const DetectionContext& context);

// Walk one inner row (toward -u) or inner column (toward -v) from the seed, the centre of its
// light module on the far column or far row, for seed.radius steps, into inner list
// listIndex. Marks come out from the far side toward the finder. False when a gap cannot be
// centred or the list is full.
bool traceInnerRow(const GrayImage& image, int32_t listIndex, const SearchSeed& seed,
                   TimingRecord& timing);
bool traceInnerColumn(const GrayImage& image, int32_t listIndex, const SearchSeed& seed,
                      TimingRecord& timing);

// Centre a light module of an inner row (column) between its dark neighbours and put it half
// positions above (left of) the solid row (column) that follows. False when the point starts
// outside the image extents.
bool recentreRowGap(Point& point, int32_t half, const GrayImage& image);
bool recentreColumnGap(Point& point, int32_t half, const GrayImage& image);

// Move the point to the first dark position in one direction, the point itself included, and
// return the distance; 0 and no move when there is none.
int32_t nearestDarkBelow(const GrayImage& image, Point& point);
int32_t nearestDarkAbove(const GrayImage& image, Point& point);
int32_t nearestDarkLeft(const GrayImage& image, Point& point);
int32_t nearestDarkRight(const GrayImage& image, Point& point);

}  // namespace dm
