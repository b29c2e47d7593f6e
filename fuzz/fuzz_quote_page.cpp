// The quote page parse and the value extraction on arbitrary bytes.
#include "platform/notifier.h"
#include "quote/nullwindowhost.h"
#include "quote/numberparse.h"
#include "quote/pagereader.h"
#include "quote/quotemanager.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string page(reinterpret_cast<const char*>(data), size);
    RecordingNotifier notifier;
    CPageReader reader(notifier);
    NullWindowHost host;
    const QuoteEntry defaults;
    CQuoteManager manager(defaults, reader, host, notifier);
    QuoteEntry entry;
    entry.countryCode = "US";
    entry.symbol = "XYZ";
    QuoteRecord record;
    const bool ok = manager.ParseQuotePage(page, entry, &record);
    if (ok != notifier.messages.empty())
        std::abort(); // success is silent, failure says so exactly once
    if (!ok && notifier.messages.size() != 1)
        std::abort();

    // Markers taken from the input itself, to reach the overlapping and empty cases.
    const size_t third = size / 3;
    const std::string caption = page.substr(0, third % 5);
    const std::string start = page.substr(third, third % 4 + 1);
    const std::string end = page.substr(2 * third, third % 3);
    const std::string value = reader.ExtractValue(page, caption, start, end, 1 + static_cast<int>(size % 3));
    if (value.size() > page.size())
        std::abort();
    (void)ParseLeadingNumber(page);
    (void)ParseLeadingInt(page);
    return 0;
}
