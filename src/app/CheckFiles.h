// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <vector>

// check: reads each command file as the bridge would and prints, record by
// record, the record, the printer operation it becomes and the calls it
// would make on the printer (in the call trace's form), or why it would
// fail. The interpreter is the bridge's own, run against a RecordingControl:
// no printer, no program folder, nothing written anywhere.
//
// The settings are those of programDir's configuration when it is given,
// else the defaults (the port of `tessiro init`); the output says which,
// since a payment's calls depend on them. Exit status 0 when every record
// of every file would be accepted, 1 otherwise, 2 when programDir is no
// usable folder. A file named "-" is read from `input` (standard input).
int checkCommandFiles(const std::optional<std::filesystem::path>& programDir,
                      const std::vector<std::filesystem::path>& files, std::ostream& out, std::ostream& err,
                      std::istream& input);
