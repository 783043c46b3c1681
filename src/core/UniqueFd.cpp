// SPDX-License-Identifier: MIT
#include "core/UniqueFd.h"

#include <cerrno>
#include <unistd.h>

void UniqueFd::reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

bool writeAll(int fd, std::string_view bytes, std::optional<off_t> at)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = at ? ::pwrite(fd, bytes.data() + done, bytes.size() - done, *at + off_t(done))
                             : ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}
