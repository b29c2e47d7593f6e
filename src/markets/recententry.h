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

// What this program stores between the directory and the text of an entry: the directory itself
// ("."), so the entry still reads as a path, and no directory path of the program's holds it. The
// text after it is the company whole, slashes included, whether or not the directory still exists.
// Entries of earlier releases, stored with a plain "/", are read as before.
inline constexpr char kRecentEntrySeparator[] = "/./";

// Tells whether a directory path (code page 1252) names an existing directory.
using IsDirectoryFunction = std::function<bool(const std::string&)>;

// Where the "<company> (<code>, <symbol>)" text of an entry starts, after the directory it was
// stored under: after the separator above where there is one. In an earlier release's entry a
// company name may hold a slash ("Novo Nordisk A/S ADR"), so the directory is the
// longest prefix ending in a separator, before the text's parenthesis, that is an existing
// directory; failing that, it ends at the last backslash (a stored Windows path) or else at the
// last slash before the parenthesis. isDirectory defaults to asking the file system.
std::size_t RecentEntryTextStart(const std::string& path, const IsDirectoryFunction& isDirectory = {});

// An earlier release's entry as this one stores it, its directory found as above; an entry that
// has the separator, or no parenthesis, as it is.
std::string RecentEntryInCurrentForm(const std::string& path, const IsDirectoryFunction& isDirectory = {});

// Empty when the text is empty or its part after the directory holds no opening parenthesis.
// The company name is cut at kMaxCompanyNameLength bytes.
std::optional<RecentEntryParts> ParseRecentEntry(
    const std::string& path, const IsDirectoryFunction& isDirectory = {});

// "%s (%s, %s)": company name, country code, symbol.
std::string RecentListText(
    const std::string& companyName, const std::string& countryCode, const std::string& symbol);
