#pragma once

// The order in which a picture is read: which detector runs on which picture, and which result
// counts when none decodes. decodeImage (decoder/decode_image.h) is its public face.

#include <cstdint>

#include "decoder/decode_image.h"

namespace dm {

// A camera frame: one threshold variant (the caller's frame count picks it, so a symbol held
// before the camera meets all three within three frames), kept within a frame period. A frame
// larger than 1280 x 720 may take threads (see DecodeOptions). With buffers, the decoder's
// buffers are those kept there from earlier frames; else fresh ones.
DecodeResult readCameraFrame(const ImageView& frame, uint32_t variant, int32_t threads = 1,
                             FrameBuffers* buffers = nullptr);

// A still image (a frame that does not change): every variant, and no time bound.
DecodeResult readStillImage(const ImageView& image);

// An image file: a still image, then larger pictures of it when the image itself does not read,
// read side by side by up to threads threads (the result is the first in order that decodes, as
// one thread finds it).
DecodeResult readImageFile(const ImageView& image, int32_t threads = 1);

// Every symbol: first as the options read one, then the rest by the frame search.
ImageSymbols readAllSymbols(const ImageView& image, const DecodeOptions& options,
                            int32_t mostSymbols);

}  // namespace dm
