// A price alert as a user meets it: set by keys alone through the quote view's context menu and
// its dialog, on a simulated market that keeps moving, then told by the desktop's notification
// daemon (dunst, on a session bus of the test's own), whose "Open" raises the window; or, with no
// notification service on the bus, told by the status bar while the program goes on.
// tests/e2e/scripts/price_alert.py drives the program and reads it back.
#include "support/desktopsession.h"
#include "support/serviceprocess.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>
#include <cmath>

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
        QStringList tools;
        if (daemon)
            tools << QStringLiteral("dunst") << QStringLiteral("dunstctl") << QStringLiteral("dbus-monitor");
        if (const QString missing = DesktopSession::Missing(tools, true); !missing.isEmpty())
            QSKIP(qPrintable(missing + QStringLiteral(" is missing")));
        DesktopSession session;
        if (!session.startX())
            QSKIP("no X server of the test's own could be started");
        // Two quotes, MSFT last and so in front, refreshed every 1.5 s; keys do the rest.
        QVERIFY2(session.prepare("refresh-every 1500\nquote US:AAPL\nquote US:MSFT\nwait 150000\n"),
            qPrintable(session.error()));

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

        const QJsonObject read = session.run(service.url(),
            { QStringLiteral(
                "--config-file=" KOLPEX_SOURCE_DIR "/tests/e2e/scripts/private-session-bus.conf") },
            "tests/e2e/scripts/price_alert.py",
            { QStringLiteral(KOLPEX_APP_BIN), level,
                daemon ? QStringLiteral("dunst") : QStringLiteral("none") },
            150'000);
        QVERIFY2(!read.isEmpty(), qPrintable(session.error()));

        // Kept where the user's settings are, in the documented form.
        QFile alerts(session.in("config") + QStringLiteral("/kolpex/alerts"));
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
