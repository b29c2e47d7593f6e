#include "page/servedquote.h"

#include "market/easterntime.h"

#include <algorithm>
#include <cmath>

QByteArray FormatGrouped(std::int64_t value)
{
    QByteArray digits = QByteArray::number(value < 0 ? -value : value);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, ',');
    return value < 0 ? '-' + digits : digits;
}

int PricePlaces(double price, int providerPlaces)
{
    return std::clamp(providerPlaces, std::fabs(price) < 1.0 ? 4 : 2, 6);
}

QByteArray FormatPrice(double price, int providerPlaces)
{
    return QByteArray::number(price, 'f', PricePlaces(price, providerPlaces));
}

QByteArray FormatSigned(double value, int places)
{
    const double scale = std::pow(10.0, std::clamp(places, 0, 6));
    const double rounded = std::round(value * scale) / scale;
    return (rounded < 0 ? "-" : "+") + QByteArray::number(std::fabs(rounded), 'f', std::clamp(places, 0, 6));
}

QByteArray FormatRatio(double value)
{
    return QByteArray::number(value, 'f', 2);
}

QByteArray FormatScaled(double value)
{
    static const struct {
        double size;
        char suffix;
    } scales[] = { { 1e12, 'T' }, { 1e9, 'B' }, { 1e6, 'M' }, { 1e3, 'K' } };
    for (const auto& scale : scales) {
        // the unit a figure shows in is the one its rounded value reaches
        if (std::fabs(std::round(value / scale.size * 100.0) / 100.0) >= 1.0)
            return QByteArray::number(value / scale.size, 'f', 2) + scale.suffix;
    }
    return QByteArray::number(value, 'f', 2);
}

QByteArray FormatOwnership(double percent)
{
    return QByteArray::number(percent, 'f', 1) + '%';
}

QByteArray FormatTimeText(std::int64_t dayNumber, int hour, int minute, bool withDate)
{
    static const char* const months[]
        = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };
    const int hour12 = hour % 12 == 0 ? 12 : hour % 12;
    QByteArray text = QByteArray::number(hour12) + ':' + QByteArray::number(minute).rightJustified(2, '0')
        + (hour < 12 ? "am" : "pm");
    if (!withDate)
        return text;
    int y = 0, m = 0, d = 0;
    CivilFromDays(dayNumber, y, m, d);
    return QByteArray(months[m - 1]) + ' ' + QByteArray::number(d) + ", " + QByteArray::number(y) + ' '
        + text;
}
