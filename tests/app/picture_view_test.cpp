// The window's own views: a picture decoded in the video area (dropped or opened from the
// menu), the detection results drawn over it or over the camera's frames, and copying the
// decoded text.
#include <QClipboard>
#include <QCursor>
#include <QElapsedTimer>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QThreadPool>
#include <QtTest>
#include <cmath>
#include <cstring>

#include "app/capture_window.h"
#include "app/detection_view.h"
#include "app/symbol_generation.h"
#include "app/ui_strings.h"
#include "encoder/jpeg_output.h"
#include "tests/app/open_dialog.h"
#include "tests/app/test_frame_source.h"

using namespace dm;

namespace {

using test::symbolCamera;
using test::u;

// Pixels of the detection view drawn in the outline's green and red.
std::pair<int, int> outlinePixels(CDetectionView* view) {
    const QImage shot = view->grab().toImage();
    int green = 0;
    int red = 0;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            green += c.green() > 150 && c.red() < 80 && c.blue() < 80 ? 1 : 0;
            red += c.red() > 180 && c.green() < 80 && c.blue() < 80 ? 1 : 0;
        }
    }
    return {green, red};
}

// Contrast of a picture's lightest and darkest pixels, as (L1 + 0.05) / (L2 + 0.05) of their
// relative luminances.
double contrastRatio(const QImage& picture) {
    const auto luminance = [](QRgb rgb) {
        const auto channel = [](int value) {
            const double c = value / 255.0;
            return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) +
               0.0722 * channel(qBlue(rgb));
    };
    double darkest = 1;
    double lightest = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const double l = luminance(picture.pixel(x, y));
            darkest = std::min(darkest, l);
            lightest = std::max(lightest, l);
        }
    }
    return (lightest + 0.05) / (darkest + 0.05);
}

}  // namespace

class PictureViewTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir;
    // A symbol of "picture" (14 x 14 modules of 4 pixels, quiet zone 3), the same with its
    // middle wiped out, a blank picture and a file that is no picture.
    QString symbol, damaged, blank, notPicture;

  private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        qputenv("HOME", QFile::encodeName(dir.path()));
        symbol = dir.filePath(QStringLiteral("symbol.jpg"));
        const std::string_view text = "picture";
        QVERIFY(GenerateSymbolFile({reinterpret_cast<const uint8_t*>(text.data()), text.size()},
                                   QFile::encodeName(symbol).toStdString(), 4, 3) == 14);
        QImage wiped(symbol);
        QPainter(&wiped).fillRect(24, 24, 28, 28, Qt::white);
        damaged = dir.filePath(QStringLiteral("damaged.png"));
        QVERIFY(wiped.save(damaged));
        QImage white(80, 80, QImage::Format_RGB32);
        white.fill(Qt::white);
        blank = dir.filePath(QStringLiteral("blank.png"));
        QVERIFY(white.save(blank));
        notPicture = dir.filePath(QStringLiteral("notes.png"));
        QFile notes(notPicture);
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("not a picture") > 0);
    }

    // The picture takes the video area and the camera's ticks pause; a click on it brings the
    // camera back. A decoded picture's text goes to the result box.
    void picturesAreDecodedInTheVideoArea_data() {
        QTest::addColumn<bool>("dropped");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("decoded");
        QTest::newRow("symbol dropped") << true << symbol << u("picture");
        QTest::newRow("symbol opened from the menu") << false << symbol << u("picture");
        QTest::newRow("blank picture dropped")
            << true << blank << u("解码失败（状态 9）：未找到寻像图形");
    }
    void picturesAreDecodedInTheVideoArea() {
        QFETCH(bool, dropped);
        QFETCH(QString, file);
        QFETCH(QString, decoded);
        test::OpenDialog open(symbolCamera("camera"));
        QTRY_COMPARE_WITH_TIMEOUT(open.result()->toPlainText(), u("camera"), 3000);
        QVERIFY(!open.drop(file, QPoint(5, 5)));  // only the video area takes pictures
        if (dropped) {
            QVERIFY(open.drop(file, open.dialog->videoArea().center()));
        } else {
            open.dialog->choosePicture = [file] { return file; };
            QVERIFY(open.chooseMenuItem(ui::kOpenPictureMenuItem));
        }
        QVERIFY(open.waitForPicture());
        QVERIFY(open.dialog->pictureShown());
        QVERIFY(!open.dialog->decodeTimerActive());
        auto* view = open.child<CDetectionView>("detectionView");
        QVERIFY(view->isVisible() && view->holdsPicture());
        // A picture that did not decode replaces the camera's text with the reason.
        QCOMPARE(open.result()->toPlainText(), decoded);
        QTest::qWait(250);  // no tick overwrites it
        QCOMPARE(open.result()->toPlainText(), decoded);

        open.result()->clear();
        QTest::mouseClick(view, Qt::LeftButton);
        QVERIFY(!open.dialog->pictureShown());
        QVERIFY(!view->isVisible());
        QVERIFY(open.dialog->decodeTimerActive());
        QTRY_COMPARE_WITH_TIMEOUT(open.result()->toPlainText(), u("camera"), 3000);
        QVERIFY(open.watcher.notices().empty());
    }

    // A picture that cannot be read, or holds no symbol, clears the text of the one before and
    // says why in the result box; there is then nothing to copy.
    void aFailedPictureClearsTheResultAndSaysWhy_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("notice");
        QTest::newRow("no picture") << notPicture << u(ui::kPictureUnreadableText) << true;
        QTest::newRow("no symbol") << blank << u("解码失败（状态 9）：未找到寻像图形") << false;
        QTest::newRow("symbol wiped out")
            << damaged << u("解码失败（状态 6）：错误过多，无法纠正") << false;
    }
    void aFailedPictureClearsTheResultAndSaysWhy() {
        QFETCH(QString, file);
        QFETCH(QString, reason);
        QFETCH(bool, notice);
        test::OpenDialog open(std::make_unique<test::NoCameraSource>());
        QTRY_COMPARE(open.watcher.notices().size(), size_t{1});
        QVERIFY(open.drop(symbol, open.dialog->videoArea().center()));
        QVERIFY(open.waitForPicture());
        QCOMPARE(open.result()->toPlainText(), u("picture"));

        QVERIFY(open.drop(file, open.dialog->videoArea().center()));
        QVERIFY(open.waitForPicture());
        QTRY_COMPARE(open.watcher.notices().size(), size_t(notice ? 2 : 1));
        if (notice) {
            QCOMPARE(open.watcher.notices().back().text, u(ui::kPictureUnreadableText));
        }
        QCOMPARE(open.result()->toPlainText(), reason);
        QGuiApplication::clipboard()->setText(u("before"));
        QVERIFY(!open.chooseMenuItem(ui::kCopyResultMenuItem));
        QCOMPARE(QGuiApplication::clipboard()->text(), u("before"));
    }

    // Off by default. Turned on, the located symbol is outlined in green when it decoded and
    // in red when it did not, and the caption under the video says what happened, with the
    // print-quality grade of a decoded symbol.
    void detectionResultsOutlineTheSymbol_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("green");
        QTest::addColumn<bool>("red");
        QTest::addColumn<QString>("caption");
        QTest::newRow("decoded") << symbol << true << false
                                 << u("解码成功：14x14，等级 A（4.0，参考）");
        QTest::newRow("located, not decoded")
            << damaged << false << true << u("解码失败（状态 6）：错误过多，无法纠正");
        QTest::newRow("nothing found")
            << blank << false << false << u("解码失败（状态 9）：未找到寻像图形");
    }
    void detectionResultsOutlineTheSymbol() {
        QFETCH(QString, file);
        QFETCH(bool, green);
        QFETCH(bool, red);
        QFETCH(QString, caption);
        test::OpenDialog open(std::make_unique<test::NoCameraSource>());
        auto* view = open.child<CDetectionView>("detectionView");
        auto* label = open.child<QLabel>("detectionCaption");
        QVERIFY(open.chooseMenuItem(ui::kShowDetectionMenuItem));
        QVERIFY(open.dialog->detectionShown());
        QVERIFY(open.drop(file, open.dialog->videoArea().center()));
        QVERIFY(open.waitForPicture());
        const auto [greenPixels, redPixels] = outlinePixels(view);
        QCOMPARE(greenPixels > 20, green);
        QCOMPARE(redPixels > 20, red);
        QVERIFY(label->isVisible());
        QCOMPARE(label->text(), caption);

        QVERIFY(open.chooseMenuItem(ui::kShowDetectionMenuItem));  // off again
        QVERIFY(!label->isVisible());
        QCOMPARE(outlinePixels(view), std::make_pair(0, 0));
    }

    // Over the camera the view shows the frames the decoder saw, outlined; turned off, the
    // live preview is back.
    void detectionResultsFollowTheCamera() {
        test::OpenDialog open(symbolCamera("live"));
        auto* view = open.child<CDetectionView>("detectionView");
        QVERIFY(!view->isVisible());
        QVERIFY(open.chooseMenuItem(ui::kShowDetectionMenuItem));
        QTRY_VERIFY_WITH_TIMEOUT(view->isVisible() && outlinePixels(view).first > 20, 3000);
        QTRY_VERIFY(
            open.child<QLabel>("detectionCaption")->text().startsWith(u("解码成功：12x12，等级 ")));
        QVERIFY(open.chooseMenuItem(ui::kShowDetectionMenuItem));
        QVERIFY(!view->isVisible());
        QVERIFY(open.dialog->captureWindow()->findChild<QWidget*>()->isVisible());
    }

    // The result box stays read-only and disabled; the menu copies its text once there is one.
    void copyItemCopiesTheDecodedText() {
        test::OpenDialog open(std::make_unique<test::NoCameraSource>());
        QVERIFY(!open.chooseMenuItem(ui::kCopyResultMenuItem));
        QVERIFY(open.drop(symbol, open.dialog->videoArea().center()));
        QVERIFY(open.waitForPicture());
        QGuiApplication::clipboard()->clear();
        QVERIFY(open.chooseMenuItem(ui::kCopyResultMenuItem));
        QCOMPARE(QGuiApplication::clipboard()->text(), u("picture"));
        QVERIFY(open.result()->isReadOnly());
    }

    // A twelve-line text fills more than the box: its text reads dark on light, its scroll bar
    // scrolls on a click, and typing into it changes nothing.
    void resultBoxIsReadableAndScrolls() {
        QStringList lines;
        for (int i = 1; i <= 12; ++i) {
            lines << u("第%1行 Data Matrix").arg(i);
        }
        const std::optional<std::string> bytes = messageBytes(lines.join(QLatin1Char('\n')));
        QVERIFY(bytes.has_value());
        const QString file = dir.filePath(QStringLiteral("lines.jpg"));
        QVERIFY(GenerateSymbolFile({reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()},
                                   QFile::encodeName(file).toStdString(), 4, 3) > 0);
        test::OpenDialog open(std::make_unique<test::NoCameraSource>());
        QTRY_COMPARE(open.watcher.notices().size(), size_t{1});
        QVERIFY(open.drop(file, open.dialog->videoArea().center()));
        QVERIFY(open.waitForPicture());
        QTextEdit* result = open.result();
        QCOMPARE(result->toPlainText(), lines.join(QLatin1Char('\n')));

        const double contrast = contrastRatio(result->viewport()->grab().toImage());
        QVERIFY2(contrast >= 4.5, qPrintable(QStringLiteral("contrast %1 : 1").arg(contrast)));

        QScrollBar* bar = result->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), 0);
        // Below the handle: a page down.
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          QPoint(bar->width() / 2, bar->height() - bar->width() - 4));
        QTRY_VERIFY(bar->value() > 0);

        QTest::mouseClick(result->viewport(), Qt::LeftButton);
        QTest::keyClicks(result->viewport(), QStringLiteral("xyz"));
        QTest::keyClick(result->viewport(), Qt::Key_Backspace);
        QCOMPARE(result->toPlainText(), lines.join(QLatin1Char('\n')));
        QVERIFY(result->isReadOnly());
    }

    // A 40-megapixel picture, larger than Qt's own reader takes, is read as the tool reads it
    // and decoded on a worker thread: the interface keeps answering (a 20 ms timer keeps
    // firing), the camera keeps being decoded, and the cursor says the window is busy.
    void largePictureDecodesWhileTheWindowKeepsAnswering() {
        const QString small = dir.filePath(QStringLiteral("large_symbol.jpg"));
        const std::string_view text = "forty megapixels";
        QVERIFY(GenerateSymbolFile({reinterpret_cast<const uint8_t*>(text.data()), text.size()},
                                   QFile::encodeName(small).toStdString(), 9, 3) > 0);
        QImage symbolPicture = QImage(small).convertToFormat(QImage::Format_Grayscale8);
        symbolPicture = symbolPicture.scaled(symbolPicture.size() * 3);  // 27-pixel modules
        QImage large(8000, 5000, QImage::Format_Grayscale8);
        large.fill(255);
        for (int y = 0; y < symbolPicture.height(); ++y) {
            std::memcpy(large.scanLine(2000 + y) + 3000, symbolPicture.constScanLine(y),
                        static_cast<size_t>(symbolPicture.width()));
        }
        const QString file = dir.filePath(QStringLiteral("large.png"));
        QVERIFY(large.save(file));

        test::OpenDialog open(symbolCamera("camera"));
        QTRY_COMPARE_WITH_TIMEOUT(open.result()->toPlainText(), u("camera"), 3000);
        int cameraTexts = 0;
        connect(open.result(), &QTextEdit::textChanged, this, [&] { ++cameraTexts; });
        QElapsedTimer sinceLast;
        qint64 longestGap = 0;
        bool busy = false;
        QTimer heartbeat;
        connect(&heartbeat, &QTimer::timeout, this, [&] {
            longestGap = std::max(longestGap, sinceLast.restart());
            const QCursor* cursor = QGuiApplication::overrideCursor();
            busy = busy || (cursor != nullptr && cursor->shape() == Qt::BusyCursor);
        });
        heartbeat.start(20);
        sinceLast.start();
        QElapsedTimer decoding;
        decoding.start();
        QVERIFY(open.drop(file, open.dialog->videoArea().center()));
        QVERIFY(open.waitForPicture(60000));
        const qint64 decodeMs = decoding.elapsed();
        heartbeat.stop();
        QVERIFY(open.watcher.notices().empty());
        QCOMPARE(open.result()->toPlainText(), u("forty megapixels"));
        QVERIFY2(longestGap < 400, qPrintable(QStringLiteral("the interface stood still for %1 ms "
                                                             "of a %2 ms decode")
                                                  .arg(longestGap)
                                                  .arg(decodeMs)));
        QVERIFY(busy);
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
        // The camera's ticks went on: at least one decode in every 400 ms, the last one the
        // picture's text.
        QVERIFY2(
            cameraTexts - 1 >= decodeMs / 400,
            qPrintable(
                QStringLiteral("%1 camera decodes in %2 ms").arg(cameraTexts - 1).arg(decodeMs)));
        auto* view = open.child<CDetectionView>("detectionView");
        QVERIFY(view->isVisible() && view->holdsPicture());
    }

    // A window closed while its picture is decoded leaves no busy cursor behind; the decode
    // ends on its own.
    void closingWhileAPictureDecodesLeavesNoBusyCursor() {
        auto open = std::make_unique<test::OpenDialog>(std::make_unique<test::NoCameraSource>());
        QTRY_COMPARE(open->watcher.notices().size(), size_t{1});
        QVERIFY(open->drop(symbol, open->dialog->videoArea().center()));
        QVERIFY(open->dialog->decodingPicture());
        QVERIFY(QGuiApplication::overrideCursor() != nullptr);
        open->dialog->close();
        open.reset();
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
        QThreadPool::globalInstance()->waitForDone();
    }

    // Only the video area takes dropped files: one dropped on the text box adds no text.
    void fileDroppedOnTheTextBoxAddsNothing() {
        test::OpenDialog open(std::make_unique<test::NoCameraSource>());
        QTRY_COMPARE(open.watcher.notices().size(), size_t{1});
        QWidget* box = open.message()->viewport();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(symbol)});
        const QPoint at = box->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(box, &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(box, &move);
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(box, &dropped);
        QVERIFY(open.message()->toPlainText().isEmpty());
        QVERIFY(!QFile::exists(QDir::home().filePath(u("条码测试.jpg"))));
    }

    // Every status's caption fits under the video in one line, with a camera's decode rate
    // after it.
    void detectionCaptionFitsEveryStatus() {
        test::OpenDialog open(std::make_unique<test::NoCameraSource>());
        auto* label = open.child<QLabel>("detectionCaption");
        const QString rate = u(ui::kDecodeRateCaption).arg(120);
        for (size_t value = 0; value < std::size(ui::kStatusMeanings); ++value) {
            const QString caption =
                u(ui::kFailedCaption).arg(value).arg(u(ui::kStatusMeanings[value])) + rate;
            QVERIFY2(
                label->fontMetrics().horizontalAdvance(caption) <= label->contentsRect().width(),
                qPrintable(caption));
        }
        const QString graded = u(ui::kDecodedCaption).arg(QStringLiteral("144x144")) +
                               u(ui::kGradeCaption).arg(QLatin1Char('A')).arg(4.0, 0, 'f', 1) +
                               rate;
        QVERIFY2(label->fontMetrics().horizontalAdvance(graded) <= label->contentsRect().width(),
                 qPrintable(graded));
    }
};

QTEST_MAIN(PictureViewTest)
#include "picture_view_test.moc"
