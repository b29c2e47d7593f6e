#include "quotewin/quoterefresh.h"

#include "chart/graph.h"
#include "quotewin/chartrow.h"
#include "quotewin/infolines.h"

bool ApplyQuoteToChart(CGraph& chart, const QuoteRecord& quote, const QuoteEntry& entry, std::int64_t now)
{
    chart.AddRow(BuildChartRow(quote, entry.easternTime, now));
    if (chart.SeriesCount() == 0)
        return false;
    chart.SetSeriesInfoLines(chart.SeriesCount() - 1, BuildInfoLines(quote));
    return true;
}
