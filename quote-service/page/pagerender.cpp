#include "page/pagerender.h"

#include "page/pagefurniture.h"

namespace {

std::uint64_t Seed(const QByteArray& text)
{
    std::uint64_t h = 1469598103934665603ULL;
    for (char c : text) {
        h ^= std::uint8_t(c);
        h *= 1099511628211ULL;
    }
    return h;
}

void Row(QByteArray& out, const char* caption1, const QByteArray& value1, const char* caption2,
    const QByteArray& value2)
{
    out += "<tr><td class=\"cl0\">";
    out += caption1;
    out += "</td><td class=\"cl1\">";
    out += value1;
    out += "</td><td class=\"sp\">&nbsp;</td><td class=\"cl0\">";
    out += caption2;
    out += "</td><td class=\"cl1\">";
    out += value2;
    out += "</td></tr>\n";
}

// The figures. Each caption's first occurrence must be its own cell, so the short captions come
// before the long ones that contain them ("High" before "52 Week High", "P/E" before "Forward P/E").
void AppendQuoteTable(QByteArray& out, const Security& s, const ServedQuote& q)
{
    const QByteArray symbol = HtmlText(s.symbol);
    const QByteArray span = q.gain ? "s4" : "s5";
    out += "<div id=\"quote\" class=\"col0\">\n<h1 class=\"tab1\">";
    out += symbol;
    out += "</h1>\n<div class=\"sub1\">";
    out += HtmlText(s.country);
    out += " : ";
    out += symbol;
    out += "</div>\n<table class=\"tab0\"><tr><td><span class=\"lbl\">Real-time quotes</span><br><span "
           "class=\"s1\">";
    out += q.last;
    out += "</span></td>\n<td><span class=\"";
    out += span;
    out += "\">";
    out += q.change;
    out += "</span><br><span class=\"";
    out += span;
    out += "\">";
    out += q.changePercent;
    out += "</span></td></tr></table>\n<p class=\"box1\">Data Source: <span class=\"s7\">";
    out += q.timeText;
    out += " ET</span></p>\n<table class=\"tab2\" width=\"100%\">\n";
    Row(out, "Volume", q.volume, "Avg Daily Volume", q.averageVolume);
    Row(out, "High", q.high, "Low", q.low);
    Row(out, "Open", q.open, "Previous Close", q.previousClose);
    Row(out, "Bid", q.bid, "Ask", q.ask);
    Row(out, "52 Week High", q.yearHigh, "52 Week Low", q.yearLow);
    Row(out, "Instit. Ownership", q.institutionalOwnership, "P/E", q.priceEarnings);
    Row(out, "Earnings/Share", q.earningsPerShare, "Div/Share", q.dividendPerShare);
    Row(out, "Current Div. Yield", q.dividendYield, "Market Cap.", HtmlText(q.marketCap));
    Row(out, "Tot. Shares Out.", q.sharesOutstanding, "Exchange", HtmlText(q.exchange));
    // the estimate cell carries a link, as on the real thing
    const QByteArray forward = "<a href=\"/investor/research/estimates.asp?Symbol=" + symbol + "\">"
        + q.forwardPriceEarnings + "</a>";
    Row(out, "Forward P/E", forward, "Sales", HtmlText(q.sales));
    Row(out, "Return on Equity", q.returnOnEquity, "Beta", q.beta);
    out += "</table>\n<p class=\"sub2\">Quotes delayed ";
    out += QByteArray::number(q.delayMinutes);
    out += " minutes</p>\n</div>\n";
}

void AppendProfile(QByteArray& out, const Security& s)
{
    const QByteArray symbol = HtmlText(s.symbol);
    out += "<div class=\"box2\"><h3>Company</h3>\n<p><a href=\"/investor/research/profile.asp?Symbol=";
    out += symbol;
    out += "\">";
    out += HtmlText(s.name);
    out += "</a></p>\n<ul class=\"lnk0\">";
    static const char* const links[][2] = {
        { "profile", "Company report" },
        { "financials", "Financial results" },
        { "estimates", "Earnings estimates" },
        { "insider", "Insider transactions" },
        { "ratios", "Key ratios" },
        { "charts", "Price history" },
    };
    for (const auto& link : links) {
        out += "<li class=\"lnk-item\"><a href=\"/investor/research/";
        out += link[0];
        out += ".asp?Symbol=";
        out += symbol;
        out += "&amp;view=";
        out += link[0];
        out += "\">";
        out += link[1];
        out += "</a></li>";
    }
    out += "</ul></div>\n";
}

qsizetype TargetSize(const QByteArray& key)
{
    return 60 * 1024 + qsizetype(Seed(key) % (30 * 1024));
}

QByteArray Page(const QByteArray& title, const QByteArray& body, const QByteArray& key, qsizetype target)
{
    QByteArray page;
    page.reserve(target + 4096);
    AppendPageHead(page, title);
    page += PageNavigation();
    page += body;
    const QByteArray& footer = PageFooter();
    AppendNews(page, Seed(key), target - footer.size());
    page += footer;
    return page;
}

} // namespace

QByteArray HtmlText(const QByteArray& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&#38;";
            break;
        case '<':
            out += "&#60;";
            break;
        case '>':
            out += "&#62;";
            break;
        case '"':
            out += "&#34;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

QByteArray RenderQuotePage(const Security& security, const ServedQuote& quote)
{
    QByteArray body;
    AppendQuoteTable(body, security, quote);
    AppendProfile(body, security);
    const QByteArray key = security.country + ':' + security.symbol;
    return Page(HtmlText(security.symbol) + ": detailed quote", body, key, TargetSize(key));
}

QByteArray RenderNotFoundPage(const QByteArray& countrySymbol)
{
    QByteArray body = "<div id=\"quote\" class=\"col0\"><h1 class=\"tab1\">Symbol not found</h1>\n"
                      "<p class=\"box1\">We could not find the symbol <b>";
    body += HtmlText(countrySymbol);
    body += "</b>. Check the spelling, or search for the company by name.</p></div>\n";
    return Page("Symbol not found", body, countrySymbol, TargetSize(countrySymbol));
}

QByteArray RenderErrorPage(int status, const QByteArray& reason)
{
    const QByteArray line = QByteArray::number(status) + ' ' + reason;
    return "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\">\n<html><head><title>" + line
        + "</title></head>\n<body><h1>" + line
        + "</h1>\n<p>The server could not answer your request right now. Please try again later.</p>\n"
          "</body></html>\n";
}

QByteArray RenderHugePage(const Security& security, const ServedQuote& quote, qsizetype totalBytes)
{
    QByteArray body;
    AppendQuoteTable(body, security, quote);
    AppendProfile(body, security);
    const QByteArray key = security.country + ':' + security.symbol;
    QByteArray page;
    AppendPageHead(page, HtmlText(security.symbol) + ": detailed quote");
    page += PageNavigation();
    page += body;
    const QByteArray& footer = PageFooter();
    AppendNews(page, Seed(key), std::max<qsizetype>(page.size(), totalBytes - footer.size()));
    page += footer;
    if (page.size() > totalBytes)
        page.truncate(totalBytes);
    return page;
}
