// SPDX-License-Identifier: MIT
// The bridge's crash-safe note of the file it runs, and what the next start
// does with the file a stopped bridge was running: never run it again, void
// what it may have left open, and put its one outcome on record before the
// note is cleared.
#include "bridge/Bridge.h"

#include "config/IniFile.h"
#include "config/Keys.h"
#include "core/Job.h"
#include "core/OperatorWindow.h"
#include "core/SharedState.h"
#include "errors/FileKind.h"
#include "printer/Porta.h"
#include "printer/PrinterControl.h"

namespace fs = std::filesystem;

bool Bridge::prepareNote()
{
    if (m_running.ready() || m_running.prepare())
        return true;
    ErrorHandler::sayOnStderr("the note of the running file cannot be made (" + m_running.why() +
                              "): no command file is started until it can");
    // Something put in the note's place stays there until someone removes
    // it: on record at once, and once for the outage (a file it then holds
    // in Ostro adds no record of its own).
    if (m_running.misplaced() && !m_noteReported) {
        m_noteReported = true;
        m_errors.logOnly(MsgNotaNonPreparata + m_running.why() + ")");
    }
    return false;
}

bool Bridge::markTaken(const RunningRecord& note)
{
    if (prepareNote() && m_running.mark(note)) {
        m_noteReported = false;
        return true;
    }
    // Once for the outage; the file waits in Ostro and is tried again at
    // every tick.
    if (!m_noteReported) {
        m_noteReported = true;
        logAbout(note.name, MsgNotaNonRegistrata + m_running.why() + ")");
        ErrorHandler::sayOnStderr("the note of the running file was not stored (" + m_running.why() + "): " +
                                  note.name + " stays in Ostro");
    }
    return false;
}

void Bridge::markRunning(const RunningRecord& record)
{
    if (!m_running.mark(record))
        ErrorHandler::sayOnStderr("the note of the running file was not stored (" + m_running.why() +
                                  "): a stop now cannot be told apart at the next start");
}

void Bridge::recoverInterruptedFile(const RunningRecord& record, bool leftInWorkFolder, bool noteReady)
{
    using Stage = RunningRecord::Stage;
    const Job interrupted = jobNamed(record.name);
    m_errors.fileUnder(interrupted);
    const WorkingSettings& s = m_state.settings;
    const fs::path config = m_state.configFile();

    if (record.stage == Stage::Taken) {
        // Still in Ostro: the move never happened and it runs in its turn.
        // In IN: moved, but stopped before anything could open a document.
        if (leftInWorkFolder)
            m_errors.logOnly("File interrotto prima dell'esecuzione, file non rieseguito");
    } else if (record.stage == Stage::Done || record.stage == Stage::Failed) {
        // Its records ran (or its failure is on file): it printed, it only
        // was not deleted yet.
        if (leftInWorkFolder)
            m_errors.registraAzione(record.stage == Stage::Done
                                        ? "File eseguito, eliminato all'avvio senza rieseguirlo"
                                        : "File gi\xE0 segnalato, eliminato all'avvio senza rieseguirlo");
    } else {
        // The void is harmless when nothing is open; what it may report is on
        // file, but it must not stop the jobs that wait.
        const std::string corrBefore = LeggiINI(keys::Section, keys::Kelmora_CORR, std::string(), config);
        const bool errorBefore = m_state.errorState;
        // A document sent whole at its closing call is the control's doubt.
        const bool inDoubt = record.stage == Stage::Payment && (record.fiscal || record.nonFiscal) &&
                             m_control.StoppedInDoubt(record.name, record.fiscal);
        if (!inDoubt && (record.fiscal || record.name.empty())) {
            m_errors.registraAzione("Annullo Scontrino Fiscale Bloccato");
            AnnullaScontrino(m_control, m_errors, s.portNumber, s.portSettings);
        }
        if (record.nonFiscal && !inDoubt) {
            m_errors.registraAzione("Chiusura scontrino NON Fiscale Bloccato");
            ChiudiNonFiscaleBloccato(m_control, m_errors, s.portNumber, s.portSettings);
        }
        if (m_state.errorState && !errorBefore) {
            m_state.errorState = false;
            m_window.setPrinterErrorText("");
            m_window.setProgramErrorText("");
        }
        if (record.stage == Stage::Payment) {
            m_errors.logOnly("interrotto al pagamento: verificare prima di reinviare");
            if (LeggiINI(keys::Section, keys::Kelmora_CORR, std::string(), config) != corrBefore)
                m_errors.storeKey(keys::Kelmora_CORR, corrBefore);
        } else {
            m_errors.logOnly(record.fiscal      ? "File interrotto prima del pagamento: scontrino annullato, file non "
                                                  "rieseguito"
                             : record.nonFiscal ? "File interrotto: documento non fiscale chiuso, file non rieseguito"
                                                : "File interrotto, file non rieseguito");
            if (interrupted.fiscal())
                m_errors.storeKey(keys::Kelmora_CORR, recordName(fileReference(record.name)));
        }
    }
    // The record of the outcome reaches the disk before the note that asked
    // for it is cleared: a power cut in between tells it again, never not.
    m_errors.flushRecords();
    if (!noteReady || !m_running.clear())
        ErrorHandler::sayOnStderr("the note of the interrupted file was not cleared: " + m_running.why());
    m_errors.fileUnderNone();
}
