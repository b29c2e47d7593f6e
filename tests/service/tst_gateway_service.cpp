// The live gateway as a user runs it: the service started with --source and --upstream pointing
// at a provider the test scripts on loopback, read back through `kolpex-quote fetch`. Also its
// settings file, its token file, the socket a service manager hands over, and connections that
// never finish their request.
#include "options/options.h"
#include "support/loopbacksocket.h"
#include "support/routedprovider.h"
#include "support/scriptedhttpserver.h"
#include "support/serviceprocess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <cerrno>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kListsDir = QStringLiteral(KOLPEX_DATA_DIR);
const QByteArray kToken = "tok3nN0tToBeSeen";

using Provider = RoutedProvider;
using Answer = RoutedProvider::Answer;

QByteArray YahooQuote(const QByteArray& symbol, double price, const QByteArray& name)
{
    return "{\"quoteResponse\":{\"result\":[{\"symbol\":\"" + symbol + "\",\"regularMarketPrice\":"
        + QByteArray::number(price) + ",\"regularMarketChange\":1.25,\"regularMarketChangePercent\":0.5,"
        + "\"regularMarketPreviousClose\":" + QByteArray::number(price - 1.25)
        + ",\"regularMarketTime\":1709653320,\"regularMarketVolume\":1234567,\"longName\":\"" + name
        + "\",\"fullExchangeName\":\"NasdaqGS\"}],\"error\":null}}";
}

// Yahoo's session and slow figures answer; the quote is up to each test.
void ServeYahooSession(Provider& p)
{
    p.on("/", { { 404, "no page", "Set-Cookie: A3=d=session; Path=/; HttpOnly\r\n" } });
    p.on("/v1/test/getcrumb", { { 200, "crumb/7.x" } });
    p.on("/v10/finance/quoteSummary/*",
        { { 200,
            "{\"quoteSummary\":{\"result\":[{\"defaultKeyStatistics\":{\"beta\":{\"raw\":1.1,\"fmt\":\"1."
            "10\"}}}]"
            ","
            "\"error\":null}}" } });
}

struct Run {
    int exit = -1;
    QByteArray out, err;
};

// `kolpex-quote fetch` against the service, with the test's event loop running meanwhile so the
// provider in this process keeps answering.
std::unique_ptr<QProcess> StartFetch(const QByteArray& serviceUrl, const QString& security)
{
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KOLPEX_QUOTE_SERVICE"), QString::fromLatin1(serviceUrl));
    p->setProcessEnvironment(env);
    p->start(
        QStringLiteral(KOLPEX_TOOL_BIN), { QStringLiteral("fetch"), security, QStringLiteral("--json") });
    return p;
}

Run Wait(QProcess& p, int ms = 30000)
{
    QDeadlineTimer deadline(ms);
    while (p.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(10);
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(2000);
    }
    return { p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
        p.readAllStandardError() };
}

Run Fetch(const QByteArray& serviceUrl, const QString& security)
{
    auto p = StartFetch(serviceUrl, security);
    return Wait(*p);
}

double Last(const Run& r)
{
    return QJsonDocument::fromJson(r.out).object().value(QStringLiteral("last")).toDouble(-1);
}

QStringList LiveArgs(const Provider& yahoo, const QStringList& more = {})
{
    return QStringList { QStringLiteral("--lists"), kListsDir, QStringLiteral("--source"),
        QStringLiteral("yahoo"), QStringLiteral("--upstream"),
        QStringLiteral("yahoo=") + yahoo.url().toString() }
    + more;
}

// Yahoo with a session but failing every quote and chart, and finnhub behind it in the chain.
QStringList FailingYahooThenFinnhub(Provider& yahoo, const Provider& finnhub, const QStringList& more)
{
    ServeYahooSession(yahoo);
    yahoo.on("/v7/finance/quote", { { 500, "{}" } });
    yahoo.on("/v8/finance/chart/*", { { 500, "{}" } });
    return LiveArgs(yahoo,
        QStringList { QStringLiteral("--source"), QStringLiteral("yahoo,finnhub"),
            QStringLiteral("--upstream"), QStringLiteral("finnhub=") + finnhub.url().toString() }
            + more);
}

