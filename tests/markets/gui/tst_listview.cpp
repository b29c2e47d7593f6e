#include "guifixture.h"
#include "markets/gui/cdia_find.h"
#include "markets/liststate.h"
#include "res/resource_ids.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

using namespace guifixture;

class TestListView final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void sortDirectionIsSharedAcrossWindows();
    void emptyWindowFlipsTheFlagAndReportsNothing();
    void marketCommandLoadsItsFile();
    void columnsAsLaidOut();
    void statusLineForRowOne();
    void enterOpensTheFirstRowAtOnce();
    void enterUsesTheRememberedLine();
    void doubleClickOpensFirstWithTheSymbol_data();
    void doubleClickOpensFirstWithTheSymbol();
    void findOpensSortedTitledResults();
    void findInResultsNestsTitles();
    void findWithoutMatchTellsAndOpensNothing();
    void findCancelledDoesNothing();

private:
    void clickHeading(CListView_& view, int column);
    void answerFind(const QString& text, bool accept = true);

    QTemporaryDir m_dir;
    Shell m_shell;
};

void TestListView::initTestCase()
{
    QVERIFY(m_dir.isValid());
    IsolateEnvironment(m_dir);
    QVERIFY(m_shell.start());
}

void TestListView::init()
{
    g_sortDescending = false;
    g_sortColumn = 0;
    g_searchText.clear();
    m_shell.notifier.messages.clear();
    m_shell.frame().m_currentEntry = QuoteEntry {};
}

void TestListView::cleanup()
{
    CDia_Find::s_execHookForTesting = nullptr;
    m_shell.closeAll();
}

void TestListView::clickHeading(CListView_& view, int column)
{
    QHeaderView* header = view.table()->horizontalHeader();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
}

void TestListView::answerFind(const QString& text, bool accept)
{
    CDia_Find::s_execHookForTesting = [text, accept](QDialog& dialog) {
        auto& find = static_cast<CDia_Find&>(dialog);
        find.searchEdit()->setText(text);
        if (accept)
            find.accept();
        else
            find.reject();
        return find.result();
    };
}

void TestListView::sortDirectionIsSharedAcrossWindows()
{
    const EntryArray entries
        = { Entry("Beta", "b", "10"), Entry("alpha", "B", "9"), Entry("Alpha", "A", "100") };
    CListView_* first = m_shell.openList(entries);
    QVERIFY(first);
    QCOMPARE(ColumnShown(*first, 0),
        (QStringList { QStringLiteral("Alpha"), QStringLiteral("Beta"), QStringLiteral("alpha") }));

    clickHeading(*first, 1); // descending now, by symbol: lower case after upper case, reversed
    QCOMPARE(g_sortDescending, true);
    QCOMPARE(g_sortColumn, 1);
    QCOMPARE(ColumnShown(*first, 1),
        (QStringList { QStringLiteral("b"), QStringLiteral("B"), QStringLiteral("A") }));

    CListView_* second = m_shell.openList(entries);
    QVERIFY(second);
    QCOMPARE(g_sortColumn, 0);
    QCOMPARE(g_sortDescending, true); // opening does not flip
    QCOMPARE(ColumnShown(*second, 0),
        (QStringList { QStringLiteral("alpha"), QStringLiteral("Beta"), QStringLiteral("Alpha") }));

    clickHeading(*second, 2); // any window, any column: back to ascending
    QCOMPARE(g_sortDescending, false);
    QCOMPARE(ColumnShown(*second, 2),
        (QStringList { QStringLiteral("9"), QStringLiteral("10"), QStringLiteral("100") }));
    // The first window keeps its own order until it is clicked again.
    QCOMPARE(ColumnShown(*first, 1),
        (QStringList { QStringLiteral("b"), QStringLiteral("B"), QStringLiteral("A") }));
}

void TestListView::emptyWindowFlipsTheFlagAndReportsNothing()
{
    m_shell.frame().SetMessageText("before");
    CListView_* view = m_shell.openList({});
    QVERIFY(view);
    QCOMPARE(view->table()->model()->rowCount(), 0);
    clickHeading(*view, 3);
    QCOMPARE(g_sortDescending, true);
    QCOMPARE(g_sortColumn, 3);
    QTest::keyClick(view->table(), Qt::Key_Down);
    QTest::keyClick(view->table(), Qt::Key_Return);
    QCOMPARE(m_shell.frame().messageText(), std::string("before"));
    QVERIFY(m_shell.notifier.messages.empty());
}

