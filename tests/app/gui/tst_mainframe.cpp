#include "app/helpwindow.h"
#include "app/kolpexapp.h"
#include "app/mainframe.h"
#include "markets/liststate.h"
#include "markets/markettable.h"
#include "platform/notifier.h"
#include "platform/recentfilelist.h"
#include "shelltestviews.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSet>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QToolBar>
#include <QWhatsThis>
#include <memory>

namespace {

QStringList MenuTitles(QMainWindow& frame)
{
    QStringList titles;
    for (QAction* a : frame.menuBar()->actions())
        titles.append(a->text());
    return titles;
}

// The items of one top menu; separators as "-", visible items only.
QStringList MenuItems(QMainWindow& frame, const QString& title)
{
    QStringList items;
    for (QAction* a : frame.menuBar()->actions()) {
        if (a->text() != title || !a->menu())
            continue;
        for (QAction* item : a->menu()->actions()) {
            if (item->isVisible())
                items.append(item->isSeparator() ? QStringLiteral("-") : item->text());
        }
    }
    return items;
}

QStringList L(std::initializer_list<const char*> texts)
{
    QStringList list;
    for (const char* t : texts)
        list.append(QString::fromLatin1(t));
    return list;
}

} // namespace

class TestMainFrame : public QObject {
    Q_OBJECT
public:
    explicit TestMainFrame(const QString&) { }

private Q_SLOTS:
    void init();
    void cleanup();
    void sizeAndCentre();
    void menusFollowActiveChild();
    void toolbarOrder();
    void enabling();
    void marketCommand_data();
    void marketCommand();
    void twoNasdaqWindows();
    void quoteWindowSizes();
    void statusBar();
    void routingToView();
    void recentItemsInFileMenu();
    void unwiredCommandsDoNothing();
    void helpCommands();
    void saveWritesAnEmptyFile();
    void failedReopenDropsEntry();
    void cascadeKeepsSizes();
    void titleFollowsActiveDocument();

private:
    RecordingNotifier m_notifier;
    std::unique_ptr<CKolpexApp> m_app;
    CMainFrame* frame() { return m_app->mainFrame(); }
};

void TestMainFrame::init()
{
    g_pendingListKind = 1;
    g_shellLog = {};
    m_notifier.messages.clear();
    m_app = std::make_unique<CKolpexApp>(m_notifier, QuoteTestViews(), ListTestViews());
    QVERIFY(m_app->InitInstance());
}

void TestMainFrame::cleanup()
{
    m_app.reset();
}

void TestMainFrame::sizeAndCentre()
{
    QCOMPARE(frame()->size(), QSize(800, 750));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect outer = frame()->frameGeometry();
    // Centred with its decorations; where the screen is too small, held at its top-left edge.
    const int wantLeft = std::max(area.left(), area.center().x() - outer.width() / 2);
    const int wantTop = std::max(area.top(), area.center().y() - outer.height() / 2);
    QVERIFY2(qAbs(outer.left() - wantLeft) <= 1, qPrintable(QString::number(outer.left())));
    QVERIFY2(qAbs(outer.top() - wantTop) <= 1, qPrintable(QString::number(outer.top())));
    QVERIFY(outer.top() >= area.top());
}

