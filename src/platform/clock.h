#pragma once

#include <cstdint>
#include <ctime>
#include <functional>

// The machine's clock, replaceable in tests so that "today" and "now" are inputs.
namespace Clock {

std::int64_t Now(); // seconds since 1970-01-01 UTC
void SetNowForTesting(std::function<std::int64_t()> now); // empty function restores the real clock

std::tm LocalTime(std::int64_t secondsSinceEpoch); // broken down in the local time zone

} // namespace Clock
