#include "markets/marketlist.h"
#include "markets/markettable.h"
#include "platform/notifier.h"
#include "quote/nullwindowhost.h"
#include "quote/pagereader.h"
#include "quote/quotemanager.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// One record's 62 bytes at their fixed places, without its line end.
std::string Fields(const std::string& company, const std::string& symbol, const std::string& volume,
    const std::string& listed)
{
    std::string line(62, ' ');
    line.replace(0, std::min<std::size_t>(company.size(), 40), company.substr(0, 40));
    line.replace(41, std::min<std::size_t>(symbol.size(), 7), symbol.substr(0, 7));
    line.replace(48, std::min<std::size_t>(volume.size(), 5), volume.substr(0, 5));
    line.replace(54, std::min<std::size_t>(listed.size(), 8), listed.substr(0, 8));
    return line;
}

std::string Crlf(const std::string& fields)
{
    return fields + "\r\n";
}

} // namespace

class TestMarketList : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void table();
    void parse_data();
    void parse();
    void fieldsAndCleanUp_data();
    void fieldsAndCleanUp();
    void countryByCode_data();
    void countryByCode();
    void unknownCodeTellsOncePerRecord();
    void defaultsCarried();
    void readLimit();
    void loadFromCurrentDirectory();
    void fileThatCannotBeRead_data();
    void fileThatCannotBeRead();
};

void TestMarketList::table()
{
    const MarketInfo* nasdaq = MarketByCommand(32777);
    QVERIFY(nasdaq);
    QCOMPARE(nasdaq->listKind, 4);
    QCOMPARE(std::string(nasdaq->windowTitle), "NASDAQ");
    QCOMPARE(MarketListFileName(nasdaq->code), "NASDAQ.TXT");
    QCOMPARE(std::string(MarketByListKind(9)->code), "MUTUAL");
    QCOMPARE(std::string(MarketByListKind(8)->countryCode), "GB");
    QCOMPARE(MarketByCaption("Toronto Stock Exchange")->commandId, 32782);
    QVERIFY(!MarketByListKind(2));
    QVERIFY(!MarketByCode("nyse")); // codes compare exactly
    QCOMPARE(std::string(kMarkets[0].caption), "New York Stock Exchange");
    QCOMPARE(std::string(kMarkets[6].caption), "London Stock Exchange");
    QCOMPARE(QByteArray(CountryCodeForMarket("NYSE")), QByteArray("US"));
    QCOMPARE(QByteArray(CountryCodeForMarket("MUTUAL")), QByteArray("US"));
    QCOMPARE(QByteArray(CountryCodeForMarket("TSX")), QByteArray("CA"));
    QCOMPARE(QByteArray(CountryCodeForMarket("CVE")), QByteArray("CA"));
    QCOMPARE(QByteArray(CountryCodeForMarket("LSE")), QByteArray("GB"));
    QVERIFY(!CountryCodeForMarket("XETRA"));
}

void TestMarketList::parse_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArrayList>("symbols");

    const std::string a = Fields("Alpha Corp", "AAA", "10", "19990101");
    const std::string b = Fields("Beta Inc", "BBB", "20", "20000202");
    auto bytes = [](const std::string& s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); };

    QTest::newRow("empty file") << QByteArray() << QByteArrayList();
    QTest::newRow("CR LF records") << bytes(Crlf(a) + Crlf(b)) << QByteArrayList { "AAA", "BBB" };
    QTest::newRow("first byte a line feed")
        << bytes("\n" + Crlf(a) + Crlf(b)) << QByteArrayList { "AAA", "BBB" };
    QTest::newRow("last record without line feed") << bytes(Crlf(a) + b + "\r") << QByteArrayList { "AAA" };
    QTest::newRow("bare line feeds, 62-byte lines") << bytes(a + "\n" + b + "\n") << QByteArrayList();
    QTest::newRow("headings and notes passed over")
        << bytes("COMPANY LIST\r\n\r\n" + Crlf(a) + "note\n" + Crlf(b) + "\r\n")
        << QByteArrayList { "AAA", "BBB" };
    QTest::newRow("truncated record") << bytes(Crlf(a) + Crlf(b.substr(0, 50))) << QByteArrayList { "AAA" };
    QTest::newRow("zero byte in the middle")
        << bytes(Crlf(a) + std::string(1, '\0') + Crlf(b)) << QByteArrayList { "AAA" };
    QTest::newRow("zero byte inside a record")
        << bytes(Crlf(a) + b.substr(0, 10) + std::string(1, '\0') + b.substr(11) + "\r\n")
        << QByteArrayList { "AAA" };
    QTest::newRow("zero byte in place of the line feed")
        << bytes(Crlf(a) + b + "\r" + std::string(1, '\0') + Crlf(a)) << QByteArrayList { "AAA" };
}

