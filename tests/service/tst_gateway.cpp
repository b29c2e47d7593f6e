// The gateway between requests and live sources: chain order and fallback, the cache that
// protects a provider, the breaker, the stale quote and the failure, the symbols that never go
// upstream, and a server too busy to take one more. Sources here are in-process stand-ins whose
// answers and delays the test scripts.
#include "gateway/gateway.h"
#include "options/options.h"
#include "quoteserver.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <map>

namespace {

// What a stand-in source does for one symbol.
struct Behaviour {
    enum class Kind { Answer, Fail, NotFound, Silent };
    Kind kind = Kind::Answer;
    double last = 10.0;
    int delayMs = 0;
    QString why = QStringLiteral("HTTP 503");
    QString note; // what an answer says of itself (the chart's reduced figures)
    bool slowFigures = true; // with the company's figures, or the price alone
};

class StandInSource final : public QuoteSource {
public:
    explicit StandInSource(QString name)
        : m_name(std::move(name))
    {
    }
    QString name() const override { return m_name; }
    bool canAsk(const QByteArray&, const QByteArray& symbol) const override
    {
        return !unspellable.contains(symbol);
    }
    void fetch(const QByteArray& country, const QByteArray& symbol, Done done) override
    {
        const QByteArray key = country + ':' + symbol;
        ++calls[key];
        const auto it = behaviour.find(key);
        const Behaviour b = it != behaviour.end() ? it->second : fallback;
        if (b.kind == Behaviour::Kind::Silent)
            return;
        SourceResult result;
        if (b.kind == Behaviour::Kind::Answer) {
            LiveQuote q;
            q.last = b.last;
            q.name = m_name.toLatin1() + " Corp";
            if (b.slowFigures) {
                q.priceEarnings = b.last;
                q.marketCap = b.last * 1e9;
                q.beta = 1.1;
                q.averageVolume = 1e6;
            }
            result.quote = q;
            result.why = b.note;
        } else if (b.kind == Behaviour::Kind::NotFound) {
            result.notFound = true;
        } else {
            result.why = b.why;
        }
        QTimer::singleShot(b.delayMs, this, [done, result] { done(result); });
    }

    int total() const
    {
        int n = 0;
        for (const auto& [key, count] : calls)
            n += count;
        return n;
    }

    std::map<QByteArray, Behaviour> behaviour;
    Behaviour fallback;
    std::map<QByteArray, int> calls;
    QByteArrayList unspellable;

private:
    QString m_name;
};

// A gateway over stand-ins that the test keeps pointers to, on a clock the test moves.
struct Rig {
    std::unique_ptr<QuoteGateway> gateway;
    std::vector<StandInSource*> sources;
    std::int64_t nowMs = 1'000'000;

    explicit Rig(const QStringList& names, GatewaySettings settings = {})
    {
        std::vector<std::unique_ptr<QuoteSource>> owned;
        for (const QString& name : names) {
            auto source = std::make_unique<StandInSource>(name);
            sources.push_back(source.get());
            owned.push_back(std::move(source));
        }
        gateway = std::make_unique<QuoteGateway>(std::move(owned), settings);
        gateway->setClock([this] { return nowMs; });
    }

