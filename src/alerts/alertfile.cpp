#include "alerts/alertfile.h"

#include "platform/carefulreplace.h"
#include "platform/notifier.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

bool IsUnreadable(const std::string& line)
{
    const auto first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#')
        return false;
    return !ParseAlertLine(line);
}

} // namespace

AlertFile::AlertFile(std::string path)
    : m_path(std::move(path))
{
}

std::string AlertFile::DefaultPath()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QFile::encodeName(config + QStringLiteral("/kolpex/alerts")).toStdString();
}

bool AlertFile::Load()
{
    m_lines.clear();
    std::error_code ec;
    if (!std::filesystem::exists(m_path, ec))
        return !ec;
    std::ifstream in(m_path, std::ios::binary);
    if (!in)
        return false;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (IsUnreadable(line) && m_reported.insert(line).second)
            std::fprintf(stderr, "kolpex: %s, line %d: not an alert, kept as it is: %s\n", m_path.c_str(),
                number, line.c_str());
        m_lines.push_back(line);
    }
    return !in.bad();
}

std::vector<PriceAlert> AlertFile::AlertsFor(const std::string& security) const
{
    std::vector<PriceAlert> alerts;
    for (const std::string& line : m_lines)
        if (const auto parsed = ParseAlertLine(line); parsed && parsed->security == security)
            alerts.push_back(parsed->alert);
    return alerts;
}

bool AlertFile::Store(const std::string& security, const std::vector<PriceAlert>& alerts, Notifier& notifier)
{
    bool ok = false;
    try {
        if (Load()) {
            // The new alerts take the place of the first earlier one, so the file keeps its order.
            std::vector<std::string> lines;
            bool placed = false;
            auto place = [&] {
                for (const PriceAlert& alert : alerts)
                    lines.push_back(FormatAlertLine(security, alert));
                placed = true;
            };
            for (const std::string& line : m_lines) {
                const auto parsed = ParseAlertLine(line);
                if (!parsed || parsed->security != security)
                    lines.push_back(line);
                else if (!placed)
                    place();
            }
            if (!placed)
                place();
            std::string bytes;
            for (const std::string& line : lines)
                bytes += line + '\n';
            std::error_code ec;
            std::filesystem::create_directories(std::filesystem::path(m_path).parent_path(), ec);
            ok = ReplaceFileCarefully(m_path, bytes);
            if (ok)
                m_lines = std::move(lines);
        }
    } catch (...) {
        ok = false;
    }
    if (!ok)
        notifier.showMessage("Can not write the alerts file \"" + m_path + "\".");
    return ok;
}
