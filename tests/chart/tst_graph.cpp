#include "chart/chartfixture.h"
#include "chart/graph.h"
#include "platform/recordingdevicecontext.h"

#include <QTest>
#include <algorithm>

using Kind = RecordingDeviceContext::Kind;
using Segment = RecordingDeviceContext::Segment;

namespace {

constexpr Rgb kGrid { 220, 220, 220 };
constexpr Rgb kBlue { 0, 0, 255 };
constexpr Rgb kRed { 255, 0, 0 };

std::vector<Segment> SegmentsIn(const RecordingDeviceContext& dc, Rgb colour)
{
    auto all = dc.Segments();
    std::erase_if(all, [&](const Segment& s) { return !(s.pen.colour == colour); });
    return all;
}

std::vector<const RecordingDeviceContext::Call*> PolylinesIn(const RecordingDeviceContext& dc, Rgb colour)
{
    auto all = dc.Of(Kind::Polyline);
    std::erase_if(all, [&](const auto* c) { return !(c->pen.colour == colour); });
    return all;
}

bool HasSegment(const std::vector<Segment>& segments, Point from, Point to)
{
    return std::any_of(
        segments.begin(), segments.end(), [&](const Segment& s) { return s.from == from && s.to == to; });
}

QStringList TextsAt(const RecordingDeviceContext& dc, int y)
{
    QStringList found;
    for (const auto* call : dc.Texts()) {
        if (call->points[0].y == y)
            found << QString::fromStdString(call->text);
    }
    return found;
}

const RecordingDeviceContext::Call* FindText(const RecordingDeviceContext& dc, const std::string& text)
{
    for (const auto* call : dc.Texts()) {
        if (call->text == text)
            return call;
    }
    return nullptr;
}

// One value series in blue over a frame of width x height.
CGraph OneSeriesChart(int width, int height)
{
    CGraph chart = MakeChart(width, height);
    chart.AddSeries("Time", 0, std::nullopt);
    chart.AddSeries("Today", 3, kBlue);
    return chart;
}

} // namespace

class TestGraph final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void defaults();
    void layoutFollowsTheFrame();
    void autoscaleWithoutRowsKeepsTheScale();
    void autoscaleWithoutValueSeries();
    void autoscaleWorkedExample();
    void rowsSpreadOverThePlot();
    void moreRowsThanPixelsShareTheLeftEdge();
    void labelThinning_data();
    void labelThinning();
    void minorTicksVanishAtSixtyRows();
    void axisWithoutRows();
    void legendNamesCutAt30();
    void infoLines_data();
    void infoLines();
    void infoLinesStopNearTheBottom();
    void segmentsWithAnEndOutsideAreLeftOut();
    void marksFollowTheVisibilityRule();
    void seriesEditsKeepTheRest();
    void penStateAfterDraw();
    void zeroYStepDrawsNoSeries();
    void lowPlotFitsOverOneInterval();
    void equalValuesDrawOnTheBottomLine();
    void storedZeroXStepWithoutRows();
    void valuesThatCannotBePlaced();
    void shortRowsLeaveGaps();
};

void TestGraph::defaults()
{
    // Settings no other case sets: the scale a fresh chart shows, marks off, the fonts.
    CGraph chart = OneSeriesChart(820, 420);
    chart.SetTitle("T");
    chart.AddRow({ "a", "1" });
    chart.AddRow({ "b", "2" });
    chart.m_yAutoscale = false;
    RecordingDeviceContext dc;
    chart.Draw(dc);
    for (int k = 0; k <= 6; ++k)
        QCOMPARE(
            TextsAt(dc, 353 - 50 * k), QStringList { QString::number(-20 + 5 * k) + QStringLiteral(".00") });
    QVERIFY(dc.Of(Kind::FillSolidRect).empty());
    QCOMPARE(FindText(dc, "T")->font, (FontDesc { "Arial Cyr", 16, 400 }));
    QCOMPARE(FindText(dc, "a")->font, (FontDesc { "Arial Cyr", 14, 400 }));
    QCOMPARE(FindText(dc, "Time")->font, (FontDesc { "Arial Cyr", 14, 400 }));
}