    // One request, waited for (bounded).
    GatewayAnswer ask(const QByteArray& symbol = "MSFT")
    {
        std::optional<GatewayAnswer> got;
        gateway->quote("US", symbol, [&got](const GatewayAnswer& a) { got = a; });
        QDeadlineTimer deadline(5000);
        while (!got && !deadline.hasExpired())
            QTest::qWait(2);
        return got.value_or(GatewayAnswer {});
    }
};

Behaviour Of(Behaviour::Kind kind, double last = 10.0, int delayMs = 0,
    const QString& why = QStringLiteral("HTTP 503"))
{
    Behaviour b;
    b.kind = kind;
    b.last = last;
    b.delayMs = delayMs;
    b.why = why;
    return b;
}
Behaviour Fails(const QString& why = QStringLiteral("HTTP 503"))
{
    return Of(Behaviour::Kind::Fail, 0, 0, why);
}
Behaviour Answers(double last, int delayMs = 0)
{
    return Of(Behaviour::Kind::Answer, last, delayMs);
}
Behaviour PriceOnly(double last, int delayMs = 0)
{
    Behaviour b = Of(Behaviour::Kind::Answer, last, delayMs);
    b.slowFigures = false;
    return b;
}
Behaviour NotFound()
{
    return Of(Behaviour::Kind::NotFound);
}
Behaviour Silent()
{
    return Of(Behaviour::Kind::Silent);
}

ServedQuote PlainFormat(const LiveQuote& q, std::int64_t)
{
    ServedQuote s;
    s.last = QByteArray::number(q.last.value_or(0), 'f', 2);
    s.timeText = "10:42am";
    return s;
}

// One GET over a fresh connection; the status and body once it has closed (bounded).
struct Got {
    int status = 0;
    QByteArray body;
    qint64 ms = 0;
};

} // namespace

Q_DECLARE_METATYPE(Behaviour)

class TestGateway final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void symbolFilter_data();
    void symbolFilter();
    void chainOrder_data();
    void chainOrder();
    void fills_data();
    void fills();
    void fillGoesBesideOnceAGapIsKnown();
    void pruningComesBackToEntriesInFlight();
    void cacheAsksOncePerPeriod();
    void breakerSkipsAFailingSource();
    void staleThenFailed();
    void silentSourceTimesOut();
    void secretNeverInNote();
    void failuresTogetherAreOneInARow();
    void probeAfterThePause();
    void notFoundDoesNotBeatStale();
    void notesSayWhatHappened();
    void oldSymbolsAreForgotten();
    void busyServerKeepsNewcomersWaiting();
    void serverRefusesOddSymbolsAndFailsWith502_data();
    void serverRefusesOddSymbolsAndFailsWith502();
};

void TestGateway::symbolFilter_data()
{
    QTest::addColumn<QByteArray>("symbol");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("plain") << QByteArray("MSFT") << true;
    QTest::newRow("class share") << QByteArray("BRK.B") << true;
    QTest::newRow("index") << QByteArray("^GSPC") << true;
    QTest::newRow("currency") << QByteArray("EURUSD=X") << true;
    QTest::newRow("dash and digits") << QByteArray("RDS-A1") << true;
    QTest::newRow("twenty") << QByteArray(20, 'A') << true;
    QTest::newRow("twenty-one") << QByteArray(21, 'A') << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("slash") << QByteArray("A/B") << false;
    QTest::newRow("ampersand") << QByteArray("A&symbols=B") << false;
    QTest::newRow("space") << QByteArray("A B") << false;
    QTest::newRow("percent") << QByteArray("A%2F") << false;
    QTest::newRow("high byte") << QByteArray("A\xe9") << false;
    QTest::newRow("dot dot slash") << QByteArray("../x") << false;
}

void TestGateway::symbolFilter()
{
    QFETCH(QByteArray, symbol);
    QFETCH(bool, allowed);
    QCOMPARE(IsAllowedSymbol(symbol), allowed);
}

void TestGateway::chainOrder_data()
{
    QTest::addColumn<Behaviour>("first");
    QTest::addColumn<Behaviour>("second");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<double>("last");
    QTest::addColumn<int>("secondCalls");
    QTest::addColumn<QString>("noteHas");

    QTest::newRow("first answers") << Answers(11) << Answers(22) << int(GatewayOutcome::Live) << 11.0 << 0
                                   << QStringLiteral("one");
    QTest::newRow("first fails, second answers")
        << Fails(QStringLiteral("HTTP 429")) << Answers(22) << int(GatewayOutcome::Live) << 22.0 << 1
        << QStringLiteral("two after one: HTTP 429");
    QTest::newRow("first does not know it") << NotFound() << Answers(22) << int(GatewayOutcome::Live) << 22.0
                                            << 1 << QStringLiteral("one: not found");
    QTest::newRow("both fail") << Fails(QStringLiteral("time-out")) << Fails(QStringLiteral("bad JSON"))
                               << int(GatewayOutcome::Failed) << 0.0 << 1
                               << QStringLiteral("one: time-out; two: bad JSON");
    QTest::newRow("neither knows it") << NotFound() << NotFound() << int(GatewayOutcome::NotFound) << 0.0 << 1
                                      << QStringLiteral("two: not found");
    QTest::newRow("one fails, the other does not know it")
        << Fails() << NotFound() << int(GatewayOutcome::NotFound) << 0.0 << 1
        << QStringLiteral("one: HTTP 503");
}

