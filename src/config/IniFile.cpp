// SPDX-License-Identifier: MIT
#include "config/IniFile.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <system_error>
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

enum class Load { Missing, Read, Failed };

// Closes a descriptor when the scope ends.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Every polling tick reads the file twice, so this stays at four system
// calls. O_NONBLOCK keeps a FIFO put in the file's place from blocking the
// open; it is refused below like anything else that is not a regular file.
Load loadFile(const std::filesystem::path& file, std::string& out)
{
    const Descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
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

bool saveFile(const std::filesystem::path& file, const std::string& bytes, bool existed)
{
    const QString name = QFile::decodeName(file.c_str());
    QFileDevice::Permissions permissions;
    if (existed) {
        QFile current(name);
        // A read-only file stays as it is, as it would for the platform call;
        // replacing it by rename would go round its protection.
        if (!current.open(QIODevice::ReadWrite))
            return false;
        permissions = current.permissions();
    }
    QSaveFile out(name);
    // Unbuffered: with a buffer, a write the disk refuses (full, quota) only
    // fails at the flush inside commit(), and QSaveFile (Qt 6.4) then still
    // renames the empty temporary file over the shared one. Written through,
    // the refusal shows here and the file is left as it was.
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (out.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()) ||
        out.error() != QFileDevice::NoError) {
        out.cancelWriting();
        return false;
    }
    if (existed)
        out.setPermissions(permissions);
    return out.commit();
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

bool removeSections(const std::filesystem::path& file, std::string_view section)
{
    std::string text;
    const Load load = loadFile(file, text);
    if (load == Load::Missing)
        return true;
    if (load == Load::Failed)
        return false;

    const std::vector<Line> lines = splitLines(text);
    std::string out;
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
    if (!removed)
        return true;
    return saveFile(file, out, true);
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

bool writeKey(std::string_view sectionName, std::string_view keyName, const std::string& value,
              const std::filesystem::path& file);
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
        std::string_view value =
            readValue(text, trim(untilNul(section)), trim(untilNul(key)), found);
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
    if (alreadyStored(sectionName, keyName, value, file))
        return true;
    const FolderTurn turn(file);
    return writeKey(sectionName, keyName, value, file);
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

bool writeKey(std::string_view sectionName, std::string_view keyName, const std::string& value,
              const std::filesystem::path& file)
{
    // Names that would not read back as themselves are refused rather than
    // written as something else.
    if (holdsLineBreak(sectionName))
        return false;
    if (keyName.empty())
        return removeSections(file, sectionName);
    if (!validKeyName(keyName))
        return false;

    const std::string newValue = storedForm(value);

    std::string text;
    const Load load = loadFile(file, text);
    if (load == Load::Failed)
        return false;
    if (load == Load::Missing || text.empty()) {
        std::string out;
        out.append("[").append(sectionName).append("]").append(CrLf);
        out.append(keyName).append("=").append(newValue).append(CrLf);
        return saveFile(file, out, load == Load::Read);
    }

    // Stored meanwhile by another writer: the file is not touched.
    bool stored = false;
    const std::string_view current = readValue(text, sectionName, keyName, stored);
    if (stored && current == trim(newValue))
        return true;

    const std::vector<Line> lines = splitLines(text);
    size_t header = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == LineKind::Section && sameName(lines[i].name, sectionName)) {
            header = i;
            break;
        }
    }

    std::string out;
    if (header == lines.size()) {
        out.reserve(text.size() + sectionName.size() + keyName.size() + newValue.size() + 8);
        out = text;
        const std::string_view eol = lineEndFor(text, lines, lines.empty() ? 0 : lines.size() - 1);
        if (!lines.empty() && lines.back().next == lines.back().end)
            out.append(eol);
        out.append("[").append(sectionName).append("]").append(eol);
        out.append(keyName).append("=").append(newValue).append(eol);
        return saveFile(file, out, true);
    }

    size_t last = header;
    for (size_t i = header + 1; i < lines.size() && lines[i].kind != LineKind::Section; ++i) {
        const Line& line = lines[i];
        if (line.kind == LineKind::Key && sameName(line.name, keyName)) {
            if (line.value == trim(newValue))
                return true; // already stored: the file is not touched at all
            out.reserve(text.size() + newValue.size());
            out.append(text, 0, line.begin);
            out.append(line.name).append("=").append(newValue);
            out.append(text, line.end, std::string::npos);
            return saveFile(file, out, true);
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
    return saveFile(file, out, true);
}

} // namespace
