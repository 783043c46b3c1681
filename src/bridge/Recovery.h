// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>

struct SharedState;
class Folder;
class ErrorHandler;
class PrinterControl;
class OperatorWindow;
class Clock;

// The operator's recovery commands, shared by the window's buttons and the
// headless control. Each empties MsgErrori, lowers the error state, runs its
// own steps and files its action record.
class Recovery {
public:
    Recovery(SharedState& state, ErrorHandler& errors, PrinterControl& control, OperatorWindow& window, Clock& clock);

    void cmdChiudiNF();
    void cmdChiudiScontrino();
    void cmdEliminaCor();
    void cmdFineCarta();
    void cmdFineCartaNoFisc();
    void cmdRistampa();

    // "Ricrea File Log": moves both logs into Cestino under a time stamp.
    // With `ask`, the operator confirms first ("File LOG"); false when
    // cancelled.
    bool RicreaLog(bool ask);

private:
    void liftError();
    void tellWindow(const char* done);
    void writeIdle();
    void closeNonFiscal();
    void voidReceipt();
    void paperEndRecovery();
    void reprint();
    void moveToBin(const Folder& program, const std::string& logName, const Folder& bin);

    SharedState& m_state;
    ErrorHandler& m_errors;
    PrinterControl& m_control;
    OperatorWindow& m_window;
    Clock& m_clock;
};
