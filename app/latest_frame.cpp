#include "app/latest_frame.h"

#include <utility>

namespace dm {

bool LatestFrame::isOpen() const {
    const std::lock_guard<std::mutex> guard(lock);
    return opened;
}

void LatestFrame::offer(const uint8_t* buffer, int32_t length, VideoFormat size) {
    if (buffer == nullptr || length <= 0) {
        return;
    }
    StreamFrame frame;
    {
        const std::lock_guard<std::mutex> guard(lock);
        if (!opened) {
            return;
        }
        if (!spare.empty()) {
            frame.bytes = std::move(spare.back());
            spare.pop_back();
        }
    }
    // Copied outside the lock: the worker may take the waiting frame meanwhile.
    frame.bytes.assign(buffer, buffer + length);
    frame.size = size;
    const std::lock_guard<std::mutex> guard(lock);
    if (!opened) {
        return;
    }
    ++offeredCount;
    if (waiting) {
        ++droppedCount;
        spare.push_back(std::move(waiting->bytes));
    }
    waiting = std::move(frame);
    arrived.notify_one();
}

std::optional<StreamFrame> LatestFrame::take(StreamFrame finished) {
    std::unique_lock<std::mutex> guard(lock);
    if (opened && finished.bytes.capacity() > 0 && spare.size() < 2) {
        spare.push_back(std::move(finished.bytes));
    }
    arrived.wait(guard, [this] { return !opened || waiting.has_value(); });
    if (!opened) {
        return std::nullopt;
    }
    std::optional<StreamFrame> frame = std::move(waiting);
    waiting.reset();
    return frame;
}

void LatestFrame::open() {
    const std::lock_guard<std::mutex> guard(lock);
    opened = true;
}

void LatestFrame::close() {
    {
        const std::lock_guard<std::mutex> guard(lock);
        opened = false;
        waiting.reset();
        spare.clear();  // a large frame's buffers are not kept while nobody streams
    }
    arrived.notify_all();
}

int64_t LatestFrame::offered() const {
    const std::lock_guard<std::mutex> guard(lock);
    return offeredCount;
}

int64_t LatestFrame::dropped() const {
    const std::lock_guard<std::mutex> guard(lock);
    return droppedCount;
}

}  // namespace dm
