// Draws through QPainterDeviceContext into images and checks pixels.
//
// To regenerate docs/chart-trading-day.png:
//   KOLPEX_RENDER_PNG=$PWD/docs/chart-trading-day.png QT_QPA_PLATFORM=offscreen <build>/tests/tst_chartpixels
#include "chart/chartfixture.h"
#include "chart/graph.h"
#include "platform/qpainterdevicecontext.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <cmath>
#include <cstdio>

namespace {

QRgb Pixel(const QImage& image, int x, int y)
{
    return image.pixel(x, y) & 0xFFFFFF;
}

QRgb ToQRgb(Rgb c)
{
    return qRgb(c.r, c.g, c.b) & 0xFFFFFF;
}

const QRgb kWhite = 0xFFFFFF;
const QRgb kBlack = 0x000000;

std::string Fixed2(double v)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", v);
    return buffer;
}

// 78 five-minute refreshes from 09:30 on a day that opens at 52.10 after a close of 51.80.
void FillTradingDay(CGraph& chart)
{
    double last = 52.10;
    double high = last;
    double low = last;
    for (int i = 0; i < 78; ++i) {
        last += 0.18 * std::sin(i * 0.37) + 0.11 * std::cos(i * 1.7) + (i > 50 ? -0.04 : 0.03);
        high = std::max(high, last);
        low = std::min(low, last);
        const int minutes = 9 * 60 + 30 + 5 * i;
        char label[8];
        std::snprintf(label, sizeof label, "%02d:%02d", minutes / 60, minutes % 60);
        chart.AddRow(Row(label, { Fixed2(last), "51.80", Fixed2(high), Fixed2(low) }));
    }
    chart.SetSeriesInfoLines(4,
        { "Last: " + Fixed2(last), "Change: " + Fixed2(last - 51.80), "Open: 52.10",
            "Day's range: " + Fixed2(low) + " - " + Fixed2(high), "Bid: " + Fixed2(last - 0.02) + " x 300",
            "Ask: " + Fixed2(last + 0.02) + " x 500", "Volume: 1,284,300",
            "Avg. volume (3 mo.):<BR>2,031,550", "52-week range: 38.20 - 61.75", "", "P/E ratio: 18.40",
            "Earnings per share: 2.84", "Dividend: 1.20 (2.31%)", "Market capitalisation: 12.4 bn",
            "Ex-dividend date: Mar 14", "Last trade: 15:55 ET" });
}

} // namespace

class TestChartPixels final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void lineToLeavesOutItsEndPoint_data();
    void lineToLeavesOutItsEndPoint();
    void rectangleExcludesRightAndBottom();
    void textOnItsBackground();
    void fontFaceIsMapped();
    void chartColoursOnTheirLines();
    void renderTradingDay();
};

void TestChartPixels::lineToLeavesOutItsEndPoint_data()
{
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<QPoint>("lastDrawn");
    QTest::newRow("right") << QPoint(5, 5) << QPoint(15, 5) << QPoint(14, 5);
    QTest::newRow("left") << QPoint(15, 8) << QPoint(5, 8) << QPoint(6, 8);
    QTest::newRow("down") << QPoint(5, 10) << QPoint(5, 20) << QPoint(5, 19);
    QTest::newRow("up") << QPoint(8, 20) << QPoint(8, 10) << QPoint(8, 11);
    QTest::newRow("diagonal") << QPoint(20, 20) << QPoint(25, 25) << QPoint(24, 24);
}

void TestChartPixels::lineToLeavesOutItsEndPoint()
{
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(QPoint, lastDrawn);
    QImage image(40, 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        QPainterDeviceContext dc(painter);
        dc.MoveTo(Point { from.x(), from.y() });
        dc.LineTo(Point { to.x(), to.y() });
        const Point polyline[] = { { 30, 30 }, { 35, 30 }, { 35, 35 } };
        dc.Polyline(polyline, 3);
    }
    QCOMPARE(Pixel(image, from.x(), from.y()), kBlack);
    QCOMPARE(Pixel(image, lastDrawn.x(), lastDrawn.y()), kBlack);
    QCOMPARE(Pixel(image, to.x(), to.y()), kWhite);
    QCOMPARE(Pixel(image, 35, 30), kBlack); // an inner polyline point is drawn
    QCOMPARE(Pixel(image, 35, 34), kBlack);
    QCOMPARE(Pixel(image, 35, 35), kWhite);
}

void TestChartPixels::rectangleExcludesRightAndBottom()
{
    QImage image(40, 40, QImage::Format_RGB32);
    image.fill(Qt::gray);
    {
        QPainter painter(&image);
        QPainterDeviceContext dc(painter);
        dc.Rectangle(Rect { 10, 10, 20, 30 });
    }
    QCOMPARE(Pixel(image, 10, 10), kBlack);
    QCOMPARE(Pixel(image, 19, 29), kBlack);
    QCOMPARE(Pixel(image, 15, 20), kWhite); // filled
    QCOMPARE(Pixel(image, 20, 20), qRgb(160, 160, 164) & 0xFFFFFF); // untouched right of it
    QCOMPARE(Pixel(image, 15, 30), qRgb(160, 160, 164) & 0xFFFFFF);
}

