#include "platform/exitsignals.h"

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> kSignals { SIGTERM, SIGHUP, SIGINT };

// Written by the handlers, so a plain int: set before they are installed, cleared after.
volatile int g_writeFd = -1;
std::array<struct sigaction, kSignals.size()> g_previous {};

extern "C" void OnExitSignal(int signal)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    // Non-blocking: with the pair full the exit is already asked for, so a lost byte loses nothing.
    [[maybe_unused]] const ssize_t n = ::write(g_writeFd, &byte, 1);
    errno = savedErrno;
}

} // namespace

ExitSignals::ExitSignals(QObject* parent)
    : QObject(parent)
{
    if (g_writeFd >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_fds) != 0)
        return;
    for (int fd : m_fds)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    g_writeFd = m_fds[0];
    struct sigaction action { };
    action.sa_handler = OnExitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // a blocking call in flight goes on; the loop sees the byte next
    bool installed = true;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        installed = ::sigaction(kSignals[i], &action, &g_previous[i]) == 0 && installed;
    if (!installed)
        return;
    m_notifier = new QSocketNotifier(m_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ExitSignals::readPending);
}

ExitSignals::~ExitSignals()
{
    if (m_fds[0] < 0)
        return;
    if (g_writeFd == m_fds[0]) {
        for (std::size_t i = 0; i < kSignals.size(); ++i)
            ::sigaction(kSignals[i], &g_previous[i], nullptr);
        g_writeFd = -1;
    }
    delete m_notifier;
    ::close(m_fds[0]);
    ::close(m_fds[1]);
}

void ExitSignals::readPending()
{
    unsigned char bytes[16];
    for (;;) {
        const ssize_t n = ::read(m_fds[1], bytes, sizeof bytes);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        for (ssize_t i = 0; i < n; ++i)
            Q_EMIT received(bytes[i]);
    }
}

QByteArray ExitSignals::Name(int signal)
{
    switch (signal) {
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    case SIGINT:
        return "SIGINT";
    default:
        return "signal " + QByteArray::number(signal);
    }
}
