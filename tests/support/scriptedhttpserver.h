#pragma once

// ScriptedHttpServer: a loopback HTTP server that answers each connection exactly as the test
// scripted it, for tests of code that downloads over QNetworkAccessManager.
//
//   ScriptedHttpServer server;                       // listens on 127.0.0.1, a free port
//   server.enqueue(ScriptedHttpServer::reply(200, body, {10, 500}, 20)); // body in chunks of 10,
//                                                    // 500, then the rest, 20 ms apart
//   server.enqueue({ Action::send(head), Action::stall() });  // hand-written script
//   fetch(server.url("/detail/stock_quote?Symbol=US:XYZ"));
//   server.requests();                               // raw request heads, in order
//
// Each accepted connection waits for a complete request head, then runs the next queued script
// (the last one is reused once the queue is empty). Actions: send bytes, wait some
// milliseconds, close the connection, or stall (keep it open and say nothing more). The server
// runs on the test's thread, so it is served whenever the code under test spins an event loop.
// ScriptedHttpServer::unusedPort() gives a port nothing listens on, for the refused case.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <memory>

class ScriptedHttpServer final : public QObject {
public:
    struct Action {
        enum class Kind { Send, Wait, Close, Stall };
        Kind kind = Kind::Send;
        QByteArray bytes;
        int ms = 0;

        static Action send(const QByteArray& bytes) { return { Kind::Send, bytes, 0 }; }
        static Action wait(int ms) { return { Kind::Wait, {}, ms }; }
        static Action close() { return { Kind::Close, {}, 0 }; }
        static Action stall() { return { Kind::Stall, {}, 0 }; }
    };
    using Script = QList<Action>;

    explicit ScriptedHttpServer(QObject* parent = nullptr)
        : QObject(parent)
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, &ScriptedHttpServer::accept);
    }
    Q_DISABLE_COPY_MOVE(ScriptedHttpServer)

    bool isListening() const { return m_server.isListening(); }
    quint16 port() const { return m_server.serverPort(); }
    // "http://127.0.0.1:PORT" followed by path.
    QByteArray url(const QByteArray& path = {}) const
    {
        return "http://127.0.0.1:" + QByteArray::number(port()) + path;
    }

    void enqueue(const Script& script) { m_scripts.append(script); }
    const QList<QByteArray>& requests() const { return m_requests; }
    int connections() const { return m_connections; }

    // A response head; contentLength < 0 leaves the length out (the body then ends with the close).
    static QByteArray head(int status, qint64 contentLength, const QByteArray& reason = "Status")
    {
        QByteArray h = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n";
        h += "Content-Type: text/html\r\nConnection: close\r\n";
        if (contentLength >= 0)
            h += "Content-Length: " + QByteArray::number(contentLength) + "\r\n";
        return h + "\r\n";
    }

    // A whole response: the head, then the body cut into chunks of the given sizes (the rest as
    // one last chunk), delayMs apart, then the connection closed.
    static Script reply(
        int status, const QByteArray& body, const QList<int>& chunkSizes = {}, int delayMs = 0)
    {
        Script s { Action::send(head(status, body.size())) };
        qsizetype at = 0;
        for (const int size : chunkSizes) {
            if (at >= body.size())
                break;
            if (delayMs > 0)
                s.append(Action::wait(delayMs));
            s.append(Action::send(body.mid(at, size)));
            at += size;
        }
        if (at < body.size()) {
            if (delayMs > 0)
                s.append(Action::wait(delayMs));
            s.append(Action::send(body.mid(at)));
        }
        s.append(Action::close());
        return s;
    }

    static quint16 unusedPort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        const quint16 port = probe.serverPort();
        probe.close();
        return port;
    }

private:
    struct Connection {
        QPointer<QTcpSocket> socket;
        QByteArray received;
        Script script;
        qsizetype next = 0;
        bool started = false;
    };

    void accept()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            ++m_connections;
            auto connection = std::make_shared<Connection>();
            connection->socket = socket;
            if (!m_scripts.isEmpty())
                connection->script = m_scripts.size() > 1 ? m_scripts.takeFirst() : m_scripts.first();
            connect(socket, &QTcpSocket::readyRead, this, [this, connection] { onRead(connection); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void onRead(const std::shared_ptr<Connection>& c)
    {
        if (!c->socket)
            return;
        c->received += c->socket->readAll();
        if (c->started)
            return;
        const qsizetype end = c->received.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        c->started = true;
        m_requests.append(c->received.left(end));
        run(c);
    }

    void run(const std::shared_ptr<Connection>& c)
    {
        while (c->socket && c->next < c->script.size()) {
            const Action& a = c->script.at(c->next++);
            switch (a.kind) {
            case Action::Kind::Send:
                c->socket->write(a.bytes);
                break;
            case Action::Kind::Wait:
                c->socket->flush();
                QTimer::singleShot(a.ms, this, [this, c] { run(c); });
                return;
            case Action::Kind::Close:
                c->socket->disconnectFromHost();
                return;
            case Action::Kind::Stall:
                c->socket->flush();
                return;
            }
        }
    }

    QTcpServer m_server;
    QList<Script> m_scripts;
    QList<QByteArray> m_requests;
    int m_connections = 0;
};
