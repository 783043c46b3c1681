// SPDX-License-Identifier: MIT
#pragma once

#include "core/Job.h"
#include "core/ProgramFiles.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <set>
#include <filesystem>
#include <functional>
#include <string>

struct SharedState;
struct PrinterNote;
class OperatorWindow;
class Clock;

// The one road of every failure: the log record, Kelmora_CORR for a fiscal
// file, the error state and the window. Also files the action records and
// the printer's error events. What a sequence error does to the printer is
// not its business: the bridge hands it in as onSequenceError.
class ErrorHandler {
public:
    // The two logs, in the program directory.
    static constexpr const auto& FiscalLog = files::FiscalLog;
    static constexpr const auto& NotFiscalLog = files::NotFiscalLog;

    ErrorHandler(SharedState& state, OperatorWindow& window, Clock& clock);

    // The command file the records that follow are filed under: a fiscal
    // job's go to FiscalError.log under its reference (and its failures to
    // Kelmora_CORR), any other's to NotFiscalError.log; with none, records
    // go to NotFiscalError.log under no file. The job is kept (a copy of
    // it) until another or none is given, and the shared state's current
    // file name mirrors it.
    void fileUnder(const Job& job);
    void fileUnderNone();
    const Job* job() const { return m_job ? &*m_job : nullptr; }

    void registraErrore(const std::string& message, bool printerFlag = false);
    void registraAzione(const std::string& action);
    // A failure record (failure layout, "Tessiro_Error: " prefix) in the log
    // of the current job, and nothing else: no flag, no window, no
    // Kelmora_CORR. For a file discarded unexecuted while an error stands.
    void logOnly(const std::string& message);

    // A command file discarded unexecuted because an error stands: its
    // record (as logOnly), its name to the window's status line, and the
    // window back in front of the operator, as
    // on a new error, so a standing error is never out of sight while
    // receipts are being thrown away.
    void fileDiscarded(const std::string& message);

    // A document the bridge voided (or closed) on its own: the record, as a
    // failure through registraErrore when `failure`, else as logOnly, and
    // the reason on the window's status line.
    void documentVoided(const std::string& message, bool failure);

    // Writes KEY=VALUE in section Varie of the configuration; a write that
    // does not reach the file is filed by configWriteFailed. True when stored.
    bool storeKey(const char* key, const std::string& value);
    // The one report of a configuration write that did not reach the disk
    // (a full disk, a quota, a file made read-only): a problem record in
    // NotFiscalError.log, filed under no command file since it is none's
    // fault, and one line on stderr. The error state stays as it is: a full
    // disk must not stop the receipts that still print.
    void configWriteFailed(const std::string& key, const std::filesystem::path& file);

    // The printer control's error event (level, code), with the control's
    // own text for it.
    void printerErrorEvent(int16_t level, int32_t code, const std::string& text);
    // MsgErrori := "----- ERRORE -----" + last error text; window topmost.
    void visualizzaForm();
    // "Svuota errori a video": empties MsgErrori only.
    void SvuotaErrori();

    // A note of the printer control: an action record under the reference
    // of its file (the current job when it names none), and Kelmora_CORR
    // naming that file when the note says it may be sent again and the key
    // still holds what the note expects.
    void printerNote(const PrinterNote& note);
    // The current job's name, "" for none.
    const std::string& currentFileName() const;
    // How many failures were reported so far (registraErrore).
    unsigned failures() const { return m_failures; }

    // True when the failure being reported leaves it unknown whether the
    // receipt printed: Kelmora_CORR is then left as it was, since ELIMINA
    // or a resend of that file could delete or double a receipt that
    // printed. Set where the bridge is wired; may be empty.
    std::function<bool()> failureInDoubt;

    // What a "SEQUENZA ERRATA" failure of a fiscal file does once it is on
    // record: void the receipt left open. A void that reports no failure is
    // told to the window (documentVoided) before the error is shown. Set where the bridge is wired; a
    // failure reported while it runs starts no second one. May be empty.
    std::function<void()> onSequenceError;

    // Every record appended to a log, with its log file name, for operations
    // logging (stderr in headless mode). May be empty.
    enum class RecordKind { Failure, Action, Problem };
    std::function<void(RecordKind kind, const std::string& logName, const std::string& record)> onRecord;
    // Which records an observer already puts on standard error, so that one
    // a log could not take is said there once, not twice.
    enum class Echoed { None, AllButActions, All };
    Echoed echoedOnStderr = Echoed::None;

    // True for a run that must leave no trace on disk (`tessiro check`):
    // records reach onRecord only, and Kelmora_CORR is not written.
    bool keepOffDisk = false;

    // Appends one CR LF terminated line to a log: open, append, close. A
    // record the disk refuses is said on stderr and kept in memory (at most
    // MaxPending, the oldest given up first), to be written, with its own
    // date, before any later record; the bridge goes on.
    bool appendRecord(const std::string& logName, const std::string& record, RecordKind kind);
    static constexpr std::size_t MaxPending = 1000;
    // Writes the records (and the Kelmora_CORR) the disk refused, in their
    // order; true when none waits any more.
    bool writePending();
    std::size_t pendingRecords() const { return m_pending.size(); }
    // Puts the records appended since the last call on the disk (fdatasync,
    // and the folder for a log made meanwhile); false when that failed.
    bool flushRecords();

    // A line on stderr for what the bridge cannot put anywhere else (a log
    // that cannot be written, a note it cannot keep).
    static void sayOnStderr(const std::string& text);

private:
    std::string nowText();
    // An action record under the reference of `job` (none when null).
    void actionRecord(const Job* job, const std::string& action);
    // The layout of logOnly, for `job` (none when null).
    void problemRecord(const Job* job, const std::string& message);

    SharedState& m_state;
    OperatorWindow& m_window;
    Clock& m_clock;
    std::optional<Job> m_job;
    // True while the sequence-error void runs: a failure reported from inside
    // it is logged and shown but starts no second void.
    bool m_voiding = false;
    // Failures reported so far: tells whether the void reported one.
    unsigned m_failures = 0;

    std::string writeRecord(const std::string& logName, const std::string& record);
    std::deque<std::pair<std::string, std::string>> m_pending;
    std::optional<std::string> m_corrPending;
    std::set<std::string> m_unflushed;
    bool m_folderUnflushed = false;
};
