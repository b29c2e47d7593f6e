// kolpex-supervise LOG SERVICE [ARG...] -- COMMAND [ARG...]
//
// Runs COMMAND with a quote service of its own: a listening socket on 127.0.0.1 at a port the
// kernel picks, handed to SERVICE the way systemd hands one over, and a random path prefix that only
// COMMAND learns (KOLPEX_QUOTE_SERVICE) and the service (KOLPEX_QUOTE_PREFIX): nothing on a command
// line, where every user could read it. The service's output goes to LOG. A service that dies while
// COMMAND runs is started again on the same socket, so its address stays; the service and COMMAND
// end with each other and with this supervisor, however it ends (a parent-death signal covers
// SIGKILL). The exit status is COMMAND's.

#include "rotatinglog.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kStartWait = 15s; // a cold start reads seven list files; a loaded machine is slower
constexpr auto kStopWait = 5s;
constexpr auto kRestartWindow = 60s;
constexpr size_t kStartsPerWindow = 4;
constexpr int kInheritedFd = 3; // where socket activation looks
const int kStopSignals[] = { SIGINT, SIGTERM, SIGHUP, SIGQUIT };

void Say(const std::string& text)
{
    std::fprintf(stderr, "kolpex: %s\n", text.c_str());
}

std::optional<std::string> RandomPrefix()
{
    unsigned char bytes[16];
    const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    const bool ok = ::read(fd, bytes, sizeof bytes) == ssize_t(sizeof bytes);
    ::close(fd);
    if (!ok)
        return std::nullopt;
    std::string hex;
    for (unsigned char b : bytes) {
        hex += "0123456789abcdef"[b >> 4];
        hex += "0123456789abcdef"[b & 15];
    }
    return hex;
}

int ListenOnLoopback(unsigned* port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(fd, SOMAXCONN) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    *port = ntohs(address.sin_port);
    return fd;
}

// In a child just forked: it dies with us, and starts with the signal state of a fresh process.
void BecomeChild(pid_t parent)
{
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent)
        ::_exit(1);
    for (int sig : kStopSignals)
        ::signal(sig, SIG_DFL);
    ::signal(SIGPIPE, SIG_DFL);
    ::signal(SIGCHLD, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

[[noreturn]] void Exec(const std::vector<char*>& argv)
{
    ::execvp(argv[0], argv.data());
    std::fprintf(stderr, "kolpex: cannot run %s: %s\n", argv[0], std::strerror(errno));
    ::_exit(127);
}

class Supervisor final {
public:
    Supervisor(std::string logPath, std::vector<char*> service, std::vector<char*> command)
        : m_log(std::move(logPath))
        , m_service(std::move(service))
        , m_command(std::move(command))
    {
    }

    int run();

private:
    bool setUp();
    void startService();
    void startCommand();
    void stopService();
    void onSignal(int sig);
    void reap();
    void readOutput();
    void logLine(const std::string& line);
    std::optional<Clock::time_point> nextRestart(Clock::time_point now) const;
    int exitStatus() const;

    RotatingLog m_log;
    std::vector<char*> m_service;
    std::vector<char*> m_command;
    pid_t m_self = ::getpid();
    int m_signals = -1;
    int m_listen = -1;
    std::string m_prefix, m_url;

    pid_t m_servicePid = 0;
    int m_output = -1; // the running service's stdout and stderr
    std::string m_partial;
    std::deque<std::string> m_tail; // its last lines, shown when it does not come up
    std::deque<Clock::time_point> m_starts;
    std::optional<Clock::time_point> m_stopSent;
    bool m_ready = false;

    pid_t m_commandPid = 0;
    bool m_commandStarted = false;
    int m_commandStatus = 0;
    bool m_stopping = false;
    Clock::time_point m_firstStart;
};

bool Supervisor::setUp()
{
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kStopSignals)
        sigaddset(&set, sig);
    sigaddset(&set, SIGCHLD);
    ::sigprocmask(SIG_BLOCK, &set, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    m_signals = ::signalfd(-1, &set, SFD_CLOEXEC);
    const std::optional<std::string> prefix = RandomPrefix();
    unsigned port = 0;
    m_listen = ListenOnLoopback(&port);
    if (m_signals < 0 || !prefix || m_listen < 0) {
        Say(std::string("cannot set up a quote service: ") + std::strerror(errno));
        return false;
    }
    m_prefix = *prefix;
    m_url = "http://127.0.0.1:" + std::to_string(port) + "/" + m_prefix;
    logLine("kolpex: quote service for process " + std::to_string(m_self)
        + " on 127.0.0.1:" + std::to_string(port));
    return true;
}

void Supervisor::startService()
{
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        logLine(std::string("kolpex: cannot start the quote service: ") + std::strerror(errno));
        return;
    }
    m_starts.push_back(Clock::now());
    while (m_starts.size() > kStartsPerWindow)
        m_starts.pop_front();
    m_ready = false;
    const pid_t pid = ::fork();
    if (pid == 0) {
        BecomeChild(m_self);
        const int null = ::open("/dev/null", O_RDONLY);
        if (null < 0 || ::dup2(null, 0) < 0 || ::dup2(pipe[1], 1) < 0 || ::dup2(pipe[1], 2) < 0)
            ::_exit(127);
        if (m_listen == kInheritedFd)
            ::fcntl(m_listen, F_SETFD, 0);
        else if (::dup2(m_listen, kInheritedFd) < 0)
            ::_exit(127);
        ::setenv("LISTEN_FDS", "1", 1);
        ::setenv("LISTEN_PID", std::to_string(::getpid()).c_str(), 1);
        ::unsetenv("LISTEN_FDNAMES");
        ::setenv("KOLPEX_QUOTE_PREFIX", m_prefix.c_str(), 1);
        Exec(m_service);
    }
    ::close(pipe[1]);
    ::fcntl(pipe[0], F_SETFL, O_NONBLOCK);
    if (pid < 0) {
        ::close(pipe[0]);
        logLine(std::string("kolpex: cannot start the quote service: ") + std::strerror(errno));
        return;
    }
    m_servicePid = pid;
    if (m_output >= 0)
        ::close(m_output);
    m_output = pipe[0];
    m_partial.clear();
}

