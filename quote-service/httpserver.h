#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTcpServer>
#include <functional>
#include <list>
#include <memory>

class QTcpSocket;
class QTimer;

// One request head as it came in: only what the service looks at.
struct HttpRequest {
    QByteArray method; // "GET" or "HEAD"
    QByteArray target; // path and query, as sent
    bool keepAlive = false;
};

using HttpHeaders = QList<QPair<QByteArray, QByteArray>>;

// The reason phrase of a status the service sends.
QByteArray HttpReason(int status);

struct HttpConnection;

// The way back to one client. Copies share the connection; answering a connection that has gone
// away (the client gave up, the server closed it) does nothing, so a late answer is always safe.
class HttpReply final {
public:
    HttpReply() = default;
    explicit HttpReply(std::weak_ptr<HttpConnection> connection)
        : m_connection(std::move(connection))
    {
    }

    bool alive() const;
    // The whole answer; the connection then waits for the next request or closes.
    void send(
        int status, const QByteArray& contentType, const QByteArray& body, const HttpHeaders& extra = {});
    // The head promises the whole body, but only its first `part` bytes go out; then the
    // connection is closed (close) or left open saying nothing more.
    void sendPart(
        int status, const QByteArray& contentType, const QByteArray& body, qsizetype part, bool close);

private:
    std::weak_ptr<HttpConnection> m_connection;
};

// A small HTTP/1.1 server for GET requests. A request head is bounded in size; a connection that
// has not sent a complete request within the idle time-out is closed, half-sent or not. Beyond
// the connection cap the longest-idle connection makes room; when every connection is busy the
// newcomer is turned away. One request per connection is answered at a time.
class HttpServer final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HttpServer)

public:
    using Handler = std::function<void(const HttpRequest&, HttpReply)>;

    static constexpr qsizetype kMaxHeadBytes = 8 * 1024;
    static constexpr int kDefaultIdleMs = 30'000;
    static constexpr int kDefaultMaxConnections = 256;

    explicit HttpServer(Handler handler, QObject* parent = nullptr);
    ~HttpServer() override;

    bool listen(const QHostAddress& address, quint16 port);
    // Serves on a socket that is already bound and listening (handed over by the service manager).
    bool adopt(qintptr descriptor);
    QHostAddress address() const { return m_server.serverAddress(); }
    quint16 port() const { return m_server.serverPort(); }

    void setIdleTimeoutMs(int ms) { m_idleMs = ms; }
    void setMaxConnections(int count) { m_maxConnections = count; }
    qsizetype connectionCount() const { return qsizetype(m_connections.size()); }

private:
    void accept();
    void onReadable(const std::shared_ptr<HttpConnection>& c);
    void drop(const std::shared_ptr<HttpConnection>& c);
    void startIdle(const std::shared_ptr<HttpConnection>& c);
    bool makeRoom();

    friend class HttpReply;
    void finished(const std::shared_ptr<HttpConnection>& c, bool close);

    Handler m_handler;
    QTcpServer m_server;
    std::list<std::shared_ptr<HttpConnection>> m_connections; // oldest first
    int m_idleMs = kDefaultIdleMs;
    int m_maxConnections = kDefaultMaxConnections;
};
