// The live sources against scripted providers on loopback: the handshakes, renewals, fallbacks,
// caches, bounds and time-outs, and the page their figures make, read back by the program itself.
#include "gateway/livefigures.h"
#include "gateway/sources/finnhub.h"
#include "gateway/sources/sourcefields.h"
#include "gateway/sources/yahoo.h"
#include "page/pagerender.h"
#include "platform/clock.h"
#include "platform/notifier.h"
#include "quote/nullwindowhost.h"
#include "quote/pagereader.h"
#include "quote/quotemanager.h"
#include "support/routedprovider.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <cstdlib>
#include <ctime>

namespace {

QByteArray Fixture(const char* name)
{
    QFile f(QStringLiteral(KOLPEX_TEST_DATA "/providers/") + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", name);
    return f.readAll();
}

using ProviderStub = RoutedProvider;
using Answer = RoutedProvider::Answer;
using Mode = RoutedProvider::Mode;

// A session that works: a cookie from the first host, a crumb holding "/" and ".".
void ServeSession(ProviderStub& stub)
{
    stub.on("/", { { 404, "Not Found", "Set-Cookie: A3=d=first; Path=/\r\n" } });
    stub.on("/v1/test/getcrumb", { { 200, Fixture("yahoo-crumb.txt") } });
}

SourceContext Context(const ProviderStub& stub, const QString& token = {})
{
    SourceContext c;
    c.upstream = stub.url();
    c.token = token;
    c.isVentureOnly = [](const QByteArray& symbol) { return symbol == "SKE"; };
    return c;
}

// The source's answer, waited for within a bound; also checks it came exactly once.
struct Outcome {
    bool answered = false;
    int calls = 0;
    SourceResult result;
    qint64 ms = 0;
};

Outcome Fetch(QuoteSource& source, const QByteArray& country, const QByteArray& symbol, int waitMs = 8000)
{
    auto out = std::make_shared<Outcome>();
    QElapsedTimer timer;
    timer.start();
    source.fetch(country, symbol, [out, timer](SourceResult r) {
        ++out->calls;
        out->answered = true;
        out->ms = timer.elapsed();
        out->result = std::move(r);
    });
    while (!out->answered && timer.elapsed() < waitMs)
        QTest::qWait(10);
    QTest::qWait(30); // a second answer would come now
    return *out;
}

QString Kind(const SourceResult& r)
{
    return r.quote   ? QStringLiteral("quote")
        : r.notFound ? QStringLiteral("unknown")
                     : QStringLiteral("failed");
}

// The page of the figures, read by the program's own parser.
bool ReadBack(const LiveQuote& quote, std::int64_t now, QuoteRecord* record, std::string* company)
{
    Security security;
    security.country = "US";
    security.symbol = "TRDL";
    security.name = quote.name;
    const QByteArray page = RenderQuotePage(security, FormatLiveQuote(quote, now));
    RecordingNotifier notifier;
    CPageReader reader(notifier);
    NullWindowHost host;
    const QuoteEntry defaults;
    CQuoteManager manager(defaults, reader, host, notifier);
    QuoteEntry entry;
    entry.countryCode = "US";
    entry.symbol = "TRDL";
    const bool ok = manager.ParseQuotePage(page.toStdString(), entry, record);
    *company = entry.companyName;
    return ok && notifier.messages.empty();
}

// Every figure of a record, named, so that a difference says which figure it is.
QString Describe(const QuoteRecord& r)
{
    QString out;
    const std::pair<const char*, double> numbers[] = { { "last", r.last }, { "high", r.high },
        { "low", r.low }, { "open", r.open }, { "previousClose", r.previousClose }, { "bid", r.bid },
        { "ask", r.ask }, { "yearHigh", r.yearHigh }, { "yearLow", r.yearLow },
        { "priceEarnings", r.priceEarnings }, { "earningsPerShare", r.earningsPerShare },
        { "dividendPerShare", r.dividendPerShare }, { "dividendYield", r.dividendYield },
        { "forwardPriceEarnings", r.forwardPriceEarnings }, { "returnOnEquity", r.returnOnEquity },
        { "beta", r.beta }, { "delayMinutes", r.delayMinutes }, { "quoteTime", double(r.quoteTime) } };
    for (const auto& [name, value] : numbers)
        out += QStringLiteral("%1=%2\n").arg(QLatin1String(name)).arg(value, 0, 'g', 15);
    const std::pair<const char*, const std::string&> texts[] = { { "change", r.change },
        { "volume", r.volume }, { "averageVolume", r.averageVolume },
        { "institutionalOwnership", r.institutionalOwnership }, { "marketCap", r.marketCap },
        { "sharesOutstanding", r.sharesOutstanding }, { "exchange", r.exchange }, { "sales", r.sales } };
    for (const auto& [name, value] : texts)
        out += QStringLiteral("%1=%2\n").arg(QLatin1String(name), QString::fromLatin1(value.c_str()));
    return out;
}

std::int64_t EasternWallClock(int year, int month, int day, int hour, int minute)
{
    std::tm tm {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

constexpr std::int64_t kTuesday = 1709653320; // 2024-03-05 10:42 Eastern, the fixtures' time

} // namespace

Q_DECLARE_METATYPE(QuoteRecord)
Q_DECLARE_METATYPE(RoutedProvider::Answer)

class TestSources final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void providerSymbols_data();
    void providerSymbols();
    void figureFormats_data();
    void figureFormats();
    void fixturesParse_data();
    void fixturesParse();
    void cutAnswersNeverMakeAQuote();
    void hostileFields();
    void pageReadsBack_data();
    void pageReadsBack();
    void yahooHandshakeAndSummaryCache();
    void yahooSharesOneHandshake();
    void yahooRenewsOnce_data();
    void yahooRenewsOnce();
    void yahooFallsBack_data();
    void yahooFallsBack();
    void boundsAndTimeOuts_data();
    void boundsAndTimeOuts();
    void finnhubAnswers_data();
    void finnhubAnswers();
    void finnhubKeepsTheProfile();
    void onlyTheSourcesHosts();
};

void TestSources::initTestCase()
{
    // the page prints Eastern Time and the program reads it as local time
    qputenv("TZ", "America/New_York");
    tzset();
    // a time without a date is today's, and today is the fixtures' day
    Clock::SetNowForTesting([] { return kTuesday; });
}

void TestSources::cleanupTestCase()
{
    Clock::SetNowForTesting({});
}

void TestSources::providerSymbols_data()
{
    QTest::addColumn<QByteArray>("country");
    QTest::addColumn<QByteArray>("symbol");
    QTest::addColumn<QByteArray>("yahoo");
    QTest::addColumn<QByteArray>("finnhub");
    const auto row = [](const char* name, const char* country, const char* symbol, const char* yahoo,
                         const char* finnhub) {
        QTest::newRow(name) << QByteArray(country) << QByteArray(symbol) << QByteArray(yahoo)
                            << QByteArray(finnhub);
    };
    row("US plain", "US", "MSFT", "MSFT", "MSFT");
    row("US class share", "US", "BRK.B", "BRK-B", "BRK.B");
    row("US lower case", "us", "ibm", "IBM", "IBM");
    row("CA venture only", "CA", "SKE", "SKE.V", "SKE.V");
    row("CA Toronto", "CA", "RY", "RY.TO", "RY.TO");
    row("GB", "GB", "VOD", "VOD.L", "VOD.L");
    row("AU", "AU", "BHP", "BHP.AX", "BHP.AX");
    row("BE", "BE", "UCB", "UCB.BR", "UCB.BR");
    row("DE", "DE", "SAP", "SAP.DE", "SAP.DE");
    row("ES", "ES", "SAN", "SAN.MC", "SAN.MC");
    row("FR", "FR", "AIR", "AIR.PA", "AIR.PA");
    row("IT", "IT", "ENI", "ENI.MI", "ENI.MI");
    row("JP", "JP", "7203", "7203.T", "7203.T");
    row("NL", "NL", "ASML", "ASML.AS", "ASML.AS");
    row("SE", "SE", "VOLV-B", "VOLV-B.ST", "VOLV-B.ST");
    row("no such market", "XX", "ABC", "", "");
}

void TestSources::providerSymbols()
{
    QFETCH(QByteArray, country);
    QFETCH(QByteArray, symbol);
    QFETCH(QByteArray, yahoo);
    QFETCH(QByteArray, finnhub);
    const auto venture = [](const QByteArray& s) { return s == "SKE"; };
    QCOMPARE(ProviderSymbol(country, symbol, venture, SymbolStyle::Yahoo), yahoo);
    QCOMPARE(ProviderSymbol(country, symbol, venture, SymbolStyle::Finnhub), finnhub);
}

void TestSources::figureFormats_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("printed");
    QTest::newRow("price") << "price" << 187.425 << QByteArray("187.43");
    QTest::newRow("price below 1.00") << "price" << 0.4375 << QByteArray("0.4375");
    QTest::newRow("change") << "signed" << 2.3771 << QByteArray("+2.38");
    QTest::newRow("loss") << "signed" << -0.52 << QByteArray("-0.52");
    QTest::newRow("change rounding to nothing") << "signed" << -0.004 << QByteArray("+0.00");
    QTest::newRow("trillions") << "scaled" << 4.87e12 << QByteArray("4.87T");
    QTest::newRow("hundreds of billions") << "scaled" << 385.706e9 << QByteArray("385.71B");
    QTest::newRow("rounds up into the next unit") << "scaled" << 999.999e6 << QByteArray("1.00B");
    QTest::newRow("thousands") << "scaled" << 512e3 << QByteArray("512.00K");
    QTest::newRow("units") << "scaled" << 12.0 << QByteArray("12.00");
    QTest::newRow("ownership") << "ownership" << 61.237 << QByteArray("61.2%");
    QTest::newRow("ownership rounds") << "ownership" << 45.67 << QByteArray("45.7%");
}

void TestSources::figureFormats()
{
    QFETCH(QString, kind);
    QFETCH(double, value);
    QFETCH(QByteArray, printed);
    const QByteArray got = kind == QLatin1String("price") ? FormatPrice(value)
        : kind == QLatin1String("signed")                 ? FormatSigned(value)
        : kind == QLatin1String("scaled")                 ? FormatScaled(value)
                                                          : FormatOwnership(value);
    QCOMPARE(got, printed);
}

void TestSources::fixturesParse_data()
{
    QTest::addColumn<QString>("parser");
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("why"); // a part of the reason, for failures
    auto row = [](const char* name, const char* parser, const char* fixture, const char* outcome,
                   const char* why = "") {
        QTest::newRow(name) << QString::fromLatin1(parser) << QString::fromLatin1(fixture)
                            << QString::fromLatin1(outcome) << QString::fromLatin1(why);
    };
    row("v7 full", "v7", "yahoo-quote-full.json", "quote");
    row("v7 missing fields", "v7", "yahoo-quote-missing.json", "quote");
    row("v7 nulls", "v7", "yahoo-quote-nulls.json", "quote");
    row("v7 empty result", "v7", "yahoo-quote-empty.json", "unknown");
    row("v7 invalid crumb", "v7", "yahoo-invalid-crumb.json", "failed", "Invalid Crumb");
    row("v7 consent page", "v7", "yahoo-consent.html", "failed", "HTML");
    row("v7 rate-limit text", "v7", "yahoo-too-many.txt", "failed", "malformed");
    row("chart full", "chart", "yahoo-chart-full.json", "quote");
    row("chart no data", "chart", "yahoo-chart-nodata.json", "unknown", "No data found");
    row("chart empty result", "chart", "yahoo-chart-empty.json", "failed", "empty");
    row("chart consent page", "chart", "yahoo-consent.html", "failed", "HTML");
    row("summary full", "summary", "yahoo-summary-full.json", "quote");
    row("summary partial", "summary", "yahoo-summary-partial.json", "quote");
    row("summary error", "summary", "yahoo-summary-error.json", "unknown", "Not Found");
    row("summary invalid crumb", "summary", "yahoo-invalid-crumb.json", "failed", "Invalid Crumb");
    row("finnhub quote", "quote", "finnhub-quote-full.json", "quote");
    row("finnhub unknown symbol", "quote", "finnhub-quote-unknown.json", "unknown");
    row("finnhub no access", "quote", "finnhub-no-access.json", "failed", "have access");
    row("finnhub profile", "profile", "finnhub-profile-full.json", "quote");
    row("finnhub empty profile", "profile", "finnhub-profile-empty.json", "quote");
    row("finnhub metric", "metric", "finnhub-metric-full.json", "quote");
    row("finnhub bad key", "metric", "finnhub-invalid-key.json", "failed", "Invalid API key");
}

static SourceResult ParseWith(const QString& parser, const QByteArray& body)
{
    if (parser == QLatin1String("v7"))
        return ParseYahooQuote(body);
    if (parser == QLatin1String("chart"))
        return ParseYahooChart(body);
    if (parser == QLatin1String("summary"))
        return ParseYahooSummary(body);
    if (parser == QLatin1String("quote"))
        return ParseFinnhubQuote(body);
    if (parser == QLatin1String("profile"))
        return ParseFinnhubProfile(body);
    return ParseFinnhubMetric(body);
}

void TestSources::fixturesParse()
{
    QFETCH(QString, parser);
    QFETCH(QString, fixture);
    QFETCH(QString, outcome);
    QFETCH(QString, why);
    const SourceResult r = ParseWith(parser, Fixture(fixture.toLatin1().constData()));
    QCOMPARE(Kind(r), outcome);
    QVERIFY2(r.why.contains(why), qPrintable(r.why));
    if (outcome == QLatin1String("failed"))
        QVERIFY(!r.why.isEmpty());
}

void TestSources::cutAnswersNeverMakeAQuote()
{
    const std::pair<const char*, const char*> wholes[] = { { "v7", "yahoo-quote-full.json" },
        { "chart", "yahoo-chart-full.json" }, { "summary", "yahoo-summary-full.json" },
        { "quote", "finnhub-quote-full.json" }, { "metric", "finnhub-metric-full.json" } };
    for (const auto& [parser, fixture] : wholes) {
        const QByteArray body = Fixture(fixture).trimmed();
        for (qsizetype cut = 0; cut < body.size(); ++cut) {
            const SourceResult r = ParseWith(QLatin1String(parser), body.left(cut));
            QVERIFY2(!r.quote && !r.why.isEmpty(),
                qPrintable(QStringLiteral("%1 cut at %2").arg(QLatin1String(fixture)).arg(cut)));
        }
    }
}

void TestSources::hostileFields()
{
    // figures of the wrong type or beyond any real size are not figures
    QVERIFY(!ParseYahooQuote(R"({"quoteResponse":{"result":[{"regularMarketPrice":"187.42"}]}})").quote);
    QVERIFY(!ParseYahooQuote(R"({"quoteResponse":{"result":[{"regularMarketPrice":1e308}]}})").quote);
    QVERIFY(!ParseYahooQuote(R"({"quoteResponse":{"result":[7]}})").quote);
    QVERIFY(!ParseYahooChart(R"({"chart":{"result":[{"meta":[]}]}})").quote);
    QVERIFY(!ParseFinnhubQuote(R"([1,2,3])").quote);
    QVERIFY(!ParseYahooQuote(QByteArray(100000, '[')).quote);

    // a huge name with control characters comes out bounded and printable
    const QByteArray name = "Evil\\nCorp\\u0001" + QByteArray(1 << 20, 'x');
    const SourceResult r = ParseYahooQuote(
        R"({"quoteResponse":{"result":[{"regularMarketPrice":5,"regularMarketVolume":-7,"longName":")" + name
        + R"(","fullExchangeName":"\u20ac Next \u4e2d \ud83d\ude00"}]}})");
    QVERIFY(r.quote);
    QVERIFY(r.quote->name.size() <= 120);
    QVERIFY(r.quote->name.startsWith("Evil Corp"));
    QCOMPARE(r.quote->exchange, QByteArray("\x80 Next ? ?")); // one '?' a character
    QCOMPARE(FormatLiveQuote(*r.quote, kTuesday).volume, QByteArray("N/A"));

    // a crumb is a short printable token, never a page
    QCOMPARE(ParseYahooCrumb("Qd7/kT2.x9M\n"), QByteArray("Qd7/kT2.x9M"));
    QVERIFY(ParseYahooCrumb(Fixture("yahoo-consent.html")).isEmpty());
    QVERIFY(ParseYahooCrumb("").isEmpty());
    QVERIFY(ParseYahooCrumb(QByteArray(65, 'a')).isEmpty());
}

