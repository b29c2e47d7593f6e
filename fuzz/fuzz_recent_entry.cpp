// Recent-file entries come back from the settings store, which anyone can edit: the parser must
// take any bytes without reading out of bounds, and what it gives back must come from the text.
#include "markets/recententry.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path(reinterpret_cast<const char*>(data), size);
    // Nothing on disk: the outcome depends on the text alone.
    const auto noDirectory = [](const std::string&) { return false; };
    const auto parts = ParseRecentEntry(path, noDirectory);
    if (!parts)
        return 0;
    if (path.find('(') == std::string::npos)
        std::abort();
    // Every piece is a stretch of the text (the market codes map to shorter country codes).
    if (path.find(parts->symbol) == std::string::npos || path.find(parts->companyName) == std::string::npos)
        std::abort();
    if (parts->symbol.size() >= path.size() || parts->companyName.size() >= path.size())
        std::abort();
    const std::string again = RecentListText(parts->companyName, parts->countryCode, parts->symbol);
    (void)ParseRecentEntry(again, noDirectory);
    return 0;
}
