// The whole program, wired as main() wires it, against the real quote service in a child
// process: private home, settings and working directory, list files copied in.

#include "app/appwiring.h"
#include "app/kolpexapp.h"
#include "app/mainframe.h"
#include "chart/graph.h"
#include "freshuser.h"
#include "markets/gui/cdia_find.h"
#include "markets/gui/cdia_findworldwide.h"
#include "markets/gui/clistview.h"
#include "markets/gui/entrytablemodel.h"
#include "markets/liststate.h"
#include "platform/clock.h"
#include "platform/notifier.h"
#include "platform/recentfilelist.h"
#include "platform/textcodec.h"
#include "quotewin/gui/cdia_parameters.h"
#include "quotewin/gui/ckolpexview.h"
#include "res/resource_ids.h"
#include "support/serviceprocess.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <algorithm>
#include <ctime>
#include <memory>

namespace {

// The service and the program share one moment: Tuesday 10 February 2026, 11:00 in New York,
// while the market is open.
const std::int64_t kNow = QDateTime(QDate(2026, 2, 10), QTime(16, 0), QTimeZone::utc()).toSecsSinceEpoch();

// A timer minute lasts this long: the default 5-minute refresh comes every half second.
constexpr int kMinuteMs = 100;

// as the simulated page names it: marked, so that no one takes its figures for real ones
const std::string kMunichRe = "M\xFC"
                              "nchener R\xFC"
                              "ckversicherungs-Ges. AG (simulated)";

// An entry of a list as the simulated market's quote window holds it: its name says so.
QuoteEntry Simulated(QuoteEntry entry)
{
    entry.companyName += " (simulated)";
    return entry;
}

} // namespace

using e2e::DataFileLine;
using e2e::LowerAscii;
using e2e::Texts;

class TestEndToEnd final : public QObject {
    Q_OBJECT
public:
    explicit TestEndToEnd(QString configDir)
        : m_configDir(std::move(configDir))
    {
    }

private:
    QString m_configDir;
    RecordingNotifier m_notifier;
    QuoteServiceProcess m_service;
    std::unique_ptr<CKolpexApp> m_app;

    QStringList serviceArguments() const
    {
        return { QStringLiteral("--lists"), QDir::currentPath(), QStringLiteral("--now"),
            QString::number(kNow) };
    }
    void pointAt(const QuoteServiceProcess& service) { qputenv("KOLPEX_QUOTE_SERVICE", service.url()); }

    CMainFrame& frame() { return *m_app->mainFrame(); }

    // A fresh process as far as the program can tell: the pending list kind back at its start value.
    void startApp()
    {
        g_pendingListKind = 1;
        m_app = MakeKolpexApp(m_notifier);
        QVERIFY(m_app->InitInstance());
        QVERIFY(QTest::qWaitForWindowExposed(m_app->mainFrame()));
    }
    void stopApp()
    {
        if (!m_app)
            return;
        m_app->ExitInstance();
        m_app.reset();
    }

    QList<CKolpexView*> quoteViews()
    {
        QList<CKolpexView*> list;
        for (QMdiSubWindow* w : frame().mdiArea()->subWindowList())
            if (auto* v = qobject_cast<CKolpexView*>(w->widget()))
                list << v;
        return list;
    }
    static QMdiSubWindow* windowOf(QWidget* view)
    {
        return qobject_cast<QMdiSubWindow*>(view->parentWidget());
    }

    std::string topRecentText()
    {
        const QStringList& entries = m_app->recentFiles().entries();
        // stored under the directory that was current; a company name may itself hold a slash
        const QString directory = QDir::currentPath() + QStringLiteral("/./");
        if (entries.isEmpty() || !entries.front().startsWith(directory))
            return {};
        return ToCp1252(entries.front().mid(directory.size()));
    }

    CListView_* openMarket(int commandId, const QString& title)
    {
        QAction* command = frame().action(commandId);
        if (!command || !command->isEnabled())
            return nullptr;
        command->trigger();
        QMdiSubWindow* window = frame().mdiArea()->activeSubWindow();
        auto* view = window ? qobject_cast<CListView_*>(window->widget()) : nullptr;
        if (!view || window->windowTitle() != title)
            return nullptr;
        return QTest::qWaitForWindowExposed(view) ? view : nullptr;
    }

