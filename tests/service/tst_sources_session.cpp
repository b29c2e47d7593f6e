// A source's session and its upstream client under load and fault, against scripted providers on
// loopback: crumb renewal when many requests are refused at once, what a summary Yahoo does not
// have costs, stalled answers beside prompt ones, and a compressed answer that unpacks too far.
#include "gateway/sources/slowfigures.h"
#include "gateway/sources/upstream.h"
#include "gateway/sources/yahoo.h"
#include "support/providerfixture.h"
#include "support/routedprovider.h"

#include <QTest>

namespace {

using Answer = RoutedProvider::Answer;
using Mode = RoutedProvider::Mode;

SourceContext Context(const RoutedProvider& stub)
{
    SourceContext c;
    c.upstream = stub.url();
    return c;
}

// Fetches each symbol at once; the answers by symbol as they come.
struct Fetches {
    std::map<QByteArray, SourceResult> results;
    std::vector<QByteArray> order;

    void start(QuoteSource& source, const QByteArray& symbol)
    {
        source.fetch("US", symbol, [this, symbol](SourceResult r) {
            results[symbol] = std::move(r);
            order.push_back(symbol);
        });
    }
};

} // namespace

Q_DECLARE_METATYPE(QList<int>)

class TestSourceSession final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void summaryKeptFor_data();
    void summaryKeptFor();
    void oneRenewalForManyRefusals_data();
    void oneRenewalForManyRefusals();
    void stalledSymbolsHoldUpNoOther_data();
    void stalledSymbolsHoldUpNoOther();
    void timeOutRunsFromSending();
    void unpackedTooFarIsASizeRefusal();
    void slowFiguresForgetTheOldestFirst();
};

void TestSourceSession::summaryKeptFor_data()
{
    QTest::addColumn<Answer>("summary");
    QTest::addColumn<int>("asked"); // summary requests for two fetches, a failure kept for no time
    QTest::newRow("answered") << Answer { 200, Fixture("yahoo-summary-full.json") } << 1;
    QTest::newRow("Yahoo has none (404 and its error)")
        << Answer { 404, Fixture("yahoo-summary-error.json") } << 1;
    QTest::newRow("server error") << Answer { 500, "{}" } << 2;
    QTest::newRow("a page instead") << Answer { 404, Fixture("yahoo-consent.html") } << 2;
}

void TestSourceSession::summaryKeptFor()
{
    QFETCH(Answer, summary);
    QFETCH(int, asked);
    RoutedProvider stub;
    stub.on("/", { { 404, {}, "Set-Cookie: A3=d=s; Path=/\r\n" } });
    stub.on("/v1/test/getcrumb", { { 200, "crumb" } });
    stub.on("/v7/finance/quote", { { 200, Fixture("yahoo-quote-fx.json") } });
    stub.on("/v10/finance/quoteSummary/EURUSD%3DX", { summary });
    YahooSource yahoo(Context(stub));
    yahoo.setSummaryLifetimes(3'600'000, 0);
    for (int i = 0; i < 2; ++i) {
        std::optional<SourceResult> got;
        yahoo.fetch("US", "EURUSD=X", [&got](SourceResult r) { got = std::move(r); });
        QTRY_VERIFY_WITH_TIMEOUT(got.has_value(), 5000);
        QVERIFY(got->quote);
    }
    QCOMPARE(stub.count("/v10/finance/quoteSummary/EURUSD%3DX"), asked);
}

void TestSourceSession::oneRenewalForManyRefusals_data()
{
    QTest::addColumn<QList<int>>("refusalDelaysMs"); // one refused quote each, in the order asked
    QTest::addColumn<int>("crumbDelayMs"); // how long the renewal's crumb takes
    // the later refusals come while the renewal waits for its crumb, with the new cookie in the jar
    QTest::newRow("simultaneous") << QList<int> { 0, 40, 80, 120, 160 } << 500;
    // they come after the renewal: each tries the new crumb
    QTest::newRow("staggered") << QList<int> { 0, 500, 600, 700, 800 } << 100;
}

