// The frame slot protocol, the capture window's requests and the video placement.
#include <QElapsedTimer>
#include <QTimer>
#include <QVideoFrame>
#include <QVideoSink>
#include <QtTest>
#include <atomic>
#include <optional>
#include <thread>
#include <vector>

#include "app/camera_frame_source.h"
#include "app/capture_window.h"
#include "app/decode_tick.h"
#include "app/frame_slot.h"
#include "app/latest_frame.h"
#include "app/video_frame_hook.h"
#include "decoder/frame_dib.h"
#include "decoder/frame_intake.h"
#include "encoder/message_encoder.h"
#include "grading/print_quality.h"
#include "tests/app/test_frame_source.h"
#include "tests/support/frame_synth.h"

using namespace dm;
using namespace std::chrono_literals;

namespace {

// A capture window, sized like the dialog's video area, over a camera of the format whose
// frames' bytes all equal the frame number, so that a torn copy shows.
struct NumberedCamera {
    QWidget parent;
    test::TestFrameSource* feeder = nullptr;
    std::unique_ptr<CCaptureWindow> window;

    explicit NumberedCamera(VideoFormat format, std::chrono::milliseconds period = 5ms) {
        const auto size = static_cast<size_t>(CFrameDib::stride(format.videoWidth, 24)) *
                          static_cast<size_t>(format.videoHeight);
        auto source = std::make_unique<test::TestFrameSource>(
            format, [size](int n) { return std::vector<uint8_t>(size, static_cast<uint8_t>(n)); },
            period);
        feeder = source.get();
        window = std::make_unique<CCaptureWindow>(&parent, std::move(source));
        window->setGeometry(0, 0, 196, 155);
    }
};

}  // namespace

class FrameHandshakeTest : public QObject {
    Q_OBJECT
  private slots:
    // The video keeps its aspect ratio inside the window; without a height there is no place.
    void videoIsFittedWithItsAspectRatio() {
        struct Case {
            const char* name;
            int videoWidth, videoHeight, w, h;
            std::optional<QRect> expected;
        };
        const Case cases[] = {
            {"640x480 in a narrow window", 640, 480, 196, 155, QRect(0, 4, 196, 147)},
            {"320x240 in a wide window", 320, 240, 400, 150, QRect(100, 0, 200, 150)},
            {"exact fit", 320, 240, 320, 240, QRect(0, 0, 320, 240)},
            {"window without height", 640, 480, 196, 0, std::nullopt},
            {"video without height", 640, 0, 196, 155, std::nullopt},
        };
        for (const Case& c : cases) {
            QVERIFY2(fitVideo(c.videoWidth, c.videoHeight, c.w, c.h) == c.expected, c.name);
        }
    }

    // Camera pictures become BGR bytes, bottom row first, rows padded to 4 bytes.
    void picturesBecomeBottomUpBgrWithPaddedRows() {
        QImage picture(3, 2, QImage::Format_RGB32);
        picture.setPixelColor(0, 0, QColor(255, 0, 0));
        picture.setPixelColor(1, 0, QColor(0, 255, 0));
        picture.setPixelColor(2, 0, QColor(0, 0, 255));
        picture.setPixelColor(0, 1, QColor(255, 255, 255));
        picture.setPixelColor(1, 1, QColor(0, 0, 0));
        picture.setPixelColor(2, 1, QColor(10, 20, 30));
        std::vector<uint8_t> frame;
        toCameraFrame(picture, frame);
        const std::vector<uint8_t> expected = {
            255, 255, 255, 0, 0,   0, 30,  20, 10, 0, 0, 0,   // bottom row, then padding
            0,   0,   255, 0, 255, 0, 255, 0,  0,  0, 0, 0};  // top row
        QCOMPARE(frame, expected);
    }

