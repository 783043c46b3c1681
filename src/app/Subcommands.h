// SPDX-License-Identifier: MIT
#pragma once

#include "app/CommandLine.h"

#include <filesystem>
#include <iosfwd>
#include <string>

class PrinterControl;
class Clock;

// The command-line tools that run beside a bridge: they take no folder lock,
// so the configuration can be read and set while the bridge runs. Each
// returns the process's exit status and says what went wrong on `err`.

// Empty when `dir` is a usable program directory, else why not (English).
std::string programDirProblem(const std::filesystem::path& dir);

// config get: the value as the bridge reads it, its bytes and a newline.
int configGet(const CommandLine& command, const std::filesystem::path& programDir, std::ostream& out,
              std::ostream& err);
// config set: writes the value as the bridge writes it.
int configSet(const CommandLine& command, const std::filesystem::path& programDir, std::ostream& err);

// test-receipt: prints the test receipt on `control` with the settings of the
// program directory's configuration; failures go to the logs as usual and
// the window's texts to `err`. 0 when every step succeeded.
int testReceipt(const std::filesystem::path& programDir, PrinterControl& control, Clock& clock, std::ostream& err);

// init: prepares a program directory for the simulated printer. Creates the
// directory with its drop folder Ostro and work folder IN (as the bridge
// makes them), and stores keys::SimulatorPort and keys::SimulatorPortSettings where the
// stored value is missing or blank (a blank port never opens); any other
// stored value is the operator's and stays. Says what it did on `out`, and
// of each folder whether it made it: `justMade` when the caller made the
// directory itself a moment before (the user's default folder).
// 0 when the directory is ready, 1 when it could not be made so.
int initProgramDir(const std::filesystem::path& programDir, std::ostream& out, std::ostream& err,
                   bool justMade = false);

// init --printer (after initProgramDir): stores the printer choice (lan/PrinterChoice.h). A bridge that
// holds the folder takes the new choice at its next start; init says so.
int initFolder(const CommandLine& command, const std::filesystem::path& programDir, std::ostream& out,
               std::ostream& err);
