#pragma once

#include <memory>

#include "app/frame_source.h"

namespace dm {

// The first camera of the system through Qt Multimedia, previewed in a QVideoWidget.
std::unique_ptr<FrameSource> makeCameraFrameSource();

}  // namespace dm
