// The main dialog's flows: start-up, generation and its notices, combos, folder change, the
// decode tick with and without a camera, and the about box.
#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QUrlQuery>
#include <QtTest>
#include <memory>

#include "app/capture_window.h"
#include "app/codec_test_dialog.h"
#include "app/decode_tick.h"
#include "app/message_dialog.h"
#include "app/static_link.h"
#include "app/symbol_generation.h"
#include "app/ui_strings.h"
#include "platform/gbk_text.h"
#include "tests/app/modal_watcher.h"
#include "tests/app/open_dialog.h"
#include "tests/app/test_frame_source.h"

using namespace dm;
using namespace std::chrono_literals;

namespace {

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Counts the notices a generation raises.
struct RecordedNotices : GenerationNotices {
    int raised = 0;
    void longText() override { ++raised; }
    void failed() override { ++raised; }
};

using test::OpenDialog;
using test::symbolCamera;
using test::u;

}  // namespace

class CodecDialogTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir home;
    QString defaultPath() const { return home.path() + u("/条码测试.jpg"); }

  private slots:
    void initTestCase() {
        QVERIFY(home.isValid());
        qputenv("HOME", QFile::encodeName(home.path()));
        QCOMPARE(QDir::homePath(), home.path());
    }
    void init() { QFile::remove(defaultPath()); }

    void startsWithTheDefaults() {
        OpenDialog open(std::make_unique<test::NoCameraSource>());
        CCodecTestDialog& d = *open.dialog;
        QCOMPARE(d.windowTitle(), u("Datamatrix编解码软件"));
        // The artwork is compiled in.
        QVERIFY(!d.windowIcon().isNull());
        QVERIFY(!open.child<QLabel>("banner")->pixmap().isNull());
        QCOMPARE(d.moduleSize(), 4);
        QCOMPARE(d.quietZone(), 3);
        QVERIFY(d.outputPath().isEmpty());
        QVERIFY(!d.picture().holdsPicture());
        auto* moduleCombo = open.child<QComboBox>("moduleSizeCombo");
        auto* quietCombo = open.child<QComboBox>("quietZoneCombo");
        QCOMPARE(moduleCombo->currentIndex(), -1);
        QCOMPARE(moduleCombo->placeholderText(), u("请选择单个模块大小"));
        QCOMPARE(quietCombo->placeholderText(), u("请选择条码白边大小"));
        QCOMPARE(moduleCombo->count(), 9);
        QCOMPARE(moduleCombo->itemText(0), u("1个像素"));
        QCOMPARE(moduleCombo->itemText(8), u("9个像素"));
        QCOMPARE(open.child<QLineEdit>("folderEdit")->text(), home.path());
        QVERIFY(!open.child<QLineEdit>("folderEdit")->isEnabled());
        QCOMPARE(open.child<QLineEdit>("fileNameEdit")->text(), u("条码测试.jpg"));
        QVERIFY(open.child<QPushButton>("generateButton")->isHidden());
        auto* result = open.child<QTextEdit>("resultEdit");
        QVERIFY(result->isReadOnly());
        // The help link carries the program identifier.
        auto* link = open.child<CStaticLink>("helpLink");
        QVERIFY(link != nullptr);
        const QUrl url(link->url);
        QCOMPARE(url.path(), QStringLiteral("/apphelp.php"));
        QCOMPARE(QUrlQuery(url).queryItemValue(QStringLiteral("help_id"), QUrl::FullyDecoded),
                 u("TarvexDatamatrix测试程序ver_2010.11.15"));
    }

    void withoutCameraShowsTheNoticeAndStaysIdle() {
        OpenDialog open(std::make_unique<test::NoCameraSource>());
        QTRY_COMPARE(open.watcher.notices().size(), size_t{1});
        QCOMPARE(open.watcher.notices()[0].caption, u("编解码测试"));
        QCOMPARE(open.watcher.notices()[0].text,
                 u("启动摄像头失败，请检查图像输入设备是否准备好。"));
        QVERIFY(!open.dialog->cameraRunning());
        QVERIFY(!open.dialog->decodeTimerActive());
        // Encoding still works.
        QTest::keyClicks(open.message(), QStringLiteral("abc"));
        QVERIFY(QFile::exists(defaultPath()));
        QVERIFY(open.dialog->picture().holdsPicture());
        QVERIFY(open.child<QTextEdit>("resultEdit")->toPlainText().isEmpty());
    }

    // Every keystroke writes the file with the current module size and quiet zone.
    void typingWritesTheFileAndShowsIt() {
        OpenDialog open(std::make_unique<test::NoCameraSource>());
        QTest::keyClicks(open.message(), QStringLiteral("Hello"));
        QCOMPARE(open.dialog->outputPath(), defaultPath());
        QVERIFY(QFile::exists(defaultPath()));
        // "Hello" fits a 12 x 12 symbol: (12 + 2 x 3) x 4 pixels.
        QCOMPARE(open.dialog->picture().GetImageSize(), QSize(72, 72));

        auto* moduleCombo = open.child<QComboBox>("moduleSizeCombo");
        auto* quietCombo = open.child<QComboBox>("quietZoneCombo");
        moduleCombo->setCurrentIndex(0);
        emit moduleCombo->activated(0);
        quietCombo->setCurrentIndex(8);
        emit quietCombo->activated(8);
        QCOMPARE(open.dialog->moduleSize(), 1);
        QCOMPARE(open.dialog->quietZone(), 9);
        // A combo change alone writes nothing; the next keystroke does.
        QCOMPARE(QImage(defaultPath()).size(), QSize(72, 72));
        QTest::keyClick(open.message(), Qt::Key_Backspace);  // "Hell": still 12 x 12
        QCOMPARE(QImage(defaultPath()).size(), QSize(12 + 2 * 9, 12 + 2 * 9));
        QVERIFY(open.watcher.notices().size() <= 1);  // only the camera notice
    }

    // One click opens a list, whose release leaves it open, and a click on an item picks it.
    // Tab and Shift-Tab reach every control; a combo box opens as the keyboard arrives on it,
    // Escape closes it and the focus stays, so the next Tab goes on.
    void comboBoxesOpenOnOneClickAndOnTab() {
        OpenDialog open(std::make_unique<test::NoCameraSource>());
        QTRY_COMPARE(open.watcher.notices().size(), size_t{1});
        QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
        open.dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(open.dialog.get()));
        auto* moduleCombo = open.child<QComboBox>("moduleSizeCombo");
        auto* quietCombo = open.child<QComboBox>("quietZoneCombo");
        QTest::mouseClick(quietCombo, Qt::LeftButton, {}, QPoint(8, quietCombo->height() / 2));
        QTRY_VERIFY(quietCombo->view()->isVisible());
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        QVERIFY(quietCombo->view()->isVisible());
        QAbstractItemView* list = quietCombo->view();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(8, 0)).center());
        QTRY_VERIFY(!list->isVisible());
        QCOMPARE(open.dialog->quietZone(), 9);
        QCOMPARE(quietCombo->currentText(), u("9个像素"));
        QVERIFY(quietCombo->hasFocus());

        // Keys go where the keyboard would send them: into an open list, else the focus.
        const auto press = [](int key) {
            QWidget* popup = QApplication::activePopupWidget();
            QWidget* target = popup != nullptr ? popup->focusWidget() : nullptr;
            QTest::keyClick(target != nullptr ? target : QApplication::focusWidget(),
                            static_cast<Qt::Key>(key));
        };
        press(Qt::Key_Backtab);
        QTRY_VERIFY(moduleCombo->view()->isVisible());
        press(Qt::Key_Down);
        press(Qt::Key_Return);  // picks the item below the first: "2个像素"
        QTRY_VERIFY(!moduleCombo->view()->isVisible());
        QCOMPARE(open.dialog->moduleSize(), 2);
        QVERIFY(moduleCombo->hasFocus());

        // Around the whole focus chain and back to the first box.
        const QStringList chain = {QStringLiteral("quietZoneCombo"),
                                   QStringLiteral("changeFolderButton"),
                                   QStringLiteral("fileNameEdit"), QStringLiteral("messageEdit"),
                                   QStringLiteral("moduleSizeCombo")};
        for (const QString& name : chain) {
            press(Qt::Key_Tab);
            auto* control = open.dialog->findChild<QWidget*>(name);
            if (auto* combo = qobject_cast<QComboBox*>(control)) {
                QTRY_VERIFY2(combo->view()->isVisible(), qPrintable(name));
                press(Qt::Key_Escape);
                QTRY_VERIFY(!combo->view()->isVisible());
            }
            QTRY_VERIFY2(control->hasFocus(), qPrintable(name));
        }
        QCOMPARE(open.dialog->quietZone(), 9);  // Escape changed nothing
        QCOMPARE(open.dialog->moduleSize(), 2);
    }

    void emptyTextChangesNothing() {
        OpenDialog open(std::make_unique<test::NoCameraSource>());
        QTest::keyClicks(open.message(), QStringLiteral("x"));
        const QByteArray written = fileBytes(defaultPath());
        QVERIFY(!written.isEmpty());
        const size_t noticesBefore = open.watcher.notices().size();
        open.message()->clear();
        QCOMPARE(fileBytes(defaultPath()), written);
        QVERIFY(open.dialog->picture().holdsPicture());
        QCOMPARE(open.watcher.notices().size(), noticesBefore);
    }

    // The 61st byte brings up the long-text notice, which closes by itself about 0.6 s later;
    // it does not hold up the symbol, which is written at once. Bytes are counted in GBK: 30
    // Chinese characters are 60 bytes.
    void longTextNoticeClosesItselfAndTheSymbolIsWritten_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("notice");
        QTest::newRow("60 ASCII bytes") << QString(60, QLatin1Char('A')) << false;
        QTest::newRow("61 ASCII bytes") << QString(61, QLatin1Char('A')) << true;
        QTest::newRow("30 Chinese characters") << QString(30, QChar(0x7801)) << false;
        QTest::newRow("31 Chinese characters") << QString(31, QChar(0x7801)) << true;
        QTest::newRow("20 lines of one character: CR LF counts two")
            << QString(u("a\n")).repeated(20) << false;
        QTest::newRow("21 lines of one character")
            << QString(u("a\n")).repeated(20) + u("a\n") << true;
    }
    void longTextNoticeClosesItselfAndTheSymbolIsWritten() {
        QFETCH(QString, text);
        QFETCH(bool, notice);
        OpenDialog open(std::make_unique<test::NoCameraSource>());
        QTRY_COMPARE(open.watcher.notices().size(), size_t{1});  // the camera notice
        open.watcher.closeThem = false;  // the long-text notice must close by itself
        QElapsedTimer clock;
        clock.start();
        open.message()->setPlainText(text);
        QVERIFY(QFile::exists(defaultPath()));
        if (!notice) {
            QTest::qWait(100);
            QCOMPARE(open.watcher.notices().size(), size_t{1});
            return;
        }
        QTRY_COMPARE(open.watcher.notices().size(), size_t{2});
        QCOMPARE(open.watcher.notices()[1].caption, u("TarvexQR码编解码测试"));
        QCOMPARE(open.watcher.notices()[1].text, u("如果输入的信息过长，可能造成显示问题。"));
        auto* shown = open.dialog->findChild<CMessageDialog1*>();
        QVERIFY(shown != nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(!shown->isVisible(), 3000);
        const qint64 ms = clock.elapsed();
        QVERIFY2(ms >= 500, qPrintable(QStringLiteral("notice closed after %1 ms").arg(ms)));
    }

    void failedGenerationShowsTheNotice_data() {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("text");
        QTest::newRow("folder that does not exist") << u("missing/a.jpg") << u("abc");
        QTest::newRow("text too long for any symbol")
            << u("a.jpg") << QString(3117, QLatin1Char('1'));
        QTest::newRow("character without a GBK form")
            << u("a.jpg") << QString::fromUcs4(U"\U0001F600");
    }
    void failedGenerationShowsTheNotice() {
        QFETCH(QString, fileName);
        QFETCH(QString, text);
        OpenDialog open(std::make_unique<test::NoCameraSource>());
        QTRY_COMPARE(open.watcher.notices().size(), size_t{1});
        QTest::keyClicks(open.message(), QStringLiteral("ok"));
        QVERIFY(open.dialog->picture().holdsPicture());
        const QSize before = open.dialog->picture().GetImageSize();
        open.child<QLineEdit>("fileNameEdit")->setText(fileName);
        open.message()->setPlainText(text);
        const auto notices = open.watcher.notices();
        QVERIFY(notices.size() >= 2);
        QCOMPARE(notices.back().caption, u("Zentag"));
        QCOMPARE(notices.back().text, u("生成Zentag失败，请与Tarvex联系。"));
        // The previous symbol stays on screen.
        QCOMPARE(open.dialog->picture().GetImageSize(), before);
    }

    // Folder without separator, with one, and the root.
    void outputPathHasOneSeparator() {
        for (const auto& [folder, expected] :
             {std::pair{"/d/out", "/d/out/a.jpg"}, {"/d/out/", "/d/out/a.jpg"}, {"/", "/a.jpg"}}) {
            QCOMPARE(buildOutputPath(u(folder), u("a.jpg")), u(expected));
        }
    }

    // Paths of five characters or fewer generate nothing, not even a notice.
    // "./ab" and "./abc" are too short, "./abcd" is written.
    void shortPathsGenerateNothing() {
        for (const auto& [name, written] :
             {std::pair{"ab", false}, std::pair{"abc", false}, std::pair{"abcd", true}}) {
            const QString fileName = u(name);
            QTemporaryDir dir;
            const QString saved = QDir::currentPath();
            QDir::setCurrent(dir.path());
            RecordedNotices notices;
            const GenerationResult result =
                runGeneration({.text = u("abc"), .folder = u("."), .fileName = fileName}, notices);
            QDir::setCurrent(saved);
            QCOMPARE(result.outputPath, u("./") + fileName);
            QVERIFY2(result.outcome ==
                         (written ? GenerationOutcome::Written : GenerationOutcome::NotGenerated),
                     name);
            QVERIFY2(QFile::exists(dir.filePath(fileName)) == written, name);
            QVERIFY2(notices.raised == 0, name);
        }
    }

    void messageBytesAreGbkWithCrLf() {
        const std::optional<std::string> bytes = messageBytes(u("码\nA"));
        QVERIFY(bytes.has_value());
        QCOMPARE(QByteArray::fromStdString(*bytes), QByteArray("\xC2\xEB\r\nA"));
        QCOMPARE(decodedTextForDisplay(std::string("\xC2\xEB\r\nA\xFF")), u("码\nA\uFFFD"));
    }

    // Bytes under ECIs are shown from their character sets: ISO-8859-1, then ISO-8859-5.
    void decodedTextFollowsEciSegments() {
        const EciSegment segments[] = {{3, 0}, {7, 3}};
        QCOMPARE(decodedTextForDisplay(std::string("\xB6\r\n\xB6"), segments), u("¶\nЖ"));
    }

    void changingTheFolderWritesNothing_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<bool>("home");
        QTest::newRow("chosen folder") << u("/tmp") << false;
        QTest::newRow("cancelled") << QString() << true;
        QTest::newRow("too short") << u("/t") << true;
    }
    void changingTheFolderWritesNothing() {
        QFETCH(QString, chosen);
        QFETCH(bool, home);
        OpenDialog open(std::make_unique<test::NoCameraSource>());
        open.dialog->chooseFolder = [chosen] { return chosen; };
        open.dialog->findChild<QLineEdit*>(QStringLiteral("folderEdit"))->setText(u("/elsewhere"));
        open.child<QPushButton>("changeFolderButton")->click();
        // The narrow box shows the end of the path, and the whole path as its tooltip.
        auto* folder = open.child<QLineEdit>("folderEdit");
        QCOMPARE(folder->text(), home ? this->home.path() : chosen);
        QCOMPARE(folder->toolTip(), folder->text());
        QCOMPARE(folder->cursorPosition(), folder->text().size());
        QVERIFY(!QFile::exists(defaultPath()));
        QVERIFY(open.dialog->outputPath().isEmpty());
    }

    // System commands 16 to 31 open the about box, others nothing.
    void aboutBoxOpensForItsCommands_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<bool>("opens");
        QTest::newRow("15") << 15 << false;
        QTest::newRow("16, the menu item") << 16 << true;
        QTest::newRow("31") << 31 << true;
        QTest::newRow("32") << 32 << false;
    }
    void aboutBoxOpensForItsCommands() {
        QFETCH(int, id);
        QFETCH(bool, opens);
        OpenDialog open(std::make_unique<test::NoCameraSource>());
        QTRY_COMPARE(open.watcher.seen.size(), size_t{1});
        open.dialog->onSysCommand(id);
        QCOMPARE(open.watcher.seen.size(), size_t(opens ? 2 : 1));
        if (opens) {
            QCOMPARE(open.watcher.seen.back().className, u("dm::CAboutDlg"));
        }
    }

    void rightClickOffersTheAboutItem() {
        OpenDialog open(std::make_unique<test::NoCameraSource>());
        QTRY_COMPARE(open.watcher.seen.size(), size_t{1});
        QString itemText;
        QTimer::singleShot(100, open.dialog.get(), [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (menu == nullptr || menu->actions().isEmpty()) {
                return;
            }
            QAction* item = menu->actions().back();
            itemText = item->text();
            menu->close();
            item->trigger();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 200),
                                open.dialog->mapToGlobal(QPoint(20, 200)));
        QApplication::sendEvent(open.dialog.get(), &event);
        QTRY_COMPARE(open.watcher.seen.size(), size_t{2});
        QCOMPARE(itemText, u("关于 TarvexDatamatrix测试程序(&A)..."));
        QCOMPARE(open.watcher.seen.back().className, u("dm::CAboutDlg"));
    }

    // A symbol in front of the camera appears in the text box within a few ticks, converted
    // from GBK.
    void decodedTextAppearsInTheTextBox_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("ASCII") << u("DM window 42");
        QTest::newRow("Chinese in GBK") << u("条码测试");
    }
    void decodedTextAppearsInTheTextBox() {
        QFETCH(QString, text);
        const std::optional<std::string> gbk = utf8ToGbk(text.toStdString());
        QVERIFY(gbk.has_value());
        OpenDialog open(symbolCamera(*gbk));
        QVERIFY(open.dialog->cameraRunning());
        QVERIFY(open.dialog->decodeTimerActive());
        QVERIFY(open.watcher.notices().empty());
        QTRY_COMPARE_WITH_TIMEOUT(open.child<QTextEdit>("resultEdit")->toPlainText(), text, 3000);
    }

    // A tick arriving while the previous one still waits for its frame returns at once.
    void secondTickDuringAPendingRequestReturnsAtOnce() {
        auto source = symbolCamera("x");
        test::TestFrameSource* feeder = source.get();
        feeder->deliverFrames = false;
        OpenDialog open(std::move(source));
        // Runs inside the wait of the timer's tick, which cannot get a frame yet.
        bool wasPending = false;
        qint64 ms = -1;
        QTimer::singleShot(250, open.dialog.get(), [&] {
            wasPending = open.dialog->captureWindow()->requestPending();
            QElapsedTimer clock;
            clock.start();
            open.dialog->onTimer();
            ms = clock.elapsed();
            feeder->deliverFrames = true;
        });
        QTRY_COMPARE_WITH_TIMEOUT(open.child<QTextEdit>("resultEdit")->toPlainText(), u("x"), 4000);
        QVERIFY(wasPending);
        QVERIFY2(ms >= 0 && ms < 100, qPrintable(QStringLiteral("second tick took %1 ms").arg(ms)));
    }

    // No camera at start: the notice, and idle. One plugged in later is started and decoded
    // without a click; when it goes away the notice comes once more and the half is idle.
    void camerasComingAndGoingAreFollowed() {
        auto source = symbolCamera("plugged");
        test::TestFrameSource* camera = source.get();
        camera->unplug();
        OpenDialog open(std::move(source));
        auto* result = open.child<QTextEdit>("resultEdit");
        QTRY_COMPARE(open.watcher.notices().size(), size_t{1});
        QVERIFY(!open.dialog->cameraRunning());

        camera->plugIn();
        QTRY_VERIFY(open.dialog->cameraRunning());
        QVERIFY(open.dialog->decodeTimerActive());
        QTRY_COMPARE_WITH_TIMEOUT(result->toPlainText(), u("plugged"), 3000);

        camera->unplug();
        QTRY_VERIFY(!open.dialog->cameraRunning());
        QVERIFY(!open.dialog->decodeTimerActive());
        QVERIFY(!open.dialog->captureWindow()->isRunning());
        QTRY_COMPARE(open.watcher.notices().size(), size_t{2});
        QCOMPARE(open.watcher.notices().back().text, u(ui::kCameraNoticeText));
        QTest::qWait(300);
        QCOMPARE(open.watcher.notices().size(), size_t{2});
    }

    // A camera that stops delivering without an error is given up after a few time-outs.
    void silentCameraIsGivenUp() {
        auto source = symbolCamera("x");
        source->deliverFrames = false;
        OpenDialog open(std::move(source));
        open.dialog->captureWindow()->grabTimeout = 100ms;
        QTRY_COMPARE_WITH_TIMEOUT(open.watcher.notices().size(), size_t{1}, 3000);
        QVERIFY(!open.dialog->cameraRunning());
        QVERIFY(!open.dialog->decodeTimerActive());
    }

    // Closing stops the ticks.
    void closingStopsTheTimer() {
        OpenDialog open(symbolCamera("x"));
        QVERIFY(open.dialog->decodeTimerActive());
        open.dialog->close();
        QVERIFY(!open.dialog->decodeTimerActive());
        QVERIFY(!open.dialog->captureWindow()->isRunning());
    }
};

QTEST_MAIN(CodecDialogTest)
#include "codec_dialog_test.moc"
