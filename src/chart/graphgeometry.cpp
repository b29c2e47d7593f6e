#include "chart/graphgeometry.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <limits>

namespace GraphGeometry {

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Decimal exponent of the leading digit of a number that from_chars found out of range, so
// that overflow can become infinity and underflow zero, as atof gives them.
long long DecimalMagnitude(std::string_view s)
{
    std::size_t i = 0;
    long long magnitude = 0;
    bool seen = false;
    long long intDigits = 0;
    while (i < s.size() && IsDigit(s[i])) {
        if (seen || s[i] != '0') {
            seen = true;
            ++intDigits;
        }
        ++i;
    }
    if (seen) {
        magnitude = intDigits - 1;
    } else if (i < s.size() && s[i] == '.') {
        ++i;
        long long zeros = 0;
        while (i < s.size() && s[i] == '0') {
            ++zeros;
            ++i;
        }
        magnitude = -(zeros + 1);
    }
    while (i < s.size() && (IsDigit(s[i]) || s[i] == '.'))
        ++i;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool negative = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            negative = s[i++] == '-';
        long long exponent = 0;
        while (i < s.size() && IsDigit(s[i])) {
            exponent = std::min(exponent * 10 + (s[i] - '0'), 1000000LL);
            ++i;
        }
        magnitude += negative ? -exponent : exponent;
    }
    return magnitude;
}

std::string Pad(std::string text, std::size_t width)
{
    if (text.size() < width)
        text.insert(0, width - text.size(), ' ');
    return text;
}

std::string Fixed(double value, int precision, std::size_t width)
{
    char buffer[400]; // the longest fixed rendering of a double with two decimals is ~312 bytes
    const auto result
        = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
    if (result.ec != std::errc())
        return Pad("?", width);
    return Pad(std::string(buffer, result.ptr), width);
}

} // namespace

double ParseValue(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    const std::string_view rest = text.substr(i);
    if (rest.empty() || rest.front() == '+' || rest.front() == '-')
        return 0.0;

    double value = 0.0;
    if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
        const auto r
            = std::from_chars(rest.data() + 2, rest.data() + rest.size(), value, std::chars_format::hex);
        if (r.ec == std::errc::result_out_of_range)
            value = std::numeric_limits<double>::infinity();
        else if (r.ec != std::errc())
            value = 0.0; // only the "0" before the x counts
    } else {
        const auto r
            = std::from_chars(rest.data(), rest.data() + rest.size(), value, std::chars_format::general);
        if (r.ec == std::errc::result_out_of_range)
            value = DecimalMagnitude(rest) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
        else if (r.ec != std::errc())
            value = 0.0;
    }
    return negative ? -value : value;
}

Rect FitOuterRect(Size client, int sideInset, int topInset)
{
    return Rect { sideInset, topInset, client.cx - sideInset, client.cy - sideInset };
}

Rect PlotRect(const Rect& outer, int plotMargin, bool showLegend, int legendWidth, int sideInset)
{
    Rect r { outer.left + plotMargin, outer.top + plotMargin, outer.right - plotMargin,
        outer.bottom - plotMargin };
    r.right -= showLegend ? legendWidth : sideInset;
    return r;
}

int XStep(int plotWidth, int rowCount, int storedStep)
{
    if (rowCount <= 0)
        return storedStep;
    if (rowCount == 1)
        return plotWidth;
    return plotWidth / (rowCount - 1);
}

int YGridCount(int plotHeight, int yStepPx)
{
    if (yStepPx <= 0)
        return 0;
    return plotHeight / yStepPx;
}

YScale FitYScale(const std::vector<std::vector<double>>& columns, std::size_t rowCount, int plotHeight,
    int yStepPx, YScale current)
{
    if (rowCount == 0)
        return current;
    double max = -1e11;
    double min = 1e11;
    for (const auto& column : columns) {
        for (const double v : column) {
            if (!std::isfinite(v))
                continue;
            if (v > max)
                max = v;
            if (v < min)
                min = v;
        }
    }
    const int intervals = std::max(YGridCount(plotHeight, yStepPx) - 1, 1);
    YScale scale { min, (max - min) / intervals };
    if (max == min)
        scale.delta = 1.0;
    return scale;
}

std::optional<std::int64_t> ValueToPixel(double v, double yMin, double yDelta, int yStepPx, int bottom)
{
    constexpr double kExact = 4503599627370496.0; // 2^52: beyond this a pixel count is meaningless
    const double k = static_cast<double>(yStepPx) / yDelta;
    if (!std::isfinite(k))
        return std::nullopt;
    const double a = v * k;
    const double b = yMin * k;
    if (!(std::fabs(a) < kExact) || !(std::fabs(b) < kExact))
        return std::nullopt;
    return static_cast<std::int64_t>(bottom) - static_cast<std::int64_t>(std::trunc(a))
        + static_cast<std::int64_t>(std::trunc(b));
}

int GrowLabelLimit(int limit, int labelWidth)
{
    const long long grown = static_cast<long long>(limit) + static_cast<long long>(2.5 * labelWidth);
    return static_cast<int>(std::clamp<long long>(grown, INT_MIN, INT_MAX));
}

std::string CleanInfoLine(const std::string& line)
{
    std::string text;
    text.reserve(line.size());
    for (std::size_t i = 0; i < line.size();) {
        if (line.compare(i, 4, "<BR>") == 0) {
            text += ' ';
            i += 4;
        } else {
            text += line[i++];
        }
    }
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsSpace(text[begin]))
        ++begin;
    while (end > begin && IsSpace(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::vector<std::string> WrapText(const std::string& text, std::size_t maxChars)
{
    maxChars = std::max<std::size_t>(maxChars, 1);
    std::vector<std::string> lines;
    std::string_view rest = text;
    while (rest.size() > maxChars) {
        std::size_t cut = rest.substr(0, maxChars).rfind(' ');
        if (cut == std::string_view::npos)
            cut = maxChars;
        lines.emplace_back(rest.substr(0, cut));
        rest.remove_prefix(cut);
        while (!rest.empty() && IsSpace(rest.front()))
            rest.remove_prefix(1);
    }
    lines.emplace_back(rest);
    return lines;
}

std::string FormatYLabel(double value)
{
    return Fixed(value, 2, 4);
}

std::string FormatXLabel(double value)
{
    return Fixed(value, 0, 6);
}

} // namespace GraphGeometry