void TestSources::pageReadsBack_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QByteArray>("country");
    QTest::addColumn<QByteArray>("v7");
    QTest::addColumn<int>("v7Status");
    QTest::addColumn<QByteArray>("company");
    QTest::addColumn<QuoteRecord>("expected");

    QuoteRecord full;
    full.last = 187.42;
    full.high = 188.1;
    full.low = 184.9;
    full.open = 185.3;
    full.previousClose = 185.04;
    full.bid = 187.4;
    full.ask = 187.45;
    full.yearHigh = 199.62;
    full.yearLow = 142.07;
    full.priceEarnings = 29.14;
    full.earningsPerShare = 6.43;
    full.dividendPerShare = 0.94;
    full.dividendYield = 0.51;
    full.forwardPriceEarnings = 26.40;
    full.returnOnEquity = 154.26;
    full.beta = 1.26;
    full.change = "+2.38 (+1.28%)";
    full.volume = "31,874,512";
    full.averageVolume = "54,123,456";
    full.institutionalOwnership = "61.2%";
    full.marketCap = "$2.85T";
    full.sharesOutstanding = "15.20B";
    full.exchange = "NasdaqGS";
    full.sales = "$385.71B";
    full.quoteTime = EasternWallClock(2024, 3, 5, 10, 42);
    QTest::newRow("yahoo, every figure") << "yahoo" << QByteArray("US") << Fixture("yahoo-quote-full.json")
                                         << 200 << QByteArray("Tarrindel Instruments, Inc.") << full;

    // the chart's meta: no open, bid, ask or ratios; the summary, asked beside the refused quote,
    // still adds the slow figures
    QuoteRecord chart;
    chart.last = full.last;
    chart.high = full.high;
    chart.low = full.low;
    chart.previousClose = full.previousClose;
    chart.yearHigh = full.yearHigh;
    chart.yearLow = full.yearLow;
    chart.change = "+2.38 (+1.29%)";
    chart.volume = full.volume;
    chart.averageVolume = chart.marketCap = chart.sharesOutstanding = "N/A";
    chart.institutionalOwnership = full.institutionalOwnership;
    chart.returnOnEquity = full.returnOnEquity;
    chart.beta = full.beta;
    chart.sales = full.sales;
    chart.exchange = full.exchange;
    chart.quoteTime = full.quoteTime;
    QTest::newRow("yahoo chart after a 429") << "yahoo" << QByteArray("US") << QByteArray("Too Many Requests")
                                             << 429 << QByteArray("Tarrindel Instruments, Inc.") << chart;

    // a penny stock with nulls: four decimals, the change worked out, bid and ask of 0 left off;
    // the slow figures come from the summary all the same, the time is the fetch's
    QuoteRecord penny;
    penny.last = 0.4375;
    penny.previousClose = 0.42;
    penny.change = "+0.02 (+4.17%)";
    penny.volume = penny.averageVolume = penny.marketCap = penny.sharesOutstanding = penny.exchange = "N/A";
    penny.institutionalOwnership = full.institutionalOwnership;
    penny.returnOnEquity = full.returnOnEquity;
    penny.beta = full.beta;
    penny.sales = full.sales;
    penny.quoteTime = full.quoteTime;
    QTest::newRow("yahoo penny stock with nulls")
        << "yahoo" << QByteArray("US") << Fixture("yahoo-quote-nulls.json") << 200 << QByteArray("Nully Corp")
        << penny;

    // London in pence, yesterday's close: the date is printed and read
    QuoteRecord london = penny;
    london.delayMinutes = 20;
    london.last = 68.94;
    london.high = 69.8;
    london.low = 68.5;
    london.open = 69.4;
    london.previousClose = 69.46;
    london.change = "-0.52 (-0.75%)";
    london.volume = "41,255,012";
    london.averageVolume = "60,488,120";
    london.marketCap = "\xA3"
                       "18.64B";
    london.sharesOutstanding = "27.03B";
    london.exchange = "LSE";
    london.sales = "USD 385.71B"; // the summary says the company reports in dollars
    london.quoteTime = EasternWallClock(2024, 3, 4, 5, 45);
    QTest::newRow("yahoo London, yesterday")
        << "yahoo" << QByteArray("GB") << Fixture("yahoo-quote-pence.json") << 200
        << QByteArray("Vodafone Group Public Limited Company") << london;

    QuoteRecord finnhub = full;
    finnhub.bid = finnhub.ask = finnhub.forwardPriceEarnings = 0;
    finnhub.change = "+2.38 (+1.29%)";
    finnhub.volume = finnhub.institutionalOwnership = "N/A";
    finnhub.averageVolume = "54,123,460";
    finnhub.exchange = "NASDAQ NMS - GLOBAL MARKET";
    finnhub.sales = "$385.73B";
    QTest::newRow("finnhub") << "finnhub" << QByteArray("US") << QByteArray() << 0
                             << QByteArray("Tarrindel Instruments Inc") << finnhub;
}

