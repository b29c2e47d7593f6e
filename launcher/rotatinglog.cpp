#include "rotatinglog.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RotatingLog::RotatingLog(std::string path, off_t limit)
    : m_path(std::move(path))
    , m_limit(limit)
{
}

RotatingLog::~RotatingLog()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool RotatingLog::reopen()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = ::open(m_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    return m_fd >= 0;
}

void RotatingLog::write(std::string_view lines)
{
    if (lines.empty() || m_path.empty())
        return;
    struct stat mine { };
    struct stat named { };
    if (m_fd < 0 || ::fstat(m_fd, &mine) != 0 || ::stat(m_path.c_str(), &named) != 0
        || mine.st_ino != named.st_ino || mine.st_dev != named.st_dev) {
        if (!reopen() || ::fstat(m_fd, &mine) != 0)
            return;
    }
    if (mine.st_size > 0 && mine.st_size + off_t(lines.size()) > m_limit) {
        const std::string old = m_path + ".1";
        if (::rename(m_path.c_str(), old.c_str()) != 0 || !reopen())
            return;
    }
    while (!lines.empty()) {
        const ssize_t n = ::write(m_fd, lines.data(), lines.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        lines.remove_prefix(size_t(n));
    }
}