void TestGraph::layoutFollowsTheFrame()
{
    CGraph chart = MakeChart(800, 500);
    RecordingDeviceContext dc;
    chart.Draw(dc);
    QCOMPARE(chart.m_outerRect, (Rect { 10, 10, 790, 490 }));
    QCOMPARE(chart.m_plotRect, (Rect { 60, 60, 640, 440 }));
    const auto rects = dc.Of(Kind::Rectangle);
    QCOMPARE(rects.size(), std::size_t(2));
    QCOMPARE(rects[0]->rect, chart.m_outerRect);
    QCOMPARE(rects[1]->rect, chart.m_plotRect);

    chart.m_showLegend = false;
    chart.m_fitToParent = false;
    chart.m_outerRect = Rect { 0, 0, 400, 300 };
    chart.Draw(dc);
    QCOMPARE(chart.m_outerRect, (Rect { 0, 0, 400, 300 }));
    QCOMPARE(chart.m_plotRect, (Rect { 50, 50, 340, 250 }));
}

void TestGraph::autoscaleWithoutRowsKeepsTheScale()
{
    CGraph chart = OneSeriesChart(820, 420);
    chart.m_yMin = 3.0;
    chart.m_yDelta = 0.25;
    RecordingDeviceContext dc;
    chart.Draw(dc);
    QCOMPARE(chart.m_yMin, 3.0);
    QCOMPARE(chart.m_yDelta, 0.25);
}

void TestGraph::autoscaleWithoutValueSeries()
{
    CGraph chart = MakeChart(820, 420);
    chart.AddSeries("Time", 0, std::nullopt);
    chart.AddRow({ "10:00" });
    RecordingDeviceContext dc;
    chart.Draw(dc);
    QCOMPARE(chart.m_yMin, 1e11);
    QCOMPARE(chart.m_yDelta, (-1e11 - 1e11) / 5);
}

void TestGraph::autoscaleWorkedExample()
{
    CGraph chart = MakeChart(820, 420); // plot 300 high: G = 6, K = 5
    AddQuoteSeries(chart);
    chart.AddRow(Row("10:00", { "10", "12", "11", "9" }));
    chart.m_showMarks = true;
    RecordingDeviceContext dc;
    chart.Draw(dc);
    QCOMPARE(chart.m_yMin, 9.0);
    QCOMPARE(chart.m_yDelta, 0.6);
    QCOMPARE(TextsAt(dc, 360 - 7), QStringList { QStringLiteral("9.00") });
    QCOMPARE(TextsAt(dc, 360 - 250 - 7), QStringList { QStringLiteral("12.00") });
    QCOMPARE(TextsAt(dc, 360 - 300 - 7), QStringList { QStringLiteral("12.60") });
    QVERIFY(dc.Of(Kind::Polyline).empty()); // one row: points only
    // The first row's mark follows its own point: 0 lies far below this scale, yet all four show.
    QStringList marks;
    for (const auto* fill : dc.Of(Kind::FillSolidRect)) {
        if (fill->colour == (Rgb { 0, 0, 0 }))
            marks << QStringLiteral("%1,%2").arg(fill->rect.left).arg(fill->rect.top);
    }
    QCOMPARE(marks,
        (QStringList { QStringLiteral("59,%1").arg(360 - 83 - 1), QStringLiteral("59,%1").arg(360 - 250 - 1),
            QStringLiteral("59,%1").arg(360 - 166 - 1), QStringLiteral("59,%1").arg(360 - 1) }));
}

