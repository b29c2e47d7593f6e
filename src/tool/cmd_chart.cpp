// kolpex-quote chart DATAFILE --png OUT [--pdf OUT] [--size WxH]: draws a saved day again.

#include "chart/graph.h"
#include "chart/quotechart.h"
#include "platform/qpainterdevicecontext.h"
#include "quotewin/chartrow.h"
#include "quotewin/datafile.h"
#include "quotewin/datafilereader.h"
#include "tool/commands.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <cstdio>

namespace {

bool ParseSize(const QString& text, int& width, int& height)
{
    const QStringList parts = text.split(QLatin1Char('x'));
    if (parts.size() != 2)
        return false;
    bool okW = false, okH = false;
    width = parts[0].toInt(&okW);
    height = parts[1].toInt(&okH);
    return okW && okH && width > 0 && height > 0 && width <= 20000 && height <= 20000;
}

void Render(CGraph& chart, QPaintDevice& device)
{
    QPainter painter(&device);
    QPainterDeviceContext dc(painter);
    chart.Draw(dc);
}

} // namespace

int RunChart(const QStringList& args)
{
    QString dataFile, pngOut, pdfOut;
    int width = 400, height = 620;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--png") && hasValue)
            pngOut = args[++i];
        else if (a == QLatin1String("--pdf") && hasValue)
            pdfOut = args[++i];
        else if (a == QLatin1String("--size") && hasValue) {
            if (!ParseSize(args[++i], width, height))
                return UsageError("--size takes WIDTHxHEIGHT, for example 400x620");
        } else if (!a.startsWith(QLatin1String("--")) && dataFile.isEmpty())
            dataFile = a;
        else
            return UsageError("unexpected argument to chart");
    }
    if (dataFile.isEmpty() || (pngOut.isEmpty() && pdfOut.isEmpty()))
        return UsageError("chart needs a data file and --png OUT or --pdf OUT");

    QFile file(dataFile);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "Can not open a file \"%s\".\n", qPrintable(dataFile));
        return 1;
    }
    const QByteArray bytes = file.readAll();
    const DataFileContents contents = ReadDataFileText(std::string_view(bytes.constData(), bytes.size()));
    if (contents.skippedLines > 0)
        std::fprintf(
            stderr, "kolpex-quote: skipped %d line(s) that are not samples\n", contents.skippedLines);

    // A quote window with default settings: Eastern-time labels, 5-minute interval.
    QuoteEntry entry;
    entry.symbol = SymbolFromDataFileName(dataFile.toStdString());
    CGraph chart([width, height] { return Size { width, height }; });
    ComposeQuoteChart(chart, entry);
    // A simulated quote's samples are kept apart, and their chart says what they are.
    if (QFileInfo(dataFile).absoluteDir().dirName() == QLatin1String(kSimulatedDirectory))
        chart.SetTitle(chart.title() + " (simulated)");
    for (QuoteRecord sample : contents.samples) {
        sample.previousClose = ReplayPreviousClose(sample);
        chart.AddRow(BuildChartRow(sample, true, 0));
    }

    if (!pngOut.isEmpty()) {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::white);
        Render(chart, image);
        if (!image.save(pngOut, "PNG")) {
            std::fprintf(stderr, "Can not open an output file \"%s\".\n", qPrintable(pngOut));
            return 1;
        }
    }
    if (!pdfOut.isEmpty()) {
        QPdfWriter pdf(pdfOut);
        pdf.setResolution(72); // one pixel of the window is one point of the page
        pdf.setPageSize(QPageSize(QSizeF(width, height), QPageSize::Point));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        Render(chart, pdf);
        if (!QFile::exists(pdfOut)) {
            std::fprintf(stderr, "Can not open an output file \"%s\".\n", qPrintable(pdfOut));
            return 1;
        }
    }
    return 0;
}
