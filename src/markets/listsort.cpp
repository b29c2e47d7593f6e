#include "markets/listsort.h"

#include "quote/numberparse.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string_view>

namespace {

const std::string kNoText;

int CompareBytes(std::string_view a, std::string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    // memcmp compares as unsigned char, so accented letters sort after ASCII.
    if (n > 0) {
        if (const int r = std::memcmp(a.data(), b.data(), n))
            return r;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

} // namespace

const std::string& ColumnText(const QuoteEntry& entry, int column)
{
    switch (column) {
    case kColumnCompany:
        return entry.companyName;
    case kColumnSymbol:
        return entry.symbol;
    case kColumnVolume:
        return entry.volume;
    case kColumnListed:
        return entry.listed;
    default:
        return kNoText;
    }
}

long long LeadingInteger(const std::string& text)
{
    return ParseLeadingInt(text);
}

int CompareEntries(const QuoteEntry& a, const QuoteEntry& b, int column)
{
    if (column == kColumnVolume) {
        const long long x = LeadingInteger(a.volume);
        const long long y = LeadingInteger(b.volume);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    return CompareBytes(ColumnText(a, column), ColumnText(b, column));
}

namespace {

void SortByKeys(std::vector<int>& rows, const std::vector<long long>& keys, bool descending)
{
    std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
        return descending ? keys[size_t(b)] < keys[size_t(a)] : keys[size_t(a)] < keys[size_t(b)];
    });
}

void SortByKeys(std::vector<int>& rows, const std::vector<std::string_view>& keys, bool descending)
{
    std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
        const int r = CompareBytes(keys[size_t(a)], keys[size_t(b)]);
        return descending ? r > 0 : r < 0;
    });
}

} // namespace

// Each key is looked up (and a volume parsed) once, not at every comparison.
void SortRows(std::vector<int>& rows, const EntryArray& entries, int column, bool descending)
{
    if (column == kColumnVolume) {
        std::vector<long long> keys(entries.size());
        for (size_t i = 0; i < entries.size(); ++i)
            keys[i] = LeadingInteger(entries[i].volume);
        SortByKeys(rows, keys, descending);
        return;
    }
    std::vector<std::string_view> keys(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        keys[i] = ColumnText(entries[i], column);
    SortByKeys(rows, keys, descending);
}

void SortRows(std::vector<int>& rows, const ListEntries& entries, int column, bool descending)
{
    std::string scratch;
    if (column == kColumnVolume) {
        std::vector<long long> keys(entries.size());
        for (size_t i = 0; i < entries.size(); ++i)
            keys[i] = ParseLeadingInt(entries.text(i, column, scratch));
        SortByKeys(rows, keys, descending);
        return;
    }
    // Keys are views into the list; the few built ones (symbols that lost marks) are kept here.
    std::deque<std::string> built;
    std::vector<std::string_view> keys(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        keys[i] = entries.text(i, column, scratch);
        if (keys[i].data() == scratch.data())
            keys[i] = built.emplace_back(scratch);
    }
    SortByKeys(rows, keys, descending);
}

std::string StatusLineText(int row, int rowCount)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, " Line: %6d / %6d", row + 1, rowCount);
    return buffer;
}
