#pragma once

#include <QString>
#include <QStringList>

class QSettings;

// The recent-file list: most recent first, each entry at most once, at most maxSize entries.
class RecentFileList final {
public:
    static constexpr int kDefaultSize = 15;
    // Longer than any directory path and "<company> (<code>, <symbol>)" text: such an entry did
    // not come from this program and is not taken in.
    static constexpr int kMaxEntryLength = 8192;
    explicit RecentFileList(int maxSize = kDefaultSize);

    const QStringList& entries() const { return m_entries; }
    int size() const { return static_cast<int>(m_entries.size()); }
    int maxSize() const { return m_maxSize; }

    // Puts the entry at the top; one already in the list moves there, the oldest falls off.
    void Add(const QString& entry);
    void Remove(int index);
    bool RemoveEntry(const QString& entry);

    // Section "Recent File List", values "File1" ... "File<maxSize>".
    void Load(QSettings& settings);
    void Save(QSettings& settings) const;

private:
    int m_maxSize;
    QStringList m_entries;
};
