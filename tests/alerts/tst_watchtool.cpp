// kolpex-quote watch against the stand-in service: one printed line a crossing however many
// quotes stay beyond the line, the alerts from the command line or from the alerts file, and
// Ctrl+C (a real SIGINT) as a normal end. No session bus here: the desktop is not told, the
// terminal still is.
#include "support/serviceprocess.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <csignal>

class TestWatchTool final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void printsEachCrossingOnce_data()
    {
        QTest::addColumn<bool>("fromFile");
        QTest::newRow("--above") << false;
        QTest::newRow("the alerts file") << true;
    }

    void printsEachCrossingOnce()
    {
        QFETCH(bool, fromFile);
        const QStringList serviceArguments { QStringLiteral("--lists"), QStringLiteral(KOLPEX_DATA_DIR),
            QStringLiteral("--now"), QStringLiteral("2026-02-10T11:00:00-05:00") };
        QuoteServiceProcess service;
        QVERIFY2(service.start(serviceArguments, 0, false), qPrintable(service.error()));
        const double price
            = QuoteServiceProcess::Dump(QStringLiteral("US:MSFT"), serviceArguments)[u"last"].toDouble();
        QVERIFY(price > 3);
        const QString level = QString::number(std::floor(price) - 1, 'f', 2);

        QTemporaryDir config;
        QStringList args { QStringLiteral("watch"), QStringLiteral("US:MSFT"), QStringLiteral("--every"),
            QStringLiteral("1") };
        if (fromFile) {
            QVERIFY(QDir().mkpath(config.filePath(QStringLiteral("kolpex"))));
            QFile file(config.filePath(QStringLiteral("kolpex/alerts")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("US:AAPL above 1\nUS:MSFT above " + level.toLatin1() + '\n');
        } else {
            args << QStringLiteral("--above") << level;
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KOLPEX_QUOTE_SERVICE"), QString::fromLatin1(service.url()));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
            QStringLiteral("unix:path=") + config.filePath(QStringLiteral("no-bus")));
        QProcess watch;
        watch.setProcessEnvironment(env);
        watch.start(QStringLiteral(KOLPEX_TOOL_BIN), args);
        QVERIFY(watch.waitForStarted(5000));
        // The first quote is beyond the line; the ones after it stay there.
        QVERIFY(watch.waitForReadyRead(10'000));
        QTest::qWait(3500);
        ::kill(static_cast<pid_t>(watch.processId()), SIGINT);
        QVERIFY(watch.waitForFinished(10'000));
        QCOMPARE(watch.exitStatus(), QProcess::NormalExit);
        QCOMPARE(watch.exitCode(), 0);
        service.stop();

        const QList<QByteArray> lines = watch.readAllStandardOutput().trimmed().split('\n');
        QCOMPARE(lines.size(), 1);
        const QRegularExpression line(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d MSFT \\d+\\.\\d\\d above %1$")
                .arg(QRegularExpression::escape(level)));
        QVERIFY2(line.match(QString::fromLatin1(lines.at(0))).hasMatch(), lines.at(0).constData());
        QVERIFY2(service.output().count("MSFT") >= 3, service.output().constData());
        QVERIFY(watch.readAllStandardError().contains("no desktop notifications"));
    }
};

QTEST_GUILESS_MAIN(TestWatchTool)
#include "tst_watchtool.moc"
