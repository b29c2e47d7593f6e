#pragma once

// What every live source's parser must hold to on arbitrary bytes, and whatever figures it gives
// printed as a page.
#include "gateway/livefigures.h"
#include "gateway/sources/quotesource.h"

#include <cstdlib>

inline void CheckSourceResult(const SourceResult& r)
{
    // a quote, or a reason there is none; never both unknown and a quote
    if (r.quote ? r.notFound : r.why.isEmpty())
        std::abort();
    if (!r.quote)
        return;
    if (r.quote->name.size() > 120 || r.quote->exchange.size() > 60)
        std::abort();
    const ServedQuote page = FormatLiveQuote(*r.quote, 1709653320);
    if (page.last.isEmpty() || page.timeText.isEmpty() || page.volume.size() > 32
        || page.averageVolume.size() > 32 || page.marketCap.size() > 40 || page.sharesOutstanding.size() > 40)
        std::abort();
}