void Supervisor::startCommand()
{
    m_commandStarted = true;
    const pid_t pid = ::fork();
    if (pid == 0) {
        BecomeChild(m_self);
        ::unsetenv("LISTEN_FDS");
        ::unsetenv("LISTEN_PID");
        ::unsetenv("LISTEN_FDNAMES");
        ::unsetenv("KOLPEX_QUOTE_PREFIX");
        ::setenv("KOLPEX_QUOTE_SERVICE", m_url.c_str(), 1);
        Exec(m_command);
    }
    if (pid < 0) {
        Say(std::string("cannot start ") + m_command[0] + ": " + std::strerror(errno));
        m_commandStatus = 127 << 8;
        m_stopping = true;
        return;
    }
    m_commandPid = pid;
}

// SIGCONT too, so that a stopped service still hears it.
void Supervisor::stopService()
{
    if (m_servicePid <= 0 || m_stopSent)
        return;
    ::kill(m_servicePid, SIGTERM);
    ::kill(m_servicePid, SIGCONT);
    m_stopSent = Clock::now();
}

void Supervisor::onSignal(int sig)
{
    if (sig == SIGCHLD) {
        reap();
        return;
    }
    m_stopping = true;
    if (m_commandPid > 0) {
        ::kill(m_commandPid, sig);
    } else if (!m_commandStarted) {
        m_commandStatus = sig; // as if the command had been ended by it
        stopService();
    }
}

void Supervisor::reap()
{
    int status = 0;
    pid_t pid;
    while ((pid = ::waitpid(-1, &status, WNOHANG)) > 0) {
        if (pid == m_commandPid) {
            m_commandPid = 0;
            m_commandStatus = status;
            m_stopping = true;
            stopService();
        } else if (pid == m_servicePid) {
            readOutput(); // whatever it said last
            m_servicePid = 0;
            m_stopSent.reset();
            const std::string how = WIFSIGNALED(status)
                ? "was killed by signal " + std::to_string(WTERMSIG(status))
                : "exited with status " + std::to_string(WEXITSTATUS(status));
            logLine("kolpex: the quote service " + how + (m_stopping ? "" : "; it will be started again"));
        }
    }
}

void Supervisor::logLine(const std::string& line)
{
    m_log.write(line + '\n');
    if (!m_ready) {
        m_tail.push_back(line);
        if (m_tail.size() > 5)
            m_tail.pop_front();
    }
}

