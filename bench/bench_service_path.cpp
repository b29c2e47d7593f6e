// The critical path of a live quote: how many upstream round trips a symbol the service has not
// seen costs, against providers on loopback that answer every request after a fixed delay. From
// cold the session is bought first (cookie, then crumb); once it exists only the figures. The
// same fetch against a provider twice as slow tells the round trips apart from what the client
// costs on its own (a new client's first request sets up its network manager): the difference is
// the round trips times the delay.
//
// The fill: Yahoo refusing its quote and summary APIs but answering its chart, beside a CNBC with
// every figure, through the gateway; against Yahoo alone, the difference is what the fill costs on
// the critical path. The stall: an unrelated symbol asked beside 60 or 100 whose answers never come.
#include "../tests/support/routedprovider.h"
#include "gateway/gateway.h"
#include "gateway/sources/cnbc.h"
#include "gateway/sources/yahoo.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>
#include <functional>
#include <memory>
#include <optional>

namespace {

constexpr int kDelayMs = 40; // the faster provider's answer time, far above loopback's own

const QByteArray kQuote
    = R"({"quoteResponse":{"result":[{"regularMarketPrice":187.42,"regularMarketPreviousClose":185.04,"longName":"Tarrindel Instruments, Inc."}],"error":null}})";
const QByteArray kSummary
    = R"({"quoteSummary":{"result":[{"defaultKeyStatistics":{"beta":{"raw":1.26}}}],"error":null}})";

// A provider answering after delayMs, and the context of a source that goes to it.
struct Provider {
    explicit Provider(int delayMs)
    {
        using Mode = RoutedProvider::Mode;
        routes.on("/", { { 404, {}, "Set-Cookie: A3=d=bench; Path=/\r\n", Mode::Whole, delayMs } });
        routes.on("/v1/test/getcrumb", { { 200, "crumb", {}, Mode::Whole, delayMs } });
        routes.on("/v7/finance/quote", { { 200, kQuote, {}, Mode::Whole, delayMs } });
        routes.on("/v10/finance/quoteSummary/*", { { 200, kSummary, {}, Mode::Whole, delayMs } });
        context.upstream = routes.url();
    }
    RoutedProvider routes;
    SourceContext context;
};

// One new symbol fetched, waited for; its milliseconds, or -1 when it did not come to a quote.
double FetchMs(YahooSource& yahoo, const QByteArray& symbol)
{
    std::optional<SourceResult> got;
    QElapsedTimer timer;
    timer.start();
    yahoo.fetch("US", symbol, [&got](SourceResult r) { got = std::move(r); });
    const QDeadlineTimer deadline(10'000);
    while (!got && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return got && got->quote && got->quote->beta ? double(timer.nsecsElapsed()) / 1e6 : -1;
}

// Each new symbol is fetched beside a provider kDelayMs away and one twice as far: the difference
// over the delay is the round trips it costs. fetchMs(symbol, slowOne) gives -1 without a quote;
// beforeEach, when given, runs before each symbol's pair of fetches.
void CountRoundTrips(benchmark::State& state, const std::function<double(const QByteArray&, bool)>& fetchMs,
    const std::function<void()>& beforeEach = {})
{
    double fastMs = 0, slowMs = 0;
    int fetches = 0;
    for (auto _ : state) {
        if (beforeEach)
            beforeEach();
        const QByteArray symbol = "S" + QByteArray::number(fetches++);
        const double a = fetchMs(symbol, false);
        const double b = fetchMs(symbol, true);
        if (a < 0 || b < 0)
            state.SkipWithError("no quote");
        fastMs += a;
        slowMs += b;
    }
    state.counters["ms_per_symbol"] = fastMs / fetches;
    state.counters["round_trips"] = (slowMs - fastMs) / fetches / kDelayMs;
}

// New symbols, each fetched from both providers. With a session the quote and its summary; from
// cold each source is new, so the session is bought first.
void MeasureNewSymbols(benchmark::State& state, bool fromCold)
{
    Provider fast(kDelayMs), slow(2 * kDelayMs);
    std::optional<YahooSource> toFast, toSlow;
    const auto newSources = [&] {
        toFast.emplace(fast.context);
        toSlow.emplace(slow.context);
    };
    newSources();
    if (!fromCold && (FetchMs(*toFast, "WARM") < 0 || FetchMs(*toSlow, "WARM") < 0))
        state.SkipWithError("no quote");
    const auto fetchMs = [&](const QByteArray& symbol, bool slowOne) {
        return FetchMs(slowOne ? *toSlow : *toFast, symbol);
    };
    CountRoundTrips(state, fetchMs, [&] {
        if (fromCold)
            newSources();
    });
}

void BM_NewSymbolWithASession(benchmark::State& state)
{
    MeasureNewSymbols(state, false);
}
BENCHMARK(BM_NewSymbolWithASession)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_NewSymbolFromCold(benchmark::State& state)
{
    MeasureNewSymbols(state, true);
}
BENCHMARK(BM_NewSymbolFromCold)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

const QByteArray kRefused
    = R"({"finance":{"result":null,"error":{"code":"Unauthorized","description":"User is unable to access this feature"}}})";
const QByteArray kChart
    = R"({"chart":{"result":[{"meta":{"currency":"USD","regularMarketPrice":187.42,"chartPreviousClose":185.04,"priceHint":2}}],"error":null}})";
const QByteArray kCnbc
    = R"({"FormattedQuoteResult":{"FormattedQuote":[{"code":0,"last":"187.42","pe":"29.14","eps":"6.43","mktcapView":"2.85T","beta":"1.26","currencyCode":"USD"}]}})";

// Yahoo as many users meet it now (the chart only), and CNBC, both answering after delayMs.
struct RefusingYahooAndCnbc {
    explicit RefusingYahooAndCnbc(int delayMs)
    {
        using Mode = RoutedProvider::Mode;
        yahoo.on("/", { { 404, {}, "Set-Cookie: A3=d=bench; Path=/\r\n", Mode::Whole, delayMs } });
        yahoo.on("/v1/test/getcrumb", { { 200, "crumb", {}, Mode::Whole, delayMs } });
        yahoo.on("/v7/finance/quote", { { 401, kRefused, {}, Mode::Whole, delayMs } });
        yahoo.on("/v10/finance/quoteSummary/*", { { 401, kRefused, {}, Mode::Whole, delayMs } });
        yahoo.on("/v8/finance/chart/*", { { 200, kChart, {}, Mode::Whole, delayMs } });
        cnbc.on("/quote-html-webservice/restQuote/symbolType/symbol",
            { { 200, kCnbc, {}, Mode::Whole, delayMs } });
    }
    std::unique_ptr<QuoteGateway> gateway(bool withCnbc)
    {
        SourceContext toYahoo, toCnbc;
        toYahoo.upstream = yahoo.url();
        toCnbc.upstream = cnbc.url();
        std::vector<std::unique_ptr<QuoteSource>> sources;
        sources.push_back(std::make_unique<YahooSource>(toYahoo));
        if (withCnbc)
            sources.push_back(std::make_unique<CnbcSource>(toCnbc));
        return std::make_unique<QuoteGateway>(std::move(sources), GatewaySettings {});
    }
    RoutedProvider yahoo, cnbc;
};

// One new symbol through the gateway; its milliseconds, or -1 without a price (or, when filled,
// without the filled P/E).
double GatewayMs(QuoteGateway& gateway, const QByteArray& symbol, bool filled)
{
    std::optional<GatewayAnswer> got;
    QElapsedTimer timer;
    timer.start();
    gateway.quote("US", symbol, [&got](const GatewayAnswer& a) { got = a; });
    const QDeadlineTimer deadline(10'000);
    while (!got && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    const bool ok = got && got->quote.last && (!filled || got->quote.priceEarnings);
    return ok ? double(timer.nsecsElapsed()) / 1e6 : -1;
}

// The chart's price alone, or filled by CNBC: new symbols once the gateway knows Yahoo's gap.
void MeasureChart(benchmark::State& state, bool withCnbc)
{
    RefusingYahooAndCnbc fast(kDelayMs), slow(2 * kDelayMs);
    const auto toFast = fast.gateway(withCnbc);
    const auto toSlow = slow.gateway(withCnbc);
    if (GatewayMs(*toFast, "WARM", withCnbc) < 0 || GatewayMs(*toSlow, "WARM", withCnbc) < 0)
        state.SkipWithError("no quote");
    CountRoundTrips(state, [&](const QByteArray& symbol, bool slowOne) {
        return GatewayMs(slowOne ? *toSlow : *toFast, symbol, withCnbc);
    });
}

void BM_ChartAlone(benchmark::State& state)
{
    MeasureChart(state, false);
}
BENCHMARK(BM_ChartAlone)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_ChartFilledByCnbc(benchmark::State& state)
{
    MeasureChart(state, true);
}
BENCHMARK(BM_ChartFilledByCnbc)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// An unrelated symbol asked beside range(0) symbols whose quote and summary never come, range(1)
// ms after they were sent.
void BM_UnrelatedBesideStalled(benchmark::State& state)
{
    using Mode = RoutedProvider::Mode;
    const int stalled = int(state.range(0));
    double ms = 0;
    for (auto _ : state) {
        RoutedProvider stub;
        stub.on("/", { { 404, {}, "Set-Cookie: A3=d=bench; Path=/\r\n" } });
        stub.on("/v1/test/getcrumb", { { 200, "crumb" } });
        stub.on("/v7/finance/quote", { { 200, {}, {}, Mode::Stall } });
        stub.on("/v7/finance/quote?symbols=QUICK*", { { 200, kQuote } });
        stub.on("/v10/finance/quoteSummary/*", { { 200, {}, {}, Mode::Stall } });
        stub.on("/v10/finance/quoteSummary/QUICK", { { 200, kSummary } });
        SourceContext context;
        context.upstream = stub.url();
        YahooSource yahoo(context);
        int answered = 0;
        for (int i = 0; i < stalled; ++i)
            yahoo.fetch("US", "S" + QByteArray::number(i), [&answered](SourceResult) { ++answered; });
        const QDeadlineTimer sent(5'000);
        while (stub.count("/v7/finance/quote") + stub.count("/v10/finance/quoteSummary/S0")
                < std::min(stalled, 96)
            && !sent.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        const QDeadlineTimer out(int(state.range(1)));
        while (!out.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        const double quick = FetchMs(yahoo, "QUICK");
        if (quick < 0)
            state.SkipWithError("no quote");
        ms += quick;
    }
    state.counters["ms_unrelated"] = ms / double(state.iterations());
}
BENCHMARK(BM_UnrelatedBesideStalled)
    ->Args({ 40, 0 })
    ->Args({ 60, 0 })
    ->Args({ 100, 0 })
    ->Args({ 100, 1500 })
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
