#pragma once

#include <cstdint>
#include <optional>

#include "decoder/decoder_records.h"
#include "detection/finder/finder_search.h"
#include "detection/finder/line_geometry.h"

namespace dm {

// Whether the candidate pixel lies on an arm of a solid L finder. On success the context holds
// corner, xEnd, yEnd (module centres), moduleSize and searchResult FinderFound; searchResult
// becomes FirstArm once a first arm has been confirmed.
bool testFinderCandidate(DetectionContext& context, Point candidate, ScanDirection direction);

// The second arm through the corner, roughly perpendicular to the first. On success corner,
// yEnd and moduleSize (the second arm's module estimate) are set.
std::optional<Segment> findSecondArm(DetectionContext& context, const Segment& first);

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

// Thickness of the arm at its thinner end, which becomes p1 (the corner end becomes p0).
int32_t estimateArmModule(const GrayImage& image, Segment& arm);

// Moves the stepper's point (an arm end, the stepper aimed from the corner toward it) to the
// centre of the arm's last module. Returns the arm's thickness there, 0 on failure.
int32_t centreArmEnd(const GrayImage& image, LineStepper& stepper);

// Moves the corner point onto the centre of the corner module.
bool centreCorner(const GrayImage& image, Point& corner, int32_t firstAngle, int32_t secondAngle,
                  int32_t moduleSize);

// Orders xEnd and yEnd so that corner->xEnd turns to corner->yEnd like +x turns to +y.
void orientFinder(DetectionContext& context);

}  // namespace dm
