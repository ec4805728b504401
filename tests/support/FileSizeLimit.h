#pragma once
// Makes this process's file writes fail past a size for the lifetime of the
// object, as a disk without room makes them fail: the limit of the file size
// (RLIMIT_FSIZE) with SIGXFSZ ignored, so that a write past it returns an
// error instead of ending the process. Only where the system has the limit.

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>

namespace orvane::testing {

class FileSizeLimit {
public:
    static constexpr bool kAvailable = true;
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

} // namespace orvane::testing
#else
namespace orvane::testing {
class FileSizeLimit {
public:
    static constexpr bool kAvailable = false;
    explicit FileSizeLimit(unsigned long long) {}
};
} // namespace orvane::testing
#endif
