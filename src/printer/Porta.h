// SPDX-License-Identifier: MIT
#pragma once

#include "printer/PrinterControl.h"

#include <cstdint>
#include <optional>
#include <string>

class ErrorHandler;

// A text of the printer control (its description of a failure, the text of
// an error event) as a record may quote it: it comes from outside, so its
// control characters become "?" and it is cut to a bound.
std::string printerText(const std::string& text);

// Opens the printer port: OpenOptionA, the numeric check of the port number
// (empty = the stored text is no number), closing a port left open, the
// three puts and OpenPort. A control failure is reported and gives false.
[[nodiscard]] bool ApriPorta(PrinterControl& control, ErrorHandler& errors, std::optional<int16_t> portNumber,
                             const std::string& portSettings);
// Closes the port when it is open; a control failure is reported.
void ChiudiPorta(PrinterControl& control, ErrorHandler& errors);

// What AnnullaDocumentoAperto found open, and whether it is gone now.
struct DocumentVoid {
    OpenDocument found = OpenDocument::None;
    bool done = true;
};
// Inside a port the caller opened: voids the document the printer holds
// open, a fiscal receipt (or one of a kind the control cannot tell) by
// CancelReceipt, a non-fiscal one by CloseNonFiscal. Nothing is sent when
// nothing is open or when the control cannot tell (Unknown). A refused call
// or a control failure is reported and gives done = false.
DocumentVoid AnnullaDocumentoAperto(PrinterControl& control, ErrorHandler& errors);

// Operations that open and close the port around their single call.
void AnnullaScontrino(PrinterControl& control, ErrorHandler& errors, std::optional<int16_t> portNumber,
                      const std::string& portSettings);
void ChiudiNonFiscaleBloccato(PrinterControl& control, ErrorHandler& errors, std::optional<int16_t> portNumber,
                              const std::string& portSettings);
[[nodiscard]] bool RecuperoFineCarta(PrinterControl& control, ErrorHandler& errors, std::optional<int16_t> portNumber,
                                     const std::string& portSettings, int16_t value);
