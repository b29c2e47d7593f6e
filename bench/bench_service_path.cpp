// The critical path of a live quote: how many upstream round trips a symbol the service has not
// seen costs, against providers on loopback that answer every request after a fixed delay. From
// cold the session is bought first (cookie, then crumb); once it exists only the figures. The
// same fetch against a provider twice as slow tells the round trips apart from what the client
// costs on its own (a new client's first request sets up its network manager): the difference is
// the round trips times the delay.
#include "../tests/support/routedprovider.h"
#include "sources/yahoo.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>
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
    double fastMs = 0, slowMs = 0;
    int fetches = 0;
    for (auto _ : state) {
        if (fromCold)
            newSources();
        const QByteArray symbol = "S" + QByteArray::number(fetches++);
        const double a = FetchMs(*toFast, symbol);
        const double b = FetchMs(*toSlow, symbol);
        if (a < 0 || b < 0)
            state.SkipWithError("no quote");
        fastMs += a;
        slowMs += b;
    }
    state.counters["ms_per_symbol"] = fastMs / fetches;
    state.counters["round_trips"] = (slowMs - fastMs) / fetches / kDelayMs;
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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
