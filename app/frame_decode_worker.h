#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "app/decode_rate.h"
#include "app/decode_tick.h"
#include "app/latest_frame.h"

namespace dm {

// Decodes every frame of a frame stream on its own thread: whenever it is done with one frame
// it takes the newest, and frames that arrived meanwhile have replaced each other (dropped, not
// queued). Its newest outcome waits for the user-interface thread, which outcomeReady tells,
// from the worker thread, once for each outcome that finds none waiting. Each decode counts in
// rate. It does not beep: at the frame rate of a camera that is the caller's choice.
class FrameDecodeWorker {
  public:
    FrameDecodeWorker(DecodeRate& rate, std::function<void()> outcomeReady);
    ~FrameDecodeWorker();
    FrameDecodeWorker(const FrameDecodeWorker&) = delete;
    FrameDecodeWorker& operator=(const FrameDecodeWorker&) = delete;

    // Opens the stream and decodes its frames until stop(); nothing when already running.
    void start(std::shared_ptr<LatestFrame> stream);
    // Closes the stream and waits for the frame being decoded; no outcome is told afterwards and
    // none waits.
    void stop();
    bool running() const { return worker.joinable(); }

    // The newest outcome not yet taken.
    std::optional<DecodeOutcome> takeOutcome();

    // Frames decoded since the last start.
    int64_t framesDecoded() const { return decoded.load(); }

    // Read at each frame: keep the frame for display (see FrameDecoder), every symbol of it.
    std::atomic<bool> keepPicture{false};
    std::atomic<bool> allSymbols{false};

  private:
    void run(LatestFrame& stream);

    DecodeRate& decodeRate;
    std::function<void()> ready;
    std::shared_ptr<LatestFrame> frames;
    std::thread worker;
    std::atomic<int64_t> decoded{0};
    std::mutex outcomeLock;
    std::optional<DecodeOutcome> newest;
    bool told = false;  // outcomeReady was called for the waiting outcome
};

}  // namespace dm
