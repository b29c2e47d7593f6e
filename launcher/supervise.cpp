// kolpex-supervise LOG SERVICE [ARG...] -- COMMAND [ARG...]
//
// Runs COMMAND with a quote service of its own: a listening Unix socket in a directory only this
// user may enter ($XDG_RUNTIME_DIR/kolpex-XXXXXX, mode 700), so that no other account can reach,
// fill or block it, handed to SERVICE the way systemd hands one over, and a random path prefix that
// only COMMAND learns (KOLPEX_QUOTE_SERVICE) and the service (KOLPEX_QUOTE_PREFIX): nothing on a
// command line, where every user could read it. The service's output goes to LOG. A service that
// dies while COMMAND runs is started again on the same socket, so its address stays, unless it
// failed for its settings (exit status 2): that is said once on stderr and answered to COMMAND's
// requests as the reason there is no quote. The service runs in a process group of its own, so a
// terminal's Ctrl+C reaches COMMAND and this supervisor only, and the service ends after COMMAND;
// both end with this supervisor, however it ends (a parent-death signal covers SIGKILL). The exit
// status is COMMAND's.

#include "platform/localhttp.h"
#include "rotatinglog.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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
constexpr int kSettingsFailure = 2; // the service's status for a command line or settings it refuses
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

// A directory of our own (mkdtemp makes it mode 700) in the runtime directory, else in the
// temporary one, with the socket in it.
int ListenLocally(std::string* dir, std::string* path)
{
    std::vector<std::string> bases;
    for (const char* name : { "XDG_RUNTIME_DIR", "TMPDIR" }) {
        const char* base = std::getenv(name);
        if (base && base[0] == '/')
            bases.emplace_back(base);
    }
    bases.emplace_back("/tmp");
    for (const std::string& base : bases) {
        std::string made = base + "/kolpex-XXXXXX";
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        if (made.size() + 12 >= sizeof address.sun_path || !::mkdtemp(made.data()))
            continue;
        const std::string socketPath = made + "/quote.sock";
        std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
            && ::listen(fd, SOMAXCONN) == 0) {
            *dir = made;
            *path = socketPath;
            return fd;
        }
        const int saved = errno;
        if (fd >= 0)
            ::close(fd);
        ::unlink(socketPath.c_str());
        ::rmdir(made.c_str());
        errno = saved;
    }
    return -1;
}

// What came from a service goes to a terminal: no control bytes.
std::string Printable(const std::string& text)
{
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        out += c < 0x20 || c == 0x7F ? '?' : ch;
    }
    return out;
}

// A request met while the service is down for its settings: its head is read (a close with unread
// bytes would reset the answer away), then a 503 carries the reason, which the program shows.
void AnswerWithReason(int client, const std::string& reason)
{
    timeval wait { 1, 0 };
    ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    ::setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 16 * 1024) {
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        head.append(buffer, size_t(n));
    }
    const std::string answer
        = "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\nContent-Length: 0\r\n"
          "Cache-Control: no-store\r\nX-Kolpex-Reason: the quote service cannot start: "
        + Printable(reason).substr(0, 300) + "\r\n\r\n";
    [[maybe_unused]] const ssize_t sent = ::send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
    ::shutdown(client, SHUT_WR);
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
    void removeSocket();

    RotatingLog m_log;
    std::vector<char*> m_service;
    std::vector<char*> m_command;
    pid_t m_self = ::getpid();
    int m_signals = -1;
    int m_listen = -1;
    std::string m_socketDir, m_socketPath;
    std::string m_prefix, m_url;

    pid_t m_servicePid = 0;
    int m_output = -1; // the running service's stdout and stderr
    std::string m_partial;
    std::deque<std::string> m_tail; // its last lines, shown when it does not come up
    std::string m_complaint; // its last "kolpex-quote-service: ..." line
    std::optional<std::string> m_settingsFailure; // why it cannot start; then it is not restarted
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
    m_listen = ListenLocally(&m_socketDir, &m_socketPath);
    if (m_signals < 0 || !prefix || m_listen < 0) {
        Say(std::string("cannot set up a quote service: ") + std::strerror(errno));
        return false;
    }
    m_prefix = *prefix;
    m_url = LocalServiceUrl(m_socketPath, "/" + m_prefix);
    logLine("kolpex: quote service for process " + std::to_string(m_self) + " on unix:" + m_socketPath);
    return true;
}

void Supervisor::removeSocket()
{
    if (m_socketPath.empty())
        return;
    ::unlink(m_socketPath.c_str());
    ::rmdir(m_socketDir.c_str());
    m_socketPath.clear();
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
    m_complaint.clear();
    const pid_t pid = ::fork();
    if (pid == 0) {
        BecomeChild(m_self);
        ::setpgid(0, 0); // out of the terminal's reach: Ctrl+C is for us and COMMAND
        const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (null < 0 || ::dup2(null, 0) < 0 || ::dup2(pipe[1], 1) < 0 || ::dup2(pipe[1], 2) < 0)
            ::_exit(127);
        if (null > 2)
            ::close(null);
        else if (null == 0)
            ::fcntl(0, F_SETFD, 0); // dup2 onto itself would have left it close-on-exec
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
    ::setpgid(pid, pid); // as the child does, whichever runs first
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
            // Its settings will not mend themselves: starting it again would only fail again.
            const bool settings = !m_stopping && WIFEXITED(status) && WEXITSTATUS(status) == kSettingsFailure;
            logLine("kolpex: the quote service " + how
                + (m_stopping      ? ""
                        : settings ? "; it is not started again until its settings are mended"
                                   : "; it will be started again"));
            if (settings && !m_settingsFailure) {
                m_settingsFailure = m_complaint.empty() ? how : m_complaint;
                Say("the quote service cannot start: " + Printable(*m_settingsFailure) + " (its log is "
                    + m_log.path() + ")");
            }
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
            constexpr std::string_view kOwnName = "kolpex-quote-service: ";
            if (line.rfind(kOwnName, 0) == 0)
                m_complaint = line.substr(kOwnName.size());
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
    if (m_stopping || m_servicePid > 0 || m_settingsFailure)
        return std::nullopt;
    if (m_starts.size() < kStartsPerWindow)
        return now;
    return std::max(now, m_starts.front() + kRestartWindow);
}

int Supervisor::exitStatus() const
{
    if (WIFEXITED(m_commandStatus))
        return WEXITSTATUS(m_commandStatus);
    const int sig = WTERMSIG(m_commandStatus);
    // A crash is reported, not repeated here: raising SIGSEGV would dump this supervisor's core.
    if (WCOREDUMP(m_commandStatus) || sig == SIGSEGV || sig == SIGABRT || sig == SIGBUS || sig == SIGFPE
        || sig == SIGILL) {
        Say(std::string(m_command[0]) + " was killed by signal " + std::to_string(sig) + " (" + strsignal(sig)
            + (WCOREDUMP(m_commandStatus) ? ", core dumped" : "") + ")");
        return 128 + sig;
    }
    // Ended by a signal: end the same way, so that a calling shell sees it.
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
    if (!setUp()) {
        removeSocket();
        return 1;
    }
    m_firstStart = Clock::now();
    startService();
    for (;;) {
        const auto now = Clock::now();
        if (!m_commandStarted && !m_stopping
            && (m_ready || m_servicePid <= 0 || now - m_firstStart >= kStartWait)) {
            if (!m_ready && !m_settingsFailure) {
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
            if (client >= 0 && m_settingsFailure)
                AnswerWithReason(client, *m_settingsFailure);
            if (client >= 0)
                ::close(client);
        }
    }
    readOutput();
    removeSocket();
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
