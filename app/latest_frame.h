#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "app/frame_source.h"

namespace dm {

// A frame handed from the capture side to a decoding worker: camera-format bytes and their size.
struct StreamFrame {
    std::vector<uint8_t> bytes;
    VideoFormat size;
};

// Hand-over of the newest frame to one worker thread while it is open. At most one frame waits:
// a frame offered while another still waits replaces it, and the older one counts as dropped,
// so a slow worker always gets the newest frame and never a backlog. Buffers circulate between
// the two sides, so a steady stream allocates nothing.
class LatestFrame {
  public:
    // Any thread: whether frames are taken now.
    bool isOpen() const;

    // Capture side, any thread: copies the frame in as the waiting one; ignored while closed.
    void offer(const uint8_t* buffer, int32_t length, VideoFormat size);

    // Worker: hands back the frame it has finished with (its buffer is reused), then waits for
    // the next one. Nothing once closed.
    std::optional<StreamFrame> take(StreamFrame finished);

    // Starts taking frames.
    void open();
    // Stops taking frames, drops the waiting one and wakes the worker's wait.
    void close();

    // Frames offered while open, and those replaced before the worker took them, since the
    // stream was made.
    int64_t offered() const;
    int64_t dropped() const;

  private:
    mutable std::mutex lock;
    std::condition_variable arrived;
    bool opened = false;
    std::optional<StreamFrame> waiting;
    std::vector<std::vector<uint8_t>> spare;  // buffers to fill next
    int64_t offeredCount = 0;
    int64_t droppedCount = 0;
};

}  // namespace dm
