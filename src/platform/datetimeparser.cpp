#include "platform/datetimeparser.h"

#include "platform/clock.h"

#include <array>
#include <ctime>

namespace {

enum class DateRead { None, Ok, Bad };

constexpr std::array<std::string_view, 12> kMonths = { "january", "february", "march", "april", "may", "june",
    "july", "august", "september", "october", "november", "december" };
constexpr std::array<std::string_view, 7> kWeekdays
    = { "sunday", "monday", "tuesday", "wednesday", "thursday", "friday", "saturday" };

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsAlpha(char c)
{
    const char l = Lower(c);
    return l >= 'a' && l <= 'z';
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

class Scanner {
public:
    explicit Scanner(std::string_view text)
        : m_text(text)
    {
    }

    bool atEnd() const { return m_pos >= m_text.size(); }
    char peek(size_t ahead = 0) const { return m_pos + ahead < m_text.size() ? m_text[m_pos + ahead] : '\0'; }
    size_t pos() const { return m_pos; }
    void reset(size_t pos) { m_pos = pos; }
    void skipSpace()
    {
        while (!atEnd() && IsSpace(peek()))
            ++m_pos;
    }
    bool take(char c)
    {
        if (peek() != c || atEnd())
            return false;
        ++m_pos;
        return true;
    }
    // Up to maxDigits digits; the count read, 0 when none. More digits than that is a failure.
    int number(int maxDigits, int& value)
    {
        int count = 0;
        value = 0;
        while (!atEnd() && IsDigit(peek())) {
            if (++count > maxDigits)
                return -1;
            value = value * 10 + (peek() - '0');
            ++m_pos;
        }
        return count;
    }
    std::string_view word()
    {
        const size_t start = m_pos;
        while (!atEnd() && IsAlpha(peek()))
            ++m_pos;
        return m_text.substr(start, m_pos - start);
    }

private:
    std::string_view m_text;
    size_t m_pos = 0;
};

// A full name or an abbreviation of at least three letters of it, any case.
template <size_t N> int MatchName(std::string_view word, const std::array<std::string_view, N>& names)
{
    if (word.size() < 3)
        return -1;
    for (size_t i = 0; i < N; ++i) {
        const std::string_view name = names[i];
        if (word.size() > name.size())
            continue;
        bool same = true;
        for (size_t k = 0; k < word.size() && same; ++k)
            same = Lower(word[k]) == name[k];
        if (same && (word.size() == 3 || word.size() == name.size() || (i == 8 && word.size() == 4)))
            return static_cast<int>(i);
    }
    return -1;
}

bool IsLeap(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static constexpr std::array<int, 12> kDays = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    return month == 2 && IsLeap(year) ? 29 : kDays[static_cast<size_t>(month - 1)];
}

// Two-digit years: 00-29 are this century, 30-99 the last one.
bool ReadYear(Scanner& s, int& year)
{
    const int digits = s.number(4, year);
    if (digits == 1 || digits == 2) {
        year += year < 30 ? 2000 : 1900;
        return true;
    }
    return digits == 4 && year >= 1000;
}

bool ValidDate(const ParsedDateTime& d)
{
    return d.month >= 1 && d.month <= 12 && d.day >= 1 && d.day <= DaysInMonth(d.year, d.month);
}

int CurrentYear()
{
    return Clock::LocalTime(Clock::Now()).tm_year + 1900;
}

// m/d/y, m-d-y or m/d; leaves the scanner after the date, or where it was when there is none.
DateRead ReadNumericDate(Scanner& s, ParsedDateTime& d)
{
    const size_t start = s.pos();
    int month = 0;
    if (s.number(2, month) <= 0 || (s.peek() != '/' && s.peek() != '-')) {
        s.reset(start);
        return DateRead::None;
    }
    const char sep = s.peek();
    s.take(sep);
    int day = 0;
    if (s.number(2, day) <= 0)
        return DateRead::Bad;
    d.month = month;
    d.day = day;
    if (s.take(sep)) {
        if (!ReadYear(s, d.year))
            return DateRead::Bad;
    } else {
        d.year = CurrentYear();
    }
    d.hasDate = true;
    return ValidDate(d) ? DateRead::Ok : DateRead::Bad;
}

// "Mar 7, 2005", "March 7 2005", "Mar. 7", "7 Mar 2005".
DateRead ReadNamedDate(Scanner& s, ParsedDateTime& d)
{
    const size_t start = s.pos();
    int day = 0;
    bool dayFirst = false;
    if (IsDigit(s.peek())) {
        if (s.number(2, day) <= 0) {
            s.reset(start);
            return DateRead::None;
        }
        s.skipSpace();
        dayFirst = true;
    }
    const int month = MatchName(s.word(), kMonths);
    if (month < 0) {
        s.reset(start);
        return DateRead::None;
    }
    s.take('.');
    s.skipSpace();
    if (!dayFirst && (s.number(2, day) <= 0 || s.peek() == ':'))
        return DateRead::Bad;
    d.month = month + 1;
    d.day = day;
    const size_t afterDay = s.pos();
    s.take(',');
    s.skipSpace();
    // A year follows unless what follows is already the time: an hour has a ':' or an AM/PM after it.
    const size_t yearStart = s.pos();
    int year = 0;
    bool isYear = s.number(4, year) > 0;
    if (isYear) {
        const bool colon = s.peek() == ':';
        s.skipSpace();
        const char next = Lower(s.peek());
        isYear = !colon && next != 'a' && next != 'p';
    }
    if (isYear) {
        s.reset(yearStart);
        if (!ReadYear(s, d.year))
            return DateRead::Bad;
    } else {
        s.reset(afterDay);
        d.year = CurrentYear();
    }
    d.hasDate = true;
    return ValidDate(d) ? DateRead::Ok : DateRead::Bad;
}

// "am", "pm", "a", "p", "a.m.", "p.m."; 0 none, 1 am, 2 pm, -1 something else.
int ReadMeridiem(Scanner& s)
{
    const size_t start = s.pos();
    s.skipSpace();
    if (s.atEnd())
        return 0;
    const char c = Lower(s.peek());
    if (c != 'a' && c != 'p') {
        s.reset(start);
        return 0;
    }
    s.take(s.peek());
    s.take('.');
    if (Lower(s.peek()) == 'm') {
        s.take(s.peek());
        s.take('.');
    }
    if (!s.atEnd() && IsAlpha(s.peek()))
        return -1;
    return c == 'a' ? 1 : 2;
}

bool ReadTime(Scanner& s, ParsedDateTime& d)
{
    int hour = 0;
    if (s.number(2, hour) <= 0)
        return false;
    int minute = 0;
    int second = 0;
    bool hasMinutes = false;
    if (s.take(':')) {
        if (s.number(2, minute) != 2)
            return false;
        hasMinutes = true;
        if (s.take(':') && s.number(2, second) != 2)
            return false;
    }
    const int meridiem = ReadMeridiem(s);
    if (meridiem < 0 || (!hasMinutes && meridiem == 0))
        return false;
    if (minute > 59 || second > 59)
        return false;
    if (meridiem == 0) {
        if (hour > 23)
            return false;
    } else {
        if (hour < 1 || hour > 12)
            return false;
        hour %= 12;
        if (meridiem == 2)
            hour += 12;
    }
    d.hour = hour;
    d.minute = minute;
    d.second = second;
    return true;
}

void SkipWeekday(Scanner& s)
{
    const size_t start = s.pos();
    if (MatchName(s.word(), kWeekdays) < 0) {
        s.reset(start);
        return;
    }
    s.take('.');
    s.take(',');
    s.skipSpace();
}

} // namespace

std::optional<ParsedDateTime> ParseDateTime0409(std::string_view text)
{
    Scanner s(text);
    ParsedDateTime d;
    s.skipSpace();
    SkipWeekday(s);
    DateRead date = ReadNumericDate(s, d);
    if (date == DateRead::None)
        date = ReadNamedDate(s, d);
    if (date == DateRead::Bad)
        return std::nullopt;
    if (date == DateRead::Ok) {
        const size_t before = s.pos();
        s.take(',');
        s.skipSpace();
        if (s.pos() == before)
            return std::nullopt; // the date must be set off from the time
    }
    if (!ReadTime(s, d))
        return std::nullopt;
    s.skipSpace();
    if (!s.atEnd())
        return std::nullopt;
    return d;
}

std::int64_t BuildQuoteTime(const ParsedDateTime& parsed)
{
    std::tm tm {};
    if (parsed.year < 2000) {
        const std::tm today = Clock::LocalTime(Clock::Now());
        tm.tm_year = today.tm_year;
        tm.tm_mon = today.tm_mon;
        tm.tm_mday = today.tm_mday;
    } else {
        tm.tm_year = parsed.year - 1900;
        tm.tm_mon = parsed.month - 1;
        tm.tm_mday = parsed.day;
    }
    tm.tm_hour = parsed.hour;
    tm.tm_min = parsed.minute;
    tm.tm_sec = 0;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
}
