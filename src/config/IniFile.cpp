// SPDX-License-Identifier: MIT
#include "config/IniFile.h"

#include "core/FileAccess.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// The back-office reads values into a 255-byte buffer with its terminator.
constexpr size_t MaxValue = 254;
constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view CrLf = "\r\n";

bool isJunk(char c)
{
    return static_cast<unsigned char>(c) <= 0x20;
}

std::string_view trim(std::string_view s)
{
    size_t b = 0, e = s.size();
    while (b < e && isJunk(s[b]))
        ++b;
    while (e > b && isJunk(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    return true;
}

std::string_view untilNul(std::string_view s)
{
    return s.substr(0, s.find('\0'));
}

enum class LineKind { Blank, Comment, Section, Key, Other };

struct Line {
    size_t begin = 0; // first byte of the line
    size_t end = 0;   // end of the line's text, before its line end
    size_t next = 0;  // first byte after its line end
    LineKind kind = LineKind::Blank;
    std::string_view name;  // section or key name, trimmed
    std::string_view value; // key value, trimmed, quotes kept
};

// Splits the next line of `text` starting at `pos` and classifies it.
Line readLine(std::string_view text, size_t pos)
{
    Line line;
    line.begin = pos;
    size_t e = pos;
    while (e < text.size() && text[e] != '\r' && text[e] != '\n')
        ++e;
    line.end = e;
    if (e < text.size()) {
        line.next = e + 1;
        if (text[e] == '\r' && e + 1 < text.size() && text[e + 1] == '\n')
            line.next = e + 2;
    } else {
        line.next = e;
    }

    const std::string_view t = trim(text.substr(pos, e - pos));
    if (t.empty()) {
        line.kind = LineKind::Blank;
    } else if (t.front() == ';') {
        line.kind = LineKind::Comment;
    } else if (const size_t close = t.rfind(']'); t.front() == '[' && close != std::string_view::npos && close > 0) {
        line.kind = LineKind::Section;
        line.name = trim(t.substr(1, close - 1));
    } else if (const size_t eq = t.find('='); eq != std::string_view::npos) {
        line.kind = LineKind::Key;
        line.name = trim(t.substr(0, eq));
        line.value = trim(t.substr(eq + 1));
    } else {
        line.kind = LineKind::Other;
    }
    return line;
}

// Where the lines start: after a UTF-8 byte order mark that some editors
// put in front of the first section header.
size_t firstLine(std::string_view text)
{
    return text.starts_with(Utf8Bom) ? Utf8Bom.size() : 0;
}

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

std::string_view readValue(std::string_view text, std::string_view section, std::string_view key, bool& found)
{
    found = false;
    bool inSection = false;
    bool sectionSeen = false;
    for (size_t pos = firstLine(text); pos < text.size();) {
        const Line line = readLine(text, pos);
        pos = line.next;
        if (line.kind == LineKind::Section) {
            if (sectionSeen)
                return {}; // only the first section of the name is searched
            inSection = sameName(line.name, section);
            sectionSeen = inSection;
        } else if (inSection && line.kind == LineKind::Key && sameName(line.name, key)) {
            found = true;
            return line.value;
        }
    }
    return {};
}

std::string withoutTrailingBlanks(std::string_view s)
{
    size_t e = s.size();
    while (e > 0 && s[e - 1] == ' ')
        --e;
    return std::string(s.substr(0, e));
}

// The line end of line `after` when it has one, else the file's first line
// end, else CR LF.
std::string_view lineEndFor(std::string_view text, const std::vector<Line>& lines, size_t after)
{
    if (after < lines.size() && lines[after].next > lines[after].end)
        return text.substr(lines[after].end, lines[after].next - lines[after].end);
    for (const Line& l : lines)
        if (l.next > l.end)
            return text.substr(l.end, l.next - l.end);
    return CrLf;
}

std::vector<Line> splitLines(std::string_view text)
{
    std::vector<Line> lines;
    for (size_t pos = firstLine(text); pos < text.size();) {
        lines.push_back(readLine(text, pos));
        pos = lines.back().next;
    }
    return lines;
}

// What a write does to the text it read.
enum class Edit { Unchanged, Changed, Refused };

Edit removeSections(std::string_view text, bool existed, std::string_view section, std::string& out)
{
    if (!existed)
        return Edit::Unchanged;

    const std::vector<Line> lines = splitLines(text);
    out.reserve(text.size());
    out.append(text, 0, firstLine(text));
    bool removed = false;
    for (size_t i = 0; i < lines.size();) {
        if (lines[i].kind != LineKind::Section || !sameName(lines[i].name, section)) {
            out.append(text, lines[i].begin, lines[i].next - lines[i].begin);
            ++i;
            continue;
        }
        // The section runs to its last line of content; the comments and
        // blank lines before the next header belong to what follows, except
        // the blank lines right after the section, which would be left over.
        removed = true;
        size_t last = i;
        size_t j = i + 1;
        for (; j < lines.size() && lines[j].kind != LineKind::Section; ++j)
            if (lines[j].kind != LineKind::Blank && lines[j].kind != LineKind::Comment)
                last = j;
        j = last + 1;
        while (j < lines.size() && lines[j].kind == LineKind::Blank)
            ++j;
        i = j;
    }
    return removed ? Edit::Changed : Edit::Unchanged;
}

bool holdsLineBreak(std::string_view s)
{
    return s.find_first_of("\r\n") != std::string_view::npos;
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
    explicit FolderTurn(const std::filesystem::path& file)
    {
        const std::filesystem::path dir = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
        m_fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_fd < 0)
            return;
        constexpr auto Pause = std::chrono::milliseconds(2);
        constexpr int Tries = 1000; // about two seconds
        for (int i = 0; i < Tries; ++i) {
            if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0)
                return;
            if (errno != EWOULDBLOCK && errno != EINTR)
                break;
            std::this_thread::sleep_for(Pause);
        }
        ::close(m_fd);
        m_fd = -1;
    }
    ~FolderTurn()
    {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    FolderTurn(const FolderTurn&) = delete;
    FolderTurn& operator=(const FolderTurn&) = delete;

private:
    int m_fd = -1;
};

Edit writeKey(std::string_view text, bool existed, std::string_view sectionName, std::string_view keyName,
              const std::string& value, std::string& out);
bool writeSafely(const std::filesystem::path& file,
                 const std::function<Edit(const std::string&, bool, std::string&)>& edit, std::string_view what);
bool alreadyStored(std::string_view sectionName, std::string_view keyName, const std::string& value,
                   const std::filesystem::path& file);

} // namespace

