// SPDX-License-Identifier: MIT
#pragma once

#include "config/Keys.h"
#include "config/WorkingSettings.h"

#include <filesystem>
#include <string>

class PrinterControl;

// The state the window's module shares with every part of the bridge. One
// plain object owned by main() and passed by reference.
struct SharedState {
    std::filesystem::path programDir;
    bool errorState = false;        // an error stands on the window
    std::string currentFileName;    // bare name of the command file being run
    std::string lastErrorText;      // date-time, CR LF, message
    bool batchRunning = false;      // a batch of command files is under way
    WorkingSettings settings;
    PrinterControl* control = nullptr;
    // Which printer the control drives, in words ("stampante simulata",
    // "stampante LAN http://..."), for ctl stato and the About box.
    std::string printerDescription;

    std::filesystem::path configFile() const { return programDir / keys::ConfigFile; }
    std::filesystem::path dropDir() const { return programDir / "Ostro"; }
    std::filesystem::path workDir() const { return programDir / "IN"; }
    std::filesystem::path fiscalLog() const { return programDir / "FiscalError.log"; }
    std::filesystem::path notFiscalLog() const { return programDir / "NotFiscalError.log"; }
};
