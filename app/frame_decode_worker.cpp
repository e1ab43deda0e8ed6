#include "app/frame_decode_worker.h"

#include <utility>

namespace dm {

FrameDecodeWorker::FrameDecodeWorker(DecodeRate& rate, std::function<void()> outcomeReady)
    : decodeRate(rate), ready(std::move(outcomeReady)) {}

FrameDecodeWorker::~FrameDecodeWorker() {
    stop();
}

void FrameDecodeWorker::start(std::shared_ptr<LatestFrame> stream) {
    if (running() || !stream) {
        return;
    }
    frames = std::move(stream);
    decoded = 0;
    frames->open();
    worker = std::thread([this, stream = frames] { run(*stream); });
}

void FrameDecodeWorker::stop() {
    if (!running()) {
        return;
    }
    frames->close();
    worker.join();
    frames.reset();
    const std::lock_guard<std::mutex> guard(outcomeLock);
    newest.reset();
    told = false;
}

std::optional<DecodeOutcome> FrameDecodeWorker::takeOutcome() {
    const std::lock_guard<std::mutex> guard(outcomeLock);
    std::optional<DecodeOutcome> taken = std::move(newest);
    newest.reset();
    told = false;
    return taken;
}

void FrameDecodeWorker::run(LatestFrame& stream) {
    FrameDecoder decoder(nullptr);  // one per thread: its threshold variants go round per frame
    StreamFrame finished;
    while (std::optional<StreamFrame> frame = stream.take(std::move(finished))) {
        GrabbedFrame grabbed;
        grabbed.buffer = frame->bytes;
        grabbed.width = frame->size.videoWidth;
        grabbed.height = frame->size.videoHeight;
        grabbed.bitCount = 24;
        std::optional<DecodeOutcome> outcome =
            decoder.decode(grabbed, keepPicture.load(), allSymbols.load());
        finished = std::move(*frame);
        if (!outcome) {
            continue;  // not a whole frame of its size
        }
        decodeRate.count();
        ++decoded;
        bool tell = false;
        {
            const std::lock_guard<std::mutex> guard(outcomeLock);
            newest = std::move(outcome);
            tell = !told;
            told = true;
        }
        if (tell && ready) {
            ready();
        }
    }
}

}  // namespace dm
