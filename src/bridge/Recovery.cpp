// SPDX-License-Identifier: MIT
#include "bridge/Recovery.h"

#include "bridge/Bridge.h"

#include "config/IniFile.h"
#include "config/Keys.h"
#include "config/Text.h"
#include "core/Clock.h"
#include "core/FileAccess.h"
#include "core/OperatorWindow.h"
#include "core/OutsideText.h"
#include "core/SharedState.h"
#include "errors/ErrorHandler.h"
#include "printer/Porta.h"

#include <cerrno>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// The stored data directory is joined to the file name with no separator of
// its own, as the back-office stores it with its final one.
std::string dataText(const SharedState& state, const std::string& name)
{
    return state.settings.dataDir + name;
}

fs::path dataFile(const SharedState& state, const std::string& name)
{
    return storedPath(dataText(state, name), state.programDir);
}

// The data directory comes from the shared INI: a record or the window
// quotes it made safe, whole.
std::string quotedData(const SharedState& state, const std::string& name)
{
    const std::string text = dataText(state, name);
    return cleanOutsideText(text, text.size());
}

// Why a file of the data directory could not be written, when what stands
// at its name says so (a link of another user's, a folder); else nothing.
std::string whyNotWritten(const fs::path& file)
{
    const Folder folder = Folder::open(file.parent_path());
    const std::string name = file.filename().string();
    const int why = folder.notAFile(name);
    if (why == EISDIR || (why == ELOOP && folder.linkAt(name) == LinkAt::Untrusted))
        return " (" + reasonOf(why) + ")";
    return {};
}

} // namespace

Recovery::Recovery(SharedState& state, ErrorHandler& errors, PrinterControl& control, OperatorWindow& window,
                   Clock& clock)
    : m_state(state), m_errors(errors), m_control(control), m_window(window), m_clock(clock)
{}

// What every recovery command does first: the printer error leaves the
// window and the bridge takes command files again.
void Recovery::liftError()
{
    m_errors.SvuotaErrori();
    m_state.errorState = false;
}

// Tells the back-office that the printer is idle again after a blocked
// receipt was closed or voided by hand.
void Recovery::writeIdle()
{
    m_errors.storeKey(keys::Eps_Vuoto, "-1");
}

void Recovery::closeNonFiscal()
{
    ChiudiNonFiscaleBloccato(m_control, m_errors, m_state.settings.portNumber, m_state.settings.portSettings);
}

void Recovery::voidReceipt()
{
    AnnullaScontrino(m_control, m_errors, m_state.settings.portNumber, m_state.settings.portSettings);
}

// A failed recovery is reported by RecuperoFineCarta itself; the command goes
// on to void or close the document all the same.
void Recovery::paperEndRecovery()
{
    (void)RecuperoFineCarta(m_control, m_errors, m_state.settings.portNumber, m_state.settings.portSettings, 1);
}

// Moves a log into the bin under the renewal stamp. The stamp has no hour,
// so a renewal at the same minute and second of another hour of the day
// meets the earlier file: that one is kept and this one gets a counter.
void Recovery::moveToBin(const Folder& program, const std::string& logName, const Folder& bin)
{
    // A link in the log's place is moved as a link, never followed.
    if (!program.statAt(logName))
        return;
    const std::string stamp = renewalStamp(m_clock.localNow());
    constexpr int MaxTries = 1000;
    for (int n = 1; n <= MaxTries; ++n) {
        std::string name = stamp;
        if (n > 1)
            name += '_' + std::to_string(n);
        name += logName;
        if (bin.statAt(name) || errno != ENOENT)
            continue;
        if (!program.rename(logName, bin, name))
            ErrorHandler::sayOnStderr(logName + " not moved to " + (bin.path() / name).string() + ": " +
                                      accessError(errno));
        return;
    }
    ErrorHandler::sayOnStderr(logName + " not moved: no free name in " + bin.path().string());
}

// What every recovery command does last: when none of its steps raised the
// error again, the window hears that it is lifted, and `done` (the action
// text) when the command voided or closed a document.
void Recovery::tellWindow(const char* done)
{
    if (m_state.errorState)
        return;
    if (done)
        m_window.documentVoided(done);
    m_window.errorCleared();
}

void Recovery::cmdChiudiNF()
{
    static constexpr char action[] = "Chiusura scontrino NON Fiscale Bloccato";
    liftError();
    closeNonFiscal();
    writeIdle();
    m_errors.registraAzione(action);
    tellWindow(action);
}

void Recovery::cmdChiudiScontrino()
{
    static constexpr char action[] = "Annullo Scontrino Fiscale Bloccato";
    liftError();
    voidReceipt();
    writeIdle();
    m_errors.registraAzione(action);
    tellWindow(action);
}

