#pragma once

#include <string>

#include "tests/support/avi_writer.h"

namespace dm::test {

// The clips the video-path tests play, generated at build time: every pixel format, and
// every frame size among them.
struct TestClip {
    ClipFormat format;
    int width;
    int height;
};

inline constexpr TestClip kTestClips[] = {
    {ClipFormat::Yuy2, 640, 480},     {ClipFormat::I420, 800, 600},
    {ClipFormat::Bgrx, 1280, 720},    {ClipFormat::Rgb24, 640, 480},
    {ClipFormat::Mjpeg420, 800, 600}, {ClipFormat::Mjpeg422, 1280, 720},
};

// Frames of an HD and a 4K camera with a small symbol off centre: modules of kLargeClipModule
// pixels, which a frame shrunk to 640 pixels wide would lose.
inline constexpr TestClip kLargeClips[] = {
    {ClipFormat::I420, 1920, 1080},
    {ClipFormat::I420, 3840, 2160},
};
inline constexpr double kLargeClipModule = 2.5;

// Where a large clip's symbol lies: its centre, from the frame's centre, in pixels.
inline double largeClipOffsetX(const TestClip& clip) {
    return clip.width * 0.3;
}
inline double largeClipOffsetY(const TestClip& clip) {
    return clip.height * -0.25;
}

// The text a clip's symbol carries, such as "YUY2 640x480".
inline std::string clipText(const TestClip& clip) {
    return std::string(clipFormatName(clip.format)) + " " + std::to_string(clip.width) + "x" +
           std::to_string(clip.height);
}

// The clip's file name, such as "YUY2_640x480.avi".
inline std::string clipFileName(const TestClip& clip) {
    std::string name = clipText(clip) + ".avi";
    name[name.find(' ')] = '_';
    return name;
}

}  // namespace dm::test
