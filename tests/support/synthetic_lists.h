#pragma once

// Synthetic market list files for tests and benchmarks: fixed-width 63-byte records (CR LF line
// ends) with unique symbols, made the same way every time for the same arguments.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace SyntheticLists {

inline constexpr std::size_t kRecordBytes = 63; // counted with the carriage return
inline constexpr std::size_t kLineBytes = kRecordBytes + 1;
inline constexpr std::size_t kLoaderLimitBytes = 1'000'000;
inline constexpr std::size_t kMaxRecords = 15'873; // kLoaderLimitBytes / kRecordBytes

inline std::string Pad(std::string text, std::size_t width, bool right = false)
{
    if (text.size() > width)
        text.resize(width);
    const std::string fill(width - text.size(), ' ');
    return right ? fill + text : text + fill;
}

// One record line including its CR LF.
inline std::string Record(
    const std::string& name, const std::string& symbol, const std::string& volume, const std::string& listed)
{
    return Pad(name, 40) + ' ' + Pad(symbol, 7) + Pad(volume, 5, true) + ' ' + Pad(listed, 8) + "\r\n";
}

// The n-th unique symbol: A, B, ... Z, AA, AB, ... (at most 7 letters).
inline std::string Symbol(std::size_t n)
{
    std::string s;
    ++n;
    while (n > 0) {
        --n;
        s.insert(s.begin(), char('A' + n % 26));
        n /= 26;
    }
    return s;
}

inline std::string Heading()
{
    return "\r\nSYNTHETIC EXCHANGE - LISTED SECURITIES\r\n\r\n"
           "COMPANY NAME                             SYMBOL  VOLUME  LISTED\r\n";
}

// A list file of `records` records (at most kMaxRecords), optionally below a heading.
inline std::string MakeListFile(std::size_t records, std::uint32_t seed = 1, bool withHeading = true)
{
    static const char* const first[] = { "Acme", "Northern", "Pacific", "Global", "United", "Summit", "Atlas",
        "Pioneer", "Granite", "Silver", "Harbor", "Crown" };
    static const char* const second[] = { "Industries", "Resources", "Holdings", "Systems", "Energy",
        "Financial", "Technologies", "Minerals", "Foods", "Networks" };
    static const char* const suffix[] = { "Inc", "Corp", "Ltd", "plc", "Co", "Group" };
    if (records > kMaxRecords)
        records = kMaxRecords;
    std::string out = withHeading ? Heading() : std::string();
    out.reserve(out.size() + records * kLineBytes);
    std::uint64_t state = seed * 0x9E3779B97F4A7C15ULL + 1;
    auto next = [&state] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return std::uint32_t(state >> 33);
    };
    for (std::size_t i = 0; i < records; ++i) {
        std::string name = std::string(first[next() % 12]) + ' ' + second[next() % 10] + ' '
            + std::to_string(i + 1) + ' ' + suffix[next() % 6];
        const std::string volume = std::to_string(1 + next() % 99999);
        const unsigned month = 1 + next() % 12, day = 1 + next() % 28, year = next() % 100;
        char listed[16];
        std::snprintf(listed, sizeof listed, "%02u/%02u/%02u", month, day, year);
        out += Record(name, Symbol(i), volume, listed);
    }
    return out;
}

// A list file of exactly `bytes` bytes (at most kLoaderLimitBytes): as many records as fit, the
// last one cut where the size ends, as a file cut by the loader's limit would be.
inline std::string MakeListFileOfSize(std::size_t bytes, std::uint32_t seed = 1, bool withHeading = true)
{
    if (bytes > kLoaderLimitBytes)
        bytes = kLoaderLimitBytes;
    const std::size_t heading = withHeading ? Heading().size() : 0;
    const std::size_t records = bytes > heading ? (bytes - heading) / kLineBytes + 1 : 0;
    std::string out = MakeListFile(records, seed, withHeading);
    out.resize(bytes, ' ');
    return out;
}

// How many records a loader finds in a file made by MakeListFileOfSize.
inline std::size_t CompleteRecords(std::size_t bytes, bool withHeading = true)
{
    const std::size_t heading = withHeading ? Heading().size() : 0;
    return bytes > heading ? (bytes - heading) / kLineBytes : 0;
}

} // namespace SyntheticLists
