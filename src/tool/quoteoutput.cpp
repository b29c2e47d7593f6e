#include "tool/quoteoutput.h"

#include "platform/textcodec.h"
#include "quotewin/infolines.h"

#include <charconv>
#include <cmath>
#include <cstdio>

std::string JsonNumber(double value)
{
    if (!std::isfinite(value))
        return "null";
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc {} ? std::string(buffer, end) : std::string("null");
}

std::string JsonString(const std::string& cp1252)
{
    const std::string utf8 = Cp1252ToUtf8(cp1252);
    std::string out = "\"";
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out.push_back(ch);
            }
        }
    }
    out += '"';
    return out;
}

std::string QuoteAsText(const std::string& companyName, const QuoteRecord& quote)
{
    std::string out = Cp1252ToUtf8(companyName) + "\n";
    for (const std::string& line : BuildInfoLines(quote))
        out += Cp1252ToUtf8(line) + "\n";
    return out;
}

std::string QuoteAsJson(const std::string& companyName, const QuoteRecord& q)
{
    std::string out = "{";
    bool first = true;
    const auto key = [&](const char* name) {
        out += first ? "\"" : ",\"";
        first = false;
        out += name;
        out += "\":";
    };
    const auto number = [&](const char* name, double v) {
        key(name);
        out += JsonNumber(v);
    };
    const auto text = [&](const char* name, const std::string& v) {
        key(name);
        out += JsonString(v);
    };
    text("company", companyName);
    key("delayMinutes");
    out += std::to_string(q.delayMinutes);
    number("last", q.last);
    number("high", q.high);
    number("low", q.low);
    number("open", q.open);
    number("previousClose", q.previousClose);
    number("bid", q.bid);
    number("ask", q.ask);
    number("yearHigh", q.yearHigh);
    number("yearLow", q.yearLow);
    number("priceEarnings", q.priceEarnings);
    number("earningsPerShare", q.earningsPerShare);
    number("dividendPerShare", q.dividendPerShare);
    number("dividendYield", q.dividendYield);
    number("forwardPriceEarnings", q.forwardPriceEarnings);
    number("returnOnEquity", q.returnOnEquity);
    number("beta", q.beta);
    text("change", q.change);
    text("volume", q.volume);
    text("averageVolume", q.averageVolume);
    text("institutionalOwnership", q.institutionalOwnership);
    text("marketCap", q.marketCap);
    text("sharesOutstanding", q.sharesOutstanding);
    text("exchange", q.exchange);
    text("sales", q.sales);
    key("quoteTime");
    out += std::to_string(q.quoteTime);
    out += "}\n";
    return out;
}
