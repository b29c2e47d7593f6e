// The README's nginx lines, read from the README so that they cannot drift, in front of a service:
// under 200 clients on 5 symbols only a few requests a cache period may reach the service.

#include "support/scriptedhttpserver.h"
#include "support/serviceprocess.h"

#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kListsDir = QStringLiteral(KOLPEX_DATA_DIR);
const QByteArray kPrefix = "5d1c0e7a9b3f42c6a8e1d4b7f0c2a9e3"; // the README's own example
constexpr int kCacheSeconds = 2;
constexpr int kRunSeconds = 6;
constexpr int kSymbols = 5;

// The indented block from "proxy_cache_path" to the server's closing brace, unindented.
QByteArray ReadmeNginxLines()
{
    QFile readme(QStringLiteral(KOLPEX_SOURCE_DIR "/README.md"));
    if (!readme.open(QIODevice::ReadOnly))
        return {};
    QByteArray lines;
    bool inside = false;
    for (const QByteArray& line : readme.readAll().split('\n')) {
        if (!inside && line.startsWith("    proxy_cache_path "))
            inside = true;
        if (!inside)
            continue;
        lines += line.mid(4) + '\n';
        if (line == "    }")
            break;
    }
    return lines;
}

} // namespace

class TestNginxCache final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fewRequestsReachTheService();
};

void TestNginxCache::fewRequestsReachTheService()
{
    const QString nginx
        = QStandardPaths::findExecutable(QStringLiteral("nginx"), { QStringLiteral("/usr/sbin") });
    const QString wrk = QStandardPaths::findExecutable(QStringLiteral("wrk"));
    if (nginx.isEmpty() || wrk.isEmpty())
        QSKIP("needs nginx (nginx-light) and wrk");
    QByteArray lines = ReadmeNginxLines();
    QVERIFY2(lines.contains("proxy_cache_use_stale updating;") && lines.endsWith("}\n"), lines.constData());

    QuoteServiceProcess service;
    QVERIFY2(
        service.start({ QStringLiteral("--source"), QStringLiteral("simulated"), QStringLiteral("--lists"),
                          kListsDir, QStringLiteral("--cache-seconds"), QString::number(kCacheSeconds),
                          QStringLiteral("--path-prefix"), QString::fromLatin1(kPrefix) },
            0, false),
        qPrintable(service.error()));

    // Only the addresses and the cache's directory are this machine's.
    QTemporaryDir dir;
    const quint16 port = ScriptedHttpServer::unusedPort();
    QVERIFY(lines.contains("listen 192.0.2.10:8080;") && lines.contains("http://127.0.0.1:8765;"));
    lines.replace("192.0.2.10:8080", "127.0.0.1:" + QByteArray::number(port));
    lines.replace("127.0.0.1:8765", "127.0.0.1:" + QByteArray::number(service.port()));
    lines.replace("/var/cache/nginx/kolpex", QFile::encodeName(dir.filePath(QStringLiteral("cache"))));
    const QByteArray temp = QFile::encodeName(dir.path());
    QFile conf(dir.filePath(QStringLiteral("nginx.conf")));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("daemon off;\nmaster_process off;\npid " + temp + "/nginx.pid;\nerror_log " + temp
        + "/error.log;\nevents { worker_connections 1024; }\nhttp {\naccess_log off;\nclient_body_temp_path "
        + temp + "/body;\nproxy_temp_path " + temp + "/proxy;\nfastcgi_temp_path " + temp
        + "/fastcgi;\nuwsgi_temp_path " + temp + "/uwsgi;\nscgi_temp_path " + temp + "/scgi;\n" + lines
        + "}\n");
    conf.close();

    QProcess proxy;
    proxy.setProcessChannelMode(QProcess::MergedChannels);
    proxy.start(nginx,
        { QStringLiteral("-p"), dir.path(), QStringLiteral("-e"), dir.filePath(QStringLiteral("error.log")),
            QStringLiteral("-c"), conf.fileName() });
    QVERIFY(proxy.waitForStarted(5000));
    const auto stopProxy = qScopeGuard([&proxy] {
        proxy.terminate();
        if (!proxy.waitForFinished(5000))
            proxy.kill();
    });
    QTcpSocket probe;
    for (int i = 0; i < 50 && probe.state() != QAbstractSocket::ConnectedState; ++i) {
        probe.connectToHost(QStringLiteral("127.0.0.1"), port);
        if (!probe.waitForConnected(100))
            QTest::qWait(100);
    }
    QVERIFY2(probe.state() == QAbstractSocket::ConnectedState, proxy.readAll().constData());
    probe.close();

    // The client URL carries the service's prefix, as the README says.
    QFile script(dir.filePath(QStringLiteral("symbols.lua")));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("local symbols = { \"MSFT\", \"AAPL\", \"IBM\", \"INTC\", \"CSCO\" }\nlocal n = 0\n"
                 "request = function()\n  n = n + 1\n  return wrk.format(\"GET\", \"/"
        + kPrefix + "/detail/stock_quote?Symbol=US:\" .. symbols[n % " + QByteArray::number(kSymbols)
        + " + 1])\nend\n");
    script.close();
    QProcess load;
    load.start(wrk,
        { QStringLiteral("-t2"), QStringLiteral("-c200"), QStringLiteral("-d%1s").arg(kRunSeconds),
            QStringLiteral("-s"), script.fileName(), QStringLiteral("http://127.0.0.1:%1/").arg(port) });
    QVERIFY(load.waitForFinished((kRunSeconds + 30) * 1000));
    const QByteArray report = load.readAllStandardOutput();
    QVERIFY2(service.stop(), service.output().constData());

    const int served = int(service.output().count(" GET /detail/stock_quote?Symbol=US:"));
    QVERIFY2(report.contains(" requests in ") && !report.contains("Non-2xx"), report.constData());
    const QByteArray before = report.left(report.indexOf(" requests in "));
    const qlonglong requests = before.mid(before.lastIndexOf('\n') + 1).trimmed().toLongLong();
    QVERIFY2(requests > 1000, report.constData());
    qInfo("%d of %lld requests reached the service", served, requests);
    // Each symbol once a cache period (and once more at the edges), however many clients wait.
    const int bound = kSymbols * (kRunSeconds / kCacheSeconds + 2);
    QVERIFY2(served >= kSymbols && served <= bound,
        qPrintable(QStringLiteral("%1 requests reached the service, at most %2 expected\n%3")
                       .arg(served)
                       .arg(bound)
                       .arg(QString::fromLatin1(service.output()))));
}

QTEST_GUILESS_MAIN(TestNginxCache)
#include "tst_nginxcache.moc"
