// "逐帧解码" on a real display: picked from the right-click menu with the mouse, the camera's
// every frame is decoded on a worker, the newest whenever it is free, and the caption gives the
// rate; switched off, ten decodes a second again; closing the window stops the worker.
#define QTEST_QPA_MOUSE_HANDLING  // mouse events through the window system, as a person's
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include "app/capture_window.h"
#include "app/ui_strings.h"
#include "tests/app/open_dialog.h"
#include "tests/app/test_frame_source.h"

using namespace dm;
using namespace std::chrono_literals;
using test::u;

namespace {

// Right-clicks the video area and clicks the menu item with the given text, both through the
// window system; false when the menu or the item did not show.
bool clickMenuItem(test::OpenDialog& open, const char* itemText) {
    bool clicked = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr || !menu->isVisible() || clicked) {
            return;
        }
        for (QAction* action : menu->actions()) {
            if (action->text() == u(itemText) && action->isEnabled()) {
                clicked = true;
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
                return;
            }
        }
        menu->close();
    });
    poll.start(50);
    QTest::mouseClick(open.dialog.get(), Qt::RightButton, {}, open.dialog->videoArea().center());
    const bool closed =
        QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }, 3000);
    return clicked && closed;
}

// The rate the detection caption gives; -1 when it gives none.
int captionRate(const test::OpenDialog& open) {
    const QStringList around = u(ui::kDecodeRateCaption).split(QStringLiteral("%1"));
    static const QRegularExpression rate(
        QRegularExpression::escape(around.front()) + QStringLiteral("(\\d+)") +
        QRegularExpression::escape(around.back()) + QLatin1Char('$'));
    const QRegularExpressionMatch match =
        rate.match(open.child<QLabel>("detectionCaption")->text());
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// A 1920 x 1080 camera with a symbol of 3-pixel modules, fed every 2 ms: faster than the
// worker decodes, so frames must be dropped.
std::unique_ptr<test::TestFrameSource> fastHdCamera() {
    const std::optional<EncodedSymbol> symbol = EncodeMessage("every frame");
    const test::SynthFrame frame =
        symbol ? test::synthesiseFrame(symbol->moduleMatrix, symbol->side, symbol->side,
                                       {.width = 1920,
                                        .height = 1080,
                                        .moduleSize = 3.0,
                                        .offsetX = -400,
                                        .offsetY = 200})
               : test::SynthFrame{};
    return std::make_unique<test::TestFrameSource>(
        VideoFormat{frame.width, frame.height}, [bytes = frame.bgr](int) { return bytes; }, 2ms);
}

}  // namespace

class EveryFrameTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir home;

  private slots:
    void initTestCase() { qputenv("HOME", QFile::encodeName(home.path())); }

    void everyFrameOnAWorkerThenTenASecondAgain() {
        auto source = fastHdCamera();
        test::TestFrameSource* camera = source.get();
        test::OpenDialog open(std::move(source));
        QVERIFY(QTest::qWaitForWindowExposed(open.dialog.get()));
        QVERIFY(clickMenuItem(open, ui::kShowDetectionMenuItem));
        QTRY_COMPARE_WITH_TIMEOUT(open.result()->toPlainText(), u("every frame"), 5000);
        QCOMPARE(open.dialog->lastFrameSize(), QSize(1920, 1080));
        QTest::qWait(1500);  // a whole second of ticks, fewer on a busy machine
        QVERIFY2(captionRate(open) >= 1 && captionRate(open) <= 11,
                 qPrintable(open.child<QLabel>("detectionCaption")->text()));
        QVERIFY(!open.dialog->frameWorker().running());

        const std::shared_ptr<LatestFrame> stream = open.dialog->captureWindow()->frameStream();
        const int64_t offeredBefore = stream->offered();
        const int64_t droppedBefore = stream->dropped();
        QVERIFY(clickMenuItem(open, ui::kEveryFrameMenuItem));
        QVERIFY(open.dialog->everyFrameDecoded());
        QVERIFY(open.dialog->frameWorker().running());
        QVERIFY(!open.dialog->decodeTimerActive());
        open.result()->clear();
        QTRY_COMPARE_WITH_TIMEOUT(open.result()->toPlainText(), u("every frame"), 5000);
        QTest::qWait(1500);
        const int rate = open.dialog->decodesPerSecond();
        QVERIFY2(rate > 10, qPrintable(QString::number(rate)));
        QVERIFY2(captionRate(open) > 10,
                 qPrintable(open.child<QLabel>("detectionCaption")->text()));

        // Frames dropped, not queued: with the feed stopped, the worker is done after at most
        // the frame it decodes and the one waiting, and every frame offered was either decoded,
        // dropped or is that last one.
        camera->deliverFrames = false;
        QTest::qWait(300);
        const int64_t decodedAtStop = open.dialog->frameWorker().framesDecoded();
        QTest::qWait(500);
        QCOMPARE(open.dialog->frameWorker().framesDecoded(), decodedAtStop);
        const int64_t offered = stream->offered() - offeredBefore;
        const int64_t dropped = stream->dropped() - droppedBefore;
        QVERIFY2(dropped > 0, qPrintable(QStringLiteral("%1 offered").arg(offered)));
        QCOMPARE(offered - dropped, decodedAtStop);
        camera->deliverFrames = true;

        QVERIFY(clickMenuItem(open, ui::kEveryFrameMenuItem));  // off again
        QVERIFY(!open.dialog->everyFrameDecoded());
        QVERIFY(!open.dialog->frameWorker().running());
        QVERIFY(open.dialog->decodeTimerActive());
        QTest::qWait(1500);
        QVERIFY2(open.dialog->decodesPerSecond() <= 11 && captionRate(open) <= 11,
                 qPrintable(open.child<QLabel>("detectionCaption")->text()));
        QVERIFY(open.watcher.notices().empty());
    }

    // Closing the window while the worker decodes stops it; the camera is stopped too.
    void closingStopsTheWorker() {
        test::OpenDialog open(fastHdCamera());
        QVERIFY(QTest::qWaitForWindowExposed(open.dialog.get()));
        QVERIFY(clickMenuItem(open, ui::kEveryFrameMenuItem));
        QTRY_COMPARE_WITH_TIMEOUT(open.result()->toPlainText(), u("every frame"), 5000);
        QVERIFY(open.dialog->frameWorker().running());
        open.dialog->close();
        QVERIFY(!open.dialog->frameWorker().running());
        QVERIFY(!open.dialog->captureWindow()->isRunning());
        QTest::qWait(100);  // no late outcome reaches the closed window
        QCOMPARE(open.result()->toPlainText(), u("every frame"));
    }

    // A camera that goes silent while only the worker takes its frames still counts as lost.
    void silentCameraIsNoticedByTheWorkersStream() {
        auto source = fastHdCamera();
        test::TestFrameSource* camera = source.get();
        test::OpenDialog open(std::move(source));
        QVERIFY(QTest::qWaitForWindowExposed(open.dialog.get()));
        open.dialog->captureWindow()->grabTimeout = 300ms;
        QVERIFY(clickMenuItem(open, ui::kEveryFrameMenuItem));
        QTRY_COMPARE_WITH_TIMEOUT(open.result()->toPlainText(), u("every frame"), 5000);
        camera->deliverFrames = false;
        QTRY_COMPARE_WITH_TIMEOUT(open.watcher.notices().size(), size_t{1}, 5000);
        QVERIFY(!open.dialog->cameraRunning());
        QVERIFY(!open.dialog->frameWorker().running());
    }
};

QTEST_MAIN(EveryFrameTest)
#include "every_frame_test.moc"
