#include "chart/graph.h"

#include "chart/graphgeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

using namespace GraphGeometry;

namespace {

constexpr Rgb kBulletColour { 0, 150, 100 };
constexpr Rgb kWhite { 255, 255, 255 };
constexpr Rgb kBlack { 0, 0, 0 };

void Line(DeviceContext& dc, int x0, int y0, int x1, int y1)
{
    dc.MoveTo(Point { x0, y0 });
    dc.LineTo(Point { x1, y1 });
}

} // namespace

CGraph::CGraph(std::function<Size()> frameClientSize)
    : m_frameClientSize(std::move(frameClientSize))
{
}

void CGraph::SetTitle(const std::string& title)
{
    m_title = title;
}

void CGraph::RemoveAllSeries()
{
    m_series.clear();
}

int CGraph::AddSeries(const std::string& name, int markSize, std::optional<Rgb> colour)
{
    GraphSeries series;
    series.markSize = markSize;
    series.name = name;
    series.penColour = colour;
    m_series.push_back(std::move(series));
    return SeriesCount() - 1;
}

void CGraph::SetSeriesName(int index, const std::string& name)
{
    if (index >= 0 && index < SeriesCount())
        m_series[static_cast<std::size_t>(index)].name = name;
}

void CGraph::SetSeriesInfoLines(int index, std::vector<std::string> lines)
{
    if (index >= 0 && index < SeriesCount())
        m_series[static_cast<std::size_t>(index)].infoLines = std::move(lines);
}

void CGraph::RemoveAllRows()
{
    m_rows.clear();
}

void CGraph::AddRow(std::vector<std::string> row)
{
    m_rows.push_back(std::move(row));
}

// A row shorter than the series table has no value for the missing series: that point is
// treated like a value off the plot (a gap, segments on both sides left out) and takes no part in
// autoscaling. NaN stands for it, which both rules already skip.
void CGraph::ParseValues()
{
    m_values.assign(m_series.size(), {});
    for (std::size_t s = 1; s < m_series.size(); ++s) {
        auto& column = m_values[s];
        column.reserve(m_rows.size());
        for (const auto& row : m_rows)
            column.push_back(s < row.size() ? ParseValue(row[s]) : std::numeric_limits<double>::quiet_NaN());
    }
}

void CGraph::Autoscale()
{
    const bool drawing = m_dc != nullptr;
    if (!drawing)
        ParseValues();
    const YScale fitted
        = FitYScale(m_values, m_rows.size(), m_plotRect.Height(), m_yStepPx, { m_yMin, m_yDelta });
    m_yMin = fitted.min;
    m_yDelta = fitted.delta;
    if (!drawing)
        m_values.clear();
}

void CGraph::Draw(DeviceContext& dc)
{
    m_dc = &dc;
    m_infoLineRects.clear();
    ParseValues();
    DrawFrame();
    DrawAxes();
    const PenDesc remembered = dc.CurrentPen();
    for (int s = 1; s < SeriesCount(); ++s) {
        const Rgb colour = m_series[static_cast<std::size_t>(s)].penColour.value_or(dc.CurrentPen().colour);
        dc.SelectPen(PenDesc { m_lineWidth, colour });
        DrawSeries(s);
    }
    dc.SelectPen(remembered);
    m_values.clear();
    m_dc = nullptr;
}

void CGraph::DrawFrame()
{
    if (!m_drawFrame)
        return;
    if (m_fitToParent && m_frameClientSize)
        m_outerRect = FitOuterRect(m_frameClientSize(), m_sideInset, m_topInset);
    m_dc->Rectangle(m_outerRect);
}