void TestMarketList::parse()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArrayList, symbols);
    EntryArray entries(3); // whatever was there before goes
    RecordingNotifier notifier;
    ParseMarketList(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), "NYSE",
        QuoteEntry {}, entries, &notifier);
    QByteArrayList got;
    for (const QuoteEntry& e : entries)
        got.append(QByteArray::fromStdString(e.symbol));
    QCOMPARE(got, symbols);
    QVERIFY(notifier.messages.empty());
}

void TestMarketList::fieldsAndCleanUp_data()
{
    QTest::addColumn<QByteArray>("line"); // 62 bytes; CR LF is added
    QTest::addColumn<QByteArray>("company");
    QTest::addColumn<QByteArray>("symbol");
    QTest::addColumn<QByteArray>("volume");
    QTest::addColumn<QByteArray>("listed");

    auto row = [](const char* name, const std::string& line, const char* company, const char* symbol,
                   const char* volume, const char* listed) {
        QTest::newRow(name) << QByteArray(line.data(), static_cast<qsizetype>(line.size()))
                            << QByteArray(company) << QByteArray(symbol) << QByteArray(volume)
                            << QByteArray(listed);
    };
    row("plain", Fields("Acme Corp", "ACME", "1500", "19870314"), "Acme Corp", "ACME", "1500", "19870314");
    row("all blanks", std::string(62, ' '), "", "", "", "");
    row("ampersand in symbol", Fields("Berkshire Hathaway", "BRK&A", "3", "x"), "Berkshire Hathaway", "BRKA",
        "3", "x");
    row("blank-padded XYZ!", Fields("Xyz Ltd", " XYZ!", "", ""), "Xyz Ltd", "XYZ", "", "");
    row("percent and marks anywhere", Fields("P", "%A!B&C", "", ""), "P", "ABC", "", "");
    row("blank-padded volume", Fields("V", "V", "  120", ""), "V", "V", "120", "");
    row("tabs trimmed", Fields("\tTabbed Co\t", "\tT", "\t9", " centred "), "Tabbed Co", "T", "9", "centred");
    // The separators at 40 and 53 are never read, whatever stands there.
    std::string separators = Fields("Sep Co", "SEP", "77", "listed");
    separators[40] = 'X';
    separators[53] = 'Y';
    row("separators ignored", separators, "Sep Co", "SEP", "77", "listed");
    const std::string wide(40, 'C');
    row("full-width fields", Fields(wide, "SSSSSSS", "VVVVV", "LLLLLLLL"), wide.c_str(), "SSSSSSS", "VVVVV",
        "LLLLLLLL");
}

void TestMarketList::fieldsAndCleanUp()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, company);
    QFETCH(QByteArray, symbol);
    QFETCH(QByteArray, volume);
    QFETCH(QByteArray, listed);
    QCOMPARE(line.size(), 62);
    const std::string bytes = line.toStdString() + "\r\n";
    EntryArray entries;
    ParseMarketList(bytes, "AMEX", QuoteEntry {}, entries, nullptr);
    QCOMPARE(entries.size(), std::size_t(1));
    QCOMPARE(QByteArray::fromStdString(entries[0].companyName), company);
    QCOMPARE(QByteArray::fromStdString(entries[0].symbol), symbol);
    QCOMPARE(QByteArray::fromStdString(entries[0].volume), volume);
    QCOMPARE(QByteArray::fromStdString(entries[0].listed), listed);
}

