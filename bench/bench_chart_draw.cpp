// Draw of 10,000 rows with four value series into a 400 x 620 image, beside a bare QPainter
// polyline of the same 40,000 points into the same image. Run once each; compare the two.
#include "chart/graph.h"
#include "platform/qpainterdevicecontext.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>

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

// The same points the chart draws, computed up front, into the same image.
void BM_BarePolyline(benchmark::State& state)
{
    CGraph chart = MakeChart();
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        QPainterDeviceContext dc(painter);
        chart.Draw(dc); // fits the scale and the geometry
    }
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
    for (auto _ : state) {
        QPainter painter(&image);
        for (int s = 0; s < 4; ++s) {
            painter.setPen(QPen(QColor(kColours[s].r, kColours[s].g, kColours[s].b), 0));
            painter.drawPolyline(polygons[static_cast<std::size_t>(s)]);
        }
    }
}

} // namespace

// The polyline's set-up draws the chart once, so the fonts are loaded before the timed draw.
BENCHMARK(BM_BarePolyline)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ChartDraw)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ChartDraw)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_BarePolyline)->Unit(benchmark::kMillisecond)->MinTime(0.5);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
