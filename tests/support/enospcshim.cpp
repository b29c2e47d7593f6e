// Preloaded into a child process where no small file system can be mounted: write(2) to a file
// below KOLPEX_ENOSPC_DIR fails with ENOSPC once the file would grow past KOLPEX_ENOSPC_ROOM
// bytes, the way a full disk refuses it. Everything else goes through untouched.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using WriteFunction = ssize_t (*)(int, const void*, size_t);

bool Refused(int fd, size_t count, size_t& allowed)
{
    const char* dir = std::getenv("KOLPEX_ENOSPC_DIR");
    const char* room = std::getenv("KOLPEX_ENOSPC_ROOM");
    if (!dir || !room || !*dir)
        return false;
    char path[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = ::readlink(link.c_str(), path, sizeof path - 1);
    if (length <= 0)
        return false;
    path[length] = '\0';
    const size_t dirLength = std::strlen(dir);
    if (std::strncmp(path, dir, dirLength) != 0 || (path[dirLength] != '/' && path[dirLength] != '\0'))
        return false;
    struct stat info { };
    const off_t position = ::lseek(fd, 0, SEEK_CUR);
    if (::fstat(fd, &info) != 0 || position < 0)
        return false;
    const size_t limit = std::strtoull(room, nullptr, 10);
    // Overwriting bytes the file already holds needs no room; growing it does.
    const size_t end = static_cast<size_t>(position) + count;
    const size_t held = static_cast<size_t>(info.st_size) > limit ? static_cast<size_t>(info.st_size) : limit;
    if (end <= held)
        return false;
    allowed = static_cast<size_t>(position) < held ? held - static_cast<size_t>(position) : 0;
    return true;
}

} // namespace

extern "C" ssize_t write(int fd, const void* buffer, size_t count)
{
    static const auto real = reinterpret_cast<WriteFunction>(::dlsym(RTLD_NEXT, "write"));
    size_t allowed = 0;
    if (count > 0 && Refused(fd, count, allowed)) {
        if (allowed == 0) {
            errno = ENOSPC;
            return -1;
        }
        count = allowed; // a short write first, then ENOSPC on the next call
    }
    return real(fd, buffer, count);
}