void TestGraph::rowsSpreadOverThePlot()
{
    CGraph chart = OneSeriesChart(601 + 220, 420);
    for (const char* label : { "a", "b", "c" })
        chart.AddRow({ label, "1" });
    RecordingDeviceContext dc;
    chart.Draw(dc);
    QCOMPARE(chart.m_xStepPx, 300);
    const auto grid = SegmentsIn(dc, kGrid);
    QVERIFY(HasSegment(grid, { 360, 359 }, { 360, 60 }));
    QVERIFY(HasSegment(grid, { 660, 359 }, { 660, 60 }));
    QVERIFY(HasSegment(grid, { 60, 359 }, { 60, 364 })); // the first row gets a tick, not a grid line
    QVERIFY(FindText(dc, "a")->points[0] == (Point { 60, 364 }));
    QVERIFY(FindText(dc, "b")->points[0] == (Point { 360, 364 }));
    QVERIFY(FindText(dc, "c")->points[0] == (Point { 660, 364 }));
    QCOMPARE(PolylinesIn(dc, kBlue).size(), std::size_t(1));
    QCOMPARE(PolylinesIn(dc, kBlue)[0]->points.front().x, 60);
    QCOMPARE(PolylinesIn(dc, kBlue)[0]->points.back().x, 660);
}

void TestGraph::moreRowsThanPixelsShareTheLeftEdge()
{
    CGraph chart = OneSeriesChart(10 + 220, 420);
    for (int i = 0; i < 12; ++i)
        chart.AddRow({ "x", std::to_string(i) });
    RecordingDeviceContext dc;
    chart.Draw(dc);
    QCOMPARE(chart.m_xStepPx, 0);
    QCOMPARE(TextsAt(dc, 364), QStringList { QStringLiteral("x") });
    const auto polylines = PolylinesIn(dc, kBlue);
    QCOMPARE(polylines.size(), std::size_t(1));
    QCOMPARE(polylines[0]->points.size(), std::size_t(12));
    QVERIFY(std::all_of(
        polylines[0]->points.begin(), polylines[0]->points.end(), [](const Point& p) { return p.x == 60; }));
}

void TestGraph::labelThinning_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QList<int>>("labelled");
    // Step 50; "12:30" is 35 pixels wide, so the limit grows by 87 per label drawn.
    QTest::newRow("time labels") << QStringLiteral("12:30") << QList<int> { 0, 2, 4, 6, 7, 9 };
    QTest::newRow("empty labels add nothing") << QString() << QList<int> { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9 };
}

void TestGraph::labelThinning()
{
    QFETCH(QString, label);
    QFETCH(QList<int>, labelled);
    CGraph chart = OneSeriesChart(450 + 220, 420);
    for (int i = 0; i < 10; ++i)
        chart.AddRow({ label.toStdString(), "1" });
    RecordingDeviceContext dc;
    chart.Draw(dc);
    QCOMPARE(chart.m_xStepPx, 50);
    QList<int> got;
    for (const auto* call : dc.Texts()) {
        if (call->points[0].y == 364 && call->text == label.toStdString())
            got << (call->points[0].x - 60) / 50;
    }
    QCOMPARE(got, labelled);
    // Every labelled row also gets its tick below the axis.
    const auto segments = dc.Segments();
    const auto ticks = std::count_if(
        segments.begin(), segments.end(), [](const Segment& s) { return s.from.y == 360 && s.to.y == 365; });
    QCOMPARE(qsizetype(ticks), labelled.size());
}

void TestGraph::minorTicksVanishAtSixtyRows()
{
    const auto minorTicks = [](const RecordingDeviceContext& dc) {
        const auto grid = SegmentsIn(dc, kGrid);
        return std::count_if(grid.begin(), grid.end(), [](const Segment& s) {
            return (s.from.y == 359 && s.to.y == 354) || (s.from.x == 61 && s.to.x == 66);
        });
    };
    CGraph chart = OneSeriesChart(600 + 220, 420);
    RecordingDeviceContext dc;
    chart.Draw(dc);
    QVERIFY(minorTicks(dc) > 0);

    for (int i = 0; i < 61; ++i)
        chart.AddRow({ "", "1" });
    dc.Clear();
    chart.Draw(dc);
    QCOMPARE(chart.m_xStepPx, 10);
    QCOMPARE(minorTicks(dc), 0);
}

