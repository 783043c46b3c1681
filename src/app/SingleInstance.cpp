// SPDX-License-Identifier: MIT
#include "app/SingleInstance.h"

#include <QString>
#include <QSysInfo>

#include <cerrno>
#include <csignal>

namespace {

QString lockPath(const std::filesystem::path& dir)
{
    return QString::fromStdString((dir / SingleInstance::LockFileName).string());
}

} // namespace

SingleInstance::SingleInstance(const std::filesystem::path& programDir)
    : m_dir(programDir), m_lock(lockPath(programDir))
{}

SingleInstance::~SingleInstance()
{
    if (m_lock.isLocked())
        m_lock.unlock();
}

bool SingleInstance::acquire()
{
    // The stale-lock rules of QLockFile fit: a lock whose process is gone (or
    // is now another program) is removed, while a live holder keeps its lock
    // however old, because the file is also locked by the system for it.
    if (m_lock.tryLock(0)) {
        m_why.clear();
        m_holderPid = 0;
        m_heldByAnother = false;
        return true;
    }
    m_heldByAnother = m_lock.error() == QLockFile::LockFailedError;

    const std::string dir = m_dir.string();
    switch (m_lock.error()) {
    case QLockFile::LockFailedError: {
        qint64 pid = 0;
        QString host, app;
        if (m_lock.getLockInfo(&pid, &host, &app)) {
            m_holderPid = pid;
            // The holder has ended, so the lock is stale, and yet it could not
            // be replaced: the lock file cannot be made (a full disk after a
            // crash), which no waiting for "another bridge" would mend.
            if (pid > 0 && host == QSysInfo::machineHostName() && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH) {
                m_heldByAnother = false;
                m_why = "cannot replace the lock file " + (m_dir / LockFileName).string() +
                        " left by a bridge that has stopped (PID " + std::to_string(pid) +
                        "): the disk is full or read-only";
                break;
            }
            m_why = "another bridge (PID " + std::to_string(pid) + (host.isEmpty() ? "" : " on " + host.toStdString()) +
                    ") is already running on " + dir;
        } else {
            m_why = "another bridge is already running on " + dir;
        }
        m_why += "; two bridges on one folder would print every receipt twice";
        break;
    }
    case QLockFile::PermissionError:
        m_why = "cannot create the lock file " + (m_dir / LockFileName).string() + ": permission denied";
        break;
    default:
        m_why = "cannot create the lock file " + (m_dir / LockFileName).string() +
                " (a read-only or full disk, or a name that is not a folder)";
        break;
    }
    return false;
}
