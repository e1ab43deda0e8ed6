#pragma once

#include <cstdint>

#include "detection/finder_pass/finder_search.h"
#include "detection/finder_pass/symbol_measurement.h"
#include "detection/shared/decoder_records.h"

namespace dm {

// Square symbols of 2 x 2 (32 x 32 to 52 x 52), 4 x 4 (64 x 64 to 104 x 104) and 6 x 6
// (120 x 120 to 144 x 144) data regions: trace the inner alignment lines, sample every region
// and assemble the context's module matrix. Fail with OutOfMemory, GridLost or
// AlignmentMismatch. The inner mark lists are released before returning.
bool sampleRegions2x2(DecodeStatus& status, TimingRecord& timing, DetectionContext& context);
bool sampleRegions4x4(DecodeStatus& status, TimingRecord& timing, DetectionContext& context);
bool sampleRegions6x6(DecodeStatus& status, TimingRecord& timing, DetectionContext& context);

}  // namespace dm
