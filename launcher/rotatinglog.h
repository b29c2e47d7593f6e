#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

// An append-only log that keeps at most one old copy (path.1): when a line would take the file past
// its limit, the file becomes the old copy and a new one is started. Two runs of one user may share
// the file; a run that finds it rotated by the other follows to the new file.
class RotatingLog final {
public:
    static constexpr off_t kDefaultLimit = 1 << 20;

    explicit RotatingLog(std::string path, off_t limit = kDefaultLimit);
    ~RotatingLog();
    RotatingLog(const RotatingLog&) = delete;
    RotatingLog& operator=(const RotatingLog&) = delete;

    // Writes whole lines; a log that cannot be opened drops them.
    void write(std::string_view lines);
    const std::string& path() const { return m_path; }

private:
    bool reopen();

    std::string m_path;
    off_t m_limit;
    int m_fd = -1;
};
