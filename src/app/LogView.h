// SPDX-License-Identifier: MIT
#pragma once

#include "app/CommandLine.h"

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

class Clock;
// One record of an error log: its lines, without line ends, in the file's
// windows-1252 bytes. A printer's record runs over three lines (its message
// holds the level, the code and the printer's text on lines of their own).
using LogRecord = std::vector<std::string>;

// Reads a log's records as they are appended. Each call takes up where the
// last one stopped; a log that was renewed ("Ricrea File Log" moves it away
// and starts a new one) or cut is read again from its start.
class LogReader {
public:
    explicit LogReader(std::filesystem::path file);

    // The records appended since the last call. A record whose lines are not
    // all written yet waits for the next call, unless `atEnd` (a one-shot
    // read), which gives it as it is.
    std::vector<LogRecord> next(bool atEnd);
    // False while the file is not there.
    bool exists() const { return m_exists; }

private:
    std::filesystem::path m_file;
    bool m_exists = false;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    std::uintmax_t m_offset = 0;
    std::string m_pending;
};

// log: the error logs of programDir, record by record, decoded from
// windows-1252 to the terminal's encoding; a record's later lines are
// indented under its first. With both logs each record is led by its log's
// name. `follow` goes on reading every `pollMs` ms of `clock` for as long
// as `keepGoing` says (for ever when it is empty), as tail -f does.
int showLogs(const std::filesystem::path& programDir, CommandLine::Logs which, bool follow, std::ostream& out,
             std::ostream& err, Clock& clock, const std::function<bool()>& keepGoing = {}, int pollMs = 250);
