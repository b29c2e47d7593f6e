#include "quote/pagereader.h"

#include "platform/httpget.h"
#include "platform/notifier.h"
#include "platform/waitcursor.h"

#include <array>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace {

struct Reference {
    std::string_view reference;
    std::string_view replacement;
};

// Order matters: a row's output is seen by the rows after it ("&#38;#60;" ends as "<").
constexpr std::array<Reference, 13> kReferences = { {
    { "&#34;", "\"" },
    { "&#33;", "!" },
    { "&#36;", "$" },
    { "&#37;", "%" },
    { "&#38;", "&" },
    { "&#45;", "-" },
    { "&#46;", "." },
    { "&#47;", "/" },
    { "&#60;", "<" },
    { "&#62;", ">" },
    { "&#160;", " " },
    { "&#247;", "-" },
    { "&deg;", "\xB0" },
} };

// One left-to-right pass over non-overlapping occurrences; replacements are not rescanned.
void ReplaceAll(std::string& text, std::string_view from, std::string_view to)
{
    size_t pos = text.find(from);
    if (pos == std::string::npos)
        return;
    std::string out;
    out.reserve(text.size());
    size_t done = 0;
    while (pos != std::string::npos) {
        out.append(text, done, pos - done);
        out.append(to);
        done = pos + from.size();
        pos = text.find(from, done);
    }
    out.append(text, done, std::string::npos);
    text = std::move(out);
}

bool IsTrimSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

CPageReader::CPageReader(Notifier& notifier)
    : m_notifier(notifier)
{
}

std::string CPageReader::Download(const std::string& url, int bufferSize)
{
    if (bufferSize == 0)
        bufferSize = kDefaultBufferSize;
    m_lastReason.clear();
    if (bufferSize < 0)
        return {};
    HttpGetOptions options;
    options.bufferSize = static_cast<std::size_t>(bufferSize);
    options.timeoutMs = m_timeoutMs;
    HttpGetResult result;
    {
        // Only while waiting: the message below is answered with the ordinary pointer.
        WaitCursor wait;
        result = HttpGet(url, options);
    }
    m_lastReason = result.serviceReason;
    if (result.outcome == HttpGetResult::Outcome::Unreachable) {
        m_notifier.showMessage("No Internet connection found.");
        return {};
    }
    return std::move(result.body);
}

std::string CPageReader::ExtractValue(const std::string& page, const std::string& caption,
    const std::string& startMarker, const std::string& endMarker, int occurrence) const
{
    if (occurrence < 1)
        return {};
    const std::string_view text(page);
    size_t position = 0;
    size_t start = 0;
    size_t end = 0;
    for (int pass = 0; pass < occurrence; ++pass) {
        size_t captionAt = position;
        if (!caption.empty()) {
            captionAt = text.find(caption, position);
            if (captionAt == std::string_view::npos)
                return {};
        }
        start = text.find(startMarker, captionAt);
        if (start == std::string_view::npos)
            return {};
        end = text.find(endMarker, start);
        if (end == std::string_view::npos)
            return {};
        position = end;
    }
    const size_t first = start + startMarker.size();
    if (end <= first)
        return CleanValue({});
    return CleanValue(page.substr(first, end - first));
}

std::string CleanValue(std::string text)
{
    ReplaceAll(text, "  ", " ");
    for (char& c : text) {
        if (c == '\n')
            c = ' ';
    }
    if (text.find('&') != std::string::npos) {
        for (const Reference& r : kReferences)
            ReplaceAll(text, r.reference, r.replacement);
    }
    size_t last = text.size();
    while (last > 0 && IsTrimSpace(text[last - 1]))
        --last;
    size_t first = 0;
    while (first < last && IsTrimSpace(text[first]))
        ++first;
    return text.substr(first, last - first);
}

std::string QuoteServiceBaseUrl()
{
    const char* configured = std::getenv("KOLPEX_QUOTE_SERVICE");
    if (configured != nullptr && *configured != '\0')
        return configured;
    return kDefaultQuoteService;
}
