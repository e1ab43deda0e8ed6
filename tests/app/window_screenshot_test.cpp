// Opens the window on a real (virtual) display, types a text and saves a picture of the
// window as a build artifact; the symbol must be visible in it.
#include <QFile>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

#include "app/about_dialog.h"
#include "app/codec_test_dialog.h"
#include "app/message_dialog.h"
#include "app/ui_strings.h"
#include "tests/app/modal_watcher.h"

using namespace dm;

class WindowScreenshotTest : public QObject {
    Q_OBJECT
  private slots:
    void typedTextShowsItsSymbol() {
        QTemporaryDir home;
        qputenv("HOME", QFile::encodeName(home.path()));
        test::ModalWatcher watcher;  // closes the camera notice when there is no camera

        CCodecTestDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::qWait(300);
        auto* message = dialog.findChild<QPlainTextEdit*>(QStringLiteral("messageEdit"));
        QVERIFY(message != nullptr);
        message->setFocus();
        QTest::keyClicks(message, QStringLiteral("Data Matrix 2010"));
        QTRY_VERIFY(dialog.picture().holdsPicture());
        QTest::qWait(300);

        QImage shot = dialog.screen()->grabWindow(dialog.winId()).toImage();
        if (shot.isNull() || shot.size() != dialog.size()) {
            shot = dialog.grab().toImage();
        }
        QVERIFY(!shot.isNull());
        QVERIFY2(shot.save(QStringLiteral(DM_ARTIFACT_DIR "/window_screenshot.png")),
                 DM_ARTIFACT_DIR "/window_screenshot.png");

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
        dialog.close();
    }

    // Pictures of a notice and of the about box, for looking at.
    void noticeAndAboutBoxPictures() {
        CMessageDialog1 notice(nullptr);
        notice.caption = QString::fromUtf8(ui::kCameraNoticeCaption);
        notice.text = QString::fromUtf8(ui::kCameraNoticeText);
        QTimer::singleShot(300, &notice, [&notice] {
            notice.grab().save(QStringLiteral(DM_ARTIFACT_DIR "/notice_screenshot.png"));
            notice.accept();
        });
        notice.exec();
        QVERIFY(QFile::exists(QStringLiteral(DM_ARTIFACT_DIR "/notice_screenshot.png")));

        CAboutDlg about(nullptr);
        QTimer::singleShot(300, &about, [&about] {
            about.grab().save(QStringLiteral(DM_ARTIFACT_DIR "/about_screenshot.png"));
            about.accept();
        });
        about.exec();
        QVERIFY(QFile::exists(QStringLiteral(DM_ARTIFACT_DIR "/about_screenshot.png")));
    }
};

QTEST_MAIN(WindowScreenshotTest)
#include "window_screenshot_test.moc"
