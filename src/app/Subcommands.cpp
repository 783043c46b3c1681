// SPDX-License-Identifier: MIT
#include "app/Subcommands.h"

#include "app/SingleInstance.h"
#include "bridge/ConsoleWindow.h"
#include "config/IniFile.h"
#include "config/Keys.h"
#include "config/SettingsFields.h"
#include "config/Text.h"
#include "core/SharedState.h"
#include "errors/ErrorHandler.h"
#include "lan/PrinterChoice.h"
#include "printer/ErrorLink.h"
#include "printer/PrinterControl.h"
#include "printer/TestReceipt.h"

#include <ostream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

fs::path configFileOf(const CommandLine& command, const fs::path& programDir)
{
    return command.file ? *command.file : programDir / keys::ConfigFile;
}

// The default file lives in the program directory, which must then exist;
// an explicit --file needs no program directory.
bool checkDir(const CommandLine& command, const fs::path& programDir, std::ostream& err)
{
    if (command.file)
        return true;
    const std::string problem = programDirProblem(programDir);
    if (problem.empty())
        return true;
    err << "tessiro: " << problem << '\n';
    return false;
}

} // namespace

std::string programDirProblem(const fs::path& dir)
{
    std::error_code ec;
    const fs::file_status status = fs::status(dir, ec);
    if (status.type() == fs::file_type::not_found)
        return "program directory " + dir.string() + " does not exist";
    if (status.type() == fs::file_type::none)
        return "program directory " + dir.string() + ": " + ec.message();
    if (status.type() != fs::file_type::directory)
        return dir.string() + " is not a directory";
    return {};
}

int configGet(const CommandLine& command, const fs::path& programDir, std::ostream& out, std::ostream& err)
{
    if (!checkDir(command, programDir, err))
        return 2;
    const std::string value = LeggiINI(command.section, command.key, command.value, configFileOf(command, programDir));
    out.write(value.data(), static_cast<std::streamsize>(value.size()));
    out << '\n';
    out.flush();
    return out ? 0 : 1;
}

int configSet(const CommandLine& command, const fs::path& programDir, std::ostream& err)
{
    if (!checkDir(command, programDir, err))
        return 2;
    const fs::path file = configFileOf(command, programDir);
    if (!ScriviINI(command.section, command.key, command.value, file)) {
        err << "tessiro: could not write " << command.key << " in [" << command.section << "] of " << file.string()
            << '\n';
        return 1;
    }
    return 0;
}

int testReceipt(const fs::path& programDir, PrinterControl& control, Clock& clock, std::ostream& err)
{
    SharedState state;
    state.programDir = programDir;
    state.settings = storedSettings(state.configFile());
    ConsoleWindow window(err);
    ErrorHandler errors(state, window, clock);
    bool done = false;
    {
        const ErrorLink link(control, errors, state.settings);
        try {
            done = TEST(control, errors, state.configFile());
        } catch (const std::exception& e) {
            errors.registraErrore(std::string("Errore interno nello scontrino di prova: ") + e.what());
        }
    }

    if (done)
        err << "tessiro: test receipt printed\n";
    else
        err << "tessiro: the test receipt did not print in full; see " << state.notFiscalLog().string() << '\n';
    return done ? 0 : 1;
}

int initProgramDir(const fs::path& dir, std::ostream& out, std::ostream& err, bool justMade)
{
    std::error_code ec;
    // Something else in its place is left alone and reported below.
    const bool existed = fs::exists(fs::symlink_status(dir, ec)) || fs::exists(dir, ec);
    if (!existed) {
        fs::create_directories(dir, ec);
        if (ec) {
            err << "tessiro: cannot create the program directory " << dir.string() << ": " << ec.message() << '\n';
            return 1;
        }
    }
    if (const std::string problem = programDirProblem(dir); !problem.empty()) {
        err << "tessiro: " << problem << '\n';
        return 1;
    }
    out << "tessiro: program directory " << dir.string() << (existed && !justMade ? " (already there)" : " (created)")
        << '\n';
    // Made as the bridge makes them, so that a file can be dropped before
    // the bridge first starts.
    for (const char* folder : {"Ostro", "IN"}) {
        const fs::path path = dir / folder;
        ec.clear();
        if (fs::create_directory(path, ec))
            out << "  " << folder << "/ created\n";
        else if (!ec && fs::is_directory(path, ec))
            out << "  " << folder << "/ already there\n";
        else {
            err << "tessiro: cannot create " << path.string() << ": "
                << (ec ? ec.message() : std::string("something else is in its place")) << '\n';
            return 1;
        }
    }

    const fs::path config = dir / keys::ConfigFile;
    struct PortValue {
        const char* key;
        const char* value;
    };
    int status = 0;
    for (const PortValue& port :
         {PortValue{keys::Eps_COM, keys::SimulatorPort}, PortValue{keys::Eps_Setting, keys::SimulatorPortSettings}}) {
        // A lone control byte is no value anyone stores: it tells a missing key
        // from an empty one.
        const std::string missing = "\x01";
        const std::string stored = LeggiINI(keys::Section, port.key, missing, config);
        if (stored != missing && stored.find_first_not_of(" \t") != std::string::npos) {
            out << "  " << port.key << '=' << stored << " kept\n";
        } else if (ScriviINI(keys::Section, port.key, port.value, config)) {
            out << "  " << port.key << '=' << port.value << " stored (it was "
                << (stored == missing ? "missing" : "empty") << ")\n";
        } else {
            err << "tessiro: could not write " << port.key << " in " << config.string() << '\n';
            status = 1;
        }
    }
    return status;
}

int initFolder(const CommandLine& command, const fs::path& programDir, std::ostream& out, std::ostream& err)
{
    std::error_code ec;
    fs::create_directories(programDir, ec);
    if (const std::string problem = programDirProblem(programDir); !problem.empty()) {
        err << "tessiro: " << problem << '\n';
        return 2;
    }
    if (!command.printer)
        return 0;
    if (!storePrinterChoice(programDir, *command.printer, out, err))
        return 1;
    SingleInstance probe(programDir);
    if (!probe.acquire())
        out << "tessiro: a bridge holds " << programDir.string()
            << ": the printer choice takes effect when that bridge starts again\n";
    return 0;
}
