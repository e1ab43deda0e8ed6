// The self-closing notice, the help link and the picture holder.
#include <QAbstractItemView>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

#include "app/app_resources.h"
#include "app/jpeg_picture.h"
#include "app/message_dialog.h"
#include "app/static_link.h"
#include "app/ui_strings.h"

using namespace dm;

// Receives the https URLs the link opens instead of the desktop, while it lives.
class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    UrlCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }
    QList<QUrl> opened;
  public slots:
    void open(const QUrl& url) { opened.append(url); }
};

// A 10 x 10 black picture saved as a PNG file in the folder.
QString blackPicture(const QTemporaryDir& dir) {
    const QString path = dir.filePath(QStringLiteral("p.png"));
    QImage image(10, 10, QImage::Format_RGB32);
    image.fill(Qt::black);
    return image.save(path) ? path : QString();
}

class SmallDialogsTest : public QObject {
    Q_OBJECT
  private slots:
    // Limit L closes on tick L + 2 of 150 ms: 2 -> about 600 ms, 0 -> about 300 ms.
    void noticeClosesItselfOnTickLimitPlusTwo_data() {
        QTest::addColumn<int>("limit");
        QTest::newRow("long-text notice, limit 2") << 2;
        QTest::newRow("limit 0") << 0;
    }
    void noticeClosesItselfOnTickLimitPlusTwo() {
        QFETCH(int, limit);
        CMessageDialog1 notice(nullptr);
        notice.caption = QString::fromUtf8(ui::kLongTextCaption);
        notice.text = QString::fromUtf8(ui::kLongTextText);
        notice.autoCloseLimit = limit;
        QElapsedTimer clock;
        clock.start();
        // Guard: a notice that never closes would hang the test.
        QTimer::singleShot(5000, &notice, &QDialog::reject);
        notice.exec();
        const qint64 ms = clock.elapsed();
        const qint64 expected = (limit + 2) * CMessageDialog1::kTickMs;
        QCOMPARE(notice.tickCount, limit + 1);
        QVERIFY2(
            ms >= expected - 60 && ms < expected + 1500,
            qPrintable(
                QStringLiteral("closed after %1 ms, expected about %2").arg(ms).arg(expected)));
        QCOMPARE(notice.result(), int(QDialog::Accepted));
    }

    void noticeShowsCaptionAndText() {
        CMessageDialog1 notice(nullptr);
        notice.caption = QString::fromUtf8(ui::kFailureCaption);
        notice.text = QString::fromUtf8(ui::kFailureText);
        notice.autoCloseLimit = 0;
        QString shownTitle;
        QString shownText;
        QTimer::singleShot(50, &notice, [&] {
            shownTitle = notice.windowTitle();
            shownText = notice.findChild<QLabel*>(QStringLiteral("messageText"))->text();
        });
        notice.exec();
        QCOMPARE(shownTitle, QString::fromUtf8("Zentag"));
        QCOMPARE(shownText, QString::fromUtf8("生成Zentag失败，请与Tarvex联系。"));
        QCOMPARE(notice.closeButton->text(), QString::fromUtf8("关   闭"));
    }

    // Without a limit only the button closes it; Enter does not.
    void noticeWithoutLimitWaitsForTheButton() {
        CMessageDialog1 notice(nullptr);
        notice.caption = QStringLiteral("c");
        notice.text = QStringLiteral("t");
        notice.autoCloseLimit = -1;
        bool openAfterEnter = false;
        QTimer::singleShot(100, &notice, [&] {
            QTest::keyClick(&notice, Qt::Key_Return);
            QTest::keyClick(&notice, Qt::Key_Enter);
        });
        QTimer::singleShot(700, &notice, [&] {
            openAfterEnter = notice.isVisible();
            QTest::mouseClick(notice.closeButton, Qt::LeftButton);
        });
        QTimer::singleShot(5000, &notice, &QDialog::reject);
        notice.exec();
        QVERIFY(openAfterEnter);
        QCOMPARE(notice.result(), int(QDialog::Accepted));
        QCOMPARE(notice.tickCount, 0);
    }