void Supervisor::readOutput()
{
    if (m_output < 0)
        return;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(m_output, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        if (n <= 0) {
            ::close(m_output);
            m_output = -1;
            if (!m_partial.empty())
                logLine(m_partial);
            m_partial.clear();
            return;
        }
        m_partial.append(buffer, size_t(n));
        size_t end;
        while ((end = m_partial.find('\n')) != std::string::npos) {
            const std::string line = m_partial.substr(0, end);
            m_partial.erase(0, end + 1);
            if (line.rfind("listening on ", 0) == 0)
                m_ready = true;
            logLine(line);
        }
        if (m_partial.size() > 4096) {
            logLine(m_partial);
            m_partial.clear();
        }
        if (size_t(n) < sizeof buffer)
            return;
    }
}

// A few starts a minute at most: the next one once the oldest of the last few is a minute old.
std::optional<Clock::time_point> Supervisor::nextRestart(Clock::time_point now) const
{
    if (m_stopping || m_servicePid > 0)
        return std::nullopt;
    if (m_starts.size() < kStartsPerWindow)
        return now;
    return std::max(now, m_starts.front() + kRestartWindow);
}

int Supervisor::exitStatus() const
{
    if (WIFEXITED(m_commandStatus))
        return WEXITSTATUS(m_commandStatus);
    // Ended by a signal: end the same way, so that a calling shell sees it.
    const int sig = WTERMSIG(m_commandStatus);
    std::fflush(nullptr);
    ::signal(sig, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(sig);
    return 128 + sig;
}

int Supervisor::run()
{
    if (!setUp())
        return 1;
    m_firstStart = Clock::now();
    startService();
    for (;;) {
        const auto now = Clock::now();
        if (!m_commandStarted && !m_stopping
            && (m_ready || m_servicePid <= 0 || now - m_firstStart >= kStartWait)) {
            if (!m_ready) {
                Say("the quote service did not start; its last words follow (the full log is " + m_log.path()
                    + "):");
                for (const std::string& line : m_tail)
                    std::fprintf(stderr, "  %s\n", line.c_str());
            }
            m_ready = true; // no more start-up report
            startCommand();
        }
        if (m_stopping && m_commandPid <= 0 && m_servicePid <= 0)
            break;
        if (m_stopping && m_commandPid <= 0)
            stopService();
        if (m_stopSent && now - *m_stopSent >= kStopWait) {
            ::kill(m_servicePid, SIGKILL);
            m_stopSent = now;
        }
        const std::optional<Clock::time_point> restart = nextRestart(now);
        if (restart && *restart <= now) {
            startService();
            continue;
        }

        std::optional<Clock::time_point> wake = restart;
        const auto earlier = [&wake](Clock::time_point t) { wake = wake ? std::min(*wake, t) : t; };
        if (!m_commandStarted)
            earlier(m_firstStart + kStartWait);
        if (m_stopSent)
            earlier(*m_stopSent + kStopWait);
        int timeout = -1;
        if (wake)
            timeout = std::max(0, int(std::chrono::ceil<std::chrono::milliseconds>(*wake - now).count()));
        // While no service runs, waiting clients are let go at once rather than left to time out.
        pollfd fds[3] = { { m_signals, POLLIN, 0 }, { m_output, POLLIN, 0 },
            { m_servicePid > 0 ? -1 : m_listen, POLLIN, 0 } };
        if (::poll(fds, 3, timeout) < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info[8];
            const ssize_t n = ::read(m_signals, info, sizeof info);
            for (ssize_t i = 0; i < n / ssize_t(sizeof info[0]); ++i)
                onSignal(int(info[i].ssi_signo));
        }
        if (fds[1].revents & (POLLIN | POLLHUP))
            readOutput();
        if (fds[2].revents & POLLIN) {
            const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0)
                ::close(client);
        }
    }
    readOutput();
    return exitStatus();
}

} // namespace

int main(int argc, char** argv)
{
    int split = 2;
    while (split < argc && std::strcmp(argv[split], "--") != 0)
        ++split;
    if (argc < 5 || split == 2 || split >= argc - 1) {
        std::fprintf(stderr, "usage: kolpex-supervise LOG SERVICE [ARG...] -- COMMAND [ARG...]\n");
        return 2;
    }
    std::vector<char*> service(argv + 2, argv + split);
    std::vector<char*> command(argv + split + 1, argv + argc);
    service.push_back(nullptr);
    command.push_back(nullptr);
    Supervisor supervisor(argv[1], std::move(service), std::move(command));
    return supervisor.run();
}
