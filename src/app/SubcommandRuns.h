// SPDX-License-Identifier: MIT
#pragma once

#include "app/CommandLine.h"

#include <filesystem>
#include <vector>

// What main() hands the form it runs (the `run` of a row of subcommands()).
// Each run returns the process's exit status; it writes to the process's
// standard streams, and may create the Qt application or replace the
// process with another program.
struct SubcommandCall {
    const CommandLine& command;
    // The program folder: --dir, else TESSIRO_DIR, else the default one;
    // `dirMade` when finding the default made it.
    std::filesystem::path dir;
    bool dirMade = false;
    int& argc;
    char** argv;
    // Where the programs that ship beside this one (the window program, the
    // serving program) may be, tried in order: in a build tree, installed.
    std::vector<std::filesystem::path> helperDirs;
};

// The bridge itself: headless, or handed over to the window program.
int runBridgeForm(const SubcommandCall& call);
int runConfigForm(const SubcommandCall& call);
int runTestReceiptForm(const SubcommandCall& call);
int runInitForm(const SubcommandCall& call);
int runCheckForm(const SubcommandCall& call);
int runLogForm(const SubcommandCall& call);
// Hands over to the serving program, which alone links the HTTP server.
int runServePrinterForm(const SubcommandCall& call);
int runCtlForm(const SubcommandCall& call);