void TestGateway::chainOrder()
{
    QFETCH(Behaviour, first);
    QFETCH(Behaviour, second);
    QFETCH(int, outcome);
    QFETCH(double, last);
    QFETCH(int, secondCalls);
    QFETCH(QString, noteHas);

    Rig rig({ QStringLiteral("one"), QStringLiteral("two") });
    rig.sources[0]->fallback = first;
    rig.sources[1]->fallback = second;
    const GatewayAnswer a = rig.ask();
    QCOMPARE(int(a.outcome), outcome);
    QVERIFY2(a.note.contains(noteHas), qPrintable(a.note));
    QCOMPARE(rig.sources[0]->total(), 1);
    QCOMPARE(rig.sources[1]->total(), secondCalls);
    if (outcome == int(GatewayOutcome::Live))
        QCOMPARE(a.quote.last.value_or(-1), last);
}

void TestGateway::fills_data()
{
    QTest::addColumn<Behaviour>("first");
    QTest::addColumn<Behaviour>("second");
    QTest::addColumn<QByteArray>("unspellable"); // "1", "2", "12": the sources with no spelling
    QTest::addColumn<int>("outcome");
    QTest::addColumn<double>("priceEarnings"); // -1: none
    QTest::addColumn<int>("secondCalls");
    QTest::addColumn<QString>("note");

    const int live = int(GatewayOutcome::Live);
    const int notFound = int(GatewayOutcome::NotFound);
    QTest::newRow("price alone, filled by the next")
        << PriceOnly(11) << Answers(22) << QByteArray() << live << 22.0 << 1
        << QStringLiteral("one; two filled 4 figures");
    QTest::newRow("price alone, the next fails")
        << PriceOnly(11) << Fails() << QByteArray() << live << -1.0 << 1 << QStringLiteral("one");
    QTest::newRow("price alone, the next says nothing: the price goes without")
        << PriceOnly(11) << Silent() << QByteArray() << live << -1.0 << 1 << QStringLiteral("one");
    QTest::newRow("price alone, the next cannot spell it")
        << PriceOnly(11) << Answers(22) << QByteArray("2") << live << -1.0 << 0 << QStringLiteral("one");
    QTest::newRow("the first cannot spell it, the second does not know it") << Answers(
        11) << NotFound() << QByteArray("1") << notFound << -1.0 << 1 << QStringLiteral("two: not found");
    QTest::newRow("the only one that can spell it fails")
        << Answers(11) << Fails() << QByteArray("1") << int(GatewayOutcome::Failed) << -1.0 << 1
        << QStringLiteral("every source failed: two: HTTP 503");
    QTest::newRow("no source can spell it") << Answers(11) << Answers(22) << QByteArray("12") << notFound
                                            << -1.0 << 0 << QStringLiteral("no source has a spelling for it");
}

