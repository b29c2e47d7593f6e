#include "httpserver.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

struct HttpConnection {
    enum class State { Reading, Answering, Stalled };
    HttpServer* server = nullptr;
    QPointer<QTcpSocket> socket;
    QTimer* idle = nullptr; // a child of the socket
    QByteArray received;
    State state = State::Reading;
    bool headOnly = false; // the request was HEAD
    bool keepAlive = false;
};

namespace {

QByteArray Head(int status, const QByteArray& contentType, qsizetype length, bool keepAlive,
    const HttpHeaders& extra = {})
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + HttpReason(status) + "\r\n";
    if (!contentType.isEmpty())
        head += "Content-Type: " + contentType + "\r\n";
    head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    for (const auto& [name, value] : extra)
        head += name + ": " + value + "\r\n";
    head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    return head;
}

enum class Parse { Incomplete, Done, Bad, TooLarge, NotAllowed };

// Reads one request head off the front of `buffer`.
Parse ParseHead(QByteArray& buffer, HttpRequest& request)
{
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0)
        return buffer.size() > HttpServer::kMaxHeadBytes ? Parse::TooLarge : Parse::Incomplete;
    if (end > HttpServer::kMaxHeadBytes)
        return Parse::TooLarge;
    const QList<QByteArray> lines = buffer.left(end).split('\n');
    buffer.remove(0, end + 4);
    const QList<QByteArray> first = lines.first().trimmed().split(' ');
    if (first.size() != 3 || !first.at(1).startsWith('/') || !first.at(2).startsWith("HTTP/1."))
        return Parse::Bad;
    request.method = first.at(0);
    request.target = first.at(1);
    const bool http11 = first.at(2) == "HTTP/1.1";
    QByteArray connection;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines.at(i).indexOf(':');
        if (colon <= 0)
            return Parse::Bad;
        const QByteArray name = lines.at(i).left(colon).trimmed().toLower();
        const QByteArray value = lines.at(i).mid(colon + 1).trimmed();
        if (name == "connection")
            connection = value.toLower();
        // A GET carries no body; one that says it does is not ours to frame.
        else if ((name == "content-length" && value != "0") || name == "transfer-encoding")
            return Parse::Bad;
    }
    request.keepAlive = http11 ? !connection.contains("close") : connection.contains("keep-alive");
    if (request.method != "GET" && request.method != "HEAD")
        return Parse::NotAllowed;
    return Parse::Done;
}

} // namespace

QByteArray HttpReason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    default:
        return "Status";
    }
}

bool HttpReply::alive() const
{
    const auto c = m_connection.lock();
    return c && c->socket && c->socket->state() == QAbstractSocket::ConnectedState
        && c->state == HttpConnection::State::Answering;
}

void HttpReply::send(
    int status, const QByteArray& contentType, const QByteArray& body, const HttpHeaders& extra)
{
    const auto c = m_connection.lock();
    if (!alive())
        return;
    c->socket->write(Head(status, contentType, body.size(), c->keepAlive, extra));
    if (!c->headOnly)
        c->socket->write(body);
    c->server->finished(c, !c->keepAlive);
}

void HttpReply::sendPart(
    int status, const QByteArray& contentType, const QByteArray& body, qsizetype part, bool close)
{
    const auto c = m_connection.lock();
    if (!alive())
        return;
    c->socket->write(Head(status, contentType, body.size(), false));
    c->socket->write(body.constData(), std::clamp<qsizetype>(part, 0, body.size()));
    c->socket->flush();
    if (close) {
        c->server->finished(c, true);
        return;
    }
    c->state = HttpConnection::State::Stalled;
    c->server->startIdle(c);
}

HttpServer::HttpServer(Handler handler, QObject* parent)
    : QObject(parent)
    , m_handler(std::move(handler))
{
    m_server.setListenBacklogSize(256); // a burst of clients waits in the kernel, not in SYN retries
    connect(&m_server, &QTcpServer::newConnection, this, &HttpServer::accept);
}

HttpServer::~HttpServer()
{
    for (const auto& c : m_connections) {
        if (c->socket) {
            c->socket->disconnect(this);
            c->socket->abort();
            delete c->socket;
        }
    }
}

