#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/frame_source.h"

namespace dm {

// The first camera of the system through Qt Multimedia, previewed in a QVideoWidget.
std::unique_ptr<FrameSource> makeCameraFrameSource();

// A picture as a camera-format frame of the given size: 24-bit BGR, rows bottom-up, each row
// padded to a multiple of 4 bytes; scaled first if its size differs.
void toCameraFrame(const QImage& picture, QSize size, std::vector<uint8_t>& out);

}  // namespace dm
