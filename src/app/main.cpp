#include "app/Bridge.h"
#include "app/CommandLine.h"
#include "app/ConsoleWindow.h"
#include "app/ControlClient.h"
#include "app/ControlProtocol.h"
#include "app/ControlServer.h"
#include "app/OperationsLog.h"
#include "app/ShutdownSignals.h"
#include "app/SingleInstance.h"
#include "app/Subcommands.h"
#include "errors/Clock.h"
#include "errors/SharedState.h"
#include "printer/SimulatedPrinter.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QCoreApplication>
#include <QProcessEnvironment>
#include <QTimer>

#include <clocale>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;
constexpr int ExitFolderTaken = 3;

fs::path executableDir(const char* argv0)
{
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec)
        return exe.parent_path();
    return fs::absolute(argv0, ec).parent_path();
}

// The printer is built after the Qt application exists; the simulator keeps
// its state in files and may fail to open them.
std::unique_ptr<SimulatedPrinter> openPrinter(const fs::path& dir)
{
    try {
        return std::make_unique<SimulatedPrinter>(dir);
    } catch (const std::exception& e) {
        std::cerr << "tessiro: the simulated printer could not start: " << e.what() << '\n';
    }
    return nullptr;
}

// A second start with a window on the same folder: the operator is looking
// for the window, so the running bridge is asked to show it.
int showRunningBridge(const fs::path& dir, const std::string& why, int& argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const ControlReply reply = askBridge(dir, "mostra", control::ShowWindowTimeout);
    if (reply.status == ControlReply::Status::Done) {
        std::cout << "tessiro: a bridge is already running on " << dir.string()
                  << "; its window was brought to the front\n";
        return 0;
    }
    std::cerr << "tessiro: " << why << " (its window could not be shown: " << reply.message << ")\n";
    return ExitFolderTaken;
}

int runControlCommand(const fs::path& dir, const std::string& command, int& argc, char** argv)
{
    if (const std::string problem = programDirProblem(dir); !problem.empty()) {
        std::cerr << "tessiro: no bridge is running: " << problem << '\n';
        return ExitNoBridge;
    }
    QCoreApplication app(argc, argv);
    return runControl(dir, command, std::cout, std::cerr, control::ClientTimeout);
}

OperationsLog::Level operationsLevel(CommandLine::Verbosity verbosity)
{
    switch (verbosity) {
    case CommandLine::Verbosity::Quiet:
        return OperationsLog::Level::Quiet;
    case CommandLine::Verbosity::Verbose:
        return OperationsLog::Level::Verbose;
    case CommandLine::Verbosity::Normal:
        break;
    }
    return OperationsLog::Level::Normal;
}

