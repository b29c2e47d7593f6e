// The installed launcher and the quote service it starts at the default address. The whole test
// runs in a network namespace of its own, so that its port 8765 is nobody else's and nothing it
// starts can reach past the loopback interface.

#include "support/installtree.h"
#include "support/serviceprocess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <net/if.h>
#include <sched.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr quint16 kDefaultPort = 8765;

std::string g_isolationFailure; // empty once the test runs in its own network

bool WriteProcFile(const char* path, const std::string& text)
{
    const int fd = ::open(path, O_WRONLY);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}

// A new network namespace with only a loopback interface, brought up. Must run before any thread
// exists: a user namespace (needed when not root) can only be entered by a single thread.
std::string EnterPrivateNetwork()
{
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (uid == 0) {
        if (::unshare(CLONE_NEWNET) != 0)
            return std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno);
    } else {
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
            return std::string("unshare(CLONE_NEWUSER | CLONE_NEWNET): ") + std::strerror(errno);
        if (!WriteProcFile("/proc/self/setgroups", "deny")
            || !WriteProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1")
            || !WriteProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
            return "cannot map the user into the new namespace";
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return std::string("socket: ") + std::strerror(errno);
    ifreq request {};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP;
    up = up && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    const int error = errno;
    ::close(fd);
    return up ? std::string() : std::string("bringing up lo: ") + std::strerror(error);
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& bytes, bool executable = false)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    return !executable || file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

bool DefaultPortAnswers()
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), kDefaultPort);
    return socket.waitForConnected(2000);
}

// A process that is gone, or a zombie nobody has reaped yet, is no longer running.
bool ProcessRuns(qint64 pid)
{
    const QByteArray stat = ReadAll(QStringLiteral("/proc/%1/stat").arg(pid));
    const int close = stat.lastIndexOf(')');
    return close > 0 && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

template <typename Condition> bool WaitFor(Condition condition, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    return true;
}

// One user of the installed program: a home, data, settings and runtime directory of their own.
struct User {
    QTemporaryDir root;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();

    User()
    {
        for (const char* sub : { "home", "data", "config", "run" })
            QDir(root.path()).mkdir(QString::fromLatin1(sub));
        QFile::setPermissions(
            path("run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        env.remove(QStringLiteral("KOLPEX_QUOTE_SERVICE"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), path("home"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), path("data"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path("config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path("run"));
        // offline: the service the launcher starts serves the simulated market, not the live default
        QDir(path("config")).mkdir(QStringLiteral("kolpex"));
        WriteFile(path("config") + QStringLiteral("/kolpex/quote-service.conf"), "source = simulated\n");
    }
    QString path(const char* name) const { return root.filePath(QString::fromLatin1(name)); }
    QString runtime(const char* name) const
    {
        return path("run") + QStringLiteral("/kolpex/") + QLatin1String(name);
    }
    qint64 servicePid() const { return ReadAll(runtime("quote-service.pid")).trimmed().toLongLong(); }
};

// A launcher asked to end forwards the signal to its program; a plain kill would leave that behind.
struct StopGently {
    void operator()(QProcess* process) const
    {
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(5000)) {
                process->kill();
                process->waitForFinished();
            }
        }
        delete process;
    }
};
using Launched = std::unique_ptr<QProcess, StopGently>;

} // namespace

class TestLauncher final : public QObject {
    Q_OBJECT

private:
    InstalledTree m_tree;

    Launched startLauncher(const QProcessEnvironment& env, const QStringList& args = {}) const
    {
        Launched process(new QProcess);
        process->setProcessEnvironment(env);
        process->setWorkingDirectory(QDir::tempPath());
        process->start(m_tree.launcher(), args);
        return process;
    }

    static bool finish(QProcess& process, int ms = 60000)
    {
        if (process.waitForFinished(ms))
            return process.exitStatus() == QProcess::NormalExit;
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished();
        return false;
    }

    // The real program, told to open one quote window and to end after a look at it.
    static void scriptQuoteWindow(User& user, const QString& picture)
    {
        const QString script = user.path("demo.txt");
        QVERIFY(WriteFile(
            script, "quote US:MSFT\nwait 1000\nscreenshot " + QFile::encodeName(picture) + "\nquit\n"));
        user.env.insert(QStringLiteral("KOLPEX_DEMO_SCRIPT"), script);
    }

