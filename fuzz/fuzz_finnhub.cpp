// Finnhub's answers as they might come: every parser on arbitrary bytes, and whatever figures
// they give printed as a page.
#include "livepage.h"
#include "sources/finnhub.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void Check(const SourceResult& r)
{
    if (r.quote ? r.notFound : r.why.isEmpty())
        std::abort();
    if (!r.quote)
        return;
    if (r.quote->name.size() > 120 || r.quote->exchange.size() > 60)
        std::abort();
    const ServedQuote page = FormatLiveQuote(*r.quote, 1709653320);
    if (page.last.isEmpty() || page.timeText.isEmpty() || page.averageVolume.size() > 32
        || page.sharesOutstanding.size() > 40)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
    Check(ParseFinnhubQuote(body));
    Check(ParseFinnhubProfile(body));
    std::optional<double> revenuePerShare;
    Check(ParseFinnhubMetric(body, &revenuePerShare));
    return 0;
}