// The service's whole run: stdout and stderr, exit status, for options it must refuse.
Run RunService(
    const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KOLPEX_SERVICE_BIN),
        QStringList { QStringLiteral("--port"), QStringLiteral("0") } + args);
    if (!p.waitForStarted(5000))
        return {};
    // one that starts anyway is stopped once it has said where it listens
    QDeadlineTimer deadline(10000);
    while (p.state() == QProcess::Running && !deadline.hasExpired()) {
        p.waitForReadyRead(100);
        if (p.peek(4096).contains("listening on ")) {
            p.terminate();
            break;
        }
    }
    p.waitForFinished(10000);
    return { p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError() };
}

// The service started by a shell line that ends in exec "$0" "$@"; the address it says it listens on.
QByteArray StartThroughShell(QProcess& service, const QString& script, const QStringList& args)
{
    service.setProgram(QStringLiteral("/bin/sh"));
    service.setArguments(QStringList { QStringLiteral("-c"), script, QStringLiteral(KOLPEX_SERVICE_BIN) }
        + args
        + QStringList { QStringLiteral("--lists"), kListsDir, QStringLiteral("--quiet"),
            QStringLiteral("--source"), QStringLiteral("simulated") });
    service.start();
    const QDeadlineTimer deadline(10000);
    while (!service.canReadLine() && service.state() != QProcess::NotRunning && !deadline.hasExpired())
        service.waitForReadyRead(100);
    const QByteArray line = service.readLine().trimmed();
    return line.startsWith("listening on ") ? line.mid(13) : line;
}

} // namespace

class TestGatewayService final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void yahooQuoteServedAndCached();
    void fallsBackToTheNextSource();
    void failingSourceIsLeftOut();
    void staleQuoteThenNoData();
    void simultaneousWindowsShareOneRequest();
    void slowSymbolDoesNotHoldUpAnother();
    void oddSymbolsNeverGoUpstream_data();
    void oddSymbolsNeverGoUpstream();
    void configFile_data();
    void configFile();
    void badConfigFileIsRefused_data();
    void badConfigFileIsRefused();
    void tokenFile();
    void servesAnInheritedSocket();
    void keepsAnsweringAtTheDescriptorLimit();
    void descriptorLimit_data();
    void descriptorLimit();
    void idleAndHalfSentConnections_data();
    void idleAndHalfSentConnections();
};

void TestGatewayService::yahooQuoteServedAndCached()
{
    Provider yahoo;
    ServeYahooSession(yahoo);
    yahoo.on("/v7/finance/quote", { { 200, YahooQuote("MSFT", 412.34, "Microsoft Corporation") } });
    QuoteServiceProcess service;
    QVERIFY2(service.start(LiveArgs(yahoo), 0, false), qPrintable(service.error()));
    for (int i = 0; i < 3; ++i) {
        const Run r = Fetch(service.url(), QStringLiteral("US:MSFT"));
        QCOMPARE(r.exit, 0);
        QCOMPARE(Last(r), 412.34);
        QVERIFY2(r.out.contains("Microsoft Corporation"), r.out.constData());
    }
    QVERIFY(service.stop());
    QCOMPARE(yahoo.count("/v7/finance/quote"), 1); // the other two came from the cache
    QCOMPARE(yahoo.count("/v1/test/getcrumb"), 1);
    const QByteArray log = service.output();
    QVERIFY2(log.contains("Symbol=US:MSFT 200") && log.contains(" yahoo"), log.constData());
    QVERIFY2(log.contains("cached from yahoo"), log.constData());
}