void TestSources::pageReadsBack()
{
    QFETCH(QString, source);
    QFETCH(QByteArray, country);
    QFETCH(QByteArray, v7);
    QFETCH(int, v7Status);
    QFETCH(QByteArray, company);
    QFETCH(QuoteRecord, expected);

    ProviderStub stub;
    ServeSession(stub);
    stub.on("/v7/finance/quote", { { v7Status, v7 } });
    stub.on("/v10/finance/quoteSummary/" + (country == "GB" ? QByteArray("VOD.L") : QByteArray("TRDL")),
        { { 200, Fixture("yahoo-summary-full.json") } });
    stub.on("/v8/finance/chart/TRDL", { { 200, Fixture("yahoo-chart-full.json") } });
    stub.on("/api/v1/quote", { { 200, Fixture("finnhub-quote-full.json") } });
    stub.on("/api/v1/stock/profile2", { { 200, Fixture("finnhub-profile-full.json") } });
    stub.on("/api/v1/stock/metric", { { 200, Fixture("finnhub-metric-full.json") } });
    std::unique_ptr<QuoteSource> live = source == QLatin1String("yahoo")
        ? std::unique_ptr<QuoteSource>(new YahooSource(Context(stub)))
        : std::unique_ptr<QuoteSource>(new FinnhubSource(Context(stub, QStringLiteral("tok"))));
    const Outcome got = Fetch(*live, country, country == "GB" ? "VOD" : "TRDL");
    QVERIFY(got.answered);
    QVERIFY2(got.result.quote, qPrintable(got.result.why));

    QuoteRecord record;
    std::string name;
    QVERIFY(ReadBack(*got.result.quote, kTuesday, &record, &name));
    QCOMPARE(QByteArray::fromStdString(name), company);
    QCOMPARE(Describe(record), Describe(expected));
}

