#include "market/dump.h"

#include "market/easterntime.h"
#include "market/market.h"
#include "page/pagerender.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <cstdlib>

namespace {

// A figure as a number the way it reads: the leading decimal number, 0 for "N/A".
double Number(const QByteArray& text)
{
    return std::strtod(text.constData(), nullptr);
}

QString Text(const QByteArray& cp1252)
{
    return QString::fromLatin1(cp1252); // the test compares bytes; Latin-1 keeps them one to one
}

} // namespace

QByteArray DumpQuote(
    const SecurityCatalogue& catalogue, const QString& countrySymbol, std::int64_t utcSeconds)
{
    QJsonObject o;
    o[QStringLiteral("request")] = countrySymbol;
    const Security* s = catalogue.find(countrySymbol);
    o[QStringLiteral("found")] = s != nullptr;
    if (!s)
        return QJsonDocument(o).toJson(QJsonDocument::Compact);
    const ServedQuote q = SimulateQuote(*s, utcSeconds);
    o[QStringLiteral("country")] = Text(s->country);
    o[QStringLiteral("symbol")] = Text(s->symbol);
    o[QStringLiteral("company")] = Text(MarkedSimulated(*s).name);
    o[QStringLiteral("delayMinutes")] = q.delayMinutes;
    o[QStringLiteral("last")] = Number(q.last);
    o[QStringLiteral("high")] = Number(q.high);
    o[QStringLiteral("low")] = Number(q.low);
    o[QStringLiteral("open")] = Number(q.open);
    o[QStringLiteral("previousClose")] = Number(q.previousClose);
    o[QStringLiteral("bid")] = Number(q.bid);
    o[QStringLiteral("ask")] = Number(q.ask);
    o[QStringLiteral("yearHigh")] = Number(q.yearHigh);
    o[QStringLiteral("yearLow")] = Number(q.yearLow);
    o[QStringLiteral("priceEarnings")] = Number(q.priceEarnings);
    o[QStringLiteral("earningsPerShare")] = Number(q.earningsPerShare);
    o[QStringLiteral("dividendPerShare")] = Number(q.dividendPerShare);
    o[QStringLiteral("dividendYield")] = Number(q.dividendYield);
    o[QStringLiteral("forwardPriceEarnings")] = Number(q.forwardPriceEarnings);
    o[QStringLiteral("returnOnEquity")] = Number(q.returnOnEquity);
    o[QStringLiteral("beta")] = Number(q.beta);
    o[QStringLiteral("change")] = Text(q.change + " (" + q.changePercent + ')');
    o[QStringLiteral("volume")] = Text(q.volume);
    o[QStringLiteral("averageVolume")] = Text(q.averageVolume);
    o[QStringLiteral("institutionalOwnership")] = Text(q.institutionalOwnership);
    o[QStringLiteral("marketCap")] = Text(q.marketCap);
    o[QStringLiteral("sharesOutstanding")] = Text(q.sharesOutstanding);
    o[QStringLiteral("exchange")] = Text(q.exchange);
    o[QStringLiteral("sales")] = Text(q.sales);
    o[QStringLiteral("timeText")] = Text(q.timeText);
    o[QStringLiteral("trading")] = q.trading;
    int y = 0, m = 0, d = 0;

    CivilFromDays(q.quoteDay, y, m, d);
    o[QStringLiteral("quoteYear")] = y;
    o[QStringLiteral("quoteMonth")] = m;
    o[QStringLiteral("quoteDay")] = d;
    o[QStringLiteral("quoteHour")] = q.quoteHour;
    o[QStringLiteral("quoteMinute")] = q.quoteMinute;
    const QByteArray page = RenderQuotePage(MarkedSimulated(*s), q);
    o[QStringLiteral("pageBytes")] = qint64(page.size());
    // where the figures end: a body cut after this still holds all of them
    o[QStringLiteral("figuresEndBytes")] = qint64(page.indexOf("</a></p>") + 8);
    // where the quote time begins: a body cut before this holds no quote
    o[QStringLiteral("timeStartBytes")] = qint64(page.indexOf("Data Source"));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}
