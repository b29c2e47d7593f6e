// A data file read back gives the samples it was written from, and the tool draws them again.

#include "quotewin/datafile.h"
#include "quotewin/datafilereader.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <ctime>

namespace {

QuoteRecord Sample(int hour, int minute, double last, const std::string& change)
{
    std::tm tm {};
    tm.tm_year = 2005 - 1900;
    tm.tm_mon = 2;
    tm.tm_mday = 7;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_isdst = -1;
    QuoteRecord r;
    r.quoteTime = static_cast<std::int64_t>(std::mktime(&tm));
    r.last = last;
    r.change = change;
    r.high = last + 0.25;
    r.low = last - 0.5;
    r.priceEarnings = 12;
    r.ask = last + 0.01;
    r.bid = last - 0.01;
    r.beta = 1.1;
    return r;
}

} // namespace

class TestDataFileReader : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "America/New_York");
        tzset();
    }

    void roundTrip()
    {
        const std::vector<QuoteRecord> samples
            = { Sample(9, 35, 25.5, "+0.25 (+0.99%)"), Sample(14, 5, 26, "-1.10\t(x) (-4.1%)") };
        const DataFileContents back = ReadDataFileText(FormatDataFile(samples));
        QCOMPARE(back.skippedLines, 0);
        QCOMPARE(back.samples.size(), samples.size());
        for (size_t i = 0; i < samples.size(); ++i) {
            QCOMPARE(back.samples[i].quoteTime, samples[i].quoteTime);
            QCOMPARE(back.samples[i].last, samples[i].last);
            QCOMPARE(back.samples[i].change, samples[i].change); // a tab inside the change text survives
            QCOMPARE(back.samples[i].high, samples[i].high);
            QCOMPARE(back.samples[i].low, samples[i].low);
            QCOMPARE(back.samples[i].beta, samples[i].beta);
        }
        QCOMPARE(ReplayPreviousClose(back.samples[0]), 25.25);
        QCOMPARE(ReplayPreviousClose(back.samples[1]), 27.1);
    }

    void badLines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("too few fields") << QByteArray("03/07/2005\t14:05\t25.50\tx\t1\t2");
        QTest::newRow("month name") << QByteArray("Mar/07/2005\t14:05\t1\tx\t1\t1\t1\t1\t1\t1");
        QTest::newRow("time without colon") << QByteArray("03/07/2005\t1405\t1\tx\t1\t1\t1\t1\t1\t1");
        QTest::newRow("word for a price") << QByteArray("03/07/2005\t14:05\tabc\tx\t1\t1\t1\t1\t1\t1");
        QTest::newRow("month 13") << QByteArray("13/07/2005\t14:05\t1\tx\t1\t1\t1\t1\t1\t1");
    }
    void badLines()
    {
        QFETCH(QByteArray, line);
        QVERIFY(!ParseDataFileLine(line.toStdString()));
        const std::string text = "\r\n" + line.toStdString() + "\r\n\r\n";
        QCOMPARE(ReadDataFileText(text).skippedLines, 1);
    }

    void symbolFromName()
    {
        QCOMPARE(SymbolFromDataFileName("/tmp/Stockdata/03_07_2005_msft.txt"), std::string("MSFT"));
        QCOMPARE(SymbolFromDataFileName("12_31_2026_brk.b.txt"), std::string("BRK.B"));
        QCOMPARE(SymbolFromDataFileName("notes.txt"), std::string());
    }

    void toolDrawsTheDay()
    {
        QTemporaryDir dir;
        const QString data = dir.filePath(QStringLiteral("03_07_2005_msft.txt"));
        std::vector<QuoteRecord> samples;
        for (int i = 0; i < 20; ++i)
            samples.push_back(Sample(10, i * 2, 25 + (i % 5) * 0.1, "+0.10 (+0.40%)"));
        QFile f(data);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::fromStdString(FormatDataFile(samples) + "garbage line\r\n"));
        f.close();

        const QString png = dir.filePath(QStringLiteral("day.png"));
        const QString pdf = dir.filePath(QStringLiteral("day.pdf"));
        QProcess tool;
        tool.start(QStringLiteral(KOLPEX_TOOL_BIN),
            { QStringLiteral("chart"), data, QStringLiteral("--png"), png, QStringLiteral("--pdf"), pdf,
                QStringLiteral("--size"), QStringLiteral("500x400") });
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 0);
        QVERIFY(QString::fromUtf8(tool.readAllStandardError()).contains(QLatin1String("skipped 1 line")));

        QImage image(png);
        QCOMPARE(image.size(), QSize(500, 400));
        int blue = 0, red = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                blue += p == qRgb(0, 0, 255);
                red += p == qRgb(255, 0, 0);
            }
        }
        QVERIFY2(blue > 50, "the Today series is drawn");
        QVERIFY2(red > 50, "the previous-close series is drawn");
        QVERIFY(QFileInfo(pdf).size() > 1000);

        // The same day kept as a simulated quote's: only the title differs, which says so.
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Simulated")));
        const QString simulated = dir.filePath(QStringLiteral("Simulated/03_07_2005_msft.txt"));
        QVERIFY(QFile::copy(data, simulated));
        const QString simulatedPng = dir.filePath(QStringLiteral("simulated.png"));
        tool.start(QStringLiteral(KOLPEX_TOOL_BIN),
            { QStringLiteral("chart"), simulated, QStringLiteral("--png"), simulatedPng,
                QStringLiteral("--size"), QStringLiteral("500x400") });
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 0);
        const QImage marked(simulatedPng);
        const int titleBand = 60;
        QVERIFY(marked.copy(0, 0, 500, titleBand) != image.copy(0, 0, 500, titleBand));
        QCOMPARE(
            marked.copy(0, titleBand, 500, 400 - titleBand), image.copy(0, titleBand, 500, 400 - titleBand));
    }
};

QTEST_GUILESS_MAIN(TestDataFileReader)
#include "tst_datafilereader.moc"
