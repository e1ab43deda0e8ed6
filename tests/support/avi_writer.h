#pragma once

#include <span>
#include <string>
#include <string_view>

#include "tests/support/frame_synth.h"

namespace dm::test {

// Pixel formats of the clips: the ones cameras deliver (packed and planar YUV, 32- and 24-bit
// RGB, motion JPEG with 4:2:0 and 4:2:2 chroma).
enum class ClipFormat { Yuy2, I420, Bgrx, Rgb24, Mjpeg420, Mjpeg422 };

std::string_view clipFormatName(ClipFormat format);

// Writes camera-format frames (all of one size) as an AVI file with one video stream in the
// given pixel format, at fps frames a second. False when it cannot be written.
bool writeAviClip(const std::string& path, ClipFormat format, std::span<const SynthFrame> frames,
                  int fps);

}  // namespace dm::test
