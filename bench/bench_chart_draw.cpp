// Draw of 10,000 rows with four value series into a 400 x 620 image, beside a bare QPainter
// polyline of the same 40,000 points into the same image: once each, then alternating in one
// run with their ratio.
#include "chart/graph.h"
#include "platform/qpainterdevicecontext.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRows = 10000;
constexpr int kWidth = 400;
constexpr int kHeight = 620;
const Rgb kColours[] = { { 0, 0, 255 }, { 255, 0, 0 }, { 200, 200, 0 }, { 0, 200, 0 } };

double Value(int series, int row)
{
    return 50.0 + series + 3.0 * std::sin(row * 0.01 + series) + 0.3 * std::sin(row * 0.7);
}

CGraph MakeChart()
{
    CGraph chart([] { return Size { kWidth, kHeight }; });
    chart.AddSeries("Time", 0, std::nullopt);
    for (int s = 0; s < 4; ++s)
        chart.AddSeries("Series", 3, kColours[s]);
    for (int d = 0; d < kRows; ++d) {
        std::vector<std::string> row { std::to_string(d) };
        for (int s = 0; s < 4; ++s) {
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "%.2f", Value(s, d));
            row.emplace_back(buffer);
        }
        chart.AddRow(std::move(row));
    }
    return chart;
}

void BM_ChartDraw(benchmark::State& state)
{
    CGraph chart = MakeChart();
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&image);
        QPainterDeviceContext dc(painter);
        chart.Draw(dc);
    }
}

// The same points the chart draws, computed from a chart already drawn once (which fits its
// scale and geometry and loads the fonts).
std::vector<QPolygon> Polylines(const CGraph& chart)
{
    const double k = chart.m_yStepPx / chart.m_yDelta;
    std::vector<QPolygon> polygons(4);
    for (int s = 0; s < 4; ++s) {
        for (int d = 0; d < kRows; ++d) {
            const double v = std::atof(
                chart.rows()[static_cast<std::size_t>(d)][static_cast<std::size_t>(s + 1)].c_str());
            polygons[static_cast<std::size_t>(s)] << QPoint(chart.m_plotRect.left + d * chart.m_xStepPx,
                chart.m_plotRect.bottom - static_cast<int>(v * k) + static_cast<int>(chart.m_yMin * k));
        }
    }
    return polygons;
}

void DrawChart(CGraph& chart, QImage& image)
{
    QPainter painter(&image);
    QPainterDeviceContext dc(painter);
    chart.Draw(dc);
}

void DrawPolylines(const std::vector<QPolygon>& polygons, QImage& image)
{
    QPainter painter(&image);
    for (int s = 0; s < 4; ++s) {
        painter.setPen(QPen(QColor(kColours[s].r, kColours[s].g, kColours[s].b), 0));
        painter.drawPolyline(polygons[static_cast<std::size_t>(s)]);
    }
}

void BM_BarePolyline(benchmark::State& state)
{
    CGraph chart = MakeChart();
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    DrawChart(chart, image);
    const std::vector<QPolygon> polygons = Polylines(chart);
    for (auto _ : state)
        DrawPolylines(polygons, image);
}

void BM_DrawBesidePolyline(benchmark::State& state)
{
    CGraph chart = MakeChart();
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    DrawChart(chart, image);
    const std::vector<QPolygon> polygons = Polylines(chart);
    double drawNs = 0;
    double lineNs = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        DrawChart(chart, image);
        const auto t1 = std::chrono::steady_clock::now();
        DrawPolylines(polygons, image);
        const auto t2 = std::chrono::steady_clock::now();
        drawNs += std::chrono::duration<double, std::nano>(t1 - t0).count();
        lineNs += std::chrono::duration<double, std::nano>(t2 - t1).count();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["draw_ms"] = drawNs / n / 1e6;
    state.counters["polyline_ms"] = lineNs / n / 1e6;
    state.counters["ratio"] = drawNs / lineNs;
}

} // namespace

// The polyline's set-up draws the chart once, so the fonts are loaded before the timed draw.
BENCHMARK(BM_BarePolyline)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ChartDraw)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ChartDraw)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_BarePolyline)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_DrawBesidePolyline)->Unit(benchmark::kMillisecond)->MinTime(1.0);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