void TestMarketList::countryByCode_data()
{
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QByteArray>("country");
    for (const MarketInfo& m : kMarkets)
        QTest::newRow(m.code) << QByteArray(m.code) << QByteArray(m.countryCode);
}

void TestMarketList::countryByCode()
{
    QFETCH(QByteArray, code);
    QFETCH(QByteArray, country);
    const std::string bytes = Crlf(Fields("One", "ONE", "", "")) + Crlf(Fields("Two", "TWO", "", ""));
    EntryArray entries;
    RecordingNotifier notifier;
    ParseMarketList(bytes, code.toStdString(), QuoteEntry {}, entries, &notifier);
    QCOMPARE(entries.size(), std::size_t(2));
    for (const QuoteEntry& e : entries)
        QCOMPARE(QByteArray::fromStdString(e.countryCode), country);
    QVERIFY(notifier.messages.empty());
}

void TestMarketList::unknownCodeTellsOncePerRecord()
{
    const std::string bytes = "heading\r\n" + Crlf(Fields("One", "ONE", "", ""))
        + Crlf(Fields("Two", "TWO", "", "")) + Crlf(Fields("Three", "THR", "", ""));
    EntryArray entries;
    RecordingNotifier notifier;
    QuoteEntry defaults;
    defaults.countryCode = "ZZ"; // whatever the defaults carry stays
    ParseMarketList(bytes, "lse", defaults, entries, &notifier);
    QCOMPARE(notifier.messages, (std::vector<std::string>(3, "Unknown Market Name")));
    QCOMPARE(entries.size(), std::size_t(3));
    QCOMPARE(entries[2].countryCode, std::string("ZZ"));
    QCOMPARE(entries[2].symbol, std::string("THR"));
}

void TestMarketList::defaultsCarried()
{
    QuoteEntry defaults;
    defaults.refreshInterval = 15;
    defaults.writeToFile = true;
    defaults.easternTime = false;
    const std::string bytes = Crlf(Fields("One", "ONE", "5", "a")) + Crlf(std::string(62, ' '));
    EntryArray entries;
    ParseMarketList(bytes, "NASDAQ", defaults, entries, nullptr);
    QCOMPARE(entries.size(), std::size_t(2));
    for (const QuoteEntry& e : entries) {
        QCOMPARE(e.refreshInterval, 15);
        QVERIFY(e.writeToFile);
        QVERIFY(!e.easternTime);
    }
    // The working entry is reused: a blank record must not inherit the previous one's texts.
    QCOMPARE(entries[1].companyName, std::string());
    QCOMPARE(entries[1].volume, std::string());

    // And the frame's defaults (a default-constructed entry) give false, true, 5.
    ParseMarketList(bytes, "NASDAQ", QuoteEntry {}, entries, nullptr);
    QVERIFY(!entries[0].writeToFile);
    QVERIFY(entries[0].easternTime);
    QCOMPARE(entries[0].refreshInterval, 5);
}

void TestMarketList::readLimit()
{
    // 15,873 records of 63 bytes plus their line feeds fill 1,015,872 bytes; the limit cuts
    // the record that straddles byte 1,000,000.
    std::string bytes;
    for (int i = 0; i < 15873; ++i)
        bytes += Crlf(Fields("Company " + std::to_string(i), "S" + std::to_string(i), "1", "2"));
    QCOMPARE(bytes.size(), std::size_t(15873 * 64));
    EntryArray entries;
    ParseMarketList(bytes, "NYSE", QuoteEntry {}, entries, nullptr);
    QCOMPARE(entries.size(), std::size_t(1000000 / 64)); // 15625 whole records, the 15626th cut
    QCOMPARE(entries.back().symbol, std::string("S15624"));

    // Exactly at the limit the last record still has its line feed.
    bytes.resize(15625 * 64);
    ParseMarketList(bytes, "NYSE", QuoteEntry {}, entries, nullptr);
    QCOMPARE(entries.size(), std::size_t(15625));
}

