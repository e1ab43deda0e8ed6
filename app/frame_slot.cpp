#include "app/frame_slot.h"

#include <cstring>
#include <new>

namespace dm {

GrabberResult FrameSlot::BufferCB(double /*sampleTime*/, const uint8_t* buffer, int32_t length,
                                  VideoFormat size) {
    if (!requestPending.load(std::memory_order_acquire) ||
        frameReady.load(std::memory_order_acquire)) {
        return GrabberResult::Ok;
    }
    if (buffer == nullptr || length < 0) {
        return GrabberResult::Pointer;
    }
    bool idle = false;
    if (!filling.compare_exchange_strong(idle, true, std::memory_order_acq_rel)) {
        return GrabberResult::Ok;  // another thread copies a frame for this request
    }
    // Whoever filled before us may have published its frame since the check above.
    if (frameReady.load(std::memory_order_acquire)) {
        filling.store(false, std::memory_order_release);
        return GrabberResult::Ok;
    }
    const GrabberResult result = copyFrame(buffer, length, size);
    filling.store(false, std::memory_order_release);
    return result;
}

GrabberResult FrameSlot::copyFrame(const uint8_t* buffer, int32_t length, VideoFormat size) {
    if (frameCapacity < length) {
        frameBuffer = {};
        frameCapacity = 0;
    }
    if (frameBuffer.empty() && length > 0) {
        try {
            frameBuffer.resize(static_cast<size_t>(length));
        } catch (const std::bad_alloc&) {
            frameCapacity = 0;
            return GrabberResult::OutOfMemory;
        }
        frameCapacity = length;
    }
    if (length > 0) {
        std::memcpy(frameBuffer.data(), buffer, static_cast<size_t>(length));
    }
    frameLength = length;
    copiedSize = size;
    frameReady.store(true, std::memory_order_release);
    if (wake) {
        wake();
    }
    return GrabberResult::Ok;
}

bool FrameSlot::beginRequest() {
    bool expected = false;
    if (!requestPending.compare_exchange_strong(expected, true, std::memory_order_acq_rel)) {
        return false;
    }
    frameReady.store(false, std::memory_order_release);
    return true;
}

std::span<const uint8_t> FrameSlot::takeFrame() {
    const std::span<const uint8_t> frame(frameBuffer.data(), static_cast<size_t>(frameLength));
    requestPending.store(false, std::memory_order_release);
    return frame;
}

}  // namespace dm
