#pragma once

#include <optional>
#include <string>

// A security named by a recent-file list entry "<directory>/<company> (<code>, <symbol>)".
struct RecentEntryParts {
    std::string countryCode; // market codes already mapped to country codes
    std::string symbol;
    std::string companyName;
};

// Empty when the text is empty or holds no opening parenthesis. The company starts after the last
// directory separator before the parenthesis, or, when the path starts with directory and a
// separator, right after those: entries are stored under the directory current at the time, and
// a company name may hold a slash itself ("Novo Nordisk A/S ADR").
std::optional<RecentEntryParts> ParseRecentEntry(const std::string& path, const std::string& directory = {});

// "%s (%s, %s)": company name, country code, symbol.
std::string RecentListText(
    const std::string& companyName, const std::string& countryCode, const std::string& symbol);
