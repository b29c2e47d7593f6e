// The stand-in quote service seen through the program's own fetch: the figures it means are the
// figures the program reads, and every fault it can play ends the way the program documents.
#include "platform/clock.h"
#include "platform/notifier.h"
#include "quote/nullwindowhost.h"
#include "quote/pagereader.h"
#include "quote/quotemanager.h"
#include "support/serviceprocess.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <cstdlib>
#include <ctime>
#include <memory>

namespace {

const QString kListsDir = QStringLiteral(KOLPEX_DATA_DIR);

// 10:42 Eastern on a Tuesday in the session, and a Saturday when the page shows Friday's close.
const QString kTrading = QStringLiteral("2024-03-05T15:42:00Z");
const QString kWeekend = QStringLiteral("2024-03-09T18:00:00Z");

std::int64_t Moment(const QString& iso)
{
    return QDateTime::fromString(iso, Qt::ISODate).toSecsSinceEpoch();
}

QJsonObject Dump(const QString& countrySymbol, const QString& at)
{
    return QuoteServiceProcess::Dump(
        countrySymbol, { QStringLiteral("--at"), at, QStringLiteral("--lists"), kListsDir });
}

std::string Bytes(const QJsonValue& v)
{
    return v.toString().toLatin1().toStdString(); // the dump carries cp1252 bytes as Latin-1
}

// The record the page meant, with the quote time made the way the program makes it.
QuoteRecord Expected(const QJsonObject& o)
{
    QuoteRecord r;
    r.delayMinutes = o[QStringLiteral("delayMinutes")].toInt();
    r.last = o[QStringLiteral("last")].toDouble();
    r.high = o[QStringLiteral("high")].toDouble();
    r.low = o[QStringLiteral("low")].toDouble();
    r.open = o[QStringLiteral("open")].toDouble();
    r.previousClose = o[QStringLiteral("previousClose")].toDouble();
    r.bid = o[QStringLiteral("bid")].toDouble();
    r.ask = o[QStringLiteral("ask")].toDouble();
    r.yearHigh = o[QStringLiteral("yearHigh")].toDouble();
    r.yearLow = o[QStringLiteral("yearLow")].toDouble();
    r.priceEarnings = o[QStringLiteral("priceEarnings")].toDouble();
    r.earningsPerShare = o[QStringLiteral("earningsPerShare")].toDouble();
    r.dividendPerShare = o[QStringLiteral("dividendPerShare")].toDouble();
    r.dividendYield = o[QStringLiteral("dividendYield")].toDouble();
    r.forwardPriceEarnings = o[QStringLiteral("forwardPriceEarnings")].toDouble();
    r.returnOnEquity = o[QStringLiteral("returnOnEquity")].toDouble();
    r.beta = o[QStringLiteral("beta")].toDouble();
    r.change = Bytes(o[QStringLiteral("change")]);
    r.volume = Bytes(o[QStringLiteral("volume")]);
    r.averageVolume = Bytes(o[QStringLiteral("averageVolume")]);
    r.institutionalOwnership = Bytes(o[QStringLiteral("institutionalOwnership")]);
    r.marketCap = Bytes(o[QStringLiteral("marketCap")]);
    r.sharesOutstanding = Bytes(o[QStringLiteral("sharesOutstanding")]);
    r.exchange = Bytes(o[QStringLiteral("exchange")]);
    r.sales = Bytes(o[QStringLiteral("sales")]);
    std::tm tm {};
    tm.tm_year = o[QStringLiteral("quoteYear")].toInt() - 1900;
    tm.tm_mon = o[QStringLiteral("quoteMonth")].toInt() - 1;
    tm.tm_mday = o[QStringLiteral("quoteDay")].toInt();
    tm.tm_hour = o[QStringLiteral("quoteHour")].toInt();
    tm.tm_min = o[QStringLiteral("quoteMinute")].toInt();
    tm.tm_isdst = -1;
    r.quoteTime = std::mktime(&tm);
    return r;
}

// Field by field, so that a failure names the figure.
bool SameRecord(const QuoteRecord& a, const QuoteRecord& b, QString* diff)
{
    QStringList d;
    auto num = [&](const char* name, double x, double y) {
        if (x != y)
            d << QStringLiteral("%1: %2 != %3").arg(QLatin1String(name)).arg(x).arg(y);
    };
    auto text = [&](const char* name, const std::string& x, const std::string& y) {
        if (x != y)
            d << QStringLiteral("%1: '%2' != '%3'")
                     .arg(QLatin1String(name), QLatin1String(x.c_str()), QLatin1String(y.c_str()));
    };
    num("delayMinutes", a.delayMinutes, b.delayMinutes);
    num("last", a.last, b.last);
    num("high", a.high, b.high);
    num("low", a.low, b.low);
    num("open", a.open, b.open);
    num("previousClose", a.previousClose, b.previousClose);
    num("bid", a.bid, b.bid);
    num("ask", a.ask, b.ask);
    num("yearHigh", a.yearHigh, b.yearHigh);
    num("yearLow", a.yearLow, b.yearLow);
    num("priceEarnings", a.priceEarnings, b.priceEarnings);
    num("earningsPerShare", a.earningsPerShare, b.earningsPerShare);
    num("dividendPerShare", a.dividendPerShare, b.dividendPerShare);
    num("dividendYield", a.dividendYield, b.dividendYield);
    num("forwardPriceEarnings", a.forwardPriceEarnings, b.forwardPriceEarnings);
    num("returnOnEquity", a.returnOnEquity, b.returnOnEquity);
    num("beta", a.beta, b.beta);
    text("change", a.change, b.change);
    text("volume", a.volume, b.volume);
    text("averageVolume", a.averageVolume, b.averageVolume);
    text("institutionalOwnership", a.institutionalOwnership, b.institutionalOwnership);
    text("marketCap", a.marketCap, b.marketCap);
    text("sharesOutstanding", a.sharesOutstanding, b.sharesOutstanding);
    text("exchange", a.exchange, b.exchange);
    text("sales", a.sales, b.sales);
    num("quoteTime", double(a.quoteTime), double(b.quoteTime));
    *diff = d.join(QLatin1Char('\n'));
    return d.isEmpty() && a == b;
}

// The service on a free port with its request log, and the program pointed at it. It must
// listen on the loopback address only.
bool Start(QuoteServiceProcess& service, const QString& now, const QStringList& extra = {})
{
    if (!service.start(
            QStringList { QStringLiteral("--lists"), kListsDir, QStringLiteral("--now"), now } + extra, 0,
            false))
        return false;
    if (!service.url().startsWith("http://127.0.0.1:"))
        return false;
    qputenv("KOLPEX_QUOTE_SERVICE", service.url());
    return true;
}

struct Fetch {
    bool ok = false;
    QuoteRecord record;
    QuoteEntry entry;
    std::vector<std::string> messages;
    qint64 ms = 0;
};

Fetch FetchThrough(const QString& countrySymbol, int timeoutMs)
{
    RecordingNotifier notifier;
    CPageReader reader(notifier);
    reader.setTimeoutMs(timeoutMs);
    NullWindowHost host;
    const QuoteEntry defaults;
    CQuoteManager manager(defaults, reader, host, notifier);
    Fetch f;
    f.entry.countryCode = countrySymbol.section(QLatin1Char(':'), 0, 0).toStdString();
    f.entry.symbol = countrySymbol.section(QLatin1Char(':'), 1).toStdString();
    f.record.last = -1; // a failed fetch must leave this alone
    QElapsedTimer timer;
    timer.start();
    f.ok = manager.FetchQuote(&f.entry, &f.record);
    f.ms = timer.elapsed();
    f.messages = notifier.messages;
    return f;
}

const std::string kNoConnection = "No Internet connection found.";

std::string NoData(const QString& countrySymbol)
{
    return "Sorry, no data available for:\n\n " + countrySymbol.section(QLatin1Char(':'), 1).toStdString()
        + " " + countrySymbol.section(QLatin1Char(':'), 0, 0).toStdString() + ".";
}

} // namespace

