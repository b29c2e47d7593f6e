#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

enum class FaultKind { None, Delay, Stall, Close, Error, Empty, Huge };

// One --fault option: KIND[=VALUE][@CC:SYMBOL]; without a symbol it applies to every request.
struct FaultRule {
    FaultKind kind = FaultKind::None;
    std::int64_t value = 0;
    QString symbol; // "CC:SYMBOL" in upper case, empty for all
};

// What one request gets: an optional delay before the answer, then at most one way of misbehaving.
struct FaultPlan {
    std::int64_t delayMs = 0;
    FaultKind mode = FaultKind::None;
    std::int64_t value = 0; // bytes sent before a stall/close (0: half the body), status, huge size
};

inline constexpr std::int64_t kDefaultHugeBytes = 20 * 1024 * 1024;
inline constexpr int kDefaultErrorStatus = 503;

// Parses the fault syntax; empty optional and a message on error.
std::optional<FaultRule> ParseFault(const QString& text, QString* error);
// The fault plan for one security: global rules first, the security's own rules override them.
FaultPlan ResolveFaults(const std::vector<FaultRule>& rules, const QString& countrySymbol);