void TestGateway::fills()
{
    QFETCH(Behaviour, first);
    QFETCH(Behaviour, second);
    QFETCH(QByteArray, unspellable);
    QFETCH(int, outcome);
    QFETCH(double, priceEarnings);
    QFETCH(int, secondCalls);
    QFETCH(QString, note);

    Rig rig({ QStringLiteral("one"), QStringLiteral("two") }, { .fillWaitMs = 300 });
    rig.sources[0]->fallback = first;
    rig.sources[1]->fallback = second;
    for (int i = 0; i < 2; ++i) {
        if (unspellable.contains(char('1' + i)))
            rig.sources[i]->unspellable << "^XQ";
    }
    const GatewayAnswer a = rig.ask("^XQ");
    QCOMPARE(int(a.outcome), outcome);
    QCOMPARE(a.note, note);
    QCOMPARE(rig.sources[0]->total(), unspellable.contains('1') ? 0 : 1);
    QCOMPARE(rig.sources[1]->total(), secondCalls);
    if (outcome == int(GatewayOutcome::Live)) {
        QCOMPARE(a.quote.last.value_or(-1), 11.0); // the price is always the first source's
        QCOMPARE(a.quote.priceEarnings.value_or(-1), priceEarnings);
    }
}

void TestGateway::fillGoesBesideOnceAGapIsKnown()
{
    Rig rig({ QStringLiteral("one"), QStringLiteral("two") });
    rig.sources[0]->fallback = PriceOnly(11, 300);
    rig.sources[1]->fallback = Answers(22, 300);
    QCOMPARE(rig.ask("A").quote.beta.value_or(-1), 1.1); // after the price: the gap was not known
    std::optional<GatewayAnswer> b;
    rig.gateway->quote("US", "B", [&b](const GatewayAnswer& got) { b = got; });
    QTest::qWait(100);
    QCOMPARE(rig.sources[1]->calls["US:B"], 1); // beside the first source, before it answered
    QTRY_VERIFY_WITH_TIMEOUT(b.has_value(), 5000);
    QCOMPARE(b->quote.beta.value_or(-1), 1.1);
    // past the cache time the price is asked again; the filled figures are still kept
    rig.nowMs += 61'000;
    const GatewayAnswer again = rig.ask("A");
    QCOMPARE(rig.sources[0]->calls["US:A"], 2);
    QCOMPARE(rig.sources[1]->calls["US:A"], 1);
    QCOMPARE(again.quote.beta.value_or(-1), 1.1);
    QVERIFY2(again.note.contains(QLatin1String("two filled 4 figures")), qPrintable(again.note));
}

void TestGateway::pruningComesBackToEntriesInFlight()
{
    Rig rig({ QStringLiteral("one") }, { .cacheSeconds = 60, .staleSeconds = 60 });
    rig.sources[0]->fallback = Answers(3);
    rig.sources[0]->behaviour["US:SLOW"] = Answers(3, 300);
    std::optional<GatewayAnswer> slow;
    rig.gateway->quote("US", "SLOW", [&slow](const GatewayAnswer& got) { slow = got; });
    rig.nowMs += 61'000;
    rig.ask("A"); // SLOW is old but in flight: it stays
    QCOMPARE(rig.gateway->cachedSymbols(), qsizetype(2));
    QTRY_VERIFY_WITH_TIMEOUT(slow.has_value(), 5000);
    rig.ask("B"); // once answered, its turn comes again: A and B are left
    QCOMPARE(rig.gateway->cachedSymbols(), qsizetype(2));
}

void TestGateway::cacheAsksOncePerPeriod()
{
    GatewaySettings settings;
    settings.cacheSeconds = 60;
    Rig rig({ QStringLiteral("one") }, settings);
    rig.sources[0]->fallback = Answers(5);
    QCOMPARE(int(rig.ask().outcome), int(GatewayOutcome::Live));
    for (const int later : { 0, 10'000, 59'999 }) {
        rig.nowMs += later ? later - (rig.nowMs - 1'000'000) : 0;
        const GatewayAnswer a = rig.ask();
        QCOMPARE(int(a.outcome), int(GatewayOutcome::Cached));
        QCOMPARE(a.quote.last.value_or(-1), 5.0);
    }
    QCOMPARE(rig.sources[0]->total(), 1);
    rig.ask("IBM"); // another symbol has a cache time of its own
    QCOMPARE(rig.sources[0]->calls["US:IBM"], 1);
    rig.nowMs = 1'000'000 + 60'000;
    rig.sources[0]->fallback = Answers(6);
    const GatewayAnswer renewed = rig.ask();
    QCOMPARE(int(renewed.outcome), int(GatewayOutcome::Live));
    QCOMPARE(renewed.quote.last.value_or(-1), 6.0);
    QCOMPARE(rig.sources[0]->calls["US:MSFT"], 2);
    // a symbol asked in lower case is the same symbol
    QCOMPARE(int(rig.ask("msft").outcome), int(GatewayOutcome::Cached));
    QCOMPARE(rig.sources[0]->calls["US:MSFT"], 2);
}