void TestSources::yahooHandshakeAndSummaryCache()
{
    ProviderStub stub;
    ServeSession(stub);
    stub.on("/v7/finance/quote", { { 200, Fixture("yahoo-quote-full.json") } });
    stub.on("/v10/finance/quoteSummary/TRDL", { { 200, Fixture("yahoo-summary-full.json") } });
    YahooSource yahoo(Context(stub));
    const Outcome first = Fetch(yahoo, "US", "TRDL");
    QVERIFY2(first.result.quote, qPrintable(first.result.why));
    QCOMPARE(first.calls, 1);
    QCOMPARE(first.result.quote->beta, std::optional<double>(1.264));

    // the cookie the first host set goes with the crumb request and the quote; the crumb's "/" is encoded
    QVERIFY(stub.head("/v1/test/getcrumb").contains("Cookie: A3=d=first"));
    const QByteArray quote = stub.head("/v7/finance/quote");
    QVERIFY2(quote.startsWith("GET /v7/finance/quote?symbols=TRDL&crumb=Qd7%2FkT2.x9M "), quote.constData());
    QVERIFY(quote.contains("Cookie: A3=d=first"));
    QVERIFY(quote.contains("User-Agent: Mozilla/5.0"));
    QVERIFY(stub.head("/v10/finance/quoteSummary/TRDL")
                .contains("modules=defaultKeyStatistics%2CfinancialData&crumb=Qd7%2FkT2.x9M"));

    // the session and the slow figures are kept; only the quote is asked again
    const Outcome second = Fetch(yahoo, "US", "TRDL");
    QVERIFY(second.result.quote);
    QCOMPARE(second.result.quote->beta, std::optional<double>(1.264));
    QCOMPARE(stub.count("/"), 1);
    QCOMPARE(stub.count("/v1/test/getcrumb"), 1);
    QCOMPARE(stub.count("/v7/finance/quote"), 2);
    QCOMPARE(stub.count("/v10/finance/quoteSummary/TRDL"), 1);

    // once they are old they are asked again
    yahoo.setSummaryLifetimes(0, 0);
    QVERIFY(Fetch(yahoo, "US", "TRDL").result.quote);
    QCOMPARE(stub.count("/v10/finance/quoteSummary/TRDL"), 2);
}

