#include "quotewin/infolines.h"

#include <charconv>
#include <string_view>

namespace {

// printf's "%.2f" without its dependence on LC_NUMERIC.
std::string Fixed2(double value)
{
    char buffer[400];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    if (ec != std::errc {})
        return {};
    return std::string(buffer, end);
}

std::string Line(std::string_view label, const std::string& value)
{
    std::string line(label);
    line += value;
    return line;
}

} // namespace

std::vector<std::string> BuildInfoLines(const QuoteRecord& q)
{
    return {
        Line("Last: ", Fixed2(q.last)),
        Line("Diff.: ", q.change),
        Line("Volume: ", q.volume),
        Line("Avg Volume: ", q.averageVolume),
        Line("Day's High: ", Fixed2(q.high)),
        Line("Day's Low: ", Fixed2(q.low)),
        Line("Open: ", Fixed2(q.open)),
        Line("Prev. Close: ", Fixed2(q.previousClose)),
        Line("Bid: ", Fixed2(q.bid)),
        Line("Ask: ", Fixed2(q.ask)),
        Line("52-Week: ", Fixed2(q.yearHigh) + " - " + Fixed2(q.yearLow)),
        Line("Instit. Owner.: ", q.institutionalOwnership),
        Line("P/E: ", Fixed2(q.priceEarnings)),
        Line("Earnings/Share: ", Fixed2(q.earningsPerShare)),
        Line("Div/Share: ", Fixed2(q.dividendPerShare)),
        Line("Cur. Div. Yeld: ", Fixed2(q.dividendYield)),
        Line("Market Cap: ", q.marketCap),
        Line("Total Shares: ", q.sharesOutstanding),
        Line("Exchange: ", q.exchange),
        Line("Forward P/E: ", Fixed2(q.forwardPriceEarnings)),
        Line("Sales: ", q.sales),
        Line("Ret. on Equity: ", Fixed2(q.returnOnEquity)),
        Line("Beta: ", Fixed2(q.beta)),
        Line("Delayed: ", std::to_string(q.delayMinutes) + " minutes"),
    };
}
