// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>

class Clock;

// The configuration store shared with the back-office program. Texts are the
// file's 8-bit bytes, read and changed by the text rules of IniText.h; writes
// replace the file atomically through the file-access helper, and skip the
// write altogether when the value is unchanged.
// A write never starts from a read it cannot trust (a file another program
// was rewriting in place while it was read): it reads again, and after a
// bound gives up rather than persist a torn view. The replaced file keeps the
// old one's mode, group and (for the superuser) owner; where the group cannot
// be kept, the file is rewritten in place. A link in the file's place is
// followed only when root or this process's user owns it and it leads to a
// regular file, which is then replaced in its own folder (or rewritten in
// place) so the link stays a link; through any other link nothing is read
// (the defaults are returned) and nothing is written. Writers of one folder
// take turns (an advisory lock on the folder, waited for a bounded time).
class IniFile {
public:
    // The pauses of a write (between tries, while another writer holds the
    // turn) are slept on `clock`, and the age of a file's time stamps is
    // measured on its wall time. `clock` outlives the store.
    IniFile(std::filesystem::path file, Clock& clock);

    // Value of `key` in `section`, or `defaultValue` (less its trailing
    // blanks) when the file, section or key is missing.
    std::string read(const std::string& section, const std::string& key, const std::string& defaultValue) const;
    // Writes `key` = `value` in `section`, creating file, section and key as
    // needed. An empty key removes the whole section. True when the file
    // holds the value afterwards; false, with the file as it was, when the
    // write was refused or given up.
    [[nodiscard]] bool write(const std::string& section, const std::string& key, const std::string& value);

private:
    std::filesystem::path m_file;
    Clock& m_clock;
};

// The store's read and write of `file` on the system clock, for callers that
// have no clock of their own.
std::string LeggiINI(const std::string& section, const std::string& key, const std::string& defaultValue,
                     const std::filesystem::path& file);
// Numeric default, turned into its decimal text (0 -> "0", -1 -> "-1").
std::string LeggiINI(const std::string& section, const std::string& key, long long defaultValue,
                     const std::filesystem::path& file);
[[nodiscard]] bool ScriviINI(const std::string& section, const std::string& key, const std::string& value,
                             const std::filesystem::path& file);

// The text up to its first NUL character.
std::string TogliNull(const std::string& text);
