#pragma once

#include <QImage>
#include <QMetaObject>
#include <QSize>
#include <cstdint>
#include <vector>

#include "app/frame_source.h"

class QVideoSink;

namespace dm {

// Hands every frame that videoSink shows to sink, as a camera-format frame of the given size,
// while sink wants one. Qt calls the hook on the thread its media backend delivers frames
// on: with GStreamer the user-interface thread, with FFmpeg mostly a worker thread, so the
// hook is safe on any thread and on two at once (a frame that arrives while another is being
// converted is dropped). The camera and the media-file source of the tests share it.
QMetaObject::Connection connectFrameHook(QVideoSink* videoSink, const FrameSink& sink, QSize size);

// A picture as a camera-format frame of the given size: 24-bit BGR, rows bottom-up, each row
// padded to a multiple of 4 bytes; scaled first if its size differs.
void toCameraFrame(const QImage& picture, QSize size, std::vector<uint8_t>& out);

}  // namespace dm
