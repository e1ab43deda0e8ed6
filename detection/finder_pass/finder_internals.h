#pragma once

// Steps of the finder search and the L-finder test that its own files share with the tests.
// Not for other callers: findFinder and testFinderCandidate are the stage's interface.

#include <cstdint>

#include "detection/finder_pass/finder_search.h"
#include "detection/finder_pass/line_geometry.h"
#include "detection/shared/decoder_records.h"

namespace dm {

// One directional scan: true as soon as a candidate on it passes the L-finder test.
bool scanLeft(DetectionContext& context, const SearchSeed& seed);
bool scanRight(DetectionContext& context, const SearchSeed& seed);
bool scanDown(DetectionContext& context, const SearchSeed& seed);
bool scanUp(DetectionContext& context, const SearchSeed& seed);

// Shortest first arm: 30 steps and 8 modules. The second arm is looked for only from a
// confirmed first arm's corner and may be shorter: the shortest symbol side, 8 modules of 4
// pixels seen diagonally, is walked in about 22 steps, and the cross runs that give the module
// size count whole pixels, so an arm of exactly 8 modules often measures a little over 7.
inline constexpr int32_t kMinFirstArmSteps = 30;
inline constexpr int32_t kMinFirstArmModules = 8;
inline constexpr int32_t kMinSecondArmSteps = 20;
inline constexpr int32_t kMinSecondArmModules = 7;

// Checks that the arm is at least minSteps and minModules long and has a quiet line beside it.
// Makes p0 the corner end; on success sets moduleSize.
bool validateArm(Segment& arm, DetectionContext& context, int32_t minSteps = kMinFirstArmSteps,
                 int32_t minModules = kMinFirstArmModules);

// Orders xEnd and yEnd so that corner->xEnd turns to corner->yEnd like +x turns to +y.
void orientFinder(DetectionContext& context);

}  // namespace dm
