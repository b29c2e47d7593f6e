#include "platform/recordingdevicecontext.h"

RecordingDeviceContext::Call RecordingDeviceContext::Make(Kind kind) const
{
    Call call { kind, {}, {}, {}, m_textColour, m_pen, m_font, m_align, m_bkColour };
    return call;
}

PenDesc RecordingDeviceContext::SelectPen(const PenDesc& pen)
{
    const PenDesc previous = m_pen;
    m_pen = pen;
    Call call = Make(Kind::SelectPen);
    call.colour = pen.colour;
    m_calls.push_back(std::move(call));
    return previous;
}

FontDesc RecordingDeviceContext::SelectFont(const FontDesc& font)
{
    FontDesc previous = m_font;
    m_font = font;
    m_calls.push_back(Make(Kind::SelectFont));
    return previous;
}

void RecordingDeviceContext::MoveTo(Point p)
{
    m_position = p;
    Call call = Make(Kind::MoveTo);
    call.points = { p };
    m_calls.push_back(std::move(call));
}

void RecordingDeviceContext::LineTo(Point p)
{
    Call call = Make(Kind::LineTo);
    call.points = { m_position, p };
    m_position = p;
    m_calls.push_back(std::move(call));
}

void RecordingDeviceContext::Polyline(const Point* points, std::size_t count)
{
    Call call = Make(Kind::Polyline);
    call.points.assign(points, points + count);
    m_calls.push_back(std::move(call));
}

void RecordingDeviceContext::SetTextAlign(unsigned align)
{
    m_align = align;
    m_calls.push_back(Make(Kind::SetTextAlign));
}

void RecordingDeviceContext::SetTextColor(Rgb colour)
{
    m_textColour = colour;
    m_calls.push_back(Make(Kind::SetTextColor));
}

void RecordingDeviceContext::SetBkColor(Rgb colour)
{
    m_bkColour = colour;
    Call call = Make(Kind::SetBkColor);
    call.colour = colour;
    m_calls.push_back(std::move(call));
}

void RecordingDeviceContext::TextOut(int x, int y, const std::string& text)
{
    Call call = Make(Kind::TextOut);
    call.points = { Point { x, y } };
    call.text = text;
    m_calls.push_back(std::move(call));
}

Size RecordingDeviceContext::GetTextExtent(const std::string& text)
{
    return Size { static_cast<int>(text.size()) * CharWidth(m_font), m_font.pixelHeight };
}

void RecordingDeviceContext::Rectangle(const Rect& r)
{
    Call call = Make(Kind::Rectangle);
    call.rect = r;
    m_calls.push_back(std::move(call));
}

void RecordingDeviceContext::FillSolidRect(int x, int y, int cx, int cy, Rgb colour)
{
    m_bkColour = colour;
    Call call = Make(Kind::FillSolidRect);
    call.points = { Point { x, y }, Point { cx, cy } };
    call.rect = Rect { x, y, x + cx, y + cy };
    call.colour = colour;
    m_calls.push_back(std::move(call));
}

std::vector<RecordingDeviceContext::Segment> RecordingDeviceContext::Segments() const
{
    std::vector<Segment> segments;
    for (const Call& call : m_calls) {
        if (call.kind == Kind::LineTo) {
            segments.push_back(Segment { call.points[0], call.points[1], call.pen });
        } else if (call.kind == Kind::Polyline) {
            for (std::size_t i = 1; i < call.points.size(); ++i)
                segments.push_back(Segment { call.points[i - 1], call.points[i], call.pen });
        }
    }
    return segments;
}

std::vector<const RecordingDeviceContext::Call*> RecordingDeviceContext::Of(Kind kind) const
{
    std::vector<const Call*> found;
    for (const Call& call : m_calls) {
        if (call.kind == kind)
            found.push_back(&call);
    }
    return found;
}

std::vector<const RecordingDeviceContext::Call*> RecordingDeviceContext::Texts() const
{
    return Of(Kind::TextOut);
}
