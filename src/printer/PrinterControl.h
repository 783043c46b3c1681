// SPDX-License-Identifier: MIT
#pragma once

#include "core/PrinterNote.h"
#include "printer/Currency.h"

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

// Raised by a printer control when it fails as a whole rather than returning
// a code: an absent port, settings it rejects, a port another process holds.
// Callers catch it; it never leaves a printer operation.
class ControlFailure : public std::runtime_error {
public:
    explicit ControlFailure(const std::string& description) : std::runtime_error(description) {}
    std::string description() const { return what(); }
};

// The document a printer holds open, as far as its control can tell.
enum class OpenDocument {
    None,         // nothing is open
    Fiscal,       // a fiscal receipt: items, or payments under way
    NonFiscal,    // a non-fiscal document
    Undetermined, // something is open, of a kind the control cannot tell
    Unknown,      // the control cannot tell whether anything is open
};

// The state's name in traces and reports: "none", "fiscal", "non-fiscal",
// "undetermined", "unknown".
inline const char* openDocumentName(OpenDocument open)
{
    switch (open) {
    case OpenDocument::None: return "none";
    case OpenDocument::Fiscal: return "fiscal";
    case OpenDocument::NonFiscal: return "non-fiscal";
    case OpenDocument::Undetermined: return "undetermined";
    case OpenDocument::Unknown: break;
    }
    return "unknown";
}

// The contract's operations, each written once, here. An entry is
// OPERATION(kind, result, name, (parameters), (arguments)); the kind says
// what the call is to a wrapper that names it: Put, a property put; Get, a
// property get; Call, the port and the error text; Printing, a printing call
// that answers a 16-bit code, 0 for done. The base class below declares
// them all pure; a full control declares its own with
// TESSIRO_PRINTER_OPERATIONS(TESSIRO_PRINTER_OVERRIDE) and defines each in
// its .cpp, so a forgotten operation does not build.
#define TESSIRO_PRINTER_OPERATIONS(OPERATION)                                                                          \
    /* Property puts. */                                                                                               \
    OPERATION(Put, void, setOpenOptionA, (int32_t value), (value))                                                     \
    OPERATION(Put, void, setOpenOptionB, (int32_t value), (value))                                                     \
    OPERATION(Put, void, setComPort, (int16_t port), (port))                                                           \
    OPERATION(Put, void, setComSettings, (const std::string& settings), (settings))                                    \
    OPERATION(Put, void, setItemOptionA, (int16_t value), (value))                                                     \
    OPERATION(Put, void, setItemOptionB, (int16_t value), (value))                                                     \
    /* Port. */                                                                                                        \
    OPERATION(Call, void, OpenPort, (), ())                                                                            \
    OPERATION(Call, void, ClosePort, (), ())                                                                           \
    OPERATION(Call, bool, PortIsOpen, (), ())                                                                          \
    /* Property get: true while the printer is busy. */                                                                \
    OPERATION(Get, bool, Busy, (), ())                                                                                 \
    /* Property get: the document the printer holds open. A bridge asks it at the start and at the end of a */         \
    /* command file, so that one file is never continued by the next. */                                               \
    OPERATION(Get, OpenDocument, DocumentOpen, (), ())                                                                 \
    /* Fiscal receipt. */                                                                                              \
    OPERATION(Printing, int16_t, SellDept, (int16_t idOp, const std::string& text, Currency price, int16_t dept),      \
              (idOp, text, price, dept))                                                                               \
    OPERATION(Printing, int16_t, SellDeptQty,                                                                          \
              (int16_t idOp, const std::string& text, float quantity, Currency price, int16_t dept),                   \
              (idOp, text, quantity, price, dept))                                                                     \
    OPERATION(Printing, int16_t, ReturnDept, (int16_t idOp, const std::string& text, Currency price, int16_t dept),    \
              (idOp, text, price, dept))                                                                               \
    OPERATION(Printing, int16_t, ReturnDeptQty,                                                                        \
              (int16_t idOp, const std::string& text, float quantity, Currency price, int16_t dept),                   \
              (idOp, text, quantity, price, dept))                                                                     \
    OPERATION(Printing, int16_t, ReturnDeptAmount,                                                                     \
              (int16_t idOp, const std::string& text, Currency amount, int16_t dept), (idOp, text, amount, dept))      \
    OPERATION(Printing, int16_t, AddDescription, (int16_t idOp, const std::string& text), (idOp, text))                \
    OPERATION(Printing, int16_t, ExtraLine, (int16_t idOp, int16_t line, const std::string& text), (idOp, line, text)) \
    OPERATION(Printing, int16_t, Subtotal, (int16_t value), (value))                                                   \
    OPERATION(Printing, int16_t, SubtotalDiscount, (int16_t idOp, Currency amount), (idOp, amount))                    \
    OPERATION(Printing, int16_t, CancelReceipt, (int16_t value), (value))                                              \
    /* Payments. */                                                                                                    \
    OPERATION(Printing, int16_t, PayCash, (int16_t idOp, Currency amount), (idOp, amount))                             \
    OPERATION(Printing, int16_t, PayCheque, (int16_t idOp, Currency amount), (idOp, amount))                           \
    OPERATION(Printing, int16_t, PayCard, (int16_t idOp, int16_t value), (idOp, value))                                \
    OPERATION(Printing, int16_t, PayTicket, (int16_t idOp, int16_t value, Currency amount), (idOp, value, amount))     \
    OPERATION(Printing, int16_t, PayTender,                                                                            \
              (int16_t idOp, const std::string& text, Currency amount, int32_t type, int16_t flag, int16_t index),     \
              (idOp, text, amount, type, flag, index))                                                                 \
    /* Non-fiscal receipt, display, drawer, amount entry. */                                                           \
    OPERATION(Printing, int16_t, OpenNonFiscal, (int16_t idOp), (idOp))                                                \
    OPERATION(Printing, int16_t, NonFiscalLine, (int16_t idOp, int16_t value, const std::string& text),                \
              (idOp, value, text))                                                                                     \
    OPERATION(Printing, int16_t, CloseNonFiscal, (int16_t idOp), (idOp))                                               \
    OPERATION(Printing, int16_t, DisplayText, (int16_t idOp, const std::string& text), (idOp, text))                   \
    OPERATION(Printing, int16_t, OpenCmd, (int16_t idOp), (idOp))                                                      \
    OPERATION(Printing, int16_t, AmountEntry, (int16_t idOp, Currency amount), (idOp, amount))                         \
    /* Daily closure and recovery. */                                                                                  \
    OPERATION(Printing, int16_t, FiscalClosure, (int16_t idOp), (idOp))                                                \
    OPERATION(Printing, int16_t, FiscalClosureAlt, (int16_t idOp), (idOp))                                             \
    OPERATION(Printing, int16_t, PaperEndRecovery, (int16_t value), (value))                                           \
    /* The text of an error the control reported. */                                                                   \
    OPERATION(Call, std::string, ErrorText, (int16_t level, int32_t code), (level, code))