    // 32-bit frames whose padding byte arrives as an alpha of 0 keep their colours.
    void thePaddingByteIsNotTransparency() {
        for (const auto& [format, name] :
             {std::pair{QImage::Format_ARGB32_Premultiplied, "ARGB32 premultiplied"},
              {QImage::Format_RGBA8888_Premultiplied, "RGBA8888 premultiplied"}}) {
            QImage picture(2, 1, QImage::Format_RGB32);
            picture.setPixelColor(0, 0, QColor(200, 100, 50));
            picture.setPixelColor(1, 0, QColor(10, 20, 30));
            picture = picture.convertToFormat(format);
            for (int x = 0; x < 2; ++x) {
                picture.scanLine(0)[4 * x + 3] = 0;  // the alpha byte alone (little-endian)
            }
            std::vector<uint8_t> frame;
            toCameraFrame(picture, frame);
            const std::vector<uint8_t> expected = {50, 100, 200, 30, 20, 10, 0, 0};
            QVERIFY2(frame == expected, name);
        }
    }

    // The video sink's frames reach the sink at their own size, however large, whatever format
    // the source started with; the slot hands that size on with the frame.
    void framesKeepTheSizeTheyArrivedAt() {
        QVideoSink videoSink;
        std::vector<uint8_t> delivered;
        VideoFormat deliveredSize;
        FrameSink sink;
        sink.wanted = [] { return true; };
        sink.deliver = [&](const uint8_t* buffer, int32_t length, VideoFormat size) {
            delivered.assign(buffer, buffer + length);
            deliveredSize = size;
        };
        const QMetaObject::Connection hook = connectFrameHook(&videoSink, sink);
        QVideoFrame frame(QVideoFrameFormat(QSize(1922, 1080), QVideoFrameFormat::Format_BGRX8888));
        QVERIFY(frame.map(QVideoFrame::WriteOnly));
        for (int y = 0; y < 1080; ++y) {
            uchar* row = frame.bits(0) + static_cast<ptrdiff_t>(y) * frame.bytesPerLine(0);
            for (int x = 0; x < 1922; ++x) {
                const bool topRight = y == 0 && x == 1921;
                row[4 * x] = topRight ? 50 : 30;  // blue, green, red, padding
                row[4 * x + 1] = topRight ? 100 : 20;
                row[4 * x + 2] = topRight ? 200 : 10;
                row[4 * x + 3] = 255;
            }
        }
        frame.unmap();
        videoSink.setVideoFrame(frame);
        QObject::disconnect(hook);
        QCOMPARE(deliveredSize.videoWidth, 1922);
        QCOMPARE(deliveredSize.videoHeight, 1080);
        const auto stride = static_cast<size_t>(CFrameDib::stride(1922, 24));
        QCOMPARE(stride, size_t{5768});  // rows padded to 4 bytes
        QCOMPARE(delivered.size(), stride * 1080);
        const size_t topRight = stride * 1079 + 1921 * 3;  // the top row comes last
        QCOMPARE(int(delivered[topRight]), 50);
        QCOMPARE(int(delivered[topRight + 2]), 200);
        QCOMPARE(int(delivered[0]), 30);

        FrameSlot slot;
        QVERIFY(slot.beginRequest());
        slot.BufferCB(0, delivered.data(), static_cast<int32_t>(delivered.size()), deliveredSize);
        QCOMPARE(slot.frameSize().videoWidth, 1922);
        QCOMPARE(slot.frameSize().videoHeight, 1080);
    }

    // The camera runs at its largest format that keeps up with the decoder's pace.
    void theCameraRunsAtItsLargestFormat() {
        struct Case {
            const char* name;
            std::vector<FormatOffer> offers;
            int chosen;
        };
        const Case cases[] = {
            {"largest of several",
             {{640, 480, 30}, {3840, 2160, 30}, {1280, 720, 30}, {1920, 1080, 30}},
             1},
            {"faster of two equal sizes", {{1920, 1080, 5}, {1920, 1080, 30}, {640, 480, 30}}, 1},
            {"first of equals", {{1280, 720, 30}, {1280, 720, 30}}, 0},
            {"too slow a larger one", {{2592, 1944, 2}, {1920, 1080, 15}}, 1},
            {"all too slow: the largest", {{640, 480, 5}, {2592, 1944, 2}}, 1},
            {"sizeless formats skipped", {{0, 0, 30}, {320, 240, 30}}, 1},
            {"no format", {}, -1},
            {"no format with a size", {{0, 480, 30}}, -1},
        };
        for (const Case& c : cases) {
            QVERIFY2(chooseFormatIndex(c.offers) == c.chosen, c.name);
        }
    }

