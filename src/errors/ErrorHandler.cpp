// SPDX-License-Identifier: MIT
#include "errors/ErrorHandler.h"

#include "config/IniFile.h"
#include "config/Keys.h"
#include "config/Text.h"
#include "core/Clock.h"
#include "core/FileAccess.h"
#include "core/OperatorWindow.h"
#include "core/PrinterNote.h"
#include "core/SharedState.h"
#include "errors/FileKind.h"

#include <QScopedValueRollback>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string PrinterPrefix = "PrinterError: ";
const std::string ProgramPrefix = "Tessiro_Error: ";
const std::string SequenceError = "SEQUENZA ERRATA";
const std::string ConfigWriteFailed = "Scrittura non riuscita nel file di configurazione: ";
const std::string CrLf = "\r\n";

const char* logOf(const Job* job)
{
    return job && job->fiscal() ? ErrorHandler::FiscalLog : ErrorHandler::NotFiscalLog;
}

// How a record names the job's file ("" for none).
std::string referenceOf(const Job* job)
{
    return job ? recordName(fileReference(job->name)) : std::string();
}

// Runs one step of the handler so that its failure is said and the next step
// still runs: nothing may leave the error handler.
template <typename Step>
void guarded(const char* what, Step&& step)
{
    try {
        step();
    } catch (const std::exception& e) {
        ErrorHandler::sayOnStderr(std::string("error handler, ") + what + ": " + e.what());
    } catch (...) {
        ErrorHandler::sayOnStderr(std::string("error handler, ") + what + ": unknown failure");
    }
}

} // namespace

ErrorHandler::ErrorHandler(SharedState& state, OperatorWindow& window, Clock& clock)
    : m_state(state), m_window(window), m_clock(clock)
{}

void ErrorHandler::fileUnder(const Job& job)
{
    m_job = job;
    m_state.m_currentFileName = job.name;
}

void ErrorHandler::fileUnderNone()
{
    m_job.reset();
    m_state.m_currentFileName.clear();
}

void ErrorHandler::sayOnStderr(const std::string& text)
{
    std::fprintf(stderr, "tessiro: %s\n", text.c_str());
    std::fflush(stderr);
}

std::string ErrorHandler::nowText()
{
    std::string text;
    guarded("date and time", [&] { text = dateTimeText(m_clock.localNow()); });
    return text;
}

std::string ErrorHandler::writeRecord(const std::string& logName, const std::string& record)
{
    std::string reason;
    try {
        // Never through a link: anyone who may write into the program
        // folder could point the log at a file of this user (a script) and
        // have the records' text appended to it. A failed write leaves no
        // half record behind.
        bool madeNow = false;
        if (!Folder::open(m_state.programDir).append(logName, record + CrLf, false, &madeNow))
            return "the log: " + accessError(errno);
        if (madeNow)
            m_folderUnflushed = true; // a log made now: its name is new in the folder
        m_unflushed.insert(logName);
    } catch (const std::exception& e) {
        reason = e.what();
    }
    return reason;
}

bool ErrorHandler::appendRecord(const std::string& logName, const std::string& record, RecordKind kind)
{
    std::string reason;
    if (!keepOffDisk) {
        // After the ones that wait, so that each log keeps its order.
        writePending();
        reason = m_pending.empty() ? writeRecord(logName, record) : "earlier records still wait";
        if (!reason.empty()) {
            if (m_pending.size() == MaxPending) {
                sayOnStderr(m_pending.front().first + ", record lost: " + m_pending.front().second);
                m_pending.pop_front();
            }
            m_pending.emplace_back(logName, record);
            const bool echoed = echoedOnStderr == Echoed::All ||
                                (echoedOnStderr == Echoed::AllButActions && kind != RecordKind::Action);
            sayOnStderr(logName + " not written (" + reason + "), kept to be written when it can be" +
                        (echoed ? ": the record that follows" : ": " + record));
        }
    }
    if (onRecord)
        guarded("record observer", [&] { onRecord(kind, logName, record); });
    return reason.empty();
}

bool ErrorHandler::writePending()
{
    while (!m_pending.empty()) {
        const auto& [logName, record] = m_pending.front();
        if (!writeRecord(logName, record).empty())
            return false;
        m_pending.pop_front();
    }
    if (m_corrPending) {
        if (!ScriviINI(keys::Section, keys::Kelmora_CORR, *m_corrPending, m_state.configFile()))
            return false;
        m_corrPending.reset();
    }
    return true;
}

bool ErrorHandler::flushRecords()
{
    bool flushed = true;
    const Folder program = Folder::open(m_state.programDir);
    for (const std::string& logName : m_unflushed)
        flushed = program.flush(logName) && flushed;
    if (m_folderUnflushed)
        flushed = program.sync() && flushed;
    if (!flushed)
        sayOnStderr(std::string("a log record may not be on disk yet: ") + std::strerror(errno));
    m_unflushed.clear();
    m_folderUnflushed = false;
    return flushed;
}

