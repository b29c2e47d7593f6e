// What a provider's answer becomes on the quote page: each row is the answers a scripted provider
// gives and the page texts they must make, fetched through the source as the service fetches them.
#include "gateway/gateway.h"
#include "gateway/livefigures.h"
#include "gateway/sources/cnbc.h"
#include "gateway/sources/finnhub.h"
#include "gateway/sources/yahoo.h"
#include "support/providerfixture.h"
#include "support/routedprovider.h"

#include <QTest>

namespace {

constexpr std::int64_t kTuesday = 1709653320; // 2024-03-05 10:42 Eastern, the fixtures' time

// A page text of the served quote by the name of its field.
QByteArray Field(const ServedQuote& s, const QByteArray& name)
{
    const std::pair<const char*, const QByteArray*> fields[] = { { "last", &s.last }, { "high", &s.high },
        { "low", &s.low }, { "open", &s.open }, { "previousClose", &s.previousClose }, { "bid", &s.bid },
        { "ask", &s.ask }, { "yearHigh", &s.yearHigh }, { "yearLow", &s.yearLow },
        { "priceEarnings", &s.priceEarnings }, { "earningsPerShare", &s.earningsPerShare },
        { "forwardPriceEarnings", &s.forwardPriceEarnings }, { "dividendPerShare", &s.dividendPerShare },
        { "dividendYield", &s.dividendYield }, { "change", &s.change }, { "changePercent", &s.changePercent },
        { "averageVolume", &s.averageVolume }, { "marketCap", &s.marketCap }, { "sales", &s.sales },
        { "volume", &s.volume }, { "beta", &s.beta } };
    for (const auto& [field, text] : fields) {
        if (name == field)
            return *text;
    }
    qFatal("no field %s", name.constData());
}

} // namespace

class TestSourceFigures final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pageTexts_data();
    void pageTexts();
    void fills_data();
    void fills();
};

