#pragma once

#include "decoder/decoder_records.h"

namespace dm {

// Validates the finder and lays the normalised sampling grid over the frame.
bool normaliseFinder(DecodeStatus& status, DetectionContext& context, SamplingCache& cache);

}  // namespace dm
