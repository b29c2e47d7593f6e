#pragma once

#include "platform/devicecontext.h"

#include <QFont>
#include <QFontMetrics>
#include <QPen>
#include <QPointF>
#include <map>
#include <tuple>

class QPainter;

// Draws through a QPainter onto any paint device (a widget, a printer, an image), the way a
// classic device context would: 1-pixel lines leave out their end point, text goes on an opaque
// background box, rectangles exclude their right and bottom edges. Widths are logical pixels: a
// 1-pixel line covers one logical pixel's device pixels on a high-DPI screen, and one device pixel
// on a printer.
//
// Fonts: the height is the character cell height (ascent + descent). Qt's pixel size is the em
// size, so the pixel size is chosen to make the font's line height match the cell height (14
// gives pixel size 12 for Liberation Sans). A face the system lacks whose name starts with
// "Arial" ("Arial Cyr") is mapped to the metric-compatible "Liberation Sans" when installed.
class QPainterDeviceContext final : public DeviceContext {
public:
    explicit QPainterDeviceContext(QPainter& painter);

    PenDesc SelectPen(const PenDesc& pen) override;
    FontDesc SelectFont(const FontDesc& font) override;
    PenDesc CurrentPen() const override { return m_pen; }

    void MoveTo(Point p) override { m_position = p; }
    void LineTo(Point p) override;
    void Polyline(const Point* points, std::size_t count) override;

    void SetTextAlign(unsigned align) override { m_align = align; }
    void SetTextColor(Rgb colour) override { m_textColour = colour; }
    void SetBkColor(Rgb colour) override { m_bkColour = colour; }
    void TextOut(int x, int y, const std::string& text) override;
    Size GetTextExtent(const std::string& text) override;

    void Rectangle(const Rect& r) override;
    void FillSolidRect(int x, int y, int cx, int cy, Rgb colour) override;

    static QFont MakeFont(const FontDesc& font); // the QFont a description stands for

private:
    const QFontMetrics& Metrics();

    QPainter& m_painter;
    qreal m_ratio; // device pixels per logical pixel
    QPointF m_thinOffset; // where a thin line's device pixels start within its logical pixel
    PenDesc m_pen { 1, Rgb { 0, 0, 0 } };
    QPen m_qpen;
    FontDesc m_font;
    QFont m_qfont;
    std::map<std::tuple<std::string, int, int>, QFontMetrics> m_metrics;
    const QFontMetrics* m_currentMetrics = nullptr;
    Point m_position;
    unsigned m_align = kAlignLeftTop;
    Rgb m_textColour { 0, 0, 0 };
    Rgb m_bkColour { 255, 255, 255 };
};
