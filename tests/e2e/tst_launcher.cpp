// The installed launcher and the quote service it starts for each run, in a network namespace of
// its own so that 127.0.0.1:8765 (where a squatter listens) is nobody else's. As root the namespace
// keeps every account, so that another one can try its worst on a user's service.

#include "support/installtree.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUrl>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr quint16 kSquattedPort = 8765; // where the launcher's service once sat, for every account
const QByteArray kQuote = "/detail/stock_quote?Symbol=US:MSFT";

// Set in the copy of the test that runs in a network namespace of its own.
const char* const kIsolated = "KOLPEX_TEST_NETWORK_ISOLATED";

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& bytes, bool executable = false)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size()
        && file.flush() && (!executable || file.setPermissions(file.permissions() | QFileDevice::ExeOwner));
}

// Fields of /proc/PID/stat after the command name: state, parent, ...
QList<QByteArray> StatFields(qint64 pid)
{
    const QByteArray stat = ReadAll(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype close = stat.lastIndexOf(')');
    return close < 0 ? QList<QByteArray>() : stat.mid(close + 2).split(' ');
}

// A zombie nobody has reaped yet no longer runs.
bool ProcessRuns(qint64 pid)
{
    const QList<QByteArray> fields = StatFields(pid);
    return pid > 0 && !fields.isEmpty() && fields[0] != "Z";
}

// The running kolpex-quote-service whose parent is `parent`, or 0.
qint64 ServiceOf(qint64 parent)
{
    for (const QString& name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const qint64 pid = name.toLongLong();
        const QList<QByteArray> fields = StatFields(pid);
        if (fields.size() > 1 && fields[0] != "Z" && fields[1].toLongLong() == parent
            && QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid))
                   .symLinkTarget()
                   .endsWith(QLatin1String("/kolpex-quote-service")))
            return pid;
    }
    return 0;
}

// Events are processed meanwhile, so that a QProcess notices its end.
template <typename Condition> bool WaitFor(Condition condition, int ms, int stepMs = 20)
{
    for (const QDeadlineTimer deadline(ms); !condition(); QCoreApplication::processEvents()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(stepMs);
    }
    return true;
}

// A process that may have ended while events were processed: waitForFinished() is false then.
bool Ended(QProcess& process, int ms)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(ms);
}

// The status of a GET on a service's Unix socket, 0 when no answer came.
int GetStatus(const QString& socketPath, const QByteArray& target)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(3000))
        return 0;
    socket.write("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    QByteArray answer;
    const QDeadlineTimer deadline(10000);
    while (!answer.contains("\r\n") && !deadline.hasExpired()
        && socket.waitForReadyRead(int(deadline.remainingTime())))
        answer += socket.readAll();
    return answer.startsWith("HTTP/1.1 ") ? answer.mid(9, 3).toInt() : 0;
}

// One user of the installed program: a home, data, settings, state and runtime directory of their
// own, settings that ask for the simulated market (nothing here reaches a provider), and a stand-in
// for the program that records its address and stays until its release file appears.
struct User {
    QTemporaryDir root;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();