void TestGateway::breakerSkipsAFailingSource()
{
    GatewaySettings settings;
    settings.cacheSeconds = 0; // every request goes upstream
    Rig rig({ QStringLiteral("one"), QStringLiteral("two") }, settings);
    rig.sources[0]->fallback = Fails();
    rig.sources[1]->fallback = Answers(3);
    for (int i = 0; i < 3; ++i) {
        rig.nowMs += 1000;
        QCOMPARE(int(rig.ask().outcome), int(GatewayOutcome::Live));
    }
    QCOMPARE(rig.sources[0]->total(), 3);
    rig.nowMs += 1000;
    const GatewayAnswer skipped = rig.ask();
    QVERIFY2(skipped.note.contains(QStringLiteral("one: skipped")), qPrintable(skipped.note));
    rig.nowMs += 58'000;
    rig.ask();
    QCOMPARE(rig.sources[0]->total(), 3); // left out for a minute
    QCOMPARE(rig.sources[1]->total(), 5);

    // after the minute it is asked again; one success closes the breaker for good
    rig.nowMs += 2000;
    rig.sources[0]->fallback = Answers(4);
    QCOMPARE(rig.ask().quote.last.value_or(-1), 4.0);
    rig.sources[0]->fallback = Fails();
    for (int i = 0; i < 2; ++i) {
        rig.nowMs += 1000;
        rig.ask();
    }
    QCOMPARE(rig.sources[0]->total(), 6); // two failures: not yet three in a row
}

void TestGateway::staleThenFailed()
{
    GatewaySettings settings;
    settings.cacheSeconds = 60;
    settings.staleSeconds = 900;
    Rig rig({ QStringLiteral("one"), QStringLiteral("two") }, settings);
    rig.sources[0]->fallback = Answers(8);
    rig.sources[1]->fallback = Fails();
    QCOMPARE(int(rig.ask().outcome), int(GatewayOutcome::Live));

    rig.sources[0]->fallback = Fails(QStringLiteral("HTTP 429"));
    rig.nowMs += 61'000;
    const GatewayAnswer stale = rig.ask();
    QCOMPARE(int(stale.outcome), int(GatewayOutcome::Stale));
    QCOMPARE(stale.quote.last.value_or(-1), 8.0);
    QVERIFY2(stale.note.contains(QStringLiteral("HTTP 429")), qPrintable(stale.note));
    // within the cache time after a failed round the providers are left alone, the stale quote stands
    rig.nowMs += 30'000;
    QCOMPARE(int(rig.ask().outcome), int(GatewayOutcome::Stale));
    QCOMPARE(rig.sources[0]->total(), 2);

    rig.nowMs = 1'000'000 + 900'000 + 1;
    const GatewayAnswer failed = rig.ask();
    QCOMPARE(int(failed.outcome), int(GatewayOutcome::Failed));
    QVERIFY(failed.note.startsWith(QStringLiteral("every source failed")));

    // a provider that says the symbol is gone drops the old quote at once
    Rig gone({ QStringLiteral("one") }, settings);
    gone.sources[0]->fallback = Answers(9);
    gone.ask();
    gone.sources[0]->fallback = NotFound();
    gone.nowMs += 61'000;
    QCOMPARE(int(gone.ask().outcome), int(GatewayOutcome::NotFound));
}

