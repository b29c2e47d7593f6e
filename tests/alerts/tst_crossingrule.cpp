// The once-per-crossing rule: a window's successive quotes and what the user is told of them.
#include "alerts/pricealert.h"

#include <QTest>

namespace {

PriceAlert Alert(const QByteArray& text)
{
    const auto parsed = ParseAlertLine(("US:MSFT " + text).toStdString());
    return parsed ? parsed->alert : PriceAlert {};
}

} // namespace

class TestCrossingRule final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void toldOncePerCrossing_data()
    {
        QTest::addColumn<QByteArrayList>("alerts");
        QTest::addColumn<QList<double>>("prices"); // successive quotes' last price, 0 a page without one
        QTest::addColumn<QByteArrayList>("told"); // "quote index: summary"

        const QByteArrayList above { QByteArray("above 420") };
        QTest::newRow("beyond the line at the first quote: told once")
            << above << QList<double> { 421.3, 422, 425 } << QByteArrayList { "0: MSFT 421.30 above 420.00" };
        QTest::newRow("crossing up, staying above: told once")
            << above << QList<double> { 419, 421, 422, 423 }
            << QByteArrayList { "1: MSFT 421.00 above 420.00" };
        QTest::newRow("on the line counts")
            << above << QList<double> { 419.99, 420 } << QByteArrayList { "1: MSFT 420.00 above 420.00" };
        QTest::newRow("hovering on the line: again only after falling back")
            << above << QList<double> { 419, 420.5, 420.7, 419.9, 420.1 }
            << QByteArrayList { "1: MSFT 420.50 above 420.00", "4: MSFT 420.10 above 420.00" };
        QTest::newRow("a page without a price neither tells nor re-arms")
            << above << QList<double> { 421, 0, 421 } << QByteArrayList { "0: MSFT 421.00 above 420.00" };
        QTest::newRow("below") << QByteArrayList { QByteArray("below 380") }
                               << QList<double> { 385, 379.5, 381, 380 }
                               << QByteArrayList { "1: MSFT 379.50 below 380.00",
                                      "3: MSFT 380.00 below 380.00" };
        // The previous close is 400 in every quote.
        QTest::newRow("a move either way from the previous close")
            << QByteArrayList { QByteArray("move 3.5") } << QList<double> { 405, 414, 386, 400, 385 }
            << QByteArrayList { "1: MSFT 414.00 move of +3.50% (alert at 3.5%)",
                   "4: MSFT 385.00 move of -3.75% (alert at 3.5%)" };
        QTest::newRow("two lines, each on its own")
            << QByteArrayList { QByteArray("above 420"), QByteArray("below 380") }
            << QList<double> { 421, 379, 421 }
            << QByteArrayList { "0: MSFT 421.00 above 420.00", "1: MSFT 379.00 below 380.00",
                   "2: MSFT 421.00 above 420.00" };
        QTest::newRow("no alerts") << QByteArrayList {} << QList<double> { 421, 379 } << QByteArrayList {};
    }

    void toldOncePerCrossing()
    {
        QFETCH(QByteArrayList, alerts);
        QFETCH(QList<double>, prices);
        QFETCH(QByteArrayList, told);

        std::vector<PriceAlert> set;
        for (const QByteArray& alert : alerts)
            set.push_back(Alert(alert));
        AlertWatch watch;
        watch.SetAlerts(set);
        QuoteEntry entry;
        entry.countryCode = "US";
        entry.symbol = "MSFT";
        QByteArrayList actual;
        for (qsizetype i = 0; i < prices.size(); ++i) {
            QuoteRecord quote;
            quote.last = prices.at(i);
            quote.previousClose = 400;
            for (const PriceAlert& alert : watch.OnQuote(quote))
                actual << QByteArray::number(i) + ": "
                        + QByteArray::fromStdString(NoticeFor(entry, quote, alert).summary);
        }
        QCOMPARE(actual, told);
    }
};

QTEST_GUILESS_MAIN(TestCrossingRule)
#include "tst_crossingrule.moc"