void TestGatewayService::fallsBackToTheNextSource()
{
    Provider yahoo, finnhub;
    finnhub.on("/api/v1/quote",
        { { 200,
            "{\"c\":98.76,\"d\":0.5,\"dp\":0.51,\"h\":99.1,\"l\":97.2,\"o\":98.0,\"pc\":98.26,\"t\":"
            "1709653320}" } });
    finnhub.on("/api/v1/stock/profile2", { { 200, "{\"name\":\"Second Source Inc\"}" } });
    finnhub.on("/api/v1/stock/metric", { { 200, "{\"metric\":{}}" } });
    QTemporaryDir dir;
    const QString tokenPath = dir.filePath(QStringLiteral("finnhub.token"));
    QFile token(tokenPath);
    QVERIFY(token.open(QIODevice::WriteOnly) && token.write(kToken + '\n') > 0);
    token.close();
    QVERIFY(::chmod(QFile::encodeName(tokenPath).constData(), 0600) == 0);

    QuoteServiceProcess service;
    QVERIFY2(
        service.start(
            FailingYahooThenFinnhub(yahoo, finnhub, { QStringLiteral("--token-file"), tokenPath }), 0, false),
        qPrintable(service.error()));
    const Run r = Fetch(service.url(), QStringLiteral("US:IBM"));
    QVERIFY(service.stop());
    QCOMPARE(r.exit, 0);
    QCOMPARE(Last(r), 98.76);
    QVERIFY(r.out.contains("Second Source Inc"));
    QVERIFY(yahoo.count("/v7/finance/quote") >= 1);
    QCOMPARE(finnhub.count("/api/v1/quote"), 1);
    QVERIFY(
        finnhub.heads().first().contains("X-Finnhub-Token: " + kToken)); // the key goes to the provider ...
    const QByteArray log = service.output();
    QVERIFY2(log.contains("finnhub after yahoo:"), log.constData()); // ... and the log says why
    QVERIFY(!log.contains(kToken)); // but never into the log
}

void TestGatewayService::failingSourceIsLeftOut()
{
    Provider yahoo, finnhub;
    finnhub.on("/api/v1/quote", { { 200, "{\"c\":20.5,\"d\":0.5,\"dp\":2.5,\"pc\":20,\"t\":1709653320}" } });
    QuoteServiceProcess service;
    qputenv("FINNHUB_TOKEN", kToken);
    const bool started = service.start(
        FailingYahooThenFinnhub(yahoo, finnhub, { QStringLiteral("--cache-seconds"), QStringLiteral("0") }),
        0, false);
    qunsetenv("FINNHUB_TOKEN");
    QVERIFY2(started, qPrintable(service.error()));
    qsizetype afterThree = 0;
    for (int i = 1; i <= 5; ++i) {
        const Run r = Fetch(service.url(), QStringLiteral("US:XOM"));
        QCOMPARE(Last(r), 20.5);
        if (i == 3)
            afterThree = yahoo.heads().size();
    }
    QVERIFY(service.stop());
    QVERIFY(afterThree > 0);
    QCOMPARE(yahoo.heads().size(), afterThree); // three failures in a row: yahoo left alone since
    QCOMPARE(finnhub.count("/api/v1/quote"), 5);
    QCOMPARE(service.output().count("yahoo: skipped after 3 failures in a row"), 2);
}

void TestGatewayService::staleQuoteThenNoData()
{
    Provider yahoo;
    ServeYahooSession(yahoo);
    yahoo.on("/v7/finance/quote", { { 200, YahooQuote("KO", 61.5, "Cola Company") } });
    QuoteServiceProcess service;
    QVERIFY(service.start(LiveArgs(yahoo,
                              { QStringLiteral("--cache-seconds"), QStringLiteral("1"),
                                  QStringLiteral("--stale-seconds"), QStringLiteral("3") }),
        0, false));
    QCOMPARE(Last(Fetch(service.url(), QStringLiteral("US:KO"))), 61.5);

    yahoo.on("/v7/finance/quote", { { 503, "{}" } });
    yahoo.on("/v8/finance/chart/*", { { 503, "{}" } });
    QTest::qWait(1200);
    const Run stale = Fetch(service.url(), QStringLiteral("US:KO"));
    QCOMPARE(stale.exit, 0);
    QCOMPARE(Last(stale), 61.5); // served as it was

    QTest::qWait(2500); // now older than the stale time
    const Run none = Fetch(service.url(), QStringLiteral("US:KO"));
    QVERIFY(service.stop());
    QCOMPARE(none.exit, 1);
    QVERIFY2(none.err.contains("Sorry, no data available for:"), none.err.constData());
    QVERIFY2(service.output().contains("Symbol=US:KO 502 0 bytes"), service.output().constData());
    QVERIFY(service.output().contains("stale from yahoo"));
}

