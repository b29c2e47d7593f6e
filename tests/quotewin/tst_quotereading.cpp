// What a screen reader is told of a quote window: info lines as caption and figure, the chart in
// words.
#include "chart/graph.h"
#include "quotewin/quotereading.h"

#include <QTest>

class TestQuoteReading final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void splitsLines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("caption");
        QTest::addColumn<QByteArray>("value");
        const char* rows[][4] = {
            { "figure", "Day's High: 12.50", "Day's High", "12.50" },
            { "empty text", "Volume: ", "Volume", "" },
            { "a range keeps its own colons", "52-Week: 1.00 - 2.00: x", "52-Week", "1.00 - 2.00: x" },
            { "no caption mark", "odd", "odd", "" },
        };
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QByteArray(row[1]) << QByteArray(row[2]) << QByteArray(row[3]);
    }
    void splitsLines()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, caption);
        QFETCH(QByteArray, value);
        const auto [c, v] = SplitInfoLine(line.toStdString());
        QCOMPARE(QByteArray::fromStdString(c), caption);
        QCOMPARE(QByteArray::fromStdString(v), value);
    }

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
};

QTEST_GUILESS_MAIN(TestQuoteReading)
#include "tst_quotereading.moc"
