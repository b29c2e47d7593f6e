// The built program ended by a real signal, as a logout, `systemctl --user stop` or `kill` ends
// it: the quote window's data file and the recent list must be on disk afterwards (or their loss
// reported), and a message nobody answers must not hold the end up for ever. The program runs as a child
// process against a scripted quote service on loopback; a demo script opens the quote window.
#include "app/sessionexit.h"
#include "support/ownxserver.h"
#include "support/scriptedhttpserver.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kHeaderBlock = "\r\nDate\t\tTime\tCurrent\tChange\t\tHigh\tLow\tP/E\tAsk\tBid\tBeta\r\n\r\n";

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool Chmod(const QString& path, int mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0;
}

// Permission bits do not stop root, so root drops to nobody for the unwritable cases.
bool CanRunUnprivileged()
{
    return ::geteuid() != 0 || !QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty();
}

// A home, settings directory and working directory the program (and the user nobody) may use.
struct Sandbox {
    QTemporaryDir root;
    QString path(const char* name) const { return root.filePath(QString::fromLatin1(name)); }
    bool prepare(const QByteArray& script)
    {
        if (!root.isValid() || !Chmod(root.path(), 0755))
            return false;
        for (const char* dir : { "work", "config", "home" })
            if (!QDir().mkpath(path(dir)) || !Chmod(path(dir), 0777))
                return false;
        QFile file(path("demo.txt"));
        return file.open(QIODevice::WriteOnly) && file.write(script) == script.size();
    }
    // Starts the program in the sandbox, unprivileged when asked; on the X display given, if any.
    bool start(
        QProcess& program, const QByteArray& service, bool unprivileged, const QByteArray& display = {}) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"),
            display.isEmpty() ? QStringLiteral("offscreen") : QStringLiteral("xcb"));
        if (!display.isEmpty()) {
            env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
            // On X, libxkbcommon trips AddressSanitizer's strict string checks (support/asanxkb.h).
            if (env.contains(QStringLiteral("ASAN_OPTIONS")))
                env.insert(QStringLiteral("ASAN_OPTIONS"),
                    env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":strict_string_checks=0"));
        }
        env.insert(QStringLiteral("HOME"), path("home"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path("config"));
        env.insert(QStringLiteral("KOLPEX_QUOTE_SERVICE"), QString::fromLatin1(service));
        env.insert(QStringLiteral("KOLPEX_DEMO_SCRIPT"), path("demo.txt"));
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(path("work"));
        if (unprivileged && ::geteuid() == 0)
            program.start(QStringLiteral("setpriv"),
                { QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                    QStringLiteral("--clear-groups"), QStringLiteral(KOLPEX_APP_BIN) });
        else
            program.start(QStringLiteral(KOLPEX_APP_BIN), QStringList());
        return program.waitForStarted(10000);
    }
    QStringList recentList() const
    {
        QSettings settings(path("config") + QStringLiteral("/Tarrindel/Kolpex.conf"), QSettings::IniFormat);
        QStringList entries;
        for (int i = 1; settings.contains(QStringLiteral("Recent File List/File%1").arg(i)); ++i)
            entries << settings.value(QStringLiteral("Recent File List/File%1").arg(i)).toString();
        return entries;
    }
};

} // namespace

class TestSessionExit final : public QObject {
    Q_OBJECT

    ScriptedHttpServer m_server;

private Q_SLOTS:
    void initTestCase()
    {
        const QByteArray page = ReadFile(QStringLiteral(KOLPEX_TEST_DATA "/pages/full.html"));
        QVERIFY(!page.isEmpty());
        m_server.enqueue(ScriptedHttpServer::reply(200, page));
    }

