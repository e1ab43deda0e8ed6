// The real frame path without a camera: clips of every pixel format played through Qt
// Multimedia into the dialog's frame hook and decoded like camera frames. Run once per media
// backend (QT_MEDIA_BACKEND); the clips are generated at build time.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "app/capture_window.h"
#include "app/video_frame_hook.h"
#include "decoder/frame_intake.h"
#include "encoder/message_encoder.h"
#include "tests/app/media_file_source.h"
#include "tests/app/open_dialog.h"
#include "tests/app/test_clips.h"
#include "tests/support/frame_synth.h"

using namespace dm;
using namespace std::chrono_literals;

using test::clipSource;

class VideoPathTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir home;

  private slots:
    void initTestCase() {
        QVERIFY(home.isValid());
        qputenv("HOME", QFile::encodeName(home.path()));
    }

    void clipIsDecoded_data() {
        QTest::addColumn<int>("index");
        for (size_t i = 0; i < std::size(test::kTestClips); ++i) {
            QTest::newRow(test::clipText(test::kTestClips[i]).c_str()) << static_cast<int>(i);
        }
    }
    void clipIsDecoded() {
        QFETCH(int, index);
        const test::TestClip& clip = test::kTestClips[index];
        test::OpenDialog open(clipSource(clip));
        QVERIFY(open.dialog->cameraRunning());
        QTRY_COMPARE_WITH_TIMEOUT(open.result()->toPlainText(),
                                  QString::fromStdString(test::clipText(clip)), 3000);
        QVERIFY(open.watcher.notices().empty());
    }

    // HD and 4K frames reach the decoder at their full resolution through the video sink, and
    // their small symbol is read; shrunk to 640 pixels wide, as a camera run at its preview
    // size would give them, the same frame holds nothing readable.
    void largeFramesAreDecodedAtFullResolution_data() {
        QTest::addColumn<int>("index");
        for (size_t i = 0; i < std::size(test::kLargeClips); ++i) {
            QTest::newRow(test::clipText(test::kLargeClips[i]).c_str()) << static_cast<int>(i);
        }
    }
    void largeFramesAreDecodedAtFullResolution() {
        QFETCH(int, index);
        const test::TestClip& clip = test::kLargeClips[index];
        const std::string text = test::clipText(clip);
        const std::optional<EncodedSymbol> symbol = EncodeMessage(text);
        QVERIFY(symbol.has_value());
        const test::SynthFrame frame =
            test::synthesiseFrame(symbol->moduleMatrix, symbol->side, symbol->side,
                                  {.width = clip.width,
                                   .height = clip.height,
                                   .moduleSize = test::kLargeClipModule,
                                   .offsetX = test::largeClipOffsetX(clip),
                                   .offsetY = test::largeClipOffsetY(clip)});
        // Rows bottom-up: the picture is turned upright before it is shrunk and stored again.
        const QImage whole =
            QImage(frame.bgr.data(), frame.width, frame.height, frame.stride, QImage::Format_BGR888)
                .mirrored(false, true);
        const QImage shrunk = whole.scaled(640, 640, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        std::vector<uint8_t> shrunkFrame;
        toCameraFrame(shrunk, shrunkFrame);
        // Whether any of the three threshold variants reads a camera frame.
        const auto readable = [](const std::vector<uint8_t>& bytes, int width, int height) {
            const BitmapInfoHeader header = frameHeader(width, height, 24);
            CFrameDib dib;
            bool read = false;
            for (uint32_t variant = 0; variant < 3 && dib.Create(&header, bytes) == 1; ++variant) {
                std::string decoded;
                FrameIntake intake;
                intake.frameCounter = variant;
                read = read || decodeFrame(dib, decoded, intake).decoded;
            }
            return read;
        };
        QVERIFY(readable(frame.bgr, frame.width, frame.height));
        QVERIFY(!readable(shrunkFrame, shrunk.width(), shrunk.height()));

        test::OpenDialog open(clipSource(clip));
        QVERIFY(open.dialog->cameraRunning());
        QTRY_COMPARE_WITH_TIMEOUT(open.result()->toPlainText(), QString::fromStdString(text),
                                  10000);
        QCOMPARE(open.dialog->lastFrameSize(), QSize(clip.width, clip.height));
        QVERIFY(open.watcher.notices().empty());
    }

    // The clips were played by the backend the test was started for, not a fallback.
    void theBackendAskedForIsTheOneUsed() {
        const QByteArray backend = qgetenv("QT_MEDIA_BACKEND");
        QVERIFY(!backend.isEmpty());
        QFile maps(QStringLiteral("/proc/self/maps"));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        QVERIFY(maps.readAll().contains("lib" + backend + "mediaplugin.so"));
    }

    // A clip that stops delivering: the tick's wait for a frame times out while the window
    // keeps working (a text change writes the symbol file) and the ticks go on, until a few
    // silent waits in a row make it count as a lost camera.
    void stalledClipTimesOutAndTheWindowGoesOn() {
        auto source = clipSource(test::kTestClips[0]);
        test::MediaFileSource* clip = source.get();
        test::OpenDialog open(std::move(source));
        CCaptureWindow* window = open.dialog->captureWindow();
        QTRY_VERIFY_WITH_TIMEOUT(!open.result()->toPlainText().isEmpty(), 3000);
        window->grabTimeout = 500ms;
        clip->pause();

        bool typedWhileWaiting = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, open.dialog.get(), [&] {
            // A request is pending only inside a tick's wait for its frame.
            if (!typedWhileWaiting && window->requestPending() && window->silentGrabCount() > 0) {
                typedWhileWaiting = true;
                QTest::keyClicks(open.message(), QStringLiteral("stalled"));
            }
        });
        poll.start(20);
        QTRY_VERIFY_WITH_TIMEOUT(typedWhileWaiting, 3000);
        QVERIFY(QFile::exists(home.filePath(QStringLiteral("条码测试.jpg"))));
        QVERIFY(open.dialog->decodeTimerActive());
        QVERIFY(open.watcher.notices().empty());

        QTRY_COMPARE_WITH_TIMEOUT(open.watcher.notices().size(), size_t{1}, 3000);
        QVERIFY(!open.dialog->cameraRunning());
        QVERIFY(!open.dialog->decodeTimerActive());
    }
};

QTEST_MAIN(VideoPathTest)
#include "video_path_test.moc"
