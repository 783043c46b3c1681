// SPDX-License-Identifier: MIT
#include "core/FileAccess.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A name is one entry of the folder: no path through other folders.
bool plainName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

std::string cName(std::string_view name)
{
    return std::string(name);
}

// The errno that says what a file of this mode is instead of a regular one.
int notRegular(mode_t mode)
{
    return S_ISREG(mode) ? 0 : S_ISLNK(mode) ? ELOOP : S_ISDIR(mode) ? EISDIR : EINVAL;
}

// A regular file, or errno set to say what stands there instead.
bool regularOrWhy(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    if (const int why = notRegular(st.st_mode)) {
        errno = why;
        return false;
    }
    return true;
}

bool operator==(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// The same file, not changed: its inode, size and times.
bool sameStamp(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size && a.st_mtim == b.st_mtim &&
           a.st_ctim == b.st_ctim;
}

// A fresh name beside `name`: hidden, random, ".tmp".
std::string temporaryName(std::string_view name)
{
    static thread_local std::mt19937_64 random{std::random_device{}()};
    char suffix[20];
    std::snprintf(suffix, sizeof suffix, ".%016llx", static_cast<unsigned long long>(random()));
    return "." + std::string(name.substr(0, 200)) + suffix + ".tmp";
}

// Rewrites the file's own inode, so its owner and group stay as they are
// (and a link to it stays a link). The room is reserved first, so a full disk
// refuses the write before a byte of the old text is overwritten. This is not
// atomic: a crash in the middle leaves the new text's first part over the old
// text, and one between the write and the truncation leaves the new text
// followed by the old one's last bytes when the new text is shorter. A key's
// write changes one line, and a reader takes the first of two equal keys, so
// the file then still reads as the new text but for a stray last line.
Folder::Replaced rewriteInPlace(int fd, std::string_view bytes, const FileSnapshot& read)
{
    struct stat now {};
    if (::fstat(fd, &now) != 0)
        return Folder::Replaced::Failed;
    if (!sameStamp(now, read.info))
        return Folder::Replaced::Raced;
    if (!bytes.empty() && ::fallocate(fd, 0, 0, static_cast<off_t>(bytes.size())) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS)
        return Folder::Replaced::Failed;
    if (!writeAll(fd, bytes, 0)) {
        // Put back what was there, as far as it goes; the write failed anyway.
        (void)writeAll(fd, read.bytes, 0);
        return Folder::Replaced::Failed;
    }
    if (::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0)
        return Folder::Replaced::Failed;
    ::fsync(fd);
    return Folder::Replaced::Done;
}

} // namespace

LinkAt linkAt(const fs::path& path)
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

std::string accessError(int error)
{
    switch (error) {
    case ELOOP:
        return "symbolic link, not followed";
    case EISDIR:
        return "a folder where a file belongs";
    case EINVAL:
        return "not a regular file";
    case ENOTDIR:
        return "not a folder";
    default:
        return std::strerror(error);
    }
}

Folder Folder::failed(fs::path path, int error)
{
    Folder f;
    f.m_path = std::move(path);
    f.m_error = error;
    return f;
}

Folder Folder::open(const fs::path& path)
{
    UniqueFd fd(::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd)
        return failed(path, errno);
    return Folder(std::move(fd), path);
}

