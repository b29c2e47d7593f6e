#include "markets/markettable.h"

#include "res/resource_ids.h"

const MarketInfo kMarkets[kMarketCount] = {
    { "New York Stock Exchange", ids::ID_MARKETS_NYSE, 3, "NYSE", "US", "New York Stock Exchange" },
    { "American Stock Exchange", ids::ID_MARKETS_AMEX, 5, "AMEX", "US", "American Stock Exchange" },
    { "NASDAQ", ids::ID_MARKETS_NASDAQ, 4, "NASDAQ", "US", "NASDAQ" },
    { "Mutual Funds", ids::ID_MARKETS_MUTUAL, 9, "MUTUAL", "US", "Mutual Funds" },
    { "Canadian Venture Exchange", ids::ID_MARKETS_CVE, 6, "CVE", "CA", "Canadian Venture Exchange" },
    { "Toronto Stock Exchange", ids::ID_MARKETS_TSX, 7, "TSX", "CA", "Toronto Stock Exchange" },
    { "London Stock Exchange", ids::ID_MARKETS_LSE, 8, "LSE", "GB", "London Stock Exchange" },
};

const MarketInfo* MarketByCommand(int commandId)
{
    for (const MarketInfo& m : kMarkets) {
        if (m.commandId == commandId)
            return &m;
    }
    return nullptr;
}

const MarketInfo* MarketByListKind(int listKind)
{
    for (const MarketInfo& m : kMarkets) {
        if (m.listKind == listKind)
            return &m;
    }
    return nullptr;
}

const MarketInfo* MarketByCode(std::string_view code)
{
    for (const MarketInfo& m : kMarkets) {
        if (code == m.code)
            return &m;
    }
    return nullptr;
}

const MarketInfo* MarketByCaption(std::string_view caption)
{
    for (const MarketInfo& m : kMarkets) {
        if (caption == m.caption)
            return &m;
    }
    return nullptr;
}

const char* CountryCodeForMarket(std::string_view code)
{
    const MarketInfo* market = MarketByCode(code);
    return market ? market->countryCode : nullptr;
}
