// SPDX-License-Identifier: MIT
#include "simulator/FileLock.h"

#include "core/FileAccess.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

FileLock::FileLock(const Folder& folder, std::string name) : m_folder(folder), m_name(std::move(name)) {}

FileLock::~FileLock()
{
    unlock();
}

bool FileLock::openFile()
{
    if (m_fd >= 0)
        return true;
    UniqueFd fd;
    do {
        fd = m_folder.openFile(m_name, O_RDWR | O_CREAT);
    } while (!fd && errno == EINTR);
    if (!fd) {
        m_failure = accessError(errno);
        return false;
    }
    m_fd = fd.release();
    return true;
}

FileLock::Result FileLock::tryLock()
{
    if (!openFile())
        return Result::Failed;
    int rc;
    do {
        rc = ::flock(m_fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0)
        return Result::Locked;
    const int error = errno;
    ::close(m_fd);
    m_fd = -1;
    if (error == EWOULDBLOCK)
        return Result::Busy;
    m_failure = std::strerror(error);
    return Result::Failed;
}

bool FileLock::lock()
{
    if (!openFile())
        return false;
    int rc;
    do {
        rc = ::flock(m_fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0)
        return true;
    m_failure = std::strerror(errno);
    ::close(m_fd);
    m_fd = -1;
    return false;
}

void FileLock::unlock()
{
    // Closing the descriptor releases the lock with it.
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}
