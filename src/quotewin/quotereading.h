#pragma once

#include <string>
#include <utility>
#include <vector>

class CGraph;
struct QuoteRecord;

// What a screen reader says for a quote window: its info lines split into caption and value, and
// the chart in words. Code page 1252, like the chart's texts.

// "Day's High: 12.50" -> { "Day's High", "12.50" }; a line without ": " is all caption.
std::pair<std::string, std::string> SplitInfoLine(const std::string& line);

// The info lines attached to the chart (the last series'), empty before the first quote.
std::vector<std::string> ChartInfoLines(const CGraph& chart);

// The series shown, the last value, the day's high and low and the time span, in one sentence;
// "No quote yet." while the chart has no row.
std::string DescribeQuoteChart(const CGraph& chart);

// What a refresh says aloud: "ASML 17.12, +0.07" (name, last price, the change's first figure),
// or empty when the last price shown did not change.
std::string RefreshAnnouncement(const std::string& name, const QuoteRecord& before, const QuoteRecord& after);
