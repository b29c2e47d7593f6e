// List files are plain files anyone can edit: the loader must take any bytes, and every entry it
// makes must come from one 63-byte line of the text.
#include "markets/marketlist.h"
#include "platform/notifier.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the market code, known or not.
    static const char* const codes[]
        = { "NYSE", "AMEX", "NASDAQ", "MUTUAL", "CVE", "TSX", "LSE", "nyse", "" };
    const std::string code = codes[data[0] % std::size(codes)];
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    RecordingNotifier notifier;
    QuoteEntry defaults;
    EntryArray entries;
    ParseMarketList(bytes, code, defaults, entries, &notifier);

    const std::string_view text = bytes.substr(0, bytes.find('\0'));
    if (entries.size() > text.size() / (kMarketRecordLength + 1))
        std::abort();
    const bool known = code != "nyse" && !code.empty();
    if (!known && notifier.messages.size() != entries.size())
        std::abort();
    if (known && !notifier.messages.empty())
        std::abort();
    for (const QuoteEntry& e : entries) {
        if (e.companyName.size() > 40 || e.symbol.size() > 7 || e.volume.size() > 5 || e.listed.size() > 8)
            std::abort();
        if (e.symbol.find_first_of("%&!") != std::string::npos)
            std::abort();
        if (text.find(e.companyName) == std::string_view::npos
            || text.find(e.listed) == std::string_view::npos)
            std::abort();
        if (e.refreshInterval != 5 || e.writeToFile || !e.easternTime)
            std::abort();
    }
    return 0;
}