    // The worker's stream holds one frame at most: a newer frame replaces a waiting one, which
    // counts as dropped; closing wakes a worker waiting and drops what waits.
    void theStreamKeepsOnlyTheNewestFrame() {
        LatestFrame stream;
        const std::vector<uint8_t> first(12, 1);
        const std::vector<uint8_t> second(24, 2);
        stream.offer(first.data(), 12, {2, 2});  // closed: ignored
        QCOMPARE(stream.offered(), int64_t{0});
        stream.open();
        stream.offer(first.data(), 12, {2, 2});
        stream.offer(second.data(), 24, {4, 2});
        QCOMPARE(stream.offered(), int64_t{2});
        QCOMPARE(stream.dropped(), int64_t{1});
        std::optional<StreamFrame> taken = stream.take({});
        QVERIFY(taken.has_value());
        QCOMPARE(taken->bytes, second);
        QCOMPARE(taken->size.videoWidth, 4);

        std::optional<StreamFrame> later = StreamFrame{};
        std::thread worker([&] { later = stream.take(std::move(*taken)); });
        QTest::qWait(50);
        stream.offer(first.data(), 12, {2, 2});
        worker.join();
        QVERIFY(later.has_value());
        QCOMPARE(later->bytes, first);

        stream.offer(second.data(), 24, {4, 2});
        stream.close();
        stream.open();
        std::atomic<bool> returned{false};
        std::thread waiting([&] {
            later = stream.take({});
            returned = true;
        });
        QTest::qWait(50);
        QVERIFY(!returned.load());  // the frame offered before the close went with it
        stream.close();
        waiting.join();
        QVERIFY(!later.has_value());
    }

    // The region graded around a symbol of an HD frame gives the grade of the whole frame, in
    // either stored row order, and stays inside a frame whose edge the symbol nears.
    void theSymbolsRegionGradesAsTheWholeFrame() {
        const std::optional<EncodedSymbol> symbol = EncodeMessage("region");
        QVERIFY(symbol.has_value());
        for (const double offsetX : {-400.0, -930.0}) {
            const test::SynthFrame frame =
                test::synthesiseFrame(symbol->moduleMatrix, symbol->side, symbol->side,
                                      {.width = 1920,
                                       .height = 1080,
                                       .moduleSize = 3.0,
                                       .offsetX = offsetX,
                                       .offsetY = 200,
                                       .blurSigma = 0.8,
                                       .noiseSigma = 4.0});
            const BitmapInfoHeader header = frameHeader(1920, 1080, 24);
            CFrameDib dib;
            QCOMPARE(dib.Create(&header, frame.bgr), 1);
            std::string text;
            FrameIntake intake;
            const FrameDecodeResult read = decodeFrame(dib, text, intake);
            QVERIFY(read.decoded && read.corners);
            QCOMPARE(text, std::string("region"));
            ImageView view = *frameView(dib);
            // The same picture stored top-down.
            std::vector<uint8_t> topDown(frame.bgr.size());
            for (int y = 0; y < 1080; ++y) {
                std::copy_n(frame.bgr.begin() + static_cast<ptrdiff_t>(y) * frame.stride,
                            frame.stride,
                            topDown.begin() + static_cast<ptrdiff_t>(1079 - y) * frame.stride);
            }
            ImageView upright = view;
            upright.pixels = topDown;
            upright.rowOrder = RowOrder::TopDown;
            for (const ImageView& whole : {view, upright}) {
                const std::optional<SymbolRegion> region = symbolRegion(whole, *read.corners);
                QVERIFY(region.has_value());
                QVERIFY(region->view.isComplete());
                QVERIFY(region->view.width < 400 && region->view.height < 400);
                const SymbolGrade full =
                    gradeSymbol(whole, *read.corners, read.sizeIndex, read.inverted);
                const SymbolGrade part =
                    gradeSymbol(region->view, region->corners, read.sizeIndex, read.inverted);
                QVERIFY(full.located && part.located);
                QCOMPARE(part.overall, full.overall);
            }
        }
    }

