// Finnhub's answers as they might come: every parser on arbitrary bytes.
#include "gateway/sources/finnhub.h"
#include "livesourcecheck.h"

#include <cstddef>
#include <cstdint>
#include <optional>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
    CheckSourceResult(ParseFinnhubQuote(body));
    CheckSourceResult(ParseFinnhubProfile(body));
    std::optional<double> revenuePerShare;
    CheckSourceResult(ParseFinnhubMetric(body, &revenuePerShare, 1e9));
    // the profile's and the ratios' answers put together, the same bytes as either
    bool answered = false;
    SourceResult company;
    company.quote = FinnhubCompany(&body, &body, &answered);
    company.quote->last = 1.0;
    CheckSourceResult(company);
    return 0;
}
