#pragma once

#include <memory>

#include "app/frame_source.h"

namespace dm {

// The first camera of the system through Qt Multimedia, previewed in a QVideoWidget. It
// reports a camera that fails or disappears while running, and every change of the camera
// list.
std::unique_ptr<FrameSource> makeCameraFrameSource();

}  // namespace dm