    void slotDropsFramesNobodyAskedFor() {
        FrameSlot slot;
        const std::vector<uint8_t> frame(100, 7);
        QCOMPARE(slot.BufferCB(0, frame.data(), 100), GrabberResult::Ok);
        QCOMPARE(slot.capacity(), 0);
        QVERIFY(!slot.frameArrived());
    }

    void slotKeepsTheFirstFrameOfARequest() {
        FrameSlot slot;
        QVERIFY(slot.beginRequest());
        QVERIFY(!slot.beginRequest());  // a second request while one is pending
        const std::vector<uint8_t> first(64, 1);
        const std::vector<uint8_t> second(64, 2);
        QCOMPARE(slot.BufferCB(0, first.data(), 64), GrabberResult::Ok);
        QCOMPARE(slot.BufferCB(0, second.data(), 64), GrabberResult::Ok);
        QVERIFY(slot.frameArrived());
        const std::span<const uint8_t> taken = slot.takeFrame();
        QCOMPARE(taken.size(), size_t{64});
        QCOMPARE(int(taken[0]), 1);
        QVERIFY(!slot.pending());
        QVERIFY(slot.beginRequest());  // idle again
    }

    void slotBufferOnlyGrows() {
        FrameSlot slot;
        const std::vector<uint8_t> large(230400, 3);
        const std::vector<uint8_t> small(57600, 4);
        QVERIFY(slot.beginRequest());
        slot.BufferCB(0, large.data(), 230400);
        slot.takeFrame();
        QVERIFY(slot.beginRequest());
        slot.BufferCB(0, small.data(), 57600);
        const std::span<const uint8_t> taken = slot.takeFrame();
        QCOMPARE(slot.capacity(), 230400);
        QCOMPARE(taken.size(), size_t{57600});
        QCOMPARE(int(taken[0]), 4);
    }

    void missingBufferKeepsTheRequestWaiting() {
        FrameSlot slot;
        QVERIFY(slot.beginRequest());
        QCOMPARE(slot.BufferCB(0, nullptr, 100), GrabberResult::Pointer);
        QVERIFY(!slot.frameArrived());
        QVERIFY(slot.pending());
        const std::vector<uint8_t> frame(10, 9);
        QCOMPARE(slot.BufferCB(0, frame.data(), 10), GrabberResult::Ok);
        QVERIFY(slot.frameArrived());
    }

    void startingTwiceStartsTheSourceOnce() {
        NumberedCamera camera(VideoFormat{320, 240});
        camera.parent.resize(400, 300);
        QVERIFY(camera.window->StartCamera());
        QVERIFY(camera.window->StartCamera());
        QCOMPARE(camera.feeder->starts.load(), 1);
        QCOMPARE(camera.window->videoRectangle(), QRect(0, 4, 196, 147));
    }

    void grabFrameWithoutCameraAnswersAtOnce() {
        QWidget parent;
        CCaptureWindow window(&parent, std::make_unique<test::NoCameraSource>());
        window.setGeometry(0, 0, 196, 155);
        QVERIFY(!window.StartCamera());
        QVERIFY(!window.GrabFrame().has_value());
    }

