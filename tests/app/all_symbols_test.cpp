// Several symbols in the window: listed in reading order, outlined with their numbers, series
// joined; the camera reads them all only when the menu asks.
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

// Symbols of 16 x 16 modules of 6 pixels at the given places, in a 640 x 360 picture.
QString picture(const std::vector<EncodedSymbol>& symbols, const QList<QPoint>& places,
                const QString& file) {
    std::vector<PlacedSymbol> placed;
    for (qsizetype i = 0; i < places.size(); ++i) {
        placed.push_back({symbols[static_cast<size_t>(i)], places[i]});
    }
    return test::symbolsPicture(placed, QSize(640, 360), 6).save(file) ? file : QString();
}

EncodedSymbol symbolOf(std::string_view message) {
    return EncodeMessage(message).value_or(EncodedSymbol{});
}

}  // namespace

class AllSymbolsTest : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir;

  private slots:
    // A picture, dropped or opened from the menu: the texts in reading order, then the series;
    // outline i on symbol i, its number on its centre; the copy item copies the list.
    void picturesListEverySymbol_data() {
        QTest::addColumn<bool>("dropped");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QList<QPoint>>("places");  // in the order they are read
        QTest::addColumn<QString>("listed");
        std::vector<EncodedSymbol> labels;  // placed out of reading order
        for (const char* text : {"south east", "north west", "south west", "north east"}) {
            labels.push_back(symbolOf(text));
        }
        const QList<QPoint> four = {{40, 40}, {380, 50}, {60, 220}, {400, 210}};
        const QString labelsFile =
            picture(labels, {four[3], four[0], four[2], four[1]}, dir.filePath("labels.png"));
        const QString labelsText = u("1: north west\n2: north east\n3: south west\n4: south east");
        QTest::newRow("labels dropped") << true << labelsFile << four << labelsText;
        QTest::newRow("labels opened") << false << labelsFile << four << labelsText;

        SymbolOptions options;
        options.structuredAppend = 3;
        const std::string_view message = "0123456789abcdefghijABCDEFGHIJ";
        const std::vector<EncodedSymbol> series =
            encodeSymbols({reinterpret_cast<const uint8_t*>(message.data()), message.size()},
                          options)
                .symbols;
        const QList<QPoint> row = {{40, 100}, {240, 100}, {440, 100}};
        QTest::newRow("whole series")
            << true << picture(series, row, dir.filePath("series.png")) << row
            << u("1: 0123456789\n2: abcdefghij\n3: ABCDEFGHIJ\n"
                 "结构追加（共3个符号）：0123456789abcdefghijABCDEFGHIJ");
        QTest::newRow("series lacking its second")
            << true << picture({series[0], series[2]}, {row[0], row[2]}, dir.filePath("part.png"))
            << QList<QPoint>{row[0], row[2]}
            << u("1: 0123456789\n2: ABCDEFGHIJ\n结构追加（共3个符号）未能连接：缺少第2个");
    }
    void picturesListEverySymbol() {
        QFETCH(bool, dropped);
        QFETCH(QString, file);
        QFETCH(QList<QPoint>, places);
        QFETCH(QString, listed);
        test::OpenDialog open(std::make_unique<test::NoCameraSource>());
        QTRY_COMPARE(open.watcher.notices().size(), size_t{1});
        QVERIFY(open.chooseMenuItem(ui::kShowDetectionMenuItem));
        open.dialog->choosePicture = [file] { return file; };
        QVERIFY(dropped ? open.drop(file, open.dialog->videoArea().center())
                        : open.chooseMenuItem(ui::kOpenPictureMenuItem));
        QVERIFY(open.waitForPicture());
        QCOMPARE(open.result()->toPlainText(), listed);
        QCOMPARE(open.child<QLabel>("detectionCaption")->text(),
                 u(ui::kSymbolsCaption).arg(places.size()));

        auto* view = open.child<CDetectionView>("detectionView");
        QCOMPARE(view->outlines().size(), static_cast<size_t>(places.size()));
        const QImage shot = view->grab().toImage();
        const QRect shown = view->pictureRect();
        for (qsizetype i = 0; i < places.size(); ++i) {
            const QPointF centre = view->outlines()[static_cast<size_t>(i)].boundingRect().center();
            QVERIFY(QLineF(centre, places[i] + QPointF(48, 48)).length() < 6);
            const QPoint inView(shown.x() + qRound(centre.x() * shown.width() / 640.0),
                                shown.y() + qRound(centre.y() * shown.height() / 360.0));
            int tag = 0;  // pixels of the number's green tag
            for (int y = -5; y <= 5; ++y) {
                for (int x = -5; x <= 5; ++x) {
                    const QColor c = shot.pixelColor(inView + QPoint(x, y));
                    tag += c.green() > 150 && c.red() < 80 && c.blue() < 80 ? 1 : 0;
                }
            }
            QVERIFY(tag > 20);
        }
        QGuiApplication::clipboard()->clear();
        QVERIFY(open.chooseMenuItem(ui::kCopyResultMenuItem));
        QCOMPARE(QGuiApplication::clipboard()->text(), listed);
    }

    // One symbol a frame until the item is on; then all of them, listed and outlined.
    void cameraReadsEverySymbolOnlyWhenAsked() {
        const std::vector<PlacedSymbol> placed = {{symbolOf("camera one"), {40, 60}},
                                                  {symbolOf("camera two"), {300, 200}},
                                                  {symbolOf("camera three"), {480, 340}}};
        const QStringList texts = {u("camera one"), u("camera two"), u("camera three")};
        test::OpenDialog open(test::pictureCamera(test::symbolsPicture(placed, {640, 480}, 5)));
        QTextEdit* result = open.result();
        QTRY_VERIFY_WITH_TIMEOUT(texts.contains(result->toPlainText()), 5000);
        QTest::qWait(300);  // more ticks, still one symbol each
        QVERIFY(texts.contains(result->toPlainText()));

        QVERIFY(open.chooseMenuItem(ui::kAllSymbolsMenuItem));
        QVERIFY(open.chooseMenuItem(ui::kShowDetectionMenuItem));
        QTRY_COMPARE_WITH_TIMEOUT(result->toPlainText(),
                                  u("1: camera one\n2: camera two\n3: camera three"), 5000);
        auto* view = open.child<CDetectionView>("detectionView");
        QTRY_COMPARE_WITH_TIMEOUT(view->outlines().size(), size_t{3}, 5000);

        QVERIFY(open.chooseMenuItem(ui::kAllSymbolsMenuItem));  // off again
        QVERIFY(!open.dialog->allSymbolsDecoded());
        QTRY_VERIFY_WITH_TIMEOUT(texts.contains(result->toPlainText()), 5000);
        QTRY_COMPARE(view->outlines().size(), size_t{1});
    }
};

QTEST_MAIN(AllSymbolsTest)
#include "all_symbols_test.moc"
