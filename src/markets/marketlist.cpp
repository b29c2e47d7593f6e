#include "markets/marketlist.h"

#include "markets/markettable.h"
#include "platform/notifier.h"
#include "platform/textcodec.h"
#include "quote/quotemanager.h"

#include <QByteArray>
#include <QFile>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void AssignTrimmed(std::string& out, const char* begin, std::size_t width)
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
    out.assign(begin, end);
}

void StripSymbolMarks(std::string& symbol)
{
    std::erase_if(symbol, [](char c) { return c == '%' || c == '&' || c == '!'; });
}

// Reads at most kMarketListReadLimit bytes of a regular file. Opened without blocking and
// checked on the open descriptor, so a FIFO or device put in the list's place is refused at
// once instead of waiting for a writer.
bool ReadListFile(const QByteArray& path, std::string& bytes)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info { };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    // Left uninitialised: only the bytes the reads fill are ever looked at.
    const std::unique_ptr<char[]> buffer(new char[kMarketListReadLimit]);
    std::size_t got = 0;
    bool ok = true;
    while (got < kMarketListReadLimit) {
        const ssize_t n = ::read(fd, buffer.get() + got, kMarketListReadLimit - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (ok)
        bytes.assign(buffer.get(), got);
    return ok;
}

} // namespace

std::string MarketListFileName(const std::string& code)
{
    return code + ".TXT";
}

void ParseMarketList(std::string_view bytes, const std::string& code, const QuoteEntry& defaultEntry,
    EntryArray& entries, Notifier* notifier)
{
    if (bytes.size() > kMarketListReadLimit)
        bytes = bytes.substr(0, kMarketListReadLimit);
    entries.clear();
    if (bytes.empty())
        return;
    if (const void* zero = std::memchr(bytes.data(), '\0', bytes.size()))
        bytes = bytes.substr(0, static_cast<std::size_t>(static_cast<const char*>(zero) - bytes.data()));

    // One entry per 64 bytes at most; reserving that keeps the appends from reallocating.
    entries.reserve(bytes.size() / (kMarketRecordLength + 1));

    const char* country = CountryCodeForMarket(code);
    const std::string countryText = country ? std::string(country) : defaultEntry.countryCode;
    const char* text = bytes.data();
    std::size_t lineStart = 0;
    while (lineStart < bytes.size()) {
        const void* feed = std::memchr(text + lineStart, '\n', bytes.size() - lineStart);
        if (!feed)
            break; // what follows the last line feed is not a line
        const auto lineEnd = static_cast<std::size_t>(static_cast<const char*>(feed) - text);
        if (lineEnd - lineStart == kMarketRecordLength) {
            const char* line = text + lineStart;
            if (!country && notifier)
                notifier->showMessage("Unknown Market Name");
            // Built in place rather than copied in from a working entry: the same eight fields,
            // without allocating every text twice.
            QuoteEntry& entry = entries.emplace_back();
            entry.writeToFile = defaultEntry.writeToFile;
            entry.easternTime = defaultEntry.easternTime;
            entry.refreshInterval = defaultEntry.refreshInterval;
            entry.countryCode = countryText;
            AssignTrimmed(entry.companyName, line, 40);
            AssignTrimmed(entry.symbol, line + 41, 7);
            AssignTrimmed(entry.volume, line + 48, 5);
            AssignTrimmed(entry.listed, line + 54, 8);
            StripSymbolMarks(entry.symbol);
        }
        lineStart = lineEnd + 1;
    }
}

bool CQuoteManager::LoadMarketList(const std::string& code, EntryArray& entries)
{
    const std::string fileName = MarketListFileName(code);
    std::string bytes;
    if (!ReadListFile(QFile::encodeName(FromCp1252(fileName)), bytes)) {
        m_notifier.showMessage("Can not open a file \"" + fileName + "\".");
        return false;
    }
    ParseMarketList(bytes, code, m_defaultEntry, entries, &m_notifier);
    return true;
}
