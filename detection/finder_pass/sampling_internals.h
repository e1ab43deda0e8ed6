#pragma once

// A step of the timing walk that its own file shares with the tests. Not for other callers:
// measureSymbol is the stage's interface.

#include "detection/finder_pass/symbol_measurement.h"

namespace dm {

// Drops marks that lie beyond the far corner of the symbol.
void trimMarksAtCorner(TimingRecord& record);

}  // namespace dm
