#pragma once

#include <QImage>
#include <QMetaObject>
#include <cstdint>
#include <vector>

#include "app/frame_source.h"

class QVideoSink;

namespace dm {

// Hands every frame that videoSink shows to sink, as a camera-format frame at the size it
// arrived (the preview alone is scaled, for the view), while sink wants one. Qt calls the hook on
// the thread its media backend delivers frames on: with GStreamer the user-interface thread, with
// FFmpeg mostly a worker thread, so the hook is safe on any thread and on two at once (a frame that
// arrives while another is being converted is dropped). The camera and the media-file source of the
// tests share it.
QMetaObject::Connection connectFrameHook(QVideoSink* videoSink, const FrameSink& sink);

// A picture as a camera-format frame of its own size: 24-bit BGR, rows bottom-up, each row
// padded to a multiple of 4 bytes.
void toCameraFrame(const QImage& picture, std::vector<uint8_t>& out);

}  // namespace dm
