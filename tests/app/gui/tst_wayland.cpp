// The program on a Wayland compositor of the test's own (weston's headless backend, its Num Lock
// on from the start): the real program names its desktop file as its app id, and the CAPS, NUM
// and SCRL panes are blank until a key has told the state, then taken from each key's modifier
// mask, and never toggled by a lock key. Headless weston has no keyboard to type at or to focus a
// window with, so the key events are the test's own, sent to the frame's real Wayland window.
#include "app/kolpexapp.h"
#include "app/lockpanes.h"
#include "app/mainframe.h"
#include "platform/notifier.h"
#include "shelltestviews.h"
#include "support/asanxkb.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QWindow>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr quint32 kLock = 1u << 1; // xkb's Lock: Caps Lock
constexpr quint32 kMod2 = 1u << 4; // Num Lock in every usual keymap

QString g_noCompositor; // why the Wayland cases cannot run

// weston on a socket of its own in the runtime directory of its own; empty on success.
QString StartWeston(QProcess& weston, const QString& runtime)
{
    const QString ini = runtime + QStringLiteral("/weston.ini");
    QFile file(ini);
    if (!file.open(QIODevice::WriteOnly)
        || file.write("[keyboard]\nnumlock-on=true\n[core]\nidle-time=0\n") < 0)
        return QStringLiteral("cannot write weston.ini");
    file.close();
    weston.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); }); // gone with the test
    weston.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    weston.setStandardOutputFile(QProcess::nullDevice());
    weston.start(QStringLiteral("weston"),
        { QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--socket=kolpex-test"),
            QStringLiteral("--shell=kiosk-shell.so"), QStringLiteral("--use-pixman"),
            QStringLiteral("--config=") + ini,
            QStringLiteral("--log=") + runtime + QStringLiteral("/weston.log") });
    const QString socket = runtime + QStringLiteral("/kolpex-test");
    const QDeadlineTimer deadline(10'000);
    while (weston.waitForStarted(5000) && !QFile::exists(socket) && !deadline.hasExpired())
        QThread::msleep(50);
    if (weston.state() != QProcess::Running || !QFile::exists(socket))
        return QStringLiteral("weston's headless backend did not come up: ") + weston.errorString();
    return {};
}

} // namespace

class TestWayland final : public QObject {
    Q_OBJECT

    RecordingNotifier m_notifier;
    std::unique_ptr<CKolpexApp> m_app;

