// SPDX-License-Identifier: MIT
#include "app/BridgeRun.h"

#include "app/ControlClient.h"
#include "app/ControlProtocol.h"
#include "app/ControlServer.h"
#include "app/OperationsLog.h"
#include "app/ShutdownSignals.h"
#include "app/SystemdNotify.h"
#include "bridge/Bridge.h"
#include "bridge/ConsoleWindow.h"
#include "bridge/Intake.h"
#include "core/Clock.h"
#include "core/SharedState.h"
#include "lan/PrinterChoice.h"
#include "printer/PrinterControl.h"

#include <QCoreApplication>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <vector>

namespace fs = std::filesystem;

namespace {

OperationsLog::Level operationsLevel(CommandLine::Verbosity verbosity)
{
    switch (verbosity) {
    case CommandLine::Verbosity::Quiet: return OperationsLog::Level::Quiet;
    case CommandLine::Verbosity::Verbose: return OperationsLog::Level::Verbose;
    case CommandLine::Verbosity::Normal: break;
    }
    return OperationsLog::Level::Normal;
}

// SIGHUP: what `tessiro ctl ricarica` does, said once on standard error.
void reloadSettings(Bridge& bridge)
{
    bridge.reload();
    // A notice for the journal, like the action records' lines.
    if (OperationsLog::stderrIsJournal())
        std::cerr << "<5>";
    std::cerr << "tessiro: settings reloaded from " << bridge.state().configFile().string() << std::endl;
}

} // namespace

void scheduleSettleCheck(Bridge& bridge, QTimer& settleCheck)
{
    const auto next = bridge.intake().nextSettled();
    if (!next) {
        settleCheck.stop();
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - bridge.intake().now());
    settleCheck.start(static_cast<int>(std::clamp<long long>(wait.count() + 1, 1, Bridge::MaxInterval)));
}

std::unique_ptr<PrinterControl> openPrinter(const fs::path& dir, Clock& clock, std::string* description)
{
    if (description)
        *description = readPrinterChoice(dir).describe();
    return makeChosenPrinter(dir, clock, std::cerr);
}

CommandLine startProgram(int argc, char** argv)
{
    // The system's messages (strerror) in the user's language; the logs'
    // dates do not depend on it.
    std::setlocale(LC_ALL, "");
    QCoreApplication::setApplicationName(QStringLiteral("tessiro"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSIRO_VERSION));
    return parseCommandLine(std::vector<std::string>(argv, argv + argc));
}

fs::path executableDir(const char* argv0)
{
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec)
        return exe.parent_path();
    return fs::absolute(argv0, ec).parent_path();
}

