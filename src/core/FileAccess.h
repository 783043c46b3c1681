// SPDX-License-Identifier: MIT
#pragma once

#include "core/UniqueFd.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The one way the bridge and the simulator touch their files.
//
// The program folder is shared with the back-office's users (group-writable),
// so any of them may put a symbolic link where a file or folder of the bridge
// belongs and have the bridge write, read or delete through it with its own
// rights. A Folder is held open by descriptor, and every name in it is reached
// relative to that descriptor without following links: a link found there is
// refused (errno ELOOP), unless it is trusted and the caller asked for that.
// A trusted link is one owned by root or by this process's user: whoever made
// it could have done the same without the link.

// Whether a path is a symbolic link, and whose. None also when the path
// cannot be looked at.
enum class LinkAt { None, Trusted, Untrusted };
LinkAt linkAt(const std::filesystem::path& path);
// The rule behind Trusted: a link owned by root or by this process's user.
bool trustedLinkOwner(uid_t owner);

// What a link found at a name may do.
enum class Links {
    Refuse,       // never followed
    FollowTrusted // followed when trusted and its target has the expected type
};

// The start of a record for a folder not used because a link stands in its
// place; the folder's name follows.
inline constexpr char LinkedFolderText[] = "Collegamento simbolico non seguito al posto della cartella ";

// A regular file as one read found it: whether it was there, its bytes, and
// its stat, the same before and after the read.
struct FileSnapshot {
    bool exists = false;
    std::string bytes;
    struct stat info {};
};

// The text for an errno this file sets: a link not followed, a folder or a
// special file where a regular file belongs, or the system's own text.
std::string accessError(int error);

class Folder {
public:
    Folder() = default;

    // The folder at `path`. Its own path was chosen by whoever installed the
    // program and is followed as it is. Invalid (see error()) when it cannot
    // be opened.
    static Folder open(const std::filesystem::path& path);

    // The folder `name` inside this one, made first when `make` and missing
    // (with the mode and group a new folder gets here).
    enum class Make { No, IfMissing };
    Folder folder(std::string_view name, Links links = Links::Refuse, Make make = Make::No) const;

    explicit operator bool() const { return bool(m_fd); }
    int fd() const { return m_fd.get(); }
    // For texts only: what is opened goes through fd().
    const std::filesystem::path& path() const { return m_path; }
    // The errno of a folder that could not be opened.
    int error() const { return m_error; }

    // Opens the regular file `name` with `flags` (O_RDONLY, O_WRONLY, O_RDWR,
    // O_CREAT, O_APPEND, O_EXCL, O_TRUNC). Never through a link (ELOOP), never
    // a folder (EISDIR) or a special file (EINVAL), never blocking on one.
    // O_TRUNC is applied only once the file is known to be a regular one.
    UniqueFd openFile(std::string_view name, int flags, mode_t mode = 0644, Links links = Links::Refuse) const;

    // A whole file, or nullopt (errno set); at most `limit` bytes are read.
    std::optional<std::string> read(std::string_view name, std::size_t limit = std::size_t(64) << 20,
                                    Links links = Links::Refuse) const;

    // Replaces `name` with `bytes` so that a power cut leaves the old or the
    // new content, never a mix: a new file (O_EXCL, a name no one else has)
    // written and flushed, renamed over the old one, and the folder flushed.
    bool replace(std::string_view name, std::string_view bytes, mode_t mode = 0644) const;

    // Reads `name` whole, never through a link. Missing is Whole, with
    // `into.exists` false. Torn: the file changed while it was read (its
    // inode, size or times moved, or it grew), so `into` is no view of it.
    enum class Taken { Whole, Torn, Failed };
    Taken snapshot(std::string_view name, FileSnapshot& into) const;

    // Replaces `name`, as `read` found it (snapshot()), by a file holding
    // `bytes`, unless it changed since: Raced, and nothing is written. The
    // new file keeps the mode, the group and, for root, the owner of the
    // old one, so that another user of a shared group can still write it.
    // Where the folder takes no new file from this user, or the group cannot
    // be given to one, the old file is rewritten in place instead, which
    // keeps them (`inPlace`, when given, then says why); room is reserved
    // first, so a full disk refuses the write before a byte is overwritten.
    // A file this process may not write stays as it is. Before its rename the
    // new file has no name where the system allows, so a kill leaves nothing
    // behind. The file and the folder's entries are flushed.
    enum class Replaced { Done, Raced, Failed };
    Replaced replaceAsRead(std::string_view name, std::string_view bytes, const FileSnapshot& read,
                           std::string* inPlace = nullptr) const;

    // Appends `bytes` to `name`, made when missing (`madeNow` then set).
    // With `flush`, the bytes (and a new file's name) are on the disk when it
    // returns true. A write that fails is cut back: no half record is left.
    bool append(std::string_view name, std::string_view bytes, bool flush, bool* madeNow = nullptr) const;
    // Flushes what was appended to `name` earlier.
    bool flush(std::string_view name) const;

    // Renames `from` to `toName` in `to` (this folder when `to` is this one).
    // A link is renamed as a link, never followed.
    bool rename(std::string_view from, const Folder& to, std::string_view toName) const;
    // Deletes the file (or link) `name`; never a folder.
    bool remove(std::string_view name) const;
    // Flushes the folder's entries (a rename, a creation or a deletion in it).
    bool sync() const;

    enum class Type { File, Folder, Link, Other };
    struct Entry {
        std::string name;
        Type type;
    };
    // The folder's entries but "." and "..", in no order; nullopt on failure.
    std::optional<std::vector<Entry>> entries() const;
    // What `name` is, without following a link; nullopt when missing.
    std::optional<struct stat> statAt(std::string_view name) const;
    // What stands at `name` when it is not a regular file: ELOOP for a link,
    // EISDIR for a folder, EINVAL for anything else; 0 for a regular file or
    // nothing.
    int notAFile(std::string_view name) const;
    LinkAt linkAt(std::string_view name) const;

private:
    Folder(UniqueFd fd, std::filesystem::path path) : m_fd(std::move(fd)), m_path(std::move(path)) {}
    static Folder failed(std::filesystem::path path, int error);
    // The target of the trusted link `name`, read so that the link cannot be
    // swapped between the owner's check and the read.
    std::optional<std::string> trustedTarget(std::string_view name) const;
    // A new file beside `name` under a name no one else has (O_EXCL), with
    // that name in `temporary`.
    UniqueFd makeTemporary(std::string_view name, mode_t mode, std::string& temporary) const;
    // A new file with no name yet where the system allows (invalid
    // otherwise, errno EACCES or EPERM when the folder refuses this user).
    UniqueFd makeUnnamed() const;
    // Gives the unnamed `file` a fresh name beside `name`, in `temporary`.
    bool nameUnnamed(int file, std::string_view name, std::string& temporary) const;

    UniqueFd m_fd;
    std::filesystem::path m_path;
    int m_error = 0;
};

// Writes a record over `bytes.size()` bytes at `at` of an open file and
// flushes it: the running note's slots are written in place.
bool writeInPlace(int fd, std::string_view bytes, off_t at);

// Flushes a folder's entries, by path. False, with errno set, when it could not.
bool syncFolder(const std::filesystem::path& folder);
