#include "market/market.h"

#include "market/countries.h"
#include "market/easterntime.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr int kSessionMinutes = 390; // 9:30 to 16:00
constexpr int kOpenMinuteOfDay = 9 * 60 + 30;
constexpr double kTwoPi = 6.283185307179586;

std::uint64_t SplitMix(std::uint64_t& state)
{
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::uint64_t Fnv(const QByteArray& bytes, std::uint64_t h = 1469598103934665603ULL)
{
    for (char c : bytes) {
        h ^= std::uint8_t(c);
        h *= 1099511628211ULL;
    }
    return h;
}

// A small generator seeded by the security and a purpose, so each figure has its own stream.
class Random {
public:
    Random(const Security& s, std::uint64_t salt, std::int64_t day = 0)
        : m_state(Fnv(s.country + ':' + s.symbol.toUpper()) ^ (salt * 0x2545F4914F6CDD1DULL)
            ^ (std::uint64_t(day) * 0x9E3779B97F4A7C15ULL))
    {
        SplitMix(m_state);
    }
    double uniform() { return double(SplitMix(m_state) >> 11) / 9007199254740992.0; }
    double between(double a, double b) { return a + (b - a) * uniform(); }
    double gauss()
    {
        const double u1 = std::max(uniform(), 1e-12);
        const double u2 = uniform();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(kTwoPi * u2);
    }

private:
    std::uint64_t m_state;
};

struct Profile {
    double basePrice;
    double dailyVolatility;
    double phase1, phase2;
    double shares; // outstanding
    double averageVolume;
    double earningsYield; // eps / price; negative for a loss
    double dividendYield; // percent, 0 for none
    double beta;
    double returnOnEquity;
    double institutional;
    double salesPerShare;
    int delay;
};

Profile MakeProfile(const Security& s)
{
    Random r(s, 1);
    Profile p {};
    p.phase1 = r.between(0, kTwoPi);
    p.phase2 = r.between(0, kTwoPi);
    const QByteArray& c = s.country;
    double priceScale = 1.0;
    if (c == "JP")
        priceScale = 40.0;
    else if (c == "GB")
        priceScale = 8.0; // pence
    else if (c == "SE")
        priceScale = 4.0;
    switch (s.kind) {
    case SecurityKind::Fund:
        p.basePrice = std::exp(r.between(std::log(8.0), std::log(90.0)));
        p.dailyVolatility = r.between(0.003, 0.009);
        p.shares = 0;
        p.averageVolume = 0;
        p.earningsYield = 0;
        p.dividendYield = r.uniform() < 0.7 ? r.between(0.3, 4.5) : 0;
        p.beta = r.between(0.3, 1.3);
        break;
    case SecurityKind::Venture:
        p.basePrice = std::exp(r.between(std::log(0.08), std::log(6.0)));
        p.dailyVolatility = r.between(0.02, 0.05);
        p.shares = std::exp(r.between(std::log(15e6), std::log(400e6)));
        p.averageVolume = p.shares * r.between(0.0005, 0.004);
        p.earningsYield = r.uniform() < 0.75 ? -r.between(0.01, 0.3) : r.between(0.01, 0.12);
        p.dividendYield = 0;
        p.beta = r.between(0.6, 2.8);
        p.salesPerShare = r.uniform() < 0.5 ? 0 : p.basePrice * r.between(0.05, 1.5);
        break;
    case SecurityKind::Stock:
        p.basePrice = std::exp(r.between(std::log(6.0), std::log(420.0))) * priceScale;
        p.dailyVolatility = r.between(0.008, 0.025);
        p.shares = std::exp(r.between(std::log(40e6), std::log(8e9)));
        p.averageVolume = p.shares * r.between(0.002, 0.012);
        p.earningsYield = r.uniform() < 0.85 ? r.between(0.02, 0.12) : -r.between(0.01, 0.15);
        p.dividendYield = r.uniform() < 0.65 ? r.between(0.4, 5.5) : 0;
        p.beta = r.between(0.35, 2.1);
        p.salesPerShare = p.basePrice * r.between(0.15, 3.5);
        break;
    }
    p.returnOnEquity = p.earningsYield > 0 ? r.between(4.0, 45.0) : -r.between(1.0, 30.0);
    p.institutional = s.kind == SecurityKind::Venture ? r.between(1.0, 25.0) : r.between(20.0, 92.0);
    p.delay = (c == "US" || c == "CA" || c == "GB") ? 15 : 20;
    return p;
}

double Tick(double price)
{
    return price < 1.0 ? 0.005 : 0.01;
}

double RoundToTick(double price)
{
    const double tick = Tick(price);
    return std::max(tick, std::round(price / tick) * tick);
}

double Anchor(const Profile& p, const Security& s, std::int64_t day)
{
    Random r(s, 2, day);
    const double wave = 0.12 * std::sin(kTwoPi * double(day) / 173.0 + p.phase1)
        + 0.04 * std::sin(kTwoPi * double(day) / 41.0 + p.phase2);
    return p.basePrice * std::exp(wave + p.dailyVolatility * 0.45 * r.gauss());
}

// The whole session's path: a bridge from the day's open to its close with seeded steps.
std::array<double, kSessionMinutes + 1> SessionPath(const Security& s, std::int64_t day)
{
    const Profile p = MakeProfile(s);
    const double previousClose = RoundToTick(Anchor(p, s, PreviousTradingDay(day)));
    const double close = RoundToTick(Anchor(p, s, day));
    Random r(s, 3, day);
    const double open = RoundToTick(previousClose * std::exp(0.3 * p.dailyVolatility * r.gauss()));
    std::array<double, kSessionMinutes + 1> walk {};
    const double step = p.dailyVolatility / std::sqrt(double(kSessionMinutes));
    for (int k = 1; k <= kSessionMinutes; ++k)
        walk[k] = walk[k - 1] + step * r.gauss();
    std::array<double, kSessionMinutes + 1> path {};
    const double drift = std::log(close / open);
    for (int k = 0; k <= kSessionMinutes; ++k) {
        const double t = double(k) / kSessionMinutes;
        path[k] = RoundToTick(open * std::exp(drift * t + walk[k] - walk[kSessionMinutes] * t));
    }
    path[0] = open;
    path[kSessionMinutes] = close;
    return path;
}

} // namespace