std::string TogliNull(const std::string& text)
{
    return std::string(untilNul(text));
}

std::string LeggiINI(const std::string& section, const std::string& key, const std::string& defaultValue,
                     const std::filesystem::path& file)
{
    std::string text;
    if (loadFile(file, text) == Load::Read) {
        bool found = false;
        std::string_view value = readValue(text, trim(untilNul(section)), trim(untilNul(key)), found);
        if (found) {
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
                value = value.substr(1, value.size() - 2);
            return std::string(untilNul(value.substr(0, MaxValue)));
        }
    }
    return withoutTrailingBlanks(untilNul(defaultValue).substr(0, MaxValue));
}

std::string LeggiINI(const std::string& section, const std::string& key, long long defaultValue,
                     const std::filesystem::path& file)
{
    return LeggiINI(section, key, std::to_string(defaultValue), file);
}

bool ScriviINI(const std::string& section, const std::string& key, const std::string& value,
               const std::filesystem::path& file)
{
    const std::string_view sectionName = trim(untilNul(section));
    const std::string_view keyName = trim(untilNul(key));
    // The polling cycle writes back at every tick the Eps_Vuoto it has just
    // read. A value already stored needs no write, so no turn: taking it
    // would cost three system calls a tick and could wait on another writer
    // for nothing.
    // Through a trusted link, the file it leads to is replaced in its own
    // folder; the link itself is never replaced.
    const std::optional<std::filesystem::path> place = sharedFile(file);
    if (!place)
        return false;
    if (alreadyStored(sectionName, keyName, value, *place))
        return true;
    const FolderTurn turn(*place);
    return writeSafely(
        *place,
        [&](const std::string& text, bool existed, std::string& out) {
            return writeKey(text, existed, sectionName, keyName, value, out);
        },
        keyName.empty() ? "the removal of section " + std::string(sectionName) : "key " + std::string(keyName));
}

