#pragma once

#include <optional>
#include <string>

// A security named by a recent-file list entry "<directory>/<company> (<code>, <symbol>)".
struct RecentEntryParts {
    std::string countryCode; // market codes already mapped to country codes
    std::string symbol;
    std::string companyName;
};

// Empty when the text is empty or holds no opening parenthesis.
std::optional<RecentEntryParts> ParseRecentEntry(const std::string& path);

// "%s (%s, %s)": company name, country code, symbol.
std::string RecentListText(const std::string& companyName, const std::string& countryCode,
                           const std::string& symbol);
