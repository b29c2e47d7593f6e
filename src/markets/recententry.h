#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

// A security named by a recent-file list entry "<directory>/<company> (<code>, <symbol>)".
struct RecentEntryParts {
    std::string countryCode; // market codes already mapped to country codes
    std::string symbol;
    std::string companyName;
};

// Tells whether a directory path (code page 1252) names an existing directory.
using IsDirectoryFunction = std::function<bool(const std::string&)>;

// Where the "<company> (<code>, <symbol>)" text of an entry starts, after the directory it was
// stored under. A company name may hold a slash ("Novo Nordisk A/S ADR"), so the directory is the
// longest prefix ending in a separator, before the text's parenthesis, that is an existing
// directory; failing that, it ends at the last backslash (a stored Windows path) or else at the
// last slash before the parenthesis. isDirectory defaults to asking the file system.
std::size_t RecentEntryTextStart(const std::string& path, const IsDirectoryFunction& isDirectory = {});

// Empty when the text is empty or its part after the directory holds no opening parenthesis.
// The company name is cut at kMaxCompanyNameLength bytes.
std::optional<RecentEntryParts> ParseRecentEntry(
    const std::string& path, const IsDirectoryFunction& isDirectory = {});

// "%s (%s, %s)": company name, country code, symbol.
std::string RecentListText(
    const std::string& companyName, const std::string& countryCode, const std::string& symbol);
