#include "app/capture_window.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPainter>
#include <QTimer>
#include <algorithm>

#include "app/camera_frame_source.h"

namespace dm {

std::optional<QRect> fitVideo(int32_t videoWidth, int32_t videoHeight, int w, int h) {
    if (h == 0 || videoHeight == 0) {
        return std::nullopt;
    }
    const double r = static_cast<double>(videoWidth) / videoHeight;
    int pw = 0;
    int ph = 0;
    if (static_cast<double>(w) / h > r) {
        ph = h;
        pw = static_cast<int>(r * h);
    } else {
        pw = w;
        ph = static_cast<int>(w / r);
    }
    const int left = (w - pw) / 2;
    const int top = (h - ph) / 2;
    return QRect(left, top, pw, ph);
}

CCaptureWindow::CCaptureWindow(QWidget* parent, std::unique_ptr<FrameSource> frameSource)
    : QWidget(parent),
      source(frameSource ? std::move(frameSource) : makeCameraFrameSource()),
      slot(std::make_shared<FrameSlot>()),
      stream(std::make_shared<LatestFrame>()) {
    // Queued, so that the source is never stopped from inside its own notification.
    source->inputsChanged = [this] {
        QMetaObject::invokeMethod(this, &CCaptureWindow::camerasChanged, Qt::QueuedConnection);
    };
    // Wakes the user-interface thread's event wait as soon as a frame is published.
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread());
    slot->wake = [dispatcher] {
        if (dispatcher != nullptr) {
            dispatcher->wakeUp();
        }
    };
    // Frames for the stream's worker are never asked for: a camera that goes silent while
    // only the stream takes frames is noticed by looking at its count now and then.
    connect(&streamWatch, &QTimer::timeout, this, &CCaptureWindow::watchStream);
}

CCaptureWindow::~CCaptureWindow() {
    StopCamera();
}

bool CCaptureWindow::StartCamera() {
    if (running == 1) {
        return true;
    }
    if (started) {
        StopCamera();
    }
    started = true;
    silentGrabs = 0;
    // The callbacks hold the slot and the stream, so a late frame never outlives them.
    FrameSink sink;
    sink.wanted = [slot = slot, stream = stream] {
        return (slot->pending() && !slot->frameArrived()) || stream->isOpen();
    };
    sink.deliver = [slot = slot, stream = stream](const uint8_t* buffer, int32_t length,
                                                  VideoFormat size) {
        slot->BufferCB(0.0, buffer, length, size);
        stream->offer(buffer, length, size);
    };
    sink.lost = [this] {
        QMetaObject::invokeMethod(this, &CCaptureWindow::onSourceLost, Qt::QueuedConnection);
    };
    VideoFormat format;
    if (!source->start(sink, this, format)) {
        return false;
    }
    videoFormat = format;
    if (!PlaceVideo()) {
        return false;
    }
    source->videoWindow()->setVisible(previewWanted);
    running = 1;
    streamFramesSeen = -1;
    streamWatch.start(grabTimeout);
    return true;
}

std::optional<GrabbedFrame> CCaptureWindow::GrabFrame() {
    if (running == 0 || !slot->beginRequest()) {
        return std::nullopt;
    }
    const QDeadlineTimer deadline(grabTimeout, Qt::PreciseTimer);
    // Ends the event wait below at the deadline even when nothing else happens. Re-armed
    // whenever it has fired, since a timer may fire a little before the deadline.
    QTimer guard;
    guard.setSingleShot(true);
    guard.setTimerType(Qt::PreciseTimer);
    while (!slot->frameArrived()) {
        if (running == 0) {
            slot->cancelRequest();
            return std::nullopt;
        }
        if (deadline.hasExpired()) {
            slot->cancelRequest();
            if (++silentGrabs >= silentGrabLimit) {
                onSourceLost();
            }
            return std::nullopt;
        }
        if (!guard.isActive()) {
            guard.start(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    silentGrabs = 0;
    // The frame's own size when it came with one: a backend may deliver another size than the
    // format it started with, and the frame is never rescaled to fit it.
    const VideoFormat size = slot->frameSize();
    const bool sized = size.videoWidth > 0 && size.videoHeight > 0;
    GrabbedFrame frame;
    frame.width = sized ? size.videoWidth : videoFormat.videoWidth;
    frame.height = sized ? size.videoHeight : videoFormat.videoHeight;
    frame.buffer = slot->takeFrame();
    frame.bitCount = 24;
    return frame;
}

void CCaptureWindow::onSourceLost() {
    if (running == 0) {
        return;  // already stopped: a late report
    }
    StopCamera();
    emit cameraLost();
}

void CCaptureWindow::watchStream() {
    streamWatch.setInterval(grabTimeout);
    if (running == 0 || !stream->isOpen()) {
        streamFramesSeen = -1;
        return;
    }
    const int64_t offered = stream->offered();
    if (offered != streamFramesSeen) {
        streamFramesSeen = offered;
        silentGrabs = 0;
        return;
    }
    if (++silentGrabs >= silentGrabLimit) {
        onSourceLost();
    }
}

void CCaptureWindow::StopCamera() {
    streamWatch.stop();
    if (started) {
        source->stop();
    }
    started = false;
    running = 0;
}

bool CCaptureWindow::PlaceVideo() {
    QWidget* video = source ? source->videoWindow() : nullptr;
    if (video == nullptr) {
        return false;
    }
    const std::optional<QRect> fitted =
        fitVideo(videoFormat.videoWidth, videoFormat.videoHeight, width(), height());
    if (!fitted) {
        return false;
    }
    videoRect = *fitted;
    video->setGeometry(videoRect);
    video->setVisible(previewWanted);
    return true;
}

void CCaptureWindow::setPreviewVisible(bool visible) {
    previewWanted = visible;
    if (QWidget* video = source->videoWindow()) {
        video->setVisible(visible);
    }
}

void CCaptureWindow::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(192, 192, 192));
}

void CCaptureWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    PlaceVideo();
}

}  // namespace dm
