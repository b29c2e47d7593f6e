#include "http/httpserver.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <list>
#include <microhttpd.h>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

// One request, from its head to the end of its answer. Its fields belong to the core's mutex.
struct HttpConnection {
    enum class Phase {
        Head, // the head has come in
        Checked, // it may be answered once the request is complete
        Queued, // suspended, waiting for this thread's answer
        Ready, // answered; the library is to send it
        Sending,
        Stalled, // suspended part-way through the body
        Unstalled, // the stall is over: the connection is cut
        Abandoned, // the server stops
        Gone, // the client left while its answer was awaited
        Done,
    };
    HttpServerCore* core = nullptr;
    MHD_Connection* mhd = nullptr;
    QByteArray target; // as sent
    HttpRequest request;
    Phase phase = Phase::Head;
    int status = 0;
    QByteArray contentType;
    QByteArray body;
    HttpHeaders extra;
    qsizetype part = -1; // bytes of the body sent before a stall or close; -1 all
    bool closeAfterPart = false;
};

namespace {

// One accepted socket, for making room: which ones have no request going on, and since when.
struct Peer {
    int fd = -1;
    qint64 quietSinceMs = 0; // since when it has been waiting for a request head
    bool busy = false; // a request head came in; its answer is not sent yet
    bool closing = false;
};

// The library frees a connection at once when its socket reads the end: shut both ways, the
// descriptor stays the library's to close.
void CloseThroughLibrary(Peer& peer)
{
    peer.closing = true;
    ::shutdown(peer.fd, SHUT_RDWR);
}

// A refusal that goes out before the library has read a byte: it then reads the rest, finds it
// cannot answer, and closes.
void RefuseAtOnce(int fd)
{
    static const char kAnswer[]
        = "HTTP/1.1 400 Bad Request\r\nConnection: close\r\nCache-Control: no-store\r\n"
          "Content-Length: 0\r\n\r\n";
    [[maybe_unused]] const ssize_t sent
        = ::send(fd, kAnswer, sizeof kAnswer - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    ::shutdown(fd, SHUT_WR);
}

using Holder = std::shared_ptr<HttpConnection>;

} // namespace

class HttpServerCore final {
public:
    explicit HttpServerCore(HttpServer* server)
        : server(server)
    {
        clock.start();
    }

    HttpServer* server;
    MHD_Daemon* daemon = nullptr;
    int listenFd = -1;
    std::mutex mutex;
    bool stopping = false;
    std::atomic<bool> started = false;
    std::set<Holder> suspended; // resumed before the daemon stops, as the library demands
    std::list<Peer> peers; // oldest first
    bool deadlinesArmed = false; // the server's deadline timer runs or is about to
    bool roomArmed = false;
    unsigned idleSeconds = 30;
    QElapsedTimer clock;

    void refused(int status);

    static void* OnUri(void* cls, const char* uri, MHD_Connection* mhd);
    static MHD_Result OnRequest(void* cls, MHD_Connection* mhd, const char* url, const char* method,
        const char* version, const char* upload, size_t* uploadSize, void** context);
    static void OnCompleted(void* cls, MHD_Connection* mhd, void** context, MHD_RequestTerminationCode);
    static void OnSocket(void* cls, MHD_Connection* mhd, void** context, MHD_ConnectionNotificationCode code);
    static ssize_t ReadBody(void* cls, uint64_t pos, char* buffer, size_t max);
    static void Log(void* cls, const char* format, va_list args);

    MHD_Result queue(MHD_Connection* mhd, const Holder& holder);
    Peer* peerOf(MHD_Connection* mhd) const;
};

namespace {

MHD_Result Refuse(MHD_Connection* mhd, int status)
{
    MHD_Response* response = MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
    if (status == 405)
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    const MHD_Result result = MHD_queue_response(mhd, unsigned(status), response);
    MHD_destroy_response(response);
    return result;
}

struct HeadFacts {
    qsizetype bytes = 0;
    int hosts = 0;
    bool body = false;
    bool badName = false;
    bool close = false;
    bool keepAlive = false;
};

MHD_Result CountHeader(void* cls, MHD_ValueKind, const char* key, const char* value)
{
    auto& facts = *static_cast<HeadFacts*>(cls);
    const QByteArray name = QByteArray(key).toLower();
    const QByteArray text = QByteArray(value ? value : "").trimmed().toLower();
    facts.bytes += name.size() + text.size() + 4;
    if (name.isEmpty() || name.contains(' ') || name.contains('\t'))
        facts.badName = true;
    for (const char c : QByteArrayView(value ? value : "")) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && byte != '\t') || byte == 0x7f)
            facts.badName = true; // a bare CR or another control byte in a value
    }
    if (name == "host")
        ++facts.hosts;
    else if (name == "transfer-encoding" || (name == "content-length" && text != "0"))
        facts.body = true;
    else if (name == "connection") {
        facts.close = facts.close || text.contains("close");
        facts.keepAlive = facts.keepAlive || text.contains("keep-alive");
    }
    return MHD_YES;
}

