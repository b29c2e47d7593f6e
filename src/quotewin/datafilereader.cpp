#include "quotewin/datafilereader.h"

#include "quotewin/numbertext.h"

#include <charconv>
#include <ctime>

namespace {

bool Digits(std::string_view s, size_t n)
{
    if (s.size() != n)
        return false;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

int ToInt(std::string_view s)
{
    int v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

std::optional<double> StrictDouble(std::string_view s)
{
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size())
        return std::nullopt;
    return v;
}

std::vector<std::string_view> SplitTabs(std::string_view line)
{
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(
            line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos)
            return fields;
        start = tab + 1;
    }
}

} // namespace

std::optional<QuoteRecord> ParseDataFileLine(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    const auto fields = SplitTabs(line);
    if (fields.size() < 10)
        return std::nullopt;
    const std::string_view date = fields[0];
    const std::string_view time = fields[1];
    if (date.size() != 10 || date[2] != '/' || date[5] != '/' || !Digits(date.substr(0, 2), 2)
        || !Digits(date.substr(3, 2), 2) || !Digits(date.substr(6, 4), 4))
        return std::nullopt;
    if (time.size() != 5 || time[2] != ':' || !Digits(time.substr(0, 2), 2) || !Digits(time.substr(3, 2), 2))
        return std::nullopt;

    const size_t n = fields.size();
    const std::string_view numbers[] = { fields[2], fields[n - 6], fields[n - 5], fields[n - 4],
        fields[n - 3], fields[n - 2], fields[n - 1] };
    double values[7];
    for (int i = 0; i < 7; ++i) {
        const auto v = StrictDouble(numbers[i]);
        if (!v)
            return std::nullopt;
        values[i] = *v;
    }

    std::tm tm {};
    tm.tm_mon = ToInt(date.substr(0, 2)) - 1;
    tm.tm_mday = ToInt(date.substr(3, 2));
    tm.tm_year = ToInt(date.substr(6, 4)) - 1900;
    tm.tm_hour = ToInt(time.substr(0, 2));
    tm.tm_min = ToInt(time.substr(3, 2));
    tm.tm_isdst = -1;
    if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_hour > 23
        || tm.tm_min > 59)
        return std::nullopt;

    QuoteRecord sample;
    sample.quoteTime = static_cast<std::int64_t>(std::mktime(&tm));
    sample.last = values[0];
    const size_t changeBegin = fields[3].data() - line.data();
    const size_t changeEnd = fields[n - 7].data() + fields[n - 7].size() - line.data();
    sample.change = std::string(line.substr(changeBegin, changeEnd - changeBegin));
    sample.high = values[1];
    sample.low = values[2];
    sample.priceEarnings = values[3];
    sample.ask = values[4];
    sample.bid = values[5];
    sample.beta = values[6];
    return sample;
}

DataFileContents ReadDataFileText(std::string_view text)
{
    static constexpr std::string_view kHeader
        = "Date\t\tTime\tCurrent\tChange\t\tHigh\tLow\tP/E\tAsk\tBid\tBeta";
    DataFileContents contents;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line == kHeader)
            continue;
        if (auto sample = ParseDataFileLine(line))
            contents.samples.push_back(std::move(*sample));
        else
            ++contents.skippedLines;
    }
    return contents;
}

std::string SymbolFromDataFileName(std::string_view fileName)
{
    const size_t slash = fileName.find_last_of("/\\");
    if (slash != std::string_view::npos)
        fileName.remove_prefix(slash + 1);
    // MM_DD_YYYY_symbol.txt
    if (fileName.size() <= 15 || fileName[2] != '_' || fileName[5] != '_' || fileName[10] != '_'
        || fileName.substr(fileName.size() - 4) != ".txt")
        return {};
    std::string symbol(fileName.substr(11, fileName.size() - 15));
    for (char& c : symbol) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return symbol;
}

double ReplayPreviousClose(const QuoteRecord& sample)
{
    return sample.last - ParseDoubleLikeAtof(sample.change);
}
