// One refresh of a quote window that has been open long enough to hold 10,000 samples: the
// chart row, the info lines, the sample and a full redraw into a window-sized image, beside the
// chart's Draw alone. Reports the memory one sample costs (the record plus its chart row).
#include "chart/graph.h"
#include "chart/quotechart.h"
#include "platform/qpainterdevicecontext.h"
#include "quotewin/quoterefresh.h"
#include "quotewin/samplehistory.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <malloc.h>

namespace {

constexpr int kSamples = 10'000;
constexpr int kWidth = 400;
constexpr int kHeight = 620;

QuoteRecord Sample(int i)
{
    QuoteRecord r;
    r.quoteTime = 1110204000 + i * 300LL;
    r.last = 25.0 + (i % 97) * 0.01;
    r.high = 26.0;
    r.low = i % 5 == 0 ? 0.0 : 24.5;
    r.previousClose = 25.1;
    r.open = 25.05;
    r.bid = r.last - 0.01;
    r.ask = r.last + 0.01;
    r.yearHigh = 31.2;
    r.yearLow = 19.8;
    r.priceEarnings = 23.45;
    r.beta = 1.1;
    r.change = "+0.25 (+0.99%)";
    r.volume = "61,234,567";
    r.averageVolume = "58.1 Mil";
    r.marketCap = "274.6 Bil";
    r.exchange = "NASDAQ";
    r.delayMinutes = 15;
    return r;
}

QuoteEntry Entry()
{
    QuoteEntry e;
    e.countryCode = "US";
    e.symbol = "MSFT";
    e.companyName = "Microsoft Corporation";
    return e;
}

struct Window {
    CGraph chart { [] { return Size { kWidth, kHeight }; } };
    SampleHistory samples;
    QuoteEntry entry = Entry();
    QImage image { kWidth, kHeight, QImage::Format_RGB32 };

    Window()
    {
        ComposeQuoteChart(chart, entry);
        for (int i = 0; i < kSamples; ++i)
            Refresh(Sample(i), false);
    }

    void Redraw()
    {
        QPainter painter(&image);
        painter.fillRect(image.rect(), Qt::white);
        QPainterDeviceContext dc(painter);
        chart.Draw(dc);
    }

    void Refresh(const QuoteRecord& quote, bool draw)
    {
        if (ApplyQuoteToChart(chart, quote, entry, quote.quoteTime) && draw)
            Redraw();
        samples.Add(quote);
    }
};

void BM_Refresh(benchmark::State& state)
{
    Window window;
    const QuoteRecord quote = Sample(kSamples);
    for (auto _ : state) {
        window.Refresh(quote, true);
        benchmark::DoNotOptimize(window.image.constBits());
    }
    state.counters["rows_at_end"] = window.chart.RowCount();
}
BENCHMARK(BM_Refresh)->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_DrawOnly(benchmark::State& state)
{
    Window window;
    QPainter painter(&window.image);
    for (auto _ : state) {
        QPainterDeviceContext dc(painter);
        window.chart.Draw(dc);
        benchmark::DoNotOptimize(window.image.constBits());
    }
    state.counters["rows"] = window.chart.RowCount();
}
BENCHMARK(BM_DrawOnly)->Unit(benchmark::kMillisecond)->Iterations(200);

// Heap and inline bytes one sample adds: its record in the history and its five-text chart row.
void BM_MemoryPerSample(benchmark::State& state)
{
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks;
        auto window = std::make_unique<Window>();
        const size_t after = mallinfo2().uordblks;
        state.counters["bytes_per_sample"] = static_cast<double>(after - before - sizeof(Window)) / kSamples;
        state.counters["record_bytes"] = sizeof(QuoteRecord);
        benchmark::DoNotOptimize(window.get());
    }
}
BENCHMARK(BM_MemoryPerSample)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv); // fonts need a GUI application
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
