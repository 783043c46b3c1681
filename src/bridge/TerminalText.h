// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

// Texts for the terminal of the user running a tool. The shared files hold
// windows-1252; a terminal shows its locale's character set (LC_CTYPE, set
// from the environment at start-up).

// The locale's character set, as nl_langinfo names it ("UTF-8",
// "ISO-8859-15", "ANSI_X3.4-1968" under the C locale).
std::string terminalCodeset();

// UTF-8 text in `codeset` (default: the terminal's). A character the set
// lacks is spelt with what it has ("€" becomes "EUR" in ASCII) or becomes
// "?"; nothing is dropped without a mark.
std::string utf8ToTerminal(std::string_view utf8, const std::string& codeset = terminalCodeset());

// windows-1252 bytes of the shared files in `codeset`. Control characters
// other than line breaks and tabs become "?", so no file can drive the
// terminal.
std::string cp1252ToTerminal(std::string_view cp1252, const std::string& codeset = terminalCodeset());

// One terminal line of windows-1252 text, in UTF-8: CR LF and lone CRs or
// LFs become " | ", any other control character "?", so no text can drive
// the terminal or pass for a second line.
std::string oneLine(const std::string& cp1252);
