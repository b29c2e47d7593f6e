#pragma once

#include "platform/devicecontext.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The chart's arithmetic, free of any drawing. Integer pixel arithmetic truncates toward zero.
namespace GraphGeometry {

// Reads a value like atof in the classic locale: leading white space, an optional sign, the
// longest decimal (or 0x hexadecimal) prefix, "inf"/"infinity"/"nan"; no number at all gives 0.
double ParseValue(std::string_view text);

Rect FitOuterRect(Size client, int sideInset, int topInset);
Rect PlotRect(const Rect& outer, int plotMargin, bool showLegend, int legendWidth, int sideInset);

// Pixels between rows: the whole width for one row, width / (rows - 1) for more, and the
// stored step while there are no rows.
int XStep(int plotWidth, int rowCount, int storedStep);

// Number of Y grid intervals G; 0 when the step is not positive (no grid above the bottom line).
int YGridCount(int plotHeight, int yStepPx);

struct YScale {
    double min = 0.0;
    double delta = 0.0;
};

// Fits the scale to the value columns so the smallest value sits on grid line 0 and the largest
// on line G - 1. No rows: the current scale. Values that are not finite take no part. Guards:
// fewer than two grid intervals fit over one interval (K = 1), and equal extremes get a step of 1
// so the flat line lies on the bottom grid line instead of making the scale infinite.
YScale FitYScale(const std::vector<std::vector<double>>& columns, std::size_t rowCount, int plotHeight,
    int yStepPx, YScale current);

// bottom - trunc(v * k) + trunc(yMin * k) with k = yStepPx / yDelta, both truncations separate.
// Empty when the value, the factor or either product is not finite or too large to be exact
// (a zero Y step gives an infinite factor): such a point is never on the plot.
std::optional<std::int64_t> ValueToPixel(double v, double yMin, double yDelta, int yStepPx, int bottom);

inline bool WithinPlot(const std::optional<std::int64_t>& y, int top, int bottom)
{
    return y && *y >= top && *y <= bottom;
}

// The X label limit after drawing a label of the given width: two and a half widths further.
int GrowLabelLimit(int limit, int labelWidth);

// An info line as the legend shows it: every "<BR>" becomes a blank, white space trimmed.
std::string CleanInfoLine(const std::string& line);

// Splits a text into lines of at most maxChars bytes, breaking at the last blank within the
// limit (hard after maxChars when there is none) and dropping white space at each new line's
// start. Always at least one line.
std::vector<std::string> WrapText(const std::string& text, std::size_t maxChars);

std::string FormatYLabel(double value); // "%4.2f"
std::string FormatXLabel(double value); // "%6.f"

} // namespace GraphGeometry
