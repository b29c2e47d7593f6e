#pragma once

// Load for the service benchmarks: the service program as a child process, clients on plain
// non-blocking sockets driven by poll(), and a bare libmicrohttpd server as the floor.

#include "support/loopbacksocket.h"
#include "support/residentsize.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <algorithm>
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <memory>
#include <microhttpd.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

inline const QByteArray kQuoteTarget = "/detail/stock_quote?Symbol=US:MSFT";

inline void RaiseDescriptorLimit()
{
    rlimit limit {};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

// The size of the first complete answer at the front of `bytes`, or 0 while it is incomplete.
inline qsizetype CompleteAnswer(const QByteArray& bytes, int* status = nullptr)
{
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    if (end < 0)
        return 0;
    const QByteArray head = bytes.left(end).toLower();
    const qsizetype at = head.indexOf("\r\ncontent-length: ");
    const qsizetype length
        = at < 0 ? 0 : head.mid(at + 18, head.indexOf('\r', at + 2) - at - 18).toLongLong();
    if (bytes.size() < end + 4 + length)
        return 0;
    if (status)
        *status = bytes.mid(9, 3).toInt();
    return end + 4 + length;
}

// The real program on a port of its own, serving the simulated market at a fixed moment.
class ServiceProgram final {
public:
    explicit ServiceProgram(QString program)
        : m_program(std::move(program))
    {
    }
    ~ServiceProgram() { stop(); }

    bool start()
    {
        stop();
        m_process = std::make_unique<QProcess>();
        m_process->start(m_program,
            { QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--quiet"),
                QStringLiteral("--source"), QStringLiteral("simulated"), QStringLiteral("--lists"),
                QStringLiteral(KOLPEX_DATA_DIR), QStringLiteral("--now"),
                QStringLiteral("2024-03-05T15:42:00Z") });
        const QDeadlineTimer deadline(10000);
        while (
            !m_process->canReadLine() && !deadline.hasExpired() && m_process->state() != QProcess::NotRunning)
            m_process->waitForReadyRead(100);
        const QByteArray line = m_process->readLine().trimmed();
        m_port = quint16(line.mid(line.lastIndexOf(':') + 1).toUInt());
        return line.startsWith("listening on ") && m_port != 0;
    }
    void stop()
    {
        if (!m_process)
            return;
        m_process->terminate();
        if (!m_process->waitForFinished(10000))
            m_process->kill();
        m_process.reset();
    }
    quint16 port() const { return m_port; }
    qint64 residentKiB() const { return ResidentKiB(m_process ? m_process->processId() : 0); }

private:
    QString m_program;
    std::unique_ptr<QProcess> m_process;
    quint16 m_port = 0;
};

inline QByteArray FetchBody(quint16 port, const QByteArray& target)
{
    const int fd = ConnectLoopback(port);
    const QByteArray request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    QByteArray all;
    if (fd >= 0 && ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) > 0) {
        char buffer[65536];
        ssize_t n = 0;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
            all.append(buffer, n);
    }
    if (fd >= 0)
        ::close(fd);
    return all.mid(all.indexOf("\r\n\r\n") + 4);
}

struct Load {
    double requestsPerSecond = 0;
    double p50Us = 0;
    double p99Us = 0;
    qint64 failed = 0; // answers other than 200, and connections lost
};

inline void ReportLoad(benchmark::State& state, const Load& load)
{
    state.counters["req_per_s"] = load.requestsPerSecond;
    state.counters["p50_us"] = load.p50Us;
    state.counters["p99_us"] = load.p99Us;
    state.counters["failed"] = double(load.failed);
}

