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

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

// Why the accessibility run cannot happen here, or empty when everything it needs is installed.
QString MissingTool()
{
    for (const char* tool : { "dbus-run-session", "xdotool", "xprop", "Xvfb" })
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return QString::fromLatin1(tool);
    if (!QFile::exists(QStringLiteral("/usr/libexec/at-spi-bus-launcher")))
        return QStringLiteral("at-spi2-core");
    if (QProcess::execute(kPython, { QStringLiteral("-c"), QStringLiteral("import pyatspi") }) != 0)
        return QStringLiteral("python3-pyatspi");
    return {};
}

QString Fixed(const QJsonValue& value)
{
    return QString::number(value.toDouble(), 'f', 2);
}

} // namespace

class TestAccessibility final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void quoteReadByKeyboardAndScreenReader()
    {
        if (const QString missing = MissingTool(); !missing.isEmpty())
            QSKIP(qPrintable(missing + QStringLiteral(" is missing: cannot run the program under AT-SPI")));
        OwnXServer x;
        const QString display = QString::fromLatin1(x.startDisplay());
        if (display.isEmpty())
            QSKIP("no X server of the test's own could be started");

        QTemporaryDir scratch;
        auto in = [&scratch](const char* name) { return scratch.filePath(QString::fromLatin1(name)); };
        for (const char* sub : { "home", "config", "runtime", "work" })
            QVERIFY(QDir().mkpath(in(sub)));
        QFile::setPermissions(
            in("runtime"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(QFile::copy(QStringLiteral(KOLPEX_DATA_DIR "/NASDAQ.TXT"), in("work/NASDAQ.TXT")));
        // The name the package installs the program under, which is not the desktop file's.
        QVERIFY(QFile::link(QStringLiteral(KOLPEX_APP_BIN), in("kolpex-gui")));
        // Keys do the rest; the script only makes the quote refresh every 1.5 s instead of 5 minutes
        // and keeps the program open meanwhile (the reader ends it).
        QFile demo(in("demo.txt"));
        QVERIFY(demo.open(QIODevice::WriteOnly) && demo.write("refresh-every 1500\nwait 150000\n") > 0);
        demo.close();

        const qint64 now = QDateTime(QDate(2026, 2, 10), QTime(16, 0), QTimeZone::utc()).toSecsSinceEpoch();
        const QStringList serviceArguments { QStringLiteral("--lists"), QStringLiteral(KOLPEX_DATA_DIR),
            QStringLiteral("--now"), QString::number(now) };
        QuoteServiceProcess service;
        QVERIFY2(service.start(serviceArguments), qPrintable(service.error()));

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("HOME"), in("home"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), in("config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), in("runtime"));
        env.insert(QStringLiteral("KOLPEX_QUOTE_SERVICE"), QString::fromLatin1(service.url()));
        env.insert(QStringLiteral("KOLPEX_DEMO_SCRIPT"), demo.fileName());
        // Under AddressSanitizer: libxkbcommon-x11 trips the strict string check when the xcb
        // platform starts (see tst_lockindicators); every other check stays.
        if (env.contains(QStringLiteral("ASAN_OPTIONS")))
            env.insert(QStringLiteral("ASAN_OPTIONS"),
                env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":strict_string_checks=0"));
        QProcess run;
        run.setProcessEnvironment(env);
        run.setWorkingDirectory(in("work"));
        run.start(QStringLiteral("dbus-run-session"),
            { QStringLiteral("--"), kPython,
                QStringLiteral(KOLPEX_SOURCE_DIR "/tests/e2e/scripts/a11y_readquote.py"), in("kolpex-gui") });
        QVERIFY(run.waitForStarted(10'000));
        if (!run.waitForFinished(150'000)) {
            run.kill();
            run.waitForFinished(5000);
            QFAIL("the accessibility run did not end in time");
        }
        const QByteArray output = run.readAllStandardOutput().trimmed();
        const QJsonObject read = QJsonDocument::fromJson(output.mid(output.lastIndexOf('\n') + 1)).object();
        QVERIFY2(!read.isEmpty() && !read.contains(QStringLiteral("error")),
            (output + '\n' + run.readAllStandardError()).constData());

        // Known to the shell by the desktop file's name, whatever the binary is called.
        QCOMPARE(read[u"wm_class"].toString(), QStringLiteral("WM_CLASS(STRING) = \"kolpex\", \"kolpex\""));
        const QJsonArray row = read[u"row"].toArray();
        QCOMPARE(row.size(), 4);
        const QString symbol = row.at(1).toString();
        const QJsonObject served
            = QuoteServiceProcess::Dump(QStringLiteral("US:") + symbol, serviceArguments);
        QVERIFY2(served[u"found"].toBool(), qPrintable(symbol));
        const QString price = Fixed(served[u"last"]);

        // The window's title says the price is invented; the panel's first line and the view's
        // value both give it.
        QCOMPARE(read[u"quote_name"].toString(), row.at(0).toString() + QStringLiteral(" (simulated)"));
        const QJsonArray lines = read[u"lines"].toArray();
        QCOMPARE(lines.size(), 24);
        QCOMPARE(lines.at(0).toArray().at(0).toString(), QStringLiteral("Last"));
        QCOMPARE(lines.at(0).toArray().at(1).toString(), price);
        QCOMPARE(lines.at(4).toArray().at(0).toString(), QStringLiteral("Day's High"));
        QCOMPARE(lines.at(23).toArray().at(0).toString(), QStringLiteral("Delayed"));
        QCOMPARE(Fixed(read[u"value"]), price);
        // Each line has its own place on screen, one below the other in panel order.
        const QJsonArray tops = read[u"line_tops"].toArray();
        QCOMPARE(tops.size(), 24);
        for (qsizetype i = 1; i < tops.size(); ++i)
            QVERIFY2(tops.at(i).toInt() > tops.at(i - 1).toInt(), qPrintable(QString::number(i)));
        // The chart in words: the series, the last value, the day's high and low, and the quotes'
        // time span (the service's clock stands at 11:00 New York time; a refresh may have come).
        const QString chart = read[u"chart"].toString();
        const QRegularExpression words(
            QStringLiteral("showing Today, Prev\\. day close, Heigh, Low\\. Last value "
                           "%1, day's high %2, day's low %3\\. "
                           "(One quote, at 11:00|\\d+ quotes from 11:00 to 11:00)\\.$")
                .arg(QRegularExpression::escape(price), QRegularExpression::escape(Fixed(served[u"high"])),
                    QRegularExpression::escape(Fixed(served[u"low"]))));
        QVERIFY2(words.match(chart).hasMatch(), qPrintable(chart));
        // The chart is also the view's first item, which the keyboard reaches.
        const QString item = read[u"chart_item"].toString();
        QVERIFY2(words.match(item).hasMatch(), qPrintable(item));
    }
};

QTEST_GUILESS_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
