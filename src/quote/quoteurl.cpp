#include "quote/quoteurl.h"

namespace {

bool NeedsEncoding(unsigned char c)
{
    return c <= 0x20 || c >= 0x7F || c == '#' || c == '%' || c == '&' || c == '+';
}

} // namespace

std::string PercentEncodeQueryPart(const std::string& text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (NeedsEncoding(c)) {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0x0F]);
        } else {
            out.push_back(ch);
        }
    }
    return out;
}

std::string BuildQuoteUrl(
    const std::string& baseUrl, const std::string& countryCode, const std::string& symbol)
{
    std::string base = baseUrl;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    return base + "/detail/stock_quote?Symbol=" + PercentEncodeQueryPart(countryCode) + ":"
        + PercentEncodeQueryPart(symbol);
}