bool HttpServer::listen(const QHostAddress& address, quint16 port)
{
    return m_server.listen(address, port);
}

bool HttpServer::adopt(qintptr descriptor)
{
    return m_server.setSocketDescriptor(descriptor);
}

void HttpServer::accept()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        if (!makeRoom()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            socket->write(Head(503, {}, 0, false));
            socket->disconnectFromHost();
            continue;
        }
        auto c = std::make_shared<HttpConnection>();
        c->server = this;
        c->socket = socket;
        c->idle = new QTimer(socket);
        c->idle->setSingleShot(true);
        socket->setReadBufferSize(2 * kMaxHeadBytes);
        m_connections.push_back(c);
        const std::weak_ptr<HttpConnection> weak = c;
        connect(c->idle, &QTimer::timeout, this, [this, weak] {
            if (const auto c = weak.lock())
                drop(c);
        });
        connect(socket, &QTcpSocket::readyRead, this, [this, weak] {
            if (const auto c = weak.lock())
                onReadable(c);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, weak] {
            if (const auto c = weak.lock())
                drop(c);
        });
        startIdle(c);
        if (socket->bytesAvailable() > 0)
            onReadable(c);
    }
}

bool HttpServer::makeRoom()
{
    if (qsizetype(m_connections.size()) < m_maxConnections)
        return true;
    for (const auto& c : m_connections) {
        if (c->state != HttpConnection::State::Answering) {
            drop(c); // the oldest that is not waiting for its answer
            return true;
        }
    }
    return false;
}

void HttpServer::startIdle(const std::shared_ptr<HttpConnection>& c)
{
    if (c->idle)
        c->idle->start(m_idleMs);
}

void HttpServer::drop(const std::shared_ptr<HttpConnection>& connection)
{
    const std::shared_ptr<HttpConnection> c = connection; // the argument may live in the list
    m_connections.remove(c);
    if (QTcpSocket* socket = c->socket) {
        c->socket = nullptr;
        c->idle = nullptr;
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

void HttpServer::onReadable(const std::shared_ptr<HttpConnection>& c)
{
    if (!c->socket)
        return;
    // Bounded: beyond a head's worth nothing more is taken off the socket.
    c->received += c->socket->read(std::max<qint64>(0, kMaxHeadBytes + 5 - c->received.size()));
    if (c->state == HttpConnection::State::Answering)
        return;
    if (c->state == HttpConnection::State::Stalled) {
        c->received.clear();
        return;
    }
    HttpRequest request;
    const Parse result = ParseHead(c->received, request);
    if (result == Parse::Incomplete)
        return; // the idle timer keeps running: a trickle of bytes does not hold a connection open
    c->idle->stop();
    c->state = HttpConnection::State::Answering;
    c->keepAlive = false;
    c->headOnly = false;
    HttpReply reply { std::weak_ptr<HttpConnection>(c) };
    switch (result) {
    case Parse::Done:
        c->keepAlive = request.keepAlive;
        c->headOnly = request.method == "HEAD";
        m_handler(request, reply);
        return;
    case Parse::TooLarge:
        reply.send(431, {}, {});
        return;
    case Parse::NotAllowed:
        reply.send(405, {}, {});
        return;
    default:
        reply.send(400, {}, {});
        return;
    }
}

void HttpServer::finished(const std::shared_ptr<HttpConnection>& c, bool close)
{
    if (!c->socket)
        return; // it went away while the answer was written
    if (close) {
        c->state = HttpConnection::State::Stalled; // nothing more is read from it
        c->socket->disconnectFromHost(); // sends what is queued, then closes; drop() follows
        startIdle(c); // a client that never reads its answer does not hold the slot for ever
        return;
    }
    c->state = HttpConnection::State::Reading;
    startIdle(c);
    if (!c->received.isEmpty() || c->socket->bytesAvailable() > 0) {
        const std::weak_ptr<HttpConnection> weak = c;
        QTimer::singleShot(0, this, [this, weak] {
            if (const auto c = weak.lock())
                onReadable(c);
        });
    }
}
