// SPDX-License-Identifier: MIT
#include "printer/Porta.h"

#include "core/OutsideText.h"
#include "errors/ErrorHandler.h"
#include "printer/PrinterControl.h"

#include <exception>

namespace {

// The description of the failure being handled: a control's own text, or
// the exception's message for anything else that escaped it.
std::string currentFailure()
{
    try {
        throw;
    } catch (const ControlFailure& failure) {
        return printerText(failure.description());
    } catch (const std::exception& e) {
        return printerText(e.what());
    } catch (...) {
        return {};
    }
}

} // namespace

std::string printerText(const std::string& text)
{
    return cleanOutsideText(text, 2 * OutsideTextMax);
}

bool ApriPorta(PrinterControl& control, ErrorHandler& errors, std::optional<int16_t> portNumber,
               const std::string& portSettings)
{
    try {
        control.setOpenOptionA(2);
        if (!portNumber) {
            errors.registraErrore("APERTURA PORTA NON RIUSCITA. Controllare parametri di configurazione.", false);
            return false;
        }
        if (control.PortIsOpen())
            control.ClosePort();
        control.setOpenOptionB(0);
        control.setComPort(*portNumber);
        control.setComSettings(portSettings);
        control.OpenPort();
        return true;
    } catch (...) {
        errors.registraErrore("Apertura Porta: " + currentFailure(), false);
        return false;
    }
}

void ChiudiPorta(PrinterControl& control, ErrorHandler& errors)
{
    try {
        if (control.PortIsOpen())
            control.ClosePort();
    } catch (...) {
        errors.registraErrore("Chiusura Porta: " + currentFailure(), false);
    }
}

DocumentVoid AnnullaDocumentoAperto(PrinterControl& control, ErrorHandler& errors)
{
    DocumentVoid result;
    try {
        result.found = control.DocumentOpen();
    } catch (...) {
        result.found = OpenDocument::Unknown;
    }
    if (result.found == OpenDocument::None || result.found == OpenDocument::Unknown)
        return result;
    const bool nonFiscal = result.found == OpenDocument::NonFiscal;
    const std::string label = nonFiscal ? "ChiudiNonFiscaleBloccato: " : "AnnullaScontrino: ";
    try {
        const int16_t code = nonFiscal ? control.CloseNonFiscal(1) : control.CancelReceipt(1);
        if (code != 0) {
            errors.registraErrore(label + std::to_string(code), false);
            result.done = false;
        }
    } catch (...) {
        errors.registraErrore(label + currentFailure(), false);
        result.done = false;
    }
    return result;
}

namespace {

// Opens the port, makes the one call, closes the port, and only then reports
// a failure raised by the call, so the error handler (which may itself open
// the port to void a receipt) never finds the port held here.
template <typename Call>
void aroundOpenPort(PrinterControl& control, ErrorHandler& errors, std::optional<int16_t> portNumber,
                    const std::string& portSettings, const std::string& failureLabel, Call&& call)
{
    // A port that will not open is reported by ApriPorta; the call is still
    // made, and whatever the control answers to it is handled as usual.
    (void)ApriPorta(control, errors, portNumber, portSettings);
    std::string failure;
    bool failed = false;
    try {
        call();
    } catch (...) {
        failed = true;
        failure = currentFailure();
    }
    ChiudiPorta(control, errors);
    if (failed)
        errors.registraErrore(failureLabel + failure, false);
}

} // namespace

void AnnullaScontrino(PrinterControl& control, ErrorHandler& errors, std::optional<int16_t> portNumber,
                      const std::string& portSettings)
{
    aroundOpenPort(control, errors, portNumber, portSettings, "AnnullaScontrino: ", [&] { control.CancelReceipt(1); });
}

void ChiudiNonFiscaleBloccato(PrinterControl& control, ErrorHandler& errors, std::optional<int16_t> portNumber,
                              const std::string& portSettings)
{
    aroundOpenPort(control, errors, portNumber, portSettings,
                   "ChiudiNonFiscaleBloccato: ", [&] { control.CloseNonFiscal(1); });
}

bool RecuperoFineCarta(PrinterControl& control, ErrorHandler& errors, std::optional<int16_t> portNumber,
                       const std::string& portSettings, int16_t value)
{
    int16_t code = -1;
    bool raised = false;
    aroundOpenPort(control, errors, portNumber, portSettings, "opApri PROBLEMI ", [&] {
        raised = true;
        code = control.PaperEndRecovery(value);
        raised = false;
    });
    if (raised)
        return false;
    if (code != 0) {
        errors.registraErrore("opApri PROBLEMI ", false);
        return false;
    }
    return true;
}