void TestSources::yahooSharesOneHandshake()
{
    ProviderStub stub;
    ServeSession(stub);
    stub.on("/v7/finance/quote", { { 200, Fixture("yahoo-quote-full.json") } });
    YahooSource yahoo(Context(stub));
    // three securities asked at once, one of them on no market Yahoo lists
    auto answers = std::make_shared<QList<SourceResult>>();
    for (const char* symbol : { "TRDL", "MSFT", "ABC" })
        yahoo.fetch(QByteArray(symbol) == "ABC" ? "XX" : "US", symbol,
            [answers](SourceResult r) { answers->append(std::move(r)); });
    QVERIFY(answers->isEmpty()); // never from inside fetch()
    QTRY_COMPARE_WITH_TIMEOUT(answers->size(), 3, 8000);
    QCOMPARE(stub.count("/"), 1);
    QCOMPARE(stub.count("/v1/test/getcrumb"), 1);
    QCOMPARE(stub.count("/v7/finance/quote"), 2);
    int quotes = 0, unknown = 0;
    for (const SourceResult& r : *answers) {
        quotes += r.quote ? 1 : 0;
        unknown += r.notFound ? 1 : 0;
    }
    QCOMPARE(quotes, 2);
    QCOMPARE(unknown, 1);
}

void TestSources::yahooRenewsOnce_data()
{
    QTest::addColumn<int>("refusal");
    QTest::addColumn<int>("refusals"); // quote answers refused before one is given
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("charts");
    QTest::newRow("401, then a new crumb works") << 401 << 1 << "quote" << 0;
    QTest::newRow("403, then a new crumb works") << 403 << 1 << "quote" << 0;
    QTest::newRow("refused again: the chart") << 401 << 2 << "quote" << 1;
}

