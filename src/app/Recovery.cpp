// SPDX-License-Identifier: MIT
#include "app/Recovery.h"

#include "config/IniFile.h"
#include "config/Keys.h"
#include "config/Text.h"
#include "core/Clock.h"
#include "core/OperatorWindow.h"
#include "core/OutsideText.h"
#include "core/SharedState.h"
#include "errors/ErrorHandler.h"
#include "printer/Porta.h"

#include <filesystem>
#include <system_error>

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
void Recovery::moveToBin(const std::string& logName, const fs::path& bin)
{
    std::error_code ec;
    const fs::path log = m_state.programDir / logName;
    if (!fs::exists(log, ec))
        return;
    const std::string stamp = renewalStamp(m_clock.localNow());
    constexpr int MaxTries = 1000;
    for (int n = 1; n <= MaxTries; ++n) {
        std::string name = stamp;
        if (n > 1)
            name += '_' + std::to_string(n);
        const fs::path target = bin / (name + logName);
        if (fs::exists(target, ec) || ec)
            continue;
        fs::rename(log, target, ec);
        if (ec)
            ErrorHandler::sayOnStderr(logName + " not moved to " + target.string() + ": " + ec.message());
        return;
    }
    ErrorHandler::sayOnStderr(logName + " not moved: no free name in " + bin.string());
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
                                quotedData(state, keys::ExchangeFile));
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
    const SharedState& state = m_state;
    const fs::path source = dataFile(state, "_Cassa\\Old.txt");
    std::error_code ec;
    // No copy of the last receipt: nothing to reprint, and the operator is
    // told so, rather than wait for a receipt that never comes.
    if (!fs::exists(source, ec)) {
        const std::string missing = quotedData(state, "_Cassa\\Old.txt");
        m_errors.logOnly("Ristampa non riuscita: manca " + missing);
        try {
            m_window.inform(ProgramTitle, "Ristampa non eseguita: manca la copia dell'ultimo scontrino\r\n" + missing);
        } catch (...) {
        }
    } else {
        // Copied under a name the polling cycle never takes, then renamed in
        // one step, so a half-copied receipt can never be printed.
        const fs::path temporary = state.dropDir() / ReprintTemporaryName;
        const fs::path target = state.dropDir() / "Old.txt";
        fs::create_directories(state.dropDir(), ec);
        fs::copy_file(source, temporary, fs::copy_options::overwrite_existing, ec);
        if (!ec)
            fs::rename(temporary, target, ec);
        if (ec) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            m_errors.registraErrore("Ristampa non riuscita: copia di " + quotedData(state, "_Cassa\\Old.txt") + " (" +
                                    ec.message() + ")");
        }
    }
    m_errors.registraAzione("Ristampa Ultimo Scontrino Fiscale");
    tellWindow(nullptr);
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
    const fs::path bin = m_state.programDir / "Cestino";
    std::error_code ec;
    fs::create_directories(bin, ec);
    moveToBin(ErrorHandler::FiscalLog, bin);
    moveToBin(ErrorHandler::NotFiscalLog, bin);
    return true;
}