    User()
    {
        for (const char* sub : { "home", "data", "config/kolpex", "state", "run" })
            QDir(root.path()).mkpath(QString::fromLatin1(sub));
        QFile::setPermissions(
            path("run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        WriteFile(path("config/kolpex/quote-service.conf"), "source = simulated\n");
        WriteFile(path("fake-program"),
            // Ctrl+C: one more quote on the way out, which its service has to be there for.
            "#!/bin/sh\ntrap '\"$KOLPEX_QUOTE_TOOL\" fetch US:MSFT >\"$HOME/last-$1\" 2>&1; trap - INT; kill "
            "-INT $$' INT\n"
            "echo \"$$ $KOLPEX_QUOTE_SERVICE\" >\"$HOME/started-$1.new\"\n"
            "mv \"$HOME/started-$1.new\" \"$HOME/started-$1\"\n"
            "i=0; while [ ! -e \"$HOME/release-$1\" ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i+1)); done\n"
            "exit 3\n",
            true);
        for (const char* name : { "KOLPEX_QUOTE_SERVICE", "DISPLAY", "WAYLAND_DISPLAY" })
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        for (const auto& [name, dir] : { std::pair { "HOME", "home" }, { "XDG_DATA_HOME", "data" },
                 { "XDG_CONFIG_HOME", "config" }, { "XDG_STATE_HOME", "state" }, { "XDG_RUNTIME_DIR", "run" },
                 { "KOLPEX_GUI_BINARY", "fake-program" } })
            env.insert(QString::fromLatin1(name), path(dir));
    }
    QString path(const char* name) const { return root.filePath(QString::fromLatin1(name)); }
    QString home(const QString& name) const { return path("home") + QLatin1Char('/') + name; }
    QByteArray log() const { return ReadAll(path("state/kolpex/quote-service.log")); }
};

// A launcher asked to end forwards the signal to its program; a plain kill would leave that behind.
struct StopGently {
    void operator()(QProcess* process) const
    {
        process->terminate();
        if (process->state() != QProcess::NotRunning && !process->waitForFinished(5000))
            process->kill();
        process->waitForFinished();
        delete process;
    }
};
using Launched = std::unique_ptr<QProcess, StopGently>;

// One launcher with the stand-in program, seen from outside.
struct Run {
    User* user = nullptr;
    QString tag;
    Launched launcher;
    qint64 program = 0;
    qint64 service = 0;
    QUrl url;
    QString socketPath;

    qint64 pid() const { return launcher->processId(); }
    // The stand-in has said where its service is, and the service is the launcher's child.
    bool started()
    {
        const QList<QByteArray> words
            = ReadAll(user->home(QStringLiteral("started-") + tag)).trimmed().split(' ');
        if (words.size() != 2)
            return false;
        program = words[0].toLongLong();
        url = QUrl(QString::fromLatin1(words[1]));
        const qsizetype slash = words[1].indexOf('/', qsizetype(std::strlen("http+unix://")));
        socketPath = QUrl::fromPercentEncoding(words[1].mid(12, slash - 12));
        service = ServiceOf(pid());
        return program > 0 && service > 0;
    }
    QByteArray quoteTarget() const { return url.path().toLatin1() + kQuote; }
    int quoteStatus() const { return GetStatus(socketPath, quoteTarget()); }
    bool release() const { return WriteFile(user->home(QStringLiteral("release-") + tag), {}); }
};

// CtrlC: SIGINT to the launcher's process group, as a terminal sends it; TermLauncher: as at logout.
enum Action {
    Exit,
    CtrlC,
    TermLauncher,
    KillProgram,
    CrashProgram,
    KillLauncher,
    KillService,
    Unprefixed,
    InterruptStart,
    Crowd
};

} // namespace

class TestLauncher final : public QObject {
    Q_OBJECT

private:
    InstalledTree m_tree;

    // In a process group of its own, like a command started from a shell's prompt.
    Launched startLauncher(
        const QProcessEnvironment& env, const QStringList& args, QString program = {}) const
    {
        Launched process(new QProcess);
        process->setProcessEnvironment(env);
        process->setWorkingDirectory(QDir::tempPath());
        process->setChildProcessModifier([] { ::setpgid(0, 0); });
        process->start(program.isEmpty() ? m_tree.launcher() : program, args);
        process->waitForStarted();
        return process;
    }

    Run startRun(User& user, const QString& tag, bool withService = false, const QString& program = {}) const
    {
        const QStringList args { QStringLiteral("--with-service"), user.path("fake-program"), tag };
        QProcessEnvironment env = user.env;
        env.insert(QStringLiteral("KOLPEX_QUOTE_TOOL"), m_tree.bin(QStringLiteral("kolpex-quote")));
        return Run { &user, tag, startLauncher(env, withService ? args : QStringList { tag }, program), 0, 0,
            {}, {} };
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!qEnvironmentVariableIsSet(kIsolated))
            QSKIP("no private network namespace (unshare -rn); 127.0.0.1:8765 may be another program's");
        const QString failure = m_tree.install();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }

    // Every run gets a service of its own that ends with its program however that ends, leaving any
    // other run's service alone.
    void serviceOfItsOwn_data()
    {
        QTest::addColumn<QString>("users"); // one letter per run: the same letter, the same user
        QTest::addColumn<bool>("withService"); // kolpex --with-service instead of the program
        QTest::addColumn<int>("action"); // what happens to the first run
        QTest::newRow("program exits") << "A" << false << int(Exit);
        QTest::newRow("command exits") << "A" << true << int(Exit);
        QTest::newRow("Ctrl+C") << "A" << false << int(CtrlC);
        QTest::newRow("Ctrl+C on a command") << "A" << true << int(CtrlC);
        QTest::newRow("SIGTERM to the launcher") << "A" << false << int(TermLauncher);
        QTest::newRow("SIGKILL of the program") << "A" << false << int(KillProgram);
        QTest::newRow("program crashes") << "A" << false << int(CrashProgram);
        QTest::newRow("another account crowds the service") << "A" << false << int(Crowd);
        QTest::newRow("SIGKILL of the launcher") << "A" << false << int(KillLauncher);
        QTest::newRow("killed service comes back") << "A" << false << int(KillService);
        QTest::newRow("request without the prefix") << "A" << false << int(Unprefixed);
        QTest::newRow("Ctrl+C while the service starts") << "A" << false << int(InterruptStart);
        QTest::newRow("two users, one exits") << "AB" << false << int(Exit);
        QTest::newRow("two users, one killed") << "AB" << false << int(KillLauncher);
        QTest::newRow("two runs of a user, Ctrl+C on one") << "AA" << false << int(CtrlC);
        QTest::newRow("two commands of a user, one's service killed") << "AA" << true << int(KillService);
    }

