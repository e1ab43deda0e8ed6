#pragma once

#include <chrono>
#include <deque>
#include <mutex>

namespace dm {

// Counts decoded frames and tells how many of them fell within the last second. Safe to use
// from several threads.
class DecodeRate {
  public:
    using Clock = std::chrono::steady_clock;

    void count(Clock::time_point at = Clock::now());
    int perSecond(Clock::time_point now = Clock::now()) const;

  private:
    void forgetBefore(Clock::time_point limit) const;

    mutable std::mutex lock;
    mutable std::deque<Clock::time_point> times;  // of the decodes within the last second
};

}  // namespace dm
