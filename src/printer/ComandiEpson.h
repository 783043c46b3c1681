#pragma once

#include "printer/Currency.h"

#include <cstdint>
#include <string>

class PrinterControl;
class ErrorHandler;

// The printer operations, one per kind of command record. Each returns true
// when the printer accepted the command, and false when it failed, after
// reporting the failure through the error handler. A control failure raised
// inside an operation is reported the same way and never escapes.
class ComandiEpson {
public:
    ComandiEpson(PrinterControl& control, ErrorHandler& errors);

    // Fiscal receipt.
    bool opReparto(int16_t idOp, const std::string& text, Currency quantity, Currency price, Currency dept);
    bool opRepartoReso(int16_t idOp, const std::string& text, Currency price, Currency dept, Currency quantity);
    bool opRepartoResoImporto(int16_t idOp, const std::string& text, Currency amount, Currency dept);
    bool opDescAgg(int16_t idOp, const std::string& text);
    bool AbbuonoSubTot(int16_t idOp, Currency hundredths);
    // `one` and `unused` are handed over by the record and not used.
    bool ChiudiScontrino(int16_t one, Currency unused, Currency amount, int16_t paymentType,
                         const std::string& unpaidText);

    // Other operations.
    bool opApriNonFiscale(int16_t idOp);
    bool OpDatiSNoFisc(int16_t idOp, const std::string& text);
    bool opChiudiNonFiscale(int16_t idOp);
    bool opMsgVisoreCortesia(int16_t idOp, const std::string& text);
    bool opRigaAggiuntiva(int16_t idOp, int16_t& lineNumber, const std::string& text);
    bool OpImportoSNoFisc(int16_t idOp, Currency hundredths);
    bool opZChiusuraFisc(int16_t idOp, int16_t kind);
    bool opApri(int16_t idOp);

    PrinterControl& control() { return m_control; }
    ErrorHandler& errors() { return m_errors; }

private:
    PrinterControl& m_control;
    ErrorHandler& m_errors;
};