    // A stand-in for the program that stays until its release file appears.
    static void fakeProgram(User& user)
    {
        const QString gui = user.path("fake-gui");
        QVERIFY(WriteFile(gui,
            "#!/bin/sh\necho $$ >\"$HOME/started\"\n"
            "i=0; while [ ! -e \"$HOME/release\" ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i+1)); done\n",
            true));
        user.env.insert(QStringLiteral("KOLPEX_GUI_BINARY"), gui);
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!g_isolationFailure.empty())
            QSKIP(qPrintable(QStringLiteral("no private network namespace (%1); the default port may be "
                                            "another program's")
                                 .arg(QString::fromStdString(g_isolationFailure))));
        const QString failure = m_tree.install();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QVERIFY2(!DefaultPortAnswers(), "something already listens on the default port");
    }

    void init() { QVERIFY(!DefaultPortAnswers()); }

    void startsServiceForTheProgram()
    {
        User user;
        const QString picture = user.path("first.png");
        scriptQuoteWindow(user, picture);
        auto launcher = startLauncher(user.env);

        // The service is up, and named in the pid file, while the program runs.
        QVERIFY(WaitFor(
            [&] { return user.servicePid() > 0 || launcher->state() == QProcess::NotRunning; }, 20000));
        const qint64 pid = user.servicePid();
        QVERIFY2(pid > 0, launcher->readAllStandardError().constData());
        QVERIFY(ProcessRuns(pid));

        QVERIFY(finish(*launcher));
        const QByteArray err = launcher->readAllStandardError();
        // The demo script fails when the quote window cannot get its quote.
        QVERIFY2(launcher->exitCode() == 0, err.constData());
        QVERIFY2(!err.contains("demo script"), err.constData());
        QVERIFY(QFileInfo(picture).size() > 0);
        const QByteArray log = ReadAll(user.runtime("quote-service.log"));
        QVERIFY2(log.startsWith("listening on http://127.0.0.1:8765\n"), log.constData());
        QVERIFY2(log.contains("GET /detail/stock_quote?Symbol=US:MSFT 200"), log.constData());

        // ... and gone with it.
        QVERIFY(WaitFor([&] { return !ProcessRuns(pid); }, 5000));
        QVERIFY(!DefaultPortAnswers());
        QVERIFY(!QFileInfo::exists(user.runtime("quote-service.pid")));
    }

    void usesAndLeavesARunningService()
    {
        QuoteServiceProcess service;
        QVERIFY2(service.start({}, kDefaultPort, false), qPrintable(service.error()));
        User user;
        scriptQuoteWindow(user, user.path("first.png"));
        auto launcher = startLauncher(user.env);
        QVERIFY(finish(*launcher));
        QVERIFY2(launcher->exitCode() == 0, launcher->readAllStandardError().constData());

        QVERIFY(!QFileInfo::exists(user.runtime("quote-service.log"))); // none of its own started
        QVERIFY(!QFileInfo::exists(user.runtime("quote-service.pid")));
        QVERIFY(service.running());
        QVERIFY(DefaultPortAnswers());
        QVERIFY(service.stop());
        QVERIFY2(service.output().contains("GET /detail/stock_quote?Symbol=US:MSFT 200"),
            service.output().constData());
    }

    // Two launchers end with one service, kept until the last of them ends, whichever started it.
    void twoLaunchersShareOneService_data()
    {
        QTest::addColumn<bool>("together");
        QTest::newRow("started together") << true;
        QTest::newRow("second while the first runs") << false;
    }

    void twoLaunchersShareOneService()
    {
        QFETCH(bool, together);
        User user;
        fakeProgram(user);
        // Both users of one account: one runtime directory, two homes to tell the programs apart.
        QProcessEnvironment second = user.env;
        const QString secondHome = user.path("home2");
        QVERIFY(QDir().mkpath(secondHome));
        second.insert(QStringLiteral("HOME"), secondHome);

        auto first = startLauncher(user.env);
        if (!together)
            QVERIFY(WaitFor(
                [&] { return QFileInfo::exists(user.path("home") + QStringLiteral("/started")); }, 20000));
        auto other = startLauncher(second);
        QVERIFY(WaitFor(
            [&] {
                return QFileInfo::exists(user.path("home") + QStringLiteral("/started"))
                    && QFileInfo::exists(secondHome + QStringLiteral("/started"));
            },
            30000));

        const qint64 pid = user.servicePid();
        QVERIFY(pid > 0 && ProcessRuns(pid));
        const QByteArray log = ReadAll(user.runtime("quote-service.log"));
        QCOMPARE(log.count("listening on "), 1);
        QVERIFY2(!log.contains("cannot listen"), log.constData());

        // The first one out leaves the service to the other.
        QVERIFY(WriteFile(user.path("home") + QStringLiteral("/release"), {}));
        QVERIFY(finish(*first, 20000));
        QCOMPARE(first->exitCode(), 0);
        QVERIFY(ProcessRuns(pid));
        QVERIFY(DefaultPortAnswers());

        QVERIFY(WriteFile(secondHome + QStringLiteral("/release"), {}));
        QVERIFY(finish(*other, 20000));
        QCOMPARE(other->exitCode(), 0);
        QVERIFY(WaitFor([&] { return !ProcessRuns(pid); }, 5000));
        QVERIFY(!DefaultPortAnswers());
    }

    // Logging out ends the launcher with a signal: the program and the service end with it.
    void signalEndsProgramAndService()
    {
        User user;
        fakeProgram(user);
        auto launcher = startLauncher(user.env);
        const QString started = user.path("home") + QStringLiteral("/started");
        QVERIFY(WaitFor([&] { return ReadAll(started).trimmed().toLongLong() > 0; }, 20000));
        const qint64 program = ReadAll(started).trimmed().toLongLong();
        const qint64 service = user.servicePid();
        QVERIFY(service > 0 && ProcessRuns(service) && ProcessRuns(program));

        launcher->terminate();
        QVERIFY(launcher->waitForFinished(20000));
        QVERIFY(WaitFor([&] { return !ProcessRuns(program) && !ProcessRuns(service); }, 5000));
        QVERIFY(!DefaultPortAnswers());
    }

    // The command-line tool through the launcher's service start, and past it when a service is
    // named.
    void commandWithService()
    {
        User user;
        auto launcher = startLauncher(user.env,
            { QStringLiteral("--with-service"), QStringLiteral("kolpex-quote"), QStringLiteral("fetch"),
                QStringLiteral("US:MSFT") });
        QVERIFY(finish(*launcher));
        const QByteArray out = launcher->readAllStandardOutput();
        QVERIFY2(launcher->exitCode() == 0, launcher->readAllStandardError().constData());
        QVERIFY2(out.contains("Microsoft"), out.constData());
        QVERIFY(ReadAll(user.runtime("quote-service.log")).contains("Symbol=US:MSFT 200"));
        QVERIFY(WaitFor([] { return !DefaultPortAnswers(); }, 5000));

        QuoteServiceProcess named;
        QVERIFY2(named.start({}, 0, false), qPrintable(named.error()));
        QVERIFY(QFile::remove(user.runtime("quote-service.log")));
        user.env.insert(QStringLiteral("KOLPEX_QUOTE_SERVICE"), QString::fromLatin1(named.url()));
        launcher = startLauncher(user.env,
            { QStringLiteral("--with-service"), QStringLiteral("kolpex-quote"), QStringLiteral("fetch"),
                QStringLiteral("US:AAPL") });
        QVERIFY(finish(*launcher));
        QCOMPARE(launcher->exitCode(), 0);
        QVERIFY(!QFileInfo::exists(user.runtime("quote-service.log")));
        QVERIFY(named.stop());
        QVERIFY2(named.output().contains("Symbol=US:AAPL 200"), named.output().constData());
    }

    // Without a service to start the program still runs, and says why quotes will not come.
    void missingServiceIsReported()
    {
        User user;
        fakeProgram(user);
        QVERIFY(WriteFile(user.path("home") + QStringLiteral("/release"), {}));
        QTemporaryDir lone;
        const QString launcher = lone.filePath(QStringLiteral("kolpex"));
        QVERIFY(QFile::copy(m_tree.launcher(), launcher));
        QProcess process;
        process.setProcessEnvironment(user.env);
        process.start(launcher);
        QVERIFY(finish(process));
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(QFileInfo::exists(user.path("home") + QStringLiteral("/started")));
        const QByteArray err = process.readAllStandardError();
        QVERIFY2(err.contains("kolpex-quote-service is missing"), err.constData());
    }
};

int main(int argc, char** argv)
{
    g_isolationFailure = EnterPrivateNetwork();
    QCoreApplication app(argc, argv);
    TestLauncher test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_launcher.moc"