    // Frames come from another thread; every grabbed frame must be whole and of the
    // announced format.
    void grabbedFramesAreWholeAcrossThreads() {
        NumberedCamera camera(VideoFormat{80, 60}, 1ms);
        QVERIFY(camera.window->StartCamera());
        for (int i = 0; i < 30; ++i) {
            const std::optional<GrabbedFrame> frame = camera.window->GrabFrame();
            QVERIFY2(frame.has_value(), qPrintable(QStringLiteral("grab %1").arg(i)));
            QCOMPARE(frame->width, 80);
            QCOMPARE(frame->height, 60);
            QCOMPARE(frame->bitCount, 24);
            QCOMPARE(frame->buffer.size(), static_cast<size_t>(CFrameDib::stride(80, 24) * 60));
            const uint8_t first = frame->buffer[0];
            QVERIFY2(std::all_of(frame->buffer.begin(), frame->buffer.end(),
                                 [first](uint8_t b) { return b == first; }),
                     qPrintable(QStringLiteral("torn frame at grab %1").arg(i)));
        }
    }

    // Frames may arrive on two threads at once (or on the user-interface thread): a grabbed
    // frame is always one whole frame.
    void framesFromTwoThreadsAreNeverTorn() {
        FrameSlot slot;
        std::atomic<bool> stop{false};
        const auto feed = [&](uint8_t first) {
            std::vector<uint8_t> frame(4096);
            for (uint8_t n = first; !stop.load(); n += 2) {
                std::fill(frame.begin(), frame.end(), n);
                slot.BufferCB(0, frame.data(), static_cast<int32_t>(frame.size()));
            }
        };
        std::thread even(feed, uint8_t{0});
        std::thread odd(feed, uint8_t{1});
        int torn = 0;
        for (int i = 0; i < 3000; ++i) {
            QVERIFY(slot.beginRequest());
            while (!slot.frameArrived()) {
            }
            const std::span<const uint8_t> taken = slot.takeFrame();
            torn +=
                std::all_of(taken.begin(), taken.end(), [&](uint8_t b) { return b == taken[0]; })
                    ? 0
                    : 1;
        }
        stop = true;
        even.join();
        odd.join();
        QCOMPARE(torn, 0);
    }

    // A request made from a handler that runs inside another request's wait returns at once.
    void nestedGrabReturnsAtOnce() {
        NumberedCamera camera(VideoFormat{8, 8});
        CCaptureWindow& window = *camera.window;
        QVERIFY(window.StartCamera());
        camera.feeder->deliverFrames = false;  // hold the outer request until the nested one ran

        bool nestedRan = false;
        bool nestedGotFrame = true;
        qint64 nestedMs = -1;
        QTimer::singleShot(20, [&] {
            QElapsedTimer clock;
            clock.start();
            nestedGotFrame = window.GrabFrame().has_value();
            nestedMs = clock.elapsed();
            nestedRan = true;
            camera.feeder->deliverFrames = true;
        });
        const std::optional<GrabbedFrame> outer = window.GrabFrame();
        QVERIFY(nestedRan);
        QVERIFY(!nestedGotFrame);
        QVERIFY2(nestedMs < 100,
                 qPrintable(QStringLiteral("nested grab took %1 ms").arg(nestedMs)));
        QVERIFY(outer.has_value());
    }

    // A camera that stops delivering must not hold the user-interface thread: the request is
    // withdrawn after the time-out and the next one can be made.
    void silentCameraTimesOut() {
        NumberedCamera camera(VideoFormat{8, 8});
        camera.window->grabTimeout = 200ms;
        QVERIFY(camera.window->StartCamera());
        camera.feeder->deliverFrames = false;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!camera.window->GrabFrame().has_value());
        QVERIFY(clock.elapsed() >= 190);
        camera.feeder->deliverFrames = true;
        QVERIFY(camera.window->GrabFrame().has_value());
    }

    void stoppedCameraAnswersFalse() {
        NumberedCamera camera(VideoFormat{8, 8});
        QVERIFY(camera.window->StartCamera());
        camera.window->StopCamera();
        QVERIFY(!camera.window->isRunning());
        QVERIFY(!camera.window->GrabFrame().has_value());
    }
};

QTEST_MAIN(FrameHandshakeTest)
#include "frame_handshake_test.moc"
