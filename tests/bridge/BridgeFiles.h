// SPDX-License-Identifier: MIT
#pragma once

#include "config/IniFile.h"
#include "config/Keys.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

// What the intake and start-up recovery tests read back and drop: a stored
// key ("<assente>" when missing), the lines holding a text, a whole receipt
// carrying a marker.
namespace bridgetest {

inline std::string stored(const std::filesystem::path& config, const char* key)
{
    return LeggiINI(keys::Section, key, "<assente>", config);
}

inline int countContaining(const std::vector<std::string>& lines, const std::string& part)
{
    return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                          [&](const std::string& l) { return l.find(part) != std::string::npos; }));
}

inline std::string receipt(const std::string& marker)
{
    return "F2:1:ARTICOLO:1000:150:1\r\nF5:1:" + marker + "\r\nF4:0:0:0:1\r\n";
}

} // namespace bridgetest
