// Sharp at 2x: the toolbar's images carry device pixels of their own at the screen's scale, and a
// 1-pixel chart line covers one logical pixel whatever the scale.
#include "app/kolpexapp.h"
#include "app/mainframe.h"
#include "platform/notifier.h"
#include "platform/qpainterdevicecontext.h"
#include "res/resource_ids.h"
#include "shelltestviews.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

class TestHiDpi final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Run at QT_SCALE_FACTOR=2: each button's image has 90 x 32 pixels of its own, not 45 x 16
    // blown up (where every 2 x 2 block would be one colour).
    void toolbarImagesAtTwice()
    {
        QCOMPARE(qApp->devicePixelRatio(), 2.0);
        RecordingNotifier notifier;
        g_pendingListKind = 1;
        CKolpexApp app(notifier, QuoteTestViews(), ListTestViews());
        QVERIFY(app.InitInstance());
        for (int id : { ids::ID_FIND_WORLDWIDE, ids::ID_PROPERTIES, ids::ID_MARKETS_NASDAQ }) {
            const QPixmap pixmap = app.mainFrame()->action(id)->icon().pixmap(QSize(45, 16), 2.0);
            QCOMPARE(pixmap.size(), QSize(90, 32));
            QCOMPARE(pixmap.devicePixelRatio(), 2.0);
            const QImage image = pixmap.toImage();
            int detailed = 0; // 2 x 2 blocks whose four pixels are not all alike
            for (int y = 0; y < 32; y += 2)
                for (int x = 0; x < 90; x += 2)
                    detailed += image.pixel(x + 1, y) != image.pixel(x, y)
                        || image.pixel(x, y + 1) != image.pixel(x, y)
                        || image.pixel(x + 1, y + 1) != image.pixel(x, y);
            QVERIFY2(detailed > 20, qPrintable(QString::number(detailed)));
        }
    }

    void lineCoversOneLogicalPixel_data()
    {
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("thickness"); // device pixels across
        QTest::newRow("1x, width 1") << 1.0 << 1 << 1;
        QTest::newRow("2x, width 1") << 2.0 << 1 << 2;
        QTest::newRow("3x, width 1") << 3.0 << 1 << 3;
        QTest::newRow("2x, width 2") << 2.0 << 2 << 4;
    }
    // A horizontal line at y 10, a vertical one at x 60 and a rectangle from y 40: each covers
    // the device pixels of its logical pixel and no others.
    void lineCoversOneLogicalPixel()
    {
        QFETCH(qreal, ratio);
        QFETCH(int, width);
        QFETCH(int, thickness);
        const int r = static_cast<int>(ratio);
        QImage image(100 * r, 100 * r, QImage::Format_RGB32);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            QPainterDeviceContext dc(painter);
            dc.SelectPen(PenDesc { width, Rgb { 0, 0, 0 } });
            dc.MoveTo(Point { 10, 10 });
            dc.LineTo(Point { 50, 10 });
            dc.MoveTo(Point { 60, 5 });
            dc.LineTo(Point { 60, 30 });
            dc.Rectangle(Rect { 10, 40, 50, 70 });
        }
        auto covered = [&](bool down, int at) {
            QList<int> hits;
            for (int i = 0; i < 100 * r; ++i)
                if (image.pixel(down ? at : i, down ? i : at) != qRgb(255, 255, 255))
                    hits << i;
            return hits;
        };
        auto shifted = [&](int logical) { // a wide pen is centred on the line
            QList<int> list;
            for (int i = 0; i < thickness; ++i)
                list << logical * r + i - (width == 1 ? 0 : thickness / 2);
            return list;
        };
        // Down a column: the line, then the rectangle's top and bottom edges (the bottom one left
        // out by a thin pen, as a classic device context does).
        QCOMPARE(covered(true, 30 * r), shifted(10) + shifted(40) + shifted(width == 1 ? 69 : 70));
        QCOMPARE(covered(false, 20 * r), shifted(60)); // across a row: the vertical line
    }
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_SCALE_FACTOR", "2");
    QTemporaryDir configDir;
    qputenv("XDG_CONFIG_HOME", configDir.path().toLocal8Bit());
    QApplication application(argc, argv);
    TestHiDpi test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_hidpi.moc"