class TestService final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void servedFiguresAreRead_data();
    void servedFiguresAreRead();
    void unknownSymbolHasNoData();
    void faults_data();
    void faults();
    void logsEachRequestAndStopsCleanly();
    void fastClockMovesThroughTheDay();
    void badRateIsRefused_data();
    void badRateIsRefused();
};

void TestService::initTestCase()
{
    // The page prints Eastern Time and the program keeps it as local time: make local time Eastern
    // so that the day the page means and the day the program assumes are the same.
    qputenv("TZ", "America/New_York");
    tzset();
}

void TestService::cleanupTestCase()
{
    Clock::SetNowForTesting({});
}

void TestService::servedFiguresAreRead_data()
{
    QTest::addColumn<QString>("security");
    QTest::addColumn<QString>("moment");
    QTest::addColumn<QString>("timeText");
    QTest::newRow("US in session") << QStringLiteral("US:MSFT") << kTrading << QStringLiteral("10:42am");
    QTest::newRow("CA in session") << QStringLiteral("CA:RY") << kTrading << QStringLiteral("10:42am");
    QTest::newRow("GB in session") << QStringLiteral("GB:VOD") << kTrading << QStringLiteral("10:42am");
    QTest::newRow("DE in session") << QStringLiteral("DE:SAP") << kTrading << QStringLiteral("10:42am");
    QTest::newRow("fund in session") << QStringLiteral("US:VFIAX") << kTrading << QStringLiteral("10:42am");
    QTest::newRow("venture, weekend")
        << QStringLiteral("CA:SKE") << kWeekend << QStringLiteral("Mar 8, 2024 4:00pm");
    QTest::newRow("US, weekend") << QStringLiteral("US:MSFT") << kWeekend
                                 << QStringLiteral("Mar 8, 2024 4:00pm");
    QTest::newRow("name with ampersand") << QStringLiteral("US:JNJ") << kTrading << QStringLiteral("10:42am");
}

