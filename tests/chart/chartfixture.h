#pragma once

#include "chart/graph.h"

#include <string>
#include <vector>

// A chart in a frame of the given client size: with the defaults the plot spans x 60 .. W - 160
// (legend on) and y 60 .. H - 60.
inline CGraph MakeChart(int width, int height)
{
    return CGraph([width, height] { return Size { width, height }; });
}

inline std::vector<std::string> Row(std::string label, std::vector<std::string> values)
{
    values.insert(values.begin(), std::move(label));
    return values;
}

// The four quote series with their colours, as the quote window composes them.
inline void AddQuoteSeries(CGraph& chart)
{
    chart.AddSeries("Time ET (every 5 min)", 0, std::nullopt);
    chart.AddSeries("Today", 3, Rgb { 0, 0, 255 });
    chart.AddSeries("Prev. day close", 3, Rgb { 255, 0, 0 });
    chart.AddSeries("Heigh", 3, Rgb { 200, 200, 0 });
    chart.AddSeries("Low", 3, Rgb { 0, 200, 0 });
}
