// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <cstddef>
#include <string>

// Text that comes from outside the program (a printer's reply, a field of a
// command file, a file's name) is made safe once, before it reaches a log,
// the trace, standard error or the window: every control character (CR, LF,
// TAB and the rest of 0x00-0x1F, and 0x7F) becomes "?", so it can never end
// a record or start a line of its own, and it is cut to `max` characters.
// The program's own texts keep their line breaks: only outside text goes
// through here.
inline constexpr std::size_t OutsideTextMax = 200;

// For 8-bit text (windows-1252 bytes): one byte is one character.
std::string cleanOutsideText(std::string text, std::size_t max = OutsideTextMax);
// For decoded text; cut by characters, never inside a surrogate pair.
QString cleanOutsideText(const QString& text, std::size_t max = OutsideTextMax);
