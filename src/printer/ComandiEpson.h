// SPDX-License-Identifier: MIT
#pragma once

#include "printer/Currency.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

class PrinterControl;
class ErrorHandler;

// The printer operations, one per kind of command record. Each returns true
// when the printer accepted the command, and false when it failed, after
// reporting the failure through the error handler. A control failure raised
// inside an operation is reported the same way and never escapes: the
// message is the operation's failure label (the part before its code) with
// the failure's description in place of the code, a blank between them when
// the label does not already end in one.
class ComandiEpson {
public:
    // The payments read PAY_L from `configFile` afresh each time.
    ComandiEpson(PrinterControl& control, ErrorHandler& errors, std::filesystem::path configFile);

    // Fiscal receipt. Departments are rounded to 16 bits, halves to even; one
    // outside 16 bits is reported as a failure and nothing is sent.
    [[nodiscard]] bool opReparto(int16_t idOp, const std::string& text, Currency quantity, Currency price,
                                 Currency dept);
    [[nodiscard]] bool opRepartoReso(int16_t idOp, const std::string& text, Currency price, Currency dept,
                                     Currency quantity);
    [[nodiscard]] bool opRepartoResoImporto(int16_t idOp, const std::string& text, Currency amount, Currency dept);
    [[nodiscard]] bool opDescAgg(int16_t idOp, const std::string& text);
    [[nodiscard]] bool AbbuonoSubTot(int16_t idOp, Currency hundredths);
    // `one` and `unused` are handed over by the record and not used. PAY_L is
    // read from the configuration at every call; with it set, a type 6
    // payment needs an unpaid text "T:I" of two numbers and fails, unsent,
    // without one.
    [[nodiscard]] bool ChiudiScontrino(int16_t one, Currency unused, Currency amount, int16_t paymentType,
                                       const std::string& unpaidText);
    // The type of the last payment that ChiudiScontrino accepted without
    // sending anything to the printer (a type no tender stands for without
    // PAY_L, a negative amount with it); empty when the last one was sent.
    std::optional<int16_t> unsentPayment() const { return m_unsentPayment; }

    // Other operations.
    [[nodiscard]] bool opApriNonFiscale(int16_t idOp);
    [[nodiscard]] bool OpDatiSNoFisc(int16_t idOp, const std::string& text);
    [[nodiscard]] bool opChiudiNonFiscale(int16_t idOp);
    [[nodiscard]] bool opMsgVisoreCortesia(int16_t idOp, const std::string& text);
    [[nodiscard]] bool opRigaAggiuntiva(int16_t idOp, int16_t& lineNumber, const std::string& text);
    [[nodiscard]] bool OpImportoSNoFisc(int16_t idOp, Currency hundredths);
    [[nodiscard]] bool opZChiusuraFisc(int16_t idOp, int16_t kind);
    [[nodiscard]] bool opApri(int16_t idOp);

    PrinterControl& control() { return m_control; }
    ErrorHandler& errors() { return m_errors; }

private:
    enum class CodeInMessage { Appended, Omitted };

    // Runs the control calls of one operation and reports a non-zero code
    // (after `label`, or `label` alone) or a raised control failure.
    bool perform(const std::string& label, CodeInMessage code, const std::function<int16_t()>& calls);
    // Reads Busy; true when the operation must stop: the printer is busy
    // (reported as `busyMessage`) or the read raised (reported under `label`).
    bool refuseWhenBusy(const std::string& label, const std::string& busyMessage);
    std::optional<int16_t> department(const std::string& label, Currency dept);
    void report(const std::string& label, const std::string& description);
    bool payLinesSet();

    PrinterControl& m_control;
    ErrorHandler& m_errors;
    std::filesystem::path m_configFile;
    std::optional<int16_t> m_unsentPayment;
};
