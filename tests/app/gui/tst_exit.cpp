// The program's own exit: File > Exit and the demo script's quit, run through the real message
// loop and exit sequence with the real quote windows.
#include "app/appwiring.h"
#include "app/kolpexapp.h"
#include "app/mainframe.h"
#include "markets/liststate.h"
#include "platform/notifier.h"
#include "quote/quoteentry.h"
#include "quotewin/gui/ckolpexview.h"
#include "res/resource_ids.h"
#include "support/scriptedhttpserver.h"

#include <QAction>
#include <QApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QSettings>
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

QuoteEntry Entry(const std::string& symbol, bool writeToFile)
{
    QuoteEntry e;
    e.countryCode = "US";
    e.symbol = symbol;
    e.companyName = "Co " + symbol.substr(0, 8);
    e.writeToFile = writeToFile;
    return e;
}

QString DataFileName(const std::string& symbol)
{
    return QDate::currentDate().toString(QStringLiteral("MM_dd_yyyy_"))
        + QString::fromStdString(symbol).toLower() + QStringLiteral(".txt");
}

} // namespace

class TestExit final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_previousDir;
    ScriptedHttpServer m_server;
    RecordingNotifier m_notifier;
    std::unique_ptr<CKolpexApp> m_app;

    QStringList savedRecentList() const
    {
        QSettings settings(QStringLiteral("Tarrindel"), QStringLiteral("Kolpex"));
        settings.beginGroup(QStringLiteral("Recent File List"));
        QStringList entries;
        for (int i = 1; settings.contains(QStringLiteral("File%1").arg(i)); ++i)
            entries << settings.value(QStringLiteral("File%1").arg(i)).toString();
        return entries;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("config"))));
        m_previousDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        const QByteArray page = ReadFile(QStringLiteral(KOLPEX_TEST_DATA "/pages/full.html"));
        QVERIFY(!page.isEmpty());
        m_server.enqueue(ScriptedHttpServer::reply(200, page));
        qputenv("KOLPEX_QUOTE_SERVICE", m_server.url());
    }

    void init()
    {
        QFile::remove(m_dir.filePath(QStringLiteral("config/Tarrindel/Kolpex.conf")));
        g_pendingListKind = 1;
        m_notifier.messages.clear();
        m_notifier.whileShowing = {};
        m_app = MakeKolpexApp(m_notifier);
        QVERIFY(m_app->InitInstance());
    }

    void cleanup()
    {
        m_app.reset(); // no window may be left for the destructors
        qunsetenv("KOLPEX_DEMO_SCRIPT");
    }

    void cleanupTestCase() { QDir::setCurrent(m_previousDir); }

    // A quote window whose data file cannot be created (its name is longer than any file system
    // allows) shows its message while the frame still stands; the others still write theirs and
    // the recent list is saved.
    void exitWithUnwritableDataFile()
    {
        CMainFrame* frame = m_app->mainFrame();
        const std::string longSymbol(300, 'Q');
        QVERIFY(frame->m_quoteManager.OpenQuote(Entry("GOOD", true)));
        QVERIFY(frame->m_quoteManager.OpenQuote(Entry(longSymbol, true)));
        QVERIFY(frame->m_quoteManager.OpenQuote(Entry("LIST", false)));
        QCOMPARE(frame->mdiArea()->subWindowList().size(), 3);

        QPointer<CMainFrame> guard(frame);
        int windowsWhileShowing = -1;
        bool frameShownWhileShowing = false;
        m_notifier.whileShowing = [&](const std::string&) {
            frameShownWhileShowing = guard && guard->isVisible();
            windowsWhileShowing = guard ? int(guard->mdiArea()->subWindowList().size()) : -1;
        };
        QTimer::singleShot(0, frame, [frame] { frame->action(ids::ID_APP_EXIT)->trigger(); });
        QCOMPARE(RunKolpex(*m_app), 0);

        const std::string longName = DataFileName(longSymbol).toStdString();
        QCOMPARE(m_notifier.messages,
            std::vector<std::string> { "Can not open an output file \"" + longName + "\"." });
        QVERIFY(frameShownWhileShowing);
        QVERIFY2(windowsWhileShowing >= 0 && windowsWhileShowing < 3, "one window closed at a time");
        QVERIFY(QFile::exists(QStringLiteral("Stockdata/") + DataFileName("GOOD")));
        QVERIFY(!frame->isVisible());
        QVERIFY(frame->mdiArea()->subWindowList().isEmpty());

        const QStringList recent = savedRecentList();
        QCOMPARE(recent.size(), 3);
        QVERIFY(recent.at(0).endsWith(QStringLiteral("Co LIST (US, LIST)")));
        QVERIFY(recent.at(2).endsWith(QStringLiteral("Co GOOD (US, GOOD)")));
    }

    // Closing the frame while a quote window downloads: the frame waits for the download, then
    // closes, with the window's data file written.
    void closeDuringDownload()
    {
        CMainFrame* frame = m_app->mainFrame();
        QVERIFY(frame->m_quoteManager.OpenQuote(Entry("SLOW", true)));
        auto* view = qobject_cast<CKolpexView*>(frame->mdiArea()->currentSubWindow()->widget());
        QVERIFY(view);
        ScriptedHttpServer slow;
        slow.enqueue(ScriptedHttpServer::Script { ScriptedHttpServer::Action::wait(400) }
            + ScriptedHttpServer::reply(200, ReadFile(QStringLiteral(KOLPEX_TEST_DATA "/pages/full.html"))));
        qputenv("KOLPEX_QUOTE_SERVICE", slow.url());
        QFile::remove(QStringLiteral("Stockdata/") + DataFileName("SLOW"));

        bool shownAfterRequest = false;
        QTimer::singleShot(100, frame, [&] {
            frame->close();
            shownAfterRequest = frame->isVisible();
        });
        QTimer::singleShot(0, view, [view] { view->OnTimer(ids::REFRESH_TIMER_ID); });
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(RunKolpex(*m_app), 0);
        qputenv("KOLPEX_QUOTE_SERVICE", m_server.url());
        QVERIFY(shownAfterRequest);
        QVERIFY(!frame->isVisible());
        QCOMPARE(slow.requests().size(), 1);
        QVERIFY(clock.elapsed() >= 300); // not before the answer came
        QVERIFY(frame->mdiArea()->subWindowList().isEmpty());
        QVERIFY(QFile::exists(QStringLiteral("Stockdata/") + DataFileName("SLOW")));
        QVERIFY(m_notifier.messages.empty());
    }

    // The demo script's quit ends the program the same way, with the script's status.
    void demoScriptQuit()
    {
        QTemporaryDir scriptDir;
        const QString script = scriptDir.filePath(QStringLiteral("demo.txt"));
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("quote US:XYZ\nmarket NASDAQ\nquit\nquote US:NEVER\n");
        file.close();
        qputenv("KOLPEX_DEMO_SCRIPT", QFile::encodeName(script));
        CMainFrame* frame = m_app->mainFrame();
        QPointer<CMainFrame> guard(frame);
        bool frameShownAtMessage = false;
        m_notifier.whileShowing
            = [&](const std::string&) { frameShownAtMessage = guard && guard->isVisible(); };

        QCOMPARE(RunKolpex(*m_app), 0);
        QVERIFY(!frame->isVisible());
        QVERIFY(frame->mdiArea()->subWindowList().isEmpty());
        const QStringList recent = savedRecentList();
        QCOMPARE(recent.size(), 1); // the line after quit never ran
        QVERIFY(recent.front().endsWith(QStringLiteral("(US, XYZ)")));
        // NASDAQ.TXT is not in the test's directory: its message came while the frame stood.
        QCOMPARE(m_notifier.messages.size(), std::size_t(1));
        QVERIFY(frameShownAtMessage);
    }
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    TestExit test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_exit.moc"