    void serviceOfItsOwn()
    {
        QFETCH(QString, users);
        QFETCH(bool, withService);
        QFETCH(int, action);
        if (action == Crowd && ::geteuid() != 0)
            QSKIP("another account needs root to switch to");
        User a, b;
        std::vector<Run> runs;
        for (qsizetype i = 0; i < users.size(); ++i)
            runs.push_back(
                startRun(users[i] == QLatin1Char('A') ? a : b, QStringLiteral("run%1").arg(i), withService));
        Run& first = runs.front();

        if (action == InterruptStart) {
            qint64 service = 0;
            QVERIFY(WaitFor([&] { return (service = ServiceOf(first.pid())) > 0; }, 20000, 1));
            QCOMPARE(::kill(-pid_t(first.pid()), SIGINT), 0);
            QVERIFY(Ended(*first.launcher, 10000));
            QCOMPARE(first.launcher->exitStatus(), QProcess::CrashExit); // ended by the signal
            QVERIFY(WaitFor([&] { return !ProcessRuns(service); }, 5000));
            QVERIFY(!QFileInfo::exists(a.home(QStringLiteral("started-run0"))));
            return;
        }

        for (Run& run : runs) {
            QVERIFY2(
                WaitFor([&] { return run.started() || run.launcher->state() == QProcess::NotRunning; }, 30000)
                    && run.launcher->state() == QProcess::Running,
                run.launcher->readAllStandardError().constData());
            // a socket in a directory of the user's own that no one else may enter
            QVERIFY2(run.url.scheme() == QLatin1String("http+unix")
                    && run.socketPath.startsWith(run.user->path("run") + QLatin1String("/kolpex-")),
                qPrintable(run.socketPath));
            QCOMPARE(QFileInfo(QFileInfo(run.socketPath).path()).permissions() & 0x0077, 0);
            // /dev/null as its standard input, and no other copy but those the launcher had itself
            const auto nulls = [](qint64 pid) {
                QStringList fds;
                for (const QFileInfo& fd :
                    QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryInfoList(QDir::System))
                    if (fd.symLinkTarget() == QLatin1String("/dev/null"))
                        fds << fd.fileName();
                return fds;
            };
            const QStringList own = nulls(run.service);
            QVERIFY(own.contains(QStringLiteral("0")));
            for (const QString& fd : own)
                QVERIFY2(fd == QLatin1String("0") || nulls(run.pid()).contains(fd), qPrintable(fd));
            QVERIFY2(QByteArray::fromHex(run.url.path().mid(1).toLatin1()).size() >= 16,
                qPrintable(run.url.path()));
            QCOMPARE(run.quoteStatus(), 200);
        }
        if (runs.size() == 2)
            QVERIFY(runs[0].service != runs[1].service && runs[0].socketPath != runs[1].socketPath
                && runs[0].url.path() != runs[1].url.path());

        const qint64 launcher = first.pid();
        switch (Action(action)) {
        case Exit:
            QVERIFY(first.release());
            QVERIFY(Ended(*first.launcher, 20000));
            QCOMPARE(first.launcher->exitStatus(), QProcess::NormalExit);
            QCOMPARE(first.launcher->exitCode(), 3); // the program's own status
            break;
        case CtrlC:
            QCOMPARE(::kill(-pid_t(launcher), SIGINT), 0);
            // the program ends first, the service last: a quote on the program's way out is answered
            QVERIFY(WaitFor([&] { return !ProcessRuns(first.program); }, 10000));
            QVERIFY2(ReadAll(first.user->home(QStringLiteral("last-") + first.tag)).startsWith("Microsoft"),
                ReadAll(first.user->home(QStringLiteral("last-") + first.tag)).constData());
            break;
        case TermLauncher:
            QCOMPARE(::kill(pid_t(launcher), SIGTERM), 0);
            break;
        case KillProgram:
            QCOMPARE(::kill(pid_t(first.program), SIGKILL), 0);
            QVERIFY(WaitFor([&] { return !ProcessRuns(first.service); }, 1000));
            break;
        case CrashProgram:
            QCOMPARE(::kill(pid_t(first.program), SIGSEGV), 0);
            QVERIFY(Ended(*first.launcher, 10000));
            QCOMPARE(first.launcher->exitStatus(), QProcess::NormalExit); // said, not repeated
            QCOMPARE(first.launcher->exitCode(), 128 + SIGSEGV);
            QVERIFY(first.launcher->readAllStandardError().contains("was killed by signal 11"));
            break;
        case Crowd: {
            // Idle connections and unread pipelines from another account, then the owner's quote.
            QProcess crowd;
            // the script as an argument: nobody may not be able to read this tree
            crowd.start(QStringLiteral("setpriv"),
                { QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                    QStringLiteral("--clear-groups"), QStringLiteral("/usr/bin/python3"),
                    QStringLiteral("-c"),
                    QString::fromUtf8(
                        ReadAll(QStringLiteral(KOLPEX_SOURCE_DIR "/tests/e2e/scripts/crowd.py"))) });
            QVERIFY(
                WaitFor([&] { return crowd.canReadLine() || crowd.state() == QProcess::NotRunning; }, 30000));
            const QByteArray report = crowd.readLine();
            QVERIFY2(report.startsWith("ready "), (report + crowd.readAllStandardError()).constData());
            QVERIFY2(report.contains(" found 1 connected 0 tcp 0 "), report.constData());
            QElapsedTimer owner;
            owner.start();
            QCOMPARE(first.quoteStatus(), 200);
            QVERIFY2(owner.elapsed() < 1000, qPrintable(QString::number(owner.elapsed())));
            crowd.closeWriteChannel();
            QVERIFY(crowd.waitForFinished(10000));
            QVERIFY(first.release());
            break;
        }
        case KillLauncher:
            QCOMPARE(::kill(pid_t(launcher), SIGKILL), 0);
            break;
        case KillService: {
            const qint64 killed = first.service;
            QCOMPARE(::kill(pid_t(killed), SIGKILL), 0);
            QVERIFY(WaitFor(
                [&] { return (first.service = ServiceOf(launcher)) > 0 && first.service != killed; }, 5000));
            QCOMPARE(first.quoteStatus(), 200); // at the same address
            QVERIFY(ProcessRuns(first.program));
            QVERIFY(first.release());
            break;
        }
        case Unprefixed: {
            QCOMPARE(GetStatus(first.socketPath, kQuote), 404);
            QCOMPARE(GetStatus(first.socketPath, '/' + QByteArray(32, '0') + kQuote), 404);
            QCOMPARE(first.quoteStatus(), 200);
            QVERIFY(first.release());
            break;
        }
        case InterruptStart:
            break;
        }

        // Nothing of the first run is left, in time.
        QVERIFY(Ended(*first.launcher, 10000));
        if (action == CtrlC || action == TermLauncher)
            QCOMPARE(first.launcher->exitStatus(), QProcess::CrashExit); // ended by the signal
        QVERIFY(WaitFor([&] { return !ProcessRuns(first.program) && !ProcessRuns(first.service); }, 5000));
        if (action != KillLauncher) // SIGKILL leaves the socket to the runtime directory's end
            QVERIFY(WaitFor([&] { return !QFileInfo::exists(QFileInfo(first.socketPath).path()); }, 5000));
        const QByteArray log = first.user->log();
        if (action == Unprefixed)
            QVERIFY2(log.contains(" 404 ") && log.contains("outside the path prefix"), log.constData());
        QVERIFY2(!log.contains(first.url.path().toLatin1()), "the log shows the path prefix");

        // ... and the other run never noticed.
        if (runs.size() == 2) {
            Run& other = runs.back();
            QVERIFY(ProcessRuns(other.service) && ProcessRuns(other.program));
            QCOMPARE(other.quoteStatus(), 200);
            QVERIFY(other.release());
            QVERIFY(Ended(*other.launcher, 20000));
            QCOMPARE(other.launcher->exitCode(), 3);
            QVERIFY(WaitFor([&] { return !ProcessRuns(other.service); }, 5000));
        }
    }

