// SPDX-License-Identifier: MIT
#pragma once

#include "core/ProgramFiles.h"
#include "core/WorkingSettings.h"

#include <filesystem>
#include <string>

// The state the window's module shares with every part of the bridge. One
// plain object owned by main() and passed by reference.
struct SharedState {
    std::filesystem::path programDir;
    bool errorState = false;     // an error stands on the window
    std::string lastErrorText;   // date-time, CR LF, message
    bool batchRunning = false;   // a batch of command files is under way
    WorkingSettings settings;
    // Which printer the control drives, in words ("stampante simulata",
    // "stampante LAN http://..."), for ctl stato and the About box.
    std::string printerDescription;

    std::filesystem::path configFile() const { return programDir / files::ConfigFile; }
    std::filesystem::path dropDir() const { return programDir / files::DropFolder; }
    std::filesystem::path workDir() const { return programDir / files::WorkFolder; }
    std::filesystem::path fiscalLog() const { return programDir / files::FiscalLog; }
    std::filesystem::path notFiscalLog() const { return programDir / files::NotFiscalLog; }

    // The bare name of the command file the error handler files its records
    // under ("" for none): it stays after the file is done with, until the
    // next tick, as the records of the recovery buttons expect. A mirror of
    // the error handler's job, for the window and `ctl stato`; only the
    // error handler sets it.
    const std::string& currentFileName() const { return m_currentFileName; }

private:
    friend class ErrorHandler;
    std::string m_currentFileName;
};
