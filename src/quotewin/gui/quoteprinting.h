#pragma once

#include "chart/graph.h"

#include <QSize>
#include <functional>
#include <optional>

class QPrinter;
class QWidget;

// What a printed page shows, taken from the quote window when the print command comes: the chart
// as it stands, laid out for the window's size, and that size. The page is that picture scaled to
// fit, whatever happens to the window while a dialog is open.
struct QuotePrintSnapshot {
    std::optional<CGraph> chart; // none for an inert window: an empty page
    QSize viewSize;
};

// Draws the page into the printer. False when the printer could not be opened.
bool RenderQuotePage(const QuotePrintSnapshot& page, QPrinter& printer);

// Ctrl+P: the print dialog, then the page (a PDF file when the dialog chose one).
void PrintQuotePage(const QuotePrintSnapshot& page, QWidget* dialogParent);
// Print direct: the default printer without a dialog; the dialog when there is no printer.
void PrintQuotePageDirect(const QuotePrintSnapshot& page, QWidget* dialogParent);
// Print preview in a preview window.
void PreviewQuotePage(const QuotePrintSnapshot& page, QWidget* dialogParent);

// Test hooks: answer the print dialog (true = Print) and the preview window instead of showing them.
void SetPrintDialogAnswerForTesting(std::function<bool(QPrinter&)> answer);
void SetPrintPreviewAnswerForTesting(
    std::function<void(QPrinter&, const std::function<void(QPrinter&)>&)> answer);
