// SPDX-License-Identifier: MIT
#include "errors/Recovery.h"

#include "config/IniFile.h"
#include "config/Keys.h"
#include "config/Text.h"
#include "errors/Clock.h"
#include "errors/ErrorHandler.h"
#include "errors/OperatorWindow.h"
#include "errors/SharedState.h"
#include "printer/Porta.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// What every recovery command does first: the printer error leaves the
// window and the bridge takes command files again.
void liftError(ErrorHandler& errors)
{
    errors.SvuotaErrori();
    errors.state().errorState = false;
}

// Tells the back-office that the printer is idle again after a blocked
// receipt was closed or voided by hand.
void writeIdle(ErrorHandler& errors)
{
    const SharedState& state = errors.state();
    if (!ScriviINI(keys::Section, keys::Eps_Vuoto, "-1", state.configFile()))
        ErrorHandler::sayOnStderr(std::string(keys::Eps_Vuoto) + " not written to " + state.configFile().string());
}

template <typename Operation>
void onPrinter(ErrorHandler& errors, Operation&& operation)
{
    SharedState& state = errors.state();
    if (!state.control) {
        ErrorHandler::sayOnStderr("no printer control: recovery step skipped");
        return;
    }
    operation(*state.control, state.settings.portNumber, state.settings.portSettings);
}

void closeNonFiscal(ErrorHandler& errors)
{
    onPrinter(errors, [&](PrinterControl& control, std::optional<int16_t> port, const std::string& settings) {
        ChiudiNonFiscaleBloccato(control, errors, port, settings);
    });
}

void voidReceipt(ErrorHandler& errors)
{
    onPrinter(errors, [&](PrinterControl& control, std::optional<int16_t> port, const std::string& settings) {
        AnnullaScontrino(control, errors, port, settings);
    });
}

void paperEndRecovery(ErrorHandler& errors)
{
    onPrinter(errors, [&](PrinterControl& control, std::optional<int16_t> port, const std::string& settings) {
        RecuperoFineCarta(control, errors, port, settings, 1);
    });
}

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

// Moves a log into the bin under the renewal stamp. The stamp has no hour,
// so a renewal at the same minute and second of another hour of the day
// meets the earlier file: that one is kept and this one gets a counter.
void moveToBin(ErrorHandler& errors, const std::string& logName, const fs::path& bin)
{
    std::error_code ec;
    const fs::path log = errors.state().programDir / logName;
    if (!fs::exists(log, ec))
        return;
    const std::string stamp = renewalStamp(errors.clock().localNow());
    constexpr int MaxTries = 1000;
    for (int n = 1; n <= MaxTries; ++n) {
        const fs::path target = bin / (stamp + (n == 1 ? std::string() : "_" + std::to_string(n)) + logName);
        if (fs::exists(target, ec) || ec)
            continue;
        fs::rename(log, target, ec);
        if (ec)
            ErrorHandler::sayOnStderr(logName + " not moved to " + target.string() + ": " + ec.message());
        return;
    }
    ErrorHandler::sayOnStderr(logName + " not moved: no free name in " + bin.string());
}

} // namespace

void cmdChiudiNF(ErrorHandler& errors)
{
    liftError(errors);
    closeNonFiscal(errors);
    writeIdle(errors);
    errors.registraAzione("Chiusura scontrino NON Fiscale Bloccato");
}

void cmdChiudiScontrino(ErrorHandler& errors)
{
    liftError(errors);
    voidReceipt(errors);
    writeIdle(errors);
    errors.registraAzione("Annullo Scontrino Fiscale Bloccato");
}

void cmdEliminaCor(ErrorHandler& errors)
{
    liftError(errors);
    const SharedState& state = errors.state();
    const fs::path exchange = dataFile(state, keys::ExchangeFile);
    const std::string corr = LeggiINI(keys::Section, keys::Kelmora_CORR, "", state.configFile());
    const bool sent = ScriviINI(keys::Section, keys::killCorr, "-1", exchange) &&
                      ScriviINI(keys::Section, keys::killCorrID, corr, exchange);
    // The back-office would never learn of the request: the operator must.
    if (!sent)
        errors.registraErrore("Eliminazione Corr non inviata: scrittura non riuscita in " +
                              dataText(state, keys::ExchangeFile));
    errors.registraAzione("Invio comando Eliminazione Corr " + corr);
}

void cmdFineCarta(ErrorHandler& errors)
{
    liftError(errors);
    paperEndRecovery(errors);
    voidReceipt(errors);
    errors.registraAzione("Recupero da Fine Carta su Scontrino Fiscale");
}

void cmdFineCartaNoFisc(ErrorHandler& errors)
{
    liftError(errors);
    paperEndRecovery(errors);
    closeNonFiscal(errors);
    errors.registraAzione("Recupero da Fine Carta su Non Fiscale");
}

void cmdRistampa(ErrorHandler& errors)
{
    liftError(errors);
    const SharedState& state = errors.state();
    const fs::path source = dataFile(state, "_Cassa\\Old.txt");
    std::error_code ec;
    // No copy of the last receipt: nothing to reprint.
    if (fs::exists(source, ec)) {
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
            errors.registraErrore("Ristampa non riuscita: copia di " + dataText(state, "_Cassa\\Old.txt") + " (" +
                                  ec.message() + ")");
        }
    }
    errors.registraAzione("Ristampa Ultimo Scontrino Fiscale");
}

bool RicreaLog(ErrorHandler& errors, bool ask)
{
    if (ask) {
        bool confirmed = false;
        try {
            confirmed = errors.window().askOkCancel("File LOG", "Si vogliono ricreare nuovi file di Log ?");
        } catch (...) {
        }
        if (!confirmed)
            return false;
    }
    const fs::path bin = errors.state().programDir / "Cestino";
    std::error_code ec;
    fs::create_directories(bin, ec);
    moveToBin(errors, ErrorHandler::FiscalLog, bin);
    moveToBin(errors, ErrorHandler::NotFiscalLog, bin);
    return true;
}