// What the library lets through and HTTP/1.1 does not: the status to refuse with, or 0.
int Check(MHD_Connection* mhd, const QByteArray& method, const QByteArray& version, QByteArray& target,
    HttpRequest& request)
{
    if (version.size() != 8 || !version.startsWith("HTTP/") || version[6] != '.'
        || !std::isdigit(static_cast<unsigned char>(version[5]))
        || !std::isdigit(static_cast<unsigned char>(version[7])))
        return 400;
    if (version[5] != '1')
        return 505;
    const QByteArray sent = target;
    target = HttpOriginForm(sent);
    if (target.isEmpty() || !HttpTargetIsClean(sent))
        return 400;
    HeadFacts facts;
    MHD_get_connection_values(mhd, MHD_HEADER_KIND, &CountHeader, &facts);
    if (method.size() + sent.size() + version.size() + 4 + facts.bytes > HttpServer::kMaxHeadBytes)
        return 431;
    if (method != "GET" && method != "HEAD")
        return 405;
    const bool http10 = version == "HTTP/1.0";
    if (facts.badName || facts.hosts > 1 || (!http10 && facts.hosts == 0) || facts.body)
        return 400;
    request.method = method;
    request.target = target;
    request.keepAlive = http10 ? facts.keepAlive : !facts.close;
    return 0;
}

} // namespace

void* HttpServerCore::OnUri(void* cls, const char* uri, MHD_Connection* mhd)
{
    auto c = std::make_shared<HttpConnection>();
    c->core = static_cast<HttpServerCore*>(cls);
    // a request line has come in: the connection has the whole idle time again
    MHD_set_connection_option(mhd, MHD_CONNECTION_OPTION_TIMEOUT, c->core->idleSeconds);
    c->target = uri;
    return new Holder(std::move(c));
}

Peer* HttpServerCore::peerOf(MHD_Connection* mhd) const
{
    const MHD_ConnectionInfo* info = MHD_get_connection_info(mhd, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    if (!info || !info->socket_context)
        return nullptr;
    return &**static_cast<std::list<Peer>::iterator*>(info->socket_context);
}

MHD_Result HttpServerCore::OnRequest(void* cls, MHD_Connection* mhd, const char*, const char* method,
    const char* version, const char*, size_t* uploadSize, void** context)
{
    auto* core = static_cast<HttpServerCore*>(cls);
    auto* holder = static_cast<Holder*>(*context);
    if (!holder)
        return MHD_NO;
    HttpConnection& c = **holder;
    std::unique_lock lock(core->mutex);
    switch (c.phase) {
    case HttpConnection::Phase::Head: {
        if (Peer* peer = core->peerOf(mhd))
            peer->busy = true;
        lock.unlock();
        const int refusal = Check(mhd, method, version, c.target, c.request);
        if (refusal != 0) {
            core->refused(refusal);
            return Refuse(mhd, refusal);
        }
        // Answered on the next call, once the library has the whole request: an answer queued
        // earlier makes it close the connection after it.
        lock.lock();
        c.phase = HttpConnection::Phase::Checked;
        return MHD_YES;
    }
    case HttpConnection::Phase::Checked:
        if (*uploadSize != 0) {
            *uploadSize = 0;
            return MHD_YES;
        }
        break;
    case HttpConnection::Phase::Ready:
        c.phase = HttpConnection::Phase::Sending;
        lock.unlock();
        return core->queue(mhd, *holder);
    case HttpConnection::Phase::Abandoned:
    case HttpConnection::Phase::Gone:
        return MHD_NO; // the library closes the connection and frees its slot
    default:
        *uploadSize = 0;
        return MHD_YES;
    }
    if (core->stopping)
        return MHD_NO;
    MHD_suspend_connection(mhd);
    c.mhd = mhd;
    c.phase = HttpConnection::Phase::Queued;
    core->suspended.insert(*holder);
    lock.unlock();
    QMetaObject::invokeMethod(
        core->server, [server = core->server, c = *holder] { server->dispatch(c, c->request); },
        Qt::QueuedConnection);
    return MHD_YES;
}

MHD_Result HttpServerCore::queue(MHD_Connection* mhd, const Holder& holder)
{
    HttpConnection& c = *holder;
    MHD_Response* response = nullptr;
    if (c.part < 0) {
        auto* body = new QByteArray(std::move(c.body)); // the library only reads it
        response = MHD_create_response_from_buffer_with_free_callback_cls(
            size_t(body->size()), const_cast<char*>(body->constData()),
            [](void* p) { delete static_cast<QByteArray*>(p); }, body);
    } else {
        // The reader hands out the part, then stalls or cuts the connection.
        response = MHD_create_response_from_callback(uint64_t(c.body.size()), 16 * 1024, &ReadBody,
            new Holder(holder), [](void* p) { delete static_cast<Holder*>(p); });
        if (response)
            MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    }
    if (!response)
        return MHD_NO;
    if (!c.contentType.isEmpty())
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, c.contentType.constData());
    for (const auto& [name, value] : std::as_const(c.extra))
        MHD_add_response_header(response, name.constData(), value.constData());
    const MHD_Result result = MHD_queue_response(mhd, unsigned(c.status), response);
    MHD_destroy_response(response);
    return result;
}

