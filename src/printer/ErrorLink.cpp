// SPDX-License-Identifier: MIT
#include "printer/ErrorLink.h"

#include "core/WorkingSettings.h"
#include "errors/ErrorHandler.h"
#include "printer/Porta.h"
#include "printer/PrinterControl.h"

#include <exception>

ErrorLink::ErrorLink(PrinterControl& control, ErrorHandler& errors, const WorkingSettings& settings)
    : m_control(control), m_errors(errors)
{
    control.onErrorEvent = [&control, &errors](int16_t level, int32_t code) {
        std::string text;
        try {
            text = control.ErrorText(level, code);
        } catch (const std::exception& e) {
            // The event is still filed; the control's own complaint stands in
            // for the text it could not give.
            text = e.what();
        } catch (...) {
        }
        errors.printerErrorEvent(level, code, printerText(text));
    };
    control.onNote = [&errors](const PrinterNote& note) { errors.printerNote(note); };
    control.currentFile = [&errors] { return errors.currentFileName(); };
    errors.failureInDoubt = [&control] { return control.FailureInDoubt(); };
    errors.onSequenceError = [&control, &errors, &settings] {
        AnnullaScontrino(control, errors, settings.portNumber, settings.portSettings);
    };
}

ErrorLink::~ErrorLink()
{
    m_control.onErrorEvent = nullptr;
    m_control.onNote = nullptr;
    m_control.currentFile = nullptr;
    m_errors.onSequenceError = nullptr;
    m_errors.failureInDoubt = nullptr;
}