void TestGateway::silentSourceTimesOut()
{
    GatewaySettings settings;
    settings.answerMs = 200;
    Rig rig({ QStringLiteral("one"), QStringLiteral("two") }, settings);
    rig.sources[0]->fallback = Silent();
    rig.sources[1]->fallback = Answers(12);
    QElapsedTimer timer;
    timer.start();
    const GatewayAnswer a = rig.ask();
    QCOMPARE(a.quote.last.value_or(-1), 12.0);
    QVERIFY2(a.note.contains(QStringLiteral("one: no answer in time")), qPrintable(a.note));
    QVERIFY(timer.elapsed() >= 180);
}

void TestGateway::secretNeverInNote()
{
    Rig rig({ QStringLiteral("one") });
    rig.gateway->setSecret(QStringLiteral("s3cr3tT0ken"));
    rig.sources[0]->fallback
        = Fails(QStringLiteral("HTTP 401 for /api/v1/quote?symbol=MSFT&token=s3cr3tT0ken"));
    const GatewayAnswer a = rig.ask();
    QVERIFY(!a.note.contains(QStringLiteral("s3cr3tT0ken")));
    QVERIFY2(a.note.contains(QStringLiteral("HTTP 401")), qPrintable(a.note));
}

void TestGateway::failuresTogetherAreOneInARow()
{
    Rig rig({ QStringLiteral("one"), QStringLiteral("two") }, { .cacheSeconds = 0 });
    rig.sources[0]->fallback = Of(Behaviour::Kind::Fail, 0, 100, QStringLiteral("no answer within 10 s"));
    rig.sources[1]->fallback = Answers(2);
    // three hard symbols time out together: one piece of evidence, not three
    int answered = 0;
    for (const char* symbol : { "H1", "H2", "H3" })
        rig.gateway->quote("US", symbol, [&answered](const GatewayAnswer&) { ++answered; });
    QTRY_COMPARE_WITH_TIMEOUT(answered, 3, 5000);
    rig.sources[0]->fallback = Answers(1);
    const GatewayAnswer next = rig.ask("EASY");
    QVERIFY2(!next.note.contains(QStringLiteral("skipped")), qPrintable(next.note));
    QCOMPARE(next.quote.last.value_or(-1), 1.0);
}

void TestGateway::probeAfterThePause()
{
    Rig rig({ QStringLiteral("one") }, { .cacheSeconds = 60, .breakerSeconds = 30 });
    rig.sources[0]->fallback = Fails();
    for (const char* symbol : { "A", "B", "C" }) {
        rig.nowMs += 1000;
        rig.ask(symbol);
    }
    rig.nowMs += 1000;
    QVERIFY(rig.ask("X").note.contains(QStringLiteral("skipped"))); // open: X is not asked
    QCOMPARE(rig.sources[0]->calls["US:X"], 0);

    // the pause is over and the source is back: one probe goes through while the other waits
    rig.nowMs += 30'000;
    rig.sources[0]->fallback = Answers(7, 200);
    std::optional<GatewayAnswer> probe, beside;
    rig.gateway->quote("US", "X", [&probe](const GatewayAnswer& a) { probe = a; });
    rig.gateway->quote("US", "Y", [&beside](const GatewayAnswer& a) { beside = a; });
    QTRY_VERIFY_WITH_TIMEOUT(probe && beside, 5000);
    QCOMPARE(int(probe->outcome), int(GatewayOutcome::Live)); // X asked again at once, not a cache time later
    QCOMPARE(int(beside->outcome), int(GatewayOutcome::Failed));
    QCOMPARE(rig.sources[0]->calls["US:Y"], 0);
    // its answer closed the breaker: Y is asked as soon as the source may be
    rig.nowMs += 1000;
    QCOMPARE(int(rig.ask("Y").outcome), int(GatewayOutcome::Live));
    QCOMPARE(rig.sources[0]->calls["US:Y"], 1);
}

