#include "platform/carefulreplace.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

std::optional<std::size_t>& WriteLimit()
{
    static std::optional<std::size_t> limit;
    return limit;
}

// Every byte through write(2), each result checked, so that a full disk is seen where it
// happens instead of in a buffer flushed later. The test limit fails like a full disk.
bool WriteAll(int fd, std::string_view bytes)
{
    std::size_t offered = bytes.size();
    if (const auto& limit = WriteLimit(); limit && offered > *limit)
        offered = *limit;
    std::size_t done = 0;
    while (done < offered) {
        const ssize_t n = ::write(fd, bytes.data() + done, offered - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return offered == bytes.size();
}

// On disk and of the expected size: only then does the file count as written.
bool SyncedAtSize(int fd, std::size_t size)
{
    struct stat info { };
    return ::fsync(fd) == 0 && ::fstat(fd, &info) == 0 && static_cast<std::size_t>(info.st_size) == size;
}

bool ReadAll(int fd, std::string& bytes)
{
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
}

// A new file beside the target under a short name of its own (a long symbol must not make the
// temporary name too long where the final one still fits); -1 when the directory refuses it.
int CreateTemporary(const std::string& dir, std::string& path)
{
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = dir + "/.kolpex-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// On disk with its directory entry: a rename is durable only once its directory is synced.
void SyncDirectory(const std::string& dir)
{
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Writes a complete copy beside the target and renames it over the target. The copy takes the
// earlier file's mode and, where the user may give it, its owner.
enum class Replace { Done, Failed, NoTemporary };
Replace ReplaceByRename(
    const std::string& dir, const std::string& target, const struct stat* earlier, std::string_view bytes)
{
    std::string temporary;
    const int fd = CreateTemporary(dir, temporary);
    if (fd < 0)
        return Replace::NoTemporary;
    if (earlier) {
        // Owner first: changing it may clear the set-id bits that the mode then puts back.
        [[maybe_unused]] const int owned = ::fchown(fd, earlier->st_uid, earlier->st_gid);
        ::fchmod(fd, earlier->st_mode & 07777);
    }
    const bool written = WriteAll(fd, bytes) && SyncedAtSize(fd, bytes.size());
    const bool closed = ::close(fd) == 0;
    if (written && closed && ::rename(temporary.c_str(), target.c_str()) == 0) {
        SyncDirectory(dir);
        return Replace::Done;
    }
    ::unlink(temporary.c_str());
    return Replace::Failed;
}

// For a file that may be written in a directory that takes no new file. The earlier contents
// are kept in memory and put back when the new ones do not fit, so a failure leaves the file as
// it was: overwriting its own bytes needs no more room than it already holds.
bool ReplaceInPlace(const std::string& target, std::string_view bytes)
{
    const int fd = ::open(target.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat info { };
    std::string earlier;
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ReadAll(fd, earlier);
    if (ok) {
        ok = ::lseek(fd, 0, SEEK_SET) == 0 && WriteAll(fd, bytes)
            && ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && SyncedAtSize(fd, bytes.size());
        if (!ok && ::lseek(fd, 0, SEEK_SET) == 0) {
            const auto limit = std::exchange(WriteLimit(), std::nullopt);
            if (WriteAll(fd, earlier))
                ::ftruncate(fd, static_cast<off_t>(earlier.size()));
            ::fsync(fd);
            WriteLimit() = limit;
        }
    }
    return ::close(fd) == 0 && ok;
}

// The file a path names once its symbolic links are followed (the path itself when it is none),
// so that the data file's link stays a link and its target gets the new contents. A link that
// leads nowhere names the file it would create.
std::string FollowLinks(std::string path)
{
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info { };
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return path;
        std::string link(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n < 0 || static_cast<std::size_t>(n) >= link.size())
            return path;
        link.resize(static_cast<std::size_t>(n));
        if (link.front() == '/')
            path = link;
        else
            path = std::filesystem::path(path).parent_path().string() + '/' + link;
    }
    return path; // a loop of links: the write then fails on it like any other unusable name
}

} // namespace

void SetCarefulReplaceWriteLimitForTesting(std::optional<std::size_t> bytes)
{
    WriteLimit() = bytes;
}

bool ReplaceFileCarefully(const std::string& path, std::string_view bytes)
{
    const std::string target = FollowLinks(path);
    std::string dir = std::filesystem::path(target).parent_path().string();
    if (dir.empty())
        dir = ".";
    struct stat earlier { };
    const bool exists = ::stat(target.c_str(), &earlier) == 0 && S_ISREG(earlier.st_mode);
    if (exists && ::access(target.c_str(), W_OK) != 0)
        return false; // a file the user may not write stays as it is, as a create would have refused it
    if (exists && earlier.st_nlink > 1) {
        // Renaming would leave the other names on the old contents, so a file known under
        // several names is overwritten where it is (put back whole should that fail).
        return ReplaceInPlace(target, bytes);
    }
    const Replace result = ReplaceByRename(dir, target, exists ? &earlier : nullptr, bytes);
    return result == Replace::Done
        || (result == Replace::NoTemporary && exists && ReplaceInPlace(target, bytes));
}
