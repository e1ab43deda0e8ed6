#include "app/video_frame_hook.h"

#include <QVideoFrame>
#include <QVideoSink>
#include <algorithm>
#include <memory>
#include <mutex>

#include "decoder/frame_dib.h"

namespace dm {
namespace {

// What one hook keeps between frames: one conversion at a time into one scratch buffer.
struct HookState {
    FrameSink sink;
    std::mutex converting;
    std::vector<uint8_t> scratch;
};

void onVideoFrame(HookState& state, const QVideoFrame& frame) {
    if (!state.sink.wanted()) {
        return;
    }
    const std::unique_lock<std::mutex> lock(state.converting, std::try_to_lock);
    if (!lock.owns_lock()) {
        return;  // another thread is converting a frame for the same request
    }
    const QImage image = frame.toImage();
    if (image.isNull()) {
        return;
    }
    toCameraFrame(image, state.scratch);
    state.sink.deliver(state.scratch.data(), static_cast<int32_t>(state.scratch.size()),
                       VideoFormat{image.width(), image.height()});
}

// Camera pixels are opaque. A 32-bit frame may still come with an alpha channel that holds
// the padding byte, often 0 (FFmpeg reads 32-bit RGB as BGRA): reading it as alpha would
// turn the picture transparent, so it is ignored.
QImage opaque(const QImage& image) {
    QImage out = image;
    switch (image.format()) {
        case QImage::Format_ARGB32:
        case QImage::Format_ARGB32_Premultiplied:
            out.reinterpretAsFormat(QImage::Format_RGB32);
            break;
        case QImage::Format_RGBA8888:
        case QImage::Format_RGBA8888_Premultiplied:
            out.reinterpretAsFormat(QImage::Format_RGBX8888);
            break;
        default:
            break;
    }
    return out;
}

}  // namespace

QMetaObject::Connection connectFrameHook(QVideoSink* videoSink, const FrameSink& sink) {
    auto state = std::make_shared<HookState>();
    state->sink = sink;
    return QObject::connect(
        videoSink, &QVideoSink::videoFrameChanged, videoSink,
        [state](const QVideoFrame& frame) { onVideoFrame(*state, frame); }, Qt::DirectConnection);
}

void toCameraFrame(const QImage& picture, std::vector<uint8_t>& out) {
    const QImage image = opaque(picture).convertToFormat(QImage::Format_BGR888);
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

}  // namespace dm
