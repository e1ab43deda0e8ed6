#include "tools/progress_line.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

namespace dm::tool {
namespace {

// "1:05" or "2:03:09".
std::string clockText(double seconds) {
    const long s = std::lround(seconds);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

}  // namespace

std::string progressText(size_t done, size_t total, double seconds, std::string_view unit) {
    // Room for the longest counts, rate and time; snprintf cuts what would not fit.
    char text[160];
    const auto room = [&](int used) { return sizeof text - static_cast<size_t>(used); };
    int length = std::min(std::snprintf(text, sizeof text, "[%zu/%zu]", done, total), 80);
    if (done > 0 && seconds >= 1.0) {
        const double rate = static_cast<double>(done) / seconds;
        length +=
            std::snprintf(text + length, room(length), rate < 10 ? " %.1f %.*s/s" : " %.0f %.*s/s",
                          rate, static_cast<int>(std::min<size_t>(unit.size(), 32)), unit.data());
        length = std::min(length, 120);
        if (done < total)
            std::snprintf(text + length, room(length), ", %s left",
                          clockText(static_cast<double>(total - done) / rate).c_str());
    }
    return text;
}

ProgressLine::ProgressLine(size_t total, std::string_view unit, bool wanted)
    : enabled_(wanted && ::isatty(STDERR_FILENO) == 1), total_(total), unit_(unit) {}

void ProgressLine::advance() {
    if (!enabled_)
        return;
    std::lock_guard guard(lock_);
    ++done_;
    const Clock::time_point now = Clock::now();
    // The first and the last count always show; between them, ten lines a second at most.
    if (shown_ && done_ < total_ && now - drawn_ < std::chrono::milliseconds(100))
        return;
    drawn_ = now;
    shown_ = true;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::cout.flush();  // what was printed goes before the line, not after it
    std::cerr << "\r\033[K" << progressText(done_, total_, seconds, unit_) << std::flush;
}

void ProgressLine::clear() {
    if (!enabled_)
        return;
    std::lock_guard guard(lock_);
    if (!shown_)
        return;
    std::cerr << "\r\033[K" << std::flush;
    shown_ = false;
}

}  // namespace dm::tool