void TestSources::yahooRenewsOnce()
{
    QFETCH(int, refusal);
    QFETCH(int, refusals);
    QFETCH(QString, outcome);
    QFETCH(int, charts);
    ProviderStub stub;
    stub.on("/",
        { { 404, {}, "Set-Cookie: B=stale; Path=/\r\n" },
            { 404, {}, "Set-Cookie: A3=d=second; Path=/\r\n" } });
    stub.on("/v1/test/getcrumb", { { 200, "old/crumb" }, { 200, "new.crumb" } });
    QList<Answer> quotes(refusals, Answer { refusal, Fixture("yahoo-invalid-crumb.json") });
    quotes.append({ 200, Fixture("yahoo-quote-full.json") });
    stub.on("/v7/finance/quote", quotes);
    stub.on("/v8/finance/chart/TRDL", { { 200, Fixture("yahoo-chart-full.json") } });
    YahooSource yahoo(Context(stub));
    const Outcome got = Fetch(yahoo, "US", "TRDL");
    QCOMPARE(Kind(got.result), outcome);
    QCOMPARE(got.calls, 1);
    // one renewal, never more, with the old cookie gone
    QCOMPARE(stub.count("/"), 2);
    QCOMPARE(stub.count("/v1/test/getcrumb"), 2);
    QCOMPARE(stub.count("/v7/finance/quote"), 2);
    QCOMPARE(stub.count("/v8/finance/chart/TRDL"), charts);
    const QByteArray renewed = stub.head("/v7/finance/quote");
    QVERIFY2(renewed.contains("crumb=new.crumb") && renewed.contains("A3=d=second")
            && !renewed.contains("B=stale"),
        renewed.constData());
    // a quote API that refused even the new crumb is left alone for a while: the chart at once
    QCOMPARE(Kind(Fetch(yahoo, "US", "TRDL").result), outcome);
    QCOMPARE(stub.count("/v7/finance/quote"), charts > 0 ? 2 : 3);
    QCOMPARE(stub.count("/v1/test/getcrumb"), 2);
}

void TestSources::yahooFallsBack_data()
{
    QTest::addColumn<int>("crumbStatus");
    QTest::addColumn<Answer>("quote");
    QTest::addColumn<Answer>("chart");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("why");
    QTest::addColumn<int>("charts");
    const Answer full { 200, Fixture("yahoo-chart-full.json") };
    const Answer tooMany { 429, Fixture("yahoo-too-many.txt") };
    QTest::newRow("quote rate limited") << 200 << tooMany << full << "quote"
                                        << "" << 1;
    QTest::newRow("crumb rate limited")
        << 429 << Answer { 200, Fixture("yahoo-quote-full.json") } << full << "quote"
        << "" << 1;
    QTest::newRow("chart has no data")
        << 200 << tooMany << Answer { 404, Fixture("yahoo-chart-nodata.json") } << "unknown"
        << "No data found" << 1;
    QTest::newRow("chart fails too")
        << 200 << tooMany
        << Answer { 500,
               R"({"chart":{"result":null,"error":{"code":"Internal","description":"Backend\nbusy"}}})" }
        << "failed"
        << "quote: HTTP 429; chart: HTTP 500: Internal Backend busy" << 1;
    QTest::newRow("quote has no such symbol")
        << 200 << Answer { 200, Fixture("yahoo-quote-empty.json") } << full << "unknown"
        << "no such symbol" << 0;
    QTest::newRow("consent page instead of the quote")
        << 200 << Answer { 200, Fixture("yahoo-consent.html") } << full << "failed"
        << "HTML page" << 0;
    QTest::newRow("malformed quote") << 200 << Answer { 200, "{\"quoteResponse\":{\"result\":[{\"regularMa" }
                                     << full << "failed"
                                     << "malformed JSON" << 0;
    // a redirect is an answer, never followed: here it would be a refused connection instead
    QTest::newRow("redirected elsewhere")
        << 200 << Answer { 302, {}, "Location: http://127.0.0.1:1/elsewhere\r\n" } << full << "failed"
        << "quote: HTTP 302" << 0;
    QTest::newRow("no quote of the symbol: the chart says")
        << 200 << Answer { 404, "{}" } << Answer { 404, Fixture("yahoo-chart-nodata.json") } << "unknown"
        << "No data found" << 1;
    QTest::newRow("server error on the quote: the chart")
        << 200 << Answer { 503, "busy" } << full << "quote"
        << "the chart's reduced figures, as quote: HTTP 503" << 1;
}