void TestListView::marketCommandLoadsItsFile()
{
    QFile file(QDir::current().filePath(QStringLiteral("NASDAQ.TXT")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    const std::string text = "NASDAQ list\r\n" + Record("Zeta Inc", "ZETA", "12", "19990101")
        + Record("Acme Corp", "ACME", "3", "20010203");
    file.write(text.data(), qint64(text.size()));
    file.close();

    m_shell.frame().runCommand(ids::ID_MARKETS_NASDAQ);
    CListView_* view = m_shell.activeList();
    QVERIFY(view);
    QCOMPARE(view->listKind(), 4);
    QCOMPARE(view->GetDocument()->GetTitle(), std::string("NASDAQ"));
    QCOMPARE(view->entries().size(), size_t(2));
    QCOMPARE(ColumnShown(*view, 1), (QStringList { QStringLiteral("ACME"), QStringLiteral("ZETA") }));
    QCOMPARE(g_pendingListKind, 0);
    QVERIFY(view->HandlesCommand(ids::ID_FIND_IN_LIST));
}

void TestListView::columnsAsLaidOut()
{
    CListView_* view = m_shell.openList({ Entry("A", "B") });
    QVERIFY(view);
    QTableView* table = view->table();
    const int widths[] = { 230, 60, 70, 70 };
    for (int c = 0; c < 4; ++c)
        QCOMPARE(table->horizontalHeader()->sectionSize(c), widths[c]);
    QVERIFY(table->showGrid());
    QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(table->geometry(), view->rect()); // the table fills its window
}

void TestListView::statusLineForRowOne()
{
    EntryArray entries;
    for (int i = 0; i < 3456; ++i)
        entries.push_back(Entry("Company " + std::to_string(i), "S" + std::to_string(i)));
    CListView_* view = m_shell.openList(entries);
    QVERIFY(view);
    QVERIFY(QTest::qWaitForWindowExposed(view));
    QCOMPARE(view->currentLine(), 0); // the first row is current from the start
    view->table()->setCurrentIndex(view->table()->model()->index(41, 2));
    QCOMPARE(m_shell.frame().messageText(), std::string(" Line:     42 /   3456"));
    view->table()->setCurrentIndex(view->table()->model()->index(0, 0));
    QCOMPARE(m_shell.frame().messageText(), std::string(" Line:      1 /   3456"));
    view->table()->setCurrentIndex(view->table()->model()->index(41, 2));

    // A sort reports nothing and leaves the remembered line where it was.
    m_shell.frame().SetMessageText("kept");
    clickHeading(*view, 1);
    QCOMPARE(m_shell.frame().messageText(), std::string("kept"));
    QCOMPARE(view->currentLine(), 41);
}

void TestListView::enterOpensTheFirstRowAtOnce()
{
    CListView_* view = m_shell.openList({ Entry("Beta", "BETA"), Entry("Acme", "ACME") });
    QVERIFY(view);
    QVERIFY(QTest::qWaitForWindowExposed(view));
    view->table()->setFocus();
    QTest::keyClick(view->table(), Qt::Key_Return);
    // Sorted by company, Acme is the first row; the service refuses, so no window opens.
    QCOMPARE(m_shell.frame().m_currentEntry.symbol, std::string("ACME"));
    QVERIFY(!m_shell.notifier.messages.empty());
}

void TestListView::enterUsesTheRememberedLine()
{
    CListView_* view = m_shell.openList({ Entry("Beta", "BETA"), Entry("Acme", "ACME") });
    QVERIFY(view);
    QVERIFY(QTest::qWaitForWindowExposed(view));
    view->table()->setCurrentIndex(view->table()->model()->index(1, 0));
    QTest::keyClick(view->table(), Qt::Key_Return);
    // The service refuses, so no window opens, but the opener got the entry shown at row 1.
    QCOMPARE(m_shell.frame().m_currentEntry.symbol, std::string("BETA"));
    QVERIFY(!m_shell.notifier.messages.empty());
}

void TestListView::doubleClickOpensFirstWithTheSymbol_data()
{
    QTest::addColumn<int>("row");
    QTest::newRow("upper row") << 0;
    QTest::newRow("lower row") << 1;
}

void TestListView::doubleClickOpensFirstWithTheSymbol()
{
    QFETCH(int, row);
    // The later entry sorts first by company; both open the earlier one.
    QuoteEntry first = Entry("Zulu Holdings", "DUP", "5", "first");
    first.refreshInterval = 15;
    const EntryArray entries = { first, Entry("Alpha Holdings", "DUP", "7", "second") };
    CListView_* view = m_shell.openList(entries);
    QVERIFY(view);
    QVERIFY(QTest::qWaitForWindowExposed(view));
    QTableView* table = view->table();
    QCOMPARE(ColumnShown(*view, 0).at(0), QStringLiteral("Alpha Holdings"));
    const QRect cell = table->visualRect(table->model()->index(row, 1));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(m_shell.frame().m_currentEntry, first);
}

void TestListView::findOpensSortedTitledResults()
{
    g_sortDescending = true;
    const EntryArray entries = { Entry("Big CORP", "BIG"), Entry("Other", "OTH"), Entry("Acme Corp", "ACM"),
        Entry("Zed corp", "ZED") };
    CListView_* view = m_shell.openList(entries, "NASDAQ");
    QVERIFY(view);
    QVERIFY(QTest::qWaitForWindowExposed(view));
    answerFind(QStringLiteral("Corp"));
    QTest::keyClick(view->table(), Qt::Key_F, Qt::ControlModifier);

    CListView_* results = m_shell.activeList();
    QVERIFY(results && results != view);
    QCOMPARE(results->listKind(), 2);
    QCOMPARE(g_searchText, std::string("Corp"));
    QCOMPARE(results->GetDocument()->GetTitle(), std::string("Nearest quotes for \"Corp\" (NASDAQ)"));
    QCOMPARE(g_pendingListKind, 0);
    // Found in load order, shown by company in the current (descending) direction.
    QCOMPARE(m_shell.frame().m_searchResults.front().symbol, std::string("BIG"));
    QCOMPARE(ColumnShown(*results, 0),
        (QStringList {
            QStringLiteral("Zed corp"), QStringLiteral("Big CORP"), QStringLiteral("Acme Corp") }));
    QCOMPARE(results->parentWidget()->size(), QSize(320, 200));

    // Later searches do not change an open result window.
    m_shell.frame().m_searchResults.clear();
    QCOMPARE(results->entries().size(), size_t(3));
}

void TestListView::findInResultsNestsTitles()
{
    CListView_* view = m_shell.openList({ Entry("Acme Corp", "ACM"), Entry("Other", "OTH") }, "NYSE list");
    QVERIFY(view);
    answerFind(QString());
    view->OnCommand(ids::ID_FIND_IN_LIST);
    CListView_* all = m_shell.activeList();
    QVERIFY(all && all != view);
    QCOMPARE(all->GetDocument()->GetTitle(), std::string("Nearest quotes for \"\" (NYSE list)"));
    QCOMPARE(all->entries().size(), size_t(2));

    answerFind(QStringLiteral("acm"));
    all->OnFindInList();
    CListView_* nested = m_shell.activeList();
    QVERIFY(nested && nested != all);
    QCOMPARE(nested->GetDocument()->GetTitle(),
        std::string("Nearest quotes for \"acm\" (Nearest quotes for \"\" (NYSE list))"));
    QCOMPARE(ColumnShown(*nested, 1), QStringList { QStringLiteral("ACM") });
}

void TestListView::findWithoutMatchTellsAndOpensNothing()
{
    CListView_* view = m_shell.openList({ Entry("Acme Corp", "ACM") });
    QVERIFY(view);
    const auto before = m_shell.frame().mdiArea()->subWindowList().size();
    answerFind(QStringLiteral("IBM"));
    view->OnFindInList();
    QCOMPARE(m_shell.notifier.messages, (std::vector<std::string> { "Quote \"ibm\" not found a list." }));
    QCOMPARE(g_searchText, std::string("IBM"));
    QCOMPARE(m_shell.frame().mdiArea()->subWindowList().size(), before);
}

void TestListView::findCancelledDoesNothing()
{
    CListView_* view = m_shell.openList({ Entry("Acme Corp", "ACM") });
    QVERIFY(view);
    g_searchText = "left over";
    m_shell.frame().m_searchResults = { Entry("kept", "K") };
    const auto before = m_shell.frame().mdiArea()->subWindowList().size();
    answerFind(QStringLiteral("acme"), false);
    view->OnFindInList();
    QCOMPARE(g_searchText, std::string("left over"));
    QCOMPARE(m_shell.frame().m_searchResults.size(), size_t(1));
    QCOMPARE(m_shell.frame().mdiArea()->subWindowList().size(), before);
    QVERIFY(m_shell.notifier.messages.empty());
}

QTEST_MAIN(TestListView)
#include "tst_listview.moc"