bool IsTradingDay(std::int64_t dayNumber)
{
    const int weekday = WeekdayFromDays(dayNumber);
    return weekday != 0 && weekday != 6;
}

std::int64_t PreviousTradingDay(std::int64_t dayNumber)
{
    do {
        --dayNumber;
    } while (!IsTradingDay(dayNumber));
    return dayNumber;
}

double ClosingPrice(const Security& security, std::int64_t dayNumber)
{
    return RoundToTick(Anchor(MakeProfile(security), security, dayNumber));
}

double PriceAtMinute(const Security& security, std::int64_t dayNumber, int minute)
{
    return SessionPath(security, dayNumber)[std::clamp(minute, 0, kSessionMinutes)];
}

Security MarkedSimulated(const Security& security)
{
    Security marked = security;
    marked.name += " (simulated)";
    return marked;
}

ServedQuote SimulateQuote(const Security& s, std::int64_t utcSeconds)
{
    const Profile p = MakeProfile(s);
    const EasternTime et = ToEastern(utcSeconds);
    const int minuteOfDay = et.hour * 60 + et.minute;

    ServedQuote q;
    std::int64_t day = et.dayNumber;
    int minute = minuteOfDay - kOpenMinuteOfDay;
    q.trading = IsTradingDay(day) && minute >= 0 && minute < kSessionMinutes;
    if (!q.trading) {
        // the last close: today's once the session is over, else the previous session's
        if (!IsTradingDay(day) || minute < 0)
            day = PreviousTradingDay(day);
        minute = kSessionMinutes;
    }
    const auto path = SessionPath(s, day);
    const double last = path[minute];
    double high = path[0], low = path[0];
    for (int k = 0; k <= minute; ++k) {
        high = std::max(high, path[k]);
        low = std::min(low, path[k]);
    }
    const double previousClose = ClosingPrice(s, PreviousTradingDay(day));

    // the 52-week range: the past year's closes and today's range
    double yearHigh = high, yearLow = low;
    for (std::int64_t d = day - 364; d < day; ++d) {
        if (!IsTradingDay(d))
            continue;
        const double c = ClosingPrice(s, d);
        yearHigh = std::max(yearHigh, c);
        yearLow = std::min(yearLow, c);
    }

    q.quoteDay = day;
    q.quoteHour = (kOpenMinuteOfDay + minute) / 60;
    q.quoteMinute = (kOpenMinuteOfDay + minute) % 60;
    q.timeText = FormatTimeText(day, q.quoteHour, q.quoteMinute, !q.trading);
    q.delayMinutes = p.delay;

    q.last = FormatPrice(last);
    q.high = FormatPrice(high);
    q.low = FormatPrice(low);
    q.open = FormatPrice(path[0]);
    q.previousClose = FormatPrice(previousClose);
    q.yearHigh = FormatPrice(yearHigh);
    q.yearLow = FormatPrice(yearLow);
    const double change = last - previousClose;
    q.change = FormatSigned(change);
    q.gain = !q.change.startsWith('-');
    q.changePercent = FormatSigned(change / previousClose * 100.0) + '%';

    Random r(s, 4, day * 1000 + minute);
    const QByteArray na = "N/A";
    const QByteArray cur = CurrencySign(CountryCurrency(s.country));
    const bool fund = s.kind == SecurityKind::Fund;
    if (fund) {
        q.bid = q.ask = na;
    } else {
        const double tick = Tick(last);
        q.bid = FormatPrice(std::max(tick, last - tick * double(1 + int(r.uniform() * 3))));
        q.ask = FormatPrice(last + tick * double(1 + int(r.uniform() * 3)));
    }
    q.exchange = "Simulated";
    q.beta = FormatRatio(p.beta);

    const double referencePrice = previousClose;
    if (fund || p.earningsYield == 0) {
        q.priceEarnings = q.earningsPerShare = q.forwardPriceEarnings = q.returnOnEquity = na;
    } else {
        const double eps = referencePrice * p.earningsYield;
        q.earningsPerShare = FormatRatio(eps);
        q.priceEarnings = eps > 0 ? FormatRatio(last / eps) : na;
        q.forwardPriceEarnings = eps > 0 ? FormatRatio(last / (eps * 1.12)) : na;
        q.returnOnEquity = FormatRatio(p.returnOnEquity);
    }
    if (p.dividendYield > 0) {
        const double dividend = referencePrice * p.dividendYield / 100.0;
        q.dividendPerShare = FormatRatio(dividend);
        q.dividendYield = FormatRatio(dividend / last * 100.0);
    } else {
        q.dividendPerShare = na;
        q.dividendYield = na;
    }

    if (fund) {
        q.volume = q.averageVolume = q.institutionalOwnership = q.sharesOutstanding = q.sales = na;
        Random assets(s, 5);
        q.marketCap = cur + FormatScaled(std::exp(assets.between(std::log(2e8), std::log(9e10))));
    } else {
        const double sessionShare = double(minute + 1) / double(kSessionMinutes + 1);
        Random v(s, 6, day);
        const double dayVolume = p.averageVolume * std::exp(0.35 * v.gauss());
        q.volume
            = FormatGrouped(std::int64_t(dayVolume * std::sqrt(sessionShare) * (0.97 + 0.03 * r.uniform())));
        q.averageVolume = FormatGrouped(std::int64_t(p.averageVolume / 100.0) * 100);
        q.institutionalOwnership = FormatOwnership(p.institutional);
        q.sharesOutstanding = FormatScaled(p.shares);
        q.marketCap = cur + FormatScaled(p.shares * last);
        q.sales = p.salesPerShare > 0 ? cur + FormatScaled(p.salesPerShare * p.shares) : na;
    }
    return q;
}
