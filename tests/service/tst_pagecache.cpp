// Kept quote pages: a changed quote is never served from the old bytes, whichever backend made it.
#include "gateway/gateway.h"
#include "gateway/livefigures.h"
#include "market/market.h"
#include "page/pagerender.h"
#include "quotebackend.h"

#include <QTest>

namespace {

// Answers at once with whatever quote the test holds now.
class HeldSource final : public QuoteSource {
public:
    explicit HeldSource(LiveQuote* held)
        : m_held(held)
    {
    }
    QString name() const override { return QStringLiteral("held"); }
    void fetch(const QByteArray&, const QByteArray&, Done done) override
    {
        SourceResult result;
        result.quote = *m_held;
        done(result);
    }

private:
    LiveQuote* m_held;
};

QByteArray Ask(QuoteBackend& backend, const QString& countrySymbol)
{
    QByteArray body;
    bool answered = false;
    backend.page(countrySymbol, 0, [&](const QuoteAnswer& answer) {
        body = answer.body;
        answered = true;
    });
    (void)QTest::qWaitFor([&answered] { return answered; }, 2000);
    return body; // empty when unanswered, which no comparison takes for a page
}

enum class Change { None, Last, Name };

} // namespace

class TestPageCache final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void simulated_data();
    void simulated();
    void live_data();
    void live();
};

void TestPageCache::simulated_data()
{
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("second");
    QTest::addColumn<bool>("sameBytes"); // served from the kept bytes, not a copy

    const qint64 trading = 1709653320; // Tuesday 2024-03-05 10:42 Eastern
    QTest::newRow("same minute") << trading << trading + 17 << true;
    QTest::newRow("next minute in the session") << trading << trading + 60 << false;
    QTest::newRow("next day") << trading << trading + 86400 << false;
    // After the close the figures stand still: a new minute, the same page, kept.
    QTest::newRow("next minute after the close") << trading + 8 * 3600 << trading + 8 * 3600 + 60 << true;
}

void TestPageCache::simulated()
{
    QFETCH(qint64, first);
    QFETCH(qint64, second);
    QFETCH(bool, sameBytes);
    SecurityCatalogue catalogue;
    catalogue.load({ QStringLiteral(KOLPEX_DATA_DIR) });
    const Security* security = catalogue.find(QStringLiteral("US:MSFT"));
    QVERIFY(security);
    qint64 now = first;
    const auto backend = MakeSimulatedBackend(catalogue, [&now] { return std::int64_t(now); });
    const QByteArray before = Ask(*backend, QStringLiteral("US:MSFT"));
    now = second;
    const QByteArray after = Ask(*backend, QStringLiteral("us:msft"));
    QCOMPARE(after, RenderQuotePage(MarkedSimulated(*security), SimulateQuote(*security, second)));
    QCOMPARE(after.constData() == before.constData(), sameBytes);
}

void TestPageCache::live_data()
{
    QTest::addColumn<int>("change");
    QTest::newRow("unchanged quote: the kept bytes") << int(Change::None);
    QTest::newRow("a new price") << int(Change::Last);
    QTest::newRow("a new company name") << int(Change::Name);
}

void TestPageCache::live()
{
    QFETCH(int, change);
    LiveQuote held;
    held.last = 101.25;
    held.change = 1.25;
    held.name = "Tarrindel Instruments, Inc.";
    held.time = 1709653320;
    std::vector<std::unique_ptr<QuoteSource>> sources;
    sources.push_back(std::make_unique<HeldSource>(&held));
    GatewaySettings settings;
    settings.cacheSeconds = 0; // every request asks the source
    QuoteGateway gateway(std::move(sources), settings);
    std::int64_t gatewayMs = 0;
    gateway.setClock([&gatewayMs] { return gatewayMs; });
    SecurityCatalogue catalogue;
    const std::int64_t now = 1709653340;
    const auto backend = MakeLiveBackend(gateway, catalogue, &FormatLiveQuote, [now] { return now; });

    const QByteArray before = Ask(*backend, QStringLiteral("US:TRDL"));
    if (Change(change) == Change::Last)
        held.last = 101.26;
    else if (Change(change) == Change::Name)
        held.name = "Tarrindel Instruments plc";
    gatewayMs += 1000;
    const QByteArray after = Ask(*backend, QStringLiteral("US:TRDL"));
    Security security { "US", "TRDL", held.name, {} };
    QCOMPARE(after, RenderQuotePage(security, FormatLiveQuote(held, now)));
    QCOMPARE(after.constData() == before.constData(), Change(change) == Change::None);
}

QTEST_GUILESS_MAIN(TestPageCache)
#include "tst_pagecache.moc"
