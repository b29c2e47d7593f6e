#include "gateway/livefigures.h"

#include "gateway/sources/sourcefields.h"
#include "market/countries.h"
#include "market/easterntime.h"

#include <algorithm>
#include <cmath>

namespace {

const QByteArray kOpen = QByteArrayLiteral("N/A");

// Beyond this a count is no share count or volume of this world; it prints open rather than wrap.
constexpr double kLargestCount = 1e15;

// A price-like figure of 0 is a provider's way of saying it has none (an index has no bid, and
// Yahoo gives it no day range, open or 52-week range either).
QByteArray Price(const std::optional<double>& v, int places)
{
    return v && *v != 0 ? FormatPrice(*v, places) : kOpen;
}

QByteArray Ratio(const std::optional<double>& v)
{
    return v ? FormatRatio(*v) : kOpen;
}

QByteArray Grouped(const std::optional<double>& v)
{
    if (!v || *v < 0 || *v > kLargestCount)
        return kOpen;
    return FormatGrouped(std::llround(*v));
}

// The provider's places, at least two; more when a change that is not nil would round to nothing,
// so that a currency pair's small loss never shows as "+0.00".
int ChangePlaces(double change, int providerPlaces)
{
    int places = std::clamp(providerPlaces, 2, 6);
    while (places < 6 && change != 0 && std::round(std::fabs(change) * std::pow(10.0, places)) == 0)
        ++places;
    return places;
}

} // namespace

QByteArray SalesSign(const QByteArray& tradingCurrency, const QByteArray& reportingCurrency)
{
    if (tradingCurrency.isEmpty())
        return CurrencySign(reportingCurrency);
    if (reportingCurrency.isEmpty() || SameCurrency(tradingCurrency, reportingCurrency))
        return CurrencySign(tradingCurrency);
    return reportingCurrency.toUpper() + ' ';
}

ServedQuote FormatLiveQuote(const LiveQuote& q, std::int64_t nowUtc)
{
    ServedQuote s;
    const int places = q.pricePlaces.value_or(0);
    s.last = q.last ? FormatPrice(*q.last, places) : kOpen;
    s.high = Price(q.high, places);
    s.low = Price(q.low, places);
    s.open = Price(q.open, places);
    s.previousClose = Price(q.previousClose, places);
    s.bid = q.bid && *q.bid > 0 ? FormatPrice(*q.bid, places) : kOpen;
    s.ask = q.ask && *q.ask > 0 ? FormatPrice(*q.ask, places) : kOpen;
    s.yearHigh = Price(q.yearHigh, places);
    s.yearLow = Price(q.yearLow, places);

    // a source that gives the price and the previous close but not the change still has one
    std::optional<double> change = q.change;
    std::optional<double> changePercent = q.changePercent;
    if (!change && q.last && q.previousClose && *q.previousClose != 0)
        change = *q.last - *q.previousClose;
    if (!changePercent && change && q.previousClose && *q.previousClose > 0)
        changePercent = *change / *q.previousClose * 100.0;
    s.change = change ? FormatSigned(*change, ChangePlaces(*change, places)) : kOpen;
    s.changePercent = changePercent ? FormatSigned(*changePercent) + '%' : kOpen;
    // without a change, the percentage's sign is the one there is
    s.gain = change ? !s.change.startsWith('-') : !changePercent || !s.changePercent.startsWith('-');

    s.priceEarnings = Ratio(q.priceEarnings);
    s.earningsPerShare = Ratio(q.earningsPerShare);
    s.forwardPriceEarnings = Ratio(q.forwardPriceEarnings);
    s.dividendPerShare = Ratio(q.dividendPerShare);
    s.dividendYield = Ratio(q.dividendYield);
    s.returnOnEquity = Ratio(q.returnOnEquity);
    s.beta = Ratio(q.beta);
    s.institutionalOwnership = q.institutionalOwnership ? FormatOwnership(*q.institutionalOwnership) : kOpen;

    s.volume = Grouped(q.volume);
    s.averageVolume = Grouped(q.averageVolume);
    const QByteArray sign = CurrencySign(q.currency);
    s.marketCap = q.marketCap ? sign + FormatScaled(*q.marketCap) : kOpen;
    s.sales = q.sales ? SalesSign(q.currency, q.salesCurrency) + FormatScaled(*q.sales) : kOpen;
    s.sharesOutstanding = q.sharesOutstanding ? FormatScaled(*q.sharesOutstanding) : kOpen;
    s.exchange = q.exchange.isEmpty() ? kOpen : q.exchange;
    s.delayMinutes = q.delayMinutes.value_or(0);

    // without a time of its own the quote is as of now, when it was asked
    const std::int64_t at = q.time.value_or(nowUtc);
    const EasternTime quoteTime = ToEastern(at);
    const bool today = quoteTime.dayNumber == ToEastern(nowUtc).dayNumber;
    s.trading = today;
    s.quoteDay = quoteTime.dayNumber;
    s.quoteHour = quoteTime.hour;
    s.quoteMinute = quoteTime.minute;
    s.timeText = FormatTimeText(quoteTime.dayNumber, quoteTime.hour, quoteTime.minute, !today);
    return s;
}
