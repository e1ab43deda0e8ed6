#include "app/camera_frame_source.h"

#include <QCamera>
#include <QCameraDevice>
#include <QImage>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QPointer>
#include <QVideoFrame>
#include <QVideoSink>
#include <QVideoWidget>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "decoder/frame_dib.h"

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

// A video frame in the camera format; empty when the frame cannot be converted.
void toBottomUpBgr(const QVideoFrame& frame, QSize size, std::vector<uint8_t>& out) {
    const QImage image = frame.toImage();
    if (image.isNull()) {
        out.clear();
        return;
    }
    toCameraFrame(image, size, out);
}

}  // namespace

void toCameraFrame(const QImage& picture, QSize size, std::vector<uint8_t>& out) {
    QImage image = picture;
    if (image.size() != size) {
        image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    }
    image = image.convertToFormat(QImage::Format_BGR888);
    const int width = image.width();
    const int height = image.height();
    const auto stride = static_cast<size_t>(CFrameDib::stride(width, 24));
    out.assign(stride * static_cast<size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        const uchar* source = image.constScanLine(y);
        std::copy(source, source + static_cast<size_t>(width) * 3,
                  out.begin() + static_cast<std::ptrdiff_t>(stride * (height - 1 - y)));
    }
}

namespace {

class CameraFrameSource final : public FrameSource {
  public:
    ~CameraFrameSource() override { stop(); }

    bool start(const FrameSink& sink, QWidget* videoParent, VideoFormat& format) override {
        stop();
        const std::optional<QCameraDevice> device = ChooseCaptureDevice(QString());
        if (!device) {
            return false;
        }
        const QCameraFormat cameraFormat = chooseFormat(*device);
        if (cameraFormat.isNull()) {
            return false;
        }
        camera = std::make_unique<QCamera>(*device);
        camera->setCameraFormat(cameraFormat);
        session = std::make_unique<QMediaCaptureSession>();
        session->setCamera(camera.get());
        video = new QVideoWidget(videoParent);  // owned by the capture window
        session->setVideoOutput(video.data());

        const QSize size = cameraFormat.resolution();
        QVideoSink* videoSink = video->videoSink();
        // Runs on the thread that produces the frame; touches only its own scratch buffer
        // and the sink.
        connection = QObject::connect(
            videoSink, &QVideoSink::videoFrameChanged, videoSink,
            [sink, size,
             scratch = std::make_shared<std::vector<uint8_t>>()](const QVideoFrame& frame) {
                if (!sink.wanted()) {
                    return;
                }
                toBottomUpBgr(frame, size, *scratch);
                if (!scratch->empty()) {
                    sink.deliver(scratch->data(), static_cast<int32_t>(scratch->size()));
                }
            },
            Qt::DirectConnection);

        camera->start();
        if (camera->error() != QCamera::NoError) {
            stop();
            return false;
        }
        format.videoWidth = size.width();
        format.videoHeight = size.height();
        return true;
    }

    void stop() override {
        QObject::disconnect(connection);
        if (camera) {
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
    std::unique_ptr<QCamera> camera;
    std::unique_ptr<QMediaCaptureSession> session;
    QPointer<QVideoWidget> video;
    QMetaObject::Connection connection;
};

}  // namespace

std::unique_ptr<FrameSource> makeCameraFrameSource() {
    return std::make_unique<CameraFrameSource>();
}

}  // namespace dm