void CGraph::DrawAxes()
{
    DeviceContext& dc = *m_dc;
    m_plotRect = PlotRect(m_outerRect, m_plotMargin, m_showLegend, m_legendWidth, m_sideInset);
    dc.Rectangle(m_plotRect);
    const int left = m_plotRect.left;
    const int top = m_plotRect.top;
    const int right = m_plotRect.right;
    const int bottom = m_plotRect.bottom;

    const FontDesc previousFont = dc.SelectFont(m_labelFont);
    dc.SetTextAlign(kAlignCentreTop);
    dc.SetTextColor(m_labelColor);
    const PenDesc previousPen = dc.SelectPen(m_gridPen);

    const int rowCount = RowCount();
    if (rowCount > 0) {
        if (!m_series.empty()) {
            dc.SelectFont(m_captionFont);
            dc.TextOut(left + (right - left) / 2, m_outerRect.bottom - 20, m_series[0].name);
            dc.SelectFont(m_labelFont);
        }
        m_xStepPx = XStep(right - left, rowCount, m_xStepPx);
        DrawMinorTicks();
        int limit = left;
        for (int d = 0; d < rowCount; ++d) {
            const int x = left + d * m_xStepPx;
            // With a step of 0 every row repeats the line of the row before; drawing it again would
            // change no pixel, so it is drawn once.
            const bool repeated = m_xStepPx == 0 && d >= 2;
            if (!repeated) {
                if (m_xGrid && d >= 1)
                    Line(dc, x, bottom - 1, x, top);
                else
                    Line(dc, x, bottom - 1, x, bottom + 4);
            }
            if (d == 0 || x > limit) {
                Line(dc, x, bottom, x, bottom + 5);
                const auto& row = m_rows[static_cast<std::size_t>(d)];
                const std::string label = row.empty() ? std::string() : row[0];
                dc.TextOut(x, bottom + 4, label);
                limit = GrowLabelLimit(limit, dc.GetTextExtent(label).cx);
            }
        }
    } else {
        DrawMinorTicks();
        // A step of 0 or less (left by a draw with more rows than pixels) has no grid positions.
        if (m_xStepPx > 0) {
            for (int i = 1; i <= (right - left) / m_xStepPx; ++i) {
                const int x = left + i * m_xStepPx;
                Line(dc, x, bottom - 1, x, m_xGrid ? top : bottom + 4);
                dc.TextOut(x, bottom + 4, FormatXLabel(i * m_xDelta + m_xMin));
            }
        }
    }

    if (m_yAutoscale)
        Autoscale();

    const int intervals = YGridCount(bottom - top, m_yStepPx);
    for (int i = 0; i <= intervals; ++i) {
        const int y = bottom - i * m_yStepPx;
        if (i >= 1)
            Line(dc, left, y, m_yGrid ? right : left - 5, y);
        dc.TextOut(left - 22, y - 7, FormatYLabel(m_yMin + i * m_yDelta));
    }

    dc.SelectFont(previousFont);
    dc.SelectPen(previousPen);

    if (!m_title.empty()) {
        const FontDesc font = dc.SelectFont(m_titleFont);
        dc.SetTextAlign(kAlignCentreTop);
        dc.SetTextColor(m_titleColor);
        dc.TextOut(left + (right - left) / 2, m_outerRect.top + m_plotMargin / 4, m_title);
        dc.SelectFont(font);
    }

    dc.SelectPen(m_gridPen);
    if (m_showLegend)
        DrawLegend();
}

void CGraph::DrawLegend()
{
    DeviceContext& dc = *m_dc;
    dc.SetTextAlign(kAlignLeftTop);
    dc.SelectFont(m_captionFont);
    const int x0 = m_plotRect.right + 10;
    const int bottom = m_plotRect.bottom;
    int y = m_plotRect.top;
    for (std::size_t s = 1; s < m_series.size(); ++s) {
        const GraphSeries& series = m_series[s];
        if (const auto pen = series.pen())
            dc.SelectPen(*pen);
        Line(dc, x0, y, x0 + 20, y);
        dc.TextOut(x0 + 30, y - 5, series.name.substr(0, 30));
        if (series.infoLines && !series.infoLines->empty()) {
            dc.SetTextAlign(kAlignLeftTop);
            int itemY = y + 30;
            for (const auto& line : *series.infoLines) {
                const std::string text = CleanInfoLine(line);
                if (!text.empty()) {
                    dc.FillSolidRect(x0 - 4, itemY + 4, 5, 5, kBulletColour);
                    dc.SetBkColor(kWhite);
                }
                const int top = itemY;
                itemY += 16 * DrawWrappedText(x0 + 5, itemY, text, 25, 15);
                m_infoLineRects.push_back(
                    Rect { x0 - 6, top, m_outerRect.right - 2, std::max(itemY, top + 16) });
                if (itemY > bottom - 10)
                    break;
            }
        }
        y += 20;
    }
}