void ErrorHandler::registraErrore(const std::string& message, bool printerFlag)
{
    ++m_failures;
    const std::string& prefix = printerFlag ? PrinterPrefix : ProgramPrefix;
    const std::string dateTime = nowText();
    m_state.lastErrorText = dateTime + CrLf + message;

    // A copy: the void and the record observer run other code meanwhile.
    const std::optional<Job> job = m_job;
    const Job* filedUnder = job ? &*job : nullptr;
    const bool fiscal = filedUnder && filedUnder->fiscal();
    const std::string reference = referenceOf(filedUnder);

    bool inDoubt = false;
    if (fiscal && failureInDoubt)
        guarded("doubt", [&] { inDoubt = failureInDoubt(); });
    bool corrWritten = true;
    if (fiscal && !keepOffDisk && !inDoubt)
        guarded("Kelmora_CORR",
                [&] { corrWritten = ScriviINI(keys::Section, keys::Kelmora_CORR, reference, m_state.configFile()); });
    // Written again, with the records that wait, once the disk takes it.
    if (fiscal && !keepOffDisk)
        m_corrPending = corrWritten ? std::nullopt : std::optional<std::string>(reference);
    appendRecord(logOf(filedUnder), prefix + reference + ";" + dateTime + ";" + message, RecordKind::Failure);
    // After the failure it belongs to, so that the log reads in that order.
    if (!corrWritten)
        configWriteFailed(keys::Kelmora_CORR, m_state.configFile());

    // Only after the record is in the log, so the failure is on file even if
    // the void itself goes wrong.
    // The void opens the port, and a port that will not open or a printer
    // that refuses reports back here; those reports are filed like any other
    // but must not start another void.
    if (fiscal && message.find(SequenceError) != std::string::npos && onSequenceError && !m_voiding) {
        const QScopedValueRollback<bool> voiding(m_voiding, true);
        const unsigned failuresBefore = m_failures;
        guarded("void of the open receipt", onSequenceError);
        // A void that reported no failure of its own is what the roll shows.
        if (m_failures == failuresBefore)
            guarded("status line", [&] { m_window.documentVoided(SequenceError); });
    }

    m_state.errorState = true;
    guarded("error label", [&] {
        if (printerFlag)
            m_window.setPrinterErrorText("----- PRINTER ERROR -----" + CrLf + m_state.lastErrorText + CrLf + CrLf +
                                         "!!!!  Recupero NON riuscito  !!!!");
        else
            m_window.setProgramErrorText("----- PROGRAM ERROR -----" + CrLf + m_state.lastErrorText);
    });
    guarded("show window", [&] { m_window.showOnTop(); });

    // A failed customer-display message must not hold up the till: it is on
    // file, and the window goes back to the tray at once.
    if (filedUnder && isDisplayName(filedUnder->name)) {
        guarded("clear labels", [&] {
            m_window.setPrinterErrorText("");
            m_window.setProgramErrorText("");
        });
        m_state.errorState = false;
        guarded("hide window", [&] { m_window.hideToTray(); });
    }
}

void ErrorHandler::registraAzione(const std::string& action)
{
    actionRecord(job(), action);
}

void ErrorHandler::actionRecord(const Job* job, const std::string& action)
{
    const std::string reference = !job || job->name.empty() ? std::string("AZIONE") : referenceOf(job);
    appendRecord(logOf(job), reference + ";" + nowText() + ";" + "AZIONE: " + action, RecordKind::Action);
}

void ErrorHandler::printerNote(const PrinterNote& note)
{
    const std::optional<Job> named = note.file.empty() ? m_job : std::optional<Job>(jobNamed(note.file));
    const Job* about = named ? &*named : nullptr;
    actionRecord(about, note.action);
    if (!note.resendIfCorrHolds || !about || !about->fiscal() || keepOffDisk)
        return;
    guarded("Kelmora_CORR", [&] {
        if (LeggiINI(keys::Section, keys::Kelmora_CORR, std::string(), m_state.configFile()) == *note.resendIfCorrHolds)
            storeKey(keys::Kelmora_CORR, referenceOf(about));
    });
}

const std::string& ErrorHandler::currentFileName() const
{
    return m_state.currentFileName();
}

void ErrorHandler::logOnly(const std::string& message)
{
    problemRecord(job(), message);
}

void ErrorHandler::problemRecord(const Job* job, const std::string& message)
{
    appendRecord(logOf(job), ProgramPrefix + referenceOf(job) + ";" + nowText() + ";" + message, RecordKind::Problem);
}

bool ErrorHandler::storeKey(const char* key, const std::string& value)
{
    const bool stored = ScriviINI(keys::Section, key, value, m_state.configFile());
    if (!stored)
        configWriteFailed(key, m_state.configFile());
    return stored;
}

void ErrorHandler::configWriteFailed(const std::string& key, const std::filesystem::path& file)
{
    const std::string path = toCp1252(QString::fromLocal8Bit(file.string()));
    problemRecord(nullptr, ConfigWriteFailed + key + " (" + path + ")");
    sayOnStderr(key + " not written to " + file.string());
}

void ErrorHandler::fileDiscarded(const std::string& message)
{
    logOnly(message);
    guarded("status line", [&] { m_window.fileDiscarded(recordName(currentFileName())); });
    guarded("show window", [&] { m_window.showOnTop(); });
}

void ErrorHandler::documentVoided(const std::string& message, bool failure)
{
    if (failure)
        registraErrore(message);
    else
        logOnly(message);
    guarded("status line", [&] { m_window.documentVoided(message); });
}

void ErrorHandler::printerErrorEvent(int16_t level, int32_t code, const std::string& text)
{
    registraErrore("Livello: " + std::to_string(level) + CrLf + " EpsonError: " + std::to_string(code) + CrLf + text,
                   true);
}

void ErrorHandler::visualizzaForm()
{
    guarded("error label",
            [&] { m_window.setPrinterErrorText("----- ERRORE -----" + CrLf + m_state.lastErrorText + CrLf); });
    guarded("topmost window", [&] { m_window.makeTopmost(); });
}

void ErrorHandler::SvuotaErrori()
{
    guarded("error label", [&] { m_window.setPrinterErrorText(""); });
}
