#include "app/toolbarimages.h"

#include <QFont>
#include <QGuiApplication>
#include <QList>
#include <QPainter>
#include <QScreen>
#include <cmath>
#include <set>

namespace {

void Magnifier(QPainter& p, QPointF centre, double r, const QColor& colour)
{
    p.setPen(QPen(colour, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, r, r);
    p.setPen(QPen(colour, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + QPointF(r * 0.7, r * 0.7), centre + QPointF(r * 1.7, r * 1.7));
}

void DrawImages(QPainter& p)
{
    constexpr int w = kToolbarImageWidth;
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
}

} // namespace

QPixmap DrawToolbarStrip(qreal devicePixelRatio)
{
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    QPixmap strip(static_cast<int>(std::ceil(kToolbarImageWidth * kToolbarImageCount * ratio)),
        static_cast<int>(std::ceil(kToolbarImageHeight * ratio)));
    strip.setDevicePixelRatio(ratio);
    strip.fill(Qt::transparent);
    QPainter painter(&strip);
    DrawImages(painter);
    return strip;
}

QList<QIcon> ToolbarIcons()
{
    std::set<qreal> ratios { 1.0, 2.0 };
    for (const QScreen* screen : QGuiApplication::screens())
        ratios.insert(screen->devicePixelRatio());
    QList<QIcon> icons(kToolbarImageCount);
    for (const qreal ratio : ratios) {
        const QPixmap strip = DrawToolbarStrip(ratio);
        const QSize size = QSizeF(kToolbarImageWidth * ratio, kToolbarImageHeight * ratio).toSize();
        for (int cell = 0; cell < kToolbarImageCount; ++cell) {
            QPixmap image = strip.copy(QRect(QPoint(qRound(cell * kToolbarImageWidth * ratio), 0), size));
            image.setDevicePixelRatio(ratio);
            icons[cell].addPixmap(image);
        }
    }
    return icons;
}
