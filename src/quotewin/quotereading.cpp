#include "quotewin/quotereading.h"

#include "chart/graph.h"
#include "quote/quoterecord.h"

#include <cstdio>

namespace {

// A row's column, or empty where the row is shorter.
std::string Column(const std::vector<std::string>& row, std::size_t column)
{
    return column < row.size() ? row[column] : std::string();
}

std::string Fixed2(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

} // namespace

std::pair<std::string, std::string> SplitInfoLine(const std::string& line)
{
    const std::size_t colon = line.find(": ");
    if (colon == std::string::npos)
        return { line, {} };
    return { line.substr(0, colon), line.substr(colon + 2) };
}

std::vector<std::string> ChartInfoLines(const CGraph& chart)
{
    if (chart.SeriesCount() == 0)
        return {};
    const auto& lines = chart.series().back().infoLines;
    return lines ? *lines : std::vector<std::string>();
}

std::string DescribeQuoteChart(const CGraph& chart)
{
    std::string text = "Line chart";
    if (!chart.title().empty())
        text += " of " + chart.title();
    std::string shown;
    for (int s = 1; s < chart.SeriesCount(); ++s)
        shown += (shown.empty() ? "" : ", ") + chart.series()[static_cast<std::size_t>(s)].name;
    if (!shown.empty())
        text += " showing " + shown;
    text += ". ";
    const auto& rows = chart.rows();
    if (rows.empty())
        return text + "No quote yet.";
    // The row's columns: time, last, previous close, day's high, day's low.
    const std::vector<std::string>& last = rows.back();
    text += "Last value " + Column(last, 1) + ", day's high " + Column(last, 3) + ", day's low "
        + Column(last, 4) + ". ";
    if (rows.size() == 1)
        return text + "One quote, at " + Column(last, 0) + ".";
    return text + std::to_string(rows.size()) + " quotes from " + Column(rows.front(), 0) + " to "
        + Column(last, 0) + ".";
}

std::string RefreshAnnouncement(const std::string& name, const QuoteRecord& before, const QuoteRecord& after)
{
    const std::string last = Fixed2(after.last);
    if (last == Fixed2(before.last))
        return {};
    std::string text = name + " " + last;
    const std::string change = after.change.substr(0, after.change.find(' '));
    if (!change.empty())
        text += ", " + change;
    return text;
}
