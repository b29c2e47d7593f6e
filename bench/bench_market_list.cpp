// Loading a market list as a list window does, against the floor it cannot go below: a plain
// read(2) of the same file into a buffer that is already there.
#include "../tests/support/synthetic_lists.h"
#include "markets/listentries.h"
#include "platform/notifier.h"
#include "quote/nullwindowhost.h"
#include "quote/pagereader.h"
#include "quote/quotemanager.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

// NYSE.TXT of exactly 1,000,000 bytes in a directory of its own, made the current one.
struct ListFile {
    QTemporaryDir dir;
    ListFile()
    {
        std::string bytes = SyntheticLists::MakeListFile(SyntheticLists::kMaxRecords, 7, false);
        bytes.resize(SyntheticLists::kLoaderLimitBytes);
        QDir::setCurrent(dir.path());
        QFile file(QStringLiteral("NYSE.TXT"));
        if (!file.open(QIODevice::WriteOnly)
            || file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()))
            std::abort();
    }
};

const ListFile& File()
{
    static const ListFile file;
    return file;
}

// open, one read of the whole file, close.
std::size_t PlainRead(char* buffer)
{
    const int fd = ::open("NYSE.TXT", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        std::abort();
    const ssize_t got = ::read(fd, buffer, SyntheticLists::kLoaderLimitBytes);
    ::close(fd);
    return got > 0 ? std::size_t(got) : 0;
}

struct Loader {
    StderrNotifier notifier;
    CPageReader reader { notifier };
    NullWindowHost host;
    const QuoteEntry defaults;
    CQuoteManager manager { defaults, reader, host, notifier };
};

void BM_PlainRead(benchmark::State& state)
{
    File();
    const std::unique_ptr<char[]> buffer(new char[SyntheticLists::kLoaderLimitBytes]);
    for (auto _ : state)
        benchmark::DoNotOptimize(PlainRead(buffer.get()));
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMicrosecond);

void BM_LoadMarketList(benchmark::State& state)
{
    File();
    Loader loader;
    std::size_t loaded = 0;
    for (auto _ : state) {
        ListEntries entries; // a list window loads into a fresh list; freeing it is timed here too
        if (!loader.manager.LoadMarketList("NYSE", entries))
            std::abort();
        loaded = entries.size();
        benchmark::DoNotOptimize(loaded);
    }
    state.counters["entries"] = double(loaded);
}
BENCHMARK(BM_LoadMarketList)->Unit(benchmark::kMicrosecond);

// The thread's own CPU time, kernel time included: the ratio below holds on a busy machine.
double ThreadCpuNs()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

// Both in one run, alternating, with their ratio in CPU time (the target: the load within 3
// times the read).
void BM_LoadBesideRead(benchmark::State& state)
{
    File();
    Loader loader;
    const std::unique_ptr<char[]> buffer(new char[SyntheticLists::kLoaderLimitBytes]);
    std::size_t loaded = 0;
    double readNs = 0;
    double loadNs = 0;
    for (auto _ : state) {
        const double t0 = ThreadCpuNs();
        benchmark::DoNotOptimize(PlainRead(buffer.get()));
        const double t1 = ThreadCpuNs();
        {
            ListEntries entries;
            loader.manager.LoadMarketList("NYSE", entries);
            loaded = entries.size();
            benchmark::DoNotOptimize(loaded);
        }
        const double t2 = ThreadCpuNs();
        readNs += t1 - t0;
        loadNs += t2 - t1;
    }
    const double n = double(state.iterations());
    state.counters["read_us"] = readNs / n / 1000;
    state.counters["load_us"] = loadNs / n / 1000;
    state.counters["ratio"] = loadNs / readNs;
    state.counters["entries"] = double(loaded);
}
BENCHMARK(BM_LoadBesideRead)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
