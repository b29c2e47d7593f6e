#include "markets/listsort.h"
#include "markets/marketlist.h"
#include "support/quoteentries.h"
#include "support/synthetic_lists.h"

#include <QTest>
#include <climits>

namespace {

std::vector<int> Sorted(const EntryArray& entries, int column, bool descending)
{
    std::vector<int> rows(entries.size());
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = static_cast<int>(i);
    SortRows(rows, entries, column, descending);
    return rows;
}

// A list file whose texts are built when sorted: marked symbols, blank and accented fields, ties.
ListEntries LoadedList()
{
    using SyntheticLists::Record;
    const std::string bytes = Record("Beta", "BR&K", "  120", "x") + Record("alpha", "!X", "9", "")
        + Record("\xC9toile", " Y%", "10", "2001") + Record("", "", "", "") + Record("Beta", "X", "abc", "y")
        + Record("Alpha", "A!B", "-3", "x");
    ListEntries list;
    ParseMarketList(bytes, "NYSE", QuoteEntry {}, list, nullptr);
    return list;
}

std::vector<std::string> Column(const EntryArray& entries, const std::vector<int>& rows, int column)
{
    std::vector<std::string> out;
    for (int r : rows)
        out.push_back(ColumnText(entries[r], column));
    return out;
}

} // namespace

class TestListSort final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void leadingInteger_data();
    void leadingInteger();
    void volumeIsNumeric();
    void bytesAreCaseSensitiveAndUnsigned_data();
    void bytesAreCaseSensitiveAndUnsigned();
    void descendingReverses();
    void compareEntriesAgreesWithSortRows();
    void loadedListSortsAsItsEntries_data();
    void loadedListSortsAsItsEntries();
    void statusLine_data();
    void statusLine();
};

void TestListSort::leadingInteger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qlonglong>("value");
    QTest::newRow("plain") << QStringLiteral("120") << 120LL;
    QTest::newRow("empty") << QString() << 0LL;
    QTest::newRow("letters") << QStringLiteral("n/a") << 0LL;
    QTest::newRow("trailing text") << QStringLiteral("12k") << 12LL;
    QTest::newRow("leading blanks") << QStringLiteral("  7") << 7LL;
    QTest::newRow("sign") << QStringLiteral("-3") << -3LL;
    QTest::newRow("plus") << QStringLiteral("+4") << 4LL;
    QTest::newRow("blank after sign") << QStringLiteral("- 4") << 0LL;
    QTest::newRow("decimal point ends it") << QStringLiteral("1.9") << 1LL;
    QTest::newRow("huge saturates") << QStringLiteral("99999999999999999999999") << qlonglong(INT_MAX);
}

void TestListSort::leadingInteger()
{
    QFETCH(QString, text);
    QFETCH(qlonglong, value);
    QCOMPARE(LeadingInteger(text.toStdString()), value);
}

void TestListSort::volumeIsNumeric()
{
    const EntryArray entries = { Entry("A", "A", "10", ""), Entry("B", "B", "9", ""), Entry("C", "C", "", ""),
        Entry("D", "D", "100", ""), Entry("E", "E", "x", "") };
    const auto rows = Sorted(entries, kColumnVolume, false);
    // The two texts without a number count as 0 and keep their order.
    QCOMPARE(Column(entries, rows, kColumnVolume), (std::vector<std::string> { "", "x", "9", "10", "100" }));
    QVERIFY(CompareEntries(entries[1], entries[0], kColumnVolume) < 0);
}

void TestListSort::bytesAreCaseSensitiveAndUnsigned_data()
{
    QTest::addColumn<int>("column");
    QTest::newRow("company") << int(kColumnCompany);
    QTest::newRow("symbol") << int(kColumnSymbol);
    QTest::newRow("listed") << int(kColumnListed);
}

void TestListSort::bytesAreCaseSensitiveAndUnsigned()
{
    QFETCH(int, column);
    const std::vector<std::string> texts = { "b", "Z", "\xC4rger", "a", "A", "AB", "" };
    EntryArray entries;
    for (const auto& t : texts) {
        QuoteEntry e;
        const_cast<std::string&>(ColumnText(e, column)) = t;
        entries.push_back(e);
    }
    const auto rows = Sorted(entries, column, false);
    QCOMPARE(Column(entries, rows, column),
        (std::vector<std::string> { "", "A", "AB", "Z", "a", "b", "\xC4rger" }));
}

void TestListSort::descendingReverses()
{
    const EntryArray entries
        = { Entry("Beta", "B", "1", ""), Entry("alpha", "A", "2", ""), Entry("Alpha", "C", "3", "") };
    QCOMPARE(Sorted(entries, kColumnCompany, true), (std::vector<int> { 1, 0, 2 }));
    QCOMPARE(Sorted(entries, kColumnVolume, true), (std::vector<int> { 2, 1, 0 }));
}

void TestListSort::compareEntriesAgreesWithSortRows()
{
    EntryArray entries;
    for (int i = 0; i < 50; ++i)
        entries.push_back(Entry(std::to_string((i * 37) % 50).c_str(), i % 2 ? "x" : "X",
            std::to_string((i * 13) % 17).c_str(), ""));
    for (int column = 0; column < kColumnCount; ++column) {
        for (bool descending : { false, true }) {
            const auto rows = Sorted(entries, column, descending);
            for (size_t i = 1; i < rows.size(); ++i) {
                const int r = CompareEntries(entries[rows[i - 1]], entries[rows[i]], column);
                QVERIFY(descending ? r >= 0 : r <= 0);
            }
        }
    }
}

void TestListSort::loadedListSortsAsItsEntries_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("descending");
    for (int column = 0; column < kColumnCount; ++column) {
        QTest::addRow("column %d up", column) << column << false;
        QTest::addRow("column %d down", column) << column << true;
    }
}

void TestListSort::loadedListSortsAsItsEntries()
{
    QFETCH(int, column);
    QFETCH(bool, descending);
    const ListEntries list = LoadedList();
    QCOMPARE(list.size(), size_t(6));
    std::vector<int> rows(list.size());
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = static_cast<int>(i);
    SortRows(rows, list, column, descending);
    QCOMPARE(rows, Sorted(list.toArray(), column, descending));
}

void TestListSort::statusLine_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("text");
    QTest::newRow("row 1 of 3456") << 0 << 3456 << QStringLiteral(" Line:      1 /   3456");
    QTest::newRow("last of 3456") << 3455 << 3456 << QStringLiteral(" Line:   3456 /   3456");
    QTest::newRow("wider than six") << 1234566 << 1234567 << QStringLiteral(" Line: 1234567 / 1234567");
}

void TestListSort::statusLine()
{
    QFETCH(int, row);
    QFETCH(int, count);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(StatusLineText(row, count)), text);
}

QTEST_GUILESS_MAIN(TestListSort)
#include "tst_listsort.moc"
