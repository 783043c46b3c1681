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
    // The process holding the lock after a refusal; 0 when unknown.
    qint64 holderPid() const { return m_holderPid; }

private:
    std::filesystem::path m_dir;
    QLockFile m_lock;
    std::string m_why;
    qint64 m_holderPid = 0;
};
