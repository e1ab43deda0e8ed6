#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tests/support/frame_synth.h"

namespace dm::test {

// DM_FULL_SWEEP set in the environment: the sweeps run their full grids instead of their fast
// subsets, and print their figures.
bool fullSweep();

// One frame of a sweep: a symbol size at a module size and rotation, clean or lightly blurred
// with noise.
struct SweepCase {
    int sizeIndex = 0;
    double moduleSize = 0;  // pixels
    double angle = 0;       // picture rotation, degrees
    bool rough = false;
};

// "24x24 module 6 angle 45", with " blurred, noisy" for a rough case.
std::string describe(const SweepCase& c);

// The full grid over the sizes first..last: every angleStep degrees, module sizes 4 to 10, and
// each clean and rough when withRough.
std::vector<SweepCase> fullGrid(int firstSize, int lastSize, int angleStep, bool withRough);

// A sweep's count: frames tried and passed, and the misses, one "case: why" line each.
struct SweepTally {
    int total = 0;
    int passed = 0;
    std::string misses;

    // An empty miss is a pass.
    void add(const SweepCase& c, const std::string& miss);
    double rate() const { return total ? static_cast<double>(passed) / total : 0; }
    // "what: 95 of 96 (98.96%)".
    std::string summary(std::string_view what) const;
    // Prints the summary when the full sweep was asked for.
    void report(std::string_view what) const;
};

}  // namespace dm::test
