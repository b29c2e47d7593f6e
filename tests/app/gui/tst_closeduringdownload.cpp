// A quote window closed (its close box, Ctrl+F4 or Ctrl+W) while its refresh hangs on a stalled
// server: the download then ends in "Sorry, no data available", and the window must close once
// that message is answered. The close keys are tried with no download too. The input is real (xdotool on an X
// server of the test's own), so it waits out the download as a user's does; the message box is the program's
// own, modal.
#include "app/appwiring.h"
#include "app/kolpexapp.h"
#include "app/mainframe.h"
#include "markets/liststate.h"
#include "platform/gui/messageboxnotifier.h"
#include "quotewin/gui/ckolpexview.h"
#include "res/resource_ids.h"
#include "support/asanxkb.h"
#include "support/ownxserver.h"
#include "support/scriptedhttpserver.h"

#include <QApplication>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QStyleOptionTitleBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

bool g_ownXServer = false;

// Where a user clicks to close a child window: the middle of its title bar's close button.
QPoint CloseBoxOf(QMdiSubWindow& window)
{
    QStyleOptionTitleBar option;
    option.initFrom(&window);
    option.subControls = QStyle::SC_All;
    option.titleBarFlags = window.windowFlags();
    option.titleBarState = static_cast<int>(window.windowState());
    option.text = window.windowTitle();
    option.state |= QStyle::State_Active;
    const int border = window.style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, &window);
    const int height = window.style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, &window);
    option.rect = QRect(border, border, window.width() - 2 * border, height);
    const QRect box = window.style()->subControlRect(
        QStyle::CC_TitleBar, &option, QStyle::SC_TitleBarCloseButton, &window);
    return window.mapToGlobal(box.center());
}

} // namespace

class TestCloseDuringDownload final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void closeAfterTheNoDataMessage_data()
    {
        QTest::addColumn<QString>("key"); // xdotool's name; none for the close box
        QTest::addColumn<bool>("duringDownload");
        QTest::newRow("close box") << QString() << true;
        QTest::newRow("Ctrl+F4") << QStringLiteral("ctrl+F4") << true;
        QTest::newRow("Ctrl+W") << QStringLiteral("ctrl+w") << true;
        QTest::newRow("Ctrl+F4, no download") << QStringLiteral("ctrl+F4") << false;
    }

    void closeAfterTheNoDataMessage()
    {
        QFETCH(QString, key);
        QFETCH(bool, duringDownload);
        if (!g_ownXServer || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            QSKIP("no Xvfb or no xdotool to click with");
        QFile pageFile(QStringLiteral(KOLPEX_TEST_DATA "/pages/full.html"));
        QVERIFY(pageFile.open(QIODevice::ReadOnly));
        const QByteArray page = pageFile.readAll();
        ScriptedHttpServer server;
        // The check and the window's first retrieval; then the refresh: the page's start, no more.
        server.enqueue(ScriptedHttpServer::reply(200, page));
        server.enqueue(ScriptedHttpServer::reply(200, page));
        server.enqueue({ ScriptedHttpServer::Action::send(ScriptedHttpServer::head(200, page.size())),
            ScriptedHttpServer::Action::send(page.left(200)), ScriptedHttpServer::Action::stall() });
        qputenv("KOLPEX_QUOTE_SERVICE", server.url());

        MessageBoxNotifier notifier;
        g_pendingListKind = 1;
        const std::unique_ptr<CKolpexApp> app = MakeKolpexApp(notifier);
        QVERIFY(app->InitInstance());
        CMainFrame& frame = *app->mainFrame();
        notifier.setParent(&frame);
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        frame.activateWindow(); // the X server's keyboard focus, as a user's click gives it
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        frame.m_pageReader.setTimeoutMs(1500);
        QuoteEntry entry = frame.m_defaultEntry;
        entry.countryCode = "US";
        entry.symbol = "XYZ";
        QVERIFY(frame.m_quoteManager.OpenQuote(entry));
        QPointer<QMdiSubWindow> window = frame.mdiArea()->currentSubWindow();
        auto* view = window ? qobject_cast<CKolpexView*>(window->widget()) : nullptr;
        QVERIFY(view);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QPoint closeBox = CloseBoxOf(*window);

        const QStringList closeInput = key.isEmpty()
            ? QStringList { QStringLiteral("mousemove"), QString::number(closeBox.x()),
                  QString::number(closeBox.y()), QStringLiteral("click"), QStringLiteral("1") }
            : QStringList { QStringLiteral("key"), key };
        QProcess click;
        if (!duringDownload) {
            click.start(QStringLiteral("xdotool"), closeInput);
            QTRY_VERIFY(!window);
            QCOMPARE(server.requests().size(), 2);
            return;
        }
        // During the download: the close. At the message: a look at the window, then OK.
        QTimer::singleShot(300, &frame, [&] { click.start(QStringLiteral("xdotool"), closeInput); });
        QString message;
        bool windowStoodAtMessage = false;
        QTimer answer;
        connect(&answer, &QTimer::timeout, &frame, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !message.isEmpty())
                return;
            message = box->text();
            windowStoodAtMessage = window && window->isVisible();
            QTimer::singleShot(500, box, &QMessageBox::accept); // time for the click to arrive
        });
        answer.start(50);
        view->OnTimer(ids::REFRESH_TIMER_ID);
        answer.stop();
        QVERIFY(click.state() == QProcess::NotRunning || click.waitForFinished(5000));
        QCOMPARE(click.error(), QProcess::UnknownError); // it started and ended
        QCOMPARE(click.exitCode(), 0);

        QVERIFY2(message.startsWith(QStringLiteral("Sorry, no data available for:")), qPrintable(message));
        QVERIFY(windowStoodAtMessage); // not closed under the download or its message
        QTRY_VERIFY(!window);
        QVERIFY(frame.mdiArea()->subWindowList().isEmpty());
        QCOMPARE(server.requests().size(), 3); // and no refresh after it
    }
};

int main(int argc, char** argv)
{
    RelaxStrictStringChecksForXkb(argv);
    OwnXServer xserver;
    g_ownXServer = xserver.start();
    if (!g_ownXServer)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir configDir;
    qputenv("XDG_CONFIG_HOME", configDir.path().toLocal8Bit());
    QApplication application(argc, argv);
    TestCloseDuringDownload test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_closeduringdownload.moc"
