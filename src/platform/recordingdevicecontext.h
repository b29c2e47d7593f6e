#pragma once

#include "platform/devicecontext.h"

#include <string>
#include <vector>

// Records every call for tests. Text is measured with a fixed width per byte of half the
// selected font's height (7 pixels per byte at height 14, 8 at height 16), and is as high as
// the font, so that geometry follows exactly from the texts drawn.
class RecordingDeviceContext final : public DeviceContext {
public:
    enum class Kind {
        SelectPen,
        SelectFont,
        MoveTo,
        LineTo,
        Polyline,
        SetTextAlign,
        SetTextColor,
        SetBkColor,
        TextOut,
        Rectangle,
        FillSolidRect
    };

    // One call. points: MoveTo its point, LineTo {from, to}, Polyline its points, TextOut {x, y},
    // FillSolidRect {x, y} and {cx, cy}. The state at the time of the call is recorded with it.
    struct Call {
        Kind kind;
        std::vector<Point> points;
        std::string text;
        Rect rect;
        Rgb colour; // the colour set or filled with; for TextOut the text colour
        PenDesc pen; // the pen selected (for SelectPen the new one)
        FontDesc font; // the font selected (for SelectFont the new one)
        unsigned align = 0;
        Rgb bkColour;
    };

    static int CharWidth(const FontDesc& font) { return font.pixelHeight / 2; }

    PenDesc SelectPen(const PenDesc& pen) override;
    FontDesc SelectFont(const FontDesc& font) override;
    PenDesc CurrentPen() const override { return m_pen; }
    void MoveTo(Point p) override;
    void LineTo(Point p) override;
    void Polyline(const Point* points, std::size_t count) override;
    void SetTextAlign(unsigned align) override;
    void SetTextColor(Rgb colour) override;
    void SetBkColor(Rgb colour) override;
    void TextOut(int x, int y, const std::string& text) override;
    Size GetTextExtent(const std::string& text) override;
    void Rectangle(const Rect& r) override;
    void FillSolidRect(int x, int y, int cx, int cy, Rgb colour) override;

    const std::vector<Call>& calls() const { return m_calls; }
    void Clear() { m_calls.clear(); }

    // Every 1-pixel-or-wider segment drawn, LineTo and Polyline alike, as {from, to} with the pen.
    struct Segment {
        Point from, to;
        PenDesc pen;
        friend bool operator==(const Segment&, const Segment&) = default;
    };
    std::vector<Segment> Segments() const;
    std::vector<const Call*> Texts() const; // the TextOut calls in order
    std::vector<const Call*> Of(Kind kind) const;

    FontDesc font() const { return m_font; }
    Rgb bkColour() const { return m_bkColour; }
    Rgb textColour() const { return m_textColour; }
    unsigned align() const { return m_align; }

private:
    Call Make(Kind kind) const;

    std::vector<Call> m_calls;
    PenDesc m_pen { 1, Rgb { 0, 0, 0 } };
    FontDesc m_font { "System", 16, 700 };
    Point m_position;
    unsigned m_align = kAlignLeftTop;
    Rgb m_textColour { 0, 0, 0 };
    Rgb m_bkColour { 255, 255, 255 };
};