ssize_t HttpServerCore::ReadBody(void* cls, uint64_t pos, char* buffer, size_t max)
{
    const Holder& holder = *static_cast<Holder*>(cls);
    HttpConnection& c = *holder;
    if (pos < uint64_t(c.part)) {
        const size_t n = std::min(max, size_t(uint64_t(c.part) - pos));
        std::memcpy(buffer, c.body.constData() + pos, n);
        return ssize_t(n);
    }
    if (c.closeAfterPart)
        return MHD_CONTENT_READER_END_WITH_ERROR;
    HttpServerCore* core = c.core;
    std::unique_lock lock(core->mutex);
    if (c.phase != HttpConnection::Phase::Sending || core->stopping || !c.mhd)
        return MHD_CONTENT_READER_END_WITH_ERROR;
    MHD_suspend_connection(c.mhd);
    c.phase = HttpConnection::Phase::Stalled;
    core->suspended.insert(holder);
    lock.unlock();
    QMetaObject::invokeMethod(
        core->server, [server = core->server, c = holder] { server->stalled(c); }, Qt::QueuedConnection);
    return 0;
}

void HttpServerCore::OnCompleted(void* cls, MHD_Connection* mhd, void** context, MHD_RequestTerminationCode)
{
    auto* core = static_cast<HttpServerCore*>(cls);
    auto* holder = static_cast<Holder*>(*context);
    *context = nullptr;
    std::unique_lock lock(core->mutex);
    if (Peer* peer = core->peerOf(mhd)) {
        peer->busy = false;
        peer->quietSinceMs = core->clock.elapsed();
        if (!core->deadlinesArmed) {
            core->deadlinesArmed = true;
            QMetaObject::invokeMethod(core->server, &HttpServer::closeLate, Qt::QueuedConnection);
        }
    }
    if (!holder)
        return;
    (*holder)->phase = HttpConnection::Phase::Done;
    (*holder)->mhd = nullptr;
    core->suspended.erase(*holder);
    lock.unlock();
    delete holder;
}

