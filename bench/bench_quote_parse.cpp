// Parsing a quote page against the floor set by the scans it cannot avoid: one find per caption
// from the page start.
#include "platform/notifier.h"
#include "quote/nullwindowhost.h"
#include "quote/pagereader.h"
#include "quote/quotemanager.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string_view>

namespace {

// The saved page with news and navigation filler around the quote table, about 100 KB in all.
const std::string& LargePage()
{
    static const std::string page = [] {
        std::ifstream in(KOLPEX_TEST_DATA "/pages/full.html", std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        std::string base = s.str();
        std::string filler;
        for (int i = 0; filler.size() < 48'000; ++i) {
            filler += "<div class=\"news\"><a href=\"/news/item?id=" + std::to_string(i)
                + "\">Market wrap: stocks drift in quiet trade, item " + std::to_string(i)
                + "</a> <span class=\"t\">story</span></div>\n";
        }
        const size_t body = base.find("<body>") + 6;
        base.insert(body, filler);
        base.insert(base.find("</body>"), filler);
        return base;
    }();
    return page;
}

// What the parse must find, each from the start of the page.
constexpr std::string_view kNeedles[] = {
    "href=\"/investor/research/profile.asp?Symbol=",
    "Data Source",
    "Real-time quotes",
    ">Real-time quotes<",
    ">Real-time quotes<",
    "+12.25",
    "+12.25",
    "Volume",
    "Avg Daily Volume",
    "High",
    "Low",
    "Open",
    "Previous Close",
    "Bid",
    "Ask",
    "52 Week High",
    "52 Week Low",
    "Instit. Ownership",
    "P/E</td>",
    "Earnings/Share</td>",
    "Div/Share</td>",
    "Current Div. Yield</td>",
    "Market Cap.",
    "Tot. Shares Out.",
    "Exchange",
    "Forward P/E",
    "Sales",
    "Return on Equity",
    "Beta",
    "Quotes delayed",
};

void BM_BareScans(benchmark::State& state)
{
    const std::string_view page = LargePage();
    for (auto _ : state) {
        size_t sum = 0;
        for (const std::string_view needle : kNeedles)
            sum += page.find(needle);
        benchmark::DoNotOptimize(sum);
    }
    state.SetLabel(
        std::to_string(std::size(kNeedles)) + " finds over " + std::to_string(page.size()) + " bytes");
}
BENCHMARK(BM_BareScans)->Unit(benchmark::kMicrosecond);

void BM_ParseQuotePage(benchmark::State& state)
{
    RecordingNotifier notifier;
    CPageReader reader(notifier);
    NullWindowHost host;
    const QuoteEntry defaults;
    CQuoteManager manager(defaults, reader, host, notifier);
    const std::string& page = LargePage();
    QuoteEntry entry;
    entry.companyName = "named";
    QuoteRecord record;
    for (auto _ : state) {
        const bool ok = manager.ParseQuotePage(page, entry, &record);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(record);
    }
    if (!notifier.messages.empty())
        state.SkipWithError("the page did not parse");
    state.SetLabel("parse of " + std::to_string(page.size()) + " bytes");
}
BENCHMARK(BM_ParseQuotePage)->Unit(benchmark::kMicrosecond);

// Both in one run, side by side, with their ratio.
void BM_ParseVersusScans(benchmark::State& state)
{
    RecordingNotifier notifier;
    CPageReader reader(notifier);
    NullWindowHost host;
    const QuoteEntry defaults;
    CQuoteManager manager(defaults, reader, host, notifier);
    const std::string& page = LargePage();
    const std::string_view view = page;
    QuoteEntry entry;
    entry.companyName = "named";
    QuoteRecord record;
    double parseNs = 0;
    double scanNs = 0;
    constexpr int kRounds = 20;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < kRounds; ++i) {
            const bool ok = manager.ParseQuotePage(page, entry, &record);
            benchmark::DoNotOptimize(ok);
        }
        auto t1 = std::chrono::steady_clock::now();
        for (int i = 0; i < kRounds; ++i) {
            size_t sum = 0;
            for (const std::string_view needle : kNeedles)
                sum += view.find(needle);
            benchmark::DoNotOptimize(sum);
        }
        auto t2 = std::chrono::steady_clock::now();
        parseNs += std::chrono::duration<double, std::nano>(t1 - t0).count() / kRounds;
        scanNs += std::chrono::duration<double, std::nano>(t2 - t1).count() / kRounds;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["parse_us"] = parseNs / n / 1000.0;
    state.counters["scans_us"] = scanNs / n / 1000.0;
    state.counters["ratio"] = parseNs / scanNs;
}
BENCHMARK(BM_ParseVersusScans)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
