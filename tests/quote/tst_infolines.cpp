#include "quotewin/infolines.h"

#include <QTest>
#include <clocale>

class TestInfoLines final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyLineInOrder();
    void emptyRecordKeepsEveryLabel();
    void roundingAndSigns_data();
    void roundingAndSigns();
};

void TestInfoLines::everyLineInOrder()
{
    QuoteRecord q;
    q.last = 1234.5;
    q.change = "+12.25 (+1.00%)";
    q.volume = "1,234,567";
    q.averageVolume = "2.1 Mil";
    q.high = 1240;
    q.low = 1220.754;
    q.open = 1;
    q.previousClose = 2;
    q.bid = 3;
    q.ask = 4;
    q.yearHigh = 1300;
    q.yearLow = 980.1;
    q.institutionalOwnership = "61.2%";
    q.priceEarnings = 23.45;
    q.earningsPerShare = 5;
    q.dividendPerShare = 6;
    q.dividendYield = 0.39;
    q.marketCap = "45.6 Bil";
    q.sharesOutstanding = "36.9 Mil";
    q.exchange = "NYSE";
    q.forwardPriceEarnings = 21.08;
    q.sales = "8.3 Bil";
    q.returnOnEquity = 18.7;
    q.beta = -0.25;
    q.delayMinutes = 15;
    const std::vector<std::string> expected = {
        "Last: 1234.50",
        "Diff.: +12.25 (+1.00%)",
        "Volume: 1,234,567",
        "Avg Volume: 2.1 Mil",
        "Day's High: 1240.00",
        "Day's Low: 1220.75",
        "Open: 1.00",
        "Prev. Close: 2.00",
        "Bid: 3.00",
        "Ask: 4.00",
        "52-Week: 1300.00 - 980.10",
        "Instit. Owner.: 61.2%",
        "P/E: 23.45",
        "Earnings/Share: 5.00",
        "Div/Share: 6.00",
        "Cur. Div. Yeld: 0.39",
        "Market Cap: 45.6 Bil",
        "Total Shares: 36.9 Mil",
        "Exchange: NYSE",
        "Forward P/E: 21.08",
        "Sales: 8.3 Bil",
        "Ret. on Equity: 18.70",
        "Beta: -0.25",
        "Delayed: 15 minutes",
    };
    QCOMPARE(BuildInfoLines(q), expected);
}

void TestInfoLines::emptyRecordKeepsEveryLabel()
{
    const std::vector<std::string> lines = BuildInfoLines(QuoteRecord {});
    QCOMPARE(lines.size(), size_t(24));
    QCOMPARE(lines[0], std::string("Last: 0.00"));
    QCOMPARE(lines[2], std::string("Volume: "));
    QCOMPARE(lines[10], std::string("52-Week: 0.00 - 0.00"));
    QCOMPARE(lines[23], std::string("Delayed: 0 minutes"));
}

void TestInfoLines::roundingAndSigns_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("half up") << 2.675 << QByteArray("Last: 2.67"); // 2.675 is 2.67499... in binary
    QTest::newRow("rounds up") << 0.125001 << QByteArray("Last: 0.13");
    QTest::newRow("negative") << -3.1 << QByteArray("Last: -3.10");
    QTest::newRow("large") << 12345678.9 << QByteArray("Last: 12345678.90");
}

void TestInfoLines::roundingAndSigns()
{
    QFETCH(double, value);
    QFETCH(QByteArray, expected);
    QuoteRecord q;
    q.last = value;
    QCOMPARE(QByteArray::fromStdString(BuildInfoLines(q).front()), expected);
}

QTEST_GUILESS_MAIN(TestInfoLines)
#include "tst_infolines.moc"
