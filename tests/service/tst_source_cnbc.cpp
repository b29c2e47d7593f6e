// CNBC, the keyless source behind Yahoo and Finnhub: its answers against a scripted provider on
// loopback, read off the page they make; and the service's default chain falling to it.
#include "gateway/livefigures.h"
#include "gateway/sources/cnbc.h"
#include "options/options.h"
#include "page/pagerender.h"
#include "support/providerfixture.h"
#include "support/routedprovider.h"
#include "support/serviceprocess.h"

#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTest>

namespace {

const QByteArray kQuotePath = "/quote-html-webservice/restQuote/symbolType/symbol";
constexpr std::int64_t kTuesday = 1709653320; // 2024-03-05 10:42 Eastern, the fixtures' time

// The page the figures make, as "Caption=text" per figure, with the header's price, change, time
// and company first.
QMap<QByteArray, QByteArray> PageText(const LiveQuote& quote)
{
    Security security;
    security.country = "US";
    security.symbol = "TRDL";
    security.name = quote.name;
    const QString page = QString::fromLatin1(RenderQuotePage(security, FormatLiveQuote(quote, kTuesday)));
    QMap<QByteArray, QByteArray> text;
    auto first = [&page](const char* pattern) {
        return QRegularExpression(QLatin1String(pattern)).match(page).captured(1).toLatin1();
    };
    text["Last"] = first("<span class=\"s1\">([^<]*)</span>");
    text["Change"] = first("<span class=\"s[45]\">([^<]*)</span>") + ' '
        + first("<span class=\"s[45]\">[^<]*</span><br><span class=\"s[45]\">([^<]*)</span>");
    text["Time"] = first("<span class=\"s7\">([^<]*)</span>");
    text["Style"] = first("<span class=\"(s[45])\">"); // s4 a gain, s5 a loss
    text["Company"] = first("profile.asp\\?Symbol=TRDL\">([^<]*)</a>");
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    static const QRegularExpression cell(
        QStringLiteral("<td class=\"cl0\">([^<]*)</td><td class=\"cl1\">(.*?)</td>"));
    for (auto it = cell.globalMatch(page); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        text[m.captured(1).toLatin1()] = m.captured(2).remove(tag).toLatin1();
    }
    return text;
}

} // namespace

class TestSourceCnbc final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void answers_data();
    void answers();
    void defaultChain_data();
    void defaultChain();
    void defaultChainFallsToCnbc();
};