void TestSourceSession::oneRenewalForManyRefusals()
{
    QFETCH(QList<int>, refusalDelaysMs);
    QFETCH(int, crumbDelayMs);
    RoutedProvider stub;
    stub.on("/",
        { { 404, {}, "Set-Cookie: A3=d=first; Path=/\r\n" },
            { 404, {}, "Set-Cookie: A3=d=second; Path=/\r\n" } });
    stub.on("/v1/test/getcrumb", { { 200, "old" }, { 200, "new", {}, Mode::Whole, crumbDelayMs } });
    QList<Answer> quotes { { 200, Fixture("yahoo-quote-full.json") } };
    for (const int delay : refusalDelaysMs)
        quotes.append({ 401, Fixture("yahoo-invalid-crumb.json"), {}, Mode::Whole, delay });
    quotes.append({ 200, Fixture("yahoo-quote-full.json") });
    stub.on("/v7/finance/quote", quotes);
    stub.on("/v10/finance/quoteSummary/*", { { 200, Fixture("yahoo-summary-full.json") } });
    stub.on("/v8/finance/chart/*", { { 200, Fixture("yahoo-chart-full.json") } });
    YahooSource yahoo(Context(stub));

    Fetches first;
    first.start(yahoo, "TRDL"); // the session, and the summaries kept from now on
    QTRY_COMPARE_WITH_TIMEOUT(first.order.size(), std::size_t(1), 5000);
    Fetches many;
    const QByteArrayList symbols { "A", "B", "C", "D", "E" };
    for (const QByteArray& symbol : symbols) {
        stub.on("/v10/finance/quoteSummary/" + symbol, { { 200, Fixture("yahoo-summary-full.json") } });
        many.start(yahoo, symbol);
    }
    QTRY_COMPARE_WITH_TIMEOUT(many.order.size(), std::size_t(symbols.size()), 8000);

    QCOMPARE(stub.count("/v1/test/getcrumb"), 2); // the first, and one renewal
    QCOMPARE(stub.count("/"), 2);
    QCOMPARE(stub.count("/v8/finance/chart/A") + stub.count("/v8/finance/chart/E"), 0);
    for (const QByteArray& symbol : symbols) {
        const SourceResult& r = many.results[symbol];
        QVERIFY2(r.quote && r.quote->open && r.quote->beta,
            qPrintable(QString::fromLatin1(symbol) + QStringLiteral(": ") + r.why));
    }
    // the renewal's cookie stayed in the jar for the crumb and every retry
    QVERIFY2(
        stub.head("/v1/test/getcrumb").contains("A3=d=second"), stub.head("/v1/test/getcrumb").constData());
    const QList<QByteArray>& heads = stub.heads();
    int retried = 0;
    for (const QByteArray& head : heads) {
        if (head.startsWith("GET /v7/finance/quote") && head.contains("crumb=new")) {
            ++retried;
            QVERIFY2(head.contains("A3=d=second"), head.constData());
        }
    }
    QCOMPARE(retried, symbols.size());
}

void TestSourceSession::stalledSymbolsHoldUpNoOther_data()
{
    QTest::addColumn<int>("stalled");
    QTest::addColumn<int>("outMs"); // how long they have been out when the prompt one is asked
    QTest::newRow("40, each within the cap") << 40 << 0;
    QTest::newRow("60: more than the cap, two slots each") << 60 << 0;
    QTest::newRow("100: more than the cap, a slot each") << 100 << 1200;
}

