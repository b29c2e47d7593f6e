#include "alerts/pricealert.h"

#include "platform/clock.h"
#include "quotewin/numbertext.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

const char* KindWord(AlertKind kind)
{
    switch (kind) {
    case AlertKind::Above:
        return "above";
    case AlertKind::Below:
        return "below";
    case AlertKind::Move:
        break;
    }
    return "move";
}

std::string_view NextWord(std::string_view& rest)
{
    const auto begin = rest.find_first_not_of(" \t");
    if (begin == std::string_view::npos) {
        rest = {};
        return {};
    }
    rest.remove_prefix(begin);
    const auto end = rest.find_first_of(" \t");
    const std::string_view word = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
    return word;
}

// A percentage as short as it reads: 3.5, not 3.500000.
std::string ShortNumber(double value)
{
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    return ec == std::errc() ? std::string(text, end) : FormatFixed2(value);
}

double MovePercent(const QuoteRecord& quote)
{
    return (quote.last - quote.previousClose) / quote.previousClose * 100.0;
}

} // namespace

std::string AlertSecurity(const QuoteEntry& entry)
{
    return entry.countryCode + ':' + entry.symbol;
}

std::optional<AlertLine> ParseAlertLine(std::string_view line)
{
    std::string_view rest = line;
    const std::string_view security = NextWord(rest);
    const std::string_view kind = NextWord(rest);
    const std::string_view number = NextWord(rest);
    if (!NextWord(rest).empty())
        return std::nullopt;
    const auto colon = security.find(':');
    if (colon == 0 || colon == std::string_view::npos || colon + 1 == security.size())
        return std::nullopt;
    AlertLine parsed { std::string(security), {} };
    if (kind == "above")
        parsed.alert.kind = AlertKind::Above;
    else if (kind == "below")
        parsed.alert.kind = AlertKind::Below;
    else if (kind == "move")
        parsed.alert.kind = AlertKind::Move;
    else
        return std::nullopt;
    const char* end = number.data() + number.size();
    const auto [stop, ec] = std::from_chars(number.data(), end, parsed.alert.level, std::chars_format::fixed);
    if (number.empty() || ec != std::errc() || stop != end || !std::isfinite(parsed.alert.level)
        || parsed.alert.level <= 0)
        return std::nullopt;
    return parsed;
}

std::string FormatAlertLevel(const PriceAlert& alert)
{
    return alert.kind == AlertKind::Move ? ShortNumber(alert.level) : FormatFixed2(alert.level);
}

std::string FormatAlertLine(const std::string& security, const PriceAlert& alert)
{
    return security + ' ' + KindWord(alert.kind) + ' ' + FormatAlertLevel(alert);
}

std::optional<bool> AlertConditionHolds(const PriceAlert& alert, const QuoteRecord& quote)
{
    // A page without a price (0) says nothing about the line; it must neither fire nor re-arm.
    if (!(quote.last > 0))
        return std::nullopt;
    switch (alert.kind) {
    case AlertKind::Above:
        return quote.last >= alert.level;
    case AlertKind::Below:
        return quote.last <= alert.level;
    case AlertKind::Move:
        break;
    }
    if (!(quote.previousClose > 0))
        return std::nullopt;
    return std::fabs(MovePercent(quote)) >= alert.level;
}

void AlertWatch::SetAlerts(const std::vector<PriceAlert>& alerts)
{
    std::vector<Watched> next;
    for (const PriceAlert& alert : alerts) {
        Watched watched { alert, true };
        for (const Watched& before : m_alerts)
            if (before.alert == alert)
                watched.armed = before.armed;
        next.push_back(watched);
    }
    m_alerts = std::move(next);
}

std::vector<PriceAlert> AlertWatch::alerts() const
{
    std::vector<PriceAlert> all;
    for (const Watched& watched : m_alerts)
        all.push_back(watched.alert);
    return all;
}

std::vector<PriceAlert> AlertWatch::OnQuote(const QuoteRecord& quote)
{
    std::vector<PriceAlert> fired;
    for (Watched& watched : m_alerts) {
        const std::optional<bool> beyond = AlertConditionHolds(watched.alert, quote);
        if (!beyond)
            continue;
        if (*beyond && watched.armed)
            fired.push_back(watched.alert);
        watched.armed = !*beyond;
    }
    return fired;
}

AlertNotice NoticeFor(const QuoteEntry& entry, const QuoteRecord& quote, const PriceAlert& alert)
{
    AlertNotice notice;
    notice.summary = entry.symbol + ' ' + FormatFixed2(quote.last) + ' ';
    if (alert.kind == AlertKind::Move) {
        char move[48];
        std::snprintf(move, sizeof move, "%+.2f%%", MovePercent(quote));
        notice.summary += std::string("move of ") + move + " (alert at " + ShortNumber(alert.level) + "%)";
    } else {
        notice.summary += std::string(KindWord(alert.kind)) + ' ' + FormatFixed2(alert.level);
    }
    const std::tm t = Clock::LocalTime(quote.quoteTime);
    char when[80];
    std::snprintf(when, sizeof when, "%02d/%02d/%04d %02d:%02d", t.tm_mon + 1, t.tm_mday, t.tm_year + 1900,
        t.tm_hour, t.tm_min);
    const std::string change
        = quote.change.empty() ? FormatFixed2(quote.last - quote.previousClose) : quote.change;
    if (!entry.companyName.empty())
        notice.body = entry.companyName + '\n';
    notice.body += "Change: " + change + "\nQuote time: " + when;
    return notice;
}

std::string WatchLine(const QuoteRecord& quote, const AlertNotice& notice)
{
    const std::tm t = Clock::LocalTime(quote.quoteTime);
    char when[80];
    std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d ", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
        t.tm_hour, t.tm_min);
    return when + notice.summary;
}
