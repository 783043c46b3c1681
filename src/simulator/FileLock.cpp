// SPDX-License-Identifier: MIT
#include "simulator/FileLock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

FileLock::FileLock(std::filesystem::path file) : m_file(std::move(file)) {}

FileLock::~FileLock()
{
    unlock();
}

bool FileLock::openFile()
{
    if (m_fd >= 0)
        return true;
    do {
        m_fd = ::open(m_file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0) {
        m_failure = std::strerror(errno);
        return false;
    }
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
