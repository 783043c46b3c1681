// The operator's printer-side recovery for scripts that run the headless
// bridge, which has no buttons: reliability_recover DIR.
//
// Run while the bridge is stopped (the simulated port is one per folder). It
// does on the simulated printer of DIR what the window's recovery buttons do
// for a paper end and a blocked receipt: paper-end recovery, then the void of
// an open fiscal receipt and the close of an open non-fiscal one. Their
// action records go to the logs as the buttons' do. Exit status 0.
#include "app/ConsoleWindow.h"
#include "config/IniFile.h"
#include "config/Keys.h"
#include "config/Text.h"
#include "errors/Clock.h"
#include "errors/ErrorHandler.h"
#include "errors/Recovery.h"
#include "errors/SharedState.h"
#include "printer/SimulatedPrinter.h"

#include <QCoreApplication>

#include <iostream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: reliability_recover PROGRAM_DIR\n";
        return 2;
    }
    QCoreApplication app(argc, argv);
    SharedState state;
    state.programDir = argv[1];
    const auto config = state.configFile();
    state.settings.portNumber = toInt16(LeggiINI(keys::Section, keys::Eps_COM, "", config));
    state.settings.portSettings = LeggiINI(keys::Section, keys::Eps_Setting, "", config);

    SimulatedPrinter printer(state.programDir);
    state.control = &printer;
    ConsoleWindow window(std::cerr);
    SystemClock clock;
    ErrorHandler errors(state, window, clock);
    printer.onErrorEvent = [&](int16_t level, int32_t code) { errors.printerErrorEvent(level, code); };

    // A step with nothing to recover may report a sequence error: that is on
    // file like any other record and changes nothing on the printer.
    cmdFineCarta(errors);
    cmdChiudiNF(errors);
    printer.onErrorEvent = nullptr;
    return 0;
}
