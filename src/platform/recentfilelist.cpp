#include "platform/recentfilelist.h"

#include <QSettings>

namespace {

const QString kSection = QStringLiteral("Recent File List");

QString KeyFor(int number)
{
    return QStringLiteral("File%1").arg(number);
}

} // namespace

RecentFileList::RecentFileList(int maxSize)
    : m_maxSize(maxSize)
{
}

void RecentFileList::Add(const QString& entry)
{
    if (entry.isEmpty() || entry.size() > kMaxEntryLength)
        return;
    m_entries.removeAll(entry);
    m_entries.prepend(entry);
    while (m_entries.size() > m_maxSize)
        m_entries.removeLast();
}

void RecentFileList::Remove(int index)
{
    if (index >= 0 && index < m_entries.size())
        m_entries.removeAt(index);
}

bool RecentFileList::RemoveEntry(const QString& entry)
{
    return m_entries.removeAll(entry) > 0;
}

void RecentFileList::Load(QSettings& settings)
{
    m_entries.clear();
    settings.beginGroup(kSection);
    for (int number = 1; number <= m_maxSize; ++number) {
        const QString entry = settings.value(KeyFor(number)).toString();
        if (!entry.isEmpty() && entry.size() <= kMaxEntryLength && !m_entries.contains(entry))
            m_entries.append(entry);
    }
    settings.endGroup();
}

void RecentFileList::Save(QSettings& settings) const
{
    settings.beginGroup(kSection);
    settings.remove(QString()); // drop values of entries that have gone since
    for (int i = 0; i < m_entries.size(); ++i)
        settings.setValue(KeyFor(i + 1), m_entries.at(i));
    settings.endGroup();
}