void TestGateway::notFoundDoesNotBeatStale()
{
    Rig rig({ QStringLiteral("one"), QStringLiteral("two") }, { .cacheSeconds = 60 });
    rig.sources[0]->fallback = Answers(8);
    rig.ask();
    // the source that had it fails; the other does not cover it
    rig.sources[0]->fallback = Fails();
    rig.sources[1]->fallback = NotFound();
    for (int i = 0; i < 2; ++i) {
        rig.nowMs += 61'000;
        const GatewayAnswer a = rig.ask();
        QCOMPARE(int(a.outcome), int(GatewayOutcome::Stale));
        QCOMPARE(a.quote.last.value_or(-1), 8.0); // and the stale copy is still there the next time
    }
}

void TestGateway::notesSayWhatHappened()
{
    Rig rig({ QStringLiteral("one") });
    rig.sources[0]->behaviour["US:GONE"] = NotFound();
    const GatewayAnswer gone = rig.ask("GONE");
    QCOMPARE(int(gone.outcome), int(GatewayOutcome::NotFound));
    QCOMPARE(gone.note, QStringLiteral("one: not found")); // fresh, so not "cached"
    QVERIFY(rig.ask("GONE").note.startsWith(QStringLiteral("cached")));

    Behaviour chart = Answers(4);
    chart.note = QStringLiteral("the chart's reduced figures, as quote: HTTP 429");
    rig.sources[0]->behaviour["US:CHRT"] = chart;
    QCOMPARE(rig.ask("CHRT").note, QStringLiteral("one (the chart's reduced figures, as quote: HTTP 429)"));
}

void TestGateway::oldSymbolsAreForgotten()
{
    Rig rig({ QStringLiteral("one") }, { .cacheSeconds = 60, .staleSeconds = 900 });
    rig.sources[0]->fallback = Answers(3);
    rig.ask("A");
    rig.ask("B");
    rig.nowMs += 900'001;
    rig.ask("C");
    QCOMPARE(rig.gateway->cachedSymbols(), qsizetype(1)); // past any use, A and B are gone
    rig.nowMs += 60'000;
    rig.ask("C"); // asked again: it stays
    rig.nowMs += 850'000;
    rig.ask("D");
    QCOMPARE(rig.gateway->cachedSymbols(), qsizetype(2));
}

namespace {

// An in-process service over stand-in sources.
struct ServerRig {
    ServiceOptions options;
    SecurityCatalogue catalogue;
    Rig rig;
    std::unique_ptr<QuoteServer> server;
    quint16 port = 0;

    explicit ServerRig(const QStringList& names, int maxConnections = 256)
        : rig(names)
    {
        options.port = 0;
        options.quiet = true;
        options.maxConnections = maxConnections;
        rig.gateway->setClock([] { return QDateTime::currentMSecsSinceEpoch(); });
        server = std::make_unique<QuoteServer>(options, catalogue, rig.gateway.get(), &PlainFormat);
        port = server->listen();
    }
};

// Starts a GET; the socket collects the answer until the server closes it.
std::unique_ptr<QTcpSocket> StartGet(quint16 port, const QByteArray& target)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, port);
    socket->write("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    return socket;
}

Got Finish(QTcpSocket& socket, const QElapsedTimer& since, int timeoutMs = 5000)
{
    QByteArray all;
    QDeadlineTimer deadline(timeoutMs);
    while (socket.state() != QAbstractSocket::UnconnectedState && !deadline.hasExpired()) {
        QTest::qWait(5);
        all += socket.readAll();
    }
    all += socket.readAll();
    Got got;
    got.ms = since.elapsed();
    const qsizetype end = all.indexOf("\r\n\r\n");
    if (!all.startsWith("HTTP/1.1 ") || end < 0)
        return got;
    got.status = all.mid(9, 3).toInt();
    got.body = all.mid(end + 4);
    return got;
}

} // namespace

