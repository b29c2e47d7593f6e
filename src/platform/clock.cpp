#include "platform/clock.h"

#include <utility>

namespace {
std::function<std::int64_t()>& Override()
{
    static std::function<std::int64_t()> now;
    return now;
}
} // namespace

std::int64_t Clock::Now()
{
    if (const auto& now = Override())
        return now();
    return static_cast<std::int64_t>(std::time(nullptr));
}

void Clock::SetNowForTesting(std::function<std::int64_t()> now)
{
    Override() = std::move(now);
}

std::tm Clock::LocalTime(std::int64_t secondsSinceEpoch)
{
    const std::time_t t = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm tm {};
    localtime_r(&t, &tm);
    return tm;
}