void TestMainFrame::menusFollowActiveChild()
{
    const QStringList menu128 = L({ "&File", "Markets", "&View", "&Help" });
    const QStringList menu129 = L({ "&File", "Markets", "&View", "&Window", "&Help" });
    QCOMPARE(MenuTitles(*frame()), menu128);
    QCOMPARE(MenuItems(*frame(), QStringLiteral("&File")), L({ "Recent File", "-", "&Close", "E&xit" }));
    QCOMPARE(MenuItems(*frame(), QStringLiteral("Markets")),
        L({ "New York Stock Exchange", "American Stock Exchange", "NASDAQ", "Mutual Funds",
            "Canadian Venture Exchange", "Toronto Stock Exchange", "London Stock Exchange" }));
    QCOMPARE(MenuItems(*frame(), QStringLiteral("&View")),
        L({ "&Toolbar", "&Status Bar", "-", "Find Qoute in a List", "Find Quote Worldwide", "Properties" }));
    QCOMPARE(MenuItems(*frame(), QStringLiteral("&Help")), L({ "&Help Topics", "-", "&About Kolpex..." }));

    frame()->runCommand(ids::ID_MARKETS_NASDAQ);
    QMdiSubWindow* list = frame()->mdiArea()->currentSubWindow();
    QVERIFY(list);
    QCOMPARE(MenuTitles(*frame()), menu128);

    QVERIFY(frame()->createQuoteDocument());
    QMdiSubWindow* quote = frame()->mdiArea()->currentSubWindow();
    QVERIFY(quote && quote != list);
    QCOMPARE(MenuTitles(*frame()), menu129);
    QCOMPARE(MenuItems(*frame(), QStringLiteral("&File")), L({ "&Close", "-", "Recent File", "-", "E&xit" }));
    QCOMPARE(
        MenuItems(*frame(), QStringLiteral("&View")), L({ "&Toolbar", "&Status Bar", "-", "Properties" }));
    QCOMPARE(MenuItems(*frame(), QStringLiteral("&Window")),
        L({ "&New Window", "&Cascade", "&Tile", "&Arrange Icons" }));

    frame()->mdiArea()->setActiveSubWindow(list);
    QCOMPARE(MenuTitles(*frame()), menu128);
    list->close();
    quote->close();
    QTRY_VERIFY(frame()->mdiArea()->subWindowList().isEmpty());
    QCOMPARE(MenuTitles(*frame()), menu128);
}

void TestMainFrame::toolbarOrder()
{
    const int order[] = { 32797, 32799, 32786, 32779, 32780, 32777, 32782, 32781, 32783, 32774 };
    const QList<QAction*> actions = frame()->m_wndToolBar->actions();
    QCOMPARE(actions.size(), 19);
    for (int i = 0; i < actions.size(); ++i) {
        if (i % 2) {
            QVERIFY2(actions[i]->isSeparator(), qPrintable(QString::number(i)));
        } else {
            QCOMPARE(actions[i], frame()->action(order[i / 2]));
            QCOMPARE(actions[i]->icon().actualSize(QSize(45, 16)), QSize(45, 16));
        }
    }
    QCOMPARE(frame()->action(32777)->toolTip(), QStringLiteral("NASDAQ"));
    QCOMPARE(frame()->action(32799)->statusTip(), QStringLiteral("Show Properties Dialog"));
    QCOMPARE(frame()->action(32786)->toolTip(), QStringLiteral("Find Qoute in a List"));
}

void TestMainFrame::enabling()
{
    auto enabled = [this](int id) { return frame()->action(id)->isEnabled(); };
    QVERIFY(!enabled(ids::ID_FIND_IN_LIST));
    QVERIFY(!enabled(ids::ID_PROPERTIES));
    QVERIFY(enabled(ids::ID_FIND_WORLDWIDE));
    for (const MarketInfo& m : kMarkets)
        QVERIFY(enabled(m.commandId));
    QVERIFY(!enabled(ids::ID_FILE_CLOSE));
    QVERIFY(!enabled(ids::ID_EDIT_COPY)); // no handler anywhere
    QVERIFY(!enabled(ids::ID_FILE_MRU_FILE1)); // empty recent list

    frame()->runCommand(ids::ID_MARKETS_LSE);
    QVERIFY(enabled(ids::ID_FIND_IN_LIST));
    QVERIFY(!enabled(ids::ID_PROPERTIES));
    QVERIFY(enabled(ids::ID_FILE_CLOSE));

    QVERIFY(frame()->createQuoteDocument());
    QVERIFY(!enabled(ids::ID_FIND_IN_LIST)); // still on the toolbar, but disabled
    QVERIFY(enabled(ids::ID_PROPERTIES));
    QVERIFY(enabled(ids::ID_FIND_WORLDWIDE));
    QVERIFY(frame()->m_wndToolBar->actions().contains(frame()->action(ids::ID_FIND_IN_LIST)));
}