void TestGatewayService::simultaneousWindowsShareOneRequest()
{
    Provider yahoo;
    ServeYahooSession(yahoo);
    yahoo.on("/v7/finance/quote",
        { { 200, YahooQuote("GE", 150.25, "General Things"), {}, RoutedProvider::Mode::Whole, 600 } });
    QuoteServiceProcess service;
    QVERIFY(service.start(LiveArgs(yahoo)));
    std::vector<std::unique_ptr<QProcess>> windows;
    for (int i = 0; i < 8; ++i)
        windows.push_back(StartFetch(service.url(), QStringLiteral("US:GE")));
    for (auto& w : windows) {
        const Run r = Wait(*w);
        QCOMPARE(r.exit, 0);
        QCOMPARE(Last(r), 150.25);
    }
    QVERIFY(service.stop());
    QCOMPARE(yahoo.count("/v7/finance/quote"), 1);
}

void TestGatewayService::slowSymbolDoesNotHoldUpAnother()
{
    Provider yahoo;
    ServeYahooSession(yahoo);
    yahoo.on("/v7/finance/quote", { { 200, YahooQuote("F", 12.5, "Fast Motors") } });
    QuoteServiceProcess service;
    QVERIFY(service.start(LiveArgs(yahoo)));
    QCOMPARE(Last(Fetch(service.url(), QStringLiteral("US:F"))), 12.5); // session made, F cached
    yahoo.on("/v7/finance/quote",
        { { 200, YahooQuote("T", 17.0, "Slow Telephone"), {}, RoutedProvider::Mode::Whole, 4000 } });
    QElapsedTimer timer;
    timer.start();
    auto slow = StartFetch(service.url(), QStringLiteral("US:T"));
    QTRY_COMPARE_WITH_TIMEOUT(yahoo.count("/v7/finance/quote"), 2, 10000); // the slow one is upstream
    yahoo.on("/v7/finance/quote", { { 200, YahooQuote("C", 55.0, "Quick Bank") } });
    const Run quick = Fetch(service.url(), QStringLiteral("US:C"));
    const qint64 quickMs = timer.elapsed();
    const Run late = Wait(*slow);
    QVERIFY(service.stop());
    QCOMPARE(Last(quick), 55.0);
    QVERIFY2(quickMs < 3500, qPrintable(QString::number(quickMs))); // answered while T still waited
    QCOMPARE(Last(late), 17.0);
}

