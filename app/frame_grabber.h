#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace dm {

// One frame as the capture side hands it over; the bytes belong to the capture side and stay
// valid until the next request.
struct GrabbedFrame {
    std::span<const uint8_t> buffer;
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitCount = 0;
};

// Asks for the next frame; nothing when no frame can be had now.
class FrameGrabber {
  public:
    virtual ~FrameGrabber() = default;
    virtual std::optional<GrabbedFrame> GrabFrame() = 0;
};

}  // namespace dm