void TestService::servedFiguresAreRead()
{
    QFETCH(QString, security);
    QFETCH(QString, moment);
    QFETCH(QString, timeText);
    const QJsonObject meant = Dump(security, moment);
    QVERIFY2(meant[QStringLiteral("found")].toBool(), qPrintable(security));
    QCOMPARE(meant[QStringLiteral("timeText")].toString(), timeText);
    const qint64 bytes = meant[QStringLiteral("pageBytes")].toInteger();
    QVERIFY2(bytes >= 50 * 1024 && bytes < 100'000, qPrintable(QString::number(bytes)));

    QuoteServiceProcess service;
    QVERIFY(Start(service, moment));
    const std::int64_t now = Moment(moment);
    Clock::SetNowForTesting([now] { return now; });
    const Fetch f = FetchThrough(security, 5000);
    QVERIFY(service.stop());
    QVERIFY(f.ok);
    QVERIFY(f.messages.empty());
    QString diff;
    QVERIFY2(SameRecord(f.record, Expected(meant), &diff), qPrintable(diff));
    QCOMPARE(f.entry.companyName, Bytes(meant[QStringLiteral("company")]));
    QVERIFY(f.record.last > 0 && f.record.low <= f.record.last && f.record.last <= f.record.high);
    QVERIFY(f.record.yearLow <= f.record.low && f.record.high <= f.record.yearHigh);
}

void TestService::unknownSymbolHasNoData()
{
    QVERIFY(!Dump(QStringLiteral("US:NOSUCH"), kTrading)[QStringLiteral("found")].toBool());
    QuoteServiceProcess service;
    QVERIFY(Start(service, kTrading));
    const Fetch f = FetchThrough(QStringLiteral("US:NOSUCH"), 5000);
    QVERIFY(service.stop());
    QVERIFY(!f.ok);
    QCOMPARE(f.messages, std::vector<std::string> { NoData(QStringLiteral("US:NOSUCH")) });
    QCOMPARE(f.record.last, -1.0);
    QVERIFY(f.entry.companyName.empty());
}

void TestService::faults_data()
{
    QTest::addColumn<QString>("fault"); // without the symbol
    QTest::addColumn<QString>("security");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("noConnection"); // "No Internet connection found." before the no-data message
    QTest::addColumn<int>("minMs");

    QTest::newRow("delay inside the time-out")
        << QStringLiteral("delay=400") << QStringLiteral("US:IBM") << 4000 << true << false << 400;
    QTest::newRow("delay beyond the time-out")
        << QStringLiteral("delay=8000") << QStringLiteral("US:KO") << 600 << false << true << 600;
    QTest::newRow("error status") << QStringLiteral("error=503") << QStringLiteral("US:GE") << 2000 << false
                                  << false << 0;
    QTest::newRow("empty body") << QStringLiteral("empty") << QStringLiteral("US:F") << 2000 << false << false
                                << 0;
    QTest::newRow("stall before the quote")
        << QStringLiteral("stall=@before") << QStringLiteral("US:T") << 600 << false << false << 600;
    QTest::newRow("stall after the figures")
        << QStringLiteral("stall=@after") << QStringLiteral("US:C") << 600 << true << false << 600;
    QTest::newRow("close before the quote")
        << QStringLiteral("close=@before") << QStringLiteral("US:BA") << 3000 << false << false << 0;
    QTest::newRow("close after the figures")
        << QStringLiteral("close=@after") << QStringLiteral("US:CAT") << 3000 << true << false << 0;
    QTest::newRow("huge body") << QStringLiteral("huge") << QStringLiteral("US:HD") << 5000 << true << false
                               << 0;
}

void TestService::faults()
{
    QFETCH(QString, fault);
    QFETCH(QString, security);
    QFETCH(int, timeoutMs);
    QFETCH(bool, ok);
    QFETCH(bool, noConnection);
    QFETCH(int, minMs);

    const QJsonObject meant = Dump(security, kTrading);
    QVERIFY(meant[QStringLiteral("found")].toBool());
    // cut points inside the page: before the quote time, or after the last figure
    fault.replace(
        QStringLiteral("@before"), QString::number(meant[QStringLiteral("timeStartBytes")].toInteger() - 10));
    fault.replace(
        QStringLiteral("@after"), QString::number(meant[QStringLiteral("figuresEndBytes")].toInteger() + 10));

    QuoteServiceProcess service;
    QVERIFY(Start(service, kTrading, { QStringLiteral("--fault"), fault + QLatin1Char('@') + security }));
    const std::int64_t now = Moment(kTrading);
    Clock::SetNowForTesting([now] { return now; });
    const Fetch f = FetchThrough(security, timeoutMs);
    QVERIFY(service.stop());

    QCOMPARE(f.ok, ok);
    // timers may fire a little early
    QVERIFY2(f.ms >= minMs * 9 / 10, qPrintable(QString::number(f.ms)));
    // never longer than the reader's time-out, give or take the start of a connection
    QVERIFY2(f.ms < qMax(timeoutMs, minMs) + 1500, qPrintable(QString::number(f.ms)));
    if (ok) {
        QVERIFY(f.messages.empty());
        QString diff;
        QVERIFY2(SameRecord(f.record, Expected(meant), &diff), qPrintable(diff));
    } else {
        std::vector<std::string> expected;
        if (noConnection)
            expected.push_back(kNoConnection);
        expected.push_back(NoData(security));
        QCOMPARE(f.messages, expected);
        QCOMPARE(f.record.last, -1.0);
    }
}

void TestService::logsEachRequestAndStopsCleanly()
{
    QuoteServiceProcess service;
    QVERIFY(Start(service, kTrading, { QStringLiteral("--fault"), QStringLiteral("error=500@US:GE") }));
    FetchThrough(QStringLiteral("US:MSFT"), 3000);
    FetchThrough(QStringLiteral("US:GE"), 3000);
    FetchThrough(QStringLiteral("US:NOSUCH"), 3000);
    QVERIFY(service.stop());
    const QList<QByteArray> lines = service.output().split('\n');
    int requests = 0;
    for (const QByteArray& line : lines) {
        if (!line.contains(" GET /detail/stock_quote?Symbol="))
            continue;
        ++requests;
        const QList<QByteArray> words = line.split(' ');
        QVERIFY2(words.size() >= 8 && words.at(5) == "bytes" && words.at(7) == "ms", line.constData());
        QVERIFY(QDateTime::fromString(QString::fromLatin1(words.at(0)), Qt::ISODate).isValid());
        QVERIFY(words.at(4).toLongLong() > 0);
        QCOMPARE(words.at(3), line.contains("Symbol=US:GE") ? QByteArray("500") : QByteArray("200"));
    }
    QCOMPARE(requests, 3);
    QVERIFY(service.output().trimmed().endsWith("stopped"));
}

void TestService::fastClockMovesThroughTheDay()
{
    QuoteServiceProcess service;
    QVERIFY(Start(service, kTrading, { QStringLiteral("--rate"), QStringLiteral("600") }));
    const std::int64_t start = Moment(kTrading);
    Clock::SetNowForTesting([start] { return start; });
    const Fetch first = FetchThrough(QStringLiteral("US:MSFT"), 3000);
    QTest::qWait(1500);
    const Fetch second = FetchThrough(QStringLiteral("US:MSFT"), 3000);
    QVERIFY(service.stop());
    QVERIFY(first.ok && second.ok);
    // 10:42 at the start, then ten simulated minutes for each real second
    QVERIFY2(
        first.record.quoteTime - start < 5 * 60, qPrintable(QString::number(first.record.quoteTime - start)));
    const std::int64_t apart = second.record.quoteTime - first.record.quoteTime;
    QVERIFY2(apart >= 14 * 60 && apart <= 40 * 60, qPrintable(QString::number(apart)));
    QVERIFY(first.record.volume != second.record.volume);
}

void TestService::badRateIsRefused_data()
{
    QTest::addColumn<QString>("rate");
    QTest::newRow("zero") << QStringLiteral("0");
    QTest::newRow("negative") << QStringLiteral("-60");
    QTest::newRow("not a number") << QStringLiteral("fast");
}

void TestService::badRateIsRefused()
{
    QFETCH(QString, rate);
    QProcess p;
    p.start(QStringLiteral(KOLPEX_SERVICE_BIN),
        { QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--rate"), rate });
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 2);
    QVERIFY(p.readAllStandardError().contains("bad rate"));
}

QTEST_GUILESS_MAIN(TestService)
#include "tst_service.moc"