void Recovery::cmdEliminaCor()
{
    liftError();
    const SharedState& state = m_state;
    const fs::path exchange = dataFile(state, keys::ExchangeFile);
    const std::string corr = LeggiINI(keys::Section, keys::Kelmora_CORR, "", state.configFile());
    const bool sent = ScriviINI(keys::Section, keys::killCorr, "-1", exchange) &&
                      ScriviINI(keys::Section, keys::killCorrID, corr, exchange);
    // The back-office would never learn of the request: the operator must.
    if (!sent)
        m_errors.registraErrore("Eliminazione Corr non inviata: scrittura non riuscita in " +
                                quotedData(state, keys::ExchangeFile) + whyNotWritten(exchange));
    m_errors.registraAzione("Invio comando Eliminazione Corr " + cleanOutsideText(corr));
    tellWindow(nullptr);
}

void Recovery::cmdFineCarta()
{
    static constexpr char action[] = "Recupero da Fine Carta su Scontrino Fiscale";
    liftError();
    paperEndRecovery();
    voidReceipt();
    m_errors.registraAzione(action);
    tellWindow(action);
}

void Recovery::cmdFineCartaNoFisc()
{
    static constexpr char action[] = "Recupero da Fine Carta su Non Fiscale";
    liftError();
    paperEndRecovery();
    closeNonFiscal();
    m_errors.registraAzione(action);
    tellWindow(action);
}

void Recovery::cmdRistampa()
{
    liftError();
    reprint();
    m_errors.registraAzione("Ristampa Ultimo Scontrino Fiscale");
    tellWindow(nullptr);
}

// The copy of the last receipt, from the back-office's data directory into
// Ostro. The data directory is shared like the program folder: a link in
// the place of its _Cassa or of Old.txt is followed only when it is
// trusted (the installer's), as for Ostro.
void Recovery::reprint()
{
    const SharedState& state = m_state;
    const fs::path source = dataFile(state, "_Cassa\\Old.txt");
    const std::string quoted = quotedData(state, "_Cassa\\Old.txt");
    const Folder cassa = Folder::open(source.parent_path().parent_path())
                             .folder(source.parent_path().filename().string(), Links::FollowTrusted);
    const std::optional<std::string> receipt =
        cassa.read(source.filename().string(), std::size_t(64) << 20, Links::FollowTrusted);
    const int readError = errno;
    // No copy of the last receipt: nothing to reprint, and the operator is
    // told so, rather than wait for a receipt that never comes.
    if (!receipt && (readError == ENOENT || readError == ENOTDIR)) {
        m_errors.logOnly("Ristampa non riuscita: manca " + quoted);
        try {
            m_window.inform(ProgramTitle, "Ristampa non eseguita: manca la copia dell'ultimo scontrino\r\n" + quoted);
        } catch (...) {
        }
        return;
    }
    if (!receipt) {
        m_errors.registraErrore("Ristampa non riuscita: copia di " + quoted + " (" +
                                reasonOf(readError) + ")");
        return;
    }
    const Folder drop = Folder::open(state.programDir)
                            .folder(files::DropFolder, Links::FollowTrusted, Folder::Make::IfMissing);
    if (drop.error() == ELOOP) {
        m_errors.registraErrore(std::string(MsgCartellaCollegamento) + "Ostro: ristampa non eseguita");
        return;
    }
    // Written whole under a new dot-name the polling cycle never takes, then
    // renamed in one step: a half-copied receipt can never be printed.
    if (!drop.replace("Old.txt", *receipt))
        m_errors.registraErrore("Ristampa non riuscita: copia di " + quoted + " (" + reasonOf(errno) + ")");
}

bool Recovery::RicreaLog(bool ask)
{
    if (ask) {
        bool confirmed = false;
        try {
            confirmed = m_window.askOkCancel("File LOG", "Si vogliono ricreare nuovi file di Log ?");
        } catch (...) {
        }
        if (!confirmed)
            return false;
    }
    const Folder program = Folder::open(m_state.programDir);
    const Folder bin = program.folder("Cestino", Links::Refuse, Folder::Make::IfMissing);
    // Whatever a link there leads to is not the bridge's to fill.
    if (bin.error() == ELOOP) {
        m_errors.logOnly(std::string(MsgCartellaCollegamento) + "Cestino: log non rinnovati");
        return true;
    }
    moveToBin(program, ErrorHandler::FiscalLog, bin);
    moveToBin(program, ErrorHandler::NotFiscalLog, bin);
    return true;
}
