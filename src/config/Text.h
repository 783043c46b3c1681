// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Texts in the core are the 8-bit windows-1252 bytes of the shared files;
// they are decoded only for display.
QString fromCp1252(std::string_view bytes);
std::string toCp1252(const QString& text); // unmappable characters become '?'

// Blanks, tabs and control characters removed at both ends.
std::string trimmed(std::string_view text);

// The numeric test of the settings panel: an optional sign, digits with an
// optional decimal point and exponent, blanks around. The empty text fails.
bool isNumericText(std::string_view text);
// Numeric text rounded to a 16-bit integer (halves to even); nullopt when it
// is not numeric or out of range.
std::optional<int16_t> toInt16(std::string_view text);
// Numeric text as a double; nullopt when not numeric.
std::optional<double> toDouble(std::string_view text);

// A stored path (possibly written on Windows with "\") as a path on this
// system; a relative one is taken under `base`.
std::filesystem::path storedPath(const std::string& stored, const std::filesystem::path& base);
