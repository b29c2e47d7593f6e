// The market list files that ship with the program, and the synthetic lists the tests build on.
#include "support/synthetic_lists.h"

#include <QFile>
#include <QSet>
#include <QTest>

namespace {

struct ListCheck {
    int records = 0;
    int headingLines = 0;
    QStringList problems;
};

// Reads the text as the loader does: a record is a line of exactly 63 bytes between line feeds.
// Everything before the first record is heading; after it, every line must be a record.
ListCheck CheckList(const QByteArray& text)
{
    ListCheck check;
    QSet<QByteArray> symbols;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) { // the piece after the last LF is not a line
        const QByteArray& line = lines.at(i);
        const QString where = QStringLiteral("line %1: ").arg(i + 1);
        if (line.size() != 63) {
            if (check.records > 0)
                check.problems << where + QStringLiteral("%1 bytes after the records began").arg(line.size());
            else
                ++check.headingLines;
            continue;
        }
        ++check.records;
        if (!line.endsWith('\r'))
            check.problems << where + QStringLiteral("no carriage return before the line feed");
        QByteArray symbol = line.mid(41, 7).trimmed();
        symbol.replace('%', QByteArray()).replace('&', QByteArray()).replace('!', QByteArray());
        if (symbol.isEmpty())
            check.problems << where + QStringLiteral("empty symbol");
        if (symbols.contains(symbol))
            check.problems << where + QStringLiteral("symbol %1 twice").arg(QLatin1String(symbol));
        symbols.insert(symbol);
        if (line.left(40).trimmed().isEmpty())
            check.problems << where + QStringLiteral("empty company name");
        if (line.at(40) != ' ' || line.at(53) != ' ')
            check.problems << where + QStringLiteral("separator columns not blank");
        bool numeric = false;
        line.mid(48, 5).trimmed().toInt(&numeric);
        if (!numeric)
            check.problems << where + QStringLiteral("volume is not a number");
        if (line.mid(54, 8).trimmed().isEmpty())
            check.problems << where + QStringLiteral("empty listed column");
        for (char c : line) {
            const unsigned char b = static_cast<unsigned char>(c);
            // bytes that code page 1252 leaves undefined, and control characters
            if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D || (b < 0x20 && b != '\r'))
                check.problems << where + QStringLiteral("byte 0x%1 is not cp1252 text").arg(b, 2, 16);
        }
    }
    return check;
}

} // namespace

class TestShippedLists final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void shippedFile_data();
    void shippedFile();
    void checkerCatchesBrokenLines_data();
    void checkerCatchesBrokenLines();
    void syntheticFile_data();
    void syntheticFile();
    void syntheticIsDeterministic();
};

void TestShippedLists::shippedFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("minimum");
    QTest::newRow("NYSE") << QStringLiteral("NYSE.TXT") << 300;
    QTest::newRow("AMEX") << QStringLiteral("AMEX.TXT") << 100;
    QTest::newRow("NASDAQ") << QStringLiteral("NASDAQ.TXT") << 300;
    QTest::newRow("MUTUAL") << QStringLiteral("MUTUAL.TXT") << 100;
    QTest::newRow("CVE") << QStringLiteral("CVE.TXT") << 100;
    QTest::newRow("TSX") << QStringLiteral("TSX.TXT") << 100;
    QTest::newRow("LSE") << QStringLiteral("LSE.TXT") << 100;
}

void TestShippedLists::shippedFile()
{
    QFETCH(QString, file);
    QFETCH(int, minimum);
    QFile f(QStringLiteral(KOLPEX_DATA_DIR "/") + file);
    QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName()));
    const QByteArray text = f.readAll();
    QVERIFY(text.size() <= 1'000'000);
    QVERIFY(text.endsWith("\r\n")); // else the loader would lose the last record
    const ListCheck check = CheckList(text);
    QVERIFY2(check.problems.isEmpty(), qPrintable(check.problems.mid(0, 10).join(QLatin1Char('\n'))));
    QVERIFY2(check.records >= minimum, qPrintable(QString::number(check.records)));
    QVERIFY(check.headingLines >= 2); // a heading and blank lines the loader passes over
    // every line break is CR LF
    QCOMPARE(text.count('\n'), text.count("\r\n"));
}

void TestShippedLists::checkerCatchesBrokenLines_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("records");
    QTest::addColumn<bool>("clean");
    const QByteArray a
        = QByteArray::fromStdString(SyntheticLists::Record("Alpha Corp", "ALP", "120", "01/02/03"));
    const QByteArray b
        = QByteArray::fromStdString(SyntheticLists::Record("Beta Corp", "BET", "99", "TIER 1"));
    const QByteArray dup
        = QByteArray::fromStdString(SyntheticLists::Record("Gamma Corp", "ALP", "5", "MAIN MKT"));
    QTest::newRow("two records") << a + b << 2 << true;
    QTest::newRow("same symbol twice") << a + dup << 2 << false;
    QTest::newRow("bare line feeds") << QByteArray(a).replace("\r\n", " \n") + b << 2 << false;
    QTest::newRow("short line among records") << a + "short\r\n" + b << 2 << false;
    QTest::newRow("last record without line feed") << a + b.left(63) << 1 << true;
}

void TestShippedLists::checkerCatchesBrokenLines()
{
    QFETCH(QByteArray, text);
    QFETCH(int, records);
    QFETCH(bool, clean);
    const ListCheck check = CheckList(text);
    QCOMPARE(check.records, records);
    QCOMPARE(check.problems.isEmpty(), clean);
}

void TestShippedLists::syntheticFile_data()
{
    QTest::addColumn<int>("bytes");
    QTest::newRow("empty") << 0;
    QTest::newRow("heading only") << int(SyntheticLists::Heading().size());
    QTest::newRow("one record") << int(SyntheticLists::Heading().size() + 64);
    QTest::newRow("cut record") << int(SyntheticLists::Heading().size() + 64 * 10 + 30);
    QTest::newRow("loader limit") << int(SyntheticLists::kLoaderLimitBytes);
}

void TestShippedLists::syntheticFile()
{
    QFETCH(int, bytes);
    const std::string text = SyntheticLists::MakeListFileOfSize(std::size_t(bytes));
    QCOMPARE(int(text.size()), bytes);
    const ListCheck check = CheckList(QByteArray::fromStdString(text));
    QVERIFY2(check.problems.isEmpty(), qPrintable(check.problems.mid(0, 10).join(QLatin1Char('\n'))));
    QCOMPARE(std::size_t(check.records), SyntheticLists::CompleteRecords(std::size_t(bytes)));
}

void TestShippedLists::syntheticIsDeterministic()
{
    QCOMPARE(SyntheticLists::MakeListFile(500, 7), SyntheticLists::MakeListFile(500, 7));
    QVERIFY(SyntheticLists::MakeListFile(500, 7) != SyntheticLists::MakeListFile(500, 8));
    const std::string all = SyntheticLists::MakeListFile(SyntheticLists::kMaxRecords, 3, false);
    QCOMPARE(all.size(), SyntheticLists::kMaxRecords * SyntheticLists::kLineBytes);
    const ListCheck check = CheckList(QByteArray::fromStdString(all));
    QCOMPARE(check.records, int(SyntheticLists::kMaxRecords));
    QVERIFY(check.problems.isEmpty());
}

QTEST_GUILESS_MAIN(TestShippedLists)
#include "tst_shipped_lists.moc"