#define TESSIRO_PRINTER_PURE(kind, result, name, parameters, arguments) virtual result name parameters = 0;
#define TESSIRO_PRINTER_OVERRIDE(kind, result, name, parameters, arguments) result name parameters override;

// The fiscal printer control's contract: one member per operation of its
// dispatch table. Printing calls take idOp first and return a 16-bit code,
// 0 for done. Texts are the 8-bit (windows-1252) bytes the back-office wrote.
// The error event fires synchronously inside the failing call, before that
// call returns its code.
class PrinterControl {
public:
    virtual ~PrinterControl() = default;

    // Event 9: level, code. Connected by the owner; may be empty.
    std::function<void(int16_t level, int32_t code)> onErrorEvent;
    // Told again and again while a call waits on a slow printer (a control
    // that never waits never tells it), so the bridge can show it is alive.
    // May be empty.
    std::function<void()> whileWaiting;
    // The control's notes (PrinterNote). Connected by the owner; may be empty.
    std::function<void(const PrinterNote& note)> onNote;
    // The bare name of the command file being run, for a control that keeps
    // it with a document in doubt. Set by the owner; may be empty.
    std::function<std::string()> currentFile;

    // True when the failure the control reported last leaves it unknown
    // whether the document was printed (sent whole, no usable reply): the
    // file must not be offered for resending. Controls that always know
    // keep the default.
    virtual bool FailureInDoubt() { return false; }
    // The bridge stopped while the call that closes `file`'s document (a
    // payment, N3) waited on the printer, so the document may have printed.
    // True when the control keeps it as a document in doubt, to be told by
    // what the printer says next: nothing may then be voided or closed on its
    // account. Controls that always see the document's state keep the
    // default.
    virtual bool StoppedInDoubt(const std::string& file, bool fiscal)
    {
        (void)file;
        (void)fiscal;
        return false;
    }

    // Every operation of the list above.
    TESSIRO_PRINTER_OPERATIONS(TESSIRO_PRINTER_PURE)
};