void TestGraph::axisWithoutRows()
{
    CGraph chart = OneSeriesChart(500 + 220, 420);
    RecordingDeviceContext dc;
    chart.Draw(dc);
    QStringList expected;
    for (int i = 1; i <= 10; ++i)
        expected << QString::number(i * 10).rightJustified(6, QLatin1Char(' '));
    QCOMPARE(TextsAt(dc, 364), expected);
    for (int i = 1; i <= 10; ++i)
        QCOMPARE(FindText(dc, expected[i - 1].toStdString())->points[0].x, 60 + 50 * i);
    QVERIFY(!FindText(dc, "Time")); // no X caption without rows
    QVERIFY(HasSegment(SegmentsIn(dc, kGrid), { 560, 359 }, { 560, 60 }));
}

void TestGraph::legendNamesCutAt30()
{
    CGraph chart = MakeChart(820, 420);
    chart.AddSeries("Time", 0, std::nullopt);
    chart.AddSeries(std::string(30, 'a') + std::string(10, 'b'), 3, kBlue);
    chart.AddSeries("Short", 3, kRed);
    RecordingDeviceContext dc;
    chart.Draw(dc);
    const auto* first = FindText(dc, std::string(30, 'a'));
    QVERIFY(first);
    QCOMPARE(first->points[0], (Point { 670 + 30, 55 }));
    QCOMPARE(first->align, kAlignLeftTop);
    QCOMPARE(FindText(dc, "Short")->points[0], (Point { 700, 75 }));
    QVERIFY(HasSegment(SegmentsIn(dc, kRed), { 670, 80 }, { 690, 80 }));
}

void TestGraph::infoLines_data()
{
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QStringList>("texts"); // "y:text" for every info text drawn
    QTest::addColumn<QList<int>>("bullets"); // y of every bullet
    const QString a20(20, QLatin1Char('a'));
    const QString b19(19, QLatin1Char('b'));
    QTest::newRow("short items") << QStringList { QStringLiteral("Open: 1.00"), QStringLiteral("Bid: 2.00") }
                                 << QStringList { QStringLiteral("90:Open: 1.00"),
                                        QStringLiteral("106:Bid: 2.00") }
                                 << QList<int> { 94, 110 };
    QTest::newRow("wrapped at its blank")
        << QStringList { a20 + QLatin1Char(' ') + b19, QStringLiteral("next") }
        << QStringList { QStringLiteral("90:") + a20, QStringLiteral("105:") + b19,
               QStringLiteral("122:next") }
        << QList<int> { 94, 126 };
    QTest::newRow("cut hard") << QStringList { QString(30, QLatin1Char('c')), QStringLiteral("next") }
                              << QStringList { QStringLiteral("90:") + QString(25, QLatin1Char('c')),
                                     QStringLiteral("105:") + QString(5, QLatin1Char('c')),
                                     QStringLiteral("122:next") }
                              << QList<int> { 94, 126 };
    QTest::newRow("blank items take a line")
        << QStringList { QStringLiteral("   "), QStringLiteral("<BR>"), QStringLiteral(" x<BR>y ") }
        << QStringList { QStringLiteral("122:x y") } << QList<int> { 126 };
}

void TestGraph::infoLines()
{
    QFETCH(QStringList, items);
    QFETCH(QStringList, texts);
    QFETCH(QList<int>, bullets);
    CGraph chart = OneSeriesChart(820, 520);
    std::vector<std::string> lines;
    for (const auto& item : items)
        lines.push_back(item.toStdString());
    chart.SetSeriesInfoLines(1, lines);
    RecordingDeviceContext dc;
    chart.Draw(dc);
    QStringList got;
    for (const auto* call : dc.Texts()) {
        if (call->points[0].x == 675)
            got << QStringLiteral("%1:%2").arg(call->points[0].y).arg(QString::fromStdString(call->text));
    }
    QCOMPARE(got, texts);
    QList<int> gotBullets;
    for (const auto* fill : dc.Of(Kind::FillSolidRect)) {
        QCOMPARE(fill->rect, (Rect { 666, fill->rect.top, 671, fill->rect.top + 5 }));
        QCOMPARE(fill->colour, (Rgb { 0, 150, 100 }));
        gotBullets << fill->rect.top;
    }
    QCOMPARE(gotBullets, bullets);
    QCOMPARE(dc.bkColour(), (Rgb { 255, 255, 255 }));
}

