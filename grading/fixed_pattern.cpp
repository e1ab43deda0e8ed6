#include "grading/fixed_pattern.h"

#include <algorithm>
#include <array>
#include <map>
#include <utility>

#include "symbology/symbol_size.h"

namespace dm {
namespace {

using Kind = PatternSegment::Kind;

// Grade of a finder or quiet-zone segment with this many damaged modules.
double segmentGrade(int32_t damaged) {
    return std::max(0, 4 - damaged);
}

// Grade of a clock and alignment segment with this share of its modules damaged.
double clockGrade(double share) {
    constexpr std::array<double, 4> kMostDamaged{0.0, 0.09, 0.13, 0.17};
    for (int i = 0; i < 4; ++i) {
        if (share <= kMostDamaged[i] + 1e-9)
            return 4 - i;
    }
    return 0;
}

double gradeAt(const PatternSegment& segment, const std::vector<ModuleReading>& modules,
               int level) {
    int32_t damaged = 0;
    for (const int32_t m : segment.modules)
        damaged += modules[m].marginGrade < level;
    if (segment.kind == Kind::ClockAndAlignment)
        return clockGrade(static_cast<double>(damaged) / segment.modules.size());
    return segmentGrade(damaged);
}

// The grade of the level: the lowest pattern's mean segment grade, at most the level.
double levelGrade(const std::vector<PatternSegment>& segments,
                  const std::vector<ModuleReading>& modules, int level) {
    std::array<double, 5> sum{};
    std::array<int32_t, 5> count{};
    for (const PatternSegment& s : segments) {
        const auto k = static_cast<size_t>(s.kind);
        sum[k] += gradeAt(s, modules, level);
        ++count[k];
    }
    double grade = level;
    for (size_t k = 0; k < sum.size(); ++k) {
        if (count[k] > 0)
            grade = std::min(grade, sum[k] / count[k]);
    }
    return grade;
}

}  // namespace

FixedPattern fixedPatternOf(int32_t sizeIndex) {
    FixedPattern out;
    if (!isValidSizeIndex(sizeIndex))
        return out;
    const SymbolSize& s = symbolSize(sizeIndex);
    const int32_t rows = s.symbolRows;
    const int32_t cols = s.symbolCols;
    const int32_t regionsDown = verticalRegions(s);
    const int32_t regionsAcross = horizontalRegions(s);
    const int32_t h = rows / regionsDown;
    const int32_t w = cols / regionsAcross;
    std::map<std::pair<int32_t, int32_t>, int32_t> index;
    // Adds module (r, c) to the segment, and to the pattern modules, once each.
    auto add = [&](PatternSegment& segment, int32_t r, int32_t c, bool dark) {
        const auto [it, added] =
            index.try_emplace({r, c}, static_cast<int32_t>(out.modules.size()));
        if (added) {
            ModuleReading m;
            m.row = r;
            m.col = c;
            m.dark = dark;
            out.modules.push_back(m);
        }
        if (std::find(segment.modules.begin(), segment.modules.end(), it->second) ==
            segment.modules.end())
            segment.modules.push_back(it->second);
    };
    auto segment = [&](Kind kind) -> PatternSegment& {
        out.segments.push_back(PatternSegment{kind, {}, 0, {}});
        return out.segments.back();
    };
    for (int32_t i = 0; i < regionsDown; ++i) {
        PatternSegment& finder = segment(Kind::L1);
        for (int32_t r = i * h; r < (i + 1) * h; ++r)
            add(finder, r, 0, true);
        PatternSegment& quiet = segment(Kind::QZL1);
        for (int32_t r = i * h; r < (i + 1) * h; ++r)
            add(quiet, r, -1, false);
    }
    for (int32_t j = 0; j < regionsAcross; ++j) {
        PatternSegment& finder = segment(Kind::L2);
        for (int32_t c = j * w; c < (j + 1) * w; ++c)
            add(finder, rows - 1, c, true);
        PatternSegment& quiet = segment(Kind::QZL2);
        for (int32_t c = j * w; c < (j + 1) * w; ++c)
            add(quiet, rows, c, false);
    }
    // Each region's alternating top row and right column, and its solid left column and bottom
    // row where those lie inside the symbol (inner alignment patterns).
    for (int32_t i = 0; i < regionsDown; ++i) {
        for (int32_t j = 0; j < regionsAcross; ++j) {
            PatternSegment& clock = segment(Kind::ClockAndAlignment);
            const int32_t r0 = i * h;
            const int32_t c0 = j * w;
            for (int32_t c = 0; c < w; ++c)
                add(clock, r0, c0 + c, c % 2 == 0);
            for (int32_t r = 1; r < h; ++r)
                add(clock, r0 + r, c0 + w - 1, r % 2 != 0);
            if (j > 0) {
                for (int32_t r = 0; r < h; ++r)
                    add(clock, r0 + r, c0, true);
            }
            if (i + 1 < regionsDown) {
                for (int32_t c = 1; c < w; ++c)
                    add(clock, r0 + h - 1, c0 + c, true);
            }
        }
    }
    return out;
}

double gradeFixedPattern(const std::vector<ModuleReading>& modules,
                         std::vector<PatternSegment>& segments) {
    double best = 0;
    int bestLevel = 1;  // with no level above 0, segments are shown at the most lenient
    for (int level = 4; level >= 1; --level) {
        const double grade = levelGrade(segments, modules, level);
        if (grade > best) {
            best = grade;
            bestLevel = level;
        }
    }
    // Damaged modules at the level above the grade: what kept it from being higher.
    const int above = static_cast<int>(best) + 1;
    for (PatternSegment& s : segments) {
        s.grade = gradeAt(s, modules, bestLevel);
        s.damaged.clear();
        if (above <= 4) {
            for (const int32_t m : s.modules) {
                if (modules[m].marginGrade < above)
                    s.damaged.push_back(m);
            }
        }
    }
    return best;
}

}  // namespace dm