void TestGatewayService::oddSymbolsNeverGoUpstream_data()
{
    QTest::addColumn<QString>("security");
    QTest::newRow("slash") << QStringLiteral("US:A/B");
    QTest::newRow("query") << QStringLiteral("US:A&symbols=B");
    QTest::newRow("too long") << QStringLiteral("US:ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    QTest::newRow("three-letter country") << QStringLiteral("USA:MSFT");
}

void TestGatewayService::oddSymbolsNeverGoUpstream()
{
    QFETCH(QString, security);
    Provider yahoo;
    ServeYahooSession(yahoo);
    QuoteServiceProcess service;
    QVERIFY(service.start(LiveArgs(yahoo), 0, false));
    const Run r = Fetch(service.url(), security);
    QVERIFY(service.stop());
    QCOMPARE(r.exit, 1);
    QVERIFY(r.err.contains("Sorry, no data available for:"));
    QVERIFY2(yahoo.heads().isEmpty(), yahoo.heads().value(0).constData());
    QVERIFY(service.output().contains("refused symbol"));
}

void TestGatewayService::configFile_data()
{
    QTest::addColumn<QByteArray>("file"); // empty: no file at all
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("cache");
    QTest::addColumn<int>("stale");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("tokenFile"); // relative to the file's directory when relative

    QTest::newRow("no file: defaults")
        << QByteArray() << QStringList() << QStringLiteral("yahoo,finnhub,cnbc") << 60 << 900 << 8765
        << QString();
    QTest::newRow("every key") << QByteArray(
        "# live\nsource = yahoo, finnhub\ncache-seconds=120\n  stale-seconds = 1800\n\n"
        "token-file = keys/finnhub\naddress = 127.0.0.2\nport = 9000\n")
                               << QStringList() << QStringLiteral("yahoo,finnhub") << 120 << 1800 << 9000
                               << QStringLiteral("keys/finnhub");
    QTest::newRow("command line wins") << QByteArray("source = finnhub\ncache-seconds = 5\nport = 9000\n")
                                       << QStringList { QStringLiteral("--source"), QStringLiteral("yahoo"),
                                              QStringLiteral("--port"), QStringLiteral("8765") }
                                       << QStringLiteral("yahoo") << 5 << 900 << 8765 << QString();
    QTest::newRow("comments and case")
        << QByteArray("# nothing set\n#source = yahoo\nSOURCE = Yahoo\n") << QStringList()
        << QStringLiteral("yahoo") << 60 << 900 << 8765 << QString();
}

void TestGatewayService::configFile()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, args);
    QFETCH(QString, source);
    QFETCH(int, cache);
    QFETCH(int, stale);
    QFETCH(int, port);
    QFETCH(QString, tokenFile);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quote-service.conf"));
    if (!file.isEmpty()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file);
    }
    ServiceOptions options;
    QString error;
    QVERIFY2(ParseOptions(QStringList { QStringLiteral("--config"), path } + args, options, &error),
        qPrintable(error));
    QCOMPARE(options.sources.join(QLatin1Char(',')), source);
    QCOMPARE(options.cacheSeconds, cache);
    QCOMPARE(options.staleSeconds, stale);
    QCOMPARE(options.port, port);
    QCOMPARE(options.tokenFile, tokenFile.isEmpty() ? QString() : QDir(dir.path()).filePath(tokenFile));
    if (file.contains("address"))
        QCOMPARE(options.address, QStringLiteral("127.0.0.2"));
}

void TestGatewayService::badConfigFileIsRefused_data()
{
    QTest::addColumn<QByteArray>("file"); // "DIR": the path is a directory, "FIFO" a named pipe
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("no equals sign") << QByteArray("source yahoo\n") << QByteArray("quote-service.conf:1:");
    QTest::newRow("unknown key") << QByteArray("# ok\nsources = yahoo\n")
                                 << QByteArray(":2: unknown key: sources");
    QTest::newRow("unknown source") << QByteArray("source = bloomberg\n")
                                    << QByteArray("unknown source: bloomberg");
    QTest::newRow("simulated among live ones")
        << QByteArray("source = simulated, yahoo\n") << QByteArray("--source takes simulated");
    QTest::newRow("bad number") << QByteArray("cache-seconds = soon\n")
                                << QByteArray("bad cache seconds: soon");
    QTest::newRow("negative") << QByteArray("stale-seconds = -1\n") << QByteArray("bad stale seconds");
    QTest::newRow("empty value") << QByteArray("port =\n") << QByteArray("port needs a value");
    QTest::newRow("a directory") << QByteArray("DIR") << QByteArray("is a directory");
    QTest::newRow("a named pipe") << QByteArray("FIFO") << QByteArray("not a regular file");
}

void TestGatewayService::badConfigFileIsRefused()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, message);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quote-service.conf"));
    if (file == "DIR") {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("quote-service.conf")));
    } else if (file == "FIFO") {
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    } else {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file);
    }
    const Run r = RunService({ QStringLiteral("--config"), path });
    QCOMPARE(r.exit, 2);
    QVERIFY2(r.err.contains(message), r.err.constData());
    QVERIFY(!r.out.contains("listening on"));
}

