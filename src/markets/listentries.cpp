#include "markets/listentries.h"

#include "markets/listsort.h"
#include "markets/marketlist.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

struct Field {
    std::size_t at;
    std::size_t width;
};
// Byte positions of the four texts in a record line, by column.
constexpr Field kFields[kColumnCount] = { { 0, 40 }, { 41, 7 }, { 48, 5 }, { 54, 8 } };

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view Trimmed(const char* begin, std::size_t width)
{
    const char* end = begin + width;
    while (begin < end && IsBlank(*begin))
        ++begin;
    // Most of a field's padding is blanks: step over them eight at a time, then byte by byte.
    constexpr std::uint64_t kEightBlanks = 0x2020202020202020ULL;
    std::uint64_t word;
    while (end - begin >= 8 && (std::memcpy(&word, end - 8, 8), word == kEightBlanks))
        end -= 8;
    while (end > begin && IsBlank(end[-1]))
        --end;
    return { begin, static_cast<std::size_t>(end - begin) };
}

bool IsSymbolMark(char c)
{
    return c == '%' || c == '&' || c == '!';
}

constexpr std::size_t kLineBytes = kMarketRecordLength + 1;

// Whether the 64 bytes at p are a record line and its line feed: no line feed and no zero byte
// before byte 63, a line feed there. Nearly every line of a list is one, so this is the loader's
// main cost, checked in four 16-byte compares rather than a library call per line.
bool IsRecordLine(const char* p)
{
    // Only a line feed closes a record: a zero byte there ends the text.
    if (p[kMarketRecordLength] != '\n')
        return false;
#if defined(__SSE2__)
    // A byte b stops a line when b == 0 or b == '\n', that is when min(b, b ^ '\n') == 0.
    const __m128i feed = _mm_set1_epi8('\n');
    const auto stops = [&](int k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        return _mm_min_epu8(v, _mm_xor_si128(v, feed));
    };
    const __m128i zero = _mm_setzero_si128();
    const __m128i head = _mm_min_epu8(_mm_min_epu8(stops(0), stops(1)), stops(2));
    // Bytes 48 to 62 without a stop; byte 63, the line feed, is one.
    return _mm_movemask_epi8(_mm_cmpeq_epi8(head, zero)) == 0
        && _mm_movemask_epi8(_mm_cmpeq_epi8(stops(3), zero)) == 0x8000;
#else
    return !std::memchr(p, '\n', kMarketRecordLength) && !std::memchr(p, '\0', kMarketRecordLength);
#endif
}

} // namespace

ListEntries::ListEntries(EntryArray entries)
    : m_entries(std::move(entries))
{
}

ListEntries::ListEntries(std::unique_ptr<char[]> bytes, std::size_t size, const QuoteEntry& entryTemplate)
    : m_bytes(std::move(bytes))
    , m_template(entryTemplate)
{
    const char* text = m_bytes.get();
    m_records.reserve(size / kLineBytes);
    // The text ends at the first zero byte; what follows the last line feed is not a line.
    std::size_t lineStart = 0;
    while (lineStart < size) {
        if (size - lineStart >= kLineBytes && IsRecordLine(text + lineStart)) {
            m_records.push_back(static_cast<std::uint32_t>(lineStart));
            lineStart += kLineBytes;
            continue;
        }
        const char* line = text + lineStart;
        const std::size_t rest = size - lineStart;
        const auto* feed = static_cast<const char*>(std::memchr(line, '\n', rest));
        const std::size_t lineLength = feed ? static_cast<std::size_t>(feed - line) : rest;
        if (!feed || std::memchr(line, '\0', lineLength))
            break;
        if (lineLength == kMarketRecordLength)
            m_records.push_back(static_cast<std::uint32_t>(lineStart));
        lineStart += lineLength + 1;
    }
}

std::string_view ListEntries::text(std::size_t i, int column, std::string& scratch) const
{
    if (column < 0 || column >= kColumnCount)
        return {};
    if (m_records.empty())
        return ColumnText(m_entries[i], column);
    const Field field = kFields[column];
    const std::string_view trimmed = Trimmed(m_bytes.get() + m_records[i] + field.at, field.width);
    if (column != kColumnSymbol || std::none_of(trimmed.begin(), trimmed.end(), IsSymbolMark))
        return trimmed;
    scratch.assign(trimmed);
    std::erase_if(scratch, IsSymbolMark);
    return scratch;
}

QuoteEntry ListEntries::entry(std::size_t i) const
{
    if (m_records.empty())
        return m_entries[i];
    QuoteEntry entry = m_template;
    std::string scratch;
    entry.companyName = text(i, kColumnCompany, scratch);
    entry.symbol = text(i, kColumnSymbol, scratch);
    entry.volume = text(i, kColumnVolume, scratch);
    entry.listed = text(i, kColumnListed, scratch);
    return entry;
}

EntryArray ListEntries::toArray() const
{
    if (m_records.empty())
        return m_entries;
    EntryArray out;
    out.reserve(m_records.size());
    for (std::size_t i = 0; i < m_records.size(); ++i)
        out.push_back(entry(i));
    return out;
}
