// Installs the build tree into a temporary prefix and runs the installed launcher.
#include "support/installtree.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes, bool executable = false)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    return true;
}

QStringList shippedLists()
{
    return QDir(QStringLiteral(KOLPEX_DATA_DIR))
        .entryList({ QStringLiteral("*.TXT") }, QDir::Files, QDir::Name);
}

struct LauncherRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

} // namespace

class TestInstall final : public QObject {
    Q_OBJECT

private:
    InstalledTree m_tree;

    QString launcher() const { return m_tree.launcher(); }

    // The launcher is pointed at a service that is not there, so that it starts none of its own.
    static QProcessEnvironment withoutDisplay()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name :
            { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_DATA_HOME", "KOLPEX_GUI_BINARY" })
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("KOLPEX_QUOTE_SERVICE"), QStringLiteral("http://127.0.0.1:9"));
        return env;
    }

    LauncherRun runLauncher(const QProcessEnvironment& env, const QStringList& args = {}) const
    {
        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(QDir::tempPath());
        process.start(launcher(), args);
        LauncherRun run;
        if (!process.waitForFinished(30000)) {
            process.kill();
            process.waitForFinished();
            return run;
        }
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError();
        return run;
    }

    // A stand-in for the GUI program: records where and with what it was started.
    QString makeFakeGui(const QString& dir, int exitCode) const
    {
        const QString path = dir + QStringLiteral("/fake-gui");
        const QByteArray script
            = "#!/bin/sh\npwd -P > \"$KOLPEX_FAKE_LOG\"\nprintf '%s\\n' \"$@\" >> \"$KOLPEX_FAKE_LOG\"\nexit "
            + QByteArray::number(exitCode) + "\n";
        return writeFile(path, script, true) ? path : QString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString failure = m_tree.install();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }

    void layout()
    {
        const QFileInfo script(launcher());
        QVERIFY(script.isFile() && script.isExecutable());
        QVERIFY(readAll(script.filePath()).startsWith("#!/bin/bash\n"));

        QVERIFY(QFileInfo(m_tree.bin(QStringLiteral("kolpex-quote"))).isExecutable());
#ifdef KOLPEX_SERVICE_BIN
        QVERIFY(QFileInfo(m_tree.bin(QStringLiteral("kolpex-quote-service"))).isExecutable());
#endif
#ifdef KOLPEX_APP_BIN
        QVERIFY(QFileInfo(m_tree.libexec(QStringLiteral("kolpex/kolpex-gui"))).isExecutable());
#endif
        QVERIFY(QFileInfo(m_tree.libexec(QStringLiteral("kolpex/kolpex-supervise"))).isExecutable());

        const QByteArray desktop = readAll(m_tree.data(QStringLiteral("applications/kolpex.desktop")));
        for (const char* line : { "[Desktop Entry]\n", "\nType=Application\n", "\nName=Kolpex\n",
                 "\nExec=kolpex\n", "\nIcon=kolpex\n" })
            QVERIFY2(desktop.contains(line), line);
        QVERIFY(desktop.contains("\nCategories=Office;Finance;\n"));

        int sizes = 0;
        for (int size : { 16, 32, 48, 64, 128, 256 }) {
            const QString source = QStringLiteral(KOLPEX_SOURCE_DIR "/res/icons/kolpex-%1.png").arg(size);
            if (!QFileInfo::exists(source))
                continue;
            ++sizes;
            QCOMPARE(readAll(m_tree.data(QStringLiteral("icons/hicolor/%1x%1/apps/kolpex.png").arg(size))),
                readAll(source));
        }
        QCOMPARE(sizes, 6);
        QVERIFY(
            readAll(m_tree.data(QStringLiteral("icons/hicolor/scalable/apps/kolpex.svg"))).contains("<svg"));

        // The metadata names the desktop entry that is installed beside it.
        const QByteArray metainfo
            = readAll(m_tree.data(QStringLiteral("metainfo/io.github.kolpex.kolpex.metainfo.xml")));
        QVERIFY(metainfo.contains("<launchable type=\"desktop-id\">kolpex.desktop</launchable>"));

        QVERIFY(readAll(m_tree.data(QStringLiteral("doc/kolpex/copyright"))).startsWith("Format: "));
        QVERIFY(readAll(m_tree.data(QStringLiteral("doc/kolpex/changelog.gz"))).startsWith("\x1f\x8b"));
    }

    void manualPages()
    {
        const QString pandoc = m_tree.cacheValue(QStringLiteral("KOLPEX_PANDOC"));
        if (pandoc.isEmpty() || pandoc.endsWith(QLatin1String("NOTFOUND")))
            QSKIP("pandoc was not found when the build was configured, so no manual pages were made");
        for (const char* page : { "kolpex", "kolpex-quote", "kolpex-quote-service" }) {
            QProcess unzip;
            unzip.start(QStringLiteral("gzip"),
                { QStringLiteral("-dc"),
                    m_tree.man(QStringLiteral("man1/%1.1.gz").arg(QLatin1String(page))) });
            QVERIFY(unzip.waitForFinished(10000));
            QCOMPARE(unzip.exitCode(), 0);
            const QByteArray troff = unzip.readAllStandardOutput();
            QVERIFY2(troff.contains(".TH \"" + QByteArray(page).toUpper() + "\" \"1\""), page);
            QVERIFY2(troff.contains(".SH NAME"), page);
        }
    }

    // Outside /usr the unit goes where systemd looks for a user's own, names the service of this
    // install by its absolute path and reads the launcher's settings file; its socket is a Unix one
    // that only the user can reach, never a port that every account shares.
    void userUnits()
    {
        const QString dir = m_tree.data(QStringLiteral("systemd/user/"));
        const QByteArray service = readAll(dir + QStringLiteral("kolpex-quote-service.service"));
        QVERIFY2(service.contains(
                     "\nExecStart=" + QFile::encodeName(m_tree.bin(QStringLiteral("kolpex-quote-service")))
                     + " --config %E/kolpex/quote-service.conf\n"),
            service.constData());
        const QByteArray socket = readAll(dir + QStringLiteral("kolpex-quote-service.socket"));
        QVERIFY2(socket.contains("\nListenStream=%t/kolpex/quote-service.sock\n")
                && socket.contains("\nSocketMode=0600\n") && socket.count("\nListenStream=") == 1,
            socket.constData());
    }

    void listsInstalled()
    {
        const QStringList lists = shippedLists();
        QCOMPARE(lists.size(), 7);
        const QString dir = m_tree.data(QStringLiteral("kolpex/lists/"));
        QCOMPARE(QDir(dir).entryList({ QStringLiteral("*.TXT") }, QDir::Files, QDir::Name), lists);
        for (const QString& name : lists)
            QCOMPARE(readAll(dir + name), readAll(QStringLiteral(KOLPEX_DATA_DIR "/") + name));
    }

    void displayDetection_data()
    {
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("starts");
        QTest::newRow("nothing") << QString() << QString() << false;
        QTest::newRow("empty DISPLAY") << QStringLiteral("DISPLAY") << QString() << false;
        QTest::newRow("X11") << QStringLiteral("DISPLAY") << QStringLiteral(":99") << true;
        QTest::newRow("Wayland") << QStringLiteral("WAYLAND_DISPLAY") << QStringLiteral("wayland-0") << true;
        QTest::newRow("offscreen") << QStringLiteral("QT_QPA_PLATFORM") << QStringLiteral("offscreen")
                                   << true;
    }

    void displayDetection()
    {
        QFETCH(QString, variable);
        QFETCH(QString, value);
        QFETCH(bool, starts);
        QTemporaryDir home;
        QVERIFY(home.isValid());
        const QString log = home.path() + QStringLiteral("/started.log");
        QProcessEnvironment env = withoutDisplay();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("KOLPEX_GUI_BINARY"), makeFakeGui(home.path(), 0));
        env.insert(QStringLiteral("KOLPEX_FAKE_LOG"), log);
        if (!variable.isEmpty())
            env.insert(variable, value);

        const LauncherRun run = runLauncher(env);
        const QString workdir = home.path() + QStringLiteral("/.local/share/kolpex");
        if (starts) {
            QCOMPARE(run.exitCode, 0);
            QVERIFY(QFileInfo::exists(log));
            QVERIFY(QFileInfo(workdir).isDir());
        } else {
            QCOMPARE(run.exitCode, 1);
            QVERIFY(run.out.isEmpty());
            QCOMPARE(run.err.count('\n'), 1);
            QVERIFY(run.err.endsWith('\n'));
            QVERIFY2(run.err.contains("display") && run.err.contains("xvfb-run"), run.err.constData());
            QVERIFY(!QFileInfo::exists(log));
            QVERIFY(!QFileInfo::exists(workdir)); // nothing is touched when it cannot start
        }
    }

    void firstStartFillsWorkingDirectory()
    {
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString workdir = temp.path() + QStringLiteral("/xdg/kolpex");
        QVERIFY(QDir().mkpath(workdir));
        const QByteArray mine = "my own NASDAQ list\r\n";
        QVERIFY(writeFile(workdir + QStringLiteral("/NASDAQ.TXT"), mine));
        const QString log = temp.path() + QStringLiteral("/started.log");

        QProcessEnvironment env = withoutDisplay();
        env.insert(QStringLiteral("HOME"), temp.path() + QStringLiteral("/home-not-used"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), temp.path() + QStringLiteral("/xdg"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("KOLPEX_GUI_BINARY"), makeFakeGui(temp.path(), 3));
        env.insert(QStringLiteral("KOLPEX_FAKE_LOG"), log);

        const LauncherRun run = runLauncher(env, { QStringLiteral("one arg"), QStringLiteral("two") });
        QCOMPARE(run.exitCode, 3); // the program's own status comes back
        QVERIFY2(run.err.isEmpty(), run.err.constData());

        const QList<QByteArray> started = readAll(log).split('\n');
        QVERIFY(started.size() >= 3);
        QCOMPARE(QString::fromUtf8(started[0]), QFileInfo(workdir).canonicalFilePath());
        QCOMPARE(started[1], QByteArray("one arg"));
        QCOMPARE(started[2], QByteArray("two"));

        const QStringList lists = shippedLists();
        QVERIFY(lists.contains(QStringLiteral("NASDAQ.TXT")));
        for (const QString& name : lists) {
            const QByteArray copied = readAll(workdir + QLatin1Char('/') + name);
            if (name == QStringLiteral("NASDAQ.TXT"))
                QCOMPARE(copied, mine);
            else
                QCOMPARE(copied, readAll(QStringLiteral(KOLPEX_DATA_DIR "/") + name));
        }
        QVERIFY(!QFileInfo::exists(temp.path() + QStringLiteral("/home-not-used")));

        // A list the user changed after the first start survives the next start.
        const QString nyse = workdir + QStringLiteral("/NYSE.TXT");
        QVERIFY(writeFile(nyse, "edited\r\n"));
        QCOMPARE(runLauncher(env).exitCode, 3);
        QCOMPARE(readAll(nyse), QByteArray("edited\r\n"));
    }

    void missingProgramIsReported()
    {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        QProcessEnvironment env = withoutDisplay();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("KOLPEX_GUI_BINARY"), home.path() + QStringLiteral("/no-such-program"));
        const LauncherRun run = runLauncher(env);
        QCOMPARE(run.exitCode, 127);
        QVERIFY(run.err.contains("no-such-program"));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