void TestGatewayService::tokenFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("token"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(kToken + '\n');
    f.close();
    const QStringList args { QStringLiteral("--source"), QStringLiteral("finnhub"),
        QStringLiteral("--token-file"), path };
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("FINNHUB_TOKEN"));

    struct Case {
        int mode;
        bool starts;
        const char* message;
    };
    for (const Case c :
        { Case { 0644, false, "can be read by others" }, Case { 0640, false, "can be read by others" },
            Case { 0604, false, "can be read by others" }, Case { 0602, false, "can be written by others" },
            Case { 0620, false, "can be written by others" }, Case { 0600, true, "" },
            Case { 0400, true, "" } }) {
        QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(c.mode)) == 0);
        const Run r = RunService(args, env);
        QVERIFY2(r.out.contains("listening on") == c.starts, qPrintable(QString::number(c.mode, 8)));
        if (!c.starts) {
            QCOMPARE(r.exit, 2);
            QVERIFY2(r.err.contains(c.message), r.err.constData());
        }
        QVERIFY(!r.out.contains(kToken) && !r.err.contains(kToken));
    }

    // without a file the key comes from the environment; without either finnhub is left out of
    // the chain, and a chain of finnhub alone does not start
    const Run none = RunService({ QStringLiteral("--source"), QStringLiteral("finnhub") }, env);
    QCOMPARE(none.exit, 2);
    QVERIFY(none.err.contains("FINNHUB_TOKEN"));
    const Run rest = RunService({ QStringLiteral("--source"), QStringLiteral("yahoo,finnhub") }, env);
    QVERIFY2(rest.out.contains("live quotes from yahoo, cached"), rest.out.constData());
    QVERIFY(rest.err.contains("finnhub left out"));
    env.insert(QStringLiteral("FINNHUB_TOKEN"), QString::fromLatin1(kToken));
    QVERIFY(RunService({ QStringLiteral("--source"), QStringLiteral("finnhub") }, env)
                .out.contains("listening on"));
    const Run missing = RunService({ QStringLiteral("--source"), QStringLiteral("finnhub"),
                                       QStringLiteral("--token-file"), path + QStringLiteral("-gone") },
        env);
    QCOMPARE(missing.exit, 2);
    QVERIFY(missing.err.contains("cannot read token file"));
}

void TestGatewayService::servesAnInheritedSocket()
{
    // A listening socket made here and handed over as descriptor 3, the way systemd does it;
    // the shell's exec keeps its pid, so LISTEN_PID names the service.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    QVERIFY(fd >= 0);
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    QVERIFY(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0);
    QVERIFY(::listen(fd, 16) == 0);
    socklen_t length = sizeof addr;
    QVERIFY(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0);
    const quint16 port = ntohs(addr.sin_port);

    QProcess service;
    service.setChildProcessModifier([fd] { ::dup2(fd, 3); });
    // --port 1 would fail to bind: the service must not try
    const QByteArray said
        = StartThroughShell(service, QStringLiteral("LISTEN_PID=$$ LISTEN_FDS=1 exec \"$0\" \"$@\""),
            { QStringLiteral("--port"), QStringLiteral("1") });
    ::close(fd); // the service holds it now
    const QByteArray url = "http://127.0.0.1:" + QByteArray::number(port);
    QCOMPARE(said, url);
    const Run r = Fetch(url, QStringLiteral("US:MSFT"));
    service.terminate();
    QVERIFY(service.waitForFinished(10000));
    QCOMPARE(r.exit, 0);
    QVERIFY(Last(r) > 0);
    QCOMPARE(service.exitCode(), 0);
}