void TestGraph::infoLinesStopNearTheBottom()
{
    CGraph chart = OneSeriesChart(820, 260); // bottom 200: items stop once the next one passes 190
    std::vector<std::string> lines(20, "item");
    lines[6] = std::string(20, 'w') + " second line"; // crosses the limit and is still drawn in full
    chart.SetSeriesInfoLines(1, lines);
    RecordingDeviceContext dc;
    chart.Draw(dc);
    QList<int> ys;
    for (const auto* call : dc.Texts()) {
        if (call->points[0].x == 675)
            ys << call->points[0].y;
    }
    QCOMPARE(ys, (QList<int> { 90, 106, 122, 138, 154, 170, 186, 201 }));
}

void TestGraph::segmentsWithAnEndOutsideAreLeftOut()
{
    CGraph chart = MakeChart(820, 420);
    chart.AddSeries("Time", 0, std::nullopt);
    chart.AddSeries("Today", 3, kBlue);
    chart.AddSeries("Prev. day close", 3, kRed);
    chart.m_yAutoscale = false;
    chart.m_yMin = 0.0;
    chart.m_yDelta = 10.0; // 5 pixels per unit: 0 .. 60 lie within the plot
    const char* today[] = { "10", "20", "100", "30", "40" };
    for (int d = 0; d < 5; ++d)
        chart.AddRow({ "t", today[d], "70" });
    RecordingDeviceContext dc;
    chart.Draw(dc);
    QCOMPARE(chart.m_xStepPx, 150);
    const auto blue = PolylinesIn(dc, kBlue);
    QCOMPARE(blue.size(), std::size_t(2));
    QCOMPARE(blue[0]->points, (std::vector<Point> { { 60, 310 }, { 210, 260 } }));
    QCOMPARE(blue[1]->points, (std::vector<Point> { { 510, 210 }, { 660, 160 } }));
    QCOMPARE(blue[0]->pen, (PenDesc { 1, kBlue }));
    QVERIFY(PolylinesIn(dc, kRed).empty()); // a series wholly above the plot draws nothing
    QVERIFY(SegmentsIn(dc, kRed).size() == 1); // its legend sample only
}

void TestGraph::marksFollowTheVisibilityRule()
{
    CGraph chart = OneSeriesChart(820, 420);
    chart.m_yAutoscale = false;
    chart.m_yMin = 0.0;
    chart.m_yDelta = 10.0;
    chart.m_showMarks = true;
    for (const char* v : { "10", "20", "100", "30", "40" })
        chart.AddRow({ "t", v });
    RecordingDeviceContext dc;
    chart.Draw(dc);
    QList<int> markRows;
    for (const auto* fill : dc.Of(Kind::FillSolidRect)) {
        QCOMPARE(fill->rect.right - fill->rect.left, 3);
        markRows << (fill->rect.left + 1 - 60) / 150;
    }
    // Row 3 follows a point off the plot: no segment and no mark.
    QCOMPARE(markRows, (QList<int> { 0, 1, 4 }));
    // Marks go on top of the line they belong to.
    const auto& calls = dc.calls();
    const auto firstPolyline
        = std::find_if(calls.begin(), calls.end(), [](const auto& c) { return c.kind == Kind::Polyline; });
    const auto firstMark = std::find_if(
        calls.begin(), calls.end(), [](const auto& c) { return c.kind == Kind::FillSolidRect; });
    QVERIFY(firstPolyline < firstMark);
}

