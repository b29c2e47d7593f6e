#pragma once

#include "quote/quoteentry.h"
#include "quote/quoterecord.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A line a price may cross: above or below a price, or a move of some percent either way from the
// previous close.
enum class AlertKind { Above, Below, Move };

struct PriceAlert {
    AlertKind kind = AlertKind::Above;
    double level = 0; // a price, or a percentage for a move
    bool operator==(const PriceAlert&) const = default;
};

// The identity alerts are kept under, the same the recent list names a security by: "US:MSFT".
std::string AlertSecurity(const QuoteEntry& entry);

// One line of the alerts file, "US:MSFT above 420.00", "GB:VOD move 3.5"; nothing when the
// line is not one (blank, a comment, or unreadable).
struct AlertLine {
    std::string security;
    PriceAlert alert;
};
std::optional<AlertLine> ParseAlertLine(std::string_view line);
std::string FormatAlertLine(const std::string& security, const PriceAlert& alert);
// The number as the line gives it: a price with two decimals, a percentage as short as it reads.
std::string FormatAlertLevel(const PriceAlert& alert);

// Whether the quote stands beyond the line; nothing when the quote carries no price to judge by.
std::optional<bool> AlertConditionHolds(const PriceAlert& alert, const QuoteRecord& quote);

// The once-per-crossing rule over one window's (or one watch's) successive quotes: an alert fires
// when its condition becomes true, and again only after a quote has shown it false. A quote
// already beyond the line at the start fires at the first quote.
class AlertWatch final {
public:
    // New alerts start armed; one that was set before keeps its state.
    void SetAlerts(const std::vector<PriceAlert>& alerts);
    std::vector<PriceAlert> alerts() const;
    bool empty() const { return m_alerts.empty(); }
    // The alerts this successful quote fires, in the order they were set.
    std::vector<PriceAlert> OnQuote(const QuoteRecord& quote);

private:
    struct Watched {
        PriceAlert alert;
        bool armed = true;
    };
    std::vector<Watched> m_alerts;
};

// What the desktop is told when an alert fires: summary "MSFT 421.30 above 420.00"; body the
// company name (marked " (simulated)" when it is), the change and the quote's time.
struct AlertNotice {
    std::string summary;
    std::string body;
};
AlertNotice NoticeFor(const QuoteEntry& entry, const QuoteRecord& quote, const PriceAlert& alert);

// The line `kolpex-quote watch` prints for a crossing: the quote's local time and the summary.
std::string WatchLine(const QuoteRecord& quote, const AlertNotice& notice);