void TestSources::yahooFallsBack()
{
    QFETCH(int, crumbStatus);
    QFETCH(Answer, quote);
    QFETCH(Answer, chart);
    QFETCH(QString, outcome);
    QFETCH(QString, why);
    QFETCH(int, charts);
    ProviderStub stub;
    ServeSession(stub);
    if (crumbStatus != 200)
        stub.on("/v1/test/getcrumb", { { crumbStatus, Fixture("yahoo-too-many.txt") } });
    stub.on("/v7/finance/quote", { quote });
    stub.on("/v10/finance/quoteSummary/TRDL", { { 200, Fixture("yahoo-summary-full.json") } });
    stub.on("/v8/finance/chart/TRDL", { chart });
    YahooSource yahoo(Context(stub));
    const Outcome got = Fetch(yahoo, "US", "TRDL");
    QCOMPARE(got.calls, 1);
    QCOMPARE(Kind(got.result), outcome);
    QVERIFY2(got.result.why.contains(why), qPrintable(got.result.why));
    QCOMPARE(stub.count("/v8/finance/chart/TRDL"), charts);
    QCOMPARE(stub.count("/v7/finance/quote"), crumbStatus == 200 ? 1 : 0);
    if (charts)
        QVERIFY(!stub.head("/v8/finance/chart/TRDL").contains("crumb"));
    if (got.result.quote)
        QCOMPARE(got.result.quote->last, std::optional<double>(187.42));

    // a refused handshake is not tried again for every symbol; once the pause is over it is
    const int handshakes = stub.count("/v1/test/getcrumb");
    QCOMPARE(Fetch(yahoo, "US", "TRDL").calls, 1);
    QCOMPARE(stub.count("/v1/test/getcrumb"), handshakes);
    yahoo.setHandshakePause(0);
    Fetch(yahoo, "US", "TRDL");
    QCOMPARE(stub.count("/v1/test/getcrumb"), crumbStatus == 200 ? handshakes : handshakes + 1);
}

void TestSources::boundsAndTimeOuts_data()
{
    QTest::addColumn<Answer>("quote");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("why");
    const qint64 bound = 2 * 1024 * 1024;
    QByteArray exact = Fixture("yahoo-quote-full.json").trimmed();
    exact.insert(exact.size() - 2, ",\"pad\":\"" + QByteArray(bound - exact.size() - 9, 'p') + '"');
    QVERIFY(exact.size() == bound);
    QByteArray over = exact;
    over.insert(over.size() - 3, 'p');
    QTest::newRow("exactly 2 MiB") << Answer { 200, exact } << "quote"
                                   << "";
    QTest::newRow("a byte over, with a length") << Answer { 200, over } << "failed"
                                                << "larger than 2097152 bytes";
    QTest::newRow("a byte over, without a length") << Answer { 200, over, {}, Mode::NoLength } << "failed"
                                                   << "larger than 2097152 bytes";
    QTest::newRow("stalled before answering") << Answer { 200, {}, {}, Mode::Stall } << "failed"
                                              << "no answer within 400 ms";
    QTest::newRow("stalled in the body")
        << Answer { 200, Fixture("yahoo-quote-full.json"), {}, Mode::StallInBody } << "failed"
        << "answer not complete within 900 ms";
}

void TestSources::boundsAndTimeOuts()
{
    QFETCH(Answer, quote);
    QFETCH(QString, outcome);
    QFETCH(QString, why);
    ProviderStub stub;
    ServeSession(stub);
    stub.on("/v7/finance/quote", { quote });
    stub.on("/v10/finance/quoteSummary/TRDL", { { 200, Fixture("yahoo-summary-full.json") } });
    YahooSource yahoo(Context(stub));
    yahoo.client().setLimits({ 400, 900, 2 * 1024 * 1024 });
    const Outcome got = Fetch(yahoo, "US", "TRDL");
    QVERIFY(got.answered);
    QCOMPARE(got.calls, 1);
    QCOMPARE(Kind(got.result), outcome);
    QVERIFY2(got.result.why.contains(why), qPrintable(got.result.why));
    // a time-out ends the request: the source answers, it does not hang on
    QVERIFY2(got.ms < 5000, qPrintable(QString::number(got.ms)));
}