// `clients` keep-alive connections, each with one request in flight at a time, for `ms`
// milliseconds after a warm-up of a fifth of that.
inline Load RunKeepAliveClients(quint16 port, int clients, int ms)
{
    using Clock = std::chrono::steady_clock;
    const QByteArray request = "GET " + kQuoteTarget + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    struct Client {
        int fd = -1;
        QByteArray received;
        Clock::time_point sent;
    };
    std::vector<Client> all(static_cast<std::size_t>(clients));
    std::vector<pollfd> polled(all.size());
    auto send = [&](std::size_t i) {
        if (all[i].fd < 0) {
            all[i].fd = ConnectLoopback(port);
            ::fcntl(all[i].fd, F_SETFL, O_NONBLOCK);
        }
        all[i].received.clear();
        all[i].sent = Clock::now();
        ::send(all[i].fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL);
        polled[i] = { all[i].fd, POLLIN, 0 };
    };
    for (std::size_t i = 0; i < all.size(); ++i)
        send(i);
    const Clock::time_point start = Clock::now();
    const Clock::time_point measureFrom = start + std::chrono::milliseconds(ms / 5);
    const Clock::time_point end = measureFrom + std::chrono::milliseconds(ms);
    std::vector<double> latencies;
    Load load;
    char buffer[65536];
    while (Clock::now() < end) {
        if (::poll(polled.data(), polled.size(), 100) <= 0)
            continue;
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (!(polled[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = ::recv(all[i].fd, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EAGAIN)
                continue;
            const Clock::time_point now = Clock::now();
            if (n <= 0) {
                ::close(all[i].fd);
                all[i].fd = -1;
                load.failed += now >= measureFrom;
                send(i);
                continue;
            }
            all[i].received.append(buffer, n);
            int status = 0;
            if (CompleteAnswer(all[i].received, &status) == 0)
                continue;
            if (now >= measureFrom) {
                latencies.push_back(std::chrono::duration<double, std::micro>(now - all[i].sent).count());
                load.failed += status != 200;
            }
            send(i);
        }
    }
    for (const Client& c : all)
        if (c.fd >= 0)
            ::close(c.fd);
    if (latencies.empty())
        return load;
    std::sort(latencies.begin(), latencies.end());
    load.requestsPerSecond = double(latencies.size()) * 1000.0 / ms;
    load.p50Us = latencies[latencies.size() / 2];
    load.p99Us = latencies[latencies.size() * 99 / 100];
    return load;
}

// `clients` connections opened before any of them sends; how many got a whole 200 answer.
inline int RunBurst(quint16 port, int clients)
{
    std::vector<int> fds;
    for (int i = 0; i < clients; ++i)
        fds.push_back(ConnectLoopback(port));
    const QByteArray request
        = "GET " + kQuoteTarget + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    std::vector<pollfd> polled;
    for (const int fd : fds) {
        if (fd >= 0)
            ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL);
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
        polled.push_back({ fd, POLLIN, 0 });
    }
    std::vector<QByteArray> received(fds.size());
    int open = int(std::count_if(fds.begin(), fds.end(), [](int fd) { return fd >= 0; }));
    const QDeadlineTimer deadline(60000);
    char buffer[65536];
    while (open > 0 && !deadline.hasExpired()) {
        if (::poll(polled.data(), polled.size(), 200) <= 0)
            continue;
        for (std::size_t i = 0; i < polled.size(); ++i) {
            if (polled[i].fd < 0 || !(polled[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = ::recv(polled[i].fd, buffer, sizeof buffer, 0);
            if (n > 0) {
                received[i].append(buffer, n);
            } else if (n == 0 || errno != EAGAIN) {
                ::close(polled[i].fd);
                polled[i].fd = -1;
                --open;
            }
        }
    }
    int answered = 0;
    for (std::size_t i = 0; i < polled.size(); ++i) {
        if (polled[i].fd >= 0)
            ::close(polled[i].fd);
        int status = 0;
        answered += CompleteAnswer(received[i], &status) > 0 && status == 200;
    }
    return answered;
}

// libmicrohttpd answering every request with the same bytes, nothing else.
class BarePageServer final {
public:
    explicit BarePageServer(const QByteArray& page)
        : m_page(page)
    {
        m_daemon = MHD_start_daemon(MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL, 0, nullptr, nullptr,
            &BarePageServer::Answer, this, MHD_OPTION_CONNECTION_LIMIT, 4096u, MHD_OPTION_SOCK_ADDR,
            Loopback(), MHD_OPTION_END);
        const MHD_DaemonInfo* info
            = m_daemon ? MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT) : nullptr;
        m_port = info ? info->port : 0;
    }
    ~BarePageServer()
    {
        if (m_daemon)
            MHD_stop_daemon(m_daemon);
    }
    quint16 port() const { return m_port; }

private:
    static const sockaddr* Loopback()
    {
        static sockaddr_in addr = [] {
            sockaddr_in a {};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            return a;
        }();
        return reinterpret_cast<const sockaddr*>(&addr);
    }
    static MHD_Result Answer(void* cls, MHD_Connection* connection, const char*, const char*, const char*,
        const char*, size_t*, void** context)
    {
        // answered on the second call, when the request is complete, or the library closes after it
        if (!*context) {
            *context = cls;
            return MHD_YES;
        }
        auto* self = static_cast<BarePageServer*>(cls);
        MHD_Response* response = MHD_create_response_from_buffer(
            size_t(self->m_page.size()), const_cast<char*>(self->m_page.constData()), MHD_RESPMEM_PERSISTENT);
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/html; charset=windows-1252");
        const MHD_Result result = MHD_queue_response(connection, MHD_HTTP_OK, response);
        MHD_destroy_response(response);
        return result;
    }

    QByteArray m_page;
    MHD_Daemon* m_daemon = nullptr;
    quint16 m_port = 0;
};
