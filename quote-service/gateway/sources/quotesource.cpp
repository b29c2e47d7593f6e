#include "gateway/sources/quotesource.h"

#include "gateway/sources/cnbc.h"
#include "gateway/sources/finnhub.h"
#include "gateway/sources/yahoo.h"

std::unique_ptr<QuoteSource> MakeQuoteSource(const QString& name, const SourceContext& context)
{
    if (name == QLatin1String("yahoo"))
        return std::make_unique<YahooSource>(context);
    if (name == QLatin1String("finnhub"))
        return std::make_unique<FinnhubSource>(context);
    if (name == QLatin1String("cnbc"))
        return std::make_unique<CnbcSource>(context);
    return nullptr;
}