void TestMarketList::loadFromCurrentDirectory()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    std::string big;
    for (int i = 0; i < 15800; ++i)
        big += Crlf(Fields("Big " + std::to_string(i), "B" + std::to_string(i), "", ""));
    big += std::string(20000, 'x'); // pushes the file past 1,000,000 bytes
    {
        QFile file(QStringLiteral("LSE.TXT"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(big.data(), static_cast<qint64>(big.size()));
    }
    RecordingNotifier notifier;
    CPageReader reader(notifier);
    NullWindowHost host;
    QuoteEntry defaults;
    CQuoteManager manager(defaults, reader, host, notifier);
    EntryArray entries;
    const bool loaded = manager.LoadMarketList("LSE", entries);
    QDir::setCurrent(previous);
    QVERIFY(loaded);
    QCOMPARE(entries.size(), std::size_t(15625));
    QCOMPARE(entries.front().countryCode, std::string("GB"));
    QCOMPARE(entries.front().companyName, std::string("Big 0"));
    QVERIFY(notifier.messages.empty());
}

void TestMarketList::fileThatCannotBeRead_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << QStringLiteral("missing");
    QTest::newRow("fifo") << QStringLiteral("fifo");
    QTest::newRow("directory") << QStringLiteral("directory");
    QTest::newRow("link to a fifo") << QStringLiteral("link");
}

// Only a regular file is a list. Anything else is reported, in the program and in the tool, and
// never waited on: a FIFO without a writer would block a plain open for good.
void TestMarketList::fileThatCannotBeRead()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray list = QFile::encodeName(dir.filePath(QStringLiteral("NYSE.TXT")));
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("pipe")));
    if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(list.constData(), 0644), 0);
    else if (kind == QLatin1String("directory"))
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("NYSE.TXT")));
    else if (kind == QLatin1String("link"))
        QVERIFY(::mkfifo(fifo.constData(), 0644) == 0 && ::symlink(fifo.constData(), list.constData()) == 0);

    // Should the loader block on a FIFO, a writer comes along after a while and lets it go.
    std::atomic<bool> done = false;
    std::atomic<bool> rescued = false;
    std::thread watchdog([&] {
        for (int i = 0; i < 300 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        for (const QByteArray& path : { list, fifo }) {
            const int fd = done ? -1 : ::open(path.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                rescued = true;
                ::close(fd);
            }
        }
    });

    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    RecordingNotifier notifier;
    CPageReader reader(notifier);
    NullWindowHost host;
    QuoteEntry defaults;
    CQuoteManager manager(defaults, reader, host, notifier);
    EntryArray entries(2); // left as it was
    const bool loaded = manager.LoadMarketList("NYSE", entries);
    done = true;
    watchdog.join();
    QDir::setCurrent(previous);
    QVERIFY(!rescued);
    QVERIFY(!loaded);
    QCOMPARE(entries.size(), std::size_t(2));
    QCOMPARE(notifier.messages, std::vector<std::string> { "Can not open a file \"NYSE.TXT\"." });

    QProcess tool;
    tool.setWorkingDirectory(dir.path());
    tool.start(QStringLiteral(KOLPEX_TOOL_BIN), { QStringLiteral("list"), QStringLiteral("NYSE") });
    QVERIFY(tool.waitForStarted());
    if (!tool.waitForFinished(10000)) {
        tool.kill();
        tool.waitForFinished();
        QFAIL("kolpex-quote list waited on the list file");
    }
    QCOMPARE(tool.exitCode(), 1);
    QCOMPARE(tool.readAllStandardError(), QByteArray("Can not open a file \"NYSE.TXT\".\n"));
    QVERIFY(tool.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(TestMarketList)
#include "tst_marketlist.moc"
