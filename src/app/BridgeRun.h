// SPDX-License-Identifier: MIT
#pragma once

#include "app/CommandLine.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

class Bridge;
class Clock;
class QTimer;
class OperatorWindow;
class PrinterControl;

inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;
inline constexpr int ExitFolderTaken = 3;
// The folder's lock file cannot be made (permissions, a read-only or full
// disk): not another bridge, so not ExitFolderTaken.
inline constexpr int ExitNoLock = 5;

// What a window adds to a running bridge. The headless bridge has none: its
// questions and messages go to standard error.
class WindowFront {
public:
    virtual ~WindowFront() = default;
    virtual OperatorWindow& operatorWindow() = 0;
    // Connects the window to the bridge, once, before the first tick.
    virtual void attach(Bridge& bridge) = 0;
    // Brings the window to the front (the control command "mostra").
    virtual void show() = 0;

    // Set by runBridgeLoop before the first tick: stops the polling and the
    // control socket at once. The window calls it when the operator has
    // confirmed the exit, whatever other window is still open.
    std::function<void()> stopTaking;
};

// What both executables do first: the locale for the system's messages,
// the application's name and version, then the command line.
CommandLine startProgram(int argc, char** argv);

// The program folder: --dir, else TESSIRO_DIR (the installed service's
// environment file sets it, so `tessiro ctl stato` finds that bridge), else
// defaultProgramDir() of the running executable's folder, made when missing
// (`made` then tells).
std::filesystem::path resolveProgramDir(const CommandLine& command, const char* argv0, bool* made = nullptr);

// The folder used without --dir and TESSIRO_DIR: the executable's folder when
// it is writable and no system folder (a build tree, a portable copy), else
// $XDG_DATA_HOME/tessiro, or ~/.local/share/tessiro when XDG_DATA_HOME is
// unset or not absolute. Creates neither.
std::filesystem::path defaultProgramDir(const std::filesystem::path& executableDir, const char* xdgDataHome,
                                        const char* home);
// True for folders of the system (/usr, /bin, /etc, ...): installed programs
// live there, and a program folder there would mix a shop's files with them.
bool isSystemFolder(const std::filesystem::path& dir);

// The folder of the running executable.
std::filesystem::path executableDir(const char* argv0);

// The printer chosen for dir (Stampante.ini: the simulated printer unless
// init chose a LAN printer), or null after saying on standard error why it
// could not start. `description` gets the choice in words. The printer
// takes its time from `clock`. The Qt application must exist.
std::unique_ptr<PrinterControl> openPrinter(const std::filesystem::path& dir, Clock& clock,
                                            std::string* description = nullptr);

// Runs the bridge on dir until Esci is confirmed or SIGTERM/SIGINT arrives:
// simulated printer, control server, polling timer. The application object
// must exist and the folder lock be held. front is null for the headless
// bridge. Returns the process's exit status.
int runBridgeLoop(const std::filesystem::path& dir, CommandLine::Verbosity verbosity, WindowFront* front);

// Starts `settleCheck` (single shot) for the moment the first file now
// settling in the drop folder has been still long enough; stops it when none
// is settling.
void scheduleSettleCheck(Bridge& bridge, QTimer& settleCheck);

// A second start with a window on a folder that a bridge holds: the operator
// is looking for the window, so the running bridge is asked to show it.
// Makes its own application object.
int showRunningBridge(const std::filesystem::path& dir, const std::string& why, int& argc, char** argv);
