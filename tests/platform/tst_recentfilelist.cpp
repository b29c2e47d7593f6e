#include "platform/recentfilelist.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestRecentFileList : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void addKeepsMostRecentFirst();
    void addMovesExistingToTop();
    void removeAndIgnoreBadIndex();
    void saveAndLoad();
    void saveDropsStaleValues();
    void overlongEntries_data();
    void overlongEntries();
};

void TestRecentFileList::addKeepsMostRecentFirst()
{
    RecentFileList list;
    QCOMPARE(list.size(), 0);
    for (int i = 1; i <= 16; ++i)
        list.Add(QStringLiteral("/d/Entry %1 (US, S%1)").arg(i));
    QCOMPARE(list.size(), 15);
    QCOMPARE(list.entries().front(), QStringLiteral("/d/Entry 16 (US, S16)"));
    QCOMPARE(list.entries().back(), QStringLiteral("/d/Entry 2 (US, S2)")); // the first fell off
    list.Add(QString());
    QCOMPARE(list.size(), 15);
}

void TestRecentFileList::addMovesExistingToTop()
{
    RecentFileList list(4);
    for (const char* e : { "a", "b", "c", "d" })
        list.Add(QString::fromLatin1(e));
    list.Add(QStringLiteral("b"));
    QCOMPARE(list.entries(),
        (QStringList { QStringLiteral("b"), QStringLiteral("d"), QStringLiteral("c"), QStringLiteral("a") }));
    list.Add(QStringLiteral("b"));
    QCOMPARE(list.entries(),
        (QStringList { QStringLiteral("b"), QStringLiteral("d"), QStringLiteral("c"), QStringLiteral("a") }));
    list.Add(QStringLiteral("e")); // full: the oldest goes, not the moved one
    QCOMPARE(list.entries(),
        (QStringList { QStringLiteral("e"), QStringLiteral("b"), QStringLiteral("d"), QStringLiteral("c") }));
}

void TestRecentFileList::removeAndIgnoreBadIndex()
{
    RecentFileList list;
    list.Add(QStringLiteral("x"));
    list.Add(QStringLiteral("y"));
    list.Remove(5);
    list.Remove(-1);
    QCOMPARE(list.size(), 2);
    list.Remove(0);
    QCOMPARE(list.entries(), QStringList { QStringLiteral("x") });
    QVERIFY(list.RemoveEntry(QStringLiteral("x")));
    QVERIFY(!list.RemoveEntry(QStringLiteral("x")));
}

void TestRecentFileList::saveAndLoad()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Kolpex.conf"));
    {
        QSettings settings(path, QSettings::IniFormat);
        RecentFileList list;
        list.Add(QStringLiteral("/home/u/Acme Corp (US, ACME)"));
        list.Add(QStringLiteral("/home/u/Bolt plc (GB, BLT)"));
        list.Save(settings);
    }
    QSettings settings(path, QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("Recent File List/File1")).toString(),
        QStringLiteral("/home/u/Bolt plc (GB, BLT)"));
    QCOMPARE(settings.value(QStringLiteral("Recent File List/File2")).toString(),
        QStringLiteral("/home/u/Acme Corp (US, ACME)"));
    RecentFileList loaded;
    loaded.Load(settings);
    QCOMPARE(loaded.entries(),
        (QStringList {
            QStringLiteral("/home/u/Bolt plc (GB, BLT)"), QStringLiteral("/home/u/Acme Corp (US, ACME)") }));
}

void TestRecentFileList::saveDropsStaleValues()
{
    QTemporaryDir dir;
    QSettings settings(dir.filePath(QStringLiteral("k.conf")), QSettings::IniFormat);
    RecentFileList list;
    for (const char* e : { "a", "b", "c" })
        list.Add(QString::fromLatin1(e));
    list.Save(settings);
    list.Remove(0);
    list.Remove(0);
    list.Save(settings);
    QVERIFY(!settings.contains(QStringLiteral("Recent File List/File2")));
    RecentFileList loaded;
    loaded.Load(settings);
    QCOMPARE(loaded.entries(), QStringList { QStringLiteral("a") });
}

void TestRecentFileList::overlongEntries_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("kept");
    QTest::newRow("at the bound") << RecentFileList::kMaxEntryLength << true;
    QTest::newRow("one past the bound") << RecentFileList::kMaxEntryLength + 1 << false;
    QTest::newRow("20 MB") << 20 * 1024 * 1024 << false;
}

// The settings file is anyone's to edit: an entry no path and title could make is not taken in,
// neither from the file nor when added.
void TestRecentFileList::overlongEntries()
{
    QFETCH(int, length);
    QFETCH(bool, kept);
    const QString normal = QStringLiteral("/home/u/Acme Corp (US, ACME)");
    const QString huge
        = QStringLiteral("/home/u/") + QString(length - 16, QLatin1Char('N')) + QStringLiteral(" (US, N)");
    QCOMPARE(huge.size(), length);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Kolpex.conf"));
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.setValue(QStringLiteral("Recent File List/File1"), huge);
        settings.setValue(QStringLiteral("Recent File List/File2"), normal);
    }
    QSettings settings(path, QSettings::IniFormat);
    RecentFileList loaded;
    loaded.Load(settings);
    const QStringList expected = kept ? QStringList { huge, normal } : QStringList { normal };
    QCOMPARE(loaded.entries(), expected);

    RecentFileList added;
    added.Add(normal);
    added.Add(huge);
    QCOMPARE(added.entries().front().size(), kept ? length : normal.size());
    QCOMPARE(added.size(), kept ? 2 : 1);
}

QTEST_GUILESS_MAIN(TestRecentFileList)
#include "tst_recentfilelist.moc"