void TestMainFrame::marketCommand_data()
{
    QTest::addColumn<int>("commandId");
    QTest::addColumn<int>("listKind");
    QTest::addColumn<QString>("title");
    QTest::newRow("NYSE") << 32779 << 3 << QStringLiteral("New York Stock Exchange");
    QTest::newRow("AMEX") << 32780 << 5 << QStringLiteral("American Stock Exchange");
    QTest::newRow("NASDAQ") << 32777 << 4 << QStringLiteral("NASDAQ");
    QTest::newRow("MUTUAL") << 32774 << 9 << QStringLiteral("Mutual Funds");
    QTest::newRow("CVE") << 32781 << 6 << QStringLiteral("Canadian Venture Exchange");
    QTest::newRow("TSX") << 32782 << 7 << QStringLiteral("Toronto Stock Exchange");
    QTest::newRow("LSE") << 32783 << 8 << QStringLiteral("London Stock Exchange");
}

void TestMainFrame::marketCommand()
{
    QFETCH(int, commandId);
    QFETCH(int, listKind);
    QFETCH(QString, title);
    frame()->action(commandId)->trigger(); // as from the menu or the toolbar
    QMdiSubWindow* window = frame()->mdiArea()->currentSubWindow();
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), title);
    QCOMPARE(window->size(), QSize(262, 550));
    QCOMPARE(g_shellLog.kindsAtConstruction, std::vector<int> { listKind });
    QCOMPARE(g_pendingListKind, 0);
    auto* view = qobject_cast<CView*>(window->widget());
    QVERIFY(view && view->GetDocument());
    QCOMPARE(QString::fromStdString(view->GetDocument()->GetTitle()), title);
    QCOMPARE(view->GetDocument()->docTemplate(), m_app->m_pListTemplate);
    QCOMPARE(frame()->windowTitle(), QStringLiteral("Kolpex - ") + title);
}

void TestMainFrame::twoNasdaqWindows()
{
    frame()->runCommand(ids::ID_MARKETS_NASDAQ);
    frame()->runCommand(ids::ID_MARKETS_NASDAQ);
    const auto windows = frame()->mdiArea()->subWindowList();
    QCOMPARE(windows.size(), 2);
    QCOMPARE(windows[0]->windowTitle(), QStringLiteral("NASDAQ"));
    QCOMPARE(windows[1]->windowTitle(), QStringLiteral("NASDAQ"));
    auto* first = qobject_cast<CView*>(windows[0]->widget());
    auto* second = qobject_cast<CView*>(windows[1]->widget());
    QVERIFY(first->GetDocument() != second->GetDocument());
    QCOMPARE(g_shellLog.kindsAtConstruction, (std::vector<int> { 4, 4 }));
}