    // Qt's own texts (the folder chooser, the edit boxes' menu) speak the interface's language.
    void qtOwnTextsAreChinese() {
        QVERIFY(installQtTranslations(*QCoreApplication::instance()));
        QLineEdit edit;
        std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        QStringList items;
        for (const QAction* action : menu->actions()) {
            items << action->text();
        }
        const QString texts = items.join(u',');
        QVERIFY2(texts.contains(QString::fromUtf8("复制(&C)")), qPrintable(texts));
    }

    void linkOpensItsUrlAndTurnsPurple() {
        UrlCatcher catcher;
        QWidget parent;
        auto* label = new QLabel(QString::fromUtf8(ui::kHelpLink), &parent);
        label->setGeometry(10, 10, 100, 20);
        auto* link = new CStaticLink(QString(), false);
        link->url = QStringLiteral("https://www.tarvex.example/apphelp.php?help_id=x");
        link->SubclassDlgItem(label);
        QCOMPARE(link->parentWidget(), &parent);
        QCOMPARE(link->text(), QString::fromUtf8("获取更多帮助"));
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(link->color, QColor(CStaticLink::kUnvisited));
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(catcher.opened.size(), 1);
        QCOMPARE(catcher.opened.front().toString(), link->url);
        QCOMPARE(link->color, QColor(CStaticLink::kVisited));
    }

    void linkWithoutUrlOpensItsText() {
        UrlCatcher catcher;
        CStaticLink link(QString(), false);
        link.setText(QStringLiteral("https://www.tarvex.example/"));
        QTest::mouseClick(&link, Qt::LeftButton);
        QCOMPARE(catcher.opened.size(), 1);
        QCOMPARE(catcher.opened.front().toString(), QStringLiteral("https://www.tarvex.example/"));
    }

    // Leaving a visited link turns it blue again.
    void leavingTheLinkTurnsItBlue() {
        QWidget parent;
        parent.resize(300, 100);
        auto* link = new CStaticLink(QString(), false, &parent);
        link->setGeometry(10, 10, 100, 20);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        link->color = QColor(CStaticLink::kVisited);
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), link->mapToGlobal(QPointF(5, 5)));
        QApplication::sendEvent(link, &enter);
        QCOMPARE(link->hovering, 1);
        QCOMPARE(link->color, QColor(CStaticLink::kHover));
        QCursor::setPos(link->mapToGlobal(QPoint(500, 500)));
        QTRY_COMPARE_WITH_TIMEOUT(link->hovering, 0, 2000);
        QCOMPARE(link->color, QColor(CStaticLink::kUnvisited));
    }

    void pictureKeepsItsImageWhenAFileIsMissing() {
        QTemporaryDir dir;
        const QString path = blackPicture(dir);
        QVERIFY(!path.isEmpty());
        CJpegPicture picture;
        QCOMPARE(picture.Load(dir.filePath(QStringLiteral("missing.jpg"))), 0);
        QVERIFY(!picture.holdsPicture());
        QCOMPARE(picture.Load(path), 1);
        QCOMPARE(picture.GetImageSize(), QSize(10, 10));
        QCOMPARE(picture.Load(dir.filePath(QStringLiteral("missing.jpg"))), 0);
        QCOMPARE(picture.GetImageSize(), QSize(10, 10));
    }

    // The whole picture is stretched to the rectangle; an all-zero rectangle means natural size.
    void pictureIsStretchedIntoTheRectangle() {
        QTemporaryDir dir;
        CJpegPicture picture;
        QVERIFY(picture.Load(blackPicture(dir)) == 1);

        QImage canvas(60, 40, QImage::Format_RGB32);
        canvas.fill(Qt::white);
        {
            QPainter painter(&canvas);
            QCOMPARE(picture.Render(painter, QRect(5, 5, 50, 20)), 1);
        }
        QCOMPARE(canvas.pixelColor(5, 5), QColor(Qt::black));
        QCOMPARE(canvas.pixelColor(54, 24), QColor(Qt::black));
        QCOMPARE(canvas.pixelColor(55, 25), QColor(Qt::white));

        canvas.fill(Qt::white);
        {
            QPainter painter(&canvas);
            picture.Render(painter, QRect());
        }
        QCOMPARE(canvas.pixelColor(9, 9), QColor(Qt::black));
        QCOMPARE(canvas.pixelColor(10, 10), QColor(Qt::white));
    }
};

QTEST_MAIN(SmallDialogsTest)
#include "small_dialogs_test.moc"