// Runs the bridge until Esci is confirmed or SIGTERM/SIGINT arrives.
int runBridge(const fs::path& dir, bool headless, CommandLine::Verbosity verbosity, int& argc, char** argv)
{
    SingleInstance instance(dir);
    if (!instance.acquire()) {
        if (!headless)
            return showRunningBridge(dir, instance.why(), argc, argv);
        std::cerr << "tessiro: " << instance.why() << '\n';
        return ExitFolderTaken;
    }

    std::unique_ptr<QCoreApplication> app;
    if (headless) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        auto gui = std::make_unique<QApplication>(argc, argv);
        // The window lives in the tray: closing the last visible window (a
        // message box, the About box) must not end the bridge.
        gui->setQuitOnLastWindowClosed(false);
        app = std::move(gui);
    }

    SharedState state;
    state.programDir = dir;
    SystemClock clock;
    const std::unique_ptr<SimulatedPrinter> printer = openPrinter(dir);
    if (!printer)
        return ExitFailure;

    std::unique_ptr<ConsoleWindow> console;
    std::unique_ptr<MainWindow> mainWindow;
    OperatorWindow* window = nullptr;
    if (headless) {
        console = std::make_unique<ConsoleWindow>(std::cerr);
        window = console.get();
    } else {
        mainWindow = std::make_unique<MainWindow>();
        window = mainWindow.get();
    }

    // Without a window the logs' records go to standard error as well, for
    // the journal; with one, only when asked for.
    std::unique_ptr<OperationsLog> operations;
    if (headless || verbosity == CommandLine::Verbosity::Verbose)
        operations = std::make_unique<OperationsLog>(std::cerr, operationsLevel(verbosity),
                                                     OperationsLog::stderrIsJournal());

    Bridge bridge(state, *window, clock, *printer);
    if (operations)
        operations->attach(bridge);
    if (mainWindow) {
        mainWindow->attach(bridge);
        QObject::connect(mainWindow.get(), &MainWindow::exitRequested, app.get(), &QCoreApplication::quit);
    }

    const int interval = bridge.avvio();

    ControlServer controlServer(bridge);
    if (mainWindow)
        controlServer.showWindow = [w = mainWindow.get()] { w->showFromTray(); };
    if (operations)
        controlServer.onRequest = [&operations](const std::string& command, const std::string& outcome) {
            operations->request(command, outcome);
        };
    if (!controlServer.listen())
        std::cerr << "tessiro: " << controlServer.why() << '\n';

    QTimer timer;
    timer.setInterval(interval);
    const auto tick = [&bridge] {
        // Nothing may unwind into the event loop: the bridge would end
        // without a word in the middle of the shop's day.
        try {
            bridge.tick();
        } catch (const std::exception& e) {
            std::cerr << "tessiro: tick failed: " << e.what() << '\n';
        } catch (...) {
            std::cerr << "tessiro: tick failed\n";
        }
    };
    QObject::connect(&timer, &QTimer::timeout, tick);
    timer.start();
    // The first tick as soon as the event loop runs, not a whole interval
    // later: files that waited in Ostro during a restart go at once.
    QTimer::singleShot(0, &timer, tick);

    ShutdownSignals shutdown;
    if (!shutdown.installed())
        std::cerr << "tessiro: SIGTERM and SIGINT will end the bridge without its closing record\n";
    bool ending = false;
    QObject::connect(&shutdown, &ShutdownSignals::received, [&](int) {
        if (ending)
            return;
        ending = true;
        timer.stop();
        bridge.chiusura();
        QCoreApplication::quit();
    });

    return app->exec();
}

int runTestReceipt(const fs::path& dir, int& argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::unique_ptr<SimulatedPrinter> printer = openPrinter(dir);
    if (!printer)
        return ExitFailure;
    SystemClock clock;
    return testReceipt(dir, *printer, clock, std::cerr);
}

} // namespace

int main(int argc, char** argv)
{
    // The logs' date and time follow the system's locale.
    std::setlocale(LC_ALL, "");
    QCoreApplication::setApplicationName(QStringLiteral("tessiro"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSIRO_VERSION));

    const CommandLine command = parseCommandLine(std::vector<std::string>(argv, argv + argc));
    switch (command.action) {
    case CommandLine::Action::ShowHelp:
        std::cout << usageText().toStdString();
        return 0;
    case CommandLine::Action::ShowVersion:
        std::cout << "tessiro " TESSIRO_VERSION "\n";
        return 0;
    case CommandLine::Action::Invalid:
        std::cerr << "tessiro: " << command.error << "\nTry 'tessiro --help'.\n";
        return ExitUsage;
    default:
        break;
    }

    std::error_code ec;
    // --dir, else TESSIRO_DIR (the installed service's environment file sets
    // it, so `tessiro ctl stato` finds that bridge), else the executable's folder.
    fs::path dir;
    if (command.programDir)
        dir = fs::absolute(*command.programDir, ec);
    else if (const char* env = std::getenv("TESSIRO_DIR"); env && *env)
        dir = fs::absolute(fs::path(env), ec);
    else
        dir = executableDir(argv[0]);

    switch (command.action) {
    case CommandLine::Action::Control:
        return runControlCommand(dir, command.controlCommand, argc, argv);
    case CommandLine::Action::ConfigGet:
        return configGet(command, dir, std::cout, std::cerr);
    case CommandLine::Action::ConfigSet:
        return configSet(command, dir, std::cerr);
    default:
        break;
    }

    if (const std::string problem = programDirProblem(dir); !problem.empty()) {
        std::cerr << "tessiro: " << problem << '\n';
        return ExitUsage;
    }
    if (command.action == CommandLine::Action::TestReceipt)
        return runTestReceipt(dir, argc, argv);
    return runBridge(dir, runHeadless(command.headless, QProcessEnvironment::systemEnvironment()), command.verbosity,
                     argc, argv);
}
