#include "quote/quotemanager.h"

#include "platform/datetimeparser.h"
#include "platform/notifier.h"
#include "platform/waitcursor.h"
#include "quote/numberparse.h"
#include "quote/pagereader.h"
#include "quote/quoteurl.h"
#include "quote/quotewindowhost.h"

#include <algorithm>
#include <optional>
#include <string_view>

namespace {

// Set while a quote is being fetched, including while its failure message is open, so that
// timers firing in the message loop skip their refresh instead of stacking up boxes.
bool g_fetchInProgress = false;

constexpr int kQuoteBufferSize = 100'000;

const std::string kProfileLink = "href=\"/investor/research/profile.asp?Symbol=";
const std::string kS7 = "s7\">";
const std::string kS1 = "s1\">";
const std::string kS4 = "s4\">";
const std::string kS5 = "s5\">";
const std::string kCell = "cl1\">";
const std::string kSpanEnd = "</span>";
const std::string kCellEnd = "</td>";

// The raw texts of one quote page, in the order they are read.
struct PageTexts {
    std::string time;
    std::string price;
    std::string change;
    std::string percent;
    std::string volume, averageVolume, high, low, open, previousClose, bid, ask, yearHigh, yearLow;
    std::string institutionalOwnership, priceEarnings, earningsPerShare, dividendPerShare, dividendYield;
    std::string marketCap, sharesOutstanding, exchange, forwardPriceEarnings, sales, returnOnEquity, beta;
    std::string delayed;
};

PageTexts ReadPageTexts(const CPageReader& reader, const std::string& page)
{
    const auto cell
        = [&](const std::string& caption) { return reader.ExtractValue(page, caption, kCell, kCellEnd, 1); };
    PageTexts t;
    t.time = reader.ExtractValue(page, "Data Source", kS7, " ET", 1);
    t.price = reader.ExtractValue(page, "Real-time quotes", kS1, kSpanEnd, 1);
    t.change = reader.ExtractValue(page, ">Real-time quotes<", kS4, kSpanEnd, 1);
    if (t.change.empty())
        t.change = reader.ExtractValue(page, ">Real-time quotes<", kS5, kSpanEnd, 1);
    t.percent = reader.ExtractValue(page, t.change, kS4, kSpanEnd, 1);
    if (t.percent.empty())
        t.percent = reader.ExtractValue(page, t.change, kS5, kSpanEnd, 1);
    t.volume = cell("Volume");
    t.averageVolume = cell("Avg Daily Volume");
    t.high = cell("High");
    t.low = cell("Low");
    t.open = cell("Open");
    t.previousClose = cell("Previous Close");
    t.bid = cell("Bid");
    t.ask = cell("Ask");
    t.yearHigh = cell("52 Week High");
    t.yearLow = cell("52 Week Low");
    t.institutionalOwnership = cell("Instit. Ownership");
    t.priceEarnings = cell("P/E</td>");
    t.earningsPerShare = cell("Earnings/Share</td>");
    t.dividendPerShare = cell("Div/Share</td>");
    t.dividendYield = cell("Current Div. Yield</td>");
    t.marketCap = cell("Market Cap.");
    t.sharesOutstanding = cell("Tot. Shares Out.");
    t.exchange = cell("Exchange");
    t.forwardPriceEarnings = cell("Forward P/E");
    t.sales = cell("Sales");
    t.returnOnEquity = cell("Return on Equity");
    t.beta = cell("Beta");
    t.delayed = reader.ExtractValue(page, std::string(), "Quotes delayed", "</p>", 1);
    return t;
}

// A forward P/E cell may hold a link around the figure: keep the link's text.
std::string StripLink(std::string text)
{
    const size_t gt = text.find('>');
    if (gt == std::string::npos)
        return text;
    text.erase(0, gt + 1);
    const size_t lt = text.find('<');
    return lt == std::string::npos ? std::string() : text.substr(0, lt);
}

// A price wrapped in a further span: the figure follows the inner s1 marker. Without one, the
// figure is the first text outside the tags (a bold or linked price).
std::string StripPriceSpan(std::string text)
{
    if (text.find('>') == std::string::npos)
        return text;
    const size_t s1 = text.find(kS1);
    if (s1 != std::string::npos)
        return text.substr(s1 + kS1.size());
    const std::string_view all(text);
    size_t pos = 0;
    while (pos < all.size()) {
        const size_t lt = all.find('<', pos);
        const std::string_view between = all.substr(pos, lt == std::string_view::npos ? lt : lt - pos);
        if (between.find_first_not_of(" \t\r\n\v\f") != std::string_view::npos)
            return std::string(between);
        if (lt == std::string_view::npos)
            break;
        const size_t gt = all.find('>', lt);
        if (gt == std::string_view::npos)
            break;
        pos = gt + 1;
    }
    return {};
}

QuoteRecord ToRecord(const PageTexts& t, std::int64_t quoteTime)
{
    QuoteRecord r;
    r.delayMinutes = ParseLeadingInt(t.delayed);
    r.last = ParseLeadingNumber(StripPriceSpan(t.price));
    r.high = ParseLeadingNumber(t.high);
    r.low = ParseLeadingNumber(t.low);
    r.open = ParseLeadingNumber(t.open);
    r.previousClose = ParseLeadingNumber(t.previousClose);
    r.bid = ParseLeadingNumber(t.bid);
    r.ask = ParseLeadingNumber(t.ask);
    r.yearHigh = ParseLeadingNumber(t.yearHigh);
    r.yearLow = ParseLeadingNumber(t.yearLow);
    r.priceEarnings = ParseLeadingNumber(t.priceEarnings);
    r.earningsPerShare = ParseLeadingNumber(t.earningsPerShare);
    r.dividendPerShare = ParseLeadingNumber(t.dividendPerShare);
    r.dividendYield = ParseLeadingNumber(t.dividendYield);
    r.forwardPriceEarnings = ParseLeadingNumber(StripLink(t.forwardPriceEarnings));
    r.returnOnEquity = ParseLeadingNumber(t.returnOnEquity);
    r.beta = ParseLeadingNumber(t.beta);
    r.change = t.change + " (" + t.percent + ")";
    r.volume = t.volume;
    r.averageVolume = t.averageVolume;
    r.institutionalOwnership = t.institutionalOwnership;
    r.marketCap = t.marketCap;
    r.sharesOutstanding = t.sharesOutstanding;
    r.exchange = t.exchange;
    r.sales = t.sales;
    r.quoteTime = quoteTime;
    return r;
}

// Holds the flag for one call; the failure message is shown before it lets go.
class FetchGuard final {
public:
    FetchGuard() { g_fetchInProgress = true; }
    ~FetchGuard() { g_fetchInProgress = false; }
    FetchGuard(const FetchGuard&) = delete;
    FetchGuard& operator=(const FetchGuard&) = delete;
};

} // namespace

