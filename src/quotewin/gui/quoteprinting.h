#pragma once

#include <functional>

class CKolpexView;
class QPrinter;

// Draws the view's page into the printer through the view's own OnDraw, scaled to fit the page.
// False when the printer could not be opened.
bool RenderQuoteView(CKolpexView& view, QPrinter& printer);

// Ctrl+P: the print dialog, then the page (a PDF file when the dialog chose one).
void PrintQuoteView(CKolpexView& view);
// Print direct: the default printer without a dialog; the dialog when there is no printer.
void PrintQuoteViewDirect(CKolpexView& view);
// Print preview in a preview window.
void PreviewQuoteView(CKolpexView& view);

// Test hooks: answer the print dialog (true = Print) and the preview window instead of showing them.
void SetPrintDialogAnswerForTesting(std::function<bool(QPrinter&)> answer);
void SetPrintPreviewAnswerForTesting(
    std::function<void(QPrinter&, const std::function<void(QPrinter&)>&)> answer);
