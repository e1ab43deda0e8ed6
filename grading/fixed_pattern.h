#pragma once

#include <cstdint>
#include <vector>

#include "grading/print_quality.h"

namespace dm {

// The fixed pattern of a symbol of sizeIndex: every finder, clock track and alignment module
// and the quiet-zone modules beside the solid finder, each with the colour it must have, and
// the segments they are graded in. Symbols of several data regions have one segment of each
// finder side and its quiet zone per region along it, and one clock and alignment segment per
// region. Module centres and readings are left for the caller.
struct FixedPattern {
    std::vector<ModuleReading> modules;
    std::vector<PatternSegment> segments;
};
FixedPattern fixedPatternOf(int32_t sizeIndex);

// Fixed pattern damage from the modules' margin grades: at each grade level, a module graded
// below it is damaged; a finder or quiet-zone segment is graded on its count of damaged modules
// and a clock and alignment segment on their share; each of the five patterns (L1, L2, QZL1,
// QZL2, clocks and alignment) takes the mean grade of its segments, and the level's grade is
// the lowest pattern's, at most the level. The grade is the best level's. Sets each segment's
// grade and damaged modules.
double gradeFixedPattern(const std::vector<ModuleReading>& modules,
                         std::vector<PatternSegment>& segments);

}  // namespace dm
