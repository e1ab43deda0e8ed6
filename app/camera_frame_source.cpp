#include "app/camera_frame_source.h"

#include <QCamera>
#include <QCameraDevice>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QPointer>
#include <QVideoWidget>
#include <optional>
#include <vector>

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

// The camera's format of the most pixels: frames reach the decoder at the camera's own
// resolution, and only the preview is scaled to the view.
QCameraFormat chooseFormat(const QCameraDevice& device) {
    const QList<QCameraFormat> formats = device.videoFormats();
    std::vector<FormatOffer> offers;
    offers.reserve(static_cast<size_t>(formats.size()));
    for (const QCameraFormat& format : formats) {
        offers.push_back(
            {format.resolution().width(), format.resolution().height(), format.maxFrameRate()});
    }
    const int chosen = chooseFormatIndex(offers);
    return chosen < 0 ? QCameraFormat() : formats[chosen];
}

}  // namespace

int chooseFormatIndex(std::span<const FormatOffer> offers) {
    const auto sized = [](const FormatOffer& offer) { return offer.width > 0 && offer.height > 0; };
    bool anyFastEnough = false;
    for (const FormatOffer& offer : offers) {
        anyFastEnough = anyFastEnough || (sized(offer) && offer.maxFrameRate >= kLeastFrameRate);
    }
    int best = -1;
    for (size_t i = 0; i < offers.size(); ++i) {
        const FormatOffer& offer = offers[i];
        if (!sized(offer) || (anyFastEnough && offer.maxFrameRate < kLeastFrameRate)) {
            continue;
        }
        if (best >= 0) {
            const FormatOffer& held = offers[static_cast<size_t>(best)];
            const long long pixels = static_cast<long long>(offer.width) * offer.height;
            const long long heldPixels = static_cast<long long>(held.width) * held.height;
            if (pixels < heldPixels ||
                (pixels == heldPixels && offer.maxFrameRate <= held.maxFrameRate)) {
                continue;
            }
        }
        best = static_cast<int>(i);
    }
    return best;
}

namespace {

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
        hook = connectFrameHook(video->videoSink(), sink);

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