std::optional<std::string> Folder::trustedTarget(std::string_view name) const
{
    struct stat before {};
    if (::fstatat(fd(), cName(name).c_str(), &before, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    if (!S_ISLNK(before.st_mode) || !trustedLinkOwner(before.st_uid)) {
        errno = ELOOP;
        return std::nullopt;
    }
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlinkat(fd(), cName(name).c_str(), target.data(), target.size());
    struct stat after {};
    if (n <= 0 || std::size_t(n) >= target.size() ||
        ::fstatat(fd(), cName(name).c_str(), &after, AT_SYMLINK_NOFOLLOW) != 0 || after.st_ino != before.st_ino ||
        after.st_dev != before.st_dev || !S_ISLNK(after.st_mode) || after.st_uid != before.st_uid) {
        errno = ELOOP;
        return std::nullopt;
    }
    target.resize(std::size_t(n));
    return target;
}

Folder Folder::folder(std::string_view name, Links links, Make make) const
{
    const fs::path path = m_path / name;
    if (!m_fd)
        return failed(path, m_error ? m_error : EBADF);
    if (!plainName(name))
        return failed(path, EINVAL);
    const std::string n = cName(name);
    if (make == Make::IfMissing && ::mkdirat(fd(), n.c_str(), 0777) != 0 && errno != EEXIST)
        return failed(path, errno);
    UniqueFd sub(::openat(fd(), n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!sub && (errno == ELOOP || errno == ENOTDIR) && links == Links::FollowTrusted) {
        // O_NOFOLLOW on a link says ELOOP, or ENOTDIR with O_DIRECTORY.
        const int firstError = errno;
        if (linkAt(name) != LinkAt::Trusted)
            return failed(path, firstError == ENOTDIR && linkAt(name) == LinkAt::None ? ENOTDIR : ELOOP);
        const auto target = trustedTarget(name);
        if (!target)
            return failed(path, errno);
        sub.reset(::openat(fd(), target->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!sub)
            return failed(path, errno);
        return Folder(std::move(sub), path);
    }
    if (!sub) {
        const int error = errno;
        // A link stands where the folder belongs.
        return failed(path, error == ENOTDIR && linkAt(name) != LinkAt::None ? ELOOP : error);
    }
    return Folder(std::move(sub), path);
}

UniqueFd Folder::openFile(std::string_view name, int flags, mode_t mode, Links links) const
{
    if (!m_fd) {
        errno = m_error ? m_error : EBADF;
        return UniqueFd();
    }
    if (!plainName(name)) {
        errno = EINVAL;
        return UniqueFd();
    }
    const bool truncate = flags & O_TRUNC;
    // Non-blocking, so that a pipe planted under the name cannot hold the
    // bridge; the flag is taken back once the file is known to be regular.
    const int open = (flags & ~O_TRUNC) | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    UniqueFd fd(::openat(this->fd(), cName(name).c_str(), open, mode));
    if (!fd && errno == ELOOP && links == Links::FollowTrusted) {
        const auto target = trustedTarget(name);
        if (!target)
            return UniqueFd();
        fd.reset(::openat(this->fd(), target->c_str(), open & ~(O_NOFOLLOW | O_CREAT | O_EXCL), mode));
    }
    if (!fd || !regularOrWhy(fd.get()))
        return UniqueFd();
    if (::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK) != 0)
        return UniqueFd();
    if (truncate && ::ftruncate(fd.get(), 0) != 0)
        return UniqueFd();
    return fd;
}

std::optional<std::string> Folder::read(std::string_view name, std::size_t limit, Links links) const
{
    const UniqueFd fd = openFile(name, O_RDONLY, 0, links);
    if (!fd)
        return std::nullopt;
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return bytes;
        if (bytes.size() + std::size_t(n) > limit) {
            errno = EFBIG;
            return std::nullopt;
        }
        bytes.append(buffer, std::size_t(n));
    }
}

UniqueFd Folder::makeTemporary(std::string_view name, mode_t mode, std::string& temporary) const
{
    // O_EXCL, so that nothing planted under the name (a link, a file of
    // someone else's) is ever written through.
    UniqueFd fd;
    for (int attempt = 0; attempt < 16 && !fd; ++attempt) {
        temporary = temporaryName(name);
        fd = openFile(temporary, O_WRONLY | O_CREAT | O_EXCL, mode);
        if (!fd && errno != EEXIST)
            return fd;
    }
    return fd;
}

UniqueFd Folder::makeUnnamed() const
{
    // It is named through /proc at the end; without /proc it could not be.
    static const bool procFds = ::access("/proc/self/fd", X_OK) == 0;
    if (!procFds) {
        errno = EOPNOTSUPP;
        return UniqueFd();
    }
    // 0666 less the umask, as any file this process creates.
    return UniqueFd(::openat(fd(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
}

bool Folder::replace(std::string_view name, std::string_view bytes, mode_t mode) const
{
    if (!plainName(name)) {
        errno = EINVAL;
        return false;
    }
    std::string temporary;
    const UniqueFd fd = makeTemporary(name, mode, temporary);
    if (!fd)
        return false;
    const bool written = writeAll(fd.get(), bytes) && ::fdatasync(fd.get()) == 0;
    const int error = errno;
    if (!written || ::renameat(this->fd(), temporary.c_str(), this->fd(), cName(name).c_str()) != 0) {
        const int why = written ? errno : error;
        ::unlinkat(this->fd(), temporary.c_str(), 0);
        errno = why;
        return false;
    }
    return sync();
}

Folder::Taken Folder::snapshot(std::string_view name, FileSnapshot& into) const
{
    into = {};
    const UniqueFd fd = openFile(name, O_RDONLY);
    if (!fd)
        return errno == ENOENT ? Taken::Whole : Taken::Failed;
    into.exists = true;
    if (::fstat(fd.get(), &into.info) != 0)
        return Taken::Failed;
    // One byte more than the size, to see a file that grew meanwhile.
    into.bytes.resize(static_cast<std::size_t>(into.info.st_size) + 1);
    std::size_t done = 0;
    while (done < into.bytes.size()) {
        const ssize_t n = ::read(fd.get(), into.bytes.data() + done, into.bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Taken::Failed;
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    into.bytes.resize(done);
    struct stat after {};
    if (::fstat(fd.get(), &after) != 0)
        return Taken::Failed;
    if (!sameStamp(into.info, after) || done != static_cast<std::size_t>(into.info.st_size))
        return Taken::Torn;
    return Taken::Whole;
}

Folder::Replaced Folder::replaceAsRead(std::string_view name, std::string_view bytes, const FileSnapshot& read,
                                       std::string* inPlace) const
{
    if (!m_fd || !plainName(name)) {
        errno = !m_fd ? (m_error ? m_error : EBADF) : EINVAL;
        return Replaced::Failed;
    }
    const std::string n = cName(name);
    // A file this process may not write stays as it is, as it would for the
    // platform call; replacing it by rename would go round its protection.
    // The open waits (no O_NONBLOCK) while a program that holds a lease on
    // the file (a file server sharing it with other machines) hands back
    // what it kept of it; whatever that changes shows in the check before
    // the rename. O_RDWR, unlike O_WRONLY, opens a FIFO put in the file's
    // place without waiting for a reader; it is refused below.
    const UniqueFd current(read.exists ? ::openat(fd(), n.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY) : -1);
    if (read.exists && (!current || !regularOrWhy(current.get())))
        return Replaced::Failed;
    const auto rewrite = [&](std::string why) {
        if (inPlace)
            *inPlace = std::move(why);
        return rewriteInPlace(current.get(), bytes, read);
    };

    std::string temporary;
    UniqueFd temp = makeUnnamed();
    const bool unnamed = bool(temp);
    if (!temp && errno != EACCES && errno != EPERM)
        temp = makeTemporary(name, 0666, temporary);
    if (!temp) {
        // A folder closed to this user around a file open to it.
        if (read.exists && (errno == EACCES || errno == EPERM))
            return rewrite("no new file can be made in its folder");
        return Replaced::Failed;
    }
    struct Unlink {
        const Folder& folder;
        const std::string& name;
        bool keep = false;
        ~Unlink()
        {
            if (!keep && !name.empty())
                ::unlinkat(folder.fd(), name.c_str(), 0);
        }
    } cleanup{*this, temporary};

    if (!writeAll(temp.get(), bytes, 0))
        return Replaced::Failed;
    if (read.exists) {
        struct stat made {};
        if (::fstat(temp.get(), &made) != 0)
            return Replaced::Failed;
        const bool root = ::geteuid() == 0;
        const uid_t owner = root ? read.info.st_uid : static_cast<uid_t>(-1);
        if ((root && made.st_uid != read.info.st_uid) || made.st_gid != read.info.st_gid) {
            if (::fchown(temp.get(), owner, read.info.st_gid) != 0) {
                if (errno != EPERM)
                    return Replaced::Failed;
                return rewrite("its group (" + std::to_string(read.info.st_gid) +
                               ") cannot be given to a new file by this user");
            }
        }
        // After the change of owner, which clears the set-id bits.
        if (::fchmod(temp.get(), read.info.st_mode & 07777) != 0)
            return Replaced::Failed;
    }
    if (::fsync(temp.get()) != 0)
        return Replaced::Failed;

    const std::optional<struct stat> now = statAt(name);
    if (bool(now) != read.exists || (now && !sameStamp(*now, read.info)))
        return Replaced::Raced;
    if (unnamed && !nameUnnamed(temp.get(), name, temporary))
        return Replaced::Failed;
    if (::renameat(fd(), temporary.c_str(), fd(), n.c_str()) != 0)
        return Replaced::Failed;
    cleanup.keep = true;
    // The new name is on the disk as well: what the file says is acted on
    // after a power cut.
    (void)sync();
    return Replaced::Done;
}

bool Folder::nameUnnamed(int file, std::string_view name, std::string& temporary) const
{
    const std::string self = "/proc/self/fd/" + std::to_string(file);
    for (int i = 0; i < 100; ++i) {
        temporary = temporaryName(name);
        if (::linkat(AT_FDCWD, self.c_str(), fd(), temporary.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (errno != EEXIST)
            break;
    }
    temporary.clear();
    return false;
}

bool Folder::append(std::string_view name, std::string_view bytes, bool flush, bool* madeNow) const
{
    const UniqueFd fd = openFile(name, O_WRONLY | O_APPEND | O_CREAT);
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0)
        return false;
    if (madeNow)
        *madeNow = st.st_size == 0;
    if (!writeAll(fd.get(), bytes)) {
        const int error = errno;
        if (::ftruncate(fd.get(), st.st_size) != 0) {
            // Nothing more to do: the write's own failure is the one told.
        }
        errno = error;
        return false;
    }
    if (!flush)
        return true;
    return ::fdatasync(fd.get()) == 0 && (st.st_size != 0 || sync());
}

bool Folder::flush(std::string_view name) const
{
    const UniqueFd fd = openFile(name, O_WRONLY | O_APPEND);
    return fd && ::fdatasync(fd.get()) == 0;
}

bool Folder::rename(std::string_view from, const Folder& to, std::string_view toName) const
{
    if (!m_fd || !to.m_fd || !plainName(from) || !plainName(toName)) {
        errno = !m_fd || !to.m_fd ? EBADF : EINVAL;
        return false;
    }
    return ::renameat(fd(), cName(from).c_str(), to.fd(), cName(toName).c_str()) == 0;
}

bool Folder::remove(std::string_view name) const
{
    if (!m_fd || !plainName(name)) {
        errno = !m_fd ? EBADF : EINVAL;
        return false;
    }
    return ::unlinkat(fd(), cName(name).c_str(), 0) == 0;
}

bool Folder::sync() const
{
    return m_fd && ::fsync(fd()) == 0;
}

std::optional<std::vector<Folder::Entry>> Folder::entries() const
{
    if (!m_fd) {
        errno = m_error ? m_error : EBADF;
        return std::nullopt;
    }
    // fdopendir takes the descriptor it is given: a fresh one of its own.
    const int own = ::openat(fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = own >= 0 ? ::fdopendir(own) : nullptr;
    if (!dir) {
        if (own >= 0)
            ::close(own);
        return std::nullopt;
    }
    std::vector<Entry> result;
    errno = 0;
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name = e->d_name;
        if (name == "." || name == "..")
            continue;
        Type type = Type::Other;
        unsigned char d = e->d_type;
        if (d == DT_UNKNOWN) {
            struct stat st {};
            if (::fstatat(fd(), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                d = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_UNKNOWN;
        }
        if (d == DT_REG)
            type = Type::File;
        else if (d == DT_DIR)
            type = Type::Folder;
        else if (d == DT_LNK)
            type = Type::Link;
        result.push_back({std::string(name), type});
        errno = 0;
    }
    const int error = errno;
    ::closedir(dir);
    if (error != 0) {
        errno = error;
        return std::nullopt;
    }
    return result;
}

std::optional<struct stat> Folder::statAt(std::string_view name) const
{
    struct stat st {};
    if (!m_fd || !plainName(name) || ::fstatat(fd(), cName(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return st;
}

int Folder::notAFile(std::string_view name) const
{
    const auto st = statAt(name);
    return st ? notRegular(st->st_mode) : 0;
}

LinkAt Folder::linkAt(std::string_view name) const
{
    const auto st = statAt(name);
    if (!st || !S_ISLNK(st->st_mode))
        return LinkAt::None;
    return trustedLinkOwner(st->st_uid) ? LinkAt::Trusted : LinkAt::Untrusted;
}

bool writeInPlace(int fd, std::string_view bytes, off_t at)
{
    return writeAll(fd, bytes, at) && ::fdatasync(fd) == 0;
}

bool syncFolder(const fs::path& folder)
{
    const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd && ::fsync(fd.get()) == 0;
}
