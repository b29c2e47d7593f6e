#pragma once

#include "chart/graphseries.h"
#include "platform/devicecontext.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

// The program's line chart: a caption, a series table (record 0 is the X axis), rows of values
// kept as text, a few user settings and a fixed layout. It has no window; its owner hands it a
// surface to draw on. Settings and layout are public: the Properties dialog edits them in place.
class CGraph final {
public:
    // frameClientSize gives the client size of the window containing the parent view; without
    // it the chart keeps m_outerRect as it is.
    explicit CGraph(std::function<Size()> frameClientSize = {});

    void SetTitle(const std::string& title);
    const std::string& title() const { return m_title; }

    void RemoveAllSeries();
    int AddSeries(const std::string& name, int markSize, std::optional<Rgb> colour); // returns index
    void SetSeriesName(int index, const std::string& name); // an index outside the table is ignored
    void SetSeriesInfoLines(int index, std::vector<std::string> lines); // likewise

    void RemoveAllRows();
    void AddRow(std::vector<std::string> row);

    int SeriesCount() const { return static_cast<int>(m_series.size()); }
    int RowCount() const { return static_cast<int>(m_rows.size()); }
    const std::vector<GraphSeries>& series() const { return m_series; }
    const std::vector<std::vector<std::string>>& rows() const { return m_rows; }

    void Draw(DeviceContext& dc);
    void Autoscale(); // fits m_yMin and m_yDelta to the rows over the current m_plotRect

    // User settings.
    bool m_yAutoscale = true;
    bool m_yGrid = true;
    double m_yMin = -20.0;
    double m_yDelta = 5.0;
    bool m_xGrid = true;
    double m_xMin = 0.0;
    double m_xDelta = 10.0;
    bool m_showMarks = false;
    bool m_showLegend = true;
    int m_lineWidth = 1;

    // Layout.
    bool m_fitToParent = true;
    bool m_drawFrame = true;
    Rect m_outerRect { 20, 20, 820, 520 };
    int m_sideInset = 10;
    int m_topInset = 10;
    int m_plotMargin = 50;
    int m_legendWidth = 100;
    int m_xStepPx = 50;
    int m_yStepPx = 50;
    int m_minorTicks = 5;
    Rect m_plotRect {};
    // Where the last draw put each info line of the series that carries them, in order; a line
    // the legend had no room for is left out.
    std::vector<Rect> m_infoLineRects;

    // Appearance.
    FontDesc m_titleFont { "Arial Cyr", 16, 400 };
    FontDesc m_labelFont { "Arial Cyr", 14, 400 };
    FontDesc m_captionFont { "Arial Cyr", 14, 400 };
    PenDesc m_gridPen { 1, Rgb { 220, 220, 220 } };
    Rgb m_titleColor { 0, 0, 0 };
    Rgb m_labelColor { 0, 0, 0 };

private:
    void DrawFrame();
    void DrawAxes();
    void DrawMinorTicks();
    void DrawSeries(int s);
    int DrawWrappedText(int x, int y, const std::string& text, int maxChars, int lineHeight);
    void DrawLegend();
    void ParseValues();

    std::function<Size()> m_frameClientSize;
    std::string m_title;
    std::vector<GraphSeries> m_series;
    std::vector<std::vector<std::string>> m_rows;

    // Valid only while Draw runs.
    DeviceContext* m_dc = nullptr;
    std::vector<std::vector<double>> m_values; // [series][row], NaN where a row has no such column
};