namespace {

bool validKeyName(std::string_view keyName)
{
    return !keyName.empty() && !holdsLineBreak(keyName) && keyName.find('=') == std::string_view::npos &&
           keyName.front() != ';' && keyName.front() != '[';
}

// The value as it goes into the file.
std::string storedForm(const std::string& value)
{
    // A line break in the value would start a new line of the shared file.
    std::string text(untilNul(value));
    for (char& c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    size_t lead = 0;
    while (lead < text.size() && isJunk(text[lead]))
        ++lead;
    text.erase(0, lead);
    return text;
}

// True when the key is in the file with this value: writing it would leave
// the file as it is.
bool alreadyStored(std::string_view sectionName, std::string_view keyName, const std::string& value,
                   const std::filesystem::path& file)
{
    if (holdsLineBreak(sectionName) || !validKeyName(keyName))
        return false;
    std::string text;
    if (loadFile(file, text) != Load::Read)
        return false;
    bool stored = false;
    const std::string_view current = readValue(text, sectionName, keyName, stored);
    return stored && current == trim(storedForm(value));
}

Edit writeKey(std::string_view text, bool existed, std::string_view sectionName, std::string_view keyName,
              const std::string& value, std::string& out)
{
    // Names that would not read back as themselves are refused rather than
    // written as something else.
    if (holdsLineBreak(sectionName))
        return Edit::Refused;
    if (keyName.empty())
        return removeSections(text, existed, sectionName, out);
    if (!validKeyName(keyName))
        return Edit::Refused;

    const std::string newValue = storedForm(value);

    if (!existed || text.empty()) {
        out.append("[").append(sectionName).append("]").append(CrLf);
        out.append(keyName).append("=").append(newValue).append(CrLf);
        return Edit::Changed;
    }

    // Stored meanwhile by another writer: the file is not touched.
    bool stored = false;
    const std::string_view current = readValue(text, sectionName, keyName, stored);
    if (stored && current == trim(newValue))
        return Edit::Unchanged;

    const std::vector<Line> lines = splitLines(text);
    size_t header = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == LineKind::Section && sameName(lines[i].name, sectionName)) {
            header = i;
            break;
        }
    }

    if (header == lines.size()) {
        out.reserve(text.size() + sectionName.size() + keyName.size() + newValue.size() + 8);
        out = text;
        const std::string_view eol = lineEndFor(text, lines, lines.empty() ? 0 : lines.size() - 1);
        if (!lines.empty() && lines.back().next == lines.back().end)
            out.append(eol);
        out.append("[").append(sectionName).append("]").append(eol);
        out.append(keyName).append("=").append(newValue).append(eol);
        return Edit::Changed;
    }

    size_t last = header;
    for (size_t i = header + 1; i < lines.size() && lines[i].kind != LineKind::Section; ++i) {
        const Line& line = lines[i];
        if (line.kind == LineKind::Key && sameName(line.name, keyName)) {
            if (line.value == trim(newValue))
                return Edit::Unchanged; // already stored: the file is not touched at all
            out.reserve(text.size() + newValue.size());
            out.append(text, 0, line.begin);
            out.append(line.name).append("=").append(newValue);
            out.append(text, line.end, std::string::npos);
            return Edit::Changed;
        }
        if (line.kind != LineKind::Blank && line.kind != LineKind::Comment)
            last = i;
    }

    // A new key goes after the section's last line of content, so the blank
    // lines and comments that lead into the next section stay with it.
    const Line& after = lines[last];
    const std::string_view eol = lineEndFor(text, lines, last);
    out.reserve(text.size() + keyName.size() + newValue.size() + 4);
    out.append(text, 0, after.next);
    if (after.next == after.end)
        out.append(eol);
    out.append(keyName).append("=").append(newValue).append(eol);
    out.append(text, after.next, std::string::npos);
    return Edit::Changed;
}

} // namespace