void TestSourceCnbc::answers_data()
{
    QTest::addColumn<QByteArray>("country");
    QTest::addColumn<QByteArray>("symbol");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("asked"); // the symbols parameter sent; empty: nothing sent
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArrayList>("page"); // "Caption=text" on the page

    const auto row
        = [](const char* name, const char* country, const char* symbol, const QByteArray& body,
              const char* asked, const char* kind, const QByteArrayList& page = {}, int status = 200) {
              QTest::newRow(name) << QByteArray(country) << QByteArray(symbol) << status << body
                                  << QByteArray(asked) << QString::fromLatin1(kind) << page;
          };
    const QByteArray full = Fixture("cnbc-quote-full.json");
    const QByteArray challenge = Fixture("cnbc-challenge.html");
    row("every figure", "US", "TRDL", full, "TRDL", "quote",
        { "Company=Tarrindel Instruments Inc", "Last=187.42", "Change=+2.38 +1.29%", "Time=10:42am ET",
            "Volume=31,874,512", "Avg Daily Volume=N/A", "High=188.10", "Low=184.90", "Open=185.30",
            "Previous Close=185.04", "Bid=N/A", "Ask=N/A", "52 Week High=199.62", "52 Week Low=142.07",
            "Instit. Ownership=N/A", "P/E=29.14", "Earnings/Share=6.43", "Div/Share=0.94",
            "Current Div. Yield=0.51", "Market Cap.=$2.85T", "Tot. Shares Out.=15.20B", "Exchange=NASDAQ",
            "Forward P/E=26.40", "Sales=$385.71B", "Return on Equity=154.26", "Beta=1.26" });
    // pence, "UNCH", a count only in millions, a 52-week low of 0, an offset time of yesterday
    row("London, unchanged", "GB", "VOD", Fixture("cnbc-quote-london.json"), "VOD-GB", "quote",
        { "Company=Vodafone Group PLC", "Last=68.94", "Change=+0.00 +0.00%", "Time=Mar 4, 2024 5:45am ET",
            "Volume=41,260,000", "52 Week High=81.20", "52 Week Low=N/A", "P/E=N/A", "Earnings/Share=N/A",
            "Market Cap.=\xA3"
            "18.64B",
            "Exchange=London Stock Exchange" });
    // one symbol as the quote itself, in plain numbers; the change worked out
    row("Tokyo, a bare object", "JP", "7203", Fixture("cnbc-quote-single.json"), "7203-JP", "quote",
        { "Company=Toyota Motor Corp", "Last=3544.00", "Change=+34.00 +0.97%", "Volume=12,873,400",
            "High=N/A", "Exchange=N/A", "Market Cap.=N/A" });
    const auto about = [&full](const char* symbol) {
        return QByteArray(full).replace("\"symbol\":\"TRDL\"", "\"symbol\":\"" + QByteArray(symbol) + '"');
    };
    row("Toronto", "CA", "ry", about("RY-CA"), "RY-CA", "quote", { "Last=187.42" });
    row("Venture", "CA", "SKE", about("SKE-V"), "SKE-V", "quote");
    row("Xetra", "DE", "SAP", about("SAP-DE"), "SAP-DE", "quote");
    // Yahoo's spelling of an index or a pair, in CNBC's; one it has none for is not asked
    row("an index", "US", "^GSPC", about(".SPX"), ".SPX", "quote");
    row("a pair, its precision kept", "US", "EURUSD=X", Fixture("cnbc-quote-pair.json"), "EUR%3D", "quote",
        { "Last=1.1598", "Change=+0.0010 +0.09%", "Previous Close=1.1588", "Avg Daily Volume=N/A" });
    row("an index it has no spelling for", "US", "^XQZ", full, "", "unknown");
    // a close dated by its day alone is that day's, not the moment it was asked
    row("date only", "US", "TRDLX", Fixture("cnbc-quote-dateonly.json"), "TRDLX", "quote",
        { "Time=Mar 1, 2024 4:00pm ET", "Change=-0.12 -0.29%", "Style=s5" });
    row("date only, US style", "US", "TRDLX",
        Fixture("cnbc-quote-dateonly.json").replace("\"last_time\":\"2024-03-01\",", ""), "TRDLX", "quote",
        { "Time=Mar 1, 2024 4:00pm ET" });
    row("after hours: the day's close is not the previous one", "US", "TRDL",
        Fixture("cnbc-quote-postmkt.json"), "TRDL", "quote",
        { "Last=187.42", "Previous Close=185.04", "Time=4:00pm ET" });
    row("a yield at three places", "US", "US10Y", Fixture("cnbc-quote-yield.json"), "US10Y", "quote",
        { "Last=4.606", "Change=-0.021 -0.45%", "Previous Close=4.627", "High=4.640", "Style=s5" });
    row("a loss with no change but its percentage", "US", "TRDL",
        R"({"FormattedQuoteResult":{"FormattedQuote":[{"symbol":"TRDL","last":"187.42","change_pct":"-0.53%"}]}})",
        "TRDL", "quote", { "Change=N/A -0.53%", "Style=s5" });
    // only an answer about the symbol asked is one
    row("another symbol's answer", "US", "TRDM", full, "TRDM", "failed");
    row("a list of three", "US", "TRDL", Fixture("cnbc-quote-three.json"), "TRDL", "failed");
    row("no such symbol", "US", "ZZQX", Fixture("cnbc-quote-unknown.json"), "ZZQX", "unknown");
    row("an empty list", "US", "ZZQX", Fixture("cnbc-quote-empty.json"), "ZZQX", "unknown");
    row("a country it has no market for", "CH", "NESN", full, "", "unknown");
    row("known, but no price", "US", "TRDL", Fixture("cnbc-quote-noprice.json"), "TRDL", "failed");
    row("a challenge page", "US", "TRDL", challenge, "TRDL", "failed");
    row("refused with a page", "US", "TRDL", challenge, "TRDL", "failed", {}, 403);
    row("server error", "US", "TRDL", "{}", "TRDL", "failed", {}, 503);
    row("cut short", "US", "TRDL", full.left(300), "TRDL", "failed");
    row("some other JSON", "US", "TRDL", R"({"QuickQuoteResult":{}})", "TRDL", "failed");
}

