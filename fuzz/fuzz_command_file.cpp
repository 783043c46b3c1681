// SPDX-License-Identifier: MIT
// A whole command file run by the interpreter against the simulated printer
// in a scratch program directory: no crash, no hang, the port is closed again
// whatever the file holds, and a failure always leaves its log record.
#include "commands/Interprete.h"
#include "core/SharedState.h"
#include "errors/ErrorHandler.h"
#include "errors/FileKind.h"
#include "printer/ErrorLink.h"
#include "simulator/SimulatedPrinter.h"
#include "support/FakeClock.h"
#include "support/FakeWindow.h"

#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <fstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QTemporaryDir dir;
    const std::filesystem::path root(dir.path().toStdString());
    SharedState state;
    state.programDir = root;
    state.settings.portNumber = 1;
    FakeWindow window; // nobody there: every question gets No
    FakeClock clock;   // busy waits cost nothing
    SimulatedPrinter printer(root);
    ErrorHandler errors(state, window, clock);
    const ErrorLink link(printer, errors, state.settings);

    Job job = jobNamed("20261208000001COR_fuzz.txt");
    const auto file = root / job.name;
    {
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    EseguiFileComandi(printer, errors, state, clock, job, file);
    if (printer.PortIsOpen())
        std::abort();
    // Every failure is on file: an error state raised by this fiscal file
    // has its record in the fiscal log.
    if (state.errorState) {
        std::ifstream log(root / ErrorHandler::FiscalLog, std::ios::binary);
        if (!log || log.peek() == std::ifstream::traits_type::eof())
            std::abort();
    }
    return 0;
}
