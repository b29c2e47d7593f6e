// Parsing a quote page against the floor it cannot go below: one pass over the page from its
// start to its last caption, finding each caption in page order where the one before ended.
#include "platform/notifier.h"
#include "quote/nullwindowhost.h"
#include "quote/pagereader.h"
#include "quote/quotemanager.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

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

// The captions in the order the page holds them.
const std::vector<std::string_view>& CaptionsInPageOrder()
{
    static const std::vector<std::string_view> ordered = [] {
        const std::string_view page = LargePage();
        std::vector<std::string_view> captions(std::begin(kNeedles), std::end(kNeedles));
        std::stable_sort(captions.begin(), captions.end(),
            [&](std::string_view a, std::string_view b) { return page.find(a) < page.find(b); });
        return captions;
    }();
    return ordered;
}

// One pass: each caption is looked for from the end of the one before.
size_t OnePass(std::string_view page)
{
    size_t at = 0;
    for (const std::string_view caption : CaptionsInPageOrder()) {
        const size_t found = page.find(caption, at);
        if (found != std::string_view::npos)
            at = found + caption.size();
    }
    return at;
}

void BM_OnePass(benchmark::State& state)
{
    const std::string_view page = LargePage();
    size_t end = 0;
    for (auto _ : state) {
        end = OnePass(page);
        benchmark::DoNotOptimize(end);
    }
    state.SetLabel("to byte " + std::to_string(end) + " of " + std::to_string(page.size()));
}
BENCHMARK(BM_OnePass)->Unit(benchmark::kMicrosecond);

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
void BM_ParseBesidePass(benchmark::State& state)
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
        for (int i = 0; i < kRounds; ++i)
            benchmark::DoNotOptimize(OnePass(view));
        auto t2 = std::chrono::steady_clock::now();
        parseNs += std::chrono::duration<double, std::nano>(t1 - t0).count() / kRounds;
        scanNs += std::chrono::duration<double, std::nano>(t2 - t1).count() / kRounds;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["parse_us"] = parseNs / n / 1000.0;
    state.counters["pass_us"] = scanNs / n / 1000.0;
    state.counters["ratio"] = parseNs / scanNs;
}
BENCHMARK(BM_ParseBesidePass)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
