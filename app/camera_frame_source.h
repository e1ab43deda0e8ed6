#pragma once

#include <memory>
#include <span>

#include "app/frame_source.h"

namespace dm {

// The first camera of the system through Qt Multimedia, previewed in a QVideoWidget. It
// reports a camera that fails or disappears while running, and every change of the camera
// list.
std::unique_ptr<FrameSource> makeCameraFrameSource();

// What the choice of a camera format looks at: its frame size and its highest frame rate.
struct FormatOffer {
    int width = 0;
    int height = 0;
    float maxFrameRate = 0;
};

// Frame rate a format needs to be preferred: the decoder's default pace.
inline constexpr float kLeastFrameRate = 10.0F;

// The format the camera runs at, as an index into offers: the most pixels among the formats
// that reach kLeastFrameRate (among all when none does), the higher frame rate between equal
// sizes, the first listed between equals. -1 when no format has a size.
int chooseFormatIndex(std::span<const FormatOffer> offers);

}  // namespace dm
