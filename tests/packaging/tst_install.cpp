// Installs the build tree into a temporary prefix and runs the installed launcher.
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
    QString m_buildDir;
    QTemporaryDir m_prefix;
    QString m_bin, m_libexec, m_data;

    QString cacheValue(const QString& key) const
    {
        const QList<QByteArray> lines = readAll(m_buildDir + QStringLiteral("/CMakeCache.txt")).split('\n');
        const QByteArray wanted = key.toUtf8() + ':';
        for (const QByteArray& line : lines) {
            if (!line.startsWith(wanted))
                continue;
            const int eq = line.indexOf('=');
            return eq < 0 ? QString() : QString::fromUtf8(line.mid(eq + 1)).trimmed();
        }
        return {};
    }

    QString launcher() const
    {
        return m_prefix.path() + QLatin1Char('/') + m_bin + QStringLiteral("/kolpex");
    }

    static QProcessEnvironment withoutDisplay()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name :
            { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_DATA_HOME", "KOLPEX_GUI_BINARY" })
            env.remove(QString::fromLatin1(name));
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
        // The test executable sits somewhere below the build tree's top.
        QDir dir(QCoreApplication::applicationDirPath());
        for (int up = 0; up < 4 && !dir.exists(QStringLiteral("CMakeCache.txt")); ++up)
            dir.cdUp();
        QVERIFY2(dir.exists(QStringLiteral("CMakeCache.txt")), "no CMakeCache.txt above the test executable");
        m_buildDir = dir.absolutePath();
        QCOMPARE(QFileInfo(cacheValue(QStringLiteral("CMAKE_HOME_DIRECTORY"))).canonicalFilePath(),
            QFileInfo(QStringLiteral(KOLPEX_SOURCE_DIR)).canonicalFilePath());

        // GNUInstallDirs leaves DATADIR empty in the cache when it follows DATAROOTDIR.
        const auto dirOf = [this](const char* key, const char* fallback) {
            const QString value = cacheValue(QString::fromLatin1(key));
            return value.isEmpty() ? QString::fromLatin1(fallback) : value;
        };
        m_bin = dirOf("CMAKE_INSTALL_BINDIR", "bin");
        m_libexec = dirOf("CMAKE_INSTALL_LIBEXECDIR", "libexec");
        m_data = dirOf("CMAKE_INSTALL_DATADIR", qPrintable(dirOf("CMAKE_INSTALL_DATAROOTDIR", "share")));
        QVERIFY(
            QDir::isRelativePath(m_bin) && QDir::isRelativePath(m_libexec) && QDir::isRelativePath(m_data));

        QVERIFY(m_prefix.isValid());
        QString cmake = cacheValue(QStringLiteral("CMAKE_COMMAND"));
        if (cmake.isEmpty())
            cmake = QStringLiteral("cmake");
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(
            cmake, { QStringLiteral("--install"), m_buildDir, QStringLiteral("--prefix"), m_prefix.path() });
        QVERIFY(install.waitForFinished(120000));
        QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0,
            install.readAll().constData());
    }

    void layout()
    {
        const QString root = m_prefix.path() + QLatin1Char('/');
        const QFileInfo script(launcher());
        QVERIFY(script.isFile() && script.isExecutable());
        QVERIFY(readAll(script.filePath()).startsWith("#!/bin/sh\n"));

        QVERIFY(QFileInfo(root + m_bin + QStringLiteral("/kolpex-quote")).isExecutable());
#ifdef KOLPEX_SERVICE_BIN
        QVERIFY(QFileInfo(root + m_bin + QStringLiteral("/kolpex-quote-service")).isExecutable());
#endif
#ifdef KOLPEX_APP_BIN
        QVERIFY(QFileInfo(root + m_libexec + QStringLiteral("/kolpex/kolpex-gui")).isExecutable());
#endif

        const QByteArray desktop = readAll(root + m_data + QStringLiteral("/applications/kolpex.desktop"));
        for (const char* line : { "[Desktop Entry]\n", "\nType=Application\n", "\nName=Kolpex\n",
                 "\nExec=kolpex\n", "\nIcon=kolpex\n" })
            QVERIFY2(desktop.contains(line), line);
        QVERIFY(desktop.contains("\nCategories=Office;Finance;\n"));

        for (int size : { 16, 32, 48, 64, 128, 256 }) {
            const QString source = QStringLiteral(KOLPEX_SOURCE_DIR "/res/icons/kolpex-%1.png").arg(size);
            if (!QFileInfo::exists(source))
                continue;
            const QString installed
                = root + m_data + QStringLiteral("/icons/hicolor/%1x%1/apps/kolpex.png").arg(size);
            QCOMPARE(readAll(installed), readAll(source));
        }
    }

    void listsInstalled()
    {
        const QStringList lists = shippedLists();
        QCOMPARE(lists.size(), 7);
        const QString dir = m_prefix.path() + QLatin1Char('/') + m_data + QStringLiteral("/kolpex/lists/");
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