void TestMainFrame::quoteWindowSizes()
{
    // Before any list or quote window the pending kind is 1: New makes a default-sized window.
    QCOMPARE(g_pendingListKind, 1);
    CDocument* inert = m_app->m_pQuoteTemplate->OpenDocumentFile(nullptr);
    QVERIFY(inert);
    QMdiSubWindow* inertWindow = frame()->mdiArea()->currentSubWindow();
    QVERIFY(inertWindow->size() != QSize(400, 620));
    QCOMPARE(inertWindow->windowTitle(), QStringLiteral("Kolpex1"));

    QVERIFY(frame()->createQuoteDocument());
    QMdiSubWindow* quote = frame()->mdiArea()->currentSubWindow();
    QCOMPARE(quote->size(), QSize(400, 620));
    QCOMPARE(quote->windowTitle(), QStringLiteral("Kolpex2"));
    QCOMPARE(g_shellLog.kindsAtConstruction, (std::vector<int> { 1, 0 }));

    // Window > New Window: a second frame on the same document, both numbered.
    frame()->runCommand(ids::ID_WINDOW_NEW);
    QCOMPARE(frame()->mdiArea()->subWindowList().size(), 3);
    QCOMPARE(frame()->mdiArea()->currentSubWindow()->windowTitle(), QStringLiteral("Kolpex2:2"));
    QCOMPARE(quote->windowTitle(), QStringLiteral("Kolpex2:1"));
    // Close closes the document, with every window on it.
    frame()->runCommand(ids::ID_FILE_CLOSE);
    QTRY_COMPARE(frame()->mdiArea()->subWindowList().size(), 1);
}

void TestMainFrame::statusBar()
{
    auto* pane = frame()->m_wndStatusBar->findChild<QLabel*>(QStringLiteral("messagePane"));
    QVERIFY(pane);
    QCOMPARE(pane->text(), QStringLiteral(" "));
    QCOMPARE(frame()->messageText(), std::string(" "));
    frame()->SetMessageText(" Line: 3 of 10 \xe9"); // code page 1252 e acute
    QCOMPARE(pane->text(), QStringLiteral(" Line: 3 of 10 \u00e9"));
    QCOMPARE(frame()->messageText(), std::string(" Line: 3 of 10 \xe9"));
    // A screen reader reads the panes by name: the text, and each lock with its state.
    QCOMPARE(pane->accessibleName(), pane->text());
    for (const char* name : { "CAPS", "NUM", "SCRL" }) {
        auto* lock = frame()->m_wndStatusBar->findChild<QLabel*>(QString::fromLatin1(name));
        QVERIFY(lock);
        QVERIFY2(lock->accessibleName().endsWith(
                     lock->text().isEmpty() ? QStringLiteral(" off") : QStringLiteral(" on")),
            qPrintable(lock->accessibleName()));
    }
}

void TestMainFrame::routingToView()
{
    frame()->runCommand(ids::ID_MARKETS_NYSE);
    frame()->runCommand(ids::ID_FIND_IN_LIST);
    QCOMPARE(g_shellLog.commandsRun, std::vector<int> { ids::ID_FIND_IN_LIST });
    frame()->runCommand(ids::ID_PROPERTIES); // the list view does not answer it: nothing runs
    QCOMPARE(g_shellLog.commandsRun.size(), std::size_t(1));
}

void TestMainFrame::recentItemsInFileMenu()
{
    m_app->AddToRecentFileList("Acme Corp (US, ACME)");
    m_app->AddToRecentFileList("AT&T Inc (US, T)");
    const QStringList items = MenuItems(*frame(), QStringLiteral("&File"));
    QCOMPARE(items, L({ "&1 AT&&T Inc (US, T)", "&2 Acme Corp (US, ACME)", "-", "&Close", "E&xit" }));
    // A screen reader counts only what shows ("Exit. 5 of 5", not of 17).
    for (QAction* a : frame()->menuBar()->actions())
        if (a->text() == QStringLiteral("&File"))
            QCOMPARE(QAccessible::queryAccessibleInterface(a->menu())->childCount(), items.size());
    QVERIFY(frame()->action(ids::ID_FILE_MRU_FILE1 + 1)->isEnabled());
    QCOMPARE(
        m_app->recentFiles().entries().front(), QDir::currentPath() + QStringLiteral("/./AT&T Inc (US, T)"));
    for (int i = 0; i < 8; ++i)
        m_app->AddToRecentFileList("Co " + std::to_string(i) + " (US, C" + std::to_string(i) + ")");
    QStringList file = MenuItems(*frame(), QStringLiteral("&File"));
    QCOMPARE(file.at(8), QStringLiteral("&9 AT&&T Inc (US, T)"));
    QCOMPARE(file.at(9), QStringLiteral("1&0 Acme Corp (US, ACME)"));
    m_app->AddToRecentFileList("Co 8 (US, C8)");
    file = MenuItems(*frame(), QStringLiteral("&File"));
    QCOMPARE(file.at(10), QStringLiteral("11 Acme Corp (US, ACME)"));

    // An entry stored under another directory shows its whole company, slash and all.
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    m_app->recentFiles().Add(elsewhere.path() + QStringLiteral("/Novo Nordisk A/S ADR (US, NVO)"));
    frame()->updateCommandEnabling();
    QCOMPARE(MenuItems(*frame(), QStringLiteral("&File")).at(0),
        QStringLiteral("&1 Novo Nordisk A/S ADR (US, NVO)"));
}

