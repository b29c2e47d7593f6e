// The installed program as a screen reader and the desktop shell meet it: run under its installed
// name on an X server of the test's own, in a session bus of its own with the accessibility bus,
// driven by keys alone, read back through AT-SPI by tests/e2e/scripts/a11y_readquote.py.
#include "support/ownxserver.h"
#include "support/serviceprocess.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kBusLauncher = QStringLiteral("/usr/libexec/at-spi-bus-launcher");

// Why the accessibility run cannot happen here, or empty when everything it needs is installed.
QString MissingTool()
{
    for (const char* tool : { "dbus-run-session", "xdotool", "xprop", "Xvfb" })
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return QStringLiteral("%1 is missing").arg(QString::fromLatin1(tool));
    if (!QFile::exists(kBusLauncher))
        return QStringLiteral("at-spi2-core is missing");
    if (QProcess::execute(kPython, { QStringLiteral("-c"), QStringLiteral("import pyatspi") }) != 0)
        return QStringLiteral("python3-pyatspi is missing");
    return {};
}

} // namespace

class TestAccessibility final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void quoteReadByKeyboardAndScreenReader()
    {
        const QString missing = MissingTool();
        if (!missing.isEmpty())
            QSKIP(qPrintable(QStringLiteral("cannot run the program under AT-SPI: ") + missing));
        OwnXServer x;
        const QString display = QString::fromLatin1(x.startDisplay());
        if (display.isEmpty())
            QSKIP("no X server of the test's own could be started");

        QTemporaryDir scratch;
        QVERIFY(scratch.isValid());
        const QDir dir(scratch.path());
        for (const char* sub : { "home", "config", "runtime", "work" })
            QVERIFY(dir.mkpath(QString::fromLatin1(sub)));
        QFile::setPermissions(dir.filePath(QStringLiteral("runtime")),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(QFile::copy(
            QStringLiteral(KOLPEX_DATA_DIR "/NASDAQ.TXT"), dir.filePath(QStringLiteral("work/NASDAQ.TXT"))));
        // The name the package installs the program under, which is not the desktop file's.
        const QString program = dir.filePath(QStringLiteral("kolpex-gui"));
        QVERIFY(QFile::link(QStringLiteral(KOLPEX_APP_BIN), program));

        const qint64 now = QDateTime(QDate(2026, 2, 10), QTime(16, 0), QTimeZone::utc()).toSecsSinceEpoch();
        const QStringList serviceArguments { QStringLiteral("--lists"), QStringLiteral(KOLPEX_DATA_DIR),
            QStringLiteral("--now"), QString::number(now) };
        QuoteServiceProcess service;
        QVERIFY2(service.start(serviceArguments), qPrintable(service.error()));

        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("HOME"), dir.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("runtime")));
        env.insert(QStringLiteral("KOLPEX_QUOTE_SERVICE"), QString::fromLatin1(service.url()));
        env.insert(QStringLiteral("KOLPEX_A11Y_SECONDS"), QStringLiteral("90"));
        // Under AddressSanitizer: libxkbcommon-x11 trips the strict string check when the xcb
        // platform starts (see tst_lockindicators); every other check stays.
        if (env.contains(QStringLiteral("ASAN_OPTIONS")))
            env.insert(QStringLiteral("ASAN_OPTIONS"),
                env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":strict_string_checks=0"));
        // Keys do the rest; the script only makes the quote refresh every 1.5 s instead of 5 minutes
        // and keeps the program open meanwhile (the reader ends it).
        const QString demo = dir.filePath(QStringLiteral("demo.txt"));
        QFile demoFile(demo);
        QVERIFY(demoFile.open(QIODevice::WriteOnly));
        demoFile.write("refresh-every 1500\nwait 150000\n");
        demoFile.close();
        env.insert(QStringLiteral("KOLPEX_DEMO_SCRIPT"), demo);
        run.setProcessEnvironment(env);
        run.setWorkingDirectory(dir.filePath(QStringLiteral("work")));
        run.start(QStringLiteral("dbus-run-session"),
            { QStringLiteral("--"), kPython,
                QStringLiteral(KOLPEX_SOURCE_DIR "/tests/e2e/scripts/a11y_readquote.py"), program });
        QVERIFY(run.waitForStarted(10'000));
        if (!run.waitForFinished(150'000)) {
            run.kill();
            run.waitForFinished(5000);
            QFAIL("the accessibility run did not end in time");
        }
        const QByteArray output = run.readAllStandardOutput().trimmed();
        const QByteArray lastLine = output.mid(output.lastIndexOf('\n') + 1);
        const QJsonObject read = QJsonDocument::fromJson(lastLine).object();
        QVERIFY2(!read.isEmpty() && !read.contains(QStringLiteral("error")),
            (output + '\n' + run.readAllStandardError()).constData());

        // Known to the shell by the desktop file's name, whatever the binary is called.
        QCOMPARE(read.value(QStringLiteral("wm_class")).toString(),
            QStringLiteral("WM_CLASS(STRING) = \"kolpex\", \"kolpex\""));

        QCOMPARE(read.value(QStringLiteral("list")).toString(), QStringLiteral("NASDAQ"));
        const QJsonArray row = read.value(QStringLiteral("row")).toArray();
        QCOMPARE(row.size(), 4);
        const QString symbol = row.at(1).toString();
        const QJsonObject served
            = QuoteServiceProcess::Dump(QStringLiteral("US:") + symbol, serviceArguments);
        QVERIFY2(served.value(QStringLiteral("found")).toBool(), qPrintable(symbol));
        const QString price = QString::number(served.value(QStringLiteral("last")).toDouble(), 'f', 2);

        // The window's title, the panel's first line and the view's value all give the price.
        QCOMPARE(read.value(QStringLiteral("quote_name")).toString(), row.at(0).toString());
        const QJsonArray lines = read.value(QStringLiteral("lines")).toArray();
        QCOMPARE(lines.size(), 24);
        QCOMPARE(lines.at(0).toArray().at(0).toString(), QStringLiteral("Last"));
        QCOMPARE(lines.at(0).toArray().at(1).toString(), price);
        QCOMPARE(lines.at(4).toArray().at(0).toString(), QStringLiteral("Day's High"));
        QCOMPARE(lines.at(23).toArray().at(0).toString(), QStringLiteral("Delayed"));
        QCOMPARE(QString::number(read.value(QStringLiteral("value")).toDouble(), 'f', 2), price);
        // A refresh told the reader the view's value.
        const QJsonArray announced = read.value(QStringLiteral("announced")).toArray();
        QCOMPARE(announced.size(), 1);
        QCOMPARE(QString::number(announced.at(0).toDouble(), 'f', 2), price);
        // The chart in words: the series, the last value, the day's high and low, and the quotes'
        // time span (the service's clock stands at 11:00 New York time; a refresh may have come).
        auto figure = [&served](const char* name) {
            return QString::number(served.value(QString::fromLatin1(name)).toDouble(), 'f', 2);
        };
        const QString chart = read.value(QStringLiteral("chart")).toString();
        const QRegularExpression words(
            QStringLiteral("showing Today, Prev\\. day close, Heigh, Low\\. Last value "
                           "%1, day's high %2, day's low %3\\. "
                           "(One quote, at 11:00|\\d+ quotes from 11:00 to 11:00)\\.$")
                .arg(QRegularExpression::escape(price), QRegularExpression::escape(figure("high")),
                    QRegularExpression::escape(figure("low"))));
        QVERIFY2(words.match(chart).hasMatch(), qPrintable(chart));
    }
};

QTEST_GUILESS_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