void CGraph::DrawMinorTicks()
{
    DeviceContext& dc = *m_dc;
    const int subdivisions = m_minorTicks;
    if (subdivisions <= 0)
        return;
    const int left = m_plotRect.left;
    const int top = m_plotRect.top;
    const int right = m_plotRect.right;
    const int bottom = m_plotRect.bottom;

    const int mx = m_xStepPx / subdivisions;
    if (mx < 5)
        return;
    for (int i = 0; i <= (right - left) / m_xStepPx; ++i) {
        for (int j = 0; j < subdivisions; ++j) {
            if (i == 0 && j == 0)
                continue;
            const int x = left + i * m_xStepPx + j * mx;
            if (x < right)
                Line(dc, x, bottom - 1, x, bottom - 6);
        }
    }

    const int my = m_yStepPx / subdivisions;
    if (my < 5)
        return;
    const int intervals = YGridCount(bottom - top, m_yStepPx);
    for (int i = 0; i <= intervals; ++i) {
        for (int j = 0; j < subdivisions; ++j) {
            if (i == 0 && j == 0)
                continue;
            const int y = bottom - i * m_yStepPx - j * my;
            if (y > top)
                Line(dc, left + 1, y, left + 6, y);
        }
    }
}

// A segment is drawn only when both its ends lie within the plot's vertical range; consecutive
// drawn segments go out as one polyline, then the marks of its points on top. The first row has
// no predecessor: its mark is drawn whenever its own point lies within the plot. A value that
// cannot be placed (not finite, a zero or non-finite Y step) counts as off the plot.
void CGraph::DrawSeries(int s)
{
    DeviceContext& dc = *m_dc;
    const auto& values = m_values[static_cast<std::size_t>(s)];
    const int markSize = m_series[static_cast<std::size_t>(s)].markSize;
    const int left = m_plotRect.left;
    const int top = m_plotRect.top;
    const int bottom = m_plotRect.bottom;

    std::vector<Point> run;
    run.reserve(values.size());
    bool runStartsAtFirstRow = false;
    const auto flush = [&] {
        if (run.size() >= 2)
            dc.Polyline(run.data(), run.size());
        if (m_showMarks && markSize > 0) {
            for (std::size_t i = runStartsAtFirstRow ? 0 : 1; i < run.size(); ++i)
                dc.FillSolidRect(
                    run[i].x - markSize / 2, run[i].y - markSize / 2, markSize, markSize, kBlack);
        }
        run.clear();
    };

    for (std::size_t d = 0; d < values.size(); ++d) {
        const auto y = ValueToPixel(values[d], m_yMin, m_yDelta, m_yStepPx, bottom);
        if (!WithinPlot(y, top, bottom)) {
            flush();
            continue;
        }
        if (run.empty())
            runStartsAtFirstRow = d == 0;
        run.push_back(Point { left + static_cast<int>(d) * m_xStepPx, static_cast<int>(*y) });
    }
    flush();
}

// Returns the number of lines drawn.
int CGraph::DrawWrappedText(int x, int y, const std::string& text, int maxChars, int lineHeight)
{
    const auto lines = WrapText(text, static_cast<std::size_t>(std::max(maxChars, 1)));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!lines[i].empty())
            m_dc->TextOut(x, y + static_cast<int>(i) * lineHeight, lines[i]);
    }
    return static_cast<int>(lines.size());
}
