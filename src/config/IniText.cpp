// SPDX-License-Identifier: MIT
#include "config/IniText.h"

#include <vector>

namespace ini {

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

} // namespace

std::string_view untilNul(std::string_view text)
{
    return text.substr(0, text.find('\0'));
}

std::string_view name(std::string_view given)
{
    return trim(untilNul(given));
}

std::optional<std::string> read(std::string_view text, std::string_view section, std::string_view key)
{
    bool found = false;
    std::string_view value = readValue(text, section, key, found);
    if (!found)
        return std::nullopt;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(untilNul(value.substr(0, MaxValue)));
}

std::string readDefault(std::string_view defaultValue)
{
    return withoutTrailingBlanks(untilNul(defaultValue).substr(0, MaxValue));
}

bool holds(std::string_view text, std::string_view section, std::string_view key, const std::string& value)
{
    if (holdsLineBreak(section) || !validKeyName(key))
        return false;
    bool stored = false;
    const std::string_view current = readValue(text, section, key, stored);
    return stored && current == trim(storedForm(value));
}

Edit set(std::string_view text, bool existed, std::string_view sectionName, std::string_view keyName,
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

} // namespace ini
