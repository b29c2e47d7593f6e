// Yahoo's answers as they might come: every parser on arbitrary bytes.
#include "gateway/sources/yahoo.h"
#include "livesourcecheck.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
    CheckSourceResult(ParseYahooQuote(body));
    CheckSourceResult(ParseYahooChart(body));
    CheckSourceResult(ParseYahooSummary(body));
    const QByteArray crumb = ParseYahooCrumb(body);
    if (crumb.size() > 64 || crumb.contains('<'))
        std::abort();
    return 0;
}
