// CNBC, the keyless source behind Yahoo and Finnhub: its answers against a scripted provider on
// loopback, read off the page they make; and the service's default chain falling to it.
#include "livepage.h"
#include "options.h"
#include "pagerender.h"
#include "sources/cnbc.h"
#include "support/routedprovider.h"
#include "support/serviceprocess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTest>

namespace {

const QByteArray kQuotePath = "/quote-html-webservice/restQuote/symbolType/symbol";
constexpr std::int64_t kTuesday = 1709653320; // 2024-03-05 10:42 Eastern, the fixtures' time

QByteArray Fixture(const char* name)
{
    QFile f(QStringLiteral(KOLPEX_TEST_DATA "/providers/") + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", name);
    return f.readAll();
}

struct Outcome {
    bool answered = false;
    int calls = 0;
    SourceResult result;
};

Outcome Fetch(QuoteSource& source, const QByteArray& country, const QByteArray& symbol)
{
    auto out = std::make_shared<Outcome>();
    source.fetch(country, symbol, [out](SourceResult r) {
        ++out->calls;
        out->answered = true;
        out->result = std::move(r);
    });
    QElapsedTimer timer;
    timer.start();
    while (!out->answered && timer.elapsed() < 8000)
        QTest::qWait(10);
    QTest::qWait(30); // a second answer would come now
    return *out;
}

QByteArray Strip(QByteArray cell)
{
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    return QString::fromLatin1(cell).remove(tag).toLatin1();
}

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
    text["Company"] = first("profile.asp\\?Symbol=TRDL\">([^<]*)</a>");
    static const QRegularExpression cell(
        QStringLiteral("<td class=\"cl0\">([^<]*)</td><td class=\"cl1\">(.*?)</td>"));
    for (auto it = cell.globalMatch(page); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        text[m.captured(1).toLatin1()] = Strip(m.captured(2).toLatin1());
    }
    return text;
}

QByteArray Get(const QUrl& url, int* status)
{
    QNetworkAccessManager network;
    QNetworkReply* reply = network.get(QNetworkRequest(url));
    QElapsedTimer timer;
    timer.start();
    while (!reply->isFinished() && timer.elapsed() < 20000)
        QTest::qWait(10); // the scripted providers answer on this thread meanwhile
    *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray body = reply->readAll();
    delete reply;
    return body;
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

    QTest::newRow("every figure") << QByteArray("US") << QByteArray("TRDL") << 200
                                  << Fixture("cnbc-quote-full.json") << QByteArray("TRDL") << "quote"
                                  << QByteArrayList { "Company=Tarrindel Instruments Inc", "Last=187.42",
                                         "Change=+2.38 +1.29%", "Time=10:42am ET", "Volume=31,874,512",
                                         "Avg Daily Volume=54,120,000", "High=188.10", "Low=184.90",
                                         "Open=185.30", "Previous Close=185.04", "Bid=N/A", "Ask=N/A",
                                         "52 Week High=199.62", "52 Week Low=142.07", "Instit. Ownership=N/A",
                                         "P/E=29.14", "Earnings/Share=6.43", "Div/Share=0.94",
                                         "Current Div. Yield=0.51", "Market Cap.=$2.85T",
                                         "Tot. Shares Out.=15.20B", "Exchange=NASDAQ", "Forward P/E=26.40",
                                         "Sales=$385.71B", "Return on Equity=154.26", "Beta=1.26" };
    // pence, "UNCH", a count only in millions, a 52-week low of 0, an offset time of yesterday
    QTest::newRow("London, unchanged")
        << QByteArray("GB") << QByteArray("VOD") << 200 << Fixture("cnbc-quote-london.json")
        << QByteArray("VOD-GB") << "quote"
        << QByteArrayList { "Company=Vodafone Group PLC", "Last=68.94", "Change=+0.00 +0.00%",
               "Time=Mar 4, 2024 5:45am ET", "Volume=41,260,000", "52 Week High=81.20", "52 Week Low=N/A",
               "P/E=N/A", "Earnings/Share=N/A",
               "Market Cap.=\xA3"
               "18.64B",
               "Exchange=London Stock Exchange" };
    // one symbol as the quote itself, in plain numbers; the change worked out
    QTest::newRow("Tokyo, a bare object")
        << QByteArray("JP") << QByteArray("7203") << 200 << Fixture("cnbc-quote-single.json")
        << QByteArray("7203-JP") << "quote"
        << QByteArrayList { "Company=Toyota Motor Corp", "Last=3544.00", "Change=+34.00 +0.97%",
               "Volume=12,873,400", "High=N/A", "Exchange=N/A", "Market Cap.=N/A" };
    QTest::newRow("Toronto") << QByteArray("CA") << QByteArray("ry") << 200 << Fixture("cnbc-quote-full.json")
                             << QByteArray("RY-CA") << "quote" << QByteArrayList { "Last=187.42" };
    QTest::newRow("Venture") << QByteArray("CA") << QByteArray("SKE") << 200
                             << Fixture("cnbc-quote-full.json") << QByteArray("SKE-V") << "quote"
                             << QByteArrayList {};
    QTest::newRow("Xetra") << QByteArray("DE") << QByteArray("SAP") << 200 << Fixture("cnbc-quote-full.json")
                           << QByteArray("SAP-DE") << "quote" << QByteArrayList {};
    QTest::newRow("no such symbol") << QByteArray("US") << QByteArray("ZZQX") << 200
                                    << Fixture("cnbc-quote-unknown.json") << QByteArray("ZZQX") << "unknown"
                                    << QByteArrayList {};
    QTest::newRow("an empty list") << QByteArray("US") << QByteArray("ZZQX") << 200
                                   << Fixture("cnbc-quote-empty.json") << QByteArray("ZZQX") << "unknown"
                                   << QByteArrayList {};
    QTest::newRow("a country it has no market for")
        << QByteArray("CH") << QByteArray("NESN") << 200 << Fixture("cnbc-quote-full.json") << QByteArray()
        << "unknown" << QByteArrayList {};
    QTest::newRow("known, but no price")
        << QByteArray("US") << QByteArray("TRDL") << 200 << Fixture("cnbc-quote-noprice.json")
        << QByteArray("TRDL") << "failed" << QByteArrayList {};
    QTest::newRow("a challenge page")
        << QByteArray("US") << QByteArray("TRDL") << 200 << Fixture("cnbc-challenge.html")
        << QByteArray("TRDL") << "failed" << QByteArrayList {};
    QTest::newRow("refused with a page")
        << QByteArray("US") << QByteArray("TRDL") << 403 << Fixture("cnbc-challenge.html")
        << QByteArray("TRDL") << "failed" << QByteArrayList {};
    QTest::newRow("server error") << QByteArray("US") << QByteArray("TRDL") << 503 << QByteArray("{}")
                                  << QByteArray("TRDL") << "failed" << QByteArrayList {};
    QTest::newRow("cut short") << QByteArray("US") << QByteArray("TRDL") << 200
                               << Fixture("cnbc-quote-full.json").left(300) << QByteArray("TRDL") << "failed"
                               << QByteArrayList {};
    QTest::newRow("some other JSON") << QByteArray("US") << QByteArray("TRDL") << 200
                                     << QByteArray(R"({"QuickQuoteResult":{}})") << QByteArray("TRDL")
                                     << "failed" << QByteArrayList {};
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
    CnbcSource cnbc(context);
    const Outcome got = Fetch(cnbc, country, symbol);
    QVERIFY(got.answered);
    QCOMPARE(got.calls, 1);
    QCOMPARE(provider.count(kQuotePath), asked.isEmpty() ? 0 : 1);
    if (!asked.isEmpty()) {
        const QByteArray head = provider.head(kQuotePath);
        QVERIFY2(head.startsWith("GET " + kQuotePath + "?symbols=" + asked + "&"), head.constData());
        QVERIFY(head.contains("output=json"));
    }
    const SourceResult& r = got.result;
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
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("sources");
    const auto source = [](const char* list) {
        return QStringList { QStringLiteral("--source"), QLatin1String(list) };
    };
    QTest::newRow("live") << source("live") << QStringLiteral("yahoo,finnhub,cnbc");
    QTest::newRow("live after one of its own")
        << source("cnbc, live") << QStringLiteral("cnbc,yahoo,finnhub");
    QTest::newRow("simulated") << source("simulated") << QStringLiteral("simulated");
}

void TestSourceCnbc::defaultChain()
{
    QFETCH(QStringList, args);
    QFETCH(QString, sources);
    ServiceOptions options;
    QString error;
    QVERIFY2(ParseOptions(args, options, &error), qPrintable(error));
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
    int status = 0;
    const QByteArray page
        = Get(QUrl(QString::fromLatin1(service.url() + "/detail/stock_quote?Symbol=US:TRDL")), &status);
    QCOMPARE(status, 200);
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
