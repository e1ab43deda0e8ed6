#pragma once

#include <QRect>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <memory>

#include "app/frame_grabber.h"
#include "app/frame_slot.h"
#include "app/frame_source.h"
#include "app/latest_frame.h"

namespace dm {

// Fits a video of the given size into a window of w x h with its aspect ratio kept, centred.
// Empty when the window or the video has no height.
std::optional<QRect> fitVideo(int32_t videoWidth, int32_t videoHeight, int w, int h);

// Child window that runs a frame source, shows its live picture and hands single frames to
// the user-interface thread on request; while its frame stream is open, it also hands every
// frame to the stream's worker.
class CCaptureWindow : public QWidget, public FrameGrabber {
    Q_OBJECT
  public:
    // Without a source the window uses the system's first camera.
    explicit CCaptureWindow(QWidget* parent, std::unique_ptr<FrameSource> source = nullptr);
    ~CCaptureWindow() override;

    // True when frames flow; true at once when they already do.
    bool StartCamera();

    // Waits for the next frame while the thread's events keep being handled. Nothing at once
    // when the camera is not running or a request is already pending; nothing after
    // grabTimeout without a frame (the request is then withdrawn). After silentGrabLimit such
    // time-outs in a row the camera counts as lost; so it does, while the frame stream is open,
    // after as many grabTimeout periods in a row without a frame for the stream.
    std::optional<GrabbedFrame> GrabFrame() override;

    void StopCamera();

    // Centres the preview in the window with the video's aspect ratio.
    bool PlaceVideo();

    // Shows or hides the live preview (something else may stand over the video area).
    void setPreviewVisible(bool visible);

    // Where every frame goes while it is open, for a worker that decodes each one.
    std::shared_ptr<LatestFrame> frameStream() const { return stream; }

    bool isRunning() const { return running != 0; }
    bool requestPending() const { return slot->pending(); }
    QRect videoRectangle() const { return videoRect; }
    VideoFormat format() const { return videoFormat; }
    int silentGrabCount() const { return silentGrabs; }

    std::chrono::milliseconds grabTimeout{2000};
    int silentGrabLimit = 3;

  signals:
    // The running camera failed, was unplugged or stayed silent; the window has stopped it.
    void cameraLost();
    // The set of cameras changed (one may have been plugged in).
    void camerasChanged();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void onSourceLost();
    void watchStream();

    std::unique_ptr<FrameSource> source;
    std::shared_ptr<FrameSlot> slot;
    std::shared_ptr<LatestFrame> stream;
    int32_t running = 0;
    bool started = false;  // the source was started (successfully or not) since the last stop
    int silentGrabs = 0;   // time-outs in a row, or silent periods of the open stream
    QTimer streamWatch;
    int64_t streamFramesSeen = -1;  // the stream's count of frames at the last look
    bool previewWanted = true;      // the preview is shown while the camera runs
    QRect videoRect;
    VideoFormat videoFormat;
};

}  // namespace dm
