#pragma once

#include "quote/quoterecord.h"

#include <cstddef>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

class Notifier;

inline constexpr const char* kDataDirectory = "Stockdata";
// Where a simulated quote's samples go, below kDataDirectory: never in place of a real one's.
inline constexpr const char* kSimulatedDirectory = "Simulated";

// The quote service marks its simulated market in the company name: "Acme Inc (simulated)".
bool IsSimulatedName(const std::string& companyName);

// "%02d_%02d_%04d_%s.txt": month, day and year of today, the symbol in lower case. Path
// separators in the symbol become '_' so that the file stays inside the data directory.
std::string DataFileName(const std::string& symbol, const std::tm& today);

// The whole file: empty line, header, empty line, one line per sample; every line ends in CR LF.
std::string FormatDataFile(const std::vector<QuoteRecord>& samples);
std::string FormatDataFileLine(const QuoteRecord& sample);

// Writes the samples to "Stockdata/<name>" below the current directory (created when missing;
// the current directory itself when Stockdata cannot be entered), named from today's local date.
// The file is written beside its final name and renamed over any earlier one only once it is
// complete and on disk, keeping the earlier file's mode and, where allowed, its owner; a symbolic
// link is followed and its target replaced so; a file with other hard links, or in a directory
// that takes no new file, is overwritten in place and put back as it was should that fail. So a
// failed write, a full disk included, leaves the earlier file whole. An earlier file the user may
// not write is left alone like a failed create. A simulated quote's file goes to
// "Stockdata/Simulated/<name>" and nowhere else. On failure shows "Can not open an output file
// \"%s\"." and returns false. Never throws and never changes the process's current directory.
bool WriteDataFile(const std::vector<QuoteRecord>& samples, const std::string& symbol, Notifier& notifier,
    bool simulated = false) noexcept;

// Test hook: makes every write fail once this many bytes of the file have been written.
void SetDataFileWriteLimitForTesting(std::optional<std::size_t> bytes);
