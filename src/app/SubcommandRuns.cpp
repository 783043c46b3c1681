// SPDX-License-Identifier: MIT
#include "app/SubcommandRuns.h"

#include "app/BridgeRun.h"
#include "app/CheckFiles.h"
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
#include <iostream>
#include <memory>
#include <optional>
#include <string>

namespace fs = std::filesystem;

namespace {

// The bridge, the test receipt and the serving program need the folder
// itself; the tools say of a missing one in their own words.
bool folderUsable(const fs::path& dir)
{
    const std::string problem = programDirProblem(dir);
    if (!problem.empty())
        std::cerr << "tessiro: " << problem << '\n';
    return problem.empty();
}

int runHeadlessBridge(const SubcommandCall& call)
{
    SingleInstance instance(call.dir);
    if (!instance.acquire()) {
        std::cerr << "tessiro: " << instance.why() << '\n';
        return instance.heldByAnother() ? ExitFolderTaken : ExitNoLock;
    }
    QCoreApplication app(call.argc, call.argv);
    return runBridgeLoop(call.dir, call.command.verbosity, nullptr);
}

// Replaces this process with the first of the program `name`'s (the
// `what`) places that starts. Returns only when none did, with the list
// of what was tried and why each failed.
std::string handOver(const SubcommandCall& call, const char* name, const char* what, std::vector<std::string> args)
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);

    std::vector<char*> argvOut;
    for (std::string& arg : args)
        argvOut.push_back(arg.data());
    argvOut.push_back(nullptr);

    std::cout.flush();
    std::cerr.flush();
    std::string tried;
    for (const fs::path& folder : call.helperDirs) {
        const fs::path candidate = folder / name;
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
int runWindowProgram(const SubcommandCall& call)
{
    std::vector<std::string> args{"tessiro", "--dir", call.dir.string()};
    if (call.command.verbosity == CommandLine::Verbosity::Quiet)
        args.emplace_back("--quiet");
    else if (call.command.verbosity == CommandLine::Verbosity::Verbose)
        args.emplace_back("--verbose");
    // Handed over first: the stream would print the words before the call
    // that replaces this process, and say "could not" of a start that worked.
    const std::string tried = handOver(call, "tessiro", "window program", std::move(args));
    std::cerr << "tessiro: the window program could not be started:" << tried
              << "\n'tessiro --headless' runs the bridge without a window.\n";
    return ExitFailure;
}

} // namespace

int runBridgeForm(const SubcommandCall& call)
{
    if (!folderUsable(call.dir))
        return ExitUsage;
    if (runHeadless(call.command.headless, QProcessEnvironment::systemEnvironment()))
        return runHeadlessBridge(call);
    return runWindowProgram(call);
}

int runConfigForm(const SubcommandCall& call)
{
    if (call.command.action == CommandLine::Action::ConfigGet)
        return configGet(call.command, call.dir, std::cout, std::cerr);
    return configSet(call.command, call.dir, std::cerr);
}

int runTestReceiptForm(const SubcommandCall& call)
{
    if (!folderUsable(call.dir))
        return ExitUsage;
    QCoreApplication app(call.argc, call.argv);
    SystemClock clock;
    const std::unique_ptr<PrinterControl> printer = openPrinter(call.dir, clock);
    if (!printer)
        return ExitFailure;
    return testReceipt(call.dir, *printer, clock, std::cerr);
}

int runInitForm(const SubcommandCall& call)
{
    const int prepared = initProgramDir(call.dir, std::cout, std::cerr, call.dirMade);
    if (prepared != 0 || !call.command.printer)
        return prepared;
    QCoreApplication app(call.argc, call.argv);
    return initFolder(call.command, call.dir, std::cout, std::cerr);
}

int runCheckForm(const SubcommandCall& call)
{
    // Only a folder named on the command line lends its settings: the tool
    // is for files on their way to any till.
    return checkCommandFiles(call.command.programDir ? std::optional<fs::path>(call.dir) : std::nullopt,
                             call.command.files, std::cout, std::cerr, std::cin);
}

int runLogForm(const SubcommandCall& call)
{
    SystemClock clock;
    return showLogs(call.dir, call.command.logs, call.command.follow, std::cout, std::cerr, clock);
}

int runServePrinterForm(const SubcommandCall& call)
{
    if (!folderUsable(call.dir))
        return ExitUsage;
    const std::string tried =
        handOver(call, "tessiro-serve-printer", "serving program",
                 {"tessiro-serve-printer", "--dir", call.dir.string(), "--listen", call.command.listen});
    std::cerr << "tessiro: the serving program could not be started:" << tried << '\n';
    return ExitFailure;
}

int runCtlForm(const SubcommandCall& call)
{
    if (const std::string problem = programDirProblem(call.dir); !problem.empty()) {
        std::cerr << "tessiro: no bridge is running: " << problem << '\n';
        return ExitNoBridge;
    }
    QCoreApplication app(call.argc, call.argv);
    return runControl(call.dir, call.command.controlCommand, std::cout, std::cerr, control::ClientTimeout);
}