void TestSourceFigures::pageTexts_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QByteArray>("quote"); // Yahoo's v7 quote, or Finnhub's quote
    QTest::addColumn<QByteArray>("slow"); // Yahoo's quoteSummary, or Finnhub's metric
    QTest::addColumn<int>("slowStatus");
    QTest::addColumn<QByteArray>("profile"); // Finnhub's profile2
    QTest::addColumn<QByteArrayList>("expected"); // field=text

    const auto yahoo = [](const char* name, const QByteArray& quote, const QByteArray& summary,
                           const QByteArrayList& expected, int summaryStatus = 200) {
        QTest::newRow(name) << QStringLiteral("yahoo") << quote << summary << summaryStatus << QByteArray()
                            << expected;
    };
    const auto finnhub = [](const char* name, const QByteArray& metric, const QByteArray& profile,
                             const QByteArrayList& expected) {
        QTest::newRow(name) << QStringLiteral("finnhub") << Fixture("finnhub-quote-full.json") << metric
                            << 200 << profile << expected;
    };

    // Sales in the currency the company reports in; the dividend in the one it trades in
    yahoo("reports in yuan, trades in dollars", Fixture("yahoo-quote-foreign.json"),
        Fixture("yahoo-summary-foreign.json"),
        { "sales=CNY 981.77B", "marketCap=$215.00B", "dividendPerShare=1.05", "last=85.40" });
    yahoo("reports in euros, no dividend rate: the yield of the price", Fixture("yahoo-quote-eur.json"),
        Fixture("yahoo-summary-eur.json"),
        { "sales=EUR 15.67B", "dividendPerShare=1.00", "marketCap=$31.20B" });
    yahoo("reports in the currency it trades in", Fixture("yahoo-quote-full.json"),
        Fixture("yahoo-summary-full.json"), { "sales=$385.71B", "dividendPerShare=0.94" });

    // London in pence: the per-share figures Yahoo gives in pounds follow the price
    yahoo("pence, reporting in euros", Fixture("yahoo-quote-pence-full.json"),
        Fixture("yahoo-summary-pence.json"),
        { "last=68.94", "earningsPerShare=4.12", "dividendPerShare=4.52", "sales=EUR 37.67B",
            "marketCap=\xA3"
            "18.64B" });
    yahoo("pence, reporting in pounds", Fixture("yahoo-quote-pence-full.json").replace("\"EUR\"", "\"GBP\""),
        Fixture("yahoo-summary-pence.json").replace("\"EUR\"", "\"GBP\""),
        { "earningsPerShare=4.12", "dividendPerShare=7.75",
            "sales=\xA3"
            "37.67B" });

    // The provider's precision; a small loss is a loss; a summary it does not have changes nothing
    yahoo("currency pair at four places", Fixture("yahoo-quote-fx.json"), Fixture("yahoo-summary-error.json"),
        { "last=1.0490", "change=-0.0006", "changePercent=-0.05%", "previousClose=1.0496", "high=1.0512",
            "low=1.0471", "open=1.0496", "bid=1.0489", "ask=1.0491", "yearHigh=1.1276", "yearLow=1.0448" },
        404);
    yahoo("loss too small for two places, no hint",
        R"({"quoteResponse":{"result":[{"regularMarketPrice":12.5,"regularMarketChange":-0.004,"regularMarketPreviousClose":12.504}]}})",
        Fixture("yahoo-summary-full.json"), { "last=12.50", "change=-0.004", "previousClose=12.50" });

    // London's per-share figures in whichever unit the answer itself bears out
    yahoo("pence, earnings and dividend in pence (2017)",
        R"({"quoteResponse":{"result":[{"currency":"GBp","regularMarketPrice":1351.0,"trailingPE":34.55,"epsTrailingTwelveMonths":39.1,"trailingAnnualDividendRate":80.0,"dividendYield":5.92}]}})",
        Fixture("yahoo-summary-error.json"), { "earningsPerShare=39.10", "dividendPerShare=80.00" }, 404);

    // An index's zeros are figures it does not have
    yahoo("index", Fixture("yahoo-quote-index.json"), Fixture("yahoo-summary-error.json"),
        { "last=5078.18", "high=N/A", "low=N/A", "open=N/A", "yearHigh=N/A", "yearLow=N/A", "bid=N/A",
            "ask=N/A", "previousClose=5080.55", "change=-2.37" },
        404);
    yahoo("a pair's volumes of 0",
        Fixture("yahoo-quote-fx.json")
            .replace("\"regularMarketPrice\"",
                "\"regularMarketVolume\":0,\"averageDailyVolume3Month\":0,\"regularMarketPrice\""),
        Fixture("yahoo-summary-error.json"), { "volume=N/A", "averageVolume=N/A" }, 404);

    // Finnhub: the forward P/E, and the average volume on whichever scale the answer uses
    finnhub("averages in shares, forward P/E", Fixture("finnhub-metric-current.json"),
        Fixture("finnhub-profile-full.json"), { "forwardPriceEarnings=26.41", "averageVolume=54,123,460" });
    finnhub("averages in millions", Fixture("finnhub-metric-full.json"), Fixture("finnhub-profile-full.json"),
        { "averageVolume=54,123,460", "forwardPriceEarnings=N/A" });
    finnhub("3-month in shares beside a 10-day in millions, no share count",
        R"({"metric":{"3MonthAverageTradingVolume":45678,"10DayAverageTradingVolume":0.05}})",
        Fixture("finnhub-profile-empty.json"), { "averageVolume=45,678" });
    finnhub("thin stock in shares, told by the share count",
        R"({"metric":{"3MonthAverageTradingVolume":20000}})", R"({"name":"Thin Co","shareOutstanding":50})",
        { "averageVolume=20,000" });
    finnhub("an old answer: a 3-month average twenty times the 10-day one",
        R"({"metric":{"3MonthAverageTradingVolume":1000,"10DayAverageTradingVolume":50}})",
        Fixture("finnhub-profile-full.json"), { "averageVolume=N/A" });
    finnhub("a 10-day average alone", R"({"metric":{"10DayAverageTradingVolume":48.7}})",
        Fixture("finnhub-profile-full.json"), { "averageVolume=N/A" });
    finnhub("market value from the ratios when the profile has none", Fixture("finnhub-metric-current.json"),
        Fixture("finnhub-profile-empty.json"), { "marketCap=$2.85T" });
}

void TestSourceFigures::pageTexts()
{
    QFETCH(QString, source);
    QFETCH(QByteArray, quote);
    QFETCH(QByteArray, slow);
    QFETCH(int, slowStatus);
    QFETCH(QByteArray, profile);
    QFETCH(QByteArrayList, expected);

    RoutedProvider stub;
    stub.on("/", { { 404, "Not Found", "Set-Cookie: A3=d=first; Path=/\r\n" } });
    stub.on("/v1/test/getcrumb", { { 200, "crumb" } });
    stub.on("/v7/finance/quote", { { 200, quote } });
    stub.on("/v10/finance/quoteSummary/*", { { slowStatus, slow } });
    stub.on("/api/v1/quote", { { 200, quote } });
    stub.on("/api/v1/stock/metric", { { slowStatus, slow } });
    stub.on("/api/v1/stock/profile2", { { 200, profile } });
    SourceContext context;
    context.upstream = stub.url();
    context.token = QStringLiteral("tok");
    std::unique_ptr<QuoteSource> live = source == QLatin1String("yahoo")
        ? std::unique_ptr<QuoteSource>(new YahooSource(context))
        : std::unique_ptr<QuoteSource>(new FinnhubSource(context));

    std::optional<SourceResult> got;
    live->fetch("US", "TRDL", [&got](SourceResult r) { got = std::move(r); });
    QTRY_VERIFY_WITH_TIMEOUT(got.has_value(), 8000);
    QVERIFY2(got->quote, qPrintable(got->why));
    const ServedQuote page = FormatLiveQuote(*got->quote, kTuesday);
    for (const QByteArray& pair : expected) {
        const qsizetype eq = pair.indexOf('=');
        QCOMPARE(Field(page, pair.left(eq)), pair.mid(eq + 1));
    }
}

