#pragma once

#include <cstdint>
#include <functional>

class QWidget;

namespace dm {

// Width and height of the frames a source delivers (positive height: bottom-up rows).
struct VideoFormat {
    int32_t videoWidth = 0;
    int32_t videoHeight = 0;
};

// Where a source hands its frames. wanted() and deliver() are called on the thread that
// produces the frame: wanted() tells whether a frame would be taken now, so that frames nobody
// asked for cost no conversion; deliver() receives one 24-bit bottom-up BGR frame, rows padded
// to 4 bytes, at the size it was captured (which may differ from the format the source
// started with when the backend chose another). lost() is called on the user-interface thread when
// a started source has stopped for good (an error, the camera unplugged).
struct FrameSink {
    std::function<bool()> wanted;
    std::function<void(const uint8_t* buffer, int32_t length, VideoFormat size)> deliver;
    std::function<void()> lost;
};

// Something that delivers camera-format frames: the camera, or a test feeder.
class FrameSource {
  public:
    virtual ~FrameSource() = default;

    // Starts delivery into sink and shows a live preview (if the source has one) inside
    // videoParent. Fills format on success; false when nothing could be started.
    virtual bool start(const FrameSink& sink, QWidget* videoParent, VideoFormat& format) = 0;

    // Stops delivery; no callback runs after it returns.
    virtual void stop() = 0;

    // The child window that shows the preview, or null.
    virtual QWidget* videoWindow() const = 0;

    // Called on the user-interface thread whenever the set of cameras changes, started or
    // not, so that a camera plugged in later can be used.
    std::function<void()> inputsChanged;
};

}  // namespace dm
