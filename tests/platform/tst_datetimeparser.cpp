#include "platform/clock.h"
#include "platform/datetimeparser.h"

#include <QTest>
#include <ctime>

class TestDateTimeParser final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void accepted_data();
    void accepted();
    void rejected_data();
    void rejected();
    void quoteTime_data();
    void quoteTime();
};

namespace {

// 2026-03-14 10:00 UTC: 06:00 on a Saturday in New York, daylight-saving time already on.
constexpr std::int64_t kNow = 1773482400;

} // namespace

void TestDateTimeParser::initTestCase()
{
    qputenv("TZ", "America/New_York");
    tzset();
    Clock::SetNowForTesting([] { return kNow; });
}

void TestDateTimeParser::cleanupTestCase()
{
    Clock::SetNowForTesting({});
}

void TestDateTimeParser::accepted_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::newRow("pm") << QByteArray("4:00pm") << 1899 << 12 << 30 << 16 << 0;
    QTest::newRow("PM with blank") << QByteArray("4:05 PM") << 1899 << 12 << 30 << 16 << 5;
    QTest::newRow("noon") << QByteArray("12:30pm") << 1899 << 12 << 30 << 12 << 30;
    QTest::newRow("midnight") << QByteArray("12:10 am") << 1899 << 12 << 30 << 0 << 10;
    QTest::newRow("a.m.") << QByteArray("9:30 a.m.") << 1899 << 12 << 30 << 9 << 30;
    QTest::newRow("24 hour") << QByteArray("16:59") << 1899 << 12 << 30 << 16 << 59;
    QTest::newRow("seconds") << QByteArray("9:30:15 AM") << 1899 << 12 << 30 << 9 << 30;
    QTest::newRow("hour and meridiem") << QByteArray("4 PM") << 1899 << 12 << 30 << 16 << 0;
    QTest::newRow("padding") << QByteArray("  4:00pm \t") << 1899 << 12 << 30 << 16 << 0;
    QTest::newRow("numeric date") << QByteArray("3/7/2005 4:00pm") << 2005 << 3 << 7 << 16 << 0;
    QTest::newRow("hyphen date") << QByteArray("03-07-2005 16:00") << 2005 << 3 << 7 << 16 << 0;
    QTest::newRow("two-digit year") << QByteArray("3/7/05 4:00pm") << 2005 << 3 << 7 << 16 << 0;
    QTest::newRow("two-digit year in the 1900s") << QByteArray("3/7/99 4:00pm") << 1999 << 3 << 7 << 16 << 0;
    QTest::newRow("date, comma") << QByteArray("3/7/2005, 4:00pm") << 2005 << 3 << 7 << 16 << 0;
    QTest::newRow("date without year") << QByteArray("3/7 4:00pm") << 2026 << 3 << 7 << 16 << 0;
    QTest::newRow("month name") << QByteArray("Mar 7, 2005 4:00pm") << 2005 << 3 << 7 << 16 << 0;
    QTest::newRow("full month name") << QByteArray("March 7 2005 4:00 PM") << 2005 << 3 << 7 << 16 << 0;
    QTest::newRow("month name no year") << QByteArray("Mar 7 4:00pm") << 2026 << 3 << 7 << 16 << 0;
    QTest::newRow("day first") << QByteArray("7 Mar 2005 10:15") << 2005 << 3 << 7 << 10 << 15;
    QTest::newRow("weekday") << QByteArray("Mon, Mar 7, 2005 4:00pm") << 2005 << 3 << 7 << 16 << 0;
    QTest::newRow("Sept") << QByteArray("Sept. 30, 2004 9:45am") << 2004 << 9 << 30 << 9 << 45;
    QTest::newRow("leap day") << QByteArray("2/29/2004 1:00pm") << 2004 << 2 << 29 << 13 << 0;
}

void TestDateTimeParser::accepted()
{
    QFETCH(QByteArray, text);
    const auto parsed = ParseDateTime0409(text.toStdString());
    QVERIFY2(parsed.has_value(), text.constData());
    QTEST(parsed->year, "year");
    QTEST(parsed->month, "month");
    QTEST(parsed->day, "day");
    QTEST(parsed->hour, "hour");
    QTEST(parsed->minute, "minute");
}

void TestDateTimeParser::rejected_data()
{
    QTest::addColumn<QByteArray>("text");
    for (const char* text : { "", "   ", "N/A", "4", "16", "4:0pm", "4:60pm", "25:00", "13:00 pm", "0:30 am",
             "4:00 xm", "4:00 pmx", "4:00pm ET", "3/7/2005", "Mar 7, 2005", "2/30/2005 4:00pm",
             "13/1/2005 4:00pm", "2/29/2005 1:00pm", "3/7/123 4:00pm", "Foo 7 4:00pm", "3/7/20054:00pm",
             "4:00pm 3/7/2005", "4:00:61", "-4:00", "4.00pm", "Mar 4:00pm",
             "\xA0"
             "4:00pm" }) {
        QTest::newRow(text) << QByteArray(text);
    }
}

void TestDateTimeParser::rejected()
{
    QFETCH(QByteArray, text);
    QVERIFY2(!ParseDateTime0409(text.toStdString()).has_value(), text.constData());
}

void TestDateTimeParser::quoteTime_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("expected");
    // kNow is Saturday 2026-03-14; 16:00 EDT that day is 20:00 UTC.
    QTest::newRow("time only takes today") << QByteArray("4:00pm") << qint64(1773518400);
    QTest::newRow("summer date") << QByteArray("Jul 1, 2005 9:30am") << qint64(1120224600); // 13:30 UTC
    QTest::newRow("winter date") << QByteArray("1/3/2005 4:00pm") << qint64(1104786000); // 21:00 UTC
    QTest::newRow("year before the threshold takes today")
        << QByteArray("3/7/99 4:00pm") << qint64(1773518400);
}

void TestDateTimeParser::quoteTime()
{
    QFETCH(QByteArray, text);
    const auto parsed = ParseDateTime0409(text.toStdString());
    QVERIFY(parsed);
    QTEST(qint64(BuildQuoteTime(*parsed)), "expected");
}

QTEST_GUILESS_MAIN(TestDateTimeParser)
#include "tst_datetimeparser.moc"
