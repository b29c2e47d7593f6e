// The chart in words, as a screen reader is told it, before the first quote and over a span of
// them (tests/e2e/tst_accessibility reads one quote's through the accessibility bridge).
#include "chart/graph.h"
#include "quote/quoterecord.h"
#include "quotewin/quotereading.h"

#include <QTest>

class TestQuoteReading final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void describesChart_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QByteArray>("description");
        const QByteArray head("Line chart of Acme (ACM) showing Today, Low. ");
        QTest::newRow("before the first quote") << 0 << head + "No quote yet.";
        QTest::newRow("one quote") << 1
                                   << head
                + "Last value 10.00, day's high 12.00, day's low 9.00. One quote, at 09:30.";
        QTest::newRow("a span of quotes")
            << 3
            << head + "Last value 10.02, day's high 12.02, day's low 9.02. 3 quotes from 09:30 to 09:32.";
    }
    void describesChart()
    {
        QFETCH(int, rows);
        QFETCH(QByteArray, description);
        CGraph chart;
        chart.SetTitle("Acme (ACM)");
        chart.AddSeries("Time", 0, std::nullopt);
        chart.AddSeries("Today", 3, Rgb { 0, 0, 255 });
        chart.AddSeries("Low", 3, Rgb { 0, 200, 0 });
        for (int i = 0; i < rows; ++i) {
            const std::string cents = "0" + std::to_string(i);
            chart.AddRow({ "09:3" + std::to_string(i), "10." + cents, "11.00", "12." + cents, "9." + cents });
        }
        QCOMPARE(QByteArray::fromStdString(DescribeQuoteChart(chart)), description);
    }

    // A refresh is heard only when the price shown moves.
    void announcesRefresh_data()
    {
        QTest::addColumn<double>("before");
        QTest::addColumn<double>("after");
        QTest::addColumn<QByteArray>("change");
        QTest::addColumn<QByteArray>("heard");
        QTest::newRow("price moves") << 17.05 << 17.12 << QByteArray("+0.07 (+0.41%)")
                                     << QByteArray("ASML 17.12, +0.07");
        QTest::newRow("no change text") << 17.05 << 17.0 << QByteArray() << QByteArray("ASML 17.00");
        QTest::newRow("same price") << 17.12 << 17.12 << QByteArray("+0.07 (+0.41%)") << QByteArray();
        QTest::newRow("moves less than a cent") << 17.121 << 17.124 << QByteArray("+0.07") << QByteArray();
    }
    void announcesRefresh()
    {
        QFETCH(double, before);
        QFETCH(double, after);
        QFETCH(QByteArray, change);
        QFETCH(QByteArray, heard);
        QuoteRecord was, is;
        was.last = before;
        is.last = after;
        is.change = change.toStdString();
        QCOMPARE(QByteArray::fromStdString(RefreshAnnouncement("ASML", was, is)), heard);
    }
};

QTEST_GUILESS_MAIN(TestQuoteReading)
#include "tst_quotereading.moc"
