// SPDX-License-Identifier: MIT
#include "app/OperationsLog.h"

#include "bridge/Bridge.h"
#include "bridge/TerminalText.h"
#include "config/Text.h"

#include <QByteArray>

#include <ostream>
#include <sys/stat.h>

OperationsLog::OperationsLog(std::ostream& out, Level level, bool journal)
    : m_out(out), m_level(level), m_journal(journal)
{}

void OperationsLog::attach(Bridge& bridge)
{
    bridge.errors().onRecord = [this](ErrorHandler::RecordKind kind, const std::string& logName,
                                      const std::string& text) { record(kind, logName, text); };
    bridge.errors().echoedOnStderr =
        m_level == Level::Quiet ? ErrorHandler::Echoed::AllButActions : ErrorHandler::Echoed::All;
    m_jobs = bridge.jobs().subscribe({[this](const Job& job) { fileTaken(job); },
                                      [this](const Job& job) { fileDone(job); }});
}

void OperationsLog::line(Severity severity, const std::string& utf8)
{
    static constexpr const char* Tags[] = {"ERRORE", "AVVISO", "AZIONE", "INFO"};
    // syslog priorities: err, warning, notice, info.
    static constexpr int Priorities[] = {3, 4, 5, 6};
    const auto i = static_cast<int>(severity);
    if (m_journal)
        m_out << '<' << Priorities[i] << '>';
    m_out << "tessiro[" << Tags[i] << "] " << utf8 << std::endl;
}

void OperationsLog::record(ErrorHandler::RecordKind kind, const std::string& logName, const std::string& record)
{
    Severity severity = Severity::Error;
    switch (kind) {
    case ErrorHandler::RecordKind::Failure: severity = Severity::Error; break;
    case ErrorHandler::RecordKind::Problem: severity = Severity::Warning; break;
    case ErrorHandler::RecordKind::Action:
        severity = Severity::Notice;
        if (m_level == Level::Quiet)
            return;
        break;
    }
    line(severity, oneLine(logName + ": " + record));
}

void OperationsLog::fileTaken(const Job& job)
{
    if (m_level == Level::Verbose)
        line(Severity::Info, oneLine("File preso: " + job.name));
}

void OperationsLog::fileDone(const Job& job)
{
    // A receipt that never printed is a failure for whoever reads the
    // journal's errors, whatever the level.
    if (job.outcome == Job::Outcome::NotRun) {
        line(Severity::Error, oneLine("File non eseguito: " + job.name));
        return;
    }
    if (m_level != Level::Verbose)
        return;
    const char* outcome = job.outcome == Job::Outcome::Discarded ? "File scartato, errore in sospeso: "
                          : job.outcome == Job::Outcome::Failed  ? "File non riuscito: "
                                                                 : "File eseguito: ";
    line(Severity::Info, oneLine(outcome + job.name));
}

void OperationsLog::request(const std::string& command, const std::string& outcome)
{
    if (m_level == Level::Verbose)
        line(Severity::Info, oneLine("ctl " + command + ": " + outcome));
}

bool OperationsLog::stderrIsJournal()
{
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    const qsizetype colon = stream.indexOf(':');
    if (colon <= 0)
        return false;
    bool deviceOk = false, inodeOk = false;
    const qulonglong device = stream.left(colon).toULongLong(&deviceOk);
    const qulonglong inode = stream.mid(colon + 1).toULongLong(&inodeOk);
    struct stat st {};
    if (!deviceOk || !inodeOk || ::fstat(2, &st) != 0)
        return false;
    return static_cast<qulonglong>(st.st_dev) == device && static_cast<qulonglong>(st.st_ino) == inode;
}