void TestGraph::seriesEditsKeepTheRest()
{
    CGraph chart;
    AddQuoteSeries(chart);
    chart.SetSeriesInfoLines(0, { "kept" });
    chart.SetSeriesInfoLines(4, { "a", "b", "c" });
    chart.SetSeriesInfoLines(4, { "d" });
    chart.SetSeriesName(0, "Time local (every 15 min)");
    chart.SetSeriesName(1, "Last");
    chart.SetSeriesName(7, "ignored");
    QCOMPARE(chart.series()[0].name, std::string("Time local (every 15 min)"));
    QCOMPARE(chart.series()[0].markSize, 0);
    QVERIFY(!chart.series()[0].penColour);
    QCOMPARE(*chart.series()[0].infoLines, (std::vector<std::string> { "kept" }));
    QCOMPARE(chart.series()[1].name, std::string("Last"));
    QCOMPARE(chart.series()[1].penColour, std::optional<Rgb>(kBlue));
    QCOMPARE(chart.series()[1].markSize, 3);
    QCOMPARE(chart.SeriesCount(), 5);
    QCOMPARE(*chart.series()[4].infoLines, (std::vector<std::string> { "d" })); // replaced, not appended
    QVERIFY(!chart.series()[3].infoLines);
}

void TestGraph::penStateAfterDraw()
{
    CGraph chart = MakeChart(820, 420);
    AddQuoteSeries(chart);
    chart.SetTitle("Acme (ACME)");
    chart.m_lineWidth = 3;
    chart.AddRow(Row("10:00", { "1", "2", "3", "4" }));
    chart.AddRow(Row("10:05", { "1", "2", "3", "4" }));
    RecordingDeviceContext dc;
    chart.Draw(dc);
    QCOMPARE(PolylinesIn(dc, kBlue)[0]->pen.width, 3);
    // The legend's last pen is the one put back after the series pass.
    QCOMPARE(dc.CurrentPen(), (PenDesc { 1, Rgb { 0, 200, 0 } }));
    QCOMPARE(dc.font(), chart.m_captionFont);
    const auto* title = FindText(dc, "Acme (ACME)");
    QVERIFY(title);
    QCOMPARE(title->points[0], (Point { 360, 22 }));
    QCOMPARE(title->font, chart.m_titleFont);
    QCOMPARE(title->align, kAlignCentreTop);
    const auto* caption = FindText(dc, "Time ET (every 5 min)");
    QVERIFY(caption);
    QCOMPARE(caption->points[0], (Point { 360, 390 }));
    QCOMPARE(caption->font, chart.m_captionFont);
    QCOMPARE(FindText(dc, "10:00")->font, chart.m_labelFont);
}

void TestGraph::zeroYStepDrawsNoSeries()
{
    CGraph chart = OneSeriesChart(820, 420);
    chart.m_yAutoscale = false;
    chart.m_yMin = -20.0;
    chart.m_yDelta = 0.0;
    chart.m_showMarks = true;
    chart.AddRow({ "a", "-20" });
    chart.AddRow({ "b", "-20" });
    RecordingDeviceContext dc;
    chart.Draw(dc);
    QVERIFY(dc.Of(Kind::Polyline).empty());
    QVERIFY(dc.Of(Kind::FillSolidRect).empty());
    QCOMPARE(FindText(dc, "-20.00")->points[0], (Point { 38, 353 }));
    QCOMPARE(TextsAt(dc, 53), QStringList { QStringLiteral("-20.00") }); // every line shows the same value
}

void TestGraph::lowPlotFitsOverOneInterval()
{
    for (const int height : { 180, 150 }) { // plots 60 and 30 high: one grid interval, then none
        CGraph chart = OneSeriesChart(820, height);
        chart.AddRow({ "a", "2" });
        chart.AddRow({ "b", "8" });
        RecordingDeviceContext dc;
        chart.Draw(dc);
        QCOMPARE(chart.m_yMin, 2.0);
        QCOMPARE(chart.m_yDelta, 6.0);
        const int bottom = height - 60;
        if (height == 180)
            QCOMPARE(PolylinesIn(dc, kBlue)[0]->points,
                (std::vector<Point> { { 60, bottom }, { 660, bottom - 50 } }));
        else
            QVERIFY(PolylinesIn(dc, kBlue).empty()); // the largest value lies above so short a plot
    }
}

