// SPDX-License-Identifier: MIT
#pragma once

#include "core/Job.h"
#include "errors/ErrorHandler.h"

#include <iosfwd>
#include <string>

class Bridge;

// Operations logging: every record the bridge writes to its two logs, one
// line each on a stream (standard error, which journald keeps for the user
// service), with a level in front:
//
//   tessiro[ERRORE] FiscalError.log: <record>     failure records
//   tessiro[AVVISO] NotFiscalError.log: <record>  problems that raise no error
//   tessiro[AZIONE] NotFiscalError.log: <record>  action records
//   tessiro[INFO] File preso: <name>              --verbose only
//   tessiro[ERRORE] File non eseguito: <name>     a file that asked nothing
//                                                 of the printer (every level)
//
// Records are decoded from windows-1252; their inner line breaks become " | ".
class OperationsLog {
public:
    enum class Level {
        Quiet,   // failures and problems only
        Normal,  // also the actions
        Verbose, // also each command file taken and how it ended, and each ctl request
    };

    // `journal`: each line starts with its syslog priority ("<3>"), which
    // journald reads as the entry's priority.
    OperationsLog(std::ostream& out, Level level, bool journal = false);

    // Observes the bridge's error handler and jobs from now on.
    void attach(Bridge& bridge);

    void record(ErrorHandler::RecordKind kind, const std::string& logName, const std::string& record);
    void fileTaken(const Job& job);
    void fileDone(const Job& job);
    void request(const std::string& command, const std::string& outcome);

    // True when standard error is the journal's stream (systemd names it in
    // JOURNAL_STREAM as "device:inode").
    static bool stderrIsJournal();

private:
    enum class Severity { Error, Warning, Notice, Info };
    void line(Severity severity, const std::string& utf8);

    std::ostream& m_out;
    Level m_level;
    bool m_journal;
    JobFeed::Subscription m_jobs;
};
