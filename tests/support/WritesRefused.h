// SPDX-License-Identifier: MIT
#pragma once

#include <csignal>
#include <sys/resource.h>

// While it lives, no byte can be written to a regular file by this process,
// as on a full disk (the system says EFBIG rather than ENOSPC). With `room`,
// files may grow up to that many bytes: a nearly full disk, where short
// records still fit and a large file cannot be written again.
class WritesRefused {
public:
    explicit WritesRefused(rlim_t room = 0)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit none = m_old;
        none.rlim_cur = room;
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