void TestSourceCnbc::answers()
{
    QFETCH(QByteArray, country);
    QFETCH(QByteArray, symbol);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, asked);
    QFETCH(QString, kind);
    QFETCH(QByteArrayList, page);

    RoutedProvider provider;
    provider.on(kQuotePath, { { status, body } });
    SourceContext context;
    context.upstream = provider.url();
    context.isVentureOnly = [](const QByteArray& s) { return s == "SKE"; };
    int calls = 0;
    SourceResult r;
    CnbcSource cnbc(context);
    cnbc.fetch(country, symbol, [&](SourceResult got) {
        ++calls;
        r = std::move(got);
    });
    QTRY_VERIFY_WITH_TIMEOUT(calls > 0, 8000);
    QTest::qWait(30); // a second answer would come now
    QCOMPARE(calls, 1);
    QCOMPARE(provider.count(kQuotePath), asked.isEmpty() ? 0 : 1);
    if (!asked.isEmpty()) {
        const QByteArray head = provider.head(kQuotePath);
        QVERIFY2(head.startsWith("GET " + kQuotePath + "?symbols=" + asked + "&"), head.constData());
        QVERIFY(head.contains("output=json"));
    }
    QCOMPARE(r.quote     ? QStringLiteral("quote")
            : r.notFound ? QStringLiteral("unknown")
                         : QStringLiteral("failed"),
        kind);
    QVERIFY2(r.quote.has_value() != !r.why.isEmpty(), qPrintable(r.why)); // a reason exactly when none
    if (!r.quote)
        return;
    const QMap<QByteArray, QByteArray> text = PageText(*r.quote);
    for (const QByteArray& line : page) {
        const QByteArray caption = line.left(line.indexOf('='));
        QVERIFY2(text.contains(caption), caption.constData());
        QCOMPARE(text.value(caption), line.mid(caption.size() + 1));
    }
}

void TestSourceCnbc::defaultChain_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("sources");
    QTest::newRow("live") << QStringLiteral("live") << QStringLiteral("yahoo,finnhub,cnbc");
    QTest::newRow("live after one of its own")
        << QStringLiteral("cnbc, live") << QStringLiteral("cnbc,yahoo,finnhub");
    QTest::newRow("simulated") << QStringLiteral("simulated") << QStringLiteral("simulated");
}

void TestSourceCnbc::defaultChain()
{
    QFETCH(QString, list);
    QFETCH(QString, sources);
    ServiceOptions options;
    QString error;
    QVERIFY2(ParseOptions({ QStringLiteral("--source"), list }, options, &error), qPrintable(error));
    QCOMPARE(options.sources.join(QLatin1Char(',')), sources);
}

void TestSourceCnbc::defaultChainFallsToCnbc()
{
    // no key: finnhub is left out, and Yahoo turns the handshake and the chart away
    qunsetenv("FINNHUB_TOKEN");
    const QByteArray refused
        = R"({"finance":{"result":null,"error":{"code":"Unauthorized","description":"Invalid Cookie"}}})";
    RoutedProvider yahoo;
    yahoo.on("/", { { 404, "Not Found" } });
    yahoo.on("/v1/test/getcrumb", { { 401, refused } });
    yahoo.on("/v8/finance/chart/*", { { 401, refused } });
    RoutedProvider cnbc;
    cnbc.on(kQuotePath, { { 200, Fixture("cnbc-quote-full.json") } });

    QuoteServiceProcess service;
    QVERIFY2(
        service.start({ QStringLiteral("--lists"), QStringLiteral(KOLPEX_DATA_DIR),
                          QStringLiteral("--upstream"), QStringLiteral("yahoo=") + yahoo.url().toString(),
                          QStringLiteral("--upstream"), QStringLiteral("cnbc=") + cnbc.url().toString() },
            0, false),
        qPrintable(service.error()));
    QNetworkAccessManager network;
    const std::unique_ptr<QNetworkReply> reply(network.get(
        QNetworkRequest(QUrl(QString::fromLatin1(service.url() + "/detail/stock_quote?Symbol=US:TRDL")))));
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 20000); // the scripted providers answer meanwhile
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
    const QByteArray page = reply->readAll();
    QVERIFY2(page.contains(">Tarrindel Instruments Inc</a>"), page.left(2000).constData());
    QVERIFY(page.contains("<span class=\"s1\">187.42</span>"));
    QVERIFY(!page.contains("(simulated)"));
    QCOMPARE(yahoo.count("/v8/finance/chart/TRDL"), 1);
    QCOMPARE(cnbc.count(kQuotePath), 1);
    QVERIFY(service.stop());
    QVERIFY2(service.output().contains("live quotes from yahoo, cnbc,"), service.output().constData());
    QVERIFY2(service.output().contains("cnbc after yahoo: "), service.output().constData());
}

QTEST_GUILESS_MAIN(TestSourceCnbc)
#include "tst_source_cnbc.moc"