void TestGraph::equalValuesDrawOnTheBottomLine()
{
    CGraph chart = OneSeriesChart(820, 420);
    for (int i = 0; i < 3; ++i)
        chart.AddRow({ "t", "4.5" });
    RecordingDeviceContext dc;
    chart.Draw(dc);
    QCOMPARE(chart.m_yMin, 4.5);
    QCOMPARE(chart.m_yDelta, 1.0);
    QCOMPARE(
        PolylinesIn(dc, kBlue)[0]->points, (std::vector<Point> { { 60, 360 }, { 360, 360 }, { 660, 360 } }));
    QCOMPARE(TextsAt(dc, 353), QStringList { QStringLiteral("4.50") });
    QCOMPARE(TextsAt(dc, 303), QStringList { QStringLiteral("5.50") });
}

void TestGraph::storedZeroXStepWithoutRows()
{
    CGraph chart = OneSeriesChart(10 + 220, 420);
    for (int i = 0; i < 20; ++i)
        chart.AddRow({ "t", "1" });
    RecordingDeviceContext dc;
    chart.Draw(dc);
    QCOMPARE(chart.m_xStepPx, 0);
    chart.RemoveAllRows();
    dc.Clear();
    chart.Draw(dc);
    QVERIFY(TextsAt(dc, 364).isEmpty()); // no X grid positions, no labels
    const auto grid = SegmentsIn(dc, kGrid);
    QVERIFY(std::none_of(grid.begin(), grid.end(), [](const Segment& s) { return s.from.x == s.to.x; }));
    QCOMPARE(
        TextsAt(dc, 353), QStringList { QStringLiteral("1.00") }); // the Y axis keeps the last fitted scale
}

void TestGraph::valuesThatCannotBePlaced()
{
    CGraph chart = OneSeriesChart(820, 420);
    for (const char* v : { "1", "nan", "2", "inf", "-inf", "3", "1e300", "-1e300", "4", "5" })
        chart.AddRow({ "t", v });
    RecordingDeviceContext dc;
    chart.m_yAutoscale = false;
    chart.m_yMin = 0.0;
    chart.m_yDelta = 1.0;
    chart.Draw(dc);
    const auto blue = PolylinesIn(dc, kBlue);
    QCOMPARE(blue.size(), std::size_t(1)); // only 4 to 5 has both ends on the plot
    QCOMPARE(blue[0]->points.size(), std::size_t(2));
    QCOMPARE(blue[0]->points[0].y, 360 - 200);

    chart.m_yAutoscale = true;
    chart.RemoveAllRows();
    for (const char* v : { "1", "nan", "inf", "-inf", "3" })
        chart.AddRow({ "t", v });
    dc.Clear();
    chart.Draw(dc);
    QCOMPARE(chart.m_yMin, 1.0);
    QCOMPARE(chart.m_yDelta, 2.0 / 5);
}

void TestGraph::shortRowsLeaveGaps()
{
    CGraph chart = MakeChart(820, 420);
    AddQuoteSeries(chart);
    chart.AddRow(Row("10:00", { "1", "2", "3", "4" }));
    chart.AddRow({ "10:05", "2" });
    chart.AddRow({});
    chart.AddRow(Row("10:15", { "3", "2", "3", "4" }));
    chart.AddRow(Row("10:20", { "4", "2", "3", "4" }));
    RecordingDeviceContext dc;
    chart.Draw(dc);
    QCOMPARE(chart.m_yMin, 1.0);
    QCOMPARE(PolylinesIn(dc, kBlue).size(), std::size_t(2)); // 1-2, then 3-4 after the empty row
    QCOMPARE(PolylinesIn(dc, kRed).size(), std::size_t(1)); // the last two rows only
    QCOMPARE(PolylinesIn(dc, kRed)[0]->points.size(), std::size_t(2));
    QVERIFY(FindText(dc, "10:00"));
}

QTEST_GUILESS_MAIN(TestGraph)
#include "tst_graph.moc"