void TestGateway::busyServerKeepsNewcomersWaiting()
{
    ServerRig s({ QStringLiteral("one") }, 2);
    s.rig.sources[0]->fallback = Answers(3, 800);
    QElapsedTimer timer;
    timer.start();
    auto first = StartGet(s.port, "/detail/stock_quote?Symbol=US:AA");
    auto second = StartGet(s.port, "/detail/stock_quote?Symbol=US:BB");
    QTRY_COMPARE_WITH_TIMEOUT(s.rig.sources[0]->total(), 2, 5000);
    // both connections wait for their answers: neither is dropped for the newcomer, which waits
    // in the kernel's backlog and is answered once one of them is done
    auto third = StartGet(s.port, "/detail/stock_quote?Symbol=US:CC");
    QTest::qWait(300);
    QCOMPARE(s.server->http().connectionCount(), qsizetype(2));
    QCOMPARE(s.rig.sources[0]->total(), 2);
    const Got waited = Finish(*third, timer);
    QCOMPARE(waited.status, 200);
    QVERIFY2(waited.ms >= 700, qPrintable(QString::number(waited.ms)));
    QCOMPARE(Finish(*first, timer).status, 200);
    QCOMPARE(Finish(*second, timer).status, 200);
    QCOMPARE(s.rig.sources[0]->total(), 3);
    QTRY_COMPARE_WITH_TIMEOUT(s.server->http().connectionCount(), qsizetype(0), 2000);
}

void TestGateway::serverRefusesOddSymbolsAndFailsWith502_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("bodyHas"); // empty: the body must be empty
    QTest::addColumn<int>("upstreamCalls");
    QTest::newRow("answered") << QByteArray("/detail/stock_quote?Symbol=US:MSFT") << 200
                              << QByteArray("one Corp") << 1;
    QTest::newRow("every source fails")
        << QByteArray("/detail/stock_quote?Symbol=US:BROKEN") << 502 << QByteArray() << 1;
    QTest::newRow("unknown to the provider")
        << QByteArray("/detail/stock_quote?Symbol=US:GONE") << 200 << QByteArray("Symbol not found") << 1;
    QTest::newRow("encoded slash") << QByteArray("/detail/stock_quote?Symbol=US:A%2FB") << 200
                                   << QByteArray("Symbol not found") << 0;
    QTest::newRow("query smuggled in") << QByteArray("/detail/stock_quote?Symbol=US:A%26crumb%3Dx") << 200
                                       << QByteArray("Symbol not found") << 0;
    QTest::newRow("too long") << QByteArray("/detail/stock_quote?Symbol=US:ABCDEFGHIJKLMNOPQRSTU") << 200
                              << QByteArray("Symbol not found") << 0;
    QTest::newRow("no country") << QByteArray("/detail/stock_quote?Symbol=MSFT") << 200
                                << QByteArray("Symbol not found") << 0;
    QTest::newRow("long country") << QByteArray("/detail/stock_quote?Symbol=USA:MSFT") << 200
                                  << QByteArray("Symbol not found") << 0;
    QTest::newRow("no symbol") << QByteArray("/detail/stock_quote") << 200 << QByteArray("Symbol not found")
                               << 0;
    QTest::newRow("another path") << QByteArray("/v7/finance/quote?symbols=MSFT") << 404 << QByteArray("404")
                                  << 0;
}

void TestGateway::serverRefusesOddSymbolsAndFailsWith502()
{
    QFETCH(QByteArray, target);
    QFETCH(int, status);
    QFETCH(QByteArray, bodyHas);
    QFETCH(int, upstreamCalls);
    ServerRig s({ QStringLiteral("one") });
    s.rig.sources[0]->behaviour["US:BROKEN"] = Fails();
    s.rig.sources[0]->behaviour["US:GONE"] = NotFound();
    QElapsedTimer timer;
    timer.start();
    auto socket = StartGet(s.port, target);
    const Got got = Finish(*socket, timer);
    QCOMPARE(got.status, status);
    if (bodyHas.isEmpty())
        QVERIFY(got.body.isEmpty());
    else
        QVERIFY2(got.body.contains(bodyHas), got.body.left(300).constData());
    QCOMPARE(s.rig.sources[0]->total(), upstreamCalls);
}

QTEST_GUILESS_MAIN(TestGateway)
#include "tst_gateway.moc"
