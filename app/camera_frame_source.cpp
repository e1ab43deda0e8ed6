#include "app/camera_frame_source.h"

#include <QCamera>
#include <QCameraDevice>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QPointer>
#include <QVideoWidget>
#include <cstdlib>
#include <optional>

#include "app/video_frame_hook.h"

namespace dm {
namespace {

// The video input whose description equals name, or the first one when name is empty.
std::optional<QCameraDevice> ChooseCaptureDevice(const QString& name) {
    const QList<QCameraDevice> inputs = QMediaDevices::videoInputs();
    for (const QCameraDevice& device : inputs) {
        if (name.isEmpty() || device.description() == name) {
            return device;
        }
    }
    return std::nullopt;
}

// The format closest to 640 x 480, the camera's usual preview size.
QCameraFormat chooseFormat(const QCameraDevice& device) {
    const QList<QCameraFormat> formats = device.videoFormats();
    QCameraFormat best;
    long long bestDistance = -1;
    for (const QCameraFormat& format : formats) {
        const QSize size = format.resolution();
        if (size.isEmpty()) {
            continue;
        }
        const long long distance =
            std::abs(static_cast<long long>(size.width()) * size.height() - 640LL * 480LL);
        if (bestDistance < 0 || distance < bestDistance) {
            best = format;
            bestDistance = distance;
        }
    }
    return best;
}

class CameraFrameSource final : public FrameSource {
  public:
    CameraFrameSource() {
        QObject::connect(&devices, &QMediaDevices::videoInputsChanged, &devices, [this] {
            if (camera && !QMediaDevices::videoInputs().contains(device)) {
                reportLost();  // unplugged: not every backend raises an error for it
            }
            if (inputsChanged) {
                inputsChanged();
            }
        });
    }
    ~CameraFrameSource() override { stop(); }

    bool start(const FrameSink& frameSink, QWidget* videoParent, VideoFormat& format) override {
        stop();
        const std::optional<QCameraDevice> chosen = ChooseCaptureDevice(QString());
        if (!chosen) {
            return false;
        }
        const QCameraFormat cameraFormat = chooseFormat(*chosen);
        if (cameraFormat.isNull()) {
            return false;
        }
        device = *chosen;
        sink = frameSink;
        camera = std::make_unique<QCamera>(device);
        camera->setCameraFormat(cameraFormat);
        session = std::make_unique<QMediaCaptureSession>();
        session->setCamera(camera.get());
        video = new QVideoWidget(videoParent);  // owned by the capture window
        session->setVideoOutput(video.data());
        const QSize size = cameraFormat.resolution();
        hook = connectFrameHook(video->videoSink(), sink, size);

        camera->start();
        if (camera->error() != QCamera::NoError) {
            stop();
            return false;
        }
        // Later failures: an error, or the camera going inactive without being stopped.
        QObject::connect(camera.get(), &QCamera::errorOccurred, camera.get(),
                         [this](QCamera::Error error) {
                             if (error != QCamera::NoError) {
                                 reportLost();
                             }
                         });
        QObject::connect(camera.get(), &QCamera::activeChanged, camera.get(), [this](bool active) {
            if (!active) {
                reportLost();
            }
        });
        format.videoWidth = size.width();
        format.videoHeight = size.height();
        return true;
    }

    void stop() override {
        QObject::disconnect(hook);
        if (camera) {
            QObject::disconnect(camera.get(), nullptr, nullptr, nullptr);
            camera->stop();
        }
        if (session) {
            session->setVideoOutput(nullptr);
            session->setCamera(nullptr);
        }
        session.reset();
        camera.reset();
        if (video) {
            video->hide();
            video->deleteLater();
        }
    }

    QWidget* videoWindow() const override { return video.data(); }

  private:
    // Tells the owner once that the running camera is gone; it stops the source itself.
    void reportLost() {
        if (!camera) {
            return;
        }
        QObject::disconnect(camera.get(), nullptr, nullptr, nullptr);
        if (sink.lost) {
            sink.lost();
        }
    }

    QMediaDevices devices;
    QCameraDevice device;
    FrameSink sink;
    std::unique_ptr<QCamera> camera;
    std::unique_ptr<QMediaCaptureSession> session;
    QPointer<QVideoWidget> video;
    QMetaObject::Connection hook;
};

}  // namespace

std::unique_ptr<FrameSource> makeCameraFrameSource() {
    return std::make_unique<CameraFrameSource>();
}

}  // namespace dm
