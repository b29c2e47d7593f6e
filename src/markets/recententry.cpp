#include "markets/recententry.h"

#include <cstdio>

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string Trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && IsSpace(s[b]))
        ++b;
    while (e > b && IsSpace(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

std::string CountryOfMarketCode(const std::string& code)
{
    if (code == "NYSE" || code == "AMEX" || code == "NASDAQ" || code == "MUTUAL")
        return "US";
    if (code == "CVE" || code == "TSX")
        return "CA";
    return code;
}

} // namespace

std::optional<RecentEntryParts> ParseRecentEntry(const std::string& path, const std::string& directory)
{
    if (path.empty())
        return std::nullopt;
    const size_t comma = path.rfind(',');
    const size_t symbolStart = comma == std::string::npos ? 0 : comma + 1;
    const size_t symbolEnd = path.size() - 1; // the closing parenthesis is dropped
    const std::string symbol
        = Trim(symbolStart < symbolEnd ? path.substr(symbolStart, symbolEnd - symbolStart) : std::string());

    const size_t paren = path.find('(');
    if (paren == std::string::npos)
        return std::nullopt;

    std::string code;
    if (comma != std::string::npos && comma > paren)
        code = path.substr(paren + 1, comma - paren - 1);

    // The directory prefix ends at the last separator before the company; both kinds are accepted
    // so that entries written by either convention read back.
    size_t companyStart = 0;
    if (!directory.empty() && directory.size() < paren && path.compare(0, directory.size(), directory) == 0
        && (path[directory.size()] == '/' || path[directory.size()] == '\\')) {
        companyStart = directory.size() + 1;
    } else {
        const size_t sep = path.find_last_of("/\\", paren);
        companyStart = sep == std::string::npos ? 0 : sep + 1;
    }
    const std::string company = Trim(path.substr(companyStart, paren - companyStart));

    return RecentEntryParts { CountryOfMarketCode(code), symbol, company };
}

std::string RecentListText(
    const std::string& companyName, const std::string& countryCode, const std::string& symbol)
{
    return companyName + " (" + countryCode + ", " + symbol + ")";
}
