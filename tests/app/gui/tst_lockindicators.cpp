// The CAPS, NUM and SCRL panes: the rule for each key event, and, on an X server of the test's
// own, the state a lock already has when the program starts and the correction by key events.
#include "app/kolpexapp.h"
#include "app/lockindicators.h"
#include "app/mainframe.h"
#include "platform/gui/x11keyboard.h"
#include "platform/notifier.h"
#include "shelltestviews.h"
#include "support/asanxkb.h"
#include "support/ownxserver.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>

Q_DECLARE_METATYPE(LockStates)

namespace {

constexpr std::uint32_t kLock = 1u << 1;
constexpr std::uint32_t kMod2 = 1u << 4;

bool g_ownXServer = false;

// Locks or unlocks Caps Lock on the X server the program talks to, as the key would.
bool SetServerCapsLock(bool on)
{
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* native = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    void* handle = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
    if (!native || !handle)
        return false;
    using LockModifiers = int (*)(void*, unsigned int, unsigned int, unsigned int);
    using Sync = int (*)(void*, int);
    auto lock = reinterpret_cast<LockModifiers>(dlsym(handle, "XkbLockModifiers"));
    auto sync = reinterpret_cast<Sync>(dlsym(handle, "XSync"));
    if (!lock || !sync)
        return false;
    const unsigned int useCoreKeyboard = 0x0100;
    const bool sent = lock(native->display(), useCoreKeyboard, kLock, on ? kLock : 0) != 0;
    sync(native->display(), 0);
    return sent;
}

LockStates L(bool caps, bool num, bool scroll)
{
    return { caps, num, scroll };
}

} // namespace

class TestLockIndicators final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void afterKey_data()
    {
        QTest::addColumn<LockStates>("shown");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("press");
        QTest::addColumn<bool>("autoRepeat");
        QTest::addColumn<int>("x11State"); // -1: not from X11
        QTest::addColumn<bool>("serverTells");
        QTest::addColumn<LockStates>("server");
        QTest::addColumn<LockStates>("expected");
        const LockStates none = L(false, false, false);
        QTest::newRow("caps press counts")
            << none << int(Qt::Key_CapsLock) << true << false << -1 << false << none << L(true, false, false);
        QTest::newRow("caps repeat does not") << L(true, false, false) << int(Qt::Key_CapsLock) << true
                                              << true << -1 << false << none << L(true, false, false);
        QTest::newRow("caps release does not") << L(true, false, false) << int(Qt::Key_CapsLock) << false
                                               << false << -1 << false << none << L(true, false, false);
        QTest::newRow("scroll press turns it off") << L(false, false, true) << int(Qt::Key_ScrollLock) << true
                                                   << false << -1 << false << none << none;
        QTest::newRow("the server knows better")
            << none << int(Qt::Key_NumLock) << true << false << int(kMod2) << true << L(true, true, false)
            << L(true, true, false);
        QTest::newRow("a lock key's own state is from before it")
            << none << int(Qt::Key_CapsLock) << false << false << int(kLock) << true << none << none;
        QTest::newRow("an ordinary key's state corrects caps and num")
            << L(false, false, true) << int(Qt::Key_A) << true << false << int(kLock | kMod2) << false << none
            << L(true, true, true);
        QTest::newRow("and clears them")
            << L(true, true, false) << int(Qt::Key_A) << false << false << 0 << false << none << none;
        QTest::newRow("other bits mean nothing")
            << none << int(Qt::Key_A) << true << false << int(1 | 4 | 8 | 64) << false << none << none;
        QTest::newRow("no X11: an ordinary key changes nothing")
            << L(true, false, true) << int(Qt::Key_A) << true << false << -1 << false << none
            << L(true, false, true);
    }

    void afterKey()
    {
        QFETCH(LockStates, shown);
        QFETCH(int, key);
        QFETCH(bool, press);
        QFETCH(bool, autoRepeat);
        QFETCH(int, x11State);
        QFETCH(bool, serverTells);
        QFETCH(LockStates, server);
        QFETCH(LockStates, expected);
        LockKeyEvent event;
        event.key = key;
        event.press = press;
        event.autoRepeat = autoRepeat;
        if (x11State >= 0)
            event.x11State = static_cast<std::uint32_t>(x11State);
        const LockStates got
            = LockStatesAfterKey(shown, event, serverTells ? std::optional(server) : std::nullopt);
        QCOMPARE(got, expected);
    }

    // Caps Lock on before the program starts shows at once; key events then keep the panes true.
    void onAnXServer()
    {
        if (!g_ownXServer)
            QSKIP("no X server of the test's own could be started (Xvfb missing)");
        QVERIFY(SetServerCapsLock(true));
        const std::optional<LockStates> server = x11::LockIndicators();
        QVERIFY(server && (*server)[0]);

        RecordingNotifier notifier;
        g_pendingListKind = 1;
        CKolpexApp app(notifier, QuoteTestViews(), ListTestViews());
        QVERIFY(app.InitInstance());
        CMainFrame* frame = app.mainFrame();
        QCOMPARE(frame->lockPanes(), *server);
        auto* caps = frame->findChild<QLabel*>(QStringLiteral("CAPS"));
        QVERIFY(caps);
        QCOMPARE(caps->text(), QStringLiteral("CAPS"));
        QVERIFY(SetServerCapsLock(false));

        frame->activateWindow();
        if (!QTest::qWaitForWindowActive(frame))
            QSKIP("the frame does not get the keyboard on this X server");
        QWindow* window = frame->windowHandle();
        QKeyEvent plain(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, 38, 'a', 0, QStringLiteral("a"));
        QApplication::sendEvent(window, &plain);
        QCOMPARE(frame->lockPanes()[0], false);
        QCOMPARE(caps->text(), QString());
        QKeyEvent locked(
            QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, 38, 'a', kLock | kMod2, QStringLiteral("a"));
        QApplication::sendEvent(window, &locked);
        QCOMPARE(frame->lockPanes()[0], true);
        QCOMPARE(frame->lockPanes()[1], true);
    }
};

int main(int argc, char** argv)
{
    RelaxStrictStringChecksForXkb(argv);
    // An X server of our own, so that the lock state is ours to set and nobody else's display is
    // touched; without Xvfb the rule rows still run, offscreen.
    OwnXServer server;
    g_ownXServer = server.start();
    if (!g_ownXServer)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir configDir;
    qputenv("XDG_CONFIG_HOME", configDir.path().toLocal8Bit());
    int status = 0;
    {
        QApplication application(argc, argv);
        TestLockIndicators test;
        status = QTest::qExec(&test, argc, argv);
    }
    return status;
}
#include "tst_lockindicators.moc"
