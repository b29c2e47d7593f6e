#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

// Header lines an answer carries beside the ones the server writes itself.
using HttpHeaders = QList<QPair<QByteArray, QByteArray>>;

// One request head as it came in: only what the service looks at.
struct HttpRequest {
    QByteArray method; // "GET" or "HEAD"
    QByteArray target; // path and query, as sent (an absolute-form target is cut to its path)
    bool keepAlive = false;
};

// The reason phrase of a status the service sends.
QByteArray HttpReason(int status);
// What a client sent, fit for a log line: every byte outside printable ASCII, and the backslash, as \xNN.
QByteArray HttpLogText(const QByteArray& sent);
// The origin-form (path and query) of a request target; empty when it is neither origin-form nor
// absolute-form. The authority of an absolute-form target is dropped: nothing is ever proxied.
QByteArray HttpOriginForm(const QByteArray& target);
// Whether a request target holds no control byte or space, sent as it is or percent-escaped.
bool HttpTargetIsClean(const QByteArray& target);
// Whether the first bytes of a connection (perhaps not all of its head) cannot be an HTTP/1.x
// request line: control bytes, other separators than single spaces, a TLS handshake.
bool HttpStartIsMalformed(const QByteArray& bytes);

struct HttpConnection;
class HttpServerCore;

// The way back to one client. Copies share the request; answering one that has gone away (the
// server is stopping) or that was answered already does nothing, so a late answer is always safe.
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
    // connection is closed (close) or left open saying nothing more until the idle time-out.
    void sendPart(int status, const QByteArray& contentType, const QByteArray& body, qsizetype part,
        bool close, const HttpHeaders& extra = {});

private:
    std::weak_ptr<HttpConnection> m_connection;
};

// An HTTP/1.1 server for GET requests on libmicrohttpd. The library reads and writes on a thread
// of its own; each request head is handed to this object's thread and answered there, its
// connection suspended meanwhile, so a connection holds at most one request and one answer. A
// request head is bounded in size and must come in whole within the idle time (a connection's
// first request line without a pause of kQuietBeforeEvictionMs); one that has sent
// nothing yet is not taken from the kernel before it does (or the idle time has passed). At the
// connection cap newcomers wait in the kernel's backlog; while some do, connections that have not
// sent a whole request head for a while make room. A client that leaves while its answer is
// awaited is noticed and its connection closed. No timer runs while no connection is open.
class HttpServer final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HttpServer)

public:
    using Handler = std::function<void(const HttpRequest&, HttpReply)>;
    // A request turned away before the handler saw it (malformed, too large, another method).
    using Refused = std::function<void(int status)>;
    // A client that left while its answer was awaited; its connection is closed already.
    using Gone = std::function<void(const HttpRequest&)>;

    static constexpr qsizetype kMaxHeadBytes = 8 * 1024;
    static constexpr int kDefaultIdleMs = 30'000;
    static constexpr int kDefaultMaxConnections = 256;
    // How long a connection may sit without a request head before it may make room for a newcomer.
    static constexpr int kQuietBeforeEvictionMs = 2000;

    explicit HttpServer(Handler handler, QObject* parent = nullptr);
    ~HttpServer() override;

    bool listen(const QHostAddress& address, quint16 port);
    // Serves on a socket that is already bound and listening (handed over by the service manager).
    bool adopt(qintptr descriptor);
    QHostAddress address() const { return m_address; }
    quint16 port() const { return m_port; }

    // Both take effect at listen() or adopt().
    void setIdleTimeoutMs(int ms) { m_idleMs = ms; }
    void setMaxConnections(int count) { m_maxConnections = count; }
    void setRefusedHandler(Refused refused) { m_refused = std::move(refused); }
    void setGoneHandler(Gone gone) { m_gone = std::move(gone); }
    qsizetype connectionCount() const;

private:
    friend class HttpReply;
    friend class HttpServerCore;

    bool start(int listenFd, const QHostAddress& address, quint16 port);
    void dispatch(const std::shared_ptr<HttpConnection>& c, const HttpRequest& request);
    void stalled(const std::shared_ptr<HttpConnection>& c);
    void unwatch(HttpConnection* c);
    void checkGone(const std::shared_ptr<HttpConnection>& c);
    void noteRefusal(int status);
    void startMakingRoom();
    void makeRoom();
    void closeLate();

    Handler m_handler;
    Refused m_refused;
    Gone m_gone;
    std::unique_ptr<HttpServerCore> m_core;
    QTimer m_roomTimer; // only while the connection cap is reached
    QTimer m_deadlineTimer; // single shot at the next head deadline, only while connections wait
    std::map<HttpConnection*, std::unique_ptr<QSocketNotifier>> m_watchers; // answers awaited
    QHostAddress m_address;
    quint16 m_port = 0;
    int m_idleMs = kDefaultIdleMs;
    int m_maxConnections = kDefaultMaxConnections;
};
