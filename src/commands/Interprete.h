// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

struct Job;
struct SharedState;
struct TextReading;
class PrinterControl;
class ErrorHandler;
class Clock;

// How long the interpreter waits for a busy printer before it gives up on
// the file and reports it.
inline constexpr std::chrono::seconds BusyWaitBound{60};
// The shortest pause between looks at a busy printer, whatever Eps_Delay says
// (0 or less would otherwise spin).
inline constexpr std::chrono::milliseconds MinimumBusyPause{10};

// The interpreter's own reports; the record (its first 256 bytes) follows.
inline constexpr char MsgCampoNonValido[] = "Campo numerico non valido nel record: ";
// An amount or quantity counted in hundredths (thousandths) that holds a
// fraction of them: "2.50" for 2,50 EUR would print 0,03.
inline constexpr char MsgImportoNonValido[] = "Importo non valido nel record: ";
inline constexpr char MsgStampanteOccupata[] = "Stampante occupata da oltre un minuto, file interrotto al record: ";
inline constexpr char MsgRecordTroppoLungo[] = "Record oltre 65536 caratteri, file interrotto: ";
// The file's path follows.
inline constexpr char MsgFileIlleggibile[] = "Impossibile aprire il file comandi: ";
// Logged, without raising the error, for a file dropped while an error stands.
inline constexpr char MsgFileNonEseguito[] = "File non eseguito: errore in sospeso";
// Logged, without raising the error, for a file that asked nothing of the
// printer: so the back-office never loses a job without a word.
inline constexpr char MsgFileVuoto[] = "File comandi vuoto: nessun record eseguito";
// The record (its first 256 bytes) follows.
inline constexpr char MsgPrimoCodiceSconosciuto[] = "Codice sconosciuto nel primo record, file non eseguito: ";

// The records of the automatic voids. A file that leaves open the document
// its records opened has it voided (a non-fiscal one closed) before the port
// closes, reported as a failure; when its last payment sent nothing, the
// record says which type (MsgPagamentoNonInviato, the type, then
// MsgNonInviatoAllaStampante follow).
inline constexpr char MsgDocumentoNonChiuso[] = "Documento non chiuso dal file: annullato";
inline constexpr char MsgPagamentoNonInviato[] = ": pagamento tipo ";
inline constexpr char MsgNonInviatoAllaStampante[] = " non inviato alla stampante";
// The void failed: the document stays open, the error state stands.
inline constexpr char MsgDocumentoNonAnnullato[] = "Documento non chiuso dal file: annullo non riuscito";
// A document found open when a file starts, not opened by it, is voided
// before its first record; on record, without raising the error state.
inline constexpr char MsgDocumentoAnnullatoPrima[] = "documento aperto nella stampante annullato prima del file";

// What a record does to the printer's documents, by its code: opens a fiscal
// receipt (F2, F3, F8) or a non-fiscal one (N1), closes one (F4, N3), closes
// the day (Z1), or none of these.
enum class RecordEffect { None, OpensReceipt, OpensNonFiscal, Closes, ClosesDay };
RecordEffect recordEffect(std::string_view code);
inline bool opensDocument(RecordEffect effect)
{
    return effect == RecordEffect::OpensReceipt || effect == RecordEffect::OpensNonFiscal;
}

// What the caller of the interpreter is told while a file runs, so it can
// keep a crash-safe record of where the file stands. Any member may be empty.
struct RunObserver {
    // Before the port is opened for the file.
    std::function<void()> beforeStart;
    // Just before the operation of a known record code is called.
    std::function<void(const std::string& code)> beforeRecord;
    // After the last record that was going to run (the file's end, or the
    // record that failed), before the port is closed. `completed` is false
    // when a record failed.
    std::function<void(bool completed)> afterLastRecord;
};

// Which documents the records of a command file would open, read from `in`
// to its end (a record too long to read ends the reading).
struct DocumentsOpened {
    bool receipt = false;
    bool nonFiscal = false;
};
DocumentsOpened documentsOpened(std::istream& in);

// Follows the interpreter record by record, for a reader that shows what a
// file does (`tessiro check`). `started` comes before the record runs, with
// the routine its code names and a few words on it (both empty for a code
// the interpreter does not know); `ended` after it, with whether the file
// goes on to the next record. A record too long to read is announced with
// its first bytes. `textRead` comes first, with how the file's bytes were
// taken; `hint`, between `started` and `ended`, with what may be wrong with
// the record beyond what the logs say (which field failed and why; a comma
// or a colon that cut a text; a code in lower case).
struct RecordWatch {
    std::function<void(const TextReading& reading)> textRead;
    std::function<void(const std::string& record, std::string_view routine, std::string_view what)> started;
    std::function<void(const std::string& hint)> hint;
    std::function<void(bool goesOn)> ended;
};

// Runs one command file, `job`, record by record against the printer, inside
// one opening of the port; stops at the first record that fails. The error
// handler files every record of the run under the job, and the job's outcome
// is settled as the run goes: discarded, not run (it asked nothing of the
// printer), failed (a failure was reported) or run. A document
// open in the printer when the port opens is voided first (or, when that
// fails, no record runs); one the file's records opened and left open after
// its last record is voided before the port closes. With the error
// state raised, no record runs, the port is not opened and the file's discard
// is recorded in its log. A record fails, besides a failed operation, when a
// numeric field its operation uses does not convert (an amount counted in
// hundredths must be a whole number of them), when it is longer than
// RecordReader::MaxRecord, or when the printer stays busy BusyWaitBound.
// The shared state gives the working settings (port, busy pause, unpaid
// tender), the error state and the configuration file (PAY_L is read at each
// payment); the busy wait sleeps on `clock`.
void EseguiFileComandi(PrinterControl& control, ErrorHandler& errors, const SharedState& state, Clock& clock, Job& job,
                       const std::filesystem::path& file, const RecordWatch* watch = nullptr);

// The same, reading the command file from a stream the caller opened (the
// bridge runs the very file it listed and checked, through its descriptor).
void EseguiFileComandi(PrinterControl& control, ErrorHandler& errors, const SharedState& state, Clock& clock, Job& job,
                       std::istream& in, const RunObserver& observer = {}, const RecordWatch* watch = nullptr);
