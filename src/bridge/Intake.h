// SPDX-License-Identifier: MIT
#pragma once

#include "core/WorkingSettings.h"

#include "core/UniqueFd.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <optional>
#include <streambuf>
#include <string>

class Clock;
class QSocketNotifier;

// Reads a descriptor the caller keeps open, from where it stands.
class DescriptorBuffer : public std::streambuf {
public:
    explicit DescriptorBuffer(int fd) : m_fd(fd) {}

protected:
    int_type underflow() override;

private:
    int m_fd;
    char m_buffer[16 * 1024];
};

// An input stream over a descriptor the caller keeps open.
class DescriptorStream : public std::istream {
public:
    explicit DescriptorStream(int fd) : std::istream(nullptr), m_buffer(fd) { rdbuf(&m_buffer); }

private:
    DescriptorBuffer m_buffer;
};

// The values a freshly prepared folder works with: what `init` stores, and
// the bridge's defaults for the rest.
WorkingSettings freshFolderSettings();

// Whether the records on the whole lines of the command file open at `fd`
// stop the file before its end for a fault of their own, as `check` reads
// them: an unknown first code, a numeric field that does not convert, a
// record too long. Read with freshFolderSettings, from the file's start (the
// offset moves); nothing is printed, logged or written.
bool stopsOnARecord(int fd);

// Why a command file does not look finished by what it holds: it is empty;
// it opens a document (F2, F3, F8, N1) and no closing record (F4, N3)
// follows the last opening one; or its last line has no line end and its
// last record closes nothing. A file faulty for another reason (an unknown
// code, a bad number) is finished as far as this goes.
enum class Unfinished { No, Empty, DocumentOpen, LineCut };
// Reads the file open at `fd` from its start (the offset moves).
Unfinished unfinishedContent(int fd);
// The reason in words, for `tessiro check`.
const char* unfinishedText(Unfinished why);

// How the polling cycle decides that a command file in the drop folder is
// finished. Where the kernel can tell (a read lease on a local file system,
// for a file the bridge may lease), a file is finished when no one holds it
// open for writing. Everywhere else (network mounts, another user's file
// without CAP_LEASE), a file is finished once its size and times have stayed
// the same for the settle period. Either way, a file that does not look
// finished by its content (unfinishedContent) waits too, until it has stayed
// unchanged for HoldBackLimit: then it runs as it is.
class Intake {
public:
    static constexpr std::chrono::milliseconds DefaultSettle{2000};
    // A file held back longer than this no longer holds back the files whose
    // names sort after it, and gets one record.
    static constexpr std::chrono::seconds HoldBackLimit{60};

    // Incomplete: still unfinished by its content, but left unchanged for
    // HoldBackLimit; it runs as it is.
    enum class Verdict { Finished, Writing, Incomplete };

    // Periods are measured on `clock`'s steady time; it outlives the intake.
    explicit Intake(Clock& clock);

    // The verdict on the file open read-only at `fd`, listed as `name`.
    Verdict check(const std::string& name, int fd, const struct stat& st);
    // Since when `name` has been held back (the first check that said
    // Writing); the earliest time when it was never held.
    std::chrono::steady_clock::time_point heldSince(const std::string& name) const;
    // When the first file now settling will have been still for the settle
    // period, so the caller can look again then rather than at a later tick.
    std::optional<std::chrono::steady_clock::time_point> nextSettled() const;
    // Forgets what was remembered of names no longer in the drop folder.
    void keepOnly(const std::function<bool(const std::string& name)>& listed);

    void setSettle(std::chrono::milliseconds settle) { m_settle = settle; }
    std::chrono::milliseconds settle() const { return m_settle; }
    std::chrono::steady_clock::time_point now() const;
    // Whether the lease answer is to be trusted for this descriptor: by
    // default, when statfs reports a local file system.
    void setLeaseUsable(std::function<bool(int fd)> usable) { m_leaseUsable = std::move(usable); }

private:
    struct Seen {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        timespec changed{};
        std::chrono::steady_clock::time_point since;
        bool same(const struct stat& st) const;
    };

    Verdict settled(const std::string& name, const struct stat& st);
    Verdict byContent(const std::string& name, int fd, const struct stat& st);

    Clock& m_clock;
    std::chrono::milliseconds m_settle = DefaultSettle;
    std::function<bool(int fd)> m_leaseUsable;
    std::map<std::string, Seen> m_seen;
    // Files finished to the kernel but not by their content: since when each
    // is as it is, and why it looks unfinished.
    struct Content {
        Seen seen;
        Unfinished why = Unfinished::No;
    };
    std::map<std::string, Content> m_content;
    std::map<std::string, std::chrono::steady_clock::time_point> m_held;
};

// What the kernel says about writers of the file open read-only at `fd`:
// Free (no one holds it open for writing), Writing, or Unknown (no lease can
// be taken here: not the file's owner without CAP_LEASE, or a file system
// without leases).
enum class LeaseAnswer { Free, Writing, Unknown };
LeaseAnswer probeWriters(int fd);

// True when statfs reports the file system of `fd` as local to this
// machine (leases and change notifications mean nothing across a network).
bool onLocalFileSystem(int fd);

// Wakes the polling cycle when a file is closed after writing in, or moved
// into, the drop folder, instead of at the next tick of the timer. Needs the
// Qt event loop. Without inotify (or without the folder) it stays silent and
// the timer does all the work.
class DropWatch {
public:
    DropWatch(const std::filesystem::path& folder, std::function<void()> onChange);
    ~DropWatch();
    DropWatch(const DropWatch&) = delete;
    DropWatch& operator=(const DropWatch&) = delete;

    bool watching() const { return m_notifier != nullptr; }

private:
    UniqueFd m_fd;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void()> m_onChange;
};
