#include "chart/graphgeometry.h"

#include <QTest>
#include <cmath>
#include <limits>

using namespace GraphGeometry;

class TestGraphGeometry final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parseValue_data();
    void parseValue();
    void parseValueNonFinite();
    void xStep_data();
    void xStep();
    void yGridCount();
    void valueToPixelTruncatesSeparately();
    void valueToPixelRejectsWhatCannotBePlaced_data();
    void valueToPixelRejectsWhatCannotBePlaced();
    void wrapText_data();
    void wrapText();
    void cleanInfoLine_data();
    void cleanInfoLine();
    void labels_data();
    void labels();
};

void TestGraphGeometry::parseValue_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("plain") << QByteArray("12.34") << 12.34;
    QTest::newRow("exponent") << QByteArray("1e5") << 1e5;
    QTest::newRow("leading blanks, trailing junk") << QByteArray("  -3.5x") << -3.5;
    QTest::newRow("no integer part") << QByteArray(".5") << 0.5;
    QTest::newRow("plus sign") << QByteArray("+7.25") << 7.25;
    QTest::newRow("tab and newline") << QByteArray("\t\n42") << 42.0;
    QTest::newRow("dangling exponent") << QByteArray("2e") << 2.0;
    QTest::newRow("comma is not a decimal point") << QByteArray("3,75") << 3.0;
    QTest::newRow("thousands separator") << QByteArray("1,234.50") << 1.0;
    QTest::newRow("two signs") << QByteArray("+-3") << 0.0;
    QTest::newRow("sign alone") << QByteArray("-") << 0.0;
    QTest::newRow("text") << QByteArray("N/A") << 0.0;
    QTest::newRow("empty") << QByteArray("") << 0.0;
    QTest::newRow("hexadecimal") << QByteArray("0x1A") << 26.0;
    QTest::newRow("hex prefix without digits") << QByteArray("0xZ") << 0.0;
    QTest::newRow("underflow") << QByteArray("1e-400") << 0.0;
    QTest::newRow("blank before the sign only") << QByteArray("- 5") << 0.0;
}

void TestGraphGeometry::parseValue()
{
    QFETCH(QByteArray, text);
    QFETCH(double, expected);
    QCOMPARE(ParseValue(std::string_view(text.constData(), static_cast<std::size_t>(text.size()))), expected);
}

void TestGraphGeometry::parseValueNonFinite()
{
    QVERIFY(std::isinf(ParseValue("inf")) && ParseValue("inf") > 0);
    QVERIFY(std::isinf(ParseValue(" -Infinity")) && ParseValue(" -Infinity") < 0);
    QVERIFY(std::isnan(ParseValue("nan")));
    QVERIFY(std::isinf(ParseValue("1e400")));
    QVERIFY(std::isinf(ParseValue("-1e400")) && ParseValue("-1e400") < 0);
}

void TestGraphGeometry::xStep_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("expected");
    QTest::newRow("one row takes the whole width") << 600 << 1 << 600;
    QTest::newRow("one row per pixel") << 600 << 601 << 1;
    QTest::newRow("more rows than pixels") << 600 << 602 << 0;
}

void TestGraphGeometry::xStep()
{
    QFETCH(int, width);
    QFETCH(int, rows);
    QFETCH(int, expected);
    QCOMPARE(XStep(width, rows, 50), expected);
}

void TestGraphGeometry::yGridCount()
{
    QCOMPARE(YGridCount(420, 50), 8);
    QCOMPARE(YGridCount(49, 50), 0);
    QCOMPARE(YGridCount(420, 0), 0);
    QCOMPARE(YGridCount(420, -50), 0);
}

void TestGraphGeometry::valueToPixelTruncatesSeparately()
{
    // k = 50 / 3 = 16.67: 1 maps to trunc(16.67) = 16, -1 to -16; taken as one product
    // (1 - -1) * k the difference would be 33, separately it is 32.
    const auto y = ValueToPixel(1.0, -1.0, 3.0, 50, 400);
    QCOMPARE(y, std::optional<std::int64_t>(400 - 16 - 16));
    QCOMPARE(ValueToPixel(0.5, 0.0, 3.0, 50, 400), std::optional<std::int64_t>(400 - 8));
}

