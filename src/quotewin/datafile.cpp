#include "quotewin/datafile.h"

#include "platform/carefulreplace.h"
#include "platform/clock.h"
#include "platform/notifier.h"
#include "platform/textcodec.h"
#include "platform/waitcursor.h"
#include "quotewin/numbertext.h"

#include <QByteArray>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace {

const char kHeader[] = "Date\t\tTime\tCurrent\tChange\t\tHigh\tLow\tP/E\tAsk\tBid\tBeta";

// The directory the file goes into: Stockdata below the current directory, or the current
// directory itself when Stockdata can be neither entered nor made. A simulated quote's goes to
// Stockdata/Simulated, made where missing; when that cannot be, the write fails there rather
// than land beside the real files.
std::filesystem::path OutputDirectory(bool simulated)
{
    std::error_code ec;
    std::filesystem::path current = std::filesystem::current_path(ec);
    if (ec)
        current = ".";
    std::filesystem::path dir = current / kDataDirectory;
    if (simulated) {
        std::filesystem::create_directories(dir / kSimulatedDirectory, ec);
        return dir / kSimulatedDirectory;
    }
    if (std::filesystem::is_directory(dir, ec))
        return ::access(dir.c_str(), X_OK) == 0 ? dir : current;
    if (std::filesystem::create_directory(dir, ec) || std::filesystem::is_directory(dir, ec))
        return dir;
    return current;
}

} // namespace

bool IsSimulatedName(const std::string& companyName)
{
    return companyName.ends_with(" (simulated)");
}

void SetDataFileWriteLimitForTesting(std::optional<std::size_t> bytes)
{
    SetCarefulReplaceWriteLimitForTesting(bytes);
}

std::string DataFileName(const std::string& symbol, const std::tm& today)
{
    std::string lower = symbol;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        else if (c == '/' || c == '\\' || c == '\0')
            c = '_';
    }
    char prefix[64];
    std::snprintf(
        prefix, sizeof prefix, "%02d_%02d_%04d_", today.tm_mon + 1, today.tm_mday, today.tm_year + 1900);
    return prefix + lower + ".txt";
}

std::string FormatDataFileLine(const QuoteRecord& sample)
{
    const std::tm tm = Clock::LocalTime(sample.quoteTime);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%02d/%02d/%04d\t%02d:%02d\t", tm.tm_mon + 1, tm.tm_mday,
        tm.tm_year + 1900, tm.tm_hour, tm.tm_min);
    std::string line = stamp;
    line += FormatFixed2(sample.last);
    line += '\t';
    line += sample.change;
    for (double value :
        { sample.high, sample.low, sample.priceEarnings, sample.ask, sample.bid, sample.beta }) {
        line += '\t';
        line += FormatFixed2(value);
    }
    line += "\r\n";
    return line;
}

std::string FormatDataFile(const std::vector<QuoteRecord>& samples)
{
    std::string text = "\r\n";
    text += kHeader;
    text += "\r\n\r\n";
    for (const QuoteRecord& sample : samples)
        text += FormatDataFileLine(sample);
    return text;
}

bool WriteDataFile(const std::vector<QuoteRecord>& samples, const std::string& symbol, Notifier& notifier,
    bool simulated) noexcept
{
    std::string name;
    try {
        name = DataFileName(symbol, Clock::LocalTime(Clock::Now()));
        std::string bytes;
        {
            WaitCursor wait;
            bytes = FormatDataFile(samples);
        }
        // The directory is in the file system's encoding, the name in the program's code page.
        if (ReplaceFileCarefully(
                OutputDirectory(simulated).string() + '/' + QFile::encodeName(FromCp1252(name)).toStdString(), bytes))
            return true;
    } catch (...) {
        // Out of memory or a file system error while building the path: reported like any
        // other failure below, since this runs while the window is being destroyed.
    }
    try {
        notifier.showMessage("Can not open an output file \"" + name + "\".");
    } catch (...) {
    }
    return false;
}
