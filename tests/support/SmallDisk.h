// SPDX-License-Identifier: MIT
#pragma once

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

// A small tmpfs mounted over a folder, so that the folder's disk can be
// filled up for real (ENOSPC, unlike WritesRefused's file-size limit, which
// also stops writes inside a file's existing room). Mounting needs the
// superuser: mounted() says whether it worked, and tests skip otherwise.
class SmallDisk {
public:
    explicit SmallDisk(std::filesystem::path folder) : m_folder(std::move(folder))
    {
        m_mounted = ::geteuid() == 0 &&
                    ::mount("tmpfs", m_folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=2m,mode=0700") == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(m_folder.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return m_mounted; }

    // Fills what room is left with one file, to the last byte.
    void fill()
    {
        const int fd = ::open(filler().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (fd < 0)
            return;
        const std::string block(4096, 'x');
        for (std::size_t size = block.size(); size > 0; size /= 2)
            while (::write(fd, block.data(), size) == ssize_t(size)) {
            }
        ::close(fd);
    }
    // The room comes back.
    void release() { ::unlink(filler().c_str()); }

private:
    std::filesystem::path filler() const { return m_folder / ".riempitivo"; }

    std::filesystem::path m_folder;
    bool m_mounted = false;
};
