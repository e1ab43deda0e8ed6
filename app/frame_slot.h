#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "app/frame_source.h"

namespace dm {

// Result codes of the grabber callback, as the capture service knows them.
enum class GrabberResult : uint32_t {
    Ok = 0,
    Pointer = 0x80004003u,      // no buffer delivered
    OutOfMemory = 0x8007000Eu,  // the copy buffer could not be allocated
};

// Hand-over point between the capture side and the user-interface thread. A frame is copied
// only while a request is waiting and published with a release store of frameReady; the
// user-interface thread reads frameReady with an acquire load before it touches the buffer.
// No lock: the flags are the whole protocol. Frames may come from more than one thread, or
// from the user-interface thread itself; the filling flag lets one copy at a time.
class FrameSlot {
  public:
    // Capture side, any thread: copies buffer for the waiting request; drops it when nobody
    // asked, a frame has already been copied for this request, or another thread is copying.
    // size is the frame's own width and height; none (zero) leaves them to the video format.
    GrabberResult BufferCB(double sampleTime, const uint8_t* buffer, int32_t length,
                           VideoFormat size = {});

    // User-interface thread: idle -> waiting. False when a request is already pending.
    bool beginRequest();
    // User-interface thread: whether the callback has published a frame (acquire).
    bool frameArrived() const { return frameReady.load(std::memory_order_acquire); }
    // User-interface thread, after frameArrived(): the copied frame; then back to idle.
    std::span<const uint8_t> takeFrame();
    // User-interface thread, after frameArrived(): the size the copied frame came with.
    VideoFormat frameSize() const { return copiedSize; }
    // User-interface thread: gives up a request that saw no frame.
    void cancelRequest() { requestPending.store(false, std::memory_order_release); }

    bool pending() const { return requestPending.load(std::memory_order_acquire); }
    int32_t capacity() const { return frameCapacity; }

    // Called by the capture thread after a frame has been published, to wake the waiting
    // thread. Set it before frames flow.
    std::function<void()> wake;

  private:
    GrabberResult copyFrame(const uint8_t* buffer, int32_t length, VideoFormat size);

    std::atomic<bool> requestPending{false};
    std::atomic<bool> frameReady{false};
    std::atomic<bool> filling{false};
    std::vector<uint8_t> frameBuffer;  // only grows
    int32_t frameCapacity = 0;
    int32_t frameLength = 0;
    VideoFormat copiedSize;
};

}  // namespace dm
