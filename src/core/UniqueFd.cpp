// SPDX-License-Identifier: MIT
#include "core/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
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

bool syncFolder(const std::filesystem::path& folder)
{
    const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd && ::fsync(fd.get()) == 0;
}

LinkAt linkAt(const std::filesystem::path& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return LinkAt::None;
    return trustedLinkOwner(st.st_uid) ? LinkAt::Trusted : LinkAt::Untrusted;
}

bool trustedLinkOwner(uid_t owner)
{
    return owner == 0 || owner == ::geteuid();
}
