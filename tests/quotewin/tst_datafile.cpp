#include "platform/clock.h"
#include "platform/notifier.h"
#include "quotewin/datafile.h"
#include "support/childrun.h"
#include "support/smalldisk.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::int64_t kMarch7th2005At1405Eastern = 1110222300; // 19:05 UTC

QuoteRecord WorkedSample()
{
    QuoteRecord r;
    r.quoteTime = kMarch7th2005At1405Eastern;
    r.last = 25.5;
    r.change = "+0.25 (+0.99%)";
    r.high = 25.75;
    r.low = 25.1;
    r.priceEarnings = 12;
    r.ask = 25.51;
    r.bid = 25.49;
    r.beta = 1.1;
    return r;
}

std::tm Date(int year, int month, int day)
{
    std::tm tm {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    return tm;
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return f.readAll();
}

const QByteArray kHeaderBlock = "\r\nDate\t\tTime\tCurrent\tChange\t\tHigh\tLow\tP/E\tAsk\tBid\tBeta\r\n\r\n";

constexpr std::int64_t kTestNow = 1110196800; // 7 March 2005, 07:00 Eastern
const QString kMsftFile = QStringLiteral("03_07_2005_msft.txt");
std::vector<QuoteRecord> Samples(int count)
{
    return std::vector<QuoteRecord>(static_cast<std::size_t>(count), WorkedSample());
}

QByteArray Bytes(int samples)
{
    return QByteArray::fromStdString(FormatDataFile(Samples(samples)));
}

bool WriteBytes(const QString& path, const QByteArray& bytes, int mode)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush()
        && ::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode)) == 0;
}

bool Chmod(const QString& path, int mode)
{
    return ::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode)) == 0;
}

// The write runs in a child process of this test: unprivileged, or with a write(2) that fails like
// a full disk preloaded.
ChildRun RunWriteInChild(
    const QString& cwd, int samples, bool unprivileged, const QProcessEnvironment& extra = {})
{
    return RunSelfInChild(
        { QStringLiteral("--write-data-file"), QString::number(samples) }, unprivileged, cwd, extra);
}

// Empty when a child may run without privileges here, else why not.
QString WhyNobodyCannotRun()
{
    if (::geteuid() != 0)
        return {};
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        return QStringLiteral("setpriv is not installed");
    QTemporaryDir probe;
    Chmod(probe.path(), 0777);
    const ChildRun run = RunWriteInChild(probe.path(), 0, true);
    if (run.exitCode != 0)
        return QStringLiteral("a child cannot drop to nobody or reach the test binary");
    return {};
}

int RunAsProcess(QStringList args)
{
    if (args.isEmpty())
        return -1;
    Clock::SetNowForTesting([] { return kTestNow; });
    RecordingNotifier notifier;
    const bool ok = WriteDataFile(Samples(args.at(0).toInt()), "MSFT", notifier);
    for (const std::string& message : notifier.messages)
        std::printf("%s\n", message.c_str());
    return ok ? 0 : 1;
}

} // namespace

