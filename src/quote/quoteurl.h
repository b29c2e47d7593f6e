#pragma once

#include <string>

// The quote page's URL: base + "/detail/stock_quote?Symbol=CC:SYMBOL". Bytes that would break or
// change the request (controls, blank, '#', '%', '&', '+', anything above 0x7E) are
// percent-encoded; ordinary symbols, colons and dots pass unchanged.
std::string BuildQuoteUrl(
    const std::string& baseUrl, const std::string& countryCode, const std::string& symbol);

std::string PercentEncodeQueryPart(const std::string& text);
