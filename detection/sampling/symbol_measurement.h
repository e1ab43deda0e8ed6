#pragma once

#include "decoder/decoder_records.h"

namespace dm {

// Walks the timing patterns, looks up the size and samples the module matrix.
bool measureSymbol(DecodeStatus& status, DetectionContext& context);

}  // namespace dm