namespace {

// True once the other end has closed (an orderly close or a reset).
bool ClosedByPeer(int fd)
{
    char byte = 0;
    const ssize_t n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

} // namespace

void TestGatewayService::idleAndHalfSentConnections_data()
{
    QTest::addColumn<int>("idleMs");
    QTest::addColumn<int>("cap");
    QTest::addColumn<int>("sockets");
    QTest::addColumn<int>("openAfterRequest"); // descriptors the service holds for them, at most
    QTest::addColumn<int>("answerWithinMs");
    // while newcomers wait at the cap, connections that have said nothing for a while make room,
    // long before any idle time runs out
    QTest::newRow("beyond the cap") << 60'000 << 100 << 300 << 100 << 4000;
    QTest::newRow("idle time-out") << 1000 << 256 << 200 << 200 << 1000;
}

void TestGatewayService::idleAndHalfSentConnections()
{
    QFETCH(int, idleMs);
    QFETCH(int, cap);
    QFETCH(int, sockets);
    QFETCH(int, openAfterRequest); // at most
    QFETCH(int, answerWithinMs);
    QuoteServiceProcess service;
    QVERIFY(service.start({ QStringLiteral("--lists"), kListsDir, QStringLiteral("--idle-ms"),
        QString::number(idleMs), QStringLiteral("--max-connections"), QString::number(cap) }));
    std::vector<int> fds;
    const auto closeAll = qScopeGuard([&fds] {
        for (const int fd : fds)
            ::close(fd);
    });
    for (int i = 0; i < sockets; ++i) {
        const int fd = ConnectLoopback(service.port());
        QVERIFY(fd >= 0);
        fds.push_back(fd);
        if (i % 2) {
            const char part[] = "GET /detail/stock_quote?Symbol=US:MS"; // never finished
            QVERIFY(::send(fd, part, sizeof part - 1, MSG_NOSIGNAL) > 0);
        }
    }
    const auto open
        = [&fds] { return std::count_if(fds.begin(), fds.end(), [](int fd) { return !ClosedByPeer(fd); }); };

    // a real request among them is answered at once
    QElapsedTimer timer;
    timer.start();
    const Run r = Fetch(service.url(), QStringLiteral("US:MSFT"));
    QCOMPARE(r.exit, 0);
    QVERIFY(Last(r) > 0);
    QVERIFY2(timer.elapsed() < answerWithinMs, qPrintable(QString::number(timer.elapsed())));
    // the service holds no more of them than its cap (the rest wait in the kernel, not in it)
    const auto held
        = [&service] { return QDir(QStringLiteral("/proc/%1/fd").arg(service.processId())).count(); };
    QTRY_VERIFY2_WITH_TIMEOUT(
        held() <= uint(openAfterRequest) + 32, qPrintable(QString::number(held())), 1000);

    // after the idle time every one of them is closed, half-sent or not
    if (idleMs < 5000)
        QTRY_COMPARE_WITH_TIMEOUT(open(), qsizetype(0), 3 * idleMs);
    QVERIFY(service.running());
    QVERIFY(Last(Fetch(service.url(), QStringLiteral("US:IBM"))) > 0);
    QVERIFY(service.stop());
}

// CPU seconds a process has used, from /proc.
double CpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return double(fields.value(11).toLongLong() + fields.value(12).toLongLong())
        / double(::sysconf(_SC_CLK_TCK));
}

void TestGatewayService::keepsAnsweringAtTheDescriptorLimit()
{
    // Few descriptors and many clients: the cap has to fit under the limit, or accept() fails
    // over and over and the service spins without answering anyone.
    QProcess service;
    const QByteArray url = StartThroughShell(service, QStringLiteral("ulimit -n 96 && exec \"$0\" \"$@\""),
        { QStringLiteral("--port"), QStringLiteral("0") });
    QVERIFY2(url.startsWith("http://127.0.0.1:"), url.constData());
    const quint16 port = quint16(url.mid(url.lastIndexOf(':') + 1).toUInt());

    std::vector<int> fds;
    const auto closeAll = qScopeGuard([&fds] {
        for (const int fd : fds)
            ::close(fd);
    });
    for (int i = 0; i < 200; ++i) {
        const int fd = ConnectLoopback(port);
        QVERIFY(fd >= 0);
        fds.push_back(fd);
    }
    QTest::qWait(300);
    const double cpuBefore = CpuSeconds(service.processId());
    const Run r = Fetch(url, QStringLiteral("US:MSFT"));
    QTest::qWait(1000);
    const double cpuUsed = CpuSeconds(service.processId()) - cpuBefore;
    service.terminate();
    QVERIFY(service.waitForFinished(10000));
    QCOMPARE(r.exit, 0);
    QVERIFY(Last(r) > 0);
    QVERIFY2(cpuUsed < 0.5, qPrintable(QString::number(cpuUsed))); // not spinning
    QCOMPARE(service.exitCode(), 0);
}

