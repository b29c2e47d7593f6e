// Draws the program's icon (the toolbar images are drawn by the program itself, at the screen's
// scale). Run from the res/ folder:
//   g++ -std=c++20 -fPIC draw_images.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/draw_images
//   QT_QPA_PLATFORM=offscreen /tmp/draw_images
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

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    for (int size : { 16, 32, 48, 64, 128, 256 })
        DrawIcon(size);
    return 0;
}