namespace {

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

struct Snapshot {
    bool exists = false;
    std::string text;
    struct stat info {};
};

bool operator==(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool sameStamp(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size && a.st_mtim == b.st_mtim &&
           a.st_ctim == b.st_ctim;
}

enum class Taken { Whole, Torn, Failed };

Taken takeSnapshot(const std::filesystem::path& file, Snapshot& snap)
{
    snap = {};
    // The file itself: a link put in its place since the write began is
    // refused, not followed.
    const UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    if (fd.get() < 0)
        return errno == ENOENT || errno == ENOTDIR ? Taken::Whole : Taken::Failed;
    snap.exists = true;
    if (::fstat(fd.get(), &snap.info) != 0 || !S_ISREG(snap.info.st_mode))
        return Taken::Failed;
    // One byte more than the size, to see a file that grew meanwhile.
    snap.text.resize(static_cast<size_t>(snap.info.st_size) + 1);
    size_t done = 0;
    while (done < snap.text.size()) {
        const ssize_t n = ::read(fd.get(), snap.text.data() + done, snap.text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Taken::Failed;
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    snap.text.resize(done);
    struct stat after {};
    if (::fstat(fd.get(), &after) != 0)
        return Taken::Failed;
    if (!sameStamp(snap.info, after) || done != static_cast<size_t>(snap.info.st_size))
        return Taken::Torn;
    return Taken::Whole;
}

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

bool looksCut(const std::filesystem::path& file, const Snapshot& snap)
{
    if (!snap.exists)
        return false;
    return snap.text.empty() || snap.text.size() < wholeLengths().get(file) / 2;
}

bool settled(const Snapshot& snap)
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const auto age = [&](const timespec& t) {
        return std::chrono::seconds(now.tv_sec - t.tv_sec) + std::chrono::nanoseconds(now.tv_nsec - t.tv_nsec);
    };
    // A time stamp well ahead of the clock (a file touched into the future,
    // a skewed file server) is no sign of a write under way.
    const auto quiet = [&](const timespec& t) { return age(t) >= SettleTime || age(t) < -std::chrono::seconds(1); };
    return quiet(snap.info.st_mtim) && quiet(snap.info.st_ctim);
}

// A fresh name beside the file: ".", then twelve hex digits.
std::filesystem::path temporaryName(const std::filesystem::path& file)
{
    static std::mt19937_64 random{std::random_device{}()};
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%012llx", static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    std::filesystem::path name = file;
    name += suffix;
    return name;
}

// The file for the new text. Where the file system allows, it has no name
// until just before the rename (O_TMPFILE, named through /proc), so a
// process killed or a machine cut off while it is written and flushed
// leaves nothing behind; elsewhere it is made under a fresh name at once.
// 0666 less the umask, as any file this process creates.
UniqueFd createTemporary(const std::filesystem::path& file, std::filesystem::path& name, bool& unnamed)
{
    static const bool procFds = ::access("/proc/self/fd", X_OK) == 0;
    unnamed = false;
    name.clear();
    if (procFds) {
        const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
        const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0) {
            unnamed = true;
            return UniqueFd(fd);
        }
        // Refused for lack of rights: the named file would be refused too,
        // and the caller needs that errno.
        if (errno == EACCES || errno == EPERM)
            return UniqueFd(-1);
    }
    for (int i = 0; i < 100; ++i) {
        name = temporaryName(file);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return UniqueFd(fd);
    }
    return UniqueFd(-1);
}

// Gives the unnamed file a fresh name beside `file`.
bool nameTemporary(int fd, const std::filesystem::path& file, std::filesystem::path& name)
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int i = 0; i < 100; ++i) {
        name = temporaryName(file);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (errno != EEXIST)
            break;
    }
    name.clear();
    return false;
}

enum class Committed { Done, Raced, Failed };

// The write still succeeds, but the operator should fix the folder so the
// file can be replaced whole again.
void reportInPlaceOnce(const std::filesystem::path& file, const std::string& why)
{
    reportOnce(file, why +
                         ", so it is rewritten in place, which keeps its owner and group. To have it replaced whole"
                         " again, make its folder writable by this user and setgid to the file's group"
                         " (chgrp GROUP folder; chmod g+ws folder).");
}

// Rewrites the file's own inode, so its owner and group stay as they are
// (and a link to it stays a link). The room is reserved first, so a full disk
// refuses the write before a byte of the old text is overwritten. This is not
// atomic: a crash in the middle leaves the new text's first part over the old
// text, and one between the write and the truncation leaves the new text
// followed by the old one's last bytes when the new text is shorter. A key's
// write changes one line, and a reader takes the first of two equal keys, so
// the file then still reads as the new text but for a stray last line.
Committed writeInPlace(int fd, const std::string& bytes, const Snapshot& snap)
{
    struct stat now {};
    if (::fstat(fd, &now) != 0)
        return Committed::Failed;
    if (!sameStamp(now, snap.info))
        return Committed::Raced;
    if (!bytes.empty() && ::fallocate(fd, 0, 0, static_cast<off_t>(bytes.size())) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS)
        return Committed::Failed;
    if (!writeAll(fd, bytes, 0)) {
        // Put back what was there, as far as it goes; the write failed anyway.
        (void)writeAll(fd, snap.text, 0);
        return Committed::Failed;
    }
    if (::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0)
        return Committed::Failed;
    ::fsync(fd);
    return Committed::Done;
}

