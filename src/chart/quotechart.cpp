#include "chart/quotechart.h"

#include "chart/graph.h"

#include <cstdio>

std::string XAxisCaption(const QuoteEntry& entry)
{
    char caption[64];
    std::snprintf(caption, sizeof caption,
        entry.easternTime ? "Time ET (every %d min)" : "Time local (every %d min)",
        static_cast<int>(entry.refreshInterval));
    return caption;
}

std::string QuoteChartTitle(const QuoteEntry& entry)
{
    return entry.companyName + " (" + entry.symbol + ")";
}

void ComposeQuoteChart(CGraph& chart, const QuoteEntry& entry)
{
    constexpr int kMarkSize = 3;
    chart.RemoveAllSeries();
    chart.RemoveAllRows();
    chart.SetTitle(QuoteChartTitle(entry));
    chart.AddSeries(XAxisCaption(entry), 0, std::nullopt);
    chart.AddSeries("Today", kMarkSize, Rgb { 0, 0, 255 });
    chart.AddSeries("Prev. day close", kMarkSize, Rgb { 255, 0, 0 });
    chart.AddSeries("Heigh", kMarkSize, Rgb { 200, 200, 0 });
    chart.AddSeries("Low", kMarkSize, Rgb { 0, 200, 0 });
}
