#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Device pixels, y growing downwards.
struct Point {
    int x = 0, y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    int cx = 0, cy = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// Right and bottom are exclusive, as for every rectangle the chart draws.
struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A solid pen. A width of 0 or 1 (or less) draws 1-pixel lines.
struct PenDesc {
    int width = 1;
    Rgb colour;
    friend bool operator==(const PenDesc&, const PenDesc&) = default;
};

// A font by face, character cell height in pixels and weight (400 normal, 700 bold).
struct FontDesc {
    std::string face;
    int pixelHeight = 0;
    int weight = 400;
    friend bool operator==(const FontDesc&, const FontDesc&) = default;
};

// Text alignment values; any other value is taken as left-top.
constexpr unsigned kAlignLeftTop = 0;
constexpr unsigned kAlignCentreTop = 6;

// The drawing surface the chart paints on: a small subset of a classic device context.
// A fresh surface has a black 1-pixel pen, a white brush, black text on a white opaque
// background and left-top alignment. Texts are code page 1252 bytes.
class DeviceContext {
public:
    virtual ~DeviceContext() = default;

    virtual PenDesc SelectPen(const PenDesc& pen) = 0; // returns the pen selected before
    virtual FontDesc SelectFont(const FontDesc& font) = 0; // returns the font selected before
    virtual PenDesc CurrentPen() const = 0;

    virtual void MoveTo(Point p) = 0;
    virtual void LineTo(Point p) = 0; // from the current position; the end point itself is not drawn
    // Joined segments through points[0..count-1] with the current pen, the last point not drawn;
    // the current position is neither used nor changed.
    virtual void Polyline(const Point* points, std::size_t count) = 0;

    virtual void SetTextAlign(unsigned align) = 0; // returns nothing: the chart never restores it
    virtual void SetTextColor(Rgb colour) = 0;
    virtual void SetBkColor(Rgb colour) = 0;
    virtual void TextOut(int x, int y, const std::string& text) = 0;
    virtual Size GetTextExtent(const std::string& text) = 0; // in the selected font

    virtual void Rectangle(const Rect& r) = 0; // outline with the current pen, filled with the white brush
    virtual void FillSolidRect(int x, int y, int cx, int cy, Rgb colour) = 0; // leaves colour as background
};