    // The real program's quote window gets its quote from its own service, never from whatever
    // listens where the shared service once was.
    void squatterIsNeverContacted()
    {
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress(QStringLiteral("127.0.0.1")), kSquattedPort));
        User user;
        user.env.remove(QStringLiteral("KOLPEX_GUI_BINARY"));
        const QString picture = user.path("quote.png");
        QVERIFY(WriteFile(user.path("demo.txt"),
            "quote US:MSFT\nwait 1000\nscreenshot " + QFile::encodeName(picture) + "\nquit\n"));
        user.env.insert(QStringLiteral("KOLPEX_DEMO_SCRIPT"), user.path("demo.txt"));
        Launched launcher = startLauncher(user.env, {});
        QVERIFY(launcher->waitForFinished(60000));
        const QByteArray err = launcher->readAllStandardError();
        // The demo script fails when the quote window cannot get its quote.
        QVERIFY2(
            launcher->exitStatus() == QProcess::NormalExit && launcher->exitCode() == 0, err.constData());
        QVERIFY2(!err.contains("demo script"), err.constData());
        QVERIFY(QFileInfo(picture).size() > 0);
        QVERIFY2(user.log().contains("GET /detail/stock_quote?Symbol=US:MSFT 200"), user.log().constData());
        QVERIFY(!squatter.waitForNewConnection(0));
    }

    // Settings the service cannot start with: said once where the user looks, without a usage text,
    // the service not started again, and the command's quote told the reason.
    void settingsFailureIsSaidOnce()
    {
        User user;
        QVERIFY(WriteFile(user.path("config/kolpex/quote-service.conf"), "source = yahooo\n"));
        Launched launcher = startLauncher(user.env,
            { QStringLiteral("--with-service"), QStringLiteral("kolpex-quote"), QStringLiteral("fetch"),
                QStringLiteral("US:MSFT") });
        QVERIFY(Ended(*launcher, 30000));
        QCOMPARE(launcher->exitCode(), 1);
        const QByteArray err = launcher->readAllStandardError();
        const QByteArray reason
            = QFile::encodeName(user.path("config/kolpex/quote-service.conf")) + ":1: unknown source: yahooo";
        QVERIFY2(err.count("kolpex: the quote service cannot start: " + reason) == 1, err.constData());
        QVERIFY2(
            err.contains("kolpex-quote: the quote service says: the quote service cannot start: " + reason),
            err.constData());
        QVERIFY2(!err.contains("usage") && !err.contains("No Internet connection"), err.constData());
        QCOMPARE(user.log().count("kolpex: the quote service exited with status 2"), 1);
    }

    // Without a service program the launcher says so; the program still runs, and its quotes are
    // turned away at once rather than left to time out.
    void missingServiceIsReported()
    {
        User user;
        QTemporaryDir lone;
        QVERIFY(QDir().mkpath(lone.filePath(QStringLiteral("bin"))));
        const QString launcher = lone.filePath(QStringLiteral("bin/kolpex"));
        QVERIFY(QFile::copy(m_tree.launcher(), launcher));
        QVERIFY(QFile::link(m_tree.libexec(), lone.filePath(QStringLiteral("libexec"))));
        QVERIFY(QFile::link(m_tree.data(), lone.filePath(QStringLiteral("share"))));
        Run run = startRun(user, QStringLiteral("run0"), false, launcher);
        QVERIFY(WaitFor([&] { return QFileInfo::exists(user.home(QStringLiteral("started-run0"))); }, 30000));
        QVERIFY(!run.started()); // no service
        QCOMPARE(run.quoteStatus(), 0);
        QVERIFY(run.release());
        QVERIFY(Ended(*run.launcher, 20000));
        QCOMPARE(run.launcher->exitCode(), 3);
        const QByteArray err = run.launcher->readAllStandardError();
        QVERIFY2(err.contains("kolpex-quote-service is missing"), err.constData());
    }
};

int main(int argc, char** argv)
{
    // Once more in a network namespace with only loopback, up, the way test.sh isolates a stage.
    // As root without a user namespace, so that the user nobody is there too.
    const char* unshare = ::geteuid() == 0 ? "-n" : "-rn";
    if (!::getenv(kIsolated)
        && std::system((std::string("unshare ") + unshare + " true 2>/dev/null").c_str()) == 0) {
        ::setenv(kIsolated, "1", 1);
        std::vector<const char*> args { "unshare", unshare, "sh", "-c",
            "ip link set lo up && exec \"$0\" \"$@\"" };
        args.insert(args.end(), argv, argv + argc + 1);
        ::execvp(args[0], const_cast<char* const*>(args.data()));
        ::unsetenv(kIsolated);
    }
    QCoreApplication app(argc, argv);
    TestLauncher test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_launcher.moc"