    // "Find Quote Worldwide" answered with a symbol and a country; the new quote window, if any.
    CKolpexView* findWorldwide(const QString& symbol, const QString& country)
    {
        CDia_FindWorldwide::s_execHookForTesting = [&](QDialog& dialog) {
            auto& find = static_cast<CDia_FindWorldwide&>(dialog);
            find.symbolEdit()->setText(symbol);
            find.countryCombo()->setCurrentIndex(find.countryCombo()->findText(country));
            find.accept();
            return find.result();
        };
        const int before = static_cast<int>(quoteViews().size());
        frame().runCommand(ids::ID_FIND_WORLDWIDE);
        CDia_FindWorldwide::s_execHookForTesting = {};
        const auto after = quoteViews();
        return after.size() == before + 1 ? after.back() : nullptr;
    }

    // A double click on the row's symbol cell, as the user gives it.
    static void doubleClickRow(CListView_* view, int row)
    {
        QTableView* table = view->table();
        const QModelIndex index = table->model()->index(row, 1);
        table->scrollTo(index);
        const QPoint at = table->visualRect(index).center();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, at);
    }

    static bool isLive(const CKolpexView* view)
    {
        return view && !view->isInert() && view->chart() && view->isRefreshTimerActive();
    }

private Q_SLOTS:
    void initTestCase()
    {
        Clock::SetNowForTesting([] { return kNow; });
        CKolpexView::SetMillisecondsPerMinuteForTesting(kMinuteMs);
        QVERIFY2(m_service.start(serviceArguments()), qPrintable(m_service.error()));
    }

    void init()
    {
        pointAt(m_service);
        if (!m_app || !frame().isVisible()) {
            stopApp();
            startApp();
        }
        m_notifier.messages.clear();
    }

    void cleanup()
    {
        CDia_Find::s_execHookForTesting = {};
        CDia_FindWorldwide::s_execHookForTesting = {};
        CDia_Parameters::SetModalAnswerForTesting({});
        m_notifier.whileShowing = {};
        if (m_app) {
            frame().m_pageReader.setTimeoutMs(CPageReader::kDefaultTimeoutMs);
            frame().mdiArea()->closeAllSubWindows();
            QTRY_VERIFY(frame().mdiArea()->subWindowList().isEmpty());
        }
    }

    void cleanupTestCase()
    {
        stopApp();
        m_service.stop();
        Clock::SetNowForTesting({});
    }

    void typicalRequest()
    {
        CListView_* list = openMarket(ids::ID_MARKETS_NASDAQ, QStringLiteral("NASDAQ"));
        QVERIFY(list);
        QCOMPARE(windowOf(list)->size(), QSize(262, 550));
        QCOMPARE(list->GetDocument()->GetTitle(), std::string("NASDAQ"));
        QCOMPARE(list->listKind(), 4);
        QCOMPARE(g_pendingListKind, 0);
        const int rows = list->table()->model()->rowCount();
        QVERIFY2(rows > 100, qPrintable(QString::number(rows)));
        QCOMPARE(static_cast<std::size_t>(rows), list->entries().size());
        std::vector<std::string> companies;
        for (int row = 0; row < rows; ++row)
            companies.push_back(list->model()->entryAt(row)->companyName);
        QVERIFY(std::is_sorted(companies.begin(), companies.end()));
        QCOMPARE(list->table()->model()->index(0, 0).data().toString(), FromCp1252(companies.front()));

        const int row = rows / 3;
        const QuoteEntry clicked = Simulated(*list->model()->entryAt(row));
        doubleClickRow(list, row);
        QCOMPARE(Texts(m_notifier.messages), QStringList());
        const auto views = quoteViews();
        QCOMPARE(views.size(), 1);
        CKolpexView* view = views.front();
        QVERIFY(isLive(view));
        QCOMPARE(windowOf(view)->size(), QSize(400, 620));
        QCOMPARE(view->entry(), clicked);
        QCOMPARE(view->chart()->RowCount(), 1);
        QCOMPARE(view->samples().size(), std::size_t(1));
        QCOMPARE(view->refreshTimerPeriodMs(), 5 * kMinuteMs);
        QCOMPARE(topRecentText(), clicked.companyName + " (US, " + clicked.symbol + ")");
        QTRY_COMPARE(windowOf(view)->windowTitle(), FromCp1252(clicked.companyName));

        // two refreshes of the timer
        QTRY_COMPARE_WITH_TIMEOUT(view->chart()->RowCount(), 3, 5000);
        QCOMPARE(view->samples().size(), std::size_t(3));
        QVERIFY(view->isRefreshTimerActive());
        QCOMPARE(Texts(m_notifier.messages), QStringList());
    }

    void findInList()
    {
        CListView_* list = openMarket(ids::ID_MARKETS_NASDAQ, QStringLiteral("NASDAQ"));
        QVERIFY(list);
        EntryArray expected;
        for (const QuoteEntry& e : list->entries().toArray())
            if (LowerAscii(e.companyName).find("corp") != std::string::npos
                || LowerAscii(e.symbol).find("corp") != std::string::npos)
                expected.push_back(e);
        QVERIFY(expected.size() >= 2);

        CDia_Find::s_execHookForTesting = [](QDialog& dialog) {
            auto& find = static_cast<CDia_Find&>(dialog);
            find.searchEdit()->setText(QStringLiteral("corp"));
            find.accept();
            return find.result();
        };
        QTest::keyClick(list->table(), Qt::Key_F, Qt::ControlModifier);
        CDia_Find::s_execHookForTesting = {};

        QMdiSubWindow* window = frame().mdiArea()->activeSubWindow();
        auto* results = window ? qobject_cast<CListView_*>(window->widget()) : nullptr;
        QVERIFY(results && results != list);
        QCOMPARE(window->windowTitle(), QStringLiteral("Nearest quotes for \"corp\" (NASDAQ)"));
        QCOMPARE(window->size(), QSize(320, 200));
        QCOMPARE(results->listKind(), 2);
        QCOMPARE(results->entries().toArray(), expected);
        QCOMPARE(Texts(m_notifier.messages), QStringList());

        QVERIFY(QTest::qWaitForWindowExposed(results));
        const QuoteEntry first = Simulated(*results->model()->entryAt(0));
        doubleClickRow(results, 0);
        const auto views = quoteViews();
        QCOMPARE(views.size(), 1);
        QVERIFY(isLive(views.front()));
        QCOMPARE(views.front()->entry(), first);
        QCOMPARE(topRecentText(), first.companyName + " (US, " + first.symbol + ")");
    }

    void findWorldwideAbroad()
    {
        CKolpexView* view = findWorldwide(QStringLiteral("muv2"), QStringLiteral("Germany"));
        QVERIFY(view);
        QCOMPARE(Texts(m_notifier.messages), QStringList());
        QCOMPARE(g_searchText, std::string("DE:MUV2"));
        QVERIFY(isLive(view));
        QCOMPARE(view->entry().countryCode, std::string("DE"));
        QCOMPARE(view->entry().symbol, std::string("MUV2"));
        // the name comes from the page, umlauts and all
        QCOMPARE(view->entry().companyName, kMunichRe);
        QCOMPARE(view->chart()->title(), kMunichRe + " (MUV2)");
        QTRY_COMPARE(windowOf(view)->windowTitle(),
            QString::fromUtf8("Münchener Rückversicherungs-Ges. AG (simulated)"));
        QCOMPARE(topRecentText(), kMunichRe + " (DE, MUV2)");
    }

    void dataFileAfterClosingMainWindow()
    {
        CKolpexView* view = findWorldwide(QStringLiteral("SAP"), QStringLiteral("Germany"));
        QVERIFY(isLive(view));
        QTRY_VERIFY_WITH_TIMEOUT(view->samples().size() >= 2, 5000);

        // write-to-file on, and a refresh far enough away that no sample comes during the close
        frame().mdiArea()->setActiveSubWindow(windowOf(view));
        CDia_Parameters::SetModalAnswerForTesting([](CDia_Parameters& dialog) {
            dialog.writeToFileCheck->setChecked(true);
            dialog.refreshCombo->setEditText(QStringLiteral("120"));
            dialog.accept();
            return dialog.result();
        });
        frame().runCommand(ids::ID_PROPERTIES);
        CDia_Parameters::SetModalAnswerForTesting({});
        QVERIFY(view->entry().writeToFile);
        QCOMPARE(view->refreshTimerPeriodMs(), 120 * kMinuteMs);

        const std::vector<QuoteRecord> samples = view->samples().records();
        const auto chartRows = view->chart()->rows();
        QCOMPARE(chartRows.size(), samples.size());
        // The stand-in service is the simulated market: its samples are kept apart from real ones.
        const QString file = QStringLiteral("Stockdata/Simulated/02_10_2026_sap.txt");
        QFile::remove(file);

        QPointer<CKolpexView> guard(view);
        QVERIFY(frame().close());
        QTRY_VERIFY(!guard);
        QVERIFY(!frame().isVisible());
        QCOMPARE(Texts(m_notifier.messages), QStringList());

        QFile written(file);
        QVERIFY2(written.open(QIODevice::ReadOnly), qPrintable(file));
        const QByteArray content = written.readAll();

        // what the service said it served, in the columns of the file
        const QJsonObject served = QuoteServiceProcess::Dump(QStringLiteral("DE:SAP"), serviceArguments());
        QVERIFY(served.value(QStringLiteral("found")).toBool());
        const QByteArray line = DataFileLine(served);
        QByteArray expected = "\r\nDate\t\tTime\tCurrent\tChange\t\tHigh\tLow\tP/E\tAsk\tBid\tBeta\r\n\r\n";
        for (std::size_t i = 0; i < samples.size(); ++i)
            expected += line;
        QCOMPARE(content, expected);

        // and the Current column is the figure the chart showed for that sample
        const QList<QByteArray> lines = content.split('\n').mid(3, static_cast<qsizetype>(samples.size()));
        for (std::size_t i = 0; i < samples.size(); ++i)
            QCOMPARE(lines.at(static_cast<qsizetype>(i)).split('\t').at(2),
                QByteArray(chartRows[i].at(1).c_str()));
    }

    void restartReopensRecentQuote()
    {
        const std::string company = "L'Or\xE9"
                                    "al SA (simulated)";
        CKolpexView* view = findWorldwide(QStringLiteral("or"), QStringLiteral("France"));
        QVERIFY(isLive(view));
        QCOMPARE(view->entry().companyName, company);
        const std::string entryText = company + " (FR, OR)";
        QCOMPARE(topRecentText(), entryText);
        const QStringList before = m_app->recentFiles().entries();

        stopApp();
        QSettings store(QStringLiteral("Tarrindel"), QStringLiteral("Kolpex"));
        QVERIFY(store.fileName().startsWith(m_configDir));
        QCOMPARE(store.value(QStringLiteral("Recent File List/File1")).toString(), before.front());

        startApp();
        QCOMPARE(m_app->recentFiles().entries(), before);
        QAction* recent = frame().action(ids::ID_FILE_MRU_FILE1);
        QVERIFY(recent && recent->isEnabled() && recent->isVisible());
        recent->trigger();
        QCOMPARE(Texts(m_notifier.messages), QStringList());
        // the document made for the entry does not stay: only the quote window
        QCOMPARE(frame().mdiArea()->subWindowList().size(), 1);
        const auto views = quoteViews();
        QCOMPARE(views.size(), 1);
        QVERIFY(isLive(views.front()));
        QCOMPARE(views.front()->entry().countryCode, std::string("FR"));
        QCOMPARE(views.front()->entry().symbol, std::string("OR"));
        QCOMPARE(views.front()->entry().companyName, company);
        QCOMPARE(m_app->recentFiles().entries(), before);
        QCOMPARE(topRecentText(), entryText);
        QTRY_COMPARE(windowOf(views.front())->windowTitle(), FromCp1252(company));
    }

    void unknownSymbol()
    {
        const QStringList before = m_app->recentFiles().entries();
        QVERIFY(!findWorldwide(QStringLiteral("nosuchsym"), QStringLiteral("United States")));
        QCOMPARE(Texts(m_notifier.messages),
            QStringList { QStringLiteral("Sorry, no data available for:\n\n NOSUCHSYM US.") });
        QVERIFY(frame().mdiArea()->subWindowList().isEmpty());
        QCOMPARE(m_app->recentFiles().entries(), before);
    }

    void serviceStopped()
    {
        CKolpexView* view = findWorldwide(QStringLiteral("SIE"), QStringLiteral("Germany"));
        QVERIFY(isLive(view));
        const int rows = view->chart()->RowCount();
        const std::size_t samples = view->samples().size();
        const QuoteRecord quote = view->quote();
        const auto infoLines = view->chart()->series().back().infoLines;
        QVERIFY(infoLines && infoLines->size() == 24);

        const quint16 port = m_service.port();
        m_service.kill();
        QTRY_VERIFY_WITH_TIMEOUT(m_notifier.messages.size() >= 2, 5000);
        const QString noData
            = QStringLiteral("Sorry, no data available for:\n\nSiemens AG (simulated) SIE DE.");
        QCOMPARE(Texts(m_notifier.messages).mid(0, 2),
            (QStringList { QStringLiteral("No Internet connection found."), noData }));
        QCOMPARE(view->chart()->RowCount(), rows);
        QCOMPARE(view->samples().size(), samples);
        QCOMPARE(view->quote(), quote);
        QCOMPARE(view->chart()->series().back().infoLines, infoLines);
        QVERIFY(view->isRefreshTimerActive());

        // the service comes back where it was: the timer's next refresh gets a quote again
        if (!m_service.start(serviceArguments(), port)) {
            QVERIFY2(m_service.start(serviceArguments()), qPrintable(m_service.error()));
            QSKIP("the port could not be taken again");
        }
        QTRY_COMPARE_WITH_TIMEOUT(view->samples().size(), samples + 1, 5000);
        QCOMPARE(view->chart()->RowCount(), rows + 1);
        const QStringList messages = Texts(m_notifier.messages);
        QVERIFY(messages.size() % 2 == 0);
        for (qsizetype i = 0; i < messages.size(); i += 2)
            QCOMPARE(messages.mid(i, 2),
                (QStringList { QStringLiteral("No Internet connection found."), noData }));
    }

    // The message of a failed refresh stays open for three timer periods, as a box the user has
    // not closed yet: the timers of both windows fire meanwhile and are turned away silently.
    void outageBoxHoldsOtherRefreshes()
    {
        CKolpexView* first = findWorldwide(QStringLiteral("SIE"), QStringLiteral("Germany"));
        CKolpexView* second = findWorldwide(QStringLiteral("ALV"), QStringLiteral("Germany"));
        QVERIFY(isLive(first) && isLive(second));
        const std::size_t firstSamples = first->samples().size();
        const std::size_t secondSamples = second->samples().size();

        std::size_t shownDuringBox = 0;
        bool boxShown = false;
        m_notifier.whileShowing = [&](const std::string&) {
            if (boxShown)
                return;
            boxShown = true;
            QElapsedTimer open;
            open.start();
            while (open.elapsed() < 15 * kMinuteMs)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            shownDuringBox = m_notifier.messages.size();
        };
        m_service.kill();
        QTRY_VERIFY_WITH_TIMEOUT(m_notifier.messages.size() >= 4, 8000);
        m_notifier.whileShowing = {};
        QCOMPARE(shownDuringBox, std::size_t(1));

        const QStringList noData
            = { QStringLiteral("Sorry, no data available for:\n\nSiemens AG (simulated) SIE DE."),
                  QStringLiteral("Sorry, no data available for:\n\nAllianz SE (simulated) ALV DE.") };
        const QStringList messages = Texts(m_notifier.messages);
        for (qsizetype i = 0; i + 1 < messages.size(); i += 2) {
            QCOMPARE(messages.at(i), QStringLiteral("No Internet connection found."));
            QVERIFY2(noData.contains(messages.at(i + 1)), qPrintable(messages.at(i + 1)));
        }
        QCOMPARE(first->samples().size(), firstSamples);
        QCOMPARE(second->samples().size(), secondSamples);
        QVERIFY(first->isRefreshTimerActive() && second->isRefreshTimerActive());

        QVERIFY2(m_service.start(serviceArguments()), qPrintable(m_service.error()));
    }

    void serviceStalls_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("unreachable");
        QTest::addColumn<bool>("quoteArrives");
        QTest::newRow("cut before the figures") << QStringLiteral("stall=1000") << false << false;
        // what came before the silence is the page: here it holds every figure
        QTest::newRow("cut after the figures") << QStringLiteral("stall") << false << true;
        QTest::newRow("no answer at all") << QStringLiteral("delay=20000") << true << false;
    }

    void serviceStalls()
    {
        QFETCH(QString, fault);
        QFETCH(bool, unreachable);
        QFETCH(bool, quoteArrives);
        constexpr int kTimeoutMs = 1000;
        QStringList expected;
        if (unreachable)
            expected << QStringLiteral("No Internet connection found.");
        if (!quoteArrives)
            expected << QStringLiteral("Sorry, no data available for:\n\nBASF SE (simulated) BAS DE.");
        if (quoteArrives) {
            const QJsonObject served
                = QuoteServiceProcess::Dump(QStringLiteral("DE:BAS"), serviceArguments());
            QVERIFY(served.value(QStringLiteral("figuresEndBytes")).toInt()
                < served.value(QStringLiteral("pageBytes")).toInt() / 2);
        }

        CKolpexView* view = findWorldwide(QStringLiteral("BAS"), QStringLiteral("Germany"));
        QVERIFY(isLive(view));
        const int rows = view->chart()->RowCount();

        QuoteServiceProcess stalling;
        QVERIFY2(stalling.start(serviceArguments() + QStringList { QStringLiteral("--fault"), fault }),
            qPrintable(stalling.error()));
        pointAt(stalling);
        frame().m_pageReader.setTimeoutMs(kTimeoutMs);

        // a refresh of the live window waits for the time-out, not longer
        QElapsedTimer clock;
        clock.start();
        view->OnTimer(ids::REFRESH_TIMER_ID);
        qint64 waited = clock.elapsed();
        QVERIFY2(waited >= kTimeoutMs * 9 / 10 && waited < kTimeoutMs * 5 / 2,
            qPrintable(QString::number(waited)));
        QCOMPARE(Texts(m_notifier.messages), expected);
        QCOMPARE(view->chart()->RowCount(), quoteArrives ? rows + 1 : rows);
        QVERIFY(view->isRefreshTimerActive());
        if (quoteArrives)
            return;

        // opening a new window: the existence check gives up as quickly, and nothing opens
        m_notifier.messages.clear();
        clock.restart();
        QVERIFY(!findWorldwide(QStringLiteral("SAP"), QStringLiteral("Germany")));
        waited = clock.elapsed();
        QVERIFY2(waited >= kTimeoutMs * 9 / 10 && waited < kTimeoutMs * 5 / 2,
            qPrintable(QString::number(waited)));
        expected.back() = QStringLiteral("Sorry, no data available for:\n\n SAP DE.");
        // the window's own timer may have tried meanwhile and been turned away without a word
        QCOMPARE(Texts(m_notifier.messages), expected);
        QCOMPARE(quoteViews().size(), 1);
    }
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TZ", "EST5EDT");
    tzset();

    QTemporaryDir root;
    if (!e2e::PrepareFreshUser(root))
        return 1;

    QApplication application(argc, argv);
    // Closing the main window is one of the scenarios; the test goes on after it.
    QApplication::setQuitOnLastWindowClosed(false);
    TestEndToEnd test(QDir(root.path()).filePath(QStringLiteral("config")));
    return QTest::qExec(&test, argc, argv);
}

#include "tst_e2e.moc"
