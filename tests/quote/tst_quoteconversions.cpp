#include "quote/numberparse.h"
#include "quote/quoteurl.h"

#include <QTest>

class TestQuoteConversions final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void number_data();
    void number();
    void integer_data();
    void integer();
    void url_data();
    void url();
};

void TestQuoteConversions::number_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("plain") << QByteArray("12.34") << 12.34;
    QTest::newRow("leading blanks") << QByteArray(" \t 7.5") << 7.5;
    QTest::newRow("negative") << QByteArray("-0.25") << -0.25;
    QTest::newRow("plus sign") << QByteArray("+3") << 3.0;
    QTest::newRow("percent suffix") << QByteArray("18.7%") << 18.7;
    QTest::newRow("unit suffix") << QByteArray("2.1 Mil") << 2.1;
    QTest::newRow("exponent") << QByteArray("1.5e3x") << 1500.0;
    QTest::newRow("incomplete exponent") << QByteArray("2e+") << 2.0;
    QTest::newRow("fraction only") << QByteArray(".5") << 0.5;
    QTest::newRow("trailing point") << QByteArray("5.") << 5.0;
    QTest::newRow("no number") << QByteArray("N/A") << 0.0;
    QTest::newRow("empty") << QByteArray("") << 0.0;
    QTest::newRow("lone point") << QByteArray(".") << 0.0;
    QTest::newRow("lone sign") << QByteArray("-") << 0.0;
    QTest::newRow("link remnant") << QByteArray("<a>1</a>") << 0.0;
    QTest::newRow("thousands with fraction") << QByteArray("1,234.50") << 1234.5;
    QTest::newRow("two groups") << QByteArray("12,345,678") << 12345678.0;
    QTest::newRow("negative thousands") << QByteArray("-1,000") << -1000.0;
    QTest::newRow("group then suffix") << QByteArray("1,234%") << 1234.0;
    QTest::newRow("four digits after comma") << QByteArray("1,2345") << 1.0;
    QTest::newRow("two digits after comma") << QByteArray("1,23") << 1.0;
    QTest::newRow("four leading digits") << QByteArray("1234,567") << 1234.0;
    QTest::newRow("bad second group") << QByteArray("1,234,5678") << 1234.0;
    QTest::newRow("comma after fraction") << QByteArray("1.5,000") << 1.5;
    QTest::newRow("comma without leading digits") << QByteArray(",123") << 0.0;
    QTest::newRow("comma and blank") << QByteArray("1, 234") << 1.0;
    // A first group starting with 0 is a decimal comma, not a thousands group.
    QTest::newRow("decimal comma after 0") << QByteArray("0,845") << 0.0;
    QTest::newRow("decimal comma after 00") << QByteArray("00,123") << 0.0;
    QTest::newRow("negative decimal comma") << QByteArray("-0,500") << 0.0;
    QTest::newRow("leading zero, group") << QByteArray("012,345") << 12.0;
    QTest::newRow("one group") << QByteArray("1,250") << 1250.0;
    QTest::newRow("group after 10") << QByteArray("10,000.5") << 10000.5;
}

void TestQuoteConversions::number()
{
    QFETCH(QByteArray, text);
    QFETCH(double, expected);
    QCOMPARE(ParseLeadingNumber(std::string_view(text.constData(), size_t(text.size()))), expected);
}

void TestQuoteConversions::integer_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("minutes") << QByteArray("15 minutes.") << 15;
    QTest::newRow("blanks and sign") << QByteArray("  -20") << -20;
    QTest::newRow("no digits") << QByteArray("by 15 minutes") << 0;
    QTest::newRow("fraction stops") << QByteArray("2.9") << 2;
    QTest::newRow("empty") << QByteArray("") << 0;
    QTest::newRow("saturates high") << QByteArray("99999999999") << 2147483647;
    QTest::newRow("saturates low") << QByteArray("-99999999999") << -2147483647 - 1;
}

void TestQuoteConversions::integer()
{
    QFETCH(QByteArray, text);
    QFETCH(int, expected);
    QCOMPARE(ParseLeadingInt(text.toStdString()), expected);
}

void TestQuoteConversions::url_data()
{
    QTest::addColumn<QByteArray>("country");
    QTest::addColumn<QByteArray>("symbol");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray prefix = "http://127.0.0.1:8765/detail/stock_quote?Symbol=";
    QTest::newRow("ordinary") << QByteArray("US") << QByteArray("XYZ") << prefix + "US:XYZ";
    QTest::newRow("dot and colon stay") << QByteArray("CA") << QByteArray("BRK.A:X") << prefix + "CA:BRK.A:X";
    QTest::newRow("hyphen and case stay") << QByteArray("gb") << QByteArray("Vod-l") << prefix + "gb:Vod-l";
    QTest::newRow("blank") << QByteArray("US") << QByteArray("A B") << prefix + "US:A%20B";
    QTest::newRow("hash percent amp plus")
        << QByteArray("US") << QByteArray("#%&+") << prefix + "US:%23%25%26%2B";
    QTest::newRow("high byte") << QByteArray("DE") << QByteArray("M\xDC") << prefix + "DE:M%DC";
    QTest::newRow("control byte") << QByteArray("U\nS") << QByteArray("X") << prefix + "U%0AS:X";
    QTest::newRow("empty") << QByteArray() << QByteArray() << prefix + ":";
}

void TestQuoteConversions::url()
{
    QFETCH(QByteArray, country);
    QFETCH(QByteArray, symbol);
    QFETCH(QByteArray, expected);
    QCOMPARE(QByteArray::fromStdString(
                 BuildQuoteUrl("http://127.0.0.1:8765", country.toStdString(), symbol.toStdString())),
        expected);
    QCOMPARE(QByteArray::fromStdString(
                 BuildQuoteUrl("http://127.0.0.1:8765/", country.toStdString(), symbol.toStdString())),
        expected);
    // A private service's base ends in its path prefix, which stays.
    QCOMPARE(
        QByteArray::fromStdString(BuildQuoteUrl("http://127.0.0.1:8765/0f1e2d3c4b5a69788796a5b4c3d2e1f0/",
            country.toStdString(), symbol.toStdString())),
        expected.replace("8765/", "8765/0f1e2d3c4b5a69788796a5b4c3d2e1f0/"));
}

QTEST_GUILESS_MAIN(TestQuoteConversions)
#include "tst_quoteconversions.moc"
