#include "platform/clock.h"
#include "platform/notifier.h"
#include "quotewin/datafile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <ctime>

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
        Clock::SetNowForTesting([] { return std::int64_t(1110196800); }); // 7 March 2005, 07:00 Eastern
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

QTEST_GUILESS_MAIN(TestDataFile)
#include "tst_datafile.moc"
