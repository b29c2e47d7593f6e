#pragma once

// RoutedProvider: a loopback HTTP server that answers by path, the way a provider's API does.
//
//   RoutedProvider p;                                  // listens on 127.0.0.1, a free port
//   p.on("/v7/finance/quote", { { 429, body }, { 200, body } });  // in order, the last repeated
//   p.on("/v8/finance/chart/*", { { 500, "{}" } });    // a trailing * matches any rest of the path
//   p.on("/v7/finance/quote?symbols=QUICK*", {...});   // with a query: only targets starting so
//   p.count("/v7/finance/quote"); p.head("/v7/finance/quote"); p.heads();
//
// An answer may be held back (delayMs), sent without a length, or never finished (Stall sends
// nothing, StallInBody half the body). A path with no route gets a 404. It runs on the test's
// thread, so it answers whenever the code under test spins an event loop.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <memory>

class RoutedProvider final : public QObject {
public:
    enum class Mode { Whole, NoLength, Stall, StallInBody };
    struct Answer {
        Answer(int status = 200, QByteArray body = {}, QByteArray headers = {}, Mode mode = Mode::Whole,
            int delayMs = 0)
            : status(status)
            , body(std::move(body))
            , headers(std::move(headers))
            , mode(mode)
            , delayMs(delayMs)
        {
        }
        int status;
        QByteArray body;
        QByteArray headers; // extra header lines, each ending in \r\n
        Mode mode;
        int delayMs;
    };

    RoutedProvider()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, &RoutedProvider::accept);
    }
    Q_DISABLE_COPY_MOVE(RoutedProvider)

    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort())); }
    void on(const QByteArray& route, const QList<Answer>& answers) { m_routes[route] = answers; }
    // requests for exactly this path
    int count(const QByteArray& path) const { return int(m_paths.count(path)); }
    // the head of the last request for the path
    QByteArray head(const QByteArray& path) const
    {
        const qsizetype i = m_paths.lastIndexOf(path);
        return i < 0 ? QByteArray() : m_heads.at(i);
    }
    const QList<QByteArray>& heads() const { return m_heads; }

private:
    void accept()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            auto received = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, received] {
                if (received->contains("\r\n\r\n"))
                    return;
                *received += socket->readAll();
                const qsizetype end = received->indexOf("\r\n\r\n");
                if (end >= 0)
                    answer(socket, received->left(end));
            });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    QList<Answer>* route(const QByteArray& path, const QByteArray& target)
    {
        for (auto it = m_routes.begin(); it != m_routes.end(); ++it) {
            if (it.key().contains('?') && it.key().endsWith('*') && target.startsWith(it.key().chopped(1)))
                return &it.value();
        }
        if (m_routes.contains(path))
            return &m_routes[path];
        QList<Answer>* best = nullptr;
        qsizetype length = -1;
        for (auto it = m_routes.begin(); it != m_routes.end(); ++it) {
            const QByteArray prefix = it.key().chopped(1);
            if (it.key().endsWith('*') && path.startsWith(prefix) && prefix.size() > length) {
                best = &it.value();
                length = prefix.size();
            }
        }
        return best;
    }

    void answer(QTcpSocket* socket, const QByteArray& head)
    {
        const QByteArray target = head.split(' ').value(1);
        const QByteArray path = target.left(target.indexOf('?') < 0 ? target.size() : target.indexOf('?'));
        m_heads.append(head);
        m_paths.append(path);
        QList<Answer>* answers = route(path, target);
        const Answer a = !answers || answers->isEmpty() ? Answer { 404 }
            : answers->size() > 1                       ? answers->takeFirst()
                                                        : answers->first();
        if (a.mode == Mode::Stall)
            return;
        QByteArray out = "HTTP/1.1 " + QByteArray::number(a.status) + " Status\r\nConnection: close\r\n"
            + "Content-Type: " + (a.body.startsWith('<') ? "text/html" : "application/json") + "\r\n"
            + a.headers;
        if (a.mode != Mode::NoLength)
            out += "Content-Length: " + QByteArray::number(a.body.size()) + "\r\n";
        out += "\r\n";
        const bool finish = a.mode != Mode::StallInBody;
        out += finish ? a.body : a.body.left(a.body.size() / 2);
        QTimer::singleShot(a.delayMs, this, [socket = QPointer<QTcpSocket>(socket), out, finish] {
            if (!socket)
                return;
            socket->write(out);
            if (finish)
                socket->disconnectFromHost();
        });
    }

    QTcpServer m_server;
    QHash<QByteArray, QList<Answer>> m_routes;
    QList<QByteArray> m_heads;
    QList<QByteArray> m_paths;
};
