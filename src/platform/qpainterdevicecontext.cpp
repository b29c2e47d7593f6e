#include "platform/qpainterdevicecontext.h"

#include "platform/textcodec.h"

#include <QFontDatabase>
#include <QPainter>
#include <QPolygon>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

QColor ToQColor(Rgb c)
{
    return QColor(c.r, c.g, c.b);
}

QPen MakePen(const PenDesc& pen, qreal ratio)
{
    if (pen.width <= 1) {
        if (ratio <= 1)
            return QPen(ToQColor(pen.colour), 0); // cosmetic: exactly one pixel on any device
        // One logical pixel wide: as many device pixels as the screen has per logical pixel.
        QPen thin(ToQColor(pen.colour), ratio, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
        thin.setCosmetic(true);
        return thin;
    }
    return QPen(ToQColor(pen.colour), pen.width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void SubstituteMissingFaces(const QString& family)
{
    static const QString kFallback = QStringLiteral("Liberation Sans");
    if (!family.startsWith(QLatin1String("Arial")) || QFontDatabase::hasFamily(family))
        return;
    if (QFont::substitute(family) == kFallback || !QFontDatabase::hasFamily(kFallback))
        return;
    QFont::insertSubstitution(family, kFallback);
}

// The end point moved back one pixel towards the start along the line's longer axis, so that
// a line drawn inclusively covers what a classic device context draws: exact for horizontal and
// vertical lines, within a pixel for slanted ones.
QPointF Shortened(Point from, Point to)
{
    const int dx = to.x - from.x;
    const int dy = to.y - from.y;
    const int major = std::max(std::abs(dx), std::abs(dy));
    if (major == 0)
        return QPointF(to.x, to.y);
    const double back = 1.0 / major;
    return QPointF(
        to.x - static_cast<int>(std::lround(dx * back)), to.y - static_cast<int>(std::lround(dy * back)));
}

} // namespace

QPainterDeviceContext::QPainterDeviceContext(QPainter& painter)
    : m_painter(painter)
    , m_ratio(painter.device() ? painter.device()->devicePixelRatioF() : 1.0)
    // A wide cosmetic pen is centred on the line; moved by this it covers the logical pixel.
    , m_thinOffset(m_ratio > 1 ? QPointF(0.5 - 0.5 / m_ratio, 0.5 - 0.5 / m_ratio) : QPointF())
    , m_qpen(MakePen(m_pen, m_ratio))
{
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    m_painter.setPen(m_qpen);
    m_painter.setBrush(Qt::NoBrush);
    m_font = FontDesc { "Arial", 16, 400 };
    m_qfont = MakeFont(m_font);
}

QFont QPainterDeviceContext::MakeFont(const FontDesc& desc)
{
    const QString family = QString::fromStdString(desc.face);
    SubstituteMissingFaces(family);
    QFont font(family);
    const int cell = std::max(desc.pixelHeight, 1);
    font.setPixelSize(cell);
    font.setWeight(desc.weight >= 600 ? QFont::Bold : QFont::Normal);
    const int lineHeight = QFontMetrics(font).height();
    if (lineHeight > cell)
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(double(cell) * cell / lineHeight))));
    return font;
}

PenDesc QPainterDeviceContext::SelectPen(const PenDesc& pen)
{
    const PenDesc previous = m_pen;
    m_pen = pen;
    m_qpen = MakePen(pen, m_ratio);
    m_painter.setPen(m_qpen);
    return previous;
}

FontDesc QPainterDeviceContext::SelectFont(const FontDesc& font)
{
    FontDesc previous = m_font;
    if (!(font == m_font)) {
        m_font = font;
        m_qfont = MakeFont(font);
        m_currentMetrics = nullptr;
    }
    return previous;
}

const QFontMetrics& QPainterDeviceContext::Metrics()
{
    if (!m_currentMetrics) {
        const auto key = std::make_tuple(m_font.face, m_font.pixelHeight, m_font.weight);
        auto it = m_metrics.find(key);
        if (it == m_metrics.end())
            it = m_metrics.emplace(key, QFontMetrics(m_qfont, m_painter.device())).first;
        m_currentMetrics = &it->second;
    }
    return *m_currentMetrics;
}

void QPainterDeviceContext::LineTo(Point p)
{
    const Point from = m_position;
    m_position = p;
    if (from == p)
        return;
    if (m_pen.width <= 1) {
        const QPointF end = Shortened(from, p);
        if (m_ratio > 1)
            m_painter.drawLine(QPointF(from.x, from.y) + m_thinOffset, end + m_thinOffset);
        else
            m_painter.drawLine(QPoint(from.x, from.y), end.toPoint());
    } else {
        m_painter.drawLine(QPoint(from.x, from.y), QPoint(p.x, p.y));
    }
}

void QPainterDeviceContext::Polyline(const Point* points, std::size_t count)
{
    if (count < 2)
        return;
    QPolygonF polygon(static_cast<int>(count));
    for (std::size_t i = 0; i < count; ++i)
        polygon[static_cast<int>(i)] = QPointF(points[i].x, points[i].y);
    if (m_pen.width <= 1) {
        // Only the last point needs leaving out: every inner point is the start of the next segment.
        std::size_t last = count - 1;
        while (last > 0 && points[last] == points[last - 1])
            --last;
        if (last == 0)
            return;
        polygon.resize(static_cast<int>(last + 1));
        polygon[static_cast<int>(last)] = Shortened(points[last - 1], points[last]);
        if (m_ratio > 1) {
            m_painter.drawPolyline(polygon.translated(m_thinOffset));
            return;
        }
    }
    m_painter.drawPolyline(polygon.toPolygon());
}

void QPainterDeviceContext::TextOut(int x, int y, const std::string& text)
{
    if (text.empty())
        return;
    const QString qtext = FromCp1252(text);
    const QFontMetrics& metrics = Metrics();
    const int width = metrics.horizontalAdvance(qtext);
    const int left = m_align == kAlignCentreTop ? x - width / 2 : x;
    m_painter.fillRect(QRect(left, y, width, metrics.height()), ToQColor(m_bkColour));
    m_painter.setFont(m_qfont);
    m_painter.setPen(ToQColor(m_textColour));
    m_painter.drawText(QPoint(left, y + metrics.ascent()), qtext);
    m_painter.setPen(m_qpen);
}

Size QPainterDeviceContext::GetTextExtent(const std::string& text)
{
    const QFontMetrics& metrics = Metrics();
    return Size { metrics.horizontalAdvance(FromCp1252(text)), metrics.height() };
}

void QPainterDeviceContext::Rectangle(const Rect& r)
{
    if (r.Width() <= 0 || r.Height() <= 0)
        return;
    m_painter.fillRect(QRect(r.left, r.top, r.Width(), r.Height()), Qt::white);
    if (m_pen.width <= 1) {
        const QRect edges = QRect(r.left, r.top, r.Width() - 1, r.Height() - 1).normalized();
        if (m_ratio > 1)
            m_painter.drawRect(QRectF(edges).translated(m_thinOffset));
        else
            m_painter.drawRect(edges);
    } else {
        m_painter.drawRect(QRect(r.left, r.top, r.Width(), r.Height()));
    }
}

void QPainterDeviceContext::FillSolidRect(int x, int y, int cx, int cy, Rgb colour)
{
    if (cx > 0 && cy > 0)
        m_painter.fillRect(QRect(x, y, cx, cy), ToQColor(colour));
    m_bkColour = colour;
}
