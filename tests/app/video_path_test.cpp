// The real frame path without a camera: clips of every pixel format played through Qt
// Multimedia into the dialog's frame hook and decoded like camera frames. Run once per media
// backend (QT_MEDIA_BACKEND); the clips are generated at build time.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "app/capture_window.h"
#include "tests/app/media_file_source.h"
#include "tests/app/open_dialog.h"
#include "tests/app/test_clips.h"

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