    QString paneText(const char* name) const
    {
        auto* pane = m_app->mainFrame()->findChild<QLabel*>(QString::fromLatin1(name));
        return pane ? pane->text() : QStringLiteral("(no pane)");
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!g_noCompositor.isEmpty())
            QSKIP(qPrintable(g_noCompositor));
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("wayland"));
        g_pendingListKind = 1;
        m_app = std::make_unique<CKolpexApp>(m_notifier, QuoteTestViews(), ListTestViews());
        QVERIFY(m_app->InitInstance());
        QVERIFY(QTest::qWaitForWindowExposed(m_app->mainFrame()));
    }

    void keys_data()
    {
        QTest::addColumn<int>("type"); // 0: no key sent
        QTest::addColumn<int>("key");
        QTest::addColumn<quint32>("mods");
        QTest::addColumn<bool>("caps");
        QTest::addColumn<bool>("num");
        // The rows run in order on one frame, each from where the one before left the panes.
        QTest::newRow("num lock is on, but nothing says so before a key") << 0 << 0 << 0u << false << false;
        QTest::newRow("an ordinary key tells num on")
            << int(QEvent::KeyPress) << int(Qt::Key_A) << kMod2 << false << true;
        QTest::newRow("num lock's press does not toggle, it forgets")
            << int(QEvent::KeyPress) << int(Qt::Key_NumLock) << kMod2 << false << false;
        QTest::newRow("its release carries the new state")
            << int(QEvent::KeyRelease) << int(Qt::Key_NumLock) << kMod2 << false << true;
        QTest::newRow("the next key tells both")
            << int(QEvent::KeyRelease) << int(Qt::Key_B) << (kLock | kMod2) << true << true;
        QTest::newRow("caps lock's press blanks only caps")
            << int(QEvent::KeyPress) << int(Qt::Key_CapsLock) << (kLock | kMod2) << false << true;
        QTest::newRow("caps lock's release shows it at once")
            << int(QEvent::KeyRelease) << int(Qt::Key_CapsLock) << kMod2 << false << true;
        QTest::newRow("and on again")
            << int(QEvent::KeyRelease) << int(Qt::Key_CapsLock) << (kLock | kMod2) << true << true;
        QTest::newRow("and a key with neither clears both")
            << int(QEvent::KeyPress) << int(Qt::Key_C) << 0u << false << false;
    }
    void keys()
    {
        QFETCH(int, type);
        QFETCH(int, key);
        QFETCH(quint32, mods);
        QFETCH(bool, caps);
        QFETCH(bool, num);
        const KnownLocks& known = m_app->mainFrame()->findChild<LockPanes*>()->known();
        if (type == 0) {
            QCOMPARE(known, KnownLocks {});
        } else {
            QKeyEvent event(QEvent::Type(type), key, Qt::NoModifier, 0, 0, mods);
            QApplication::sendEvent(m_app->mainFrame()->windowHandle(), &event);
        }
        QCOMPARE(paneText("CAPS"), caps ? QStringLiteral("CAPS") : QString());
        QCOMPARE(paneText("NUM"), num ? QStringLiteral("NUM") : QString());
        QCOMPARE(paneText("SCRL"), QString()); // no modifier on Wayland: never known
        QVERIFY(!known[2].has_value());
    }

    // The shell matches the window to kolpex.desktop by its app id, whatever the binary is called.
    void appIdIsTheDesktopFile()
    {
        QTemporaryDir dir;
        // A copy under the installed name: a link would lend Qt the target's name as a default.
        const QString program = dir.filePath(QStringLiteral("kolpex-gui"));
        QVERIFY(QFile::copy(QStringLiteral(KOLPEX_APP_BIN), program));
        QProcess app;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("WAYLAND_DEBUG"), QStringLiteral("client")); // its requests on stderr
        env.insert(QStringLiteral("HOME"), dir.path());
        app.setProcessEnvironment(env);
        app.setWorkingDirectory(dir.path());
        app.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        app.start(program, {});
        QVERIFY(app.waitForStarted(5000));
        QByteArray requests;
        const QDeadlineTimer deadline(20'000);
        while (
            !requests.contains("set_app_id(") && !deadline.hasExpired() && app.state() == QProcess::Running) {
            app.waitForReadyRead(200);
            requests += app.readAllStandardError();
        }
        app.kill();
        app.waitForFinished(5000);
        const QByteArray wanted = "set_app_id(\"kolpex\")";
        const qsizetype at = requests.indexOf("set_app_id(");
        QVERIFY2(at >= 0, "the program set no app id");
        QCOMPARE(requests.mid(at, wanted.size()), wanted);
    }

    void cleanupTestCase() { m_app.reset(); }
};

int main(int argc, char** argv)
{
    RelaxStrictStringChecksForXkb(argv);
    QTemporaryDir runtime, configDir;
    QFile::setPermissions(
        runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_CONFIG_HOME", configDir.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    qputenv("WAYLAND_DISPLAY", "kolpex-test");
    QProcess weston;
    g_noCompositor = StartWeston(weston, runtime.path());
    qputenv("QT_QPA_PLATFORM", g_noCompositor.isEmpty() ? "wayland" : "offscreen");
    int status = 0;
    {
        QApplication application(argc, argv);
        TestWayland test;
        status = QTest::qExec(&test, argc, argv);
    }
    weston.terminate();
    weston.waitForFinished(5000);
    return status;
}
#include "tst_wayland.moc"
