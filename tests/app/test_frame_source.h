#pragma once

#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>

#include "app/frame_source.h"
#include "encoder/message_encoder.h"
#include "tests/support/frame_synth.h"

namespace dm::test {

// Feeds frames from its own thread, like a camera's streaming thread. Each frame comes from
// makeFrame(n), n counting the deliveries; a plain widget stands in for the preview. It can
// be unplugged and plugged in again like a camera.
class TestFrameSource : public FrameSource {
  public:
    using FrameMaker = std::function<std::vector<uint8_t>(int n)>;

    TestFrameSource(VideoFormat format, FrameMaker maker,
                    std::chrono::milliseconds period = std::chrono::milliseconds(5))
        : format(format), makeFrame(std::move(maker)), period(period) {}
    ~TestFrameSource() override { stop(); }

    bool start(const FrameSink& sink, QWidget* videoParent, VideoFormat& out) override {
        ++starts;
        if (!plugged) {
            return false;
        }
        lost = sink.lost;
        preview = new QWidget(videoParent);
        out = format;
        stopping = false;
        feeder = std::thread([this, sink] {
            while (!stopping.load()) {
                if (deliverFrames.load()) {
                    const std::vector<uint8_t> frame = makeFrame(delivered.load());
                    sink.deliver(frame.data(), static_cast<int32_t>(frame.size()), format);
                    ++delivered;
                }
                std::this_thread::sleep_for(period);
            }
        });
        return true;
    }

    void stop() override {
        stopping = true;
        if (feeder.joinable()) {
            feeder.join();
        }
        if (preview) {
            preview->deleteLater();
        }
    }

    QWidget* videoWindow() const override { return preview.data(); }

    // User-interface thread: the camera goes away (reported as lost when it was running), or
    // comes back (reported as a change of the camera list).
    void unplug() {
        plugged = false;
        deliverFrames = false;
        if (feeder.joinable() && lost) {
            lost();
        }
    }
    void plugIn() {
        plugged = true;
        deliverFrames = true;
        if (inputsChanged) {
            inputsChanged();
        }
    }

    std::atomic<int> starts{0};
    std::atomic<int> delivered{0};
    std::atomic<bool> deliverFrames{true};  // false: a camera that went silent

  private:
    VideoFormat format;
    FrameMaker makeFrame;
    std::chrono::milliseconds period;
    std::thread feeder;
    std::atomic<bool> stopping{false};
    bool plugged = true;
    std::function<void()> lost;
    QPointer<QWidget> preview;
};

// A camera that cannot be started: what a machine without one looks like.
class NoCameraSource : public FrameSource {
  public:
    bool start(const FrameSink&, QWidget*, VideoFormat&) override { return false; }
    void stop() override {}
    QWidget* videoWindow() const override { return nullptr; }
};

// A camera repeating one 320 x 240 frame of the symbol of message (bytes as given) every 10 ms.
std::unique_ptr<TestFrameSource> symbolCamera(std::string_view message);

// A symbol drawn at a place in a picture: its top-left module's corner, in pixels.
struct PlacedSymbol {
    EncodedSymbol symbol;
    QPoint at;
};

// Black symbols of moduleSize-pixel modules on a white picture of the given size.
QImage symbolsPicture(const std::vector<PlacedSymbol>& symbols, QSize size, int moduleSize);

// A camera repeating one picture every 10 ms.
std::unique_ptr<TestFrameSource> pictureCamera(const QImage& picture);

}  // namespace dm::test
