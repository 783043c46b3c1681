// SPDX-License-Identifier: MIT
#pragma once

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// Small file helpers for tests that run in a temporary program directory.
namespace testfiles {

inline std::string read(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void write(const std::filesystem::path& p, const std::string& bytes)
{
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Lines of a text file, split at LF with a trailing CR removed.
inline std::vector<std::string> lines(const std::filesystem::path& p)
{
    std::vector<std::string> out;
    std::istringstream in(read(p));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        out.push_back(line);
    }
    return out;
}

// Lines of a text, split at LF and kept as they are.
inline std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

// The control characters of a text other than its CR LF pairs, shown as
// `cat -v` shows them ("^[" for ESC, "^?" for DEL): empty when a log holds
// no byte that could drive a terminal or start a forged line.
inline std::string strayControls(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
            continue;
        }
        if (c < 0x20 || c == 0x7F) {
            out += '^';
            out += c == 0x7F ? '?' : char(c + 0x40);
        }
    }
    return out;
}

inline std::filesystem::path path(const QTemporaryDir& dir)
{
    return std::filesystem::path(dir.path().toStdString());
}

} // namespace testfiles
