// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// What a command file's name says about it. The first 14 characters are a
// fixed-width prefix; characters 15 to 17 "COR" (case-sensitive) mark a
// fiscal file; "display" anywhere marks a display-message file.
bool isFiscalName(const std::string& name);
bool isDisplayName(const std::string& name);
// The reference a log record uses for the file: the name less its first 14
// characters for a fiscal file, else the whole name.
std::string fileReference(const std::string& name);