void TestChartPixels::textOnItsBackground()
{
    QImage image(200, 40, QImage::Format_RGB32);
    image.fill(Qt::gray);
    int width = 0;
    {
        QPainter painter(&image);
        QPainterDeviceContext dc(painter);
        dc.SelectFont(FontDesc { "Arial Cyr", 14, 400 });
        dc.FillSolidRect(0, 0, 5, 5, Rgb { 0, 150, 100 });
        dc.SetBkColor(Rgb { 255, 255, 255 });
        dc.SetTextAlign(kAlignCentreTop);
        width = dc.GetTextExtent("Heigh").cx;
        QCOMPARE(dc.GetTextExtent("Heigh").cy, 14); // the cell height asked for
        dc.TextOut(100, 10, "Heigh");
    }
    QCOMPARE(Pixel(image, 2, 2), qRgb(0, 150, 100) & 0xFFFFFF);
    QVERIFY(width > 20 && width < 60);
    // Centred on x = 100, top at y = 10: white box with dark glyphs, grey outside it.
    QCOMPARE(Pixel(image, 100 - width / 2, 10), kWhite);
    QCOMPARE(Pixel(image, 100 - width / 2 - 2, 12), qRgb(160, 160, 164) & 0xFFFFFF);
    QCOMPARE(Pixel(image, 100, 9), qRgb(160, 160, 164) & 0xFFFFFF);
    int dark = 0;
    for (int y = 10; y < 24; ++y)
        for (int x = 100 - width / 2; x < 100 + width / 2; ++x)
            dark += qGray(image.pixel(x, y)) < 100;
    QVERIFY(dark > 20);
}

void TestChartPixels::fontFaceIsMapped()
{
    const QFont font = QPainterDeviceContext::MakeFont(FontDesc { "Arial Cyr", 14, 400 });
    if (!QFontDatabase::hasFamily(QStringLiteral("Liberation Sans")))
        QSKIP("Liberation Sans is not installed");
    QCOMPARE(QFontInfo(font).family(), QStringLiteral("Liberation Sans"));
    QVERIFY(QFontMetrics(font).height() <= 14);
}

void TestChartPixels::chartColoursOnTheirLines()
{
    QImage image(821, 420, QImage::Format_RGB32);
    image.fill(Qt::black);
    CGraph chart = MakeChart(821, 420); // plot x 60 .. 661, y 60 .. 360
    AddQuoteSeries(chart);
    chart.m_yAutoscale = false;
    chart.m_yMin = 0.0;
    chart.m_yDelta = 10.0; // 5 pixels per unit
    chart.AddRow(Row("10:00", { "30", "10", "50", "5" }));
    chart.AddRow(Row("10:05", { "30", "10", "50", "5" }));
    chart.AddRow(Row("10:10", { "30", "10", "50", "5" }));
    {
        QPainter painter(&image);
        QPainterDeviceContext dc(painter);
        chart.Draw(dc);
    }
    QCOMPARE(Pixel(image, 200, 360 - 150), ToQRgb(Rgb { 0, 0, 255 })); // "Today" at 30
    QCOMPARE(Pixel(image, 500, 360 - 50), ToQRgb(Rgb { 255, 0, 0 })); // previous close at 10
    QCOMPARE(Pixel(image, 250, 360 - 100), ToQRgb(chart.m_gridPen.colour)); // Y grid line at 20
    QCOMPARE(Pixel(image, 360, 100), ToQRgb(chart.m_gridPen.colour)); // X grid line of the second row
    QCOMPARE(Pixel(image, 250, 360 - 101), kWhite);
    QCOMPARE(Pixel(image, 60, 200), kBlack); // the plot frame
    QCOMPARE(Pixel(image, 5, 5), kBlack); // outside the outer frame nothing is touched
    QCOMPARE(Pixel(image, 10, 200), kBlack);
    QCOMPARE(Pixel(image, 30, 200), kWhite); // erased inside it
}

void TestChartPixels::renderTradingDay()
{
    QImage image(820, 540, QImage::Format_RGB32);
    image.fill(QColor(212, 208, 200));
    CGraph chart = MakeChart(image.width(), image.height());
    AddQuoteSeries(chart);
    chart.SetTitle("Acme Industries Inc (ACME)");
    FillTradingDay(chart);
    {
        QPainter painter(&image);
        QPainterDeviceContext dc(painter);
        chart.Draw(dc);
    }
    QCOMPARE(chart.RowCount(), 78);
    int blue = 0;
    for (int y = chart.m_plotRect.top; y <= chart.m_plotRect.bottom; ++y)
        blue += Pixel(image, chart.m_plotRect.left + 300, y) == ToQRgb(Rgb { 0, 0, 255 });
    QVERIFY(blue >= 1);
    const QByteArray target = qgetenv("KOLPEX_RENDER_PNG");
    if (!target.isEmpty())
        QVERIFY(image.save(QString::fromLocal8Bit(target), "PNG"));
}

QTEST_MAIN(TestChartPixels)
#include "tst_chartpixels.moc"
