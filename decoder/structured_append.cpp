#include "decoder/structured_append.h"

#include <algorithm>

namespace dm {
namespace {

// The longest series a symbol can name.
constexpr int kMaxAppendTotal = 16;

}  // namespace

std::vector<AppendSeries> joinStructuredAppend(std::span<const DecodeResult> symbols) {
    std::vector<AppendSeries> series;
    for (size_t i = 0; i < symbols.size(); ++i) {
        const DecodeResult& s = symbols[i];
        // The count is kept modulo 16: 0 stands for a series of 16.
        const int total = s.appendTotal == 0 ? kMaxAppendTotal : s.appendTotal;
        if (!s.decoded || s.appendPosition < 1 || total < 2 || s.appendPosition > total)
            continue;
        auto it = std::find_if(series.begin(), series.end(), [&](const AppendSeries& a) {
            return a.fileId1 == s.fileId1 && a.fileId2 == s.fileId2 && a.total == total;
        });
        if (it == series.end()) {
            AppendSeries fresh;
            fresh.fileId1 = s.fileId1;
            fresh.fileId2 = s.fileId2;
            fresh.total = static_cast<uint8_t>(total);
            fresh.members.assign(static_cast<size_t>(total), -1);
            series.push_back(std::move(fresh));
            it = series.end() - 1;
        }
        const size_t slot = s.appendPosition - 1u;
        const int32_t held = it->members[slot];
        if (held < 0) {
            it->members[slot] = static_cast<int32_t>(i);
        } else if (symbols[static_cast<size_t>(held)].text != s.text &&
                   std::find(it->conflicting.begin(), it->conflicting.end(), s.appendPosition) ==
                       it->conflicting.end()) {
            it->conflicting.push_back(s.appendPosition);
        }
    }
    for (AppendSeries& a : series) {
        std::sort(a.conflicting.begin(), a.conflicting.end());
        for (size_t p = 0; p < a.members.size(); ++p) {
            if (a.members[p] < 0)
                a.missing.push_back(static_cast<uint8_t>(p + 1));
        }
        if (a.joined()) {
            for (const int32_t m : a.members)
                a.text += symbols[static_cast<size_t>(m)].text;
        }
    }
    return series;
}

}  // namespace dm