void TestSourceFigures::fills_data()
{
    QTest::addColumn<int>("yahooStatus"); // of its quote and quoteSummary APIs; the chart answers
    QTest::addColumn<QByteArray>("cnbc");
    QTest::addColumn<int>("cnbcCalls");
    QTest::addColumn<QString>("note");
    QTest::addColumn<QByteArrayList>("expected");

    const QByteArray cnbc = Fixture("cnbc-quote-full.json");
    QTest::newRow("Yahoo's chart alone, CNBC's figures")
        << 401 << cnbc << 1 << QStringLiteral("; cnbc filled 10 figures")
        << QByteArrayList { "last=187.42", "high=188.10", "volume=31,874,512", "priceEarnings=29.14",
               "earningsPerShare=6.43", "forwardPriceEarnings=26.40", "dividendPerShare=0.94",
               "dividendYield=0.51", "marketCap=$2.85T", "sales=$385.71B", "beta=1.26", "yearHigh=199.62",
               "averageVolume=N/A" };
    QTest::newRow("Yahoo whole: CNBC not asked")
        << 200 << cnbc << 0 << QStringLiteral("yahoo")
        << QByteArrayList { "priceEarnings=29.14", "averageVolume=54,123,456" };
    QTest::newRow("CNBC about another symbol fills nothing")
        << 401 << QByteArray(cnbc).replace("\"symbol\":\"TRDL\"", "\"symbol\":\"TRDM\"") << 1
        << QStringLiteral("yahoo (the chart's") << QByteArrayList { "last=187.42", "priceEarnings=N/A" };
}

void TestSourceFigures::fills()
{
    QFETCH(int, yahooStatus);
    QFETCH(QByteArray, cnbc);
    QFETCH(int, cnbcCalls);
    QFETCH(QString, note);
    QFETCH(QByteArrayList, expected);

    const QByteArray refused
        = R"({"finance":{"result":null,"error":{"code":"Unauthorized","description":"User is unable to access this feature"}}})";
    RoutedProvider yahoo;
    yahoo.on("/", { { 404, "Not Found", "Set-Cookie: A3=d=first; Path=/\r\n" } });
    yahoo.on("/v1/test/getcrumb", { { 200, "crumb" } });
    yahoo.on("/v7/finance/quote",
        { { yahooStatus, yahooStatus == 200 ? Fixture("yahoo-quote-full.json") : refused } });
    yahoo.on("/v10/finance/quoteSummary/*",
        { { yahooStatus, yahooStatus == 200 ? Fixture("yahoo-summary-full.json") : refused } });
    yahoo.on("/v8/finance/chart/*", { { 200, Fixture("yahoo-chart-full.json") } });
    RoutedProvider cnbcProvider;
    const QByteArray cnbcPath = "/quote-html-webservice/restQuote/symbolType/symbol";
    cnbcProvider.on(cnbcPath, { { 200, cnbc } });
    SourceContext toYahoo, toCnbc;
    toYahoo.upstream = yahoo.url();
    toCnbc.upstream = cnbcProvider.url();
    std::vector<std::unique_ptr<QuoteSource>> sources;
    sources.push_back(std::make_unique<YahooSource>(toYahoo));
    sources.push_back(std::make_unique<CnbcSource>(toCnbc));
    QuoteGateway gateway(std::move(sources), GatewaySettings {});

    std::optional<GatewayAnswer> got;
    gateway.quote("US", "TRDL", [&got](const GatewayAnswer& a) { got = a; });
    QTRY_VERIFY_WITH_TIMEOUT(got.has_value(), 8000);
    QCOMPARE(int(got->outcome), int(GatewayOutcome::Live));
    QVERIFY2(got->note.contains(note), qPrintable(got->note));
    QCOMPARE(cnbcProvider.count(cnbcPath), cnbcCalls);
    const ServedQuote page = FormatLiveQuote(got->quote, kTuesday);
    for (const QByteArray& pair : expected) {
        const qsizetype eq = pair.indexOf('=');
        QCOMPARE(Field(page, pair.left(eq)), pair.mid(eq + 1));
    }
}

QTEST_GUILESS_MAIN(TestSourceFigures)
#include "tst_sources_figures.moc"
