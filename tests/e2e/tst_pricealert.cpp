// A price alert as a user meets it: set by keys alone through the quote view's context menu and
// its dialog, on a simulated market that keeps moving, then told by the desktop's notification
// daemon (dunst, on a session bus of the test's own), whose "Open" raises the window; or, with no
// notification service on the bus, told by the status bar while the program goes on.
// tests/e2e/scripts/price_alert.py drives the program and reads it back.
#include "support/ownxserver.h"
#include "support/serviceprocess.h"

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
#include <cmath>

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

QString MissingTool(bool daemon)
{
    QStringList tools { QStringLiteral("dbus-run-session"), QStringLiteral("xdotool"),
        QStringLiteral("Xvfb") };
    if (daemon)
        tools << QStringLiteral("dunst") << QStringLiteral("dunstctl") << QStringLiteral("dbus-monitor");
    for (const QString& tool : tools)
        if (QStandardPaths::findExecutable(tool).isEmpty())
            return tool;
    if (!QFile::exists(QStringLiteral("/usr/libexec/at-spi-bus-launcher")))
        return QStringLiteral("at-spi2-core");
    if (QProcess::execute(kPython, { QStringLiteral("-c"), QStringLiteral("import pyatspi") }) != 0)
        return QStringLiteral("python3-pyatspi");
    return {};
}

} // namespace

class TestPriceAlert final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void alertToldOnce_data()
    {
        QTest::addColumn<bool>("daemon");
        QTest::newRow("notification daemon") << true;
        QTest::newRow("no notification service") << false;
    }

    void alertToldOnce()
    {
        QFETCH(bool, daemon);
        if (const QString missing = MissingTool(daemon); !missing.isEmpty())
            QSKIP(qPrintable(missing + QStringLiteral(" is missing")));
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
        // Two quotes, MSFT last and so in front, refreshed every 1.5 s; keys do the rest.
        QFile demo(in("demo.txt"));
        QVERIFY(demo.open(QIODevice::WriteOnly)
            && demo.write("refresh-every 1500\nquote US:AAPL\nquote US:MSFT\nwait 150000\n") > 0);
        demo.close();

        // The market's clock runs a minute a second from a weekday morning, so prices move.
        const QStringList serviceArguments { QStringLiteral("--lists"), QStringLiteral(KOLPEX_DATA_DIR),
            QStringLiteral("--now"), QStringLiteral("2026-02-10T11:00:00-05:00"), QStringLiteral("--rate"),
            QStringLiteral("60") };
        QuoteServiceProcess service;
        QVERIFY2(service.start(serviceArguments), qPrintable(service.error()));
        const double price
            = QuoteServiceProcess::Dump(QStringLiteral("US:MSFT"), serviceArguments)[u"last"].toDouble();
        QVERIFY(price > 3);
        // A line the price stands above already: the alert fires at the first refresh after it
        // is set, and must not fire again at the next ones.
        const QString level = QString::number(std::floor(price) - 1, 'f', 2);

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("HOME"), in("home"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), in("config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), in("runtime"));
        env.insert(QStringLiteral("KOLPEX_QUOTE_SERVICE"), QString::fromLatin1(service.url()));
        env.insert(QStringLiteral("KOLPEX_DEMO_SCRIPT"), in("demo.txt"));
        if (env.contains(QStringLiteral("ASAN_OPTIONS"))) // libxkbcommon-x11, as in tst_accessibility
            env.insert(QStringLiteral("ASAN_OPTIONS"),
                env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":strict_string_checks=0"));
        QProcess run;
        run.setProcessEnvironment(env);
        run.setWorkingDirectory(in("work"));
        run.start(QStringLiteral("dbus-run-session"),
            { QStringLiteral(
                  "--config-file=" KOLPEX_SOURCE_DIR "/tests/e2e/scripts/private-session-bus.conf"),
                QStringLiteral("--"), kPython,
                QStringLiteral(KOLPEX_SOURCE_DIR "/tests/e2e/scripts/price_alert.py"),
                QStringLiteral(KOLPEX_APP_BIN), level,
                daemon ? QStringLiteral("dunst") : QStringLiteral("none") });
        QVERIFY(run.waitForStarted(10'000));
        if (!run.waitForFinished(150'000)) {
            run.kill();
            run.waitForFinished(5000);
            QFAIL("the price alert run did not end in time");
        }
        const QByteArray output = run.readAllStandardOutput().trimmed();
        const QJsonObject read = QJsonDocument::fromJson(output.mid(output.lastIndexOf('\n') + 1)).object();
        QVERIFY2(!read.isEmpty() && !read.contains(QStringLiteral("error")),
            (output + '\n' + run.readAllStandardError()).constData());

        // Kept where the user's settings are, in the documented form.
        QFile alerts(in("config") + QStringLiteral("/kolpex/alerts"));
        QVERIFY(alerts.open(QIODevice::ReadOnly));
        QCOMPARE(alerts.readAll(), QByteArray("US:MSFT above " + level.toLatin1() + '\n'));
        QVERIFY(read[u"running"].toBool());
        const QRegularExpression summary(
            QStringLiteral("^MSFT \\d+\\.\\d\\d above %1$").arg(QRegularExpression::escape(level)));

        if (!daemon) {
            const QString status = read[u"status"].toString();
            QVERIFY2(status.startsWith(QStringLiteral("Price alert: ")), qPrintable(status));
            QVERIFY2(summary.match(status.mid(13)).hasMatch(), qPrintable(status));
            return;
        }
        // Told once in several refreshes beyond the line.
        QCOMPARE(read[u"count"].toInt(), 1);
        const QJsonArray history = read[u"history"].toArray();
        QCOMPARE(history.size(), 1);
        const QJsonObject told = history.at(0).toObject();
        QCOMPARE(told[u"appname"].toString(), QStringLiteral("Kolpex"));
        QVERIFY2(
            summary.match(told[u"summary"].toString()).hasMatch(), qPrintable(told[u"summary"].toString()));
        const QRegularExpression body(
            QStringLiteral("^Microsoft Corp \\(simulated\\)\nChange: [+-]\\d+\\.\\d\\d "
                           "\\([+-]\\d+\\.\\d\\d%\\)\nQuote time: "
                           "\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d$"));
        QVERIFY2(body.match(told[u"body"].toString()).hasMatch(), qPrintable(told[u"body"].toString()));
        // The desktop shows our icon and groups them by the desktop entry; the action is "Open".
        const QString call = read[u"notify_call"].toString();
        QVERIFY2(call.contains(QRegularExpression(
                     QStringLiteral("string \"desktop-entry\"\\s+variant\\s+string \"kolpex\""))),
            qPrintable(call));
        QVERIFY2(call.contains(QRegularExpression(QStringLiteral("string \"default\"\\s+string \"Open\""))),
            qPrintable(call));
        // "Open" brought the alert's window back in front of the other one.
        QVERIFY2(read[u"title_before_open"].toString().contains(QStringLiteral("Apple")),
            qPrintable(read[u"title_before_open"].toString()));
        QCOMPARE(read[u"title_after_open"].toString(), QStringLiteral("Kolpex - Microsoft Corp (simulated)"));
    }
};

QTEST_GUILESS_MAIN(TestPriceAlert)
#include "tst_pricealert.moc"
