#include "markets/listentries.h"
#include "markets/marketlist.h"
#include "platform/notifier.h"
#include "quote/nullwindowhost.h"
#include "quote/pagereader.h"
#include "quote/quotemanager.h"
#include "support/quoteentries.h"
#include "support/synthetic_lists.h"

#include <QTest>

namespace {

const EntryArray kList = {
    Entry("ACME CORP", "ACME"),
    Entry("Microsoft Corp", "MSFT"),
    Entry("Msf Holdings", "MSF"),
    Entry("Zenith Ltd", "ZEN"),
    Entry("Corporate Trust", "CTR"),
    Entry("\xC4GYPTEN \xC9NERGIE", "AEG"),
    Entry("Plain", "corp"),
};

} // namespace

class TestFindInList final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void matches_data();
    void matches();
    void fullCopiesInArrayOrder();
    void noMatchTellsWithLoweredText();
    void earlierResultsAreReplaced();
    void loadedListFindsAsItsEntries_data();
    void loadedListFindsAsItsEntries();

private:
    RecordingNotifier m_notifier;
    NullWindowHost m_host;
    QuoteEntry m_default;
};

void TestFindInList::init()
{
    m_notifier.messages.clear();
    m_host.searchResults().clear();
}

void TestFindInList::matches_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("empty matches everything") << QByteArray() << QList<int> { 0, 1, 2, 3, 4, 5, 6 };
    QTest::newRow("corp in CORP and Corp") << QByteArray("corp") << QList<int> { 0, 1, 4, 6 };
    QTest::newRow("upper-case text") << QByteArray("CORP") << QList<int> { 0, 1, 4, 6 };
    QTest::newRow("MSF in symbol MSFT") << QByteArray("MSF") << QList<int> { 1, 2 };
    QTest::newRow("in both fields once") << QByteArray("acme") << QList<int> { 0 };
    QTest::newRow("symbol only") << QByteArray("zen") << QList<int> { 3 };
    QTest::newRow("accented capitals") << QByteArray("\xE4gypten \xE9") << QList<int> { 5 };
    QTest::newRow("accented, typed in capitals") << QByteArray("\xC9NERG") << QList<int> { 5 };
    QTest::newRow("substring across a blank") << QByteArray("t c") << QList<int> { 1 };
}

void TestFindInList::matches()
{
    QFETCH(QByteArray, text);
    QFETCH(QList<int>, expected);
    CPageReader reader(m_notifier);
    CQuoteManager manager(m_default, reader, m_host, m_notifier);
    const int n = manager.FindInList(text.toStdString(), kList);
    QCOMPARE(n, expected.size());
    QCOMPARE(m_host.searchResults().size(), size_t(expected.size()));
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(m_host.searchResults()[size_t(i)], kList[size_t(expected[i])]);
    QVERIFY(m_notifier.messages.empty());
}

void TestFindInList::fullCopiesInArrayOrder()
{
    EntryArray list = { Entry("B corp", "B"), Entry("A corp", "A") };
    list[0].writeToFile = true;
    list[0].easternTime = false;
    list[0].refreshInterval = 30;
    CPageReader reader(m_notifier);
    CQuoteManager manager(m_default, reader, m_host, m_notifier);
    QCOMPARE(manager.FindInList("corp", list), 2);
    // Load order, not alphabetical: the result window sorts for itself.
    QCOMPARE(m_host.searchResults()[0].companyName, std::string("B corp"));
    QCOMPARE(m_host.searchResults()[0], list[0]);
    QCOMPARE(m_host.searchResults()[1], list[1]);
}

void TestFindInList::noMatchTellsWithLoweredText()
{
    CPageReader reader(m_notifier);
    CQuoteManager manager(m_default, reader, m_host, m_notifier);
    QCOMPARE(manager.FindInList("IBM", kList), 0);
    QCOMPARE(m_notifier.messages, (std::vector<std::string> { "Quote \"ibm\" not found a list." }));
    m_notifier.messages.clear();
    QCOMPARE(manager.FindInList("x", EntryArray {}), 0);
    QCOMPARE(m_notifier.messages, (std::vector<std::string> { "Quote \"x\" not found a list." }));
}

void TestFindInList::earlierResultsAreReplaced()
{
    CPageReader reader(m_notifier);
    CQuoteManager manager(m_default, reader, m_host, m_notifier);
    QCOMPARE(manager.FindInList("corp", kList), 4);
    QCOMPARE(manager.FindInList("nothing here", kList), 0);
    QVERIFY(m_host.searchResults().empty());
}

void TestFindInList::loadedListFindsAsItsEntries_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("found");
    QTest::newRow("company") << QByteArray("corp") << 2;
    QTest::newRow("symbol that lost a mark") << QByteArray("brk") << 1;
    QTest::newRow("the mark itself") << QByteArray("&") << 0;
    QTest::newRow("accented") << QByteArray("\xE9toile") << 1;
}

// The texts of a loaded list are cut from its bytes when searched; the results are whole entries.
void TestFindInList::loadedListFindsAsItsEntries()
{
    QFETCH(QByteArray, text);
    QFETCH(int, found);
    using SyntheticLists::Record;
    const std::string bytes = Record("Acme Corp", "BR&K", "  120", "x") + Record("\xC9toile", " Y%", "10", "")
        + Record("Corporate", "!X", "", "2001");
    ListEntries list;
    ParseMarketList(bytes, "TSX", m_default, list, nullptr);
    CPageReader reader(m_notifier);
    CQuoteManager manager(m_default, reader, m_host, m_notifier);
    QCOMPARE(manager.FindInList(text.toStdString(), list), found);
    const EntryArray fromList = m_host.searchResults();
    QCOMPARE(manager.FindInList(text.toStdString(), list.toArray()), found);
    QCOMPARE(fromList, m_host.searchResults());
}

QTEST_GUILESS_MAIN(TestFindInList)
#include "tst_findinlist.moc"
