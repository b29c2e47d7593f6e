#include "quotewin/gui/quoteprinting.h"

#include "platform/qpainterdevicecontext.h"
#include "quotewin/gui/ckolpexview.h"

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

bool RunPrintDialog(CKolpexView& view, QPrinter& printer)
{
    if (const auto& answer = DialogAnswer())
        return answer(printer);
    QPrintDialog dialog(&printer, &view);
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

bool RenderQuoteView(CKolpexView& view, QPrinter& printer)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    // The chart lays itself out in the window's pixels; a page has many more, so the picture is
    // scaled up to the page's width or height, whichever is reached first.
    const QRect page = painter.viewport();
    const QSize window = view.size();
    if (window.width() > 0 && window.height() > 0) {
        const double scale = std::min(static_cast<double>(page.width()) / window.width(),
            static_cast<double>(page.height()) / window.height());
        painter.scale(scale, scale);
    }
    QPainterDeviceContext dc(painter);
    view.OnDraw(dc);
    return painter.end();
}

void PrintQuoteView(CKolpexView& view)
{
    QPrinter printer(QPrinter::HighResolution);
    if (RunPrintDialog(view, printer))
        RenderQuoteView(view, printer);
}

void PrintQuoteViewDirect(CKolpexView& view)
{
    if (QPrinterInfo::defaultPrinter().isNull()) {
        PrintQuoteView(view);
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    RenderQuoteView(view, printer);
}

void PreviewQuoteView(CKolpexView& view)
{
    QPrinter printer(QPrinter::HighResolution);
    const std::function<void(QPrinter&)> paint = [&view](QPrinter& p) { RenderQuoteView(view, p); };
    if (const auto& answer = PreviewAnswer()) {
        answer(printer, paint);
        return;
    }
    QPrintPreviewDialog preview(&printer, &view);
    QObject::connect(
        &preview, &QPrintPreviewDialog::paintRequested, &view, [&paint](QPrinter* p) { paint(*p); });
    preview.exec();
}
