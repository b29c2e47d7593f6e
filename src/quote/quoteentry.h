#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One security plus the settings its quote window opens with. Texts are code page 1252 bytes.
struct QuoteEntry {
    bool writeToFile = false;
    bool easternTime = true;
    std::int32_t refreshInterval = 5; // minutes
    std::string countryCode;
    std::string symbol;
    std::string companyName;
    std::string volume;
    std::string listed;

    bool operator==(const QuoteEntry&) const = default;
};

using EntryArray = std::vector<QuoteEntry>;

// The longest company name taken from outside (a quote page, a recent-list entry); anything
// longer is cut here, so titles, menus and the settings file stay small.
inline constexpr std::size_t kMaxCompanyNameLength = 256;
