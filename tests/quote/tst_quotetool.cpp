#include "support/scriptedhttpserver.h"
#include "support/serviceprocess.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run Tool(const QStringList& args, const QByteArray& service = {})
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("America/New_York"));
    if (!service.isEmpty())
        env.insert(QStringLiteral("KOLPEX_QUOTE_SERVICE"), QString::fromLatin1(service));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(KOLPEX_TOOL_BIN), args);
    // Served while waiting: the scripted server lives on this thread. A tool that never started
    // (its binary being relinked) or never ends is a failed run, not a wait for ctest's time-out.
    const QDeadlineTimer deadline(60'000);
    while (process.state() != QProcess::NotRunning && !process.waitForFinished(20) && !deadline.hasExpired())
        QCoreApplication::processEvents();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
    const bool ended
        = process.error() != QProcess::FailedToStart && process.exitStatus() == QProcess::NormalExit;
    return { ended ? process.exitCode() : -1, process.readAllStandardOutput(),
        process.readAllStandardError() };
}

const QString kFull = QStringLiteral(KOLPEX_TEST_DATA "/pages/full.html");

} // namespace

class TestQuoteTool final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parsePrintsNameAndInfoLines();
    void parseJson();
    void usageErrors_data();
    void usageErrors();
    void failedParse();
    void parseStopsAtThePageBound();
    void fetchUnreachable();
    void fetchFromServer();
    void fetchTellsTheServiceReason();
    void fetchEscapesTheReason();
};

void TestQuoteTool::parsePrintsNameAndInfoLines()
{
    const Run run = Tool({ QStringLiteral("parse"), kFull });
    QCOMPARE(run.exitCode, 0);
    const QList<QByteArray> lines = run.out.split('\n');
    QCOMPARE(lines.size(), 26); // name, 24 lines, and the empty rest after the last newline
    QCOMPARE(lines[0], QByteArray("XYZ Corporation"));
    QCOMPARE(lines[1], QByteArray("Last: 1234.50"));
    QCOMPARE(lines[24], QByteArray("Delayed: 15 minutes"));
    QVERIFY(run.err.isEmpty());
}

void TestQuoteTool::parseJson()
{
    const Run run = Tool({ QStringLiteral("parse"), kFull, QStringLiteral("--company"),
        QString::fromUtf8("Caf\xC3\xA9 \"Quote\""), QStringLiteral("--json") });
    QCOMPARE(run.exitCode, 0);
    QJsonParseError error;
    const QJsonObject o = QJsonDocument::fromJson(run.out, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(o.keys().size(), 27);
    QCOMPARE(o.value(QStringLiteral("company")).toString(), QString::fromUtf8("Caf\xC3\xA9 \"Quote\""));
    QCOMPARE(o.value(QStringLiteral("last")).toDouble(), 1234.5);
    QCOMPARE(o.value(QStringLiteral("yearLow")).toDouble(), 980.1);
    QCOMPARE(o.value(QStringLiteral("delayMinutes")).toInt(), 15);
    QCOMPARE(o.value(QStringLiteral("change")).toString(), QStringLiteral("+12.25 (+1.00%)"));
    QVERIFY(o.value(QStringLiteral("quoteTime")).toDouble() > 0);
    QVERIFY(run.out.startsWith("{\"company\":"));
    QVERIFY(run.out.indexOf("\"delayMinutes\"") < run.out.indexOf("\"last\""));
    QVERIFY(run.out.indexOf("\"sales\"") < run.out.indexOf("\"quoteTime\""));
}

void TestQuoteTool::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("fetch without colon") << QStringList { QStringLiteral("fetch"), QStringLiteral("XYZ") };
    QTest::newRow("fetch without symbol") << QStringList { QStringLiteral("fetch"), QStringLiteral("US:") };
    QTest::newRow("company without name")
        << QStringList { QStringLiteral("fetch"), QStringLiteral("US:XYZ"), QStringLiteral("--company") };
    QTest::newRow("parse without file") << QStringList { QStringLiteral("parse") };
    QTest::newRow("unknown option") << QStringList { QStringLiteral("parse"), kFull, QStringLiteral("--x") };
    QTest::newRow("two files") << QStringList { QStringLiteral("parse"), kFull, kFull };
}

