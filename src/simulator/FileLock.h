// SPDX-License-Identifier: MIT
#pragma once

#include <string>

class Folder;

// An exclusive advisory lock (flock) on a file of a folder. The lock belongs
// to the open file description, so two FileLock objects on one file exclude
// each other within one process exactly as they do across processes. The
// file is never opened through a link, nor when something else than a
// regular file stands in its place.
class FileLock {
public:
    enum class Result { Locked, Busy, Failed };

    // `folder` outlives the lock.
    FileLock(const Folder& folder, std::string name);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Takes the lock without waiting; Busy when another holder has it.
    Result tryLock();
    // Takes the lock, waiting for the holder to release it.
    bool lock();
    void unlock();
    bool held() const { return m_fd >= 0; }
    // The system's reason for the last Failed result.
    const std::string& failureText() const { return m_failure; }

private:
    bool openFile();

    const Folder& m_folder;
    std::string m_name;
    int m_fd = -1;
    std::string m_failure;
};

// Holds a FileLock, waiting for it, for the lifetime of a scope.
class ScopedFileLock {
public:
    explicit ScopedFileLock(FileLock& lock) : m_lock(lock) { m_lock.lock(); }
    ~ScopedFileLock() { m_lock.unlock(); }
    ScopedFileLock(const ScopedFileLock&) = delete;
    ScopedFileLock& operator=(const ScopedFileLock&) = delete;

private:
    FileLock& m_lock;
};