// Replaces the file by a new one holding `bytes`, with the mode, the group
// and (for the superuser) the owner of the file it replaces: the back-office
// running as another user of a shared group must still be able to write it.
Committed commit(const std::filesystem::path& file, const std::string& bytes, const Snapshot& snap)
{
    // A file this process may not write stays as it is, as it would for the
    // platform call; replacing it by rename would go round its protection.
    // The open waits while a program that holds a lease on the file (a file
    // server sharing it with the back-office's machines) hands back what it
    // kept of it; whatever that changes shows in the check before the
    // rename. O_RDWR, unlike O_WRONLY, opens a FIFO put in the file's place
    // without waiting for a reader; it is refused below.
    const UniqueFd current(snap.exists ? ::open(file.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW) : -1);
    if (snap.exists && current.get() < 0)
        return Committed::Failed;
    if (struct stat opened {}; snap.exists && (::fstat(current.get(), &opened) != 0 || !S_ISREG(opened.st_mode)))
        return Committed::Failed;

    std::filesystem::path tempName;
    bool unnamed = false;
    const UniqueFd temp = createTemporary(file, tempName, unnamed);
    if (temp.get() < 0) {
        // A folder closed to this user around a file open to it.
        if (snap.exists && (errno == EACCES || errno == EPERM)) {
            reportInPlaceOnce(file, "no new file can be made in its folder");
            return writeInPlace(current.get(), bytes, snap);
        }
        return Committed::Failed;
    }
    struct Unlink {
        const std::filesystem::path& name;
        bool keep = false;
        ~Unlink()
        {
            if (!keep && !name.empty())
                ::unlink(name.c_str());
        }
    } cleanup{tempName};

    if (!writeAll(temp.get(), bytes, 0))
        return Committed::Failed;
    if (snap.exists) {
        struct stat made {};
        if (::fstat(temp.get(), &made) != 0)
            return Committed::Failed;
        const bool root = ::geteuid() == 0;
        const uid_t owner = root ? snap.info.st_uid : static_cast<uid_t>(-1);
        if ((root && made.st_uid != snap.info.st_uid) || made.st_gid != snap.info.st_gid) {
            if (::fchown(temp.get(), owner, snap.info.st_gid) != 0) {
                if (errno != EPERM)
                    return Committed::Failed;
                reportInPlaceOnce(file, "its group (" + std::to_string(snap.info.st_gid) +
                                            ") cannot be given to a new file by this user");
                return writeInPlace(current.get(), bytes, snap);
            }
        }
        // After the change of owner, which clears the set-id bits.
        if (::fchmod(temp.get(), snap.info.st_mode & 07777) != 0)
            return Committed::Failed;
    }
    if (::fsync(temp.get()) != 0)
        return Committed::Failed;

    struct stat now {};
    const bool existsNow = ::lstat(file.c_str(), &now) == 0;
    if (existsNow != snap.exists || (existsNow && !sameStamp(now, snap.info)))
        return Committed::Raced;
    if (unnamed && !nameTemporary(temp.get(), file, tempName))
        return Committed::Failed;
    if (::rename(tempName.c_str(), file.c_str()) != 0)
        return Committed::Failed;
    cleanup.keep = true;
    // The new name is on the disk as well: Eps_Vuoto and Kelmora_CORR are
    // what the back-office acts on after a power cut.
    (void)syncFolder(file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path());
    return Committed::Done;
}

bool writeSafely(const std::filesystem::path& file,
                 const std::function<Edit(const std::string&, bool, std::string&)>& edit, std::string_view what)
{
    auto pause = FirstPause;
    for (int attempt = 0; attempt < Tries; ++attempt) {
        if (attempt > 0) {
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, LongestPause);
        }
        Snapshot snap;
        const Taken taken = takeSnapshot(file, snap);
        if (taken == Taken::Failed)
            return false;
        if (taken == Taken::Torn || (looksCut(file, snap) && !settled(snap)))
            continue;
        std::string out;
        switch (edit(snap.text, snap.exists, out)) {
        case Edit::Refused: return false;
        case Edit::Unchanged:
            if (snap.exists)
                wholeLengths().set(file, snap.text.size());
            return true;
        case Edit::Changed: break;
        }
        switch (commit(file, out, snap)) {
        case Committed::Done: wholeLengths().set(file, out.size()); return true;
        case Committed::Failed: return false;
        case Committed::Raced: break;
        }
    }
    std::cerr << "tessiro: gave up writing " << what << " to " << file.string()
              << ": another program kept rewriting the file while it was read; the file was left as it was\n";
    return false;
}

} // namespace
