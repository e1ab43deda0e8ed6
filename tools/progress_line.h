#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

namespace dm::tool {

// "[12/300] 4.1 files/s, 1:11 left": the count done, the rate so far and the time the rest
// takes at that rate (nothing of rate and time before a second has passed with one done).
std::string progressText(size_t done, size_t total, double seconds, std::string_view unit);

// A progress line on standard error, redrawn in place at most ten times a second, only when
// wanted and standard error is a terminal; elsewhere (a file, a pipe, a log) it writes nothing.
// Safe to advance from several threads.
class ProgressLine {
  public:
    ProgressLine(size_t total, std::string_view unit, bool wanted = true);
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    ~ProgressLine() { clear(); }

    // One more item done: redraws the line.
    void advance();
    // Erases the line, before other output goes to the terminal; the next advance draws it again.
    void clear();

  private:
    using Clock = std::chrono::steady_clock;
    const bool enabled_;
    const size_t total_;
    const std::string unit_;
    const Clock::time_point start_ = Clock::now();
    Clock::time_point drawn_{};
    size_t done_ = 0;
    bool shown_ = false;
    std::mutex lock_;
};

// One item whose output goes to the terminal: the line is cleared for it, and the item counted
// done once its output is over, however its printing ends.
class ProgressStep {
  public:
    explicit ProgressStep(ProgressLine& line) : line_(line) { line_.clear(); }
    ProgressStep(const ProgressStep&) = delete;
    ProgressStep& operator=(const ProgressStep&) = delete;
    ~ProgressStep() { line_.advance(); }

  private:
    ProgressLine& line_;
};

}  // namespace dm::tool