CQuoteManager::CQuoteManager(
    const QuoteEntry& defaultEntry, CPageReader& pageReader, QuoteWindowHost& frame, Notifier& notifier)
    : m_defaultEntry(defaultEntry)
    , m_pageReader(pageReader)
    , m_frame(frame)
    , m_notifier(notifier)
{
}

namespace {

// The quote service marks its simulated market in the page's company name. A name the entry
// already has (from a list, or a recent entry) carries the mark while, and only while, its page
// does, so that an invented price never shows under a plain company name.
void FollowSimulatedMark(std::string& name, const std::string& pageName)
{
    constexpr std::string_view kMark = " (simulated)";
    if (pageName.empty())
        return; // a page cut short says nothing either way
    const bool marked = name.ends_with(kMark);
    if (pageName.ends_with(kMark) && !marked) {
        name.resize(std::min(name.size(), kMaxCompanyNameLength - kMark.size()));
        name += kMark;
    } else if (!pageName.ends_with(kMark) && marked) {
        name.resize(name.size() - kMark.size());
    }
}

// Steps after the download; shows the no-data message itself. The caller holds the flag.
bool ParsePage(const CPageReader& reader, Notifier& notifier, const std::string& page, QuoteEntry& entry,
    QuoteRecord* record)
{
    std::optional<QuoteRecord> parsed;
    {
        WaitCursor wait;
        if (!page.empty()) {
            std::string pageName = reader.ExtractValue(page, kProfileLink, ">", "</a>", 1);
            if (pageName.size() > kMaxCompanyNameLength)
                pageName.resize(kMaxCompanyNameLength);
            if (entry.companyName.empty())
                entry.companyName = std::move(pageName);
            else
                FollowSimulatedMark(entry.companyName, pageName);
            const PageTexts texts = ReadPageTexts(reader, page);
            if (const std::optional<ParsedDateTime> time = ParseDateTime0409(texts.time))
                parsed = ToRecord(texts, BuildQuoteTime(*time));
        }
    }
    if (!parsed) {
        const std::string security = entry.companyName + " " + entry.symbol + " " + entry.countryCode;
        // the quote service's reason, when it gave one, is one click away
        notifier.showMessageWithDetails(
            "Sorry, no data available for:\n\n" + security + ".", reader.lastReason());
        return false;
    }
    if (record != nullptr)
        *record = std::move(*parsed);
    return true;
}

} // namespace

bool CQuoteManager::FetchQuote(QuoteEntry* entry, QuoteRecord* record)
{
    if (entry == nullptr || g_fetchInProgress)
        return false;
    bool ok = false;
    {
        FetchGuard guard;
        const std::string page = m_pageReader.Download(
            BuildQuoteUrl(QuoteServiceBaseUrl(), entry->countryCode, entry->symbol), kQuoteBufferSize);
        ok = ParsePage(m_pageReader, m_notifier, page, *entry, record);
    }
    m_frame.fetchFinished();
    return ok;
}

bool CQuoteManager::FetchInProgress()
{
    return g_fetchInProgress;
}

bool CQuoteManager::ParseQuotePage(const std::string& page, QuoteEntry& entry, QuoteRecord* record)
{
    if (g_fetchInProgress)
        return false;
    FetchGuard guard;
    return ParsePage(m_pageReader, m_notifier, page, entry, record);
}

void CQuoteManager::CopyEntry(QuoteEntry& destination, const QuoteEntry& source) const
{
    destination = source;
}