void TestMainFrame::unwiredCommandsDoNothing()
{
    for (int id : { ids::ID_NEXT_PANE, ids::ID_EDIT_PASTE, ids::ID_EDIT_UNDO, 12345 })
        frame()->runCommand(id);
    QVERIFY(m_notifier.messages.empty());
    QVERIFY(frame()->mdiArea()->subWindowList().isEmpty());
    QCOMPARE(frame()->action(ids::ID_HELP)->shortcut(), QKeySequence(Qt::Key_F1));
    QCOMPARE(frame()->action(ids::ID_EDIT_CUT)->shortcuts(),
        (QList<QKeySequence> {
            QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::SHIFT | Qt::Key_Delete) }));
    QCOMPARE(frame()->action(ids::ID_FILE_NEW)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
}

void TestMainFrame::failedReopenDropsEntry()
{
    m_app->AddToRecentFileList("Keep Me (US, KEEP)");
    m_app->AddToRecentFileList("no parenthesis here");
    QCOMPARE(m_app->recentFiles().size(), 2);
    frame()->runCommand(ids::ID_FILE_MRU_FILE1); // the top entry cannot be parsed
    QCOMPARE(m_app->recentFiles().size(), 1);
    QCOMPARE(m_app->recentFiles().entries().front(),
        QDir::currentPath() + QStringLiteral("/./Keep Me (US, KEEP)"));
    QVERIFY(frame()->mdiArea()->subWindowList().isEmpty()); // the document left no window
}

void TestMainFrame::cascadeKeepsSizes()
{
    frame()->runCommand(ids::ID_MARKETS_NASDAQ);
    QVERIFY(frame()->createQuoteDocument());
    frame()->runCommand(ids::ID_MARKETS_LSE);
    QMdiSubWindow* active = frame()->mdiArea()->activeSubWindow();
    const auto windows = frame()->mdiArea()->subWindowList(QMdiArea::CreationOrder);
    QCOMPARE(windows.size(), 3);
    const QSize own[] = { windows[0]->size(), windows[1]->size(), windows[2]->size() };
    QCOMPARE(own[1], QSize(400, 620));

    frame()->runCommand(ids::ID_WINDOW_CASCADE);
    const QRect area = frame()->mdiArea()->viewport()->rect();
    QSet<int> tops;
    for (int i = 0; i < 3; ++i) {
        const QRect g = windows[i]->geometry();
        const QString where = QStringLiteral("window %1 at %2,%3 %4 x %5 in %6 x %7")
                                  .arg(i)
                                  .arg(g.x())
                                  .arg(g.y())
                                  .arg(g.width())
                                  .arg(g.height())
                                  .arg(area.width())
                                  .arg(area.height());
        QVERIFY2(area.contains(g), qPrintable(where));
        QVERIFY2(g.width() == qMin(own[i].width(), area.width() - g.x()), qPrintable(where));
        QVERIFY2(
            g.height() >= own[i].height() * 2 / 3 || g.height() == area.height() - g.y(), qPrintable(where));
        tops.insert(g.y());
    }
    QCOMPARE(tops.size(), 3); // one under the other's title bar, not stacked on one spot
    QCOMPARE(frame()->mdiArea()->activeSubWindow(), active);
}

