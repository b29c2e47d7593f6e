#include "quotewin/gui/quoteprinting.h"

#include "platform/qpainterdevicecontext.h"

#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>

namespace {

std::function<bool(QPrinter&)>& DialogAnswer()
{
    static std::function<bool(QPrinter&)> answer;
    return answer;
}

std::function<void(QPrinter&, const std::function<void(QPrinter&)>&)>& PreviewAnswer()
{
    static std::function<void(QPrinter&, const std::function<void(QPrinter&)>&)> answer;
    return answer;
}

bool RunPrintDialog(QWidget* parent, QPrinter& printer)
{
    if (const auto& answer = DialogAnswer())
        return answer(printer);
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace

void SetPrintDialogAnswerForTesting(std::function<bool(QPrinter&)> answer)
{
    DialogAnswer() = std::move(answer);
}

void SetPrintPreviewAnswerForTesting(
    std::function<void(QPrinter&, const std::function<void(QPrinter&)>&)> answer)
{
    PreviewAnswer() = std::move(answer);
}

bool RenderQuotePage(const QuotePrintSnapshot& page, QPrinter& printer)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    // The chart lays itself out in the window's pixels; a page has many more, so the picture is
    // scaled up to the page's width or height, whichever is reached first.
    const QRect area = painter.viewport();
    const QSize window = page.viewSize;
    if (window.width() > 0 && window.height() > 0) {
        const double scale = std::min(static_cast<double>(area.width()) / window.width(),
            static_cast<double>(area.height()) / window.height());
        painter.scale(scale, scale);
    }
    if (page.chart) {
        QPainterDeviceContext dc(painter);
        CGraph chart = *page.chart; // drawing lays the chart out again; the snapshot stays as taken
        chart.Draw(dc);
    }
    return painter.end();
}

void PrintQuotePage(const QuotePrintSnapshot& page, QWidget* dialogParent)
{
    QPrinter printer(QPrinter::HighResolution);
    if (RunPrintDialog(dialogParent, printer))
        RenderQuotePage(page, printer);
}

void PrintQuotePageDirect(const QuotePrintSnapshot& page, QWidget* dialogParent)
{
    if (QPrinterInfo::defaultPrinter().isNull()) {
        PrintQuotePage(page, dialogParent);
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    RenderQuotePage(page, printer);
}

void PreviewQuotePage(const QuotePrintSnapshot& page, QWidget* dialogParent)
{
    QPrinter printer(QPrinter::HighResolution);
    const std::function<void(QPrinter&)> paint = [&page](QPrinter& p) { RenderQuotePage(page, p); };
    if (const auto& answer = PreviewAnswer()) {
        answer(printer, paint);
        return;
    }
    QPrintPreviewDialog preview(&printer, dialogParent);
    QObject::connect(
        &preview, &QPrintPreviewDialog::paintRequested, &preview, [&paint](QPrinter* p) { paint(*p); });
    preview.exec();
}
