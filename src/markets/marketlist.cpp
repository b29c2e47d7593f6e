#include "markets/marketlist.h"

#include "markets/markettable.h"
#include "platform/notifier.h"
#include "platform/textcodec.h"
#include "quote/quotemanager.h"

#include <QByteArray>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The entry every record line starts from: the defaults, with the market's country code.
QuoteEntry EntryTemplate(const std::string& code, const QuoteEntry& defaultEntry, bool& known)
{
    QuoteEntry entry = defaultEntry;
    const char* country = CountryCodeForMarket(code);
    known = country != nullptr;
    if (country)
        entry.countryCode = country;
    return entry;
}

void TellUnknown(bool known, std::size_t records, Notifier* notifier)
{
    if (known || !notifier)
        return;
    for (std::size_t i = 0; i < records; ++i)
        notifier->showMessage("Unknown Market Name");
}

// Reads at most kMarketListReadLimit bytes of a regular file straight into the buffer the list
// keeps. Opened without blocking and checked on the open descriptor, so a FIFO or device put in
// the list's place is refused at once instead of waiting for a writer.
bool ReadListFile(const QByteArray& path, std::unique_ptr<char[]>& buffer, std::size_t& got)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info { };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    // As big as the file says it is; a file that claims no size (as some kernel files do) gets
    // the whole limit. Left uninitialised: only the bytes the reads fill are ever looked at.
    const std::size_t capacity = info.st_size > 0
        ? std::min(static_cast<std::size_t>(info.st_size), kMarketListReadLimit)
        : kMarketListReadLimit;
    buffer.reset(new char[capacity]);
    got = 0;
    bool ok = true;
    while (got < capacity) {
        const ssize_t n = ::read(fd, buffer.get() + got, capacity - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return ok;
}

} // namespace

std::string MarketListFileName(const std::string& code)
{
    return code + ".TXT";
}

void ParseMarketList(std::string_view bytes, const std::string& code, const QuoteEntry& defaultEntry,
    ListEntries& entries, Notifier* notifier)
{
    bytes = bytes.substr(0, std::min(bytes.size(), kMarketListReadLimit));
    std::unique_ptr<char[]> copy(new char[bytes.size()]);
    if (!bytes.empty())
        std::memcpy(copy.get(), bytes.data(), bytes.size());
    bool known = false;
    entries = ListEntries(std::move(copy), bytes.size(), EntryTemplate(code, defaultEntry, known));
    TellUnknown(known, entries.size(), notifier);
}

void ParseMarketList(std::string_view bytes, const std::string& code, const QuoteEntry& defaultEntry,
    EntryArray& entries, Notifier* notifier)
{
    ListEntries list;
    ParseMarketList(bytes, code, defaultEntry, list, notifier);
    entries = list.toArray();
}

bool CQuoteManager::LoadMarketList(const std::string& code, ListEntries& entries)
{
    const std::string fileName = MarketListFileName(code);
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
    if (!ReadListFile(QFile::encodeName(FromCp1252(fileName)), bytes, size)) {
        m_notifier.showMessage("Can not open a file \"" + fileName + "\".");
        return false;
    }
    bool known = false;
    entries = ListEntries(std::move(bytes), size, EntryTemplate(code, m_defaultEntry, known));
    TellUnknown(known, entries.size(), &m_notifier);
    return true;
}

bool CQuoteManager::LoadMarketList(const std::string& code, EntryArray& entries)
{
    ListEntries list;
    if (!LoadMarketList(code, list))
        return false;
    entries = list.toArray();
    return true;
}