void TestSourceSession::stalledSymbolsHoldUpNoOther()
{
    // Symbols whose quote and summary never come, then one that is answered at once: it does not
    // wait for their time-outs (10 s), and none of them is answered by a time-out meanwhile.
    QFETCH(int, stalled);
    QFETCH(int, outMs);
    RoutedProvider stub;
    stub.on("/", { { 404, {}, "Set-Cookie: A3=d=s; Path=/\r\n" } });
    stub.on("/v1/test/getcrumb", { { 200, "crumb" } });
    stub.on("/v7/finance/quote", { { 200, {}, {}, Mode::Stall } });
    stub.on("/v7/finance/quote?symbols=QUICK*", { { 200, Fixture("yahoo-quote-full.json") } });
    stub.on("/v10/finance/quoteSummary/*", { { 200, {}, {}, Mode::Stall } });
    stub.on("/v10/finance/quoteSummary/QUICK", { { 200, Fixture("yahoo-summary-full.json") } });
    YahooSource yahoo(Context(stub));

    Fetches fetches;
    fetches.start(yahoo, "S0");
    QTRY_COMPARE_WITH_TIMEOUT(stub.count("/v7/finance/quote"), 1, 5000); // the session is made
    for (int i = 1; i < stalled; ++i)
        fetches.start(yahoo, "S" + QByteArray::number(i));
    QTest::qWait(outMs);
    fetches.start(yahoo, "QUICK");
    QTRY_VERIFY_WITH_TIMEOUT(fetches.results.count("QUICK"), 5000);
    QVERIFY(fetches.results["QUICK"].quote);
    for (const auto& [symbol, result] : fetches.results) {
        if (symbol != "QUICK")
            QVERIFY2(result.why.contains(QLatin1String("gave way")), qPrintable(result.why));
    }
}

void TestSourceSession::timeOutRunsFromSending()
{
    // One request in flight at a time: the second waits behind a stalled first, and its own
    // time-out starts only once it is sent.
    RoutedProvider stub;
    stub.on("/stall", { { 200, {}, {}, Mode::Stall } });
    stub.on("/prompt", { { 200, "{}" } });
    UpstreamClient client({ QStringLiteral("fc.yahoo.com") }, stub.url());
    client.setLimits({ 600, 5000, 1024, 1 });
    std::optional<UpstreamReply> stalled, prompt;
    client.get(
        QUrl(QStringLiteral("https://fc.yahoo.com/stall")), [&](UpstreamReply r) { stalled = std::move(r); });
    client.get(
        QUrl(QStringLiteral("https://fc.yahoo.com/prompt")), [&](UpstreamReply r) { prompt = std::move(r); });
    QTRY_COMPARE_WITH_TIMEOUT(client.queued(), qsizetype(1), 1000);
    QCOMPARE(client.inFlight(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(stalled && prompt, 5000);
    QVERIFY2(stalled->error.contains(QLatin1String("no answer within 600 ms")), qPrintable(stalled->error));
    QVERIFY2(prompt->ok(), qPrintable(prompt->describe()));
}

void TestSourceSession::unpackedTooFarIsASizeRefusal()
{
    // 64 MiB of zeros in a few kilobytes: Qt unpacks it on the way in, and stops
    const QByteArray bomb = qCompress(QByteArray(64 * 1024 * 1024, ' '), 9).mid(4);
    QVERIFY(bomb.size() < 200'000);
    RoutedProvider stub;
    stub.on("/v7/finance/quote", { { 200, bomb, "Content-Encoding: deflate\r\n" } });
    UpstreamClient client({ QStringLiteral("query2.finance.yahoo.com") }, stub.url());
    std::optional<UpstreamReply> got;
    client.get(QUrl(QStringLiteral("https://query2.finance.yahoo.com/v7/finance/quote?symbols=A")),
        [&got](UpstreamReply r) { got = std::move(r); });
    QTRY_VERIFY_WITH_TIMEOUT(got.has_value(), 10000);
    QVERIFY2(got->error.contains(QLatin1String("larger than 2097152 bytes")), qPrintable(got->describe()));
    QVERIFY(got->body.isEmpty());
}

void TestSourceSession::slowFiguresForgetTheOldestFirst()
{
    SlowFigures kept(2);
    LiveQuote beta;
    beta.beta = 1.5;
    kept.keep("A", beta, true);
    kept.keep("B", beta, false);
    kept.keep("A", LiveQuote {}, false); // a failure keeps the answer's figures
    kept.keep("C", beta, true);
    QCOMPARE(kept.size(), qsizetype(2));
    LiveQuote q;
    QVERIFY(!kept.addTo("A", q)); // the first kept, the first gone
    QVERIFY(kept.addTo("C", q) && q.beta == 1.5);
    QVERIFY(kept.fresh("C") && !kept.fresh("A"));
    kept.setLifetimes(0, 0);
    QVERIFY(!kept.fresh("C"));
}

QTEST_GUILESS_MAIN(TestSourceSession)
#include "tst_sources_session.moc"