void TestMainFrame::titleFollowsActiveDocument()
{
    const QString base = QStringLiteral("Kolpex - ");
    frame()->runCommand(ids::ID_MARKETS_NASDAQ);
    QMdiSubWindow* nasdaq = frame()->mdiArea()->activeSubWindow();
    nasdaq->showMaximized();
    QCOMPARE(frame()->windowTitle(), base + QStringLiteral("NASDAQ"));
    frame()->runCommand(ids::ID_MARKETS_LSE);
    QMdiSubWindow* london = frame()->mdiArea()->activeSubWindow();
    QVERIFY(london != nasdaq);
    QCOMPARE(frame()->windowTitle(), base + QStringLiteral("London Stock Exchange"));
    london->showNormal();
    QCOMPARE(frame()->windowTitle(), base + QStringLiteral("London Stock Exchange"));
    frame()->mdiArea()->setActiveSubWindow(nasdaq);
    QCOMPARE(frame()->windowTitle(), base + QStringLiteral("NASDAQ"));
    nasdaq->showMaximized();
    nasdaq->showNormal();
    QCOMPARE(frame()->windowTitle(), base + QStringLiteral("NASDAQ"));
    nasdaq->close();
    london->close();
    QTRY_COMPARE(frame()->windowTitle(), QStringLiteral("Kolpex"));
}

KOLPEX_SHELL_TEST_MAIN(TestMainFrame, configDir)
#include "tst_mainframe.moc"

void TestMainFrame::helpCommands()
{
    const auto helpWindow = [] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* help = qobject_cast<CHelpWindow*>(w); help && help->isVisible())
                return help;
        }
        return static_cast<CHelpWindow*>(nullptr);
    };
    frame()->runCommand(ids::ID_HELP_FINDER);
    CHelpWindow* help = helpWindow();
    QVERIFY(help);
    QCOMPARE(help->browser()->source().fileName(), QStringLiteral("userguide.html"));

    // F1 in a market list opens the guide at the list section.
    frame()->OnMarketCommand(ids::ID_MARKETS_NASDAQ);
    frame()->runCommand(ids::ID_HELP);
    QCOMPARE(helpWindow(), help); // one help window, reused
    QCOMPARE(help->browser()->source().fragment(), QStringLiteral("lists"));

    frame()->runCommand(ids::ID_CONTEXT_HELP);
    QVERIFY(QWhatsThis::inWhatsThisMode());
    QWhatsThis::leaveWhatsThisMode();
    help->close();
}

void TestMainFrame::saveWritesAnEmptyFile()
{
    frame()->updateCommandEnabling();
    QVERIFY(!frame()->action(ids::ID_FILE_SAVE)->isEnabled()); // nothing to save without a window
    frame()->OnMarketCommand(ids::ID_MARKETS_NASDAQ);
    frame()->updateCommandEnabling();
    QVERIFY(frame()->action(ids::ID_FILE_SAVE)->isEnabled());

    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("saved.kolpex"));
    QFile old(name);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("earlier content");
    old.close();
    CMainFrame::s_saveFileNameForTesting = [&] { return name; };
    frame()->runCommand(ids::ID_FILE_SAVE);
    QCOMPARE(QFileInfo(name).size(), qint64(0));

    m_notifier.messages.clear();
    const QString unwritable = dir.filePath(QStringLiteral("missing/saved.kolpex"));
    CMainFrame::s_saveFileNameForTesting = [&] { return unwritable; };
    frame()->runCommand(ids::ID_FILE_SAVE);
    CMainFrame::s_saveFileNameForTesting = {};
    QCOMPARE(m_notifier.messages,
        std::vector<std::string> { "Can not open an output file \"" + unwritable.toStdString() + "\"." });
}