class TestDataFile final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir* m_dir = nullptr;
    QString m_previousDir;

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "EST5EDT");
        tzset();
    }

    void init()
    {
        m_previousDir = QDir::currentPath();
        m_dir = new QTemporaryDir;
        QVERIFY(m_dir->isValid());
        QVERIFY(QDir::setCurrent(m_dir->path()));
        Clock::SetNowForTesting([] { return kTestNow; });
    }

    void cleanup()
    {
        SetDataFileWriteLimitForTesting(std::nullopt);
        Clock::SetNowForTesting({});
        QDir::setCurrent(m_previousDir);
        delete m_dir;
        m_dir = nullptr;
    }

    void fileName_data()
    {
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("day");
        QTest::addColumn<QString>("expected");
        QTest::newRow("MSFT") << "MSFT" << 2005 << 3 << 7 << "03_07_2005_msft.txt";
        QTest::newRow("year end, dotted") << "BP.L" << 2005 << 12 << 31 << "12_31_2005_bp.l.txt";
        QTest::newRow("mixed case") << "Abc1" << 1999 << 1 << 2 << "01_02_1999_abc1.txt";
        QTest::newRow("separators stay inside") << "../A/B" << 2005 << 3 << 7 << "03_07_2005_.._a_b.txt";
        QTest::newRow("empty symbol") << "" << 2005 << 3 << 7 << "03_07_2005_.txt";
    }
    void fileName()
    {
        QFETCH(QString, symbol);
        QFETCH(int, year);
        QFETCH(int, month);
        QFETCH(int, day);
        QFETCH(QString, expected);
        QCOMPARE(
            QString::fromStdString(DataFileName(symbol.toStdString(), Date(year, month, day))), expected);
    }

    void workedLine()
    {
        QCOMPARE(QByteArray::fromStdString(FormatDataFileLine(WorkedSample())),
            QByteArray(
                "03/07/2005\t14:05\t25.50\t+0.25 (+0.99%)\t25.75\t25.10\t12.00\t25.51\t25.49\t1.10\r\n"));
        QuoteRecord r = WorkedSample(); // no high, low or change: written as they are
        r.high = 0;
        r.low = 0;
        r.change.clear();
        QCOMPARE(QByteArray::fromStdString(FormatDataFileLine(r)),
            QByteArray("03/07/2005\t14:05\t25.50\t\t0.00\t0.00\t12.00\t25.51\t25.49\t1.10\r\n"));
    }

    void twoSamplesExactBytes()
    {
        QuoteRecord second = WorkedSample();
        second.quoteTime += 24 * 3600 + 5 * 60; // next day, 14:10: each line carries its own date
        second.last = 26;
        const QByteArray expected = kHeaderBlock
            + "03/07/2005\t14:05\t25.50\t+0.25 (+0.99%)\t25.75\t25.10\t12.00\t25.51\t25.49\t1.10\r\n"
              "03/08/2005\t14:10\t26.00\t+0.25 (+0.99%)\t25.75\t25.10\t12.00\t25.51\t25.49\t1.10\r\n";
        QCOMPARE(QByteArray::fromStdString(FormatDataFile({ WorkedSample(), second })), expected);

        RecordingNotifier notifier;
        QVERIFY(WriteDataFile({ WorkedSample(), second }, "MSFT", notifier));
        QVERIFY(notifier.messages.empty());
        QCOMPARE(ReadAll(QStringLiteral("Stockdata/03_07_2005_msft.txt")), expected);
    }

    void noSamplesWritesTheHeaderOnly()
    {
        RecordingNotifier notifier;
        QVERIFY(!QDir(QStringLiteral("Stockdata")).exists());
        QVERIFY(WriteDataFile({}, "IBM", notifier));
        QCOMPARE(ReadAll(QStringLiteral("Stockdata/03_07_2005_ibm.txt")), kHeaderBlock);
    }

    void currentDirectoryUnchanged()
    {
        const QString before = QDir::currentPath();
        RecordingNotifier notifier;
        QVERIFY(WriteDataFile({ WorkedSample() }, "MSFT", notifier));
        QCOMPARE(QDir::currentPath(), before);
        // and after a failure too: a directory in the way cannot be created, and says so
        QVERIFY(QDir().mkpath(QStringLiteral("Stockdata/03_07_2005_bad.txt")));
        QVERIFY(!WriteDataFile({ WorkedSample() }, "BAD", notifier));
        QCOMPARE(QDir::currentPath(), before);
        QCOMPARE(notifier.messages,
            std::vector<std::string> { "Can not open an output file \"03_07_2005_bad.txt\"." });
    }

    void laterWindowReplacesTheFile()
    {
        RecordingNotifier notifier;
        QuoteRecord other = WorkedSample();
        other.last = 99;
        QVERIFY(WriteDataFile({ WorkedSample(), WorkedSample() }, "MSFT", notifier));
        QVERIFY(WriteDataFile({ other }, "msft", notifier));
        QCOMPARE(ReadAll(QStringLiteral("Stockdata/03_07_2005_msft.txt")),
            QByteArray::fromStdString(FormatDataFile({ other })));
    }

    void simulatedQuoteNeverReplacesARealOne()
    {
        RecordingNotifier notifier;
        QuoteRecord invented = WorkedSample();
        invented.last = 99;
        QVERIFY(WriteDataFile({ WorkedSample() }, "MSFT", notifier));
        QVERIFY(WriteDataFile({ invented }, "MSFT", notifier, true));
        QCOMPARE(ReadAll(QStringLiteral("Stockdata/03_07_2005_msft.txt")),
            QByteArray::fromStdString(FormatDataFile({ WorkedSample() })));
        QCOMPARE(ReadAll(QStringLiteral("Stockdata/Simulated/03_07_2005_msft.txt")),
            QByteArray::fromStdString(FormatDataFile({ invented })));
    }

    void failedWriteKeepsTheEarlierFile_data()
    {
        QTest::addColumn<int>("limit");
        QTest::newRow("nothing written") << 0;
        QTest::newRow("inside the header") << 10;
        QTest::newRow("inside a sample line") << kHeaderBlock.size() + 20;
    }
    void failedWriteKeepsTheEarlierFile()
    {
        QFETCH(int, limit);
        RecordingNotifier notifier;
        QVERIFY(WriteDataFile({ WorkedSample() }, "MSFT", notifier));
        const QByteArray earlier = ReadAll(QStringLiteral("Stockdata/03_07_2005_msft.txt"));

        SetDataFileWriteLimitForTesting(static_cast<std::size_t>(limit));
        QVERIFY(!WriteDataFile({ WorkedSample(), WorkedSample(), WorkedSample() }, "MSFT", notifier));
        QCOMPARE(notifier.messages,
            std::vector<std::string> { "Can not open an output file \"03_07_2005_msft.txt\"." });
        QCOMPARE(ReadAll(QStringLiteral("Stockdata/03_07_2005_msft.txt")), earlier);
        // no half-written companion left behind
        QCOMPARE(QDir(QStringLiteral("Stockdata")).entryList(QDir::Files),
            QStringList { QStringLiteral("03_07_2005_msft.txt") });
    }

    void fullDisk_data()
    {
        QTest::addColumn<int>("room");
        QTest::addColumn<int>("earlierSamples");
        QTest::addColumn<int>("samples");
        QTest::addColumn<bool>("inPlace");
        QTest::addColumn<bool>("fits");
        QTest::newRow("full before the first byte") << 0 << 1 << 1 << false << false;
        QTest::newRow("full part of the way") << 8192 << 1 << 2000 << false << false;
        QTest::newRow("in place, longer than the earlier file") << 0 << 40 << 2000 << true << false;
        QTest::newRow("in place, shorter than the earlier file") << 0 << 40 << 3 << true << true;
    }
    // A real full file system: the earlier file stays as it was and the user is told.
    void fullDisk()
    {
        QFETCH(int, room);
        QFETCH(int, earlierSamples);
        QFETCH(int, samples);
        QFETCH(bool, inPlace);
        QFETCH(bool, fits);
        if (inPlace) {
            if (const QString why = WhyNobodyCannotRun(); !why.isEmpty())
                QSKIP(qPrintable(why));
        }
        const QString dataDir = m_dir->filePath(QStringLiteral("Stockdata"));
        const QString target = dataDir + QLatin1Char('/') + kMsftFile;
        QVERIFY(QDir().mkpath(dataDir));
        QVERIFY(Chmod(m_dir->path(), 0755));
        SmallDisk disk(dataDir, "size=64k");
        const QByteArray earlier = Bytes(earlierSamples);
        QVERIFY(WriteBytes(target, earlier, inPlace ? 0666 : 0644));
        QProcessEnvironment env;
        if (disk.mounted()) {
            QVERIFY(disk.fill(static_cast<std::size_t>(room)));
            QVERIFY(Chmod(dataDir, inPlace ? 0555 : 0755));
        } else {
            QVERIFY(Chmod(dataDir, inPlace ? 0555 : 0755));
            // No mount allowed here: a preloaded write(2) refuses what does not fit instead.
            env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(KOLPEX_ENOSPC_SHIM));
            env.insert(QStringLiteral("KOLPEX_ENOSPC_DIR"), QDir(dataDir).canonicalPath());
            env.insert(QStringLiteral("KOLPEX_ENOSPC_ROOM"), QString::number(room));
            env.insert(QStringLiteral("ASAN_OPTIONS"),
                qEnvironmentVariable("ASAN_OPTIONS") + QStringLiteral(":verify_asan_link_order=0"));
        }
        const QStringList before = QDir(dataDir).entryList(QDir::Files | QDir::Hidden);

        const ChildRun run = RunWriteInChild(m_dir->path(), samples, inPlace, env);
        QCOMPARE(run.exitCode, fits ? 0 : 1);
        QCOMPARE(run.out,
            fits ? QByteArray() : QByteArray("Can not open an output file \"03_07_2005_msft.txt\".\n"));
        QCOMPARE(ReadAll(target), fits ? Bytes(samples) : earlier);
        QVERIFY(Chmod(dataDir, 0755));
        QCOMPARE(QDir(dataDir).entryList(QDir::Files | QDir::Hidden), before); // nothing left behind
        QVERIFY(!QFile::exists(m_dir->filePath(kMsftFile)));
    }

    void readOnlyFileSystem()
    {
        const QString dataDir = m_dir->filePath(QStringLiteral("Stockdata"));
        QVERIFY(QDir().mkpath(dataDir));
        SmallDisk disk(dataDir, "size=64k");
        if (!disk.mounted())
            QSKIP("no file system may be mounted here");
        const QByteArray earlier = Bytes(2);
        QVERIFY(WriteBytes(dataDir + QLatin1Char('/') + kMsftFile, earlier, 0666));
        QVERIFY(disk.remountReadOnly());
        RecordingNotifier notifier;
        QVERIFY(!WriteDataFile(Samples(5), "MSFT", notifier));
        QCOMPARE(notifier.messages,
            std::vector<std::string> { "Can not open an output file \"03_07_2005_msft.txt\"." });
        QCOMPARE(ReadAll(dataDir + QLatin1Char('/') + kMsftFile), earlier);
        QVERIFY(!QFile::exists(m_dir->filePath(kMsftFile)));
    }

    void directoryTakesNoNewFile_data()
    {
        QTest::addColumn<int>("dirMode");
        QTest::addColumn<int>("earlierSamples"); // -1: no earlier file
        QTest::addColumn<int>("earlierMode");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("inCurrent");
        QTest::newRow("cannot be entered: the current directory") << 0600 << -1 << 0 << true << true;
        QTest::newRow("writable file, shorter new one") << 0555 << 30 << 0666 << true << false;
        QTest::newRow("writable file, longer new one") << 0555 << 1 << 0666 << true << false;
        QTest::newRow("no earlier file") << 0555 << -1 << 0 << false << false;
        QTest::newRow("earlier file read-only") << 0555 << 2 << 0444 << false << false;
    }
    // A Stockdata that the user may not enter or not add files to.
    void directoryTakesNoNewFile()
    {
        QFETCH(int, dirMode);
        QFETCH(int, earlierSamples);
        QFETCH(int, earlierMode);
        QFETCH(bool, ok);
        QFETCH(bool, inCurrent);
        if (const QString why = WhyNobodyCannotRun(); !why.isEmpty())
            QSKIP(qPrintable(why));
        const QString dataDir = m_dir->filePath(QStringLiteral("Stockdata"));
        const QString target = dataDir + QLatin1Char('/') + kMsftFile;
        QVERIFY(QDir().mkpath(dataDir));
        const QByteArray earlier = earlierSamples < 0 ? QByteArray() : Bytes(earlierSamples);
        if (earlierSamples >= 0)
            QVERIFY(WriteBytes(target, earlier, earlierMode));
        QVERIFY(Chmod(dataDir, dirMode));
        QVERIFY(Chmod(m_dir->path(), 0777));
        const int samples = 4;

        const ChildRun run = RunWriteInChild(m_dir->path(), samples, true);
        QVERIFY(Chmod(dataDir, 0755));
        QCOMPARE(run.exitCode, ok ? 0 : 1);
        QCOMPARE(run.out,
            ok ? QByteArray() : QByteArray("Can not open an output file \"03_07_2005_msft.txt\".\n"));
        const QString written = inCurrent ? m_dir->filePath(kMsftFile) : target;
        QCOMPARE(ReadAll(written),
            ok                     ? Bytes(samples)
                : earlier.isNull() ? QByteArray("<missing>")
                                   : earlier);
        if (!inCurrent)
            QVERIFY(!QFile::exists(m_dir->filePath(kMsftFile)));
        QStringList expected;
        if (earlierSamples >= 0)
            expected << kMsftFile;
        QCOMPARE(QDir(dataDir).entryList(QDir::Files | QDir::Hidden), expected);
        if (earlierSamples >= 0) {
            struct stat info { };
            QCOMPARE(::stat(QFile::encodeName(target).constData(), &info), 0);
            QCOMPARE(int(info.st_mode & 07777), earlierMode);
        }
    }

    void replacesLikeAnEditor_data()
    {
        QTest::addColumn<int>("earlierMode");
        QTest::addColumn<QString>("link"); // how the data file's name reaches the file: "", symlink, hardlink
        QTest::addColumn<bool>("nobodyOwns"); // the earlier file belongs to nobody (root writes it)
        QTest::addColumn<bool>("unprivileged");
        QTest::addColumn<bool>("ok");
        QTest::newRow("read-only file is refused") << 0444 << QString() << false << true << false;
        QTest::newRow("read-only file behind a symlink") << 0444 << "symlink" << false << true << false;
        QTest::newRow("symlink written through to its target") << 0644 << "symlink" << false << false << true;
        QTest::newRow("hard link kept") << 0644 << "hardlink" << false << false << true;
        QTest::newRow("mode kept") << 0604 << QString() << false << false << true;
        QTest::newRow("owner kept") << 0640 << QString() << true << false << true;
    }
    // An earlier data file is replaced the way a careful editor saves: the name stays what it was
    // (a link stays a link, other hard links see the new contents), and so do mode and owner.
    void replacesLikeAnEditor()
    {
        QFETCH(int, earlierMode);
        QFETCH(QString, link);
        QFETCH(bool, nobodyOwns);
        QFETCH(bool, unprivileged);
        QFETCH(bool, ok);
        if (const QString why = unprivileged ? WhyNobodyCannotRun() : QString(); !why.isEmpty())
            QSKIP(qPrintable(why));
        if (nobodyOwns && ::geteuid() != 0)
            QSKIP("only root may give a file to another user");
        const QString dataDir = m_dir->filePath(QStringLiteral("Stockdata"));
        const QString elsewhere = m_dir->filePath(QStringLiteral("kept"));
        const QString name = dataDir + QLatin1Char('/') + kMsftFile;
        const QString other = link.isEmpty() ? name : elsewhere + QStringLiteral("/msft.txt");
        const QByteArray nameC = QFile::encodeName(name), otherC = QFile::encodeName(other);
        for (const QString& dir : { m_dir->path(), dataDir, elsewhere })
            QVERIFY(QDir().mkpath(dir) && Chmod(dir, 0777)); // the directories never stop the write
        const QByteArray earlier = Bytes(2);
        QVERIFY(WriteBytes(other, earlier, earlierMode));
        if (link == QLatin1String("symlink"))
            QVERIFY(QFile::link(QStringLiteral("../kept/msft.txt"), name));
        else if (link == QLatin1String("hardlink"))
            QCOMPARE(::link(otherC.constData(), nameC.constData()), 0);
        if (nobodyOwns)
            QCOMPARE(::chown(otherC.constData(), kNobody, kNobody), 0);
        struct stat before {
        }, nameBefore {}, after {}, nameAfter {};
        QVERIFY(::stat(otherC.constData(), &before) == 0 && ::lstat(nameC.constData(), &nameBefore) == 0);

        const ChildRun run = RunWriteInChild(m_dir->path(), 3, unprivileged);
        QCOMPARE(run.exitCode, ok ? 0 : 1);
        QCOMPARE(run.out,
            ok ? QByteArray() : QByteArray("Can not open an output file \"03_07_2005_msft.txt\".\n"));
        QCOMPARE(ReadAll(name), ok ? Bytes(3) : earlier);
        QCOMPARE(ReadAll(other), ReadAll(name));
        QVERIFY(::stat(otherC.constData(), &after) == 0 && ::lstat(nameC.constData(), &nameAfter) == 0);
        QCOMPARE(nameAfter.st_mode & S_IFMT, nameBefore.st_mode & S_IFMT);
        QCOMPARE(int(after.st_mode & 07777), earlierMode);
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_gid, before.st_gid);
        QCOMPARE(after.st_nlink, before.st_nlink);
        if (link == QLatin1String("hardlink"))
            QCOMPARE(nameAfter.st_ino, after.st_ino);
        QCOMPARE(
            QDir(dataDir).entryList(QDir::Files | QDir::System | QDir::Hidden), QStringList { kMsftFile });
        QCOMPARE(QDir(elsewhere).entryList(QDir::Files | QDir::Hidden),
            link.isEmpty() ? QStringList() : QStringList { QStringLiteral("msft.txt") });
    }

    void unusableDataDirectoryFallsBackToCurrent()
    {
        QFile blocker(QStringLiteral("Stockdata"));
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a plain file named like the directory
        blocker.close();
        RecordingNotifier notifier;
        QVERIFY(WriteDataFile({}, "MSFT", notifier));
        QCOMPARE(ReadAll(QStringLiteral("03_07_2005_msft.txt")), kHeaderBlock);
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qputenv("TZ", "EST5EDT");
    tzset();
    QStringList args = QCoreApplication::arguments();
    if (args.size() >= 2 && args.at(1) == QLatin1String("--write-data-file"))
        return RunAsProcess(args.mid(2));
    TestDataFile test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_datafile.moc"
