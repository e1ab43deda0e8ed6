#include "tests/support/sweeps.h"

#include <cstdio>
#include <cstdlib>

#include "symbology/symbol_size.h"

namespace dm::test {

bool fullSweep() {
    return std::getenv("DM_FULL_SWEEP") != nullptr;
}

std::string describe(const SweepCase& c) {
    const SymbolSize& s = symbolSize(c.sizeIndex);
    char text[128];
    std::snprintf(text, sizeof text, "%dx%d module %g angle %g%s", s.symbolRows, s.symbolCols,
                  c.moduleSize, c.angle, c.rough ? " blurred, noisy" : "");
    return text;
}

std::vector<SweepCase> fullGrid(int firstSize, int lastSize, int angleStep, bool withRough) {
    std::vector<SweepCase> cases;
    for (int i = firstSize; i <= lastSize; ++i) {
        for (int angle = 0; angle < 360; angle += angleStep) {
            for (int m = 4; m <= 10; ++m) {
                cases.push_back({i, static_cast<double>(m), static_cast<double>(angle), false});
                if (withRough)
                    cases.push_back({i, static_cast<double>(m), static_cast<double>(angle), true});
            }
        }
    }
    return cases;
}

void SweepTally::add(const SweepCase& c, const std::string& miss) {
    ++total;
    if (miss.empty())
        ++passed;
    else
        misses += describe(c) + ": " + miss + "\n";
}

std::string SweepTally::summary(std::string_view what) const {
    char text[160];
    std::snprintf(text, sizeof text, "%.*s: %d of %d (%.2f%%)", static_cast<int>(what.size()),
                  what.data(), passed, total, 100.0 * rate());
    return text;
}

void SweepTally::report(std::string_view what) const {
    if (fullSweep())
        std::printf("%s\n", summary(what).c_str());
}

}  // namespace dm::test
