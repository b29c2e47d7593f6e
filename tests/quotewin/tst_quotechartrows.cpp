#include "chart/graph.h"
#include "chart/quotechart.h"
#include "platform/clock.h"
#include "quotewin/chartrow.h"
#include "quotewin/properties.h"
#include "quotewin/quoterefresh.h"

#include <QTest>
#include <climits>
#include <ctime>

namespace {

constexpr std::int64_t kQuoteAt1405Eastern = 1110222300; // 2005-03-07 14:05 EST
constexpr std::int64_t kClockAt0930Eastern = 1110205800; // 2005-03-07 09:30 EST

QStringList ToList(const std::vector<std::string>& texts)
{
    QStringList list;
    for (const auto& t : texts)
        list << QString::fromStdString(t);
    return list;
}

QStringList Split(const char* texts)
{
    return QString::fromLatin1(texts).split(QLatin1Char('|'));
}

} // namespace

class TestQuoteChartRows final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "EST5EDT");
        tzset();
    }

    void chartRow_data()
    {
        QTest::addColumn<bool>("easternTime");
        QTest::addColumn<double>("high");
        QTest::addColumn<double>("low");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("page time") << true << 25.75 << 25.1 << Split("14:05|25.50|25.00|25.75|25.10");
        QTest::newRow("machine clock") << false << 25.75 << 25.1 << Split("09:30|25.50|25.00|25.75|25.10");
        QTest::newRow("no high, no low") << true << 0.0 << 0.0 << Split("14:05|25.50|25.00|25.50|25.50");
        QTest::newRow("negative zero is zero")
            << true << -0.0 << 24.0 << Split("14:05|25.50|25.00|25.50|24.00");
        QTest::newRow("tiny high kept") << true << 0.001 << 24.0 << Split("14:05|25.50|25.00|0.00|24.00");
    }
    void chartRow()
    {
        QFETCH(bool, easternTime);
        QFETCH(double, high);
        QFETCH(double, low);
        QFETCH(QStringList, expected);
        QuoteRecord r;
        r.quoteTime = kQuoteAt1405Eastern;
        r.last = 25.5;
        r.previousClose = 25;
        r.high = high;
        r.low = low;
        QCOMPARE(ToList(BuildChartRow(r, easternTime, kClockAt0930Eastern)), expected);
    }

    void timeLabelLeadingZeros()
    {
        QuoteRecord r;
        r.quoteTime = 1110196800 - 7 * 3600 + 5 * 60 + 60 * 60; // 01:05 local
        QCOMPARE(QString::fromStdString(ChartTimeLabel(r, true, 0)), QStringLiteral("01:05"));
    }

    void composition_data()
    {
        QTest::addColumn<bool>("easternTime");
        QTest::addColumn<int>("interval");
        QTest::addColumn<QString>("company");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("xCaption");
        QTest::newRow("ET 15") << true << 15 << "Microsoft Corp"
                               << "Microsoft Corp (MSFT)"
                               << "Time ET (every 15 min)";
        QTest::newRow("local 5") << false << 5 << "Microsoft Corp"
                                 << "Microsoft Corp (MSFT)"
                                 << "Time local (every 5 min)";
        QTest::newRow("no company") << true << 120 << ""
                                    << " (MSFT)"
                                    << "Time ET (every 120 min)";
    }
    void composition()
    {
        QFETCH(bool, easternTime);
        QFETCH(int, interval);
        QFETCH(QString, company);
        QFETCH(QString, title);
        QFETCH(QString, xCaption);
        QuoteEntry entry;
        entry.easternTime = easternTime;
        entry.refreshInterval = interval;
        entry.symbol = "MSFT";
        entry.companyName = company.toStdString();

        CGraph chart;
        chart.AddSeries("stale", 1, Rgb { 1, 2, 3 });
        chart.AddRow({ "x", "1" });
        ComposeQuoteChart(chart, entry);

        QCOMPARE(QString::fromStdString(chart.title()), title);
        QCOMPARE(chart.RowCount(), 0);
        QCOMPARE(chart.SeriesCount(), 5);
        const auto& s = chart.series();
        QCOMPARE(QString::fromStdString(s[0].name), xCaption);
        QCOMPARE(s[0].markSize, 0);
        QVERIFY(!s[0].penColour);
        const char* names[] = { "Today", "Prev. day close", "Heigh", "Low" };
        const Rgb colours[] = { { 0, 0, 255 }, { 255, 0, 0 }, { 200, 200, 0 }, { 0, 200, 0 } };
        for (int i = 1; i < 5; ++i) {
            QCOMPARE(s[i].name, std::string(names[i - 1]));
            QCOMPARE(s[i].markSize, 3);
            QVERIFY(s[i].penColour && *s[i].penColour == colours[i - 1]);
            QVERIFY(!s[i].infoLines);
        }
    }

    void refreshFeedsRowAndInfoLines()
    {
        QuoteEntry entry;
        entry.symbol = "MSFT";
        CGraph chart;
        ComposeQuoteChart(chart, entry);
        QuoteRecord r;
        r.quoteTime = kQuoteAt1405Eastern;
        r.last = 25.5;
        QVERIFY(ApplyQuoteToChart(chart, r, entry, kClockAt0930Eastern));
        r.last = 26;
        QVERIFY(ApplyQuoteToChart(chart, r, entry, kClockAt0930Eastern));
        QCOMPARE(chart.RowCount(), 2);
        QCOMPARE(chart.rows()[0][1], std::string("25.50"));
        QCOMPARE(chart.rows()[1][1], std::string("26.00"));
        const auto& low = chart.series().back();
        QVERIFY(low.infoLines);
        QCOMPARE(low.infoLines->size(), std::size_t(24));
        QCOMPARE(low.infoLines->front(), std::string("Last: 26.00")); // replaced, not appended
        for (int i = 0; i < 4; ++i)
            QVERIFY(!chart.series()[i].infoLines);
    }

    void refreshWithoutSeriesOnlyAddsTheRow()
    {
        CGraph chart;
        QVERIFY(!ApplyQuoteToChart(chart, QuoteRecord {}, QuoteEntry {}, 0));
        QCOMPARE(chart.RowCount(), 1);
    }

    void refreshInterval_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("minutes");
        QTest::newRow("list item") << "15" << 15;
        QTest::newRow("typed 7") << "7" << 7;
        QTest::newRow("zero") << "0" << 1;
        QTest::newRow("negative") << "-3" << 1;
        QTest::newRow("word") << "often" << 1;
        QTest::newRow("empty") << "" << 1;
        QTest::newRow("leading number") << " 12abc" << 12;
        QTest::newRow("plus sign") << "+9" << 9;
        QTest::newRow("huge saturates") << "99999999999999" << INT_MAX;
    }
    void refreshInterval()
    {
        QFETCH(QString, text);
        QFETCH(int, minutes);
        QCOMPARE(ParseRefreshInterval(text.toStdString()), minutes);
    }

    void refreshPeriod_data()
    {
        QTest::addColumn<int>("minutes");
        QTest::addColumn<int>("period");
        QTest::newRow("1") << 1 << 60'000;
        QTest::newRow("5") << 5 << 300'000;
        QTest::newRow("120") << 120 << 7'200'000;
        QTest::newRow("beyond a timer's range") << 100'000 << INT_MAX;
    }
    void refreshPeriod()
    {
        QFETCH(int, minutes);
        QFETCH(int, period);
        QCOMPARE(RefreshPeriodMs(minutes), period);
    }

    void tickerChange_data()
    {
        QTest::addColumn<bool>("easternAfter");
        QTest::addColumn<int>("intervalAfter");
        QTest::addColumn<bool>("changed");
        QTest::newRow("nothing") << true << 5 << false;
        QTest::newRow("time basis") << false << 5 << true;
        QTest::newRow("interval") << true << 7 << true;
    }
    void tickerChange()
    {
        QFETCH(bool, easternAfter);
        QFETCH(int, intervalAfter);
        QFETCH(bool, changed);
        QuoteEntry after;
        after.easternTime = easternAfter;
        after.refreshInterval = intervalAfter;
        after.writeToFile = true; // not a ticker change that restarts anything
        QCOMPARE(TickerSettingsChanged(true, 5, after), changed);
    }
};

QTEST_GUILESS_MAIN(TestQuoteChartRows)
#include "tst_quotechartrows.moc"
