// SPDX-License-Identifier: MIT
#pragma once

struct WorkingSettings;
class PrinterControl;
class ErrorHandler;

// Joins a printer control and the error handler for as long as it lives:
// the control's error events are filed by the handler with the control's
// text for them, its notes as action records, a failure it leaves in doubt
// keeps Kelmora_CORR as it was, and a sequence error on a fiscal file voids the receipt
// left open on this control, through the port the settings name. Undone on
// destruction, so neither side calls into the other once one is gone.
class ErrorLink {
public:
    ErrorLink(PrinterControl& control, ErrorHandler& errors, const WorkingSettings& settings);
    ~ErrorLink();
    ErrorLink(const ErrorLink&) = delete;
    ErrorLink& operator=(const ErrorLink&) = delete;

private:
    PrinterControl& m_control;
    ErrorHandler& m_errors;
};
