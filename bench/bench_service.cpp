// The quote service as a client sees it: a cached live page served over loopback beside a
// simulated one (request to last byte), the upstream requests many windows cause with the cache
// and without it, and the service's memory once it holds a thousand live quotes; then the real
// service program under 200 keep-alive clients beside a bare libmicrohttpd server answering the
// same page from memory, and its memory after a burst of 1,000 clients.
#include "gateway/gateway.h"
#include "gateway/livefigures.h"
#include "loadclients.h"
#include "market/catalogue.h"
#include "options/options.h"
#include "quoteserver.h"

#include <QCoreApplication>
#include <QFile>
#include <QTcpSocket>
#include <QThread>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <malloc.h>
#include <memory>

namespace {

LiveQuote FullQuote(double last)
{
    LiveQuote q;
    q.last = last;
    q.change = 1.25;
    q.changePercent = 0.61;
    q.high = last + 2;
    q.low = last - 2;
    q.open = last - 1;
    q.previousClose = last - 1.25;
    q.bid = last - 0.05;
    q.ask = last + 0.05;
    q.yearHigh = last * 1.3;
    q.yearLow = last * 0.7;
    q.priceEarnings = 28.4;
    q.earningsPerShare = 6.43;
    q.forwardPriceEarnings = 26.4;
    q.dividendPerShare = 0.94;
    q.dividendYield = 0.51;
    q.volume = 31874512;
    q.averageVolume = 54123456;
    q.marketCap = 2.85e12;
    q.sharesOutstanding = 1.52e10;
    q.sales = 3.8e11;
    q.beta = 1.1;
    q.institutionalOwnership = 61.2;
    q.returnOnEquity = 147.3;
    q.delayMinutes = 0;
    q.time = 1709653320;
    q.name = "Tarrindel Instruments, Inc.";
    q.exchange = "NasdaqGS";
    return q;
}

// Answers at once, counting what it is asked.
class InstantSource final : public QuoteSource {
public:
    QString name() const override { return QStringLiteral("instant"); }
    void fetch(const QByteArray&, const QByteArray& symbol, Done done) override
    {
        ++calls;
        SourceResult r;
        r.quote = FullQuote(100.0 + double(symbol.size()));
        done(r);
    }
    std::atomic<int> calls { 0 };
};

// The service on its own thread, as the real one runs in its own process.
class ServiceThread {
public:
    explicit ServiceThread(bool live)
    {
        m_options.port = 0;
        m_options.quiet = true;
        m_options.maxConnections = 4096;
        m_catalogue.load(DefaultListDirectories());
        m_catalogue.addBuiltIns();
        m_context->moveToThread(&m_thread);
        m_thread.start();
        QMetaObject::invokeMethod(
            m_context.get(),
            [&] {
                if (live) {
                    std::vector<std::unique_ptr<QuoteSource>> sources;
                    auto source = std::make_unique<InstantSource>();
                    m_source = source.get();
                    sources.push_back(std::move(source));
                    m_gateway = std::make_unique<QuoteGateway>(std::move(sources), GatewaySettings {});
                }
                m_server = std::make_unique<QuoteServer>(
                    m_options, m_catalogue, m_gateway.get(), &FormatLiveQuote);
                m_port = m_server->listen();
            },
            Qt::BlockingQueuedConnection);
    }
    ~ServiceThread()
    {
        QMetaObject::invokeMethod(
            m_context.get(),
            [&] {
                m_server.reset();
                m_gateway.reset();
            },
            Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    quint16 port() const { return m_port; }
    int upstreamCalls() const { return m_source ? m_source->calls.load() : 0; }
    qsizetype cached() const { return m_gateway ? m_gateway->cachedSymbols() : 0; }

private:
    ServiceOptions m_options;
    SecurityCatalogue m_catalogue;
    QThread m_thread;
    std::unique_ptr<QObject> m_context = std::make_unique<QObject>();
    std::unique_ptr<QuoteGateway> m_gateway;
    std::unique_ptr<QuoteServer> m_server;
    InstantSource* m_source = nullptr;
    quint16 m_port = 0;
};

// One GET on a fresh connection, read to its last byte; the bytes read.
qint64 Get(quint16 port, const QByteArray& target)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return -1;
    socket.write("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    qint64 bytes = 0;
    while (socket.waitForReadyRead(5000))
        bytes += socket.readAll().size();
    return bytes + socket.readAll().size();
}

void ServePage(benchmark::State& state, bool live)
{
    ServiceThread service(live);
    const QByteArray target = "/detail/stock_quote?Symbol=US:MSFT";
    Get(service.port(), target); // fills the cache
    qint64 bytes = 0;
    for (auto _ : state)
        bytes = Get(service.port(), target);
    if (bytes < 50'000)
        state.SkipWithError("short page");
    state.counters["page_bytes"] = double(bytes);
    if (live)
        state.counters["upstream"] = service.upstreamCalls();
}

void BM_ServeSimulatedPage(benchmark::State& state)
{
    ServePage(state, false);
}
BENCHMARK(BM_ServeSimulatedPage)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_ServeCachedLivePage(benchmark::State& state)
{
    ServePage(state, true);
}
BENCHMARK(BM_ServeCachedLivePage)->Unit(benchmark::kMicrosecond)->UseRealTime();

// 50 windows on 10 symbols, each refreshing once a minute at its own second, for 10 minutes of a
// test clock; arg 0 runs without the cache, the baseline of what the windows alone would cause.
void BM_UpstreamRequestsOfFiftyWindows(benchmark::State& state)
{
    const int cacheSeconds = int(state.range(0));
    int upstream = 0;
    for (auto _ : state) {
        std::vector<std::unique_ptr<QuoteSource>> sources;
        auto source = std::make_unique<InstantSource>();
        InstantSource* counting = source.get();
        sources.push_back(std::move(source));
        GatewaySettings settings;
        settings.cacheSeconds = cacheSeconds;
        QuoteGateway gateway(std::move(sources), settings);
        std::int64_t nowMs = 0;
        gateway.setClock([&nowMs] { return nowMs; });
        for (int second = 0; second < 600; ++second) {
            for (int window = 0; window < 50; ++window) {
                if ((window * 7) % 60 != second % 60)
                    continue; // not this window's second
                nowMs = std::int64_t(second) * 1000;
                gateway.quote("US", "SYM" + QByteArray::number(window % 10), [](const GatewayAnswer&) {});
            }
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        upstream = counting->calls;
    }
    state.counters["upstream_requests"] = upstream;
    state.counters["window_requests"] = 500;
    state.counters["floor"] = 10 * 10; // 10 symbols, once per cache period, 10 periods
}
BENCHMARK(BM_UpstreamRequestsOfFiftyWindows)->Arg(60)->Arg(0)->Unit(benchmark::kMicrosecond);

qint64 ResidentBytes()
{
    QFile status(QStringLiteral("/proc/self/statm"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    return status.readAll().split(' ').value(1).toLongLong() * 4096;
}

// Heap bytes in use: unlike the resident size, blind to memory freed earlier and kept by malloc.
qint64 HeapBytes()
{
    return qint64(mallinfo2().uordblks);
}

// The whole service (catalogue, server, gateway) with a thousand live symbols served and cached,
// and what those symbols added to its heap.
void BM_MemoryOfThousandCachedSymbols(benchmark::State& state)
{
    qint64 perSymbol = 0;
    qint64 resident = 0;
    for (auto _ : state) {
        ServiceThread service(true);
        Get(service.port(), "/detail/stock_quote?Symbol=US:WARM");
        const qint64 before = HeapBytes();
        for (int i = 0; i < 1000; ++i)
            Get(service.port(), "/detail/stock_quote?Symbol=US:S" + QByteArray::number(i));
        perSymbol = (HeapBytes() - before) / 1000;
        resident = ResidentBytes();
        if (service.cached() < 1000)
            state.SkipWithError("not cached");
    }
    state.counters["heap_bytes_per_symbol"] = double(perSymbol);
    state.counters["rss_MiB"] = double(resident) / (1 << 20);
}
BENCHMARK(BM_MemoryOfThousandCachedSymbols)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

// The last keep-alive figures of the service program and of the bare server, for their ratio.
Load g_serviceLoad, g_bareLoad;

// 200 clients on keep-alive connections, each sending its next request when its answer is in.
void KeepAliveClients(benchmark::State& state, const QString& program)
{
    constexpr int kClients = 200;
    ServiceProgram service(program);
    Load load;
    for (auto _ : state) {
        if (!service.start()) {
            state.SkipWithError("the service did not start");
            return;
        }
        load = RunKeepAliveClients(service.port(), kClients, 3000);
    }
    ReportLoad(state, load);
    if (program == QStringLiteral(KOLPEX_SERVICE_BIN))
        g_serviceLoad = load;
}

// The floor for this machine: libmicrohttpd on its own thread, the same page from memory.
void BM_KeepAliveBarePageServer(benchmark::State& state)
{
    ServiceProgram service(QStringLiteral(KOLPEX_SERVICE_BIN));
    if (!service.start()) {
        state.SkipWithError("the service did not start");
        return;
    }
    const QByteArray page = FetchBody(service.port(), kQuoteTarget);
    service.stop();
    BarePageServer bare(page);
    Load load;
    for (auto _ : state)
        load = RunKeepAliveClients(bare.port(), 200, 3000);
    ReportLoad(state, load);
    g_bareLoad = load;
}

// Resident memory of the service once 1,000 clients, all connected before any sends, were answered.
void ThousandClientBurst(benchmark::State& state, const QString& program)
{
    ServiceProgram service(program);
    int answered = 0;
    qint64 residentKiB = 0;
    for (auto _ : state) {
        if (!service.start()) {
            state.SkipWithError("the service did not start");
            return;
        }
        answered = RunBurst(service.port(), 1000);
        residentKiB = service.residentKiB();
    }
    state.counters["answered"] = answered;
    state.counters["rss_MiB"] = double(residentKiB) / 1024;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    RaiseDescriptorLimit();
    benchmark::RegisterBenchmark("BM_KeepAliveService", KeepAliveClients, QStringLiteral(KOLPEX_SERVICE_BIN))
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_KeepAliveBarePageServer", BM_KeepAliveBarePageServer)
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(
        "BM_BurstOfThousandService", ThousandClientBurst, QStringLiteral(KOLPEX_SERVICE_BIN))
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    // An earlier build of the service to compare with, when one is named.
    const QString earlier = qEnvironmentVariable("KOLPEX_BENCH_EARLIER_SERVICE");
    if (!earlier.isEmpty()) {
        benchmark::RegisterBenchmark("BM_KeepAliveEarlierService", KeepAliveClients, earlier)
            ->Iterations(1)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("BM_BurstOfThousandEarlierService", ThousandClientBurst, earlier)
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_serviceLoad.requestsPerSecond > 0 && g_bareLoad.requestsPerSecond > 0) {
        // the floor is the bare server in the same run: at least 0.5 of its rate, p99 within 3 times
        std::printf("service / bare libmicrohttpd server, 200 keep-alive clients: %.2f of its requests/s, "
                    "p99 %.2f times its p99\n",
            g_serviceLoad.requestsPerSecond / g_bareLoad.requestsPerSecond,
            g_serviceLoad.p99Us / g_bareLoad.p99Us);
    }
    return 0;
}
