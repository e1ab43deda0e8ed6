// Several symbols in the window: a picture gives every symbol, numbered in reading order with
// its outline, and joins the Structured Append series among them; the camera gives every
// symbol of a frame only once the menu asks for it.
#include <QClipboard>
#include <QLabel>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include "app/detection_view.h"
#include "app/ui_strings.h"
#include "encoder/symbol_encoder.h"
#include "tests/app/open_dialog.h"
#include "tests/app/test_frame_source.h"

using namespace dm;
using test::PlacedSymbol;
using test::u;

namespace {

EncodedSymbol symbolOf(std::string_view message) {
    return EncodeMessage(message).value_or(EncodedSymbol{});
}

// Four labels of 16 x 16 modules of 6 pixels, two rows of two; drawn in another order than
// they are read.
const char* const kLabels[4] = {"north west", "north east", "south west", "south east"};
const QPoint kLabelPlaces[4] = {{40, 40}, {300, 40}, {40, 220}, {300, 220}};

QImage fourLabels() {
    std::vector<PlacedSymbol> placed;
    for (const int i : {3, 0, 2, 1}) {
        placed.push_back({symbolOf(kLabels[i]), kLabelPlaces[i]});
    }
    return test::symbolsPicture(placed, QSize(480, 360), 6);
}

QPointF centreOf(const QPolygonF& outline) {
    QPointF centre;
    for (const QPointF& corner : outline) {
        centre += corner / static_cast<double>(outline.size());
    }
    return centre;
}

// Pixels in the outline's colour around a point of the view: a number's tag lies there.
int tagPixels(CDetectionView* view, QPoint at) {
    const QImage shot = view->grab().toImage();
    int green = 0;
    for (int y = at.y() - 5; y <= at.y() + 5; ++y) {
        for (int x = at.x() - 5; x <= at.x() + 5; ++x) {
            const QColor c = shot.pixelColor(x, y);
            green += c.green() > 150 && c.red() < 80 && c.blue() < 80 ? 1 : 0;
        }
    }
    return green;
}

}  // namespace

class AllSymbolsTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir;

    QString save(const QImage& picture, const char* name) {
        const QString file = dir.filePath(QString::fromLatin1(name));
        return picture.save(file) ? file : QString();
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        qputenv("HOME", QFile::encodeName(dir.path()));
    }

    // Dropped or opened from the menu, a picture of four labels lists them in reading order;
    // the detection results outline each, numbered at its centre, and the copy item copies the
    // list.
    void pictureListsEverySymbolInReadingOrder_data() {
        QTest::addColumn<bool>("dropped");
        QTest::newRow("dropped") << true;
        QTest::newRow("opened from the menu") << false;
    }
    void pictureListsEverySymbolInReadingOrder() {
        QFETCH(bool, dropped);
        const QString file = save(fourLabels(), "labels.png");
        test::OpenDialog open(std::make_unique<test::NoCameraSource>());
        QTRY_COMPARE(open.watcher.notices().size(), size_t{1});
        QVERIFY(open.chooseMenuItem(ui::kShowDetectionMenuItem));
        if (dropped) {
            QVERIFY(open.drop(file, open.dialog->videoArea().center()));
        } else {
            open.dialog->choosePicture = [file] { return file; };
            QVERIFY(open.chooseMenuItem(ui::kOpenPictureMenuItem));
        }
        QVERIFY(open.waitForPicture());
        const QString expected = u("1: north west\n2: north east\n3: south west\n4: south east");
        QCOMPARE(open.result()->toPlainText(), expected);
        QCOMPARE(open.child<QLabel>("detectionCaption")->text(), u("解码成功：4个符号"));

        auto* view = open.child<CDetectionView>("detectionView");
        QCOMPARE(view->outlines().size(), size_t{4});
        const QRect shown = view->pictureRect();
        for (size_t i = 0; i < 4; ++i) {
            // Each outline is its label's, in the same order as the texts.
            const QPointF centre = centreOf(view->outlines()[i]);
            const QPointF label = QPointF(kLabelPlaces[i]) + QPointF(48, 48);
            QVERIFY2(QLineF(centre, label).length() < 6, kLabels[i]);
            const QPoint inView(shown.x() + qRound(centre.x() * shown.width() / 480.0),
                                shown.y() + qRound(centre.y() * shown.height() / 360.0));
            QVERIFY2(tagPixels(view, inView) > 20, kLabels[i]);
        }

        QGuiApplication::clipboard()->clear();
        QVERIFY(open.chooseMenuItem(ui::kCopyResultMenuItem));
        QCOMPARE(QGuiApplication::clipboard()->text(), expected);
    }

    // The symbols of a Structured Append series are listed, then joined when every position
    // was read, or the positions missing are named. A lone symbol shows as any one symbol does:
    // its text alone.
    void structuredAppendSeriesAreJoined_data() {
        QTest::addColumn<QList<int>>("positions");
        QTest::addColumn<QString>("lastLine");
        QTest::newRow("whole series")
            << QList<int>{1, 2, 3} << u("结构追加（共3个符号）：Structured Append in the window");
        QTest::newRow("second missing")
            << QList<int>{1, 3} << u("结构追加（共3个符号）未能连接：缺少第2个");
        QTest::newRow("one symbol") << QList<int>{2} << QString();
    }
    void structuredAppendSeriesAreJoined() {
        QFETCH(QList<int>, positions);
        QFETCH(QString, lastLine);
        const std::string_view message = "Structured Append in the window";
        SymbolOptions options;
        options.structuredAppend = 3;
        const SymbolSeries series = encodeSymbols(
            {reinterpret_cast<const uint8_t*>(message.data()), message.size()}, options);
        QCOMPARE(series.symbols.size(), size_t{3});
        std::vector<PlacedSymbol> placed;
        for (const int position : positions) {
            placed.push_back({series.symbols[static_cast<size_t>(position - 1)],
                              QPoint(40 + 200 * (position - 1), 60)});
        }
        const QString file = save(test::symbolsPicture(placed, QSize(640, 240), 5), "series.png");

        test::OpenDialog open(std::make_unique<test::NoCameraSource>());
        QTRY_COMPARE(open.watcher.notices().size(), size_t{1});
        QVERIFY(open.drop(file, open.dialog->videoArea().center()));
        QVERIFY(open.waitForPicture());
        const QStringList lines = open.result()->toPlainText().split(QLatin1Char('\n'));
        if (positions.size() == 1) {
            QCOMPARE(lines.size(), 1);
            QVERIFY(!lines.front().isEmpty() && !lines.front().startsWith(u("1: ")));
            QVERIFY(u(message.data()).contains(lines.front()));
            return;
        }
        QCOMPARE(lines.size(), positions.size() + 1);
        QCOMPARE(lines.back(), lastLine);
        for (int i = 0; i < positions.size(); ++i) {
            QVERIFY(lines[i].startsWith(QStringLiteral("%1: ").arg(i + 1)));
        }
    }

    // One symbol a frame unless the menu item is on; then every symbol of the frame, listed,
    // outlined and counted in the caption; off again, one symbol.
    void cameraGivesEverySymbolOnlyWhenAsked() {
        const std::vector<PlacedSymbol> placed = {{symbolOf("camera one"), {40, 60}},
                                                  {symbolOf("camera two"), {300, 200}},
                                                  {symbolOf("camera three"), {480, 340}}};
        const QStringList texts = {u("camera one"), u("camera two"), u("camera three")};
        test::OpenDialog open(test::pictureCamera(test::symbolsPicture(placed, {640, 480}, 5)));
        QTextEdit* result = open.result();
        QTRY_VERIFY_WITH_TIMEOUT(texts.contains(result->toPlainText()), 5000);
        QVERIFY(!open.dialog->allSymbolsDecoded());
        QTest::qWait(300);  // more ticks: still one symbol each
        QVERIFY(texts.contains(result->toPlainText()));

        QVERIFY(open.chooseMenuItem(ui::kAllSymbolsMenuItem));
        QVERIFY(open.dialog->allSymbolsDecoded());
        QTRY_COMPARE_WITH_TIMEOUT(result->toPlainText(),
                                  u("1: camera one\n2: camera two\n3: camera three"), 5000);
        QVERIFY(open.chooseMenuItem(ui::kShowDetectionMenuItem));
        auto* view = open.child<CDetectionView>("detectionView");
        QTRY_VERIFY_WITH_TIMEOUT(view->isVisible() && view->outlines().size() == 3, 5000);
        QTRY_COMPARE(open.child<QLabel>("detectionCaption")->text(), u("解码成功：3个符号"));

        QVERIFY(open.chooseMenuItem(ui::kAllSymbolsMenuItem));  // off again
        QVERIFY(!open.dialog->allSymbolsDecoded());
        QTRY_VERIFY_WITH_TIMEOUT(texts.contains(result->toPlainText()), 5000);
        QTRY_COMPARE(view->outlines().size(), size_t{1});
        QVERIFY(open.child<QLabel>("detectionCaption")->text().contains(u("等级")));
    }
};

QTEST_MAIN(AllSymbolsTest)
#include "all_symbols_test.moc"