void TestQuoteTool::usageErrors()
{
    QFETCH(QStringList, args);
    const Run run = Tool(args);
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
}

void TestQuoteTool::failedParse()
{
    const Run run = Tool({ QStringLiteral("parse"), QStringLiteral(KOLPEX_TEST_DATA "/pages/bad_time.html"),
        QStringLiteral("--country"), QStringLiteral("US"), QStringLiteral("--symbol"),
        QStringLiteral("XYZ") });
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, QByteArray("Sorry, no data available for:\n\nXYZ Corporation XYZ US.\n"));
    QVERIFY(run.out.isEmpty());
}

void TestQuoteTool::parseStopsAtThePageBound()
{
    const Run run = Tool({ QStringLiteral("parse"), QStringLiteral("/dev/zero") });
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.startsWith("kolpex-quote: /dev/zero: read the first 16777216 bytes only\n"),
        run.err.constData());
}

void TestQuoteTool::fetchUnreachable()
{
    const QByteArray service = "http://127.0.0.1:" + QByteArray::number(ScriptedHttpServer::unusedPort());
    const Run run = Tool({ QStringLiteral("fetch"), QStringLiteral("US:XYZ") }, service);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(
        run.err, QByteArray("No Internet connection found.\nSorry, no data available for:\n\n XYZ US.\n"));
}

void TestQuoteTool::fetchFromServer()
{
    ScriptedHttpServer server;
    QFile page(kFull);
    QVERIFY(page.open(QIODevice::ReadOnly));
    server.enqueue(ScriptedHttpServer::reply(200, page.readAll(), { 100, 100 }, 5));
    const Run run
        = Tool({ QStringLiteral("fetch"), QStringLiteral("US:XYZ"), QStringLiteral("--json") }, server.url());
    QCOMPARE(run.exitCode, 0);
    const QJsonObject o = QJsonDocument::fromJson(run.out).object();
    QCOMPARE(o.value(QStringLiteral("company")).toString(), QStringLiteral("XYZ Corporation"));
    QCOMPARE(o.value(QStringLiteral("previousClose")).toDouble(), 1222.25);
}

// A live service whose provider refuses: the tool says why there is no quote, as the service saw it.
void TestQuoteTool::fetchTellsTheServiceReason()
{
    QuoteServiceProcess service;
    const QString refused = QStringLiteral("yahoo=http://127.0.0.1:%1").arg(ScriptedHttpServer::unusedPort());
    QVERIFY2(service.start({ QStringLiteral("--source"), QStringLiteral("yahoo"),
                 QStringLiteral("--upstream"), refused }),
        qPrintable(service.error()));
    const Run run = Tool({ QStringLiteral("fetch"), QStringLiteral("US:MSFT") }, service.url());
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.startsWith("Sorry, no data available for:\n\n MSFT US.\n"), run.err.constData());
    const qsizetype at = run.err.indexOf("kolpex-quote: the quote service says: ");
    QVERIFY2(at > 0 && run.err.indexOf("yahoo", at) > at, run.err.constData());
}

void TestQuoteTool::fetchEscapesTheReason()
{
    ScriptedHttpServer server;
    QByteArray head = ScriptedHttpServer::head(503, 0);
    head.insert(head.size() - 2, "X-Kolpex-Reason: \x1b]0;owned\x07\x1b[2Jgone\r\n");
    server.enqueue({ ScriptedHttpServer::Action::send(head), ScriptedHttpServer::Action::close() });
    const Run run = Tool({ QStringLiteral("fetch"), QStringLiteral("US:XYZ") }, server.url());
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.endsWith("kolpex-quote: the quote service says: \\x1B]0;owned\\x07\\x1B[2Jgone\n"),
        run.err.constData());
}

QTEST_GUILESS_MAIN(TestQuoteTool)
#include "tst_quotetool.moc"