void TestGraphGeometry::valueToPixelRejectsWhatCannotBePlaced_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("yMin");
    QTest::addColumn<double>("yDelta");
    QTest::newRow("zero step") << 1.0 << 0.0 << 0.0;
    QTest::newRow("NaN step") << 1.0 << 0.0 << std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("NaN value") << std::numeric_limits<double>::quiet_NaN() << 0.0 << 1.0;
    QTest::newRow("infinite value") << std::numeric_limits<double>::infinity() << 0.0 << 1.0;
    QTest::newRow("far beyond any pixel") << 1e300 << 0.0 << 1.0;
    QTest::newRow("minimum far beyond") << 1.0 << -1e300 << 1.0;
}

void TestGraphGeometry::valueToPixelRejectsWhatCannotBePlaced()
{
    QFETCH(double, value);
    QFETCH(double, yMin);
    QFETCH(double, yDelta);
    QVERIFY(!ValueToPixel(value, yMin, yDelta, 50, 400));
    QVERIFY(!WithinPlot(ValueToPixel(value, yMin, yDelta, 50, 400), 0, 400));
}

void TestGraphGeometry::wrapText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("exactly 25") << QString(25, QLatin1Char('a'))
                                << QStringList { QString(25, QLatin1Char('a')) };
    QTest::newRow("last blank within the limit wins")
        << QStringLiteral("aaaa bbbb cccc dddd eeee ffff gggg")
        << QStringList { QStringLiteral("aaaa bbbb cccc dddd eeee"), QStringLiteral("ffff gggg") };
    QTest::newRow("three lines") << QString(60, QLatin1Char('x'))
                                 << QStringList { QString(25, QLatin1Char('x')),
                                        QString(25, QLatin1Char('x')), QString(10, QLatin1Char('x')) };
    QTest::newRow("empty") << QString() << QStringList { QString() };
}

void TestGraphGeometry::wrapText()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QStringList got;
    for (const auto& line : WrapText(text.toStdString(), 25))
        got << QString::fromStdString(line);
    QCOMPARE(got, lines);
}

void TestGraphGeometry::cleanInfoLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");
    QTest::newRow("trimmed") << QStringLiteral("  Open: 1.00 \t") << QStringLiteral("Open: 1.00");
    QTest::newRow("lower case is not a break") << QStringLiteral("a<br>b") << QStringLiteral("a<br>b");
}

void TestGraphGeometry::cleanInfoLine()
{
    QFETCH(QString, line);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(CleanInfoLine(line.toStdString())), expected);
}

void TestGraphGeometry::labels_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("y");
    QTest::addColumn<QString>("x");
    QTest::newRow("small") << 0.5 << QStringLiteral("0.50") << QStringLiteral("     0");
    QTest::newRow("ten") << 10.0 << QStringLiteral("10.00") << QStringLiteral("    10");
    QTest::newRow("negative") << -20.0 << QStringLiteral("-20.00") << QStringLiteral("   -20");
    QTest::newRow("halves round to even") << 2.5 << QStringLiteral("2.50") << QStringLiteral("     2");
    QTest::newRow("half a cent") << 0.125 << QStringLiteral("0.12") << QStringLiteral("     0");
    QTest::newRow("huge") << 1e11 << QStringLiteral("100000000000.00") << QStringLiteral("100000000000");
}

void TestGraphGeometry::labels()
{
    QFETCH(double, value);
    QFETCH(QString, y);
    QFETCH(QString, x);
    QCOMPARE(QString::fromStdString(FormatYLabel(value)), y);
    QCOMPARE(QString::fromStdString(FormatXLabel(value)), x);
}

QTEST_GUILESS_MAIN(TestGraphGeometry)
#include "tst_graphgeometry.moc"
