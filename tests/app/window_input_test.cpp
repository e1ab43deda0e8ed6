// The keyboard as a person uses it, on a real display under a window manager: keys are typed
// with xdotool into whichever window the manager gave the focus, so a notice that took the
// keyboard would swallow them.
#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "app/codec_test_dialog.h"
#include "app/message_dialog.h"
#include "tests/app/open_dialog.h"
#include "tests/app/test_frame_source.h"

using namespace dm;
using test::u;

namespace {

// The keyboard, through xdotool: keys by xdotool's names ("Escape", "alt+F4"). Each call
// returns once the keys are sent, the event loop running meanwhile as the program's would.
class Keyboard {
  public:
    Keyboard() : xdotool(QStandardPaths::findExecutable(QStringLiteral("xdotool"))) {}
    bool present() const { return !xdotool.isEmpty(); }

    // xdotool's delay is split between a key's press and its release.
    bool type(const QString& text, int pauseMs) {
        return run({QStringLiteral("type"), QStringLiteral("--delay"), QString::number(2 * pauseMs),
                    text});
    }
    bool press(const QStringList& keys, int pauseMs = 150) {
        return run(QStringList{QStringLiteral("key"), QStringLiteral("--delay"),
                               QString::number(pauseMs)} +
                   keys);
    }

  private:
    bool run(const QStringList& arguments) {
        QProcess process;
        process.start(xdotool, arguments);
        if (!process.waitForStarted() ||
            !QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 30000)) {
            return false;
        }
        QTest::qWait(100);  // the last keys reach the window
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    QString xdotool;
};

}  // namespace

class WindowInputTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir home;
    Keyboard keyboard;

    // The dialog without a camera, its camera notice closed, active, with the focus on the
    // given control by a click.
    static void focusOn(test::OpenDialog& open, QWidget* control) {
        QVERIFY(QTest::qWaitForWindowExposed(open.dialog.get()));
        QTRY_COMPARE(open.watcher.notices().size(), size_t{1});
        QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
        open.dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(open.dialog.get()));
        QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(10, 8));
        QTRY_VERIFY(control->hasFocus());
    }

  private slots:
    void initTestCase() {
        if (!keyboard.present()) {
            QSKIP("xdotool is not installed (scripts/setup.sh installs it)");
        }
        qputenv("HOME", QFile::encodeName(home.path()));
    }

    // Past 60 bytes every key brings the long-text notice back, but it never takes the
    // keyboard: 80 characters typed at 10 a second all arrive, and the notice closes itself.
    void noKeystrokeIsLostToTheLongTextNotice() {
        test::OpenDialog open(std::make_unique<test::NoCameraSource>());
        focusOn(open, open.message());
        open.watcher.closeThem = false;
        const QString typed = QStringLiteral("abcdefghijklmnopqrst").repeated(4);
        QElapsedTimer typing;
        typing.start();
        QVERIFY(keyboard.type(typed, 100));
        QVERIFY2(typing.elapsed() >= 7000, "typed faster than 10 keys a second");
        QTRY_COMPARE_WITH_TIMEOUT(open.message()->toPlainText(), typed, 3000);
        const auto notices = open.watcher.notices();
        QVERIFY(notices.size() >= 2);
        QCOMPARE(notices.back().caption, u("TarvexQR码编解码测试"));
        QCOMPARE(notices.back().text, u("如果输入的信息过长，可能造成显示问题。"));
        QVERIFY(open.message()->hasFocus());
        // Closes itself about 0.6 s after the last key.
        QTRY_VERIFY_WITH_TIMEOUT(!open.dialog->findChild<CMessageDialog1*>() ||
                                     !open.dialog->findChild<CMessageDialog1*>()->isVisible(),
                                 2000);
        QVERIFY(open.dialog->picture().holdsPicture());
    }

    // Escape in the text box, or after closing a combo list with it, leaves the window open;
    // Alt+F4, through the window manager, still closes it.
    void escapeDoesNotQuit_data() {
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("Escape in the text box") << QStringList{QStringLiteral("Escape")};
        QTest::newRow("Tab to a combo, Escape closes its list, Escape") << QStringList{
            QStringLiteral("Tab"), QStringLiteral("Escape"), QStringLiteral("Escape")};
    }
    void escapeDoesNotQuit() {
        QFETCH(QStringList, keys);
        test::OpenDialog open(std::make_unique<test::NoCameraSource>());
        focusOn(open, open.message());
        QSignalSpy finished(open.dialog.get(), &QDialog::finished);
        QVERIFY(keyboard.press(keys));
        QTest::qWait(300);
        QCOMPARE(finished.count(), 0);
        QVERIFY(open.dialog->isVisible());
        auto* combo = open.child<QComboBox>("moduleSizeCombo");
        QVERIFY(!combo->view()->isVisible());

        QVERIFY(keyboard.press({QStringLiteral("alt+F4")}));
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY(!open.dialog->isVisible());
    }

    // Enter in the file-name box leaves the folder chooser closed and the folder as chosen.
    void enterInTheFileNameBoxOpensNothing() {
        test::OpenDialog open(std::make_unique<test::NoCameraSource>());
        int chooserOpened = 0;
        open.dialog->chooseFolder = [&chooserOpened] {
            ++chooserOpened;
            return QString();  // cancelled: the folder would fall back to home
        };
        const QString chosen = QDir::tempPath();
        auto* folder = open.child<QLineEdit>("folderEdit");
        auto* fileName = open.child<QLineEdit>("fileNameEdit");
        focusOn(open, fileName);
        folder->setText(chosen);
        QVERIFY(keyboard.press({QStringLiteral("Return")}));
        QTest::qWait(300);
        QCOMPARE(chooserOpened, 0);
        QCOMPARE(folder->text(), chosen);
        QVERIFY(open.dialog->isVisible());
        QVERIFY(fileName->hasFocus());
    }
};

QTEST_MAIN(WindowInputTest)
#include "window_input_test.moc"
