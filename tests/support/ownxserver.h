#pragma once

// An Xvfb of the test's own for tests that need real window-system input: events sent to it
// (xdotool) come to the program the way a user's do. It goes with the test however the test ends.

#include <QByteArray>
#include <QtGlobal>
#include <csignal>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

class OwnXServer final {
public:
    // Starts it and points DISPLAY and QT_QPA_PLATFORM at it; false (nothing changed) without one.
    bool start()
    {
        const QByteArray display = startDisplay();
        if (display.isEmpty())
            return false;
        qputenv("DISPLAY", display);
        qputenv("QT_QPA_PLATFORM", "xcb");
        return true;
    }
    // Starts it and names its display (":N"), for a program of the test's; empty without one.
    QByteArray startDisplay()
    {
        int fds[2];
        if (pipe(fds) != 0)
            return {};
        m_pid = fork();
        if (m_pid == 0) {
            close(fds[0]);
            // it goes with the test however the test ends, and never holds ctest's pipes after it
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
                "tcp", "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string display;
        pollfd p { fds[0], POLLIN, 0 };
        char c = 0;
        while (m_pid > 0 && poll(&p, 1, 10'000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
            display += c;
        close(fds[0]);
        if (display.empty() || c != '\n')
            return {};
        return QByteArray(":") + QByteArray::fromStdString(display);
    }
    ~OwnXServer()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    OwnXServer() = default;
    OwnXServer(const OwnXServer&) = delete;
    OwnXServer& operator=(const OwnXServer&) = delete;

private:
    pid_t m_pid = -1;
};