void HttpServerCore::OnSocket(
    void* cls, MHD_Connection* mhd, void** context, MHD_ConnectionNotificationCode code)
{
    auto* core = static_cast<HttpServerCore*>(cls);
    std::lock_guard lock(core->mutex);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        const MHD_ConnectionInfo* info = MHD_get_connection_info(mhd, MHD_CONNECTION_INFO_CONNECTION_FD);
        Peer peer;
        peer.fd = info ? info->connect_fd : -1;
        peer.quietSinceMs = core->clock.elapsed();
        // Taken from the kernel only once it has sent something, a client sends its request line
        // at once; one that falls silent part-way is closed by the library itself, which frees its
        // slot at once (a socket shut from here, under epoll, was sometimes not seen until the
        // idle time-out).
        MHD_set_connection_option(
            mhd, MHD_CONNECTION_OPTION_TIMEOUT, unsigned(HttpServer::kQuietBeforeEvictionMs / 1000));
        // What the library answers itself, or drops without a word, when a connection does not
        // even start like HTTP: looked at before it reads, and refused once, here.
        char first[512];
        const ssize_t seen = peer.fd < 0 ? -1 : ::recv(peer.fd, first, sizeof first, MSG_PEEK | MSG_DONTWAIT);
        if (seen > 0 && HttpStartIsMalformed(QByteArray::fromRawData(first, qsizetype(seen)))) {
            RefuseAtOnce(peer.fd);
            peer.closing = true;
            QMetaObject::invokeMethod(
                core->server, [server = core->server] { server->noteRefusal(400); }, Qt::QueuedConnection);
        }
        core->peers.push_back(peer);
        *context = new std::list<Peer>::iterator(std::prev(core->peers.end()));
        if (!core->deadlinesArmed) {
            core->deadlinesArmed = true;
            QMetaObject::invokeMethod(core->server, &HttpServer::closeLate, Qt::QueuedConnection);
        }
        if (!core->roomArmed && qsizetype(core->peers.size()) >= core->server->m_maxConnections) {
            core->roomArmed = true;
            QMetaObject::invokeMethod(core->server, &HttpServer::startMakingRoom, Qt::QueuedConnection);
        }
        return;
    }
    auto* it = static_cast<std::list<Peer>::iterator*>(*context);
    if (!it)
        return;
    core->peers.erase(*it);
    delete it;
    *context = nullptr;
}

// Only why the server could not start: what a client does wrong is answered, not logged.
void HttpServerCore::Log(void* cls, const char* format, va_list args)
{
    if (static_cast<HttpServerCore*>(cls)->started)
        return;
    std::fputs("kolpex-quote-service: http: ", stderr);
    std::vfprintf(stderr, format, args);
}

void HttpServerCore::refused(int status)
{
    QMetaObject::invokeMethod(
        server, [server = server, status] { server->noteRefusal(status); }, Qt::QueuedConnection);
}

bool HttpReply::alive() const
{
    const auto c = m_connection.lock();
    if (!c)
        return false;
    std::lock_guard lock(c->core->mutex);
    return c->phase == HttpConnection::Phase::Queued && !c->core->stopping;
}

void HttpReply::send(
    int status, const QByteArray& contentType, const QByteArray& body, const HttpHeaders& extra)
{
    sendPart(status, contentType, body, -1, false, extra);
}

void HttpReply::sendPart(int status, const QByteArray& contentType, const QByteArray& body, qsizetype part,
    bool close, const HttpHeaders& extra)
{
    const auto c = m_connection.lock();
    if (!c)
        return;
    HttpServerCore* core = c->core;
    {
        std::lock_guard lock(core->mutex);
        if (c->phase != HttpConnection::Phase::Queued || core->stopping)
            return;
        c->phase = HttpConnection::Phase::Ready;
        c->status = status;
        c->contentType = contentType;
        c->body = body;
        c->extra = extra;
        c->part = part < 0 ? -1 : std::clamp<qsizetype>(part, 0, body.size());
        c->closeAfterPart = close;
        core->suspended.erase(c);
    }
    core->server->unwatch(c.get());
    // Suspended until now, so the connection is still there; the library's thread sends the answer.
    MHD_resume_connection(c->mhd);
}

HttpServer::HttpServer(Handler handler, QObject* parent)
    : QObject(parent)
    , m_handler(std::move(handler))
    , m_core(std::make_unique<HttpServerCore>(this))
{
    m_roomTimer.setInterval(100);
    connect(&m_roomTimer, &QTimer::timeout, this, &HttpServer::makeRoom);
    m_deadlineTimer.setSingleShot(true);
    connect(&m_deadlineTimer, &QTimer::timeout, this, &HttpServer::closeLate);
}

HttpServer::~HttpServer()
{
    m_roomTimer.stop();
    m_deadlineTimer.stop();
    m_watchers.clear();
    if (!m_core->daemon)
        return;
    std::set<Holder> waiting;
    {
        std::lock_guard lock(m_core->mutex);
        m_core->stopping = true;
        waiting.swap(m_core->suspended);
        for (const Holder& c : waiting)
            c->phase = HttpConnection::Phase::Abandoned;
    }
    for (const Holder& c : waiting)
        MHD_resume_connection(c->mhd);
    MHD_stop_daemon(m_core->daemon);
}

