// HttpGet on an http+unix:// URL: a scripted server on a Unix socket, each way an answer can come.

#include "platform/httpget.h"
#include "platform/localhttp.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

using Outcome = HttpGetResult::Outcome;

class TestLocalHttp final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void outcomes_data();
    void outcomes();
};

void TestLocalHttp::outcomes_data()
{
    QTest::addColumn<QByteArray>("answer"); // "NONE": no socket at all
    QTest::addColumn<bool>("closes"); // after the answer; else it stalls
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("reason");

    QTest::newRow("whole answer") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello") << false
                                  << int(Outcome::Complete) << 200 << QByteArray("hello") << QByteArray();
    QTest::newRow("ended by the close")
        << QByteArray("HTTP/1.1 200 OK\r\n\r\nhello") << true << int(Outcome::Complete) << 200
        << QByteArray("hello") << QByteArray();
    QTest::newRow("chunked") << QByteArray(
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nhel\r\n2\r\nlo\r\n0\r\n\r\n")
                             << true << int(Outcome::Complete) << 200 << QByteArray("hello") << QByteArray();
    QTest::newRow("reason") << QByteArray(
        "HTTP/1.1 503 No\r\nX-Kolpex-Reason: yahoo: HTTP 429\r\nContent-Length: 0\r\n\r\n")
                            << false << int(Outcome::Complete) << 503 << QByteArray()
                            << QByteArray("yahoo: HTTP 429");
    QTest::newRow("cut short") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nhello") << true
                               << int(Outcome::Incomplete) << 200 << QByteArray("hello") << QByteArray();
    QTest::newRow("stalls after the head")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nhel") << false << int(Outcome::Incomplete)
        << 200 << QByteArray("hel") << QByteArray();
    QTest::newRow("not HTTP") << QByteArray("SSH-2.0-OpenSSH\r\n\r\n") << true << int(Outcome::Incomplete)
                              << 0 << QByteArray("SSH-2.0-OpenSSH\r\n") << QByteArray();
    QTest::newRow("over the bound") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\n")
            + QByteArray(40, 'x') << false
                                    << int(Outcome::Truncated) << 200 << QByteArray(32, 'x') << QByteArray();
    QTest::newRow("silent") << QByteArray() << false << int(Outcome::Unreachable) << 0 << QByteArray()
                            << QByteArray();
    QTest::newRow("no socket") << QByteArray("NONE") << false << int(Outcome::Unreachable) << 0
                               << QByteArray() << QByteArray();
}

void TestLocalHttp::outcomes()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, closes);
    QFETCH(int, outcome);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, reason);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a socket"));
    QLocalServer server;
    QByteArray request;
    QList<QPointer<QLocalSocket>> clients;
    if (answer != "NONE") {
        QVERIFY(server.listen(path));
        connect(&server, &QLocalServer::newConnection, this, [&] {
            QLocalSocket* client = server.nextPendingConnection();
            clients.append(client);
            connect(client, &QLocalSocket::readyRead, client, [&, client] {
                request += client->readAll();
                if (!request.endsWith("\r\n\r\n"))
                    return;
                client->write(answer);
                client->flush();
                if (closes)
                    client->disconnectFromServer();
            });
        });
    }

    HttpGetOptions options;
    options.timeoutMs = 300;
    options.maxBodyBytes = 32;
    const std::string url = LocalServiceUrl(QFile::encodeName(path).toStdString(), "/prefix");
    const HttpGetResult result = HttpGet(url + "/detail/stock_quote?Symbol=US:MSFT", options);
    QCOMPARE(int(result.outcome), outcome);
    QCOMPARE(result.httpStatus, status);
    QCOMPARE(QByteArray::fromStdString(result.body), body);
    QCOMPARE(QByteArray::fromStdString(result.serviceReason), reason);
    if (answer != "NONE")
        QVERIFY2(request.startsWith("GET /prefix/detail/stock_quote?Symbol=US:MSFT HTTP/1.1\r\n"),
            request.constData());
}

QTEST_GUILESS_MAIN(TestLocalHttp)
#include "tst_localhttp.moc"
