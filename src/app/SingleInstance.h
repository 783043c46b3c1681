// SPDX-License-Identifier: MIT
#pragma once

#include <QLockFile>

#include <filesystem>
#include <string>

// One bridge per program directory: two would move the same files and print
// every receipt twice. A lock file in the directory is held for the whole
// run; a lock left behind by a bridge that died is taken over.
class SingleInstance {
public:
    static constexpr char LockFileName[] = ".tessiro.lock";

    explicit SingleInstance(const std::filesystem::path& programDir);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this process now holds the directory. Otherwise why() says
    // why, naming the process that holds it when that is known.
    bool acquire();
    const std::string& why() const { return m_why; }
    // After a refusal: true when a running bridge holds the directory, false
    // when the lock file could not be made at all (permissions, a read-only
    // or full disk), which no waiting or asking that bridge would mend.
    bool heldByAnother() const { return m_heldByAnother; }
    // The process holding the lock after a refusal; 0 when unknown.
    qint64 holderPid() const { return m_holderPid; }

private:
    std::filesystem::path m_dir;
    QLockFile m_lock;
    std::string m_why;
    qint64 m_holderPid = 0;
    bool m_heldByAnother = false;
};
