// SPDX-License-Identifier: MIT
#pragma once

#include <csignal>
#include <sys/resource.h>

// While it lives, no byte can be written to a regular file by this process,
// as on a full disk (the system says EFBIG rather than ENOSPC).
class WritesRefused {
public:
    WritesRefused()
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit none = m_old;
        none.rlim_cur = 0;
        setrlimit(RLIMIT_FSIZE, &none);
    }
    ~WritesRefused()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    WritesRefused(const WritesRefused&) = delete;
    WritesRefused& operator=(const WritesRefused&) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};
