// SPDX-License-Identifier: MIT
// tessiro: the bridge without a window, the subcommands, and the door to the
// window program. This executable links QtCore and QtNetwork only, so the
// headless bridge of a till never loads the GUI libraries; when a window is
// wanted it hands over to the window program (libexec/tessiro/tessiro), which
// runs the same bridge.
#include "app/BridgeRun.h"
#include "app/CheckFiles.h"
#include "app/CommandLine.h"
#include "app/ControlClient.h"
#include "app/ControlProtocol.h"
#include "app/LogView.h"
#include "app/SingleInstance.h"
#include "app/Subcommands.h"
#include "core/Clock.h"
#include "printer/PrinterControl.h"

#include <QCoreApplication>
#include <QProcessEnvironment>

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

int runControlCommand(const fs::path& dir, const std::string& command, int& argc, char** argv)
{
    if (const std::string problem = programDirProblem(dir); !problem.empty()) {
        std::cerr << "tessiro: no bridge is running: " << problem << '\n';
        return ExitNoBridge;
    }
    QCoreApplication app(argc, argv);
    return runControl(dir, command, std::cout, std::cerr, control::ClientTimeout);
}

int runTestReceipt(const fs::path& dir, int& argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::unique_ptr<PrinterControl> printer = openPrinter(dir);
    if (!printer)
        return ExitFailure;
    SystemClock clock;
    return testReceipt(dir, *printer, clock, std::cerr);
}

int runHeadlessBridge(const fs::path& dir, CommandLine::Verbosity verbosity, int& argc, char** argv)
{
    SingleInstance instance(dir);
    if (!instance.acquire()) {
        std::cerr << "tessiro: " << instance.why() << '\n';
        return instance.heldByAnother() ? ExitFolderTaken : ExitNoLock;
    }
    QCoreApplication app(argc, argv);
    return runBridgeLoop(dir, verbosity, nullptr);
}

// Replaces this process with the first of the program `name`'s (the
// `what`) places that
// starts: under this executable's folder in a build tree, in the package's
// libexec folder once installed. Returns only when none did, with the list
// of what was tried and why each failed.
std::string handOver(const char* argv0, const char* name, const char* what, std::vector<std::string> args)
{
    const fs::path here = executableDir(argv0);
    const fs::path candidates[] = {here / TESSIRO_WINDOW_IN_BUILD / name, here / TESSIRO_WINDOW_FROM_BIN / name};
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);

    std::vector<char*> argvOut;
    for (std::string& arg : args)
        argvOut.push_back(arg.data());
    argvOut.push_back(nullptr);

    std::cout.flush();
    std::cerr.flush();
    std::string tried;
    for (const fs::path& candidate : candidates) {
        // Never this executable again (a libexec folder laid over bin/):
        // it would hand over to itself for ever.
        if (!self.empty() && fs::weakly_canonical(candidate, ec) == self) {
            tried += "\n  " + candidate.lexically_normal().string() + ": this program, not the " + what;
            continue;
        }
        ::execv(candidate.c_str(), argvOut.data());
        const int error = errno;
        tried += "\n  " + candidate.lexically_normal().string() + ": " + std::strerror(error);
    }
    return tried;
}

// The window program; the folder goes along resolved, since the window
// program lives elsewhere.
int runWindowProgram(const fs::path& dir, CommandLine::Verbosity verbosity, const char* argv0)
{
    std::vector<std::string> args{"tessiro", "--dir", dir.string()};
    if (verbosity == CommandLine::Verbosity::Quiet)
        args.emplace_back("--quiet");
    else if (verbosity == CommandLine::Verbosity::Verbose)
        args.emplace_back("--verbose");
    // Handed over first: the stream would print the words before the call
    // that replaces this process, and say "could not" of a start that worked.
    const std::string tried = handOver(argv0, "tessiro", "window program", std::move(args));
    std::cerr << "tessiro: the window program could not be started:" << tried
              << "\n'tessiro --headless' runs the bridge without a window.\n";
    return ExitFailure;
}

// The serving program of serve-printer, which lives beside the window
// program and alone links the HTTP server.
int runServePrinter(const fs::path& dir, const std::string& listen, const char* argv0)
{
    const std::string tried = handOver(argv0, "tessiro-serve-printer", "serving program",
                                       {"tessiro-serve-printer", "--dir", dir.string(), "--listen", listen});
    std::cerr << "tessiro: the serving program could not be started:" << tried << '\n';
    return ExitFailure;
}

} // namespace

int main(int argc, char** argv)
{
    const CommandLine command = startProgram(argc, argv);
    switch (command.action) {
    case CommandLine::Action::ShowHelp: std::cout << usageText(command.helpTopic).toStdString(); return 0;
    case CommandLine::Action::ShowVersion: std::cout << "tessiro " TESSIRO_VERSION "\n"; return 0;
    case CommandLine::Action::Invalid:
        std::cerr << "tessiro: " << command.error << "\nTry 'tessiro --help'.\n";
        return ExitUsage;
    default: break;
    }

    bool dirMade = false;
    const fs::path dir = resolveProgramDir(command, argv[0], &dirMade);
    switch (command.action) {
    case CommandLine::Action::Control: return runControlCommand(dir, command.controlCommand, argc, argv);
    case CommandLine::Action::ConfigGet: return configGet(command, dir, std::cout, std::cerr);
    case CommandLine::Action::ConfigSet: return configSet(command, dir, std::cerr);
    case CommandLine::Action::Init: {
        const int prepared = initProgramDir(dir, std::cout, std::cerr, dirMade);
        if (prepared != 0 || !command.printer)
            return prepared;
        QCoreApplication app(argc, argv);
        return initFolder(command, dir, std::cout, std::cerr);
    }
    case CommandLine::Action::Check:
        // Only a folder named on the command line lends its settings: the
        // tool is for files on their way to any till.
        return checkCommandFiles(command.programDir ? std::optional<fs::path>(dir) : std::nullopt, command.files,
                                 std::cout, std::cerr, std::cin);
    case CommandLine::Action::Log: {
        SystemClock clock;
        return showLogs(dir, command.logs, command.follow, std::cout, std::cerr, clock);
    }
    default: break;
    }

    if (const std::string problem = programDirProblem(dir); !problem.empty()) {
        std::cerr << "tessiro: " << problem << '\n';
        return ExitUsage;
    }
    if (command.action == CommandLine::Action::ServePrinter)
        return runServePrinter(dir, command.listen, argv[0]);
    if (command.action == CommandLine::Action::TestReceipt)
        return runTestReceipt(dir, argc, argv);
    if (runHeadless(command.headless, QProcessEnvironment::systemEnvironment()))
        return runHeadlessBridge(dir, command.verbosity, argc, argv);
    return runWindowProgram(dir, command.verbosity, argv[0]);
}