bool HttpServer::listen(const QHostAddress& address, quint16 port)
{
    return start(-1, address, port);
}

bool HttpServer::adopt(qintptr descriptor)
{
    int listening = 0;
    socklen_t length = sizeof listening;
    if (::getsockopt(int(descriptor), SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) != 0 || !listening)
        return false;
    sockaddr_storage bound {};
    socklen_t size = sizeof bound;
    if (::getsockname(int(descriptor), reinterpret_cast<sockaddr*>(&bound), &size) != 0)
        return false;
    if (bound.ss_family == AF_UNIX) // a private local socket: no address, no port
        return start(int(descriptor), QHostAddress(), 0);
    QHostAddress address(reinterpret_cast<const sockaddr*>(&bound));
    const quint16 port = bound.ss_family == AF_INET6
        ? ntohs(reinterpret_cast<const sockaddr_in6*>(&bound)->sin6_port)
        : ntohs(reinterpret_cast<const sockaddr_in*>(&bound)->sin_port);
    return start(int(descriptor), address, port);
}

bool HttpServer::start(int listenFd, const QHostAddress& address, quint16 port)
{
    if (m_core->daemon)
        return false;
    unsigned flags
        = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG;
    sockaddr_in v4 {};
    sockaddr_in6 v6 {};
    MHD_OptionItem where[] = { { MHD_OPTION_END, 0, nullptr }, { MHD_OPTION_END, 0, nullptr } };
    if (listenFd >= 0) {
        where[0] = { MHD_OPTION_LISTEN_SOCKET, listenFd, nullptr };
    } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        flags |= MHD_USE_IPv6;
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&v6.sin6_addr, &bytes, sizeof bytes);
        where[0] = { MHD_OPTION_SOCK_ADDR, 0, &v6 };
    } else if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        v4.sin_addr.s_addr = htonl(address.toIPv4Address());
        where[0] = { MHD_OPTION_SOCK_ADDR, 0, &v4 };
    } else {
        return false;
    }
    // The head bound is checked on the whole head, not by the library's pool: a head that nearly fills
    // the pool leaves no room for the answer's head, and the library then closes without a word.
    m_core->idleSeconds = unsigned(std::max(1, (m_idleMs + 999) / 1000));
    m_core->daemon = MHD_start_daemon(flags, port, nullptr, nullptr, &HttpServerCore::OnRequest, m_core.get(),
        MHD_OPTION_EXTERNAL_LOGGER, &HttpServerCore::Log, m_core.get(), MHD_OPTION_CONNECTION_LIMIT,
        unsigned(std::max(1, m_maxConnections)), MHD_OPTION_CONNECTION_TIMEOUT,
        unsigned(std::max(1, (m_idleMs + 999) / 1000)), MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        size_t(4 * kMaxHeadBytes), MHD_OPTION_STRICT_FOR_CLIENT, int(0), MHD_OPTION_URI_LOG_CALLBACK,
        &HttpServerCore::OnUri, m_core.get(), MHD_OPTION_NOTIFY_COMPLETED, &HttpServerCore::OnCompleted,
        m_core.get(), MHD_OPTION_NOTIFY_CONNECTION, &HttpServerCore::OnSocket, m_core.get(), MHD_OPTION_ARRAY,
        where, MHD_OPTION_END);
    if (!m_core->daemon)
        return false;
    m_core->started = true;
    const MHD_DaemonInfo* fd = MHD_get_daemon_info(m_core->daemon, MHD_DAEMON_INFO_LISTEN_FD);
    m_core->listenFd = fd ? fd->listen_fd : listenFd;
    // A client that connects and says nothing stays in the kernel for the idle time instead of
    // taking one of the connections: those that have sent something are accepted first.
    const int deferSeconds = std::max(1, (m_idleMs + 999) / 1000);
    ::setsockopt(m_core->listenFd, IPPROTO_TCP, TCP_DEFER_ACCEPT, &deferSeconds, sizeof deferSeconds);
    const MHD_DaemonInfo* bound = MHD_get_daemon_info(m_core->daemon, MHD_DAEMON_INFO_BIND_PORT);
    m_port = bound && bound->port ? bound->port : port;
    m_address = address;
    return true;
}

