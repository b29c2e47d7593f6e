#include "app/kolpexapp.h"
#include "app/mainframe.h"
#include "chart/graph.h"
#include "markets/gui/ckolpexdoc.h"
#include "markets/liststate.h"
#include "platform/clock.h"
#include "platform/notifier.h"
#include "platform/recentfilelist.h"
#include "quotewin/datafile.h"
#include "quotewin/gui/cdia_parameters.h"
#include "quotewin/gui/ckolpexview.h"
#include "quotewin/gui/quoteprinting.h"
#include "res/resource_ids.h"
#include "support/scriptedhttpserver.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QuoteEntry Xyz(bool writeToFile = false, int interval = 5)
{
    QuoteEntry e;
    e.countryCode = "US";
    e.symbol = "XYZ";
    e.writeToFile = writeToFile;
    e.refreshInterval = interval;
    return e; // no company name: the page supplies it
}

constexpr std::int64_t kMarch7th2005 = 1110196800; // 07:00 Eastern

} // namespace

class TestKolpexView final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_previousDir;
    RecordingNotifier m_notifier;
    std::unique_ptr<ScriptedHttpServer> m_server;
    std::unique_ptr<CKolpexApp> m_app;
    QByteArray m_page;

    CMainFrame& frame() { return *m_app->mainFrame(); }

    void serve(int status)
    {
        m_server->enqueue(ScriptedHttpServer::reply(status, status == 200 ? m_page : "gone"));
    }
    void serveAlways(int status)
    {
        m_server = std::make_unique<ScriptedHttpServer>();
        qputenv("KOLPEX_QUOTE_SERVICE", m_server->url());
        serve(status);
    }

    QList<CKolpexView*> views()
    {
        QList<CKolpexView*> list;
        for (QMdiSubWindow* w : frame().mdiArea()->subWindowList())
            if (auto* v = qobject_cast<CKolpexView*>(w->widget()))
                list << v;
        return list;
    }

    CKolpexView* open(const QuoteEntry& entry)
    {
        const int before = views().size();
        if (!frame().m_quoteManager.OpenQuote(entry))
            return nullptr;
        const auto list = views();
        return list.size() == before + 1 ? list.back() : nullptr;
    }

    static void close(CKolpexView* view)
    {
        auto* window = qobject_cast<QMdiSubWindow*>(view->parentWidget());
        QVERIFY(window);
        QPointer<CKolpexView> guard(view);
        window->close();
        QTRY_VERIFY(!guard);
    }

    // Runs Properties with the dialog answered by the given function.
    static void properties(CKolpexView* view, std::function<void(CDia_Parameters&)> answer, bool ok = true)
    {
        CDia_Parameters::SetModalAnswerForTesting([&](CDia_Parameters& dialog) {
            answer(dialog);
            if (ok)
                dialog.accept();
            else
                dialog.reject();
            return dialog.result();
        });
        view->OnCommand(ids::ID_PROPERTIES);
        CDia_Parameters::SetModalAnswerForTesting({});
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "EST5EDT");
        tzset();
        QVERIFY(m_dir.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("config"))));
        m_previousDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        m_page = ReadFile(QStringLiteral(KOLPEX_TEST_DATA "/pages/full.html"));
        QVERIFY(!m_page.isEmpty());
        m_app = std::make_unique<CKolpexApp>(
            m_notifier, [](CDocument* doc, CMainFrame& f) -> CView* { return new CKolpexView(doc, f); },
            [](CDocument* doc, CMainFrame& f) -> CView* { return new CKolpexView(doc, f); });
        QVERIFY(m_app->InitInstance());
        Clock::SetNowForTesting([] { return kMarch7th2005; });
    }

    void init()
    {
        m_notifier.messages.clear();
        serveAlways(200);
    }

    void cleanup()
    {
        for (CKolpexView* v : views())
            close(v);
        SetDataFileWriteLimitForTesting(std::nullopt);
        CKolpexView::SetMillisecondsPerMinuteForTesting(60'000);
        QCOMPARE(QDir::currentPath(), m_dir.path());
    }

    void cleanupTestCase()
    {
        m_app.reset();
        Clock::SetNowForTesting({});
        QDir::setCurrent(m_previousDir);
    }

    void liveWindow()
    {
        CKolpexView* view = open(Xyz());
        QVERIFY(view);
        QVERIFY(!view->isInert());
        QVERIFY(view->chart());
        QCOMPARE(view->chart()->SeriesCount(), 5);
        QCOMPARE(view->chart()->RowCount(), 1);
        QCOMPARE(view->samples().size(), std::size_t(1));
        QCOMPARE(view->samples()[0], view->quote());
        QVERIFY(view->chart()->series().back().infoLines);
        QCOMPARE(view->chart()->series().back().infoLines->size(), std::size_t(24));
        QVERIFY(view->isRefreshTimerActive());
        QCOMPARE(view->entry().companyName, std::string("XYZ Corporation"));
        // the existence check learnt the name, so the caption carries it from the start
        QCOMPARE(view->chart()->title(), std::string("XYZ Corporation (XYZ)"));
        QCOMPARE(m_server->requests().size(), 2); // the existence check and the first retrieval

        auto* doc = qobject_cast<CKolpexDoc*>(view->GetDocument());
        QVERIFY(doc);
        QVERIFY(view->isTitlePending()); // not painted yet: still the framework's "Kolpex<n>"
        QVERIFY(doc->GetTitle().starts_with("Kolpex"));
        QCOMPARE(doc->m_pChart, view->chart());
        QCOMPARE(doc->m_pMainFrame, static_cast<QuoteWindowHost*>(&frame()));

        // the recent list gains the entry with the company learnt from the page
        QVERIFY(m_app->recentFiles().size() >= 1);
        QVERIFY(
            m_app->recentFiles().entries().front().endsWith(QStringLiteral("/XYZ Corporation (US, XYZ)")));

        // the title comes with the first paint
        QTRY_VERIFY(!view->isTitlePending());
        QCOMPARE(doc->GetTitle(), std::string("XYZ Corporation"));
        QCOMPARE(view->parentWidget()->windowTitle(), QStringLiteral("XYZ Corporation"));
        QVERIFY(view->drawCount() >= 1);
    }

    void refreshes()
    {
        CKolpexView* view = open(Xyz());
        QVERIFY(view);
        view->OnTimer(ids::REFRESH_TIMER_ID);
        QCOMPARE(view->chart()->RowCount(), 2);
        QCOMPARE(view->samples().size(), std::size_t(2));
        QCOMPARE(
            view->chart()->rows()[0], view->chart()->rows()[1]); // the same quote twice: no de-duplication

        serveAlways(404);
        view->OnTimer(ids::REFRESH_TIMER_ID);
        QCOMPARE(view->chart()->RowCount(), 2);
        QCOMPARE(view->samples().size(), std::size_t(2));
        QVERIFY(view->isRefreshTimerActive());
        QCOMPARE(m_notifier.messages.size(), std::size_t(1));

        const int requests = m_server->requests().size();
        view->OnTimer(2); // not the refresh timer
        QCOMPARE(m_server->requests().size(), requests);
        QCOMPARE(view->samples().size(), std::size_t(2));
    }

    void deletedWhileItsRefreshDownloads()
    {
        CKolpexView* view = open(Xyz());
        QVERIFY(view);
        m_server = std::make_unique<ScriptedHttpServer>();
        qputenv("KOLPEX_QUOTE_SERVICE", m_server->url());
        m_server->enqueue(ScriptedHttpServer::Script { ScriptedHttpServer::Action::wait(300) }
            + ScriptedHttpServer::reply(200, m_page)); // answers late
        QPointer<QMdiSubWindow> window = qobject_cast<QMdiSubWindow*>(view->parentWidget());
        QTimer::singleShot(50, window, [window] { delete window.data(); });
        view->OnTimer(ids::REFRESH_TIMER_ID); // must come back without touching the deleted view
        QVERIFY(!window);
        QVERIFY(views().isEmpty());
    }

    // A tick of one window while another downloads runs once that download is over; one that
    // comes while a failure message is open is skipped.
    void tickDuringAnotherRetrieval_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("duringMessage");
        QTest::addColumn<int>("samplesAfter");
        QTest::newRow("during a slow download") << 200 << false << 2;
        QTest::newRow("while a failure message is open") << 404 << true << 1;
    }
    void tickDuringAnotherRetrieval()
    {
        QFETCH(int, status);
        QFETCH(bool, duringMessage);
        QFETCH(int, samplesAfter);
        CKolpexView* first = open(Xyz());
        CKolpexView* second = open(Xyz());
        QVERIFY(first && second);
        m_server = std::make_unique<ScriptedHttpServer>();
        qputenv("KOLPEX_QUOTE_SERVICE", m_server->url());
        m_server->enqueue(ScriptedHttpServer::Script { ScriptedHttpServer::Action::wait(300) }
            + ScriptedHttpServer::reply(status, status == 200 ? m_page : "gone"));
        m_server->enqueue(ScriptedHttpServer::reply(200, m_page));
        QPointer<CKolpexView> other(second);
        if (duringMessage)
            m_notifier.whileShowing = [other](const std::string&) { other->OnTimer(ids::REFRESH_TIMER_ID); };
        else
            QTimer::singleShot(50, other, [other] { other->OnTimer(ids::REFRESH_TIMER_ID); });

        first->OnTimer(ids::REFRESH_TIMER_ID);
        m_notifier.whileShowing = {};
        QCOMPARE(m_server->requests().size(), 1); // nothing ran in the middle of the first
        QCOMPARE(first->samples().size(), std::size_t(status == 200 ? 2 : 1));
        QTRY_COMPARE(second->samples().size(), std::size_t(samplesAfter));
        QTest::qWait(100);
        QCOMPARE(second->samples().size(), std::size_t(samplesAfter)); // and only once
        QCOMPARE(m_server->requests().size(), samplesAfter == 2 ? 2 : 1);
        QVERIFY(!second->isRefreshHeld());
    }

    void timerPeriod_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<int>("period");
        QTest::newRow("5") << 5 << 300'000;
        QTest::newRow("120") << 120 << 7'200'000;
    }
    void timerPeriod()
    {
        QFETCH(int, interval);
        QFETCH(int, period);
        CKolpexView* view = open(Xyz(false, interval));
        QVERIFY(view);
        QCOMPARE(view->refreshTimerPeriodMs(), period);
        QCOMPARE(view->chart()->series()[0].name, "Time ET (every " + std::to_string(interval) + " min)");
    }

    void timerRefreshesOnItsOwn()
    {
        CKolpexView::SetMillisecondsPerMinuteForTesting(10);
        CKolpexView* view = open(Xyz());
        QVERIFY(view);
        QCOMPARE(view->refreshTimerPeriodMs(), 50);
        QTRY_VERIFY(view->samples().size() >= 3);
        QCOMPARE(static_cast<std::size_t>(view->chart()->RowCount()), view->samples().size());
    }

    void existenceCheckFails()
    {
        serveAlways(404);
        const int before = m_app->recentFiles().size();
        QVERIFY(!open(Xyz()));
        QVERIFY(views().isEmpty());
        QCOMPARE(m_app->recentFiles().size(), before);
        QCOMPARE(m_notifier.messages.size(), std::size_t(1));
    }

    void waitingState()
    {
        m_server->enqueue(
            ScriptedHttpServer::reply(404, "gone")); // the check passes, the window's fetch fails
        CKolpexView* view = open(Xyz());
        QVERIFY(view);
        QVERIFY(view->chart());
        QCOMPARE(view->chart()->SeriesCount(), 5);
        QCOMPARE(view->chart()->RowCount(), 0);
        QVERIFY(!view->chart()->series().back().infoLines);
        QVERIFY(view->samples().empty());
        QVERIFY(!view->isRefreshTimerActive());

        serveAlways(200);
        properties(view, [](CDia_Parameters& d) { d.refreshCombo->setEditText(QStringLiteral("7")); });
        QVERIFY(view->isRefreshTimerActive());
        QCOMPARE(view->refreshTimerPeriodMs(), 420'000);
        QCOMPARE(view->chart()->series()[0].name, std::string("Time ET (every 7 min)"));
        view->OnTimer(ids::REFRESH_TIMER_ID);
        QCOMPARE(view->chart()->RowCount(), 1);
    }

    void inertWindow()
    {
        const int saved = g_pendingListKind;
        g_pendingListKind = 1;
        CDocument* doc = m_app->m_pQuoteTemplate->OpenDocumentFile(nullptr);
        g_pendingListKind = saved;
        QVERIFY(doc);
        auto* view = qobject_cast<CKolpexView*>(doc->views().front());
        QVERIFY(view);
        QVERIFY(view->isInert());
        QVERIFY(!view->chart());
        QVERIFY(!view->isRefreshTimerActive());
        const std::string title = doc->GetTitle();
        view->repaint();
        QTest::qWait(20);
        QCOMPARE(doc->GetTitle(), title);
        QCOMPARE(view->drawCount(), 0);
        QCOMPARE(m_server->requests().size(), 0);

        // Properties still works and a changed interval starts the timer
        properties(view, [](CDia_Parameters& d) {
            QVERIFY(!d.m_pGraph);
            d.refreshCombo->setEditText(QStringLiteral("10"));
            d.writeToFileCheck->setChecked(true);
        });
        QVERIFY(view->isRefreshTimerActive());
        QCOMPARE(view->refreshTimerPeriodMs(), 600'000);
        close(view);
        QVERIFY(!QDir(QStringLiteral("Stockdata")).exists() || QDir(QStringLiteral("Stockdata")).isEmpty());
    }

    void dataFileAtClose()
    {
        QDir(QStringLiteral("Stockdata")).removeRecursively();
        CKolpexView* view = open(Xyz(true));
        QVERIFY(view);
        view->OnTimer(ids::REFRESH_TIMER_ID);
        const std::vector<QuoteRecord> samples = view->samples().records();
        QCOMPARE(samples.size(), std::size_t(2));
        close(view);
        const QByteArray bytes = ReadFile(QStringLiteral("Stockdata/03_07_2005_xyz.txt"));
        QCOMPARE(bytes, QByteArray::fromStdString(FormatDataFile(samples)));
        QVERIFY(bytes.count("\r\n") == 5);

        // a second window for the same symbol replaces the file; one that never fetched writes the header
        m_server = std::make_unique<ScriptedHttpServer>(); // only the check succeeds
        qputenv("KOLPEX_QUOTE_SERVICE", m_server->url());
        m_server->enqueue(ScriptedHttpServer::reply(200, m_page));
        m_server->enqueue(ScriptedHttpServer::reply(404, "gone"));
        CKolpexView* waiting = open(Xyz(true));
        QVERIFY(waiting);
        QVERIFY(waiting->samples().empty());
        close(waiting);
        QCOMPARE(ReadFile(QStringLiteral("Stockdata/03_07_2005_xyz.txt")),
            QByteArray::fromStdString(FormatDataFile({})));
    }

    void failingDataFileKeepsTheEarlierOne()
    {
        CKolpexView* first = open(Xyz(true));
        QVERIFY(first);
        close(first);
        const QByteArray earlier = ReadFile(QStringLiteral("Stockdata/03_07_2005_xyz.txt"));
        QVERIFY(!earlier.isEmpty());

        CKolpexView* second = open(Xyz(true));
        QVERIFY(second);
        second->OnTimer(ids::REFRESH_TIMER_ID);
        m_notifier.messages.clear();
        SetDataFileWriteLimitForTesting(100);
        close(second); // the failure must not escape the view's destruction
        QCOMPARE(m_notifier.messages,
            std::vector<std::string> { "Can not open an output file \"03_07_2005_xyz.txt\"." });
        QCOMPARE(ReadFile(QStringLiteral("Stockdata/03_07_2005_xyz.txt")), earlier);
    }

    void newWindowOnTheSameDocument()
    {
        CKolpexView* first = open(Xyz());
        QVERIFY(first);
        CView* made = m_app->m_pQuoteTemplate->CreateNewWindow(first->GetDocument());
        auto* second = qobject_cast<CKolpexView*>(made);
        QVERIFY(second);
        QCOMPARE(second->GetDocument(), first->GetDocument());
        QVERIFY(second->chart() && second->chart() != first->chart());
        QCOMPARE(second->samples().size(), std::size_t(1));
        QCOMPARE(second->entry().symbol, std::string("XYZ"));
        close(first);
        second->OnTimer(ids::REFRESH_TIMER_ID);
        QCOMPARE(second->samples().size(), std::size_t(2));
        QTRY_VERIFY(!second->isTitlePending());
    }

    void propertiesOnlyMarks()
    {
        CKolpexView* view = open(Xyz());
        QVERIFY(view);
        QTRY_VERIFY(!view->isTitlePending());
        const int starts = view->refreshTimerStarts();
        const int draws = view->drawCount();
        properties(view, [](CDia_Parameters& d) { d.showMarksCheck->click(); });
        QVERIFY(view->chart()->m_showMarks);
        QCOMPARE(view->chart()->series()[0].name, std::string("Time ET (every 5 min)"));
        QCOMPARE(view->refreshTimerStarts(), starts);
        QVERIFY(view->drawCount() > draws);
    }

    void propertiesOnlyTimeBasis()
    {
        QuoteEntry named = Xyz();
        named.companyName = "Given Name";
        CKolpexView* view = open(named);
        QVERIFY(view);
        QCOMPARE(view->chart()->title(), std::string("Given Name (XYZ)"));
        const int starts = view->refreshTimerStarts();
        properties(view, [](CDia_Parameters& d) { d.easternTimeCheck->click(); });
        QVERIFY(!view->entry().easternTime);
        QCOMPARE(view->chart()->series()[0].name, std::string("Time local (every 5 min)"));
        QCOMPARE(view->refreshTimerStarts(), starts + 1);
        QCOMPARE(view->refreshTimerPeriodMs(), 300'000);
    }

    void propertiesInterval_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("period");
        QTest::addColumn<QString>("caption");
        QTest::newRow("0 clamped to 1")
            << "0" << 60'000 << "Time ET (every 1 min)"; // the other parse rules: ParseRefreshInterval
        QTest::newRow("7") << "7" << 420'000 << "Time ET (every 7 min)";
    }
    void propertiesInterval()
    {
        QFETCH(QString, typed);
        QFETCH(int, period);
        QFETCH(QString, caption);
        CKolpexView* view = open(Xyz());
        QVERIFY(view);
        properties(view, [&](CDia_Parameters& d) { d.refreshCombo->setEditText(typed); });
        QCOMPARE(view->refreshTimerPeriodMs(), period);
        QCOMPARE(QString::fromStdString(view->chart()->series()[0].name), caption);
    }

    void propertiesCancelAfterAutoscale()
    {
        CKolpexView* view = open(Xyz());
        QVERIFY(view);
        QTRY_VERIFY(!view->isTitlePending());
        CGraph& chart = *view->chart();
        const double yMin = chart.m_yMin, yDelta = chart.m_yDelta;
        const QuoteEntry entry = view->entry();
        const int draws = view->drawCount();
        const int starts = view->refreshTimerStarts();
        properties(
            view,
            [](CDia_Parameters& d) {
                d.yAutoscaleCheck->click();
                d.refreshCombo->setEditText(QStringLiteral("30"));
                d.yMinEdit->setText(QStringLiteral("1.5"));
            },
            false);
        QVERIFY(chart.m_yAutoscale);
        QCOMPARE(chart.m_yMin, yMin);
        QCOMPARE(chart.m_yDelta, yDelta);
        QCOMPARE(view->entry(), entry);
        QCOMPARE(view->drawCount(), draws);
        QCOMPARE(view->refreshTimerStarts(), starts);
    }

    // The page is what the window showed when the command came, even once the window has gone
    // while the dialog was open.
    void printToPdf()
    {
        CKolpexView* view = open(Xyz());
        QVERIFY(view);
        const QString pdf = m_dir.filePath(QStringLiteral("quote.pdf"));
        QPointer<QMdiSubWindow> window = qobject_cast<QMdiSubWindow*>(view->parentWidget());
        QVERIFY(window);
        SetPrintDialogAnswerForTesting([&](QPrinter& printer) {
            delete window.data(); // the window closes under the dialog
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            return true;
        });
        QVERIFY(view->HandlesCommand(ids::ID_FILE_PRINT));
        PrintQuotePage(view->PrintSnapshot(), nullptr);
        SetPrintDialogAnswerForTesting({});
        QVERIFY(!window);
        const QByteArray bytes = ReadFile(pdf);
        QVERIFY(bytes.startsWith("%PDF"));
        QVERIFY(bytes.size() > 2000);

        // the preview window paints its pages the same way
        view = open(Xyz());
        QVERIFY(view);
        const QString preview = m_dir.filePath(QStringLiteral("preview.pdf"));
        SetPrintPreviewAnswerForTesting([&](QPrinter& printer, const std::function<void(QPrinter&)>& paint) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(preview);
            paint(printer);
        });
        view->OnCommand(ids::ID_FILE_PRINT_PREVIEW);
        SetPrintPreviewAnswerForTesting({});
        const QByteArray previewBytes = ReadFile(preview);
        QVERIFY(previewBytes.startsWith("%PDF"));
        QVERIFY(previewBytes.size() > 2000);
        QVERIFY(!view->HandlesCommand(ids::ID_WINDOW_NEW)); // the shell's
    }
};

QTEST_MAIN(TestKolpexView)
#include "tst_kolpexview.moc"
