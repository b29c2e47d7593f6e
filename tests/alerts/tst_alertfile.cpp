// The alerts file: lines it cannot read are kept and told once, a file the user may not write is
// reported and left alone, a write that does not fit leaves the earlier file whole. Each store
// runs in a child process of this test, unprivileged where permission bits must bind.
#include "alerts/alertfile.h"
#include "platform/notifier.h"
#include "support/childrun.h"
#include "support/smalldisk.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kEarlier = "US:MSFT above 420.00\n"
                            "this is not an alert\n"
                            "# my alerts\n"
                            "GB:VOD move 3.5\n"
                            "US:MSFT bellow 380\n"
                            "\n"
                            "US:AAPL below 150.5\n";

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

// Reads the file three times, then stores "below 380" for US:MSFT (as the dialog does).
ChildRun StoreInChild(const QString& path, bool unprivileged)
{
    return RunSelfInChild({ QStringLiteral("--store"), path }, unprivileged);
}

int StoreAsProcess(const QString& path)
{
    AlertFile file(QFile::encodeName(path).toStdString());
    for (int i = 0; i < 3; ++i)
        file.Load();
    RecordingNotifier notifier;
    const bool ok = file.Store("US:MSFT", { PriceAlert { AlertKind::Below, 380 } }, notifier);
    for (const std::string& message : notifier.messages)
        std::printf("%s\n", message.c_str());
    return ok ? 0 : 1;
}

} // namespace

class TestAlertFile final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        ::chmod(QFile::encodeName(m_dir->path()).constData(), 0777); // nobody writes here too
        m_path = m_dir->filePath(QStringLiteral("alerts"));
    }

    void cleanup() { m_dir.reset(); }

    // The security's lines are replaced where they stood; every other line, one it cannot read
    // included, stays as it was, and each unreadable line is told once however often it is read.
    void unreadableLinesKeptAndToldOnce()
    {
        QVERIFY(WriteBytes(m_path, kEarlier));
        const ChildRun run = StoreInChild(m_path, false);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(ReadAll(m_path),
            QByteArray("US:MSFT below 380.00\nthis is not an alert\n# my alerts\nGB:VOD move 3.5\n"
                       "US:MSFT bellow 380\n\nUS:AAPL below 150.5\n"));
        const QList<QByteArray> told = run.err.trimmed().split('\n');
        QCOMPARE(told.size(), 2);
        QVERIFY2(
            told.at(0).endsWith(", line 2: not an alert, kept as it is: this is not an alert"), told.at(0));
        QVERIFY2(
            told.at(1).endsWith(", line 5: not an alert, kept as it is: US:MSFT bellow 380"), told.at(1));
    }

    void readOnlyFileReported()
    {
        if (::geteuid() == 0 && QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            QSKIP("setpriv is not installed: root would write the file anyway");
        QVERIFY(WriteBytes(m_path, kEarlier));
        QVERIFY(::chmod(QFile::encodeName(m_path).constData(), 0444) == 0);
        const ChildRun run = StoreInChild(m_path, true);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.out, "Can not write the alerts file \"" + QFile::encodeName(m_path) + "\".\n");
        QCOMPARE(ReadAll(m_path), kEarlier);
    }

    void fullDiskKeepsTheEarlierFile()
    {
        SmallDisk disk(m_dir->path(), "size=64k");
        if (!disk.mounted())
            QSKIP("no file system may be mounted here");
        QVERIFY(WriteBytes(m_path, kEarlier));
        QVERIFY(disk.fill(0));
        const ChildRun run = StoreInChild(m_path, false);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.out, "Can not write the alerts file \"" + QFile::encodeName(m_path) + "\".\n");
        QCOMPARE(ReadAll(m_path), kEarlier);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
            (QStringList { QStringLiteral("alerts"), QStringLiteral("filler") }));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args.at(1) == QLatin1String("--store"))
        return StoreAsProcess(args.at(2));
    TestAlertFile test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_alertfile.moc"
