// Opens the real window on a (virtual) display and keeps pictures of it in the build folder:
// idle, with a symbol generated, with a decoded text, with the detection results shown, and
// with the notice of a camera that failed. The symbol must be visible in its picture.
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include "app/about_dialog.h"
#include "app/app_resources.h"
#include "app/codec_test_dialog.h"
#include "app/detection_view.h"
#include "app/message_dialog.h"
#include "app/ui_strings.h"
#include "platform/gbk_text.h"
#include "tests/app/media_file_source.h"
#include "tests/app/open_dialog.h"
#include "tests/app/test_clips.h"
#include "tests/app/test_frame_source.h"

using namespace dm;

namespace {

const QString kShots = QStringLiteral(DM_ARTIFACT_DIR "/screenshots/");

// The window as the display shows it; the widget's own rendering where the display cannot
// be read.
QImage shotOf(QWidget& window) {
    QImage shot = window.screen()->grabWindow(window.winId()).toImage();
    return shot.isNull() || shot.size() != window.size() ? window.grab().toImage() : shot;
}

void save(const QImage& shot, const char* name) {
    QDir().mkpath(kShots);
    QVERIFY2(shot.save(kShots + QString::fromLatin1(name)), name);
}

}  // namespace

class WindowScreenshotTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir home;

  private slots:
    void initTestCase() {
        qputenv("HOME", QFile::encodeName(home.path()));
        installQtTranslations(*QCoreApplication::instance());  // as the program does
    }

    // Without a camera: the notice over the window, then the idle window, then a typed text
    // and its symbol.
    void idleWindowAndTypedSymbol() {
        // The notice runs its own event loop: it is pictured and closed from inside it.
        bool noticePictured = false;
        CCodecTestDialog dialog(std::make_unique<test::NoCameraSource>());
        QTimer poll;
        connect(&poll, &QTimer::timeout, &dialog, [&] {
            auto* notice = qobject_cast<CMessageDialog1*>(QApplication::activeModalWidget());
            if (notice == nullptr || noticePictured || !notice->isVisible()) {
                return;
            }
            QImage failed = shotOf(dialog);  // with the notice over it where the screen has it
            QPainter(&failed).drawImage(notice->geometry().topLeft() - dialog.geometry().topLeft(),
                                        shotOf(*notice));
            save(failed, "camera_failed.png");
            noticePictured = true;
            notice->accept();
        });
        poll.start(300);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTRY_VERIFY_WITH_TIMEOUT(noticePictured, 5000);
        QTest::qWait(200);
        save(shotOf(dialog), "idle.png");

        auto* message = dialog.findChild<QPlainTextEdit*>(QStringLiteral("messageEdit"));
        QTest::mouseClick(message, Qt::LeftButton);
        QTest::keyClicks(message, QStringLiteral("Data Matrix 2010"));
        QTRY_VERIFY(dialog.picture().holdsPicture());
        QTest::qWait(300);
        const QImage shot = shotOf(dialog);
        save(shot, "symbol_generated.png");

        // The symbol area shows a black-and-white symbol: plenty of both.
        const QRect area = dialog.symbolRect();
        int dark = 0;
        int light = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                const int gray = qGray(shot.pixel(x, y));
                dark += gray < 80 ? 1 : 0;
                light += gray > 180 ? 1 : 0;
            }
        }
        const int pixels = area.width() * area.height();
        QVERIFY2(
            dark > pixels / 10 && light > pixels / 10,
            qPrintable(QStringLiteral("dark %1, light %2 of %3").arg(dark).arg(light).arg(pixels)));
    }

    // A clip in front of the "camera": its text decoded, then the detection results over it.
    void decodedTextAndDetectionResults() {
        test::OpenDialog open(test::clipSource(test::kTestClips[4]));  // MJPEG 800x600
        QVERIFY(QTest::qWaitForWindowExposed(open.dialog.get()));
        // Alone it reads within a second or two; a two-core machine running the other tests
        // beside it has taken over 15 s.
        QTRY_VERIFY_WITH_TIMEOUT(!open.result()->toPlainText().isEmpty(), 40000);
        QTest::qWait(300);
        save(shotOf(*open.dialog), "decoded.png");
        QVERIFY(open.chooseMenuItem(ui::kShowDetectionMenuItem));
        QTRY_VERIFY_WITH_TIMEOUT(open.child<CDetectionView>("detectionView")->isVisible(), 3000);
        QTest::qWait(300);
        save(shotOf(*open.dialog), "detection.png");
    }

    // A picture of four labels decoded with the detection results on: every outline with its
    // number, the texts listed in the same order.
    void everySymbolOfAPicture() {
        const char* const labels[4] = {"DM-0001", "批次 2026-12", "https://example.com/dm",
                                       "Label 4"};
        const QPoint places[4] = {{40, 20}, {270, 24}, {30, 180}, {300, 214}};
        std::vector<test::PlacedSymbol> placed;
        for (size_t i = 0; i < 4; ++i) {
            const std::optional<std::string> gbk = utf8ToGbk(labels[i]);
            QVERIFY(gbk.has_value());
            placed.push_back({EncodeMessage(*gbk).value_or(EncodedSymbol{}), places[i]});
        }
        const QString file = home.filePath(QStringLiteral("labels.png"));
        QVERIFY(test::symbolsPicture(placed, QSize(480, 360), 7).save(file));

        test::OpenDialog open(std::make_unique<test::NoCameraSource>());
        QVERIFY(QTest::qWaitForWindowExposed(open.dialog.get()));
        QTRY_COMPARE(open.watcher.notices().size(), size_t{1});
        QVERIFY(open.chooseMenuItem(ui::kShowDetectionMenuItem));
        QVERIFY(open.drop(file, open.dialog->videoArea().center()));
        QVERIFY(open.waitForPicture());
        QCOMPARE(open.child<CDetectionView>("detectionView")->outlines().size(), size_t{4});
        QTest::qWait(300);
        save(shotOf(*open.dialog), "all_symbols.png");
    }

    // The result box holding twelve lines, as shown and after a click below its scroll bar's
    // handle: the lines at the end come into view.
    void resultBoxPictures() {
        test::OpenDialog open(std::make_unique<test::NoCameraSource>());
        QVERIFY(QTest::qWaitForWindowExposed(open.dialog.get()));
        QTRY_COMPARE(open.watcher.notices().size(), size_t{1});
        QTextEdit* result = open.result();
        QStringList lines;
        for (int i = 1; i <= 12; ++i) {
            lines << QString::fromUtf8("第%1行：解码结果 Data Matrix").arg(i);
        }
        result->setPlainText(lines.join(QLatin1Char('\n')));
        QTest::qWait(300);
        const QRect box = result->geometry().adjusted(-4, -4, 4, 4);
        save(shotOf(*open.dialog).copy(box), "result_box.png");
        QScrollBar* bar = result->verticalScrollBar();
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          QPoint(bar->width() / 2, bar->height() - bar->width() - 4));
        QTest::qWait(300);
        save(shotOf(*open.dialog).copy(box), "result_box_scrolled.png");
    }

    // The window with its frame lies on the screen, at any scaling (this test runs again with
    // QT_SCALE_FACTOR=1.5); without scaling it keeps its 9-point font.
    void windowFitsTheScreen() {
        CCodecTestDialog dialog(std::make_unique<test::NoCameraSource>());
        QTimer closer;  // the camera notice
        connect(&closer, &QTimer::timeout, &dialog, [] {
            if (auto* notice = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                notice->accept();
            }
        });
        closer.start(100);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::qWait(500);  // the window manager has framed it
        const QRect screen = dialog.screen()->availableGeometry();
        QVERIFY2(screen.contains(dialog.frameGeometry()),
                 qPrintable(QStringLiteral("frame %1 x %2 at %3, %4 on a screen of %5 x %6")
                                .arg(dialog.frameGeometry().width())
                                .arg(dialog.frameGeometry().height())
                                .arg(dialog.frameGeometry().x())
                                .arg(dialog.frameGeometry().y())
                                .arg(screen.width())
                                .arg(screen.height())));
        if (qEnvironmentVariableIsEmpty("QT_SCALE_FACTOR")) {
            QCOMPARE(dialog.font().pointSizeF(), 9.0);
        }
        const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1"));
        save(shotOf(dialog), qPrintable(QStringLiteral("window_scale_%1.png").arg(scale)));
    }

    // Pictures of a notice and of the about box, for looking at.
    void noticeAndAboutBoxPictures() {
        CMessageDialog1 notice(nullptr);
        notice.caption = QString::fromUtf8(ui::kCameraNoticeCaption);
        notice.text = QString::fromUtf8(ui::kCameraNoticeText);
        QTimer::singleShot(300, &notice, [&notice] {
            save(notice.grab().toImage(), "notice.png");
            notice.accept();
        });
        notice.exec();
        CAboutDlg about(nullptr);
        QTimer::singleShot(300, &about, [&about] {
            save(about.grab().toImage(), "about.png");
            about.accept();
        });
        about.exec();
        QVERIFY(QFile::exists(kShots + QStringLiteral("notice.png")));
        QVERIFY(QFile::exists(kShots + QStringLiteral("about.png")));
    }
};

QTEST_MAIN(WindowScreenshotTest)
#include "window_screenshot_test.moc"
