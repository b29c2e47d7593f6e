#include "http/socketactivation.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int kFirstInheritedFd = 3;

std::optional<long> Number(const char* text)
{
    if (!text || !*text)
        return std::nullopt;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < 0)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<int> TakeInheritedSocket()
{
    const std::optional<long> pid = Number(std::getenv("LISTEN_PID"));
    const std::optional<long> count = Number(std::getenv("LISTEN_FDS"));
    ::unsetenv("LISTEN_PID");
    ::unsetenv("LISTEN_FDS");
    ::unsetenv("LISTEN_FDNAMES");
    if (!pid || !count || *pid != long(::getpid()) || *count < 1)
        return std::nullopt;
    int type = 0;
    socklen_t length = sizeof type;
    if (::getsockopt(kFirstInheritedFd, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_STREAM)
        return std::nullopt;
    ::fcntl(kFirstInheritedFd, F_SETFD, FD_CLOEXEC);
    return kFirstInheritedFd;
}

std::optional<std::string> LocalSocketPath(int fd)
{
    sockaddr_un address {};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0
        || address.sun_family != AF_UNIX || length <= offsetof(sockaddr_un, sun_path))
        return std::nullopt;
    return std::string(
        address.sun_path, ::strnlen(address.sun_path, length - offsetof(sockaddr_un, sun_path)));
}