fs::path resolveProgramDir(const CommandLine& command, const char* argv0, bool* made)
{
    std::error_code ec;
    if (command.programDir)
        return fs::absolute(*command.programDir, ec);
    if (const char* env = std::getenv("TESSIRO_DIR"); env && *env)
        return fs::absolute(fs::path(env), ec);
    const fs::path exeDir = executableDir(argv0);
    const fs::path dir = defaultProgramDir(exeDir, std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
    // The user's data folder is made on first use, as the user unit and the
    // desktop entry expect; a failure shows when the folder is used.
    if (dir != exeDir && fs::create_directories(dir, ec) && made)
        *made = true;
    return dir;
}

bool isSystemFolder(const fs::path& dir)
{
    std::error_code ec;
    fs::path real = fs::weakly_canonical(fs::absolute(dir, ec), ec);
    if (ec)
        real = dir.lexically_normal();
    static const char* const systemRoots[] = {"/usr", "/bin",  "/sbin", "/lib",  "/lib32", "/lib64", "/libx32",
                                              "/etc", "/boot", "/dev",  "/proc", "/sys",   "/run",   "/var/lib"};
    if (real == real.root_path())
        return true;
    for (const char* root : systemRoots) {
        const fs::path base(root);
        auto [baseEnd, realIt] = std::mismatch(base.begin(), base.end(), real.begin(), real.end());
        if (baseEnd == base.end())
            return true;
    }
    return false;
}

fs::path defaultProgramDir(const fs::path& exeDir, const char* xdgDataHome, const char* home)
{
    if (!exeDir.empty() && !isSystemFolder(exeDir) && ::access(exeDir.c_str(), W_OK | X_OK) == 0)
        return exeDir;
    // Relative values are to be ignored, by the base directory rules.
    if (xdgDataHome && *xdgDataHome == '/')
        return fs::path(xdgDataHome) / "tessiro";
    if (home && *home)
        return fs::path(home) / ".local" / "share" / "tessiro";
    // No home at all (a bare service account): the executable's folder is
    // all there is, and its use reports what is wrong with it.
    return exeDir;
}

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

int runBridgeLoop(const fs::path& dir, CommandLine::Verbosity verbosity, WindowFront* front)
{
    SharedState state;
    state.programDir = dir;
    SystemClock clock;
    const std::unique_ptr<PrinterControl> printer = openPrinter(dir, clock, &state.printerDescription);
    if (!printer)
        return ExitFailure;

    std::unique_ptr<ConsoleWindow> console;
    if (!front)
        console = std::make_unique<ConsoleWindow>(std::cerr, OperationsLog::stderrIsJournal());
    OperatorWindow& window = front ? front->operatorWindow() : *console;

    // Without a window the logs' records go to standard error as well, for
    // the journal; with one, only when asked for.
    std::unique_ptr<OperationsLog> operations;
    if (!front || verbosity == CommandLine::Verbosity::Verbose)
        operations = std::make_unique<OperationsLog>(std::cerr, operationsLevel(verbosity),
                                                     OperationsLog::stderrIsJournal());

    Bridge bridge(state, window, clock, *printer);
    if (operations)
        operations->attach(bridge);
    if (front)
        front->attach(bridge);

    const int interval = bridge.start();

    ControlServer controlServer(bridge);
    if (front)
        controlServer.showWindow = [front] { front->show(); };
    if (operations)
        controlServer.onRequest = [&operations](const std::string& command, const std::string& outcome) {
            operations->request(command, outcome);
        };
    if (const std::string note = control::chooseSocketFolder(control::socketPlaces()).note; !note.empty())
        std::cerr << "tessiro: " << note << '\n';
    if (!controlServer.listen())
        std::cerr << "tessiro: " << controlServer.why() << '\n';

    // Under systemd: ready after the first tick, the error state in STATUS=,
    // and the watchdog fed by the event loop and by the work itself: between
    // files, between records, in the busy wait and in every slice of a wait
    // on the printer.
    SystemdNotify notify = SystemdNotify::fromEnvironment(clock);
    clock.onWorking = [&notify] { notify.keepAlive(); };
    printer->whileWaiting = [&clock] { clock.stillWorking(); };
    ServiceReporter service(notify);
    const auto tellService = [&service, &state] { service.report(state); };
    QTimer watchdog;
    if (notify.watchdogInterval().count() > 0) {
        watchdog.setInterval(notify.watchdogInterval() / 4);
        QObject::connect(&watchdog, &QTimer::timeout, [&notify] { notify.keepAlive(); });
        watchdog.start();
    }

    QTimer timer;
    timer.setInterval(interval);
    // A file that is settling is looked at again the moment its settle
    // period ends, not at the next tick after it.
    QTimer settleCheck;
    settleCheck.setSingleShot(true);
    // Once the exit is confirmed nothing more is taken, even while another
    // window keeps the event loop going.
    bool stopped = false;
    const auto tick = [&bridge, &tellService, &stopped, &settleCheck] {
        if (stopped)
            return;
        // Nothing may unwind into the event loop: the bridge would end
        // without a word in the middle of the shop's day.
        try {
            bridge.tick();
            scheduleSettleCheck(bridge, settleCheck);
        } catch (const std::exception& e) {
            std::cerr << "tessiro: tick failed: " << e.what() << '\n';
        } catch (...) {
            std::cerr << "tessiro: tick failed\n";
        }
        tellService();
    };
    QObject::connect(&settleCheck, &QTimer::timeout, tick);
    QObject::connect(&timer, &QTimer::timeout, tick);
    timer.start();
    // The first tick as soon as the event loop runs, not a whole interval
    // later: files that waited in Ostro during a restart go at once.
    QTimer::singleShot(0, &timer, tick);
    // A file closed or moved into Ostro is taken at once; the timer is still
    // there for everything else (a held-back file, a busy flag, a share
    // whose changes the kernel does not see).
    const DropWatch dropWatch(state.dropDir(), tick);

    if (front)
        front->stopTaking = [&] {
            stopped = true;
            timer.stop();
            settleCheck.stop();
            controlServer.close();
        };

    ShutdownSignals shutdown;
    if (!shutdown.installed())
        std::cerr << "tessiro: SIGTERM and SIGINT will end the bridge without its closing record\n";
    bool ending = false;
    QObject::connect(&shutdown, &ShutdownSignals::reloadRequested, [&] {
        if (!ending && !stopped)
            reloadSettings(bridge);
    });
    QObject::connect(&shutdown, &ShutdownSignals::received, [&](int) {
        if (ending)
            return;
        if (stopped) { // the exit was confirmed and filed already
            QCoreApplication::quit();
            return;
        }
        ending = true;
        notify.send("STOPPING=1");
        timer.stop();
        settleCheck.stop();
        bridge.shutdown();
        QCoreApplication::quit();
    });

    const int status = QCoreApplication::exec();
    if (front)
        front->stopTaking = nullptr; // it holds this function's locals
    return status;
}