void TestGatewayService::descriptorLimit_data()
{
    QTest::addColumn<QString>("ulimit");
    QTest::addColumn<QString>("sources");
    QTest::addColumn<QByteArray>("note"); // empty: the full cap, nothing said

    // the hard limit binds: the cap keeps its floor and the sources share the rest
    QTest::newRow("one source under 96")
        << QStringLiteral("-n 96") << QStringLiteral("yahoo")
        << QByteArray("96 descriptors: at most 16 connections and 32 upstream "
                      "requests per source at once");
    QTest::newRow("two sources under 96")
        << QStringLiteral("-n 96") << QStringLiteral("yahoo,cnbc")
        << QByteArray("96 descriptors: at most 16 connections and 16 upstream requests per source at once");
    // only the soft limit is low: it is raised to the hard one, and nothing is cut
    QTest::newRow("soft limit of 96")
        << QStringLiteral("-Sn 96") << QStringLiteral("yahoo,cnbc") << QByteArray();
}

void TestGatewayService::descriptorLimit()
{
    QFETCH(QString, ulimit);
    QFETCH(QString, sources);
    QFETCH(QByteArray, note);
    struct rlimit own { };
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &own) == 0);
    if (note.isEmpty() && own.rlim_max <= 96)
        QSKIP("the hard descriptor limit here is too low to raise to");
    const QString refused = QStringLiteral("http://127.0.0.1:%1").arg(ScriptedHttpServer::unusedPort());
    QProcess service;
    service.setProgram(QStringLiteral("/bin/sh"));
    service.setArguments(
        { QStringLiteral("-c"), QStringLiteral("ulimit %1 && exec \"$0\" \"$@\"").arg(ulimit),
            QStringLiteral(KOLPEX_SERVICE_BIN), QStringLiteral("--port"), QStringLiteral("0"),
            QStringLiteral("--quiet"), QStringLiteral("--lists"), kListsDir, QStringLiteral("--source"),
            sources, QStringLiteral("--upstream"), QStringLiteral("yahoo=") + refused,
            QStringLiteral("--upstream"), QStringLiteral("cnbc=") + refused });
    service.start();
    QByteArray out;
    const QDeadlineTimer deadline(10000);
    while (
        !out.contains("stale up to") && service.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        service.waitForReadyRead(100);
        out += service.readAllStandardOutput();
    }
    QFile limits(QStringLiteral("/proc/%1/limits").arg(service.processId()));
    QVERIFY(limits.open(QIODevice::ReadOnly));
    const QByteArray limitsText = limits.readAll();
    service.terminate();
    QVERIFY(service.waitForFinished(10000));
    out += service.readAllStandardOutput();
    const QList<QByteArray> files
        = limitsText.mid(limitsText.indexOf("Max open files")).split('\n').first().simplified().split(' ');
    QVERIFY2(files.size() >= 5, limitsText.constData());
    QCOMPARE(files.at(3), files.at(4)); // soft raised to hard
    if (note.isEmpty())
        QVERIFY2(!out.contains("descriptors: at most"), out.constData());
    else
        QVERIFY2(out.contains(note + '\n'), out.constData());
}

QTEST_GUILESS_MAIN(TestGatewayService)
#include "tst_gateway_service.moc"
