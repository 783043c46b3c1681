// SPDX-License-Identifier: MIT
// Concurrent reader of the shared configuration: reliability_ini_reader FILE
// SECONDS KEY...
//
// Reads FILE in a tight loop for SECONDS while other processes write it, and
// checks every read: the file is there, it is whole (ends with a line end,
// every seeded line of the foreign sections is present) and every KEY is
// found, both in the raw bytes and through LeggiINI, the bridge's own reader.
// A KEY is "Section.Key", or a bare key of section Varie. Prints "reads=N failures=M" and exits 1 on any
// failure, with the first bad read saved as FILE.bad-read.
#include "config/IniFile.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr char Absent[] = "\x01<absent>";

bool readAll(const std::string& path, std::string& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream s;
    s << in.rdbuf();
    out = s.str();
    return true;
}

bool holdsKeyLine(const std::string& text, const std::string& key)
{
    const std::string start = key + "=";
    for (size_t pos = 0; pos < text.size();) {
        if (text.compare(pos, start.size(), start) == 0)
            return true;
        const size_t eol = text.find('\n', pos);
        if (eol == std::string::npos)
            break;
        pos = eol + 1;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::cerr << "usage: reliability_ini_reader FILE SECONDS KEY...\n";
        return 2;
    }
    const std::string file = argv[1];
    const double seconds = std::atof(argv[2]);
    const std::vector<std::string> keys(argv + 3, argv + argc);
    std::vector<std::string> sections, names;
    for (const auto& key : keys) {
        const size_t dot = key.find('.');
        sections.push_back(dot == std::string::npos ? "Varie" : key.substr(0, dot));
        names.push_back(dot == std::string::npos ? key : key.substr(dot + 1));
    }
    // Lines that only the back-office writes: every read must show them.
    const std::vector<std::string> foreign = {"[Generale]\r\n", "Negozio=Bottega di prova\r\n",
                                              "ChiaveEstranea=valore estraneo\r\n", "[Stampanti]\r\n",
                                              "; ultima riga\r\n"};

    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    long long reads = 0, failures = 0;
    std::string text;
    while (std::chrono::steady_clock::now() < end) {
        ++reads;
        std::string why;
        if (!readAll(file, text)) {
            why = "file missing";
        } else if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) {
            why = "file does not end with a line end (torn)";
        } else {
            for (const auto& line : foreign)
                if (text.find(line) == std::string::npos)
                    why = "foreign line missing: " + line.substr(0, line.size() - 2);
            for (const auto& name : names)
                if (!holdsKeyLine(text, name))
                    why = "key line missing: " + name;
        }
        // The bridge's own reader, on the file as it is now.
        if (why.empty() && (reads % 4) == 0) {
            for (size_t k = 0; k < keys.size(); ++k)
                if (LeggiINI(sections[k], names[k], Absent, file) == Absent)
                    why = "LeggiINI does not find " + keys[k];
        }
        if (!why.empty()) {
            if (failures == 0) {
                std::cerr << "ini_reader: read " << reads << ": " << why << '\n';
                std::ofstream(file + ".bad-read", std::ios::binary) << text;
            }
            ++failures;
        }
    }
    std::cout << "reads=" << reads << " failures=" << failures << std::endl;
    return failures == 0 ? 0 : 1;
}
