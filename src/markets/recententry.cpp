#include "markets/recententry.h"

#include "platform/textcodec.h"
#include "quote/quoteentry.h"

#include <QFile>
#include <cstdio>
#include <filesystem>
#include <system_error>

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

bool IsDirectoryOnDisk(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::is_directory(
        std::filesystem::path(QFile::encodeName(FromCp1252(path)).toStdString()), ec);
}

} // namespace

std::size_t RecentEntryTextStart(const std::string& path, const IsDirectoryFunction& isDirectory)
{
    // The directory may hold parentheses of its own, so any separator before the last
    // parenthesis may be where it ends.
    const std::size_t lastParen = path.rfind('(');
    if (lastParen == std::string::npos)
        return 0;
    constexpr std::size_t kSeparatorLength = sizeof kRecentEntrySeparator - 1;
    if (const std::size_t mark = path.find(kRecentEntrySeparator);
        mark != std::string::npos && mark < lastParen)
        return mark + kSeparatorLength;
    const IsDirectoryFunction& exists = isDirectory ? isDirectory : IsDirectoryOnDisk;
    for (std::size_t end = path.find_last_of("/\\", lastParen); end != std::string::npos;
         end = end == 0 ? std::string::npos : path.find_last_of("/\\", end - 1)) {
        if (exists(end == 0 ? std::string("/") : path.substr(0, end)))
            return end + 1;
    }
    // The directory has gone (or the entry came from elsewhere): a Windows path ends at its
    // last backslash, since no company name holds one; otherwise the last slash before the
    // first parenthesis is the best guess left.
    const std::size_t backslash = path.find_last_of('\\', lastParen);
    if (backslash != std::string::npos)
        return backslash + 1;
    const std::size_t slash = path.find_last_of('/', path.find('('));
    return slash == std::string::npos ? 0 : slash + 1;
}

std::string RecentEntryInCurrentForm(const std::string& path, const IsDirectoryFunction& isDirectory)
{
    if (path.find('(') == std::string::npos || path.find(kRecentEntrySeparator) != std::string::npos)
        return path;
    const std::size_t start = RecentEntryTextStart(path, isDirectory);
    if (start == 0)
        return path;
    return path.substr(0, start - 1) + kRecentEntrySeparator + path.substr(start);
}

std::optional<RecentEntryParts> ParseRecentEntry(
    const std::string& path, const IsDirectoryFunction& isDirectory)
{
    if (path.empty())
        return std::nullopt;
    const size_t comma = path.rfind(',');
    const size_t symbolStart = comma == std::string::npos ? 0 : comma + 1;
    const size_t symbolEnd = path.size() - 1; // the closing parenthesis is dropped
    const std::string symbol
        = Trim(symbolStart < symbolEnd ? path.substr(symbolStart, symbolEnd - symbolStart) : std::string());

    const size_t companyStart = RecentEntryTextStart(path, isDirectory);
    // The market's parenthesis is the last one before the last comma, so that a company name with
    // a parenthesis of its own ("Foo (A/S)", a simulated quote's marker) reopens whole.
    size_t paren = comma == std::string::npos ? std::string::npos : path.rfind('(', comma);
    if (paren == std::string::npos || paren < companyStart)
        paren = path.find('(', companyStart);
    if (paren == std::string::npos)
        return std::nullopt;

    std::string code;
    if (comma != std::string::npos && comma > paren)
        code = path.substr(paren + 1, comma - paren - 1);

    std::string company = Trim(path.substr(companyStart, paren - companyStart));
    if (company.size() > kMaxCompanyNameLength)
        company.resize(kMaxCompanyNameLength);

    return RecentEntryParts { CountryOfMarketCode(code), symbol, company };
}

std::string RecentListText(
    const std::string& companyName, const std::string& countryCode, const std::string& symbol)
{
    return companyName + " (" + countryCode + ", " + symbol + ")";
}
