// Draws the program's icon and the toolbar strip. Run from the res/ folder:
//   g++ -std=c++20 -fPIC draw_images.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/draw_images
//   QT_QPA_PLATFORM=offscreen /tmp/draw_images
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

void DrawIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    const QRectF box(s * 0.04, s * 0.04, s * 0.92, s * 0.92);
    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    fill.setColorAt(0, QColor(0x2b, 0x6c, 0xc4));
    fill.setColorAt(1, QColor(0x12, 0x34, 0x6e));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(box, s * 0.18, s * 0.18);

    // Faint grid lines behind the chart.
    if (size >= 32) {
        p.setPen(QPen(QColor(255, 255, 255, 50), std::max(1.0, s / 64)));
        for (int i = 1; i < 4; ++i) {
            const double y = box.top() + box.height() * i / 4;
            p.drawLine(QPointF(box.left() + s * 0.1, y), QPointF(box.right() - s * 0.1, y));
        }
    }
    const QPointF points[]
        = { { 0.14, 0.72 }, { 0.30, 0.56 }, { 0.44, 0.64 }, { 0.60, 0.38 }, { 0.72, 0.46 }, { 0.86, 0.22 } };
    QPainterPath line;
    for (std::size_t i = 0; i < std::size(points); ++i) {
        const QPointF pt(points[i].x() * s, points[i].y() * s);
        if (i == 0)
            line.moveTo(pt);
        else
            line.lineTo(pt);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(
        QPen(QColor(0xff, 0xd3, 0x4d), std::max(1.5, s * 0.075), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(line);
    p.end();
    image.save(QStringLiteral("icons/kolpex-%1.png").arg(size));
}

void Magnifier(QPainter& p, QPointF centre, double r, const QColor& colour)
{
    p.setPen(QPen(colour, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, r, r);
    p.setPen(QPen(colour, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + QPointF(r * 0.7, r * 0.7), centre + QPointF(r * 1.7, r * 1.7));
}

void DrawToolbar()
{
    constexpr int w = 45;
    QImage image(w * 10, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0x1d, 0x3d, 0x73);

    // 0: find worldwide, a globe with a magnifier.
    p.setPen(QPen(QColor(0x1f, 0x7a, 0x3c), 1.2));
    p.setBrush(QColor(0xc9, 0xe8, 0xff));
    p.drawEllipse(QPointF(15.5, 7.5), 6.5, 6.5);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(15.5, 7.5), 2.8, 6.5);
    p.drawLine(QPointF(9, 7.5), QPointF(22, 7.5));
    Magnifier(p, QPointF(28, 7), 3.2, ink);

    // 1: properties, three sliders.
    p.save();
    p.translate(w, 0);
    for (int i = 0; i < 3; ++i) {
        const double y = 3.5 + i * 4.5;
        p.setPen(QPen(QColor(0x55, 0x55, 0x55), 1.2));
        p.drawLine(QPointF(12, y), QPointF(33, y));
        p.setPen(QPen(ink, 1));
        p.setBrush(QColor(0xff, 0xd3, 0x4d));
        const double x = 16 + i * 6;
        p.drawRect(QRectF(x - 2, y - 2, 4, 4));
    }
    p.restore();

    // 2: find in a list, list lines with a magnifier.
    p.save();
    p.translate(2 * w, 0);
    p.setPen(QPen(QColor(0x55, 0x55, 0x55), 1.4));
    for (int i = 0; i < 4; ++i)
        p.drawLine(QPointF(9, 2.5 + i * 3.5), QPointF(22, 2.5 + i * 3.5));
    Magnifier(p, QPointF(28, 6.5), 3.5, ink);
    p.restore();

    // 3..9: the markets by their short names.
    const char* markets[] = { "NYSE", "AMEX", "NASD", "TSX", "CVE", "LSE", "FUND" };
    const QColor colours[] = { QColor(0x12, 0x34, 0x6e), QColor(0x12, 0x34, 0x6e), QColor(0x12, 0x34, 0x6e),
        QColor(0xa3, 0x1d, 0x1d), QColor(0xa3, 0x1d, 0x1d), QColor(0x3a, 0x2a, 0x80),
        QColor(0x1f, 0x6a, 0x3c) };
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(11);
    font.setBold(true);
    p.setFont(font);
    for (int i = 0; i < 7; ++i) {
        const QRectF cell((3 + i) * w + 1, 0.5, w - 2, 15);
        p.setPen(QPen(colours[i], 1));
        p.setBrush(QColor(255, 255, 255, 230));
        p.drawRoundedRect(cell.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
        p.drawText(cell, Qt::AlignCenter, QString::fromLatin1(markets[i]));
    }
    p.end();
    image.save(QStringLiteral("toolbar.png"));
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    for (int size : { 16, 32, 48, 64, 128, 256 })
        DrawIcon(size);
    DrawToolbar();
    return 0;
}
