// SPDX-License-Identifier: MIT
// The INI store on an arbitrary file: reads never fail, a write reads back as
// written, and every line that is not the written key's survives the write.
#include "config/IniFile.h"

#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {
std::string readAll(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The lines of a text, a leading UTF-8 byte order mark left out: the store
// keeps it in front of whatever comes first, so it is not a line of its own
// (a section added to a file holding only the mark starts right after it).
std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> out;
    std::string line;
    const size_t begin = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    for (size_t i = begin; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            out.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            line.push_back(c);
        }
    }
    if (!line.empty())
        out.push_back(line);
    return out;
}

bool plainName(const std::string& s)
{
    if (s.empty() || s.size() > 20)
        return false;
    for (unsigned char c : s)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    static unsigned long long turn = 0;
    const std::filesystem::path folder(dir.path().toStdString());
    std::filesystem::remove(folder / ("_Configurazione" + std::to_string(turn) + ".ini"));
    const std::filesystem::path file = folder / ("_Configurazione" + std::to_string(++turn) + ".ini");
    // Input: <section>\0<key>\0<value>\0<file body>
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts;
    size_t start = 0;
    for (int k = 0; k < 3; ++k) {
        const size_t nul = input.find('\0', start);
        if (nul == std::string::npos)
            return 0;
        parts.push_back(input.substr(start, nul - start));
        start = nul + 1;
    }
    const std::string& section = parts[0];
    const std::string& key = parts[1];
    const std::string& value = parts[2];
    const std::string body = input.substr(start);
    // A new file each time, and none for an empty body: the store waits
    // for an existing file that reads empty or much shorter than its last
    // whole read to settle (it may be caught half-way through another
    // program's rewrite), which would slow every such input by a third of
    // a second. That rule has its own tests.
    if (!body.empty()) {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << body;
    }
    (void)LeggiINI(section, key, "dflt", file);
    if (!plainName(section) || !plainName(key))
        return 0;
    // A value the store keeps whole: no line breaks, no blanks or control
    // characters at its ends, no quotes around it, short enough.
    if (value.empty() || value.size() > 200)
        return 0;
    for (unsigned char c : value)
        if (c == '\r' || c == '\n' || c == 0)
            return 0;
    if (static_cast<unsigned char>(value.front()) <= 0x20 || static_cast<unsigned char>(value.back()) <= 0x20)
        return 0;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.front() == value.back())
        return 0;

    const std::vector<std::string> before = splitLines(body);
    if (!ScriviINI(section, key, value, file))
        std::abort();
    if (LeggiINI(section, key, "dflt", file) != value)
        std::abort();
    // Foreign lines survive in order: at most one line changed or was added.
    const std::vector<std::string> after = splitLines(readAll(file));
    size_t i = 0, j = 0, differences = 0;
    while (i < before.size() && j < after.size()) {
        if (before[i] == after[j]) {
            ++i, ++j;
        } else if (after.size() > before.size()) {
            ++j, ++differences; // an added line
        } else {
            ++i, ++j, ++differences; // the key's own line, rewritten
        }
    }
    differences += (before.size() - i) + (after.size() - j);
    if (differences > 2)
        std::abort();
    return 0;
}
