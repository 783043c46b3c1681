// A whole command file run by the interpreter against the simulated printer
// in a scratch program directory: no crash, no hang, the port is closed again
// whatever the file holds, and a failure always leaves its log record.
#include "commands/Interprete.h"
#include "errors/Clock.h"
#include "errors/ErrorHandler.h"
#include "errors/OperatorWindow.h"
#include "errors/SharedState.h"
#include "printer/SimulatedPrinter.h"

#include <QTemporaryDir>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>

namespace {
class QuietWindow : public OperatorWindow {
public:
    void setPrinterErrorText(const std::string& t) override { m_p = t; }
    std::string printerErrorText() const override { return m_p; }
    void setProgramErrorText(const std::string& t) override { m_q = t; }
    std::string programErrorText() const override { return m_q; }
    void showOnTop() override {}
    void makeTopmost() override {}
    void hideToTray() override {}
    void inform(const std::string&, const std::string&) override {}
    bool askOkCancel(const std::string&, const std::string&) override { return false; }
    bool askYesNo(const std::string&, const std::string&) override { return false; }

private:
    std::string m_p, m_q;
};

class InstantClock : public Clock {
public:
    std::tm localNow() const override { return std::tm{}; }
    void sleepFor(std::chrono::milliseconds) override {}
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QTemporaryDir dir;
    const std::filesystem::path root(dir.path().toStdString());
    SharedState state;
    state.programDir = root;
    state.currentFileName = "20261208000001COR_fuzz.txt";
    state.settings.portNumber = 1;
    QuietWindow window;
    InstantClock clock;
    SimulatedPrinter printer(root);
    state.control = &printer;
    ErrorHandler errors(state, window, clock);
    printer.onErrorEvent = [&](int16_t level, int32_t code) { errors.printerErrorEvent(level, code); };

    const auto file = root / state.currentFileName;
    {
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    EseguiFileComandi(printer, errors, state.settings.portNumber, "", file, 1, 1);
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
