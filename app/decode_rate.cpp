#include "app/decode_rate.h"

namespace dm {

void DecodeRate::count(Clock::time_point at) {
    const std::lock_guard<std::mutex> guard(lock);
    forgetBefore(at - std::chrono::seconds(1));
    times.push_back(at);
}

int DecodeRate::perSecond(Clock::time_point now) const {
    const std::lock_guard<std::mutex> guard(lock);
    forgetBefore(now - std::chrono::seconds(1));
    return static_cast<int>(times.size());
}

void DecodeRate::forgetBefore(Clock::time_point limit) const {
    while (!times.empty() && times.front() <= limit) {
        times.pop_front();
    }
}

}  // namespace dm
