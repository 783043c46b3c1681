// SPDX-License-Identifier: MIT
#include "config/IniFile.h"

#include "config/IniText.h"
#include "core/Clock.h"
#include "core/FileAccess.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

// Said once per process and file: reads come at every tick.
void reportOnce(const std::filesystem::path& file, const std::string& why)
{
    static std::mutex mutex;
    // A process uses two or three files; the bound keeps one that uses many
    // from growing without end, forgetting the oldest first.
    static std::deque<std::string> said;
    const std::lock_guard guard(mutex);
    const std::string what = file.string() + '\n' + why;
    if (std::find(said.begin(), said.end(), what) != said.end())
        return;
    if (said.size() >= 64)
        said.pop_front();
    said.push_back(what);
    std::cerr << "tessiro: " << file.string() << ": " << why << "\n";
}

// The file a read or a write of `file` acts on. The shop may keep the shared
// file on the back-office's side and link it into the program folder. Such a
// link is followed only when root or this process's own user made it (the
// installer did, not a member of the folder's group, who could point it at
// any file of this user) and only to a regular file; the file it leads to is
// then read and replaced in its own folder, so the link stays a link. Any
// other link is refused: nothing is read or written through it.
std::optional<std::filesystem::path> sharedFile(const std::filesystem::path& file)
{
    struct stat link {};
    if (::lstat(file.c_str(), &link) != 0 || !S_ISLNK(link.st_mode))
        return file;
    if (!trustedLinkOwner(link.st_uid)) {
        reportOnce(file, "a link made by another user (uid " + std::to_string(link.st_uid) +
                             "); it is not followed, so the file is neither read nor written");
        return std::nullopt;
    }
    std::error_code ec;
    std::filesystem::path target = std::filesystem::read_symlink(file, ec);
    struct stat info {};
    if (!ec && target.is_relative())
        target = file.parent_path() / target;
    if (ec || ::lstat(target.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        reportOnce(file, "a link that does not lead to a regular file (" + target.string() +
                             "); it is not followed, so the file is neither read nor written");
        return std::nullopt;
    }
    return target;
}

// Opens the file for reading; a trusted link is followed to its file
// (`place` says which), any other link refused (-1 with ELOOP). The first
// try does not follow links, so a plain file costs one call.
int openForReading(const std::filesystem::path& file, std::filesystem::path& place)
{
    constexpr int Flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW;
    place = file;
    const int fd = ::open(file.c_str(), Flags);
    if (fd >= 0 || errno != ELOOP)
        return fd;
    const std::optional<std::filesystem::path> target = sharedFile(file);
    if (!target) {
        errno = ELOOP;
        return -1;
    }
    place = *target;
    return ::open(place.c_str(), Flags);
}

enum class Load { Missing, Read, Failed };

// Every read and every write of a key loads the whole file, and a batch
// does that several times, so this stays at four system calls. O_NONBLOCK
// keeps a FIFO put in the file's place from blocking the open; it is refused
// below like anything else that is not a regular file.
Load loadFile(const std::filesystem::path& file, std::string& out)
{
    std::filesystem::path place;
    const UniqueFd fd(openForReading(file, place));
    if (fd.get() < 0)
        return errno == ENOENT || errno == ENOTDIR ? Load::Missing : Load::Failed;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return Load::Failed;
    out.resize(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::read(fd.get(), out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        // A file that shrank since fstat is not read as the part that is left.
        if (n <= 0)
            return Load::Failed;
        done += static_cast<size_t>(n);
    }
    return Load::Read;
}

// Writers of one folder's files take turns. A write reads the whole file and
// replaces it, so two processes writing at once (the bridge's Eps_Vuoto and
// `tessiro config set`, say) would both start from the file without the
// other's change, and one change would be lost. The turn is an advisory lock
// on the folder itself, so no lock file lies beside the shared file. The wait
// is bounded: a writer that stopped while holding it delays a write, never
// blocks it; after the bound, or when the folder cannot be locked, the write
// goes on as it would without the lock.
class FolderTurn {
public:
    // A descriptor of its own: the lock goes with it when it is closed.
    FolderTurn(const Folder& folder, Clock& clock)
        : m_fd(::openat(folder.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        constexpr auto Pause = std::chrono::milliseconds(2);
        constexpr int Tries = 1000; // about two seconds
        for (int i = 0; m_fd && i < Tries; ++i) {
            if (::flock(m_fd.get(), LOCK_EX | LOCK_NB) == 0)
                return;
            if (errno != EWOULDBLOCK && errno != EINTR)
                break;
            clock.sleepFor(Pause);
        }
        m_fd.reset();
    }

private:
    UniqueFd m_fd;
};

// When a write may trust what it read. The back-office rewrites the shared
// file in place (truncate, then one write; or write, then truncate to the new
// length), so a read can land in the middle and see an empty file, a cut one
// or new text followed by the old tail. A new file built from such a view
// would persist the damage for good. So a write starts over from a fresh read
// when:
//   - the file changed while it was read (its stamp: inode, size,
//     modification and status-change times, taken before and after);
//   - the file changed between the read and the rename of the new file;
//   - the read looks cut: the file exists but came back empty, or less than
//     half the length of the last whole read of it in this process. Such a
//     read is trusted only once the file has stayed unchanged for
//     SettleTime, as a file really emptied or shortened by hand would.
// After Tries reads the write is given up, reported on stderr and the file is
// left as it is: a lost update of one key, never a wiped file.
constexpr int Tries = 11;
constexpr auto FirstPause = std::chrono::milliseconds(2);
constexpr auto LongestPause = std::chrono::milliseconds(128);
constexpr auto SettleTime = std::chrono::milliseconds(300);

// Length of the last whole read of each file, to tell a cut read.
class WholeLengths {
public:
    size_t get(const std::filesystem::path& file)
    {
        const std::lock_guard guard(m_mutex);
        const auto it = m_lengths.find(file.string());
        return it == m_lengths.end() ? 0 : it->second;
    }
    void set(const std::filesystem::path& file, size_t length)
    {
        const std::lock_guard guard(m_mutex);
        // A process writes two or three files; a bound keeps a program that
        // writes many from growing without end.
        if (m_lengths.size() >= 64 && !m_lengths.contains(file.string()))
            m_lengths.clear();
        m_lengths[file.string()] = length;
    }

private:
    std::mutex m_mutex;
    std::map<std::string, size_t> m_lengths;
};

WholeLengths& wholeLengths()
{
    static WholeLengths lengths;
    return lengths;
}

bool looksCut(const std::filesystem::path& file, const FileSnapshot& snap)
{
    if (!snap.exists)
        return false;
    return snap.bytes.empty() || snap.bytes.size() < wholeLengths().get(file) / 2;
}

bool settled(const FileSnapshot& snap, const Clock& clock)
{
    const auto now = clock.wallNow().time_since_epoch();
    const auto age = [&](const timespec& t) {
        return now - (std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec));
    };
    // A time stamp well ahead of the clock (a file touched into the future,
    // a skewed file server) is no sign of a write under way.
    const auto quiet = [&](const timespec& t) { return age(t) >= SettleTime || age(t) < -std::chrono::seconds(1); };
    return quiet(snap.info.st_mtim) && quiet(snap.info.st_ctim);
}

// The write's loop: a fresh whole read, the edit, the replace of the file as
// it was read; again from the read while the file will not stand still.
bool writeSafely(const std::filesystem::path& file, const Folder& folder, const std::string& name,
                 const std::function<ini::Edit(const std::string&, bool, std::string&)>& edit, std::string_view what,
                 Clock& clock)
{
    auto pause = FirstPause;
    for (int attempt = 0; attempt < Tries; ++attempt) {
        if (attempt > 0) {
            clock.sleepFor(pause);
            pause = std::min(pause * 2, LongestPause);
        }
        FileSnapshot snap;
        const Folder::Taken taken = folder.snapshot(name, snap);
        if (taken == Folder::Taken::Failed)
            return false;
        if (taken == Folder::Taken::Torn || (looksCut(file, snap) && !settled(snap, clock)))
            continue;
        std::string out;
        switch (edit(snap.bytes, snap.exists, out)) {
        case ini::Edit::Refused: return false;
        case ini::Edit::Unchanged:
            if (snap.exists)
                wholeLengths().set(file, snap.bytes.size());
            return true;
        case ini::Edit::Changed: break;
        }
        std::string inPlace;
        const Folder::Replaced replaced = folder.replaceAsRead(name, out, snap, &inPlace);
        if (!inPlace.empty())
            reportOnce(file, inPlace +
                                 ", so it is rewritten in place, which keeps its owner and group. To have it replaced"
                                 " whole again, make its folder writable by this user and setgid to the file's group"
                                 " (chgrp GROUP folder; chmod g+ws folder).");
        switch (replaced) {
        case Folder::Replaced::Done: wholeLengths().set(file, out.size()); return true;
        case Folder::Replaced::Failed: return false;
        case Folder::Replaced::Raced: break;
        }
    }
    std::cerr << "tessiro: gave up writing " << what << " to " << file.string()
              << ": another program kept rewriting the file while it was read; the file was left as it was\n";
    return false;
}

// The clock of the wrappers, which are given none.
Clock& systemClock()
{
    static SystemClock clock;
    return clock;
}

} // namespace

std::string TogliNull(const std::string& text)
{
    return std::string(ini::untilNul(text));
}

IniFile::IniFile(std::filesystem::path file, Clock& clock) : m_file(std::move(file)), m_clock(clock) {}

std::string IniFile::read(const std::string& section, const std::string& key, const std::string& defaultValue) const
{
    std::string text;
    if (loadFile(m_file, text) == Load::Read) {
        if (std::optional<std::string> value = ini::read(text, ini::name(section), ini::name(key)))
            return std::move(*value);
    }
    return ini::readDefault(defaultValue);
}

bool IniFile::write(const std::string& section, const std::string& key, const std::string& value)
{
    const std::string_view sectionName = ini::name(section);
    const std::string_view keyName = ini::name(key);
    // Through a trusted link, the file it leads to is replaced in its own
    // folder; the link itself is never replaced.
    const std::optional<std::filesystem::path> place = sharedFile(m_file);
    if (!place)
        return false;
    // The polling cycle writes back at every tick the Eps_Vuoto it has just
    // read. A value already stored needs no write, so no turn: taking it
    // would cost three system calls a tick and could wait on another writer
    // for nothing.
    if (std::string text; loadFile(*place, text) == Load::Read && ini::holds(text, sectionName, keyName, value))
        return true;
    const Folder folder = Folder::open(place->has_parent_path() ? place->parent_path() : std::filesystem::path("."));
    if (!folder)
        return false;
    const std::string name = place->filename().string();
    const FolderTurn turn(folder, m_clock);
    return writeSafely(
        *place, folder, name,
        [&](const std::string& text, bool existed, std::string& out) {
            return ini::set(text, existed, sectionName, keyName, value, out);
        },
        keyName.empty() ? "the removal of section " + std::string(sectionName) : "key " + std::string(keyName),
        m_clock);
}

std::string LeggiINI(const std::string& section, const std::string& key, const std::string& defaultValue,
                     const std::filesystem::path& file)
{
    return IniFile(file, systemClock()).read(section, key, defaultValue);
}

std::string LeggiINI(const std::string& section, const std::string& key, long long defaultValue,
                     const std::filesystem::path& file)
{
    return LeggiINI(section, key, std::to_string(defaultValue), file);
}

bool ScriviINI(const std::string& section, const std::string& key, const std::string& value,
               const std::filesystem::path& file)
{
    return IniFile(file, systemClock()).write(section, key, value);
}
