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

QTEST_GUILESS_MAIN(TestRecentFileList)
#include "tst_recentfilelist.moc"