    void signalEndsLikeExit_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("readOnly"); // entered, but takes no new file
        QTest::newRow("SIGTERM") << int(SIGTERM) << QString();
        QTest::newRow("SIGHUP") << int(SIGHUP) << QString();
        QTest::newRow("SIGINT") << int(SIGINT) << QString();
        QTest::newRow("SIGTERM, the data file cannot be written")
            << int(SIGTERM) << QStringLiteral("work/Stockdata");
        QTest::newRow("SIGTERM, the recent list cannot be saved") << int(SIGTERM) << QStringLiteral("config");
    }
    void signalEndsLikeExit()
    {
        QFETCH(int, signal);
        QFETCH(QString, readOnly);
        if (!readOnly.isEmpty() && !CanRunUnprivileged())
            QSKIP("setpriv is not installed");
        const bool dataWritable = readOnly != QStringLiteral("work/Stockdata");
        const bool settingsWritable = readOnly != QStringLiteral("config");
        Sandbox box;
        QVERIFY(box.prepare("write-to-file on\nquote US:XYZ\nscreenshot open.png\nwait 120000\n"));
        const QString locked = box.root.filePath(readOnly);
        if (!readOnly.isEmpty())
            QVERIFY(QDir().mkpath(locked) && Chmod(locked, 0555));
        QProcess program;
        QVERIFY2(box.start(program, m_server.url(), !readOnly.isEmpty()), qPrintable(program.errorString()));
        // The screenshot line says the quote window stands; the server answers meanwhile.
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += program.readAllStandardOutput()).contains("saved open.png"), 60000);

        QElapsedTimer sinceSignal;
        sinceSignal.start();
        QCOMPARE(::kill(static_cast<pid_t>(program.processId()), signal), 0);
        QTRY_VERIFY_WITH_TIMEOUT(program.state() == QProcess::NotRunning, kUnattendedMessageMs + 20000);
        const qint64 took = sinceSignal.elapsed();
        if (!readOnly.isEmpty())
            QVERIFY(Chmod(locked, 0777));
        const QByteArray err = program.readAllStandardError();
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 128 + signal); // as a shell reports a process the signal ended
        QVERIFY2(
            err.contains("kolpex: " + QByteArray(QTest::currentDataTag()).split(',').front() + " received"),
            err.constData());

        const QStringList recent = box.recentList();
        if (settingsWritable) {
            QCOMPARE(recent.size(), 1);
            QVERIFY2(recent.front().endsWith(QStringLiteral("(US, XYZ)")), qPrintable(recent.front()));
        } else {
            // The recent list is lost, and the program says so.
            QVERIFY(recent.isEmpty());
            QVERIFY2(err.contains(
                         "Kolpex: the recent file list could not be saved to " + QFile::encodeName(locked)),
                err.constData());
        }
        const QByteArray name
            = QDate::currentDate().toString(QStringLiteral("MM_dd_yyyy_")).toLatin1() + "xyz.txt";
        const QByteArray data = ReadFile(box.path("work/Stockdata/") + QString::fromLatin1(name));
        if (dataWritable) {
            QVERIFY2(data.startsWith(kHeaderBlock) && data.size() > kHeaderBlock.size(), data.constData());
            QVERIFY(!err.contains("Can not open"));
        } else {
            QVERIFY(data.isEmpty());
            // Logged, shown for its time, then the exit went on without an answer.
            QVERIFY2(err.contains("Kolpex: Can not open an output file \"" + name + "\"."), err.constData());
            QVERIFY2(took >= kUnattendedMessageMs - 500, QByteArray::number(took).constData());
        }
        QVERIFY2(took < kUnattendedMessageMs + 10000, QByteArray::number(took).constData());
    }

    // A logout while one of Qt's own questions is up: the print dialog asks whether to overwrite
    // the file it would print to. The exit answers it as Escape would (No), cancels the dialog,
    // and ends as usual, with the data file and the recent list written and the file left as it was.
    void logoutDuringQtsOwnQuestion()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            QSKIP("no xdotool to press the keys with");
        OwnXServer x;
        const QByteArray display = x.startDisplay();
        if (display.isEmpty())
            QSKIP("no X server of the test's own could be started");
        Sandbox box;
        QVERIFY(box.prepare("write-to-file on\nquote US:XYZ\nscreenshot open.png\nwait 120000\n"));
        // Not below home, so the print dialog offers home/print.pdf, which exists.
        const QString earlier = box.path("home/print.pdf");
        QFile pdf(earlier);
        QVERIFY(pdf.open(QIODevice::WriteOnly) && pdf.write("earlier") == 7);
        pdf.close();
        QProcess program;
        QVERIFY2(box.start(program, m_server.url(), false, display), qPrintable(program.errorString()));
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += program.readAllStandardOutput()).contains("saved open.png"), 60000);

        const QString pid = QString::number(program.processId());
        auto xdotool = [&display](const QStringList& args) {
            QProcess tool;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
            tool.setProcessEnvironment(env);
            tool.start(QStringLiteral("xdotool"), args);
            return tool.waitForFinished(10000) ? tool.readAllStandardOutput() : QByteArray();
        };
        auto windows = [&] {
            return xdotool(
                { QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"), pid })
                .trimmed()
                .split('\n');
        };
        const QByteArray frame = windows().value(0);
        QVERIFY(!frame.isEmpty());
        xdotool({ QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::fromLatin1(frame) });
        xdotool({ QStringLiteral("key"), QStringLiteral("ctrl+p") });
        QTRY_VERIFY_WITH_TIMEOUT(windows().size() >= 2, 20000); // the print dialog
        QTest::qWait(1000);
        xdotool({ QStringLiteral("key"), QStringLiteral("Return") });
        QTRY_VERIFY_WITH_TIMEOUT(windows().size() >= 3, 20000); // and its question

        QElapsedTimer sinceSignal;
        sinceSignal.start();
        QCOMPARE(::kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
        QTRY_VERIFY_WITH_TIMEOUT(program.state() == QProcess::NotRunning, kUnattendedMessageMs + 20000);
        QVERIFY2(sinceSignal.elapsed() < 5000, QByteArray::number(sinceSignal.elapsed()).constData());
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 128 + SIGTERM);
        QCOMPARE(box.recentList().size(), 1);
        const QByteArray name
            = QDate::currentDate().toString(QStringLiteral("MM_dd_yyyy_")).toLatin1() + "xyz.txt";
        const QByteArray data = ReadFile(box.path("work/Stockdata/") + QString::fromLatin1(name));
        QVERIFY2(data.startsWith(kHeaderBlock) && data.size() > kHeaderBlock.size(), data.constData());
        QCOMPARE(ReadFile(earlier), QByteArray("earlier")); // the question was answered No
    }
};

QTEST_GUILESS_MAIN(TestSessionExit)
#include "tst_sessionexit.moc"