void TestSources::finnhubAnswers_data()
{
    QTest::addColumn<Answer>("quote");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("why");
    QTest::newRow("unknown symbol") << Answer { 200, Fixture("finnhub-quote-unknown.json") } << "unknown"
                                    << "no such symbol";
    // a market the key does not cover is this symbol's answer, not the source failing
    QTest::newRow("no access") << Answer { 403, Fixture("finnhub-no-access.json") } << "unknown"
                               << "quote refused (HTTP 403): You don't have access to this resource.";
    QTest::newRow("bad key") << Answer { 401, Fixture("finnhub-invalid-key.json") } << "failed"
                             << "Invalid API key";
    QTest::newRow("rate limited") << Answer { 429, "{\"error\":\"API limit reached.\"}" } << "failed"
                                  << "rate limited";
    QTest::newRow("key echoed back") << Answer { 401, "{\"error\":\"bad key s3cr/t!\"}" } << "failed"
                                     << "bad key (token)";
    QTest::newRow("stalled") << Answer { 200, {}, {}, Mode::Stall } << "failed"
                             << "no answer within";
}

void TestSources::finnhubAnswers()
{
    QFETCH(Answer, quote);
    QFETCH(QString, outcome);
    QFETCH(QString, why);
    const QString token = QStringLiteral("s3cr/t!");
    ProviderStub stub;
    stub.on("/api/v1/quote", { quote });
    FinnhubSource finnhub(Context(stub, token));
    finnhub.client().setLimits({ 400, 900, 2 * 1024 * 1024 });
    const Outcome got = Fetch(finnhub, "US", "BRK.B");
    QCOMPARE(got.calls, 1);
    QCOMPARE(Kind(got.result), outcome);
    QVERIFY2(got.result.why.contains(why), qPrintable(got.result.why));
    QVERIFY(!got.result.why.contains(token));
    QVERIFY(!got.result.why.contains(QLatin1String("s3cr")));
    // the key goes to the provider in its header, never in the query
    const QByteArray head = stub.head("/api/v1/quote");
    QVERIFY2(head.startsWith("GET /api/v1/quote?symbol=BRK.B HTTP/1.1\r\n"), head.constData());
    QVERIFY2(head.contains("\r\nX-Finnhub-Token: s3cr/t!"), head.constData());
}

void TestSources::finnhubKeepsTheProfile()
{
    ProviderStub stub;
    stub.on("/api/v1/quote", { { 200, Fixture("finnhub-quote-full.json") } });
    stub.on("/api/v1/stock/profile2", { { 200, Fixture("finnhub-profile-full.json") } });
    stub.on("/api/v1/stock/metric", { { 200, Fixture("finnhub-metric-full.json") } });
    FinnhubSource finnhub(Context(stub, QStringLiteral("tok")));
    for (int i = 0; i < 3; ++i) {
        const Outcome got = Fetch(finnhub, "US", "TRDL");
        QVERIFY(got.result.quote);
        QCOMPARE(got.result.quote->name, QByteArray("Tarrindel Instruments Inc"));
    }
    QCOMPARE(stub.count("/api/v1/quote"), 3);
    QCOMPARE(stub.count("/api/v1/stock/profile2"), 1);
    QCOMPARE(stub.count("/api/v1/stock/metric"), 1);
    QVERIFY(stub.head("/api/v1/stock/metric").contains("?symbol=TRDL&metric=all HTTP/1.1"));

    // without a key the source fails at once and asks nothing
    SourceContext keyless = Context(stub);
    FinnhubSource without(keyless);
    const Outcome refused = Fetch(without, "US", "TRDL");
    QCOMPARE(Kind(refused.result), QStringLiteral("failed"));
    QCOMPARE(stub.count("/api/v1/quote"), 3);
}

void TestSources::onlyTheSourcesHosts()
{
    ProviderStub stub;
    UpstreamClient client({ QStringLiteral("fc.yahoo.com") }, stub.url());
    QCOMPARE(client.resolve(QUrl(QStringLiteral("https://fc.yahoo.com/v7/x?a=b%2Fc")))
                 .toString(QUrl::FullyEncoded),
        stub.url().toString() + QStringLiteral("/v7/x?a=b%2Fc"));
    UpstreamClient mirrored(
        { QStringLiteral("fc.yahoo.com") }, QUrl(QStringLiteral("http://127.0.0.1:9/mirror/")));
    QCOMPARE(mirrored.resolve(QUrl(QStringLiteral("https://fc.yahoo.com/"))).toString(),
        QStringLiteral("http://127.0.0.1:9/mirror/"));

    // a host that is not the source's is refused before anything is sent anywhere
    bool done = false;
    UpstreamReply reply;
    client.get(QUrl(QStringLiteral("https://elsewhere.invalid/x")), [&](UpstreamReply r) {
        reply = std::move(r);
        done = true;
    });
    QVERIFY(!done); // never from inside get()
    QTRY_VERIFY_WITH_TIMEOUT(done, 2000);
    QCOMPARE(reply.status, 0);
    QVERIFY(reply.error.contains(QLatin1String("refused")));
    QVERIFY(stub.heads().isEmpty());
    QCOMPARE(LoggableUrl(QUrl(QStringLiteral("https://finnhub.io/api/v1/quote?symbol=A&token=T"))),
        QStringLiteral("https://finnhub.io/api/v1/quote"));
}

QTEST_GUILESS_MAIN(TestSources)
#include "tst_sources.moc"
