// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The text rules of the configuration file shared with the back-office, on
// its 8-bit bytes in memory: no file is touched here. Reads follow the
// Windows profile calls the back-office uses (trimming, first "=",
// case-insensitive names, only the first section of a name, quotes, the
// 254-character cut); a write changes only the key's own line, or adds it
// after the section's last line of content, so foreign sections, keys,
// comments, blank lines and line ends stay as they are.
namespace ini {

// A section or key name as the calls take it: up to its first NUL, without
// blanks and control characters around it.
std::string_view name(std::string_view given);
// The text up to its first NUL character.
std::string_view untilNul(std::string_view text);

// The value of `key` in `section` as the back-office reads it, or nullopt
// when the section or the key is not there.
std::optional<std::string> read(std::string_view text, std::string_view section, std::string_view key);
// The default as a read of a missing key gives it back.
std::string readDefault(std::string_view defaultValue);

// What a write does to the text it read.
enum class Edit { Unchanged, Changed, Refused };

// Sets `key` = `value` in `section` of `text` (`existed` false: there is no
// file yet), or removes every section of the name when `key` is empty.
// Changed: `out` holds the new text. Unchanged: the text holds it already.
// Refused: names that would not read back as themselves.
Edit set(std::string_view text, bool existed, std::string_view section, std::string_view key, const std::string& value,
         std::string& out);
// True when setting the key would leave `text` as it is.
bool holds(std::string_view text, std::string_view section, std::string_view key, const std::string& value);

} // namespace ini
