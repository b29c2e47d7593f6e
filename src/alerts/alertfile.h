#pragma once

#include "alerts/pricealert.h"

#include <set>
#include <string>
#include <vector>

class Notifier;

// The alerts file, $XDG_CONFIG_HOME/kolpex/alerts (~/.config when unset): one alert a line,
// "US:MSFT above 420.00", "US:MSFT below 380", "GB:VOD move 3.5". Blank lines and lines
// starting with '#' are kept; so is a line that cannot be read, as it stands, told once on
// standard error. Written by a careful replace, so a failed write leaves the earlier file whole.
class AlertFile final {
public:
    explicit AlertFile(std::string path = DefaultPath());
    static std::string DefaultPath();
    const std::string& path() const { return m_path; }

    // Reads the file again (a missing one is empty). False when it exists and cannot be read.
    bool Load();
    std::vector<PriceAlert> AlertsFor(const std::string& security) const;
    // Reads the file again and puts these alerts in place of the security's earlier ones, every
    // other line as it was. On failure shows "Can not write the alerts file \"%s\"." and returns
    // false; a file that could not be read is never written over.
    bool Store(const std::string& security, const std::vector<PriceAlert>& alerts, Notifier& notifier);

private:
    std::string m_path;
    std::vector<std::string> m_lines;
    std::set<std::string> m_reported; // unreadable lines already told
};
