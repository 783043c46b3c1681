// SPDX-License-Identifier: MIT
#pragma once

#include "core/Job.h"

#include <string>

// What a command file's name says about it. The first 14 characters are a
// fixed-width prefix; characters 15 to 17 "COR" (case-sensitive) mark a
// fiscal file; "display" anywhere marks a display-message file.
bool isFiscalName(const std::string& name);
bool isDisplayName(const std::string& name);
// The reference a log record uses for the file: the name less its first 14
// characters for a fiscal file, else the whole name.
std::string fileReference(const std::string& name);

// A file name as log records and Kelmora_CORR carry it: a name in UTF-8 is
// turned into windows-1252 like every other text of the logs (what has no
// windows-1252 form becomes "?"), and every control character (below 0x20,
// and 0x7F) becomes "?", so that no name can split a record or forge one.
std::string recordName(const std::string& name);

// A job for the command file `name`, its kind told by its name.
Job jobNamed(const std::string& name);