qsizetype HttpServer::connectionCount() const
{
    std::lock_guard lock(m_core->mutex);
    return qsizetype(m_core->peers.size());
}

void HttpServer::dispatch(const std::shared_ptr<HttpConnection>& c, const HttpRequest& request)
{
    m_handler(request, HttpReply(c));
    int fd = -1;
    {
        std::lock_guard lock(m_core->mutex);
        if (c->phase != HttpConnection::Phase::Queued || m_core->stopping)
            return; // answered at once
        const MHD_ConnectionInfo* info = MHD_get_connection_info(c->mhd, MHD_CONNECTION_INFO_CONNECTION_FD);
        fd = info ? info->connect_fd : -1;
    }
    if (fd < 0)
        return;
    // The library does not read a suspended connection: whether its client leaves is watched here.
    auto watcher = std::make_unique<QSocketNotifier>(qintptr(fd), QSocketNotifier::Read);
    connect(watcher.get(), &QSocketNotifier::activated, this, [this, weak = std::weak_ptr(c)] {
        if (const auto held = weak.lock())
            checkGone(held);
    });
    m_watchers[c.get()] = std::move(watcher);
}

void HttpServer::unwatch(HttpConnection* c)
{
    m_watchers.erase(c);
}

void HttpServer::checkGone(const std::shared_ptr<HttpConnection>& c)
{
    const auto it = m_watchers.find(c.get());
    if (it == m_watchers.end())
        return;
    char byte = 0;
    const ssize_t n = ::recv(int(it->second->socket()), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    m_watchers.erase(it);
    if (n > 0)
        return; // more requests behind this one: the client is there, and its leaving is no longer seen
    {
        std::lock_guard lock(m_core->mutex);
        if (c->phase != HttpConnection::Phase::Queued || m_core->stopping)
            return;
        c->phase = HttpConnection::Phase::Gone;
        m_core->suspended.erase(c);
    }
    MHD_resume_connection(c->mhd);
    if (m_gone)
        m_gone(c->request);
}

void HttpServer::noteRefusal(int status)
{
    if (m_refused)
        m_refused(status);
}

void HttpServer::startMakingRoom()
{
    if (!m_roomTimer.isActive())
        m_roomTimer.start();
}

void HttpServer::closeLate()
{
    std::lock_guard lock(m_core->mutex);
    const qint64 now = m_core->clock.elapsed();
    qint64 next = -1;
    // A request head has the idle time to come in whole, however slowly it trickles.
    for (Peer& peer : m_core->peers) {
        if (peer.busy || peer.closing)
            continue;
        const qint64 deadline = peer.quietSinceMs + m_idleMs;
        if (deadline <= now)
            CloseThroughLibrary(peer);
        else if (next < 0 || deadline < next)
            next = deadline;
    }
    m_core->deadlinesArmed = next >= 0;
    if (next >= 0)
        m_deadlineTimer.start(int(next - now));
    else
        m_deadlineTimer.stop();
}

void HttpServer::stalled(const std::shared_ptr<HttpConnection>& c)
{
    // A stalled answer holds its connection for the idle time, like a client that stops reading.
    QTimer::singleShot(m_idleMs, this, [c] {
        {
            std::lock_guard lock(c->core->mutex);
            if (c->phase != HttpConnection::Phase::Stalled || c->core->stopping)
                return;
            c->phase = HttpConnection::Phase::Unstalled;
            c->core->suspended.erase(c);
        }
        MHD_resume_connection(c->mhd);
    });
}

void HttpServer::makeRoom()
{
    std::lock_guard lock(m_core->mutex);
    if (qsizetype(m_core->peers.size()) < m_maxConnections || m_core->listenFd < 0) {
        m_core->roomArmed = false;
        m_roomTimer.stop(); // runs only while the cap is reached
        return;
    }
    pollfd waiting { m_core->listenFd, POLLIN, 0 };
    if (::poll(&waiting, 1, 0) <= 0)
        return; // nobody waits in the backlog
    const qint64 now = m_core->clock.elapsed();
    for (Peer& peer : m_core->peers) {
        if (!peer.busy && !peer.closing && now - peer.quietSinceMs >= kQuietBeforeEvictionMs)
            CloseThroughLibrary(peer);
    }
}
