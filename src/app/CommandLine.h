// SPDX-License-Identifier: MIT
#pragma once

#include <QProcessEnvironment>
#include <QString>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// What the command line asks for:
//   tessiro [--dir DIR] [--headless]
//   tessiro config get [--dir DIR] [--file F] [--section S] KEY [DEFAULT]
//   tessiro config set [--dir DIR] [--file F] [--section S] KEY VALUE
//   tessiro test-receipt [--dir DIR]
//   tessiro ctl [--dir DIR] COMMAND
//   tessiro init [--dir DIR] [--printer simulatore|http(s)://HOST[:PORT]]
//   tessiro check [--dir DIR] FILE...
//   tessiro log [--dir DIR] [--follow] [--fiscal|--non-fiscal]
//   tessiro serve-printer --dir DIR --listen HOST:PORT
// Arguments are taken as raw bytes, so keys and values reach the INI file
// (8-bit text) unchanged. A value that starts with "-" and a digit ("-1") is
// a value, not an option; any other value starting with "-" follows "--".
struct CommandLine {
    enum class Action {
        RunBridge,
        ConfigGet,
        ConfigSet,
        TestReceipt,
        Control,
        Init,
        Check,
        Log,
        ShowHelp,
        ShowVersion,
        Invalid,
        ServePrinter
    };
    // How much the bridge says on standard error (--quiet, --verbose).
    enum class Verbosity { Quiet, Normal, Verbose };

    Action action = Action::RunBridge;
    // --dir; empty when not given (TESSIRO_DIR or the default folder is meant).
    std::optional<std::filesystem::path> programDir;
    bool headless = false;
    Verbosity verbosity = Verbosity::Normal;
    // ctl: one of the commands of ControlProtocol.h.
    std::string controlCommand;
    // config: --file (relative to the current directory) and --section.
    std::optional<std::filesystem::path> file;
    std::string section;
    std::string key;
    // config set: VALUE; config get: DEFAULT ("" when not given).
    std::string value;
    // init: --printer, when given.
    std::optional<std::string> printer;
    // serve-printer: --listen.
    std::string listen;
    // check: the command files, as given.
    std::vector<std::filesystem::path> files;
    // log: which logs, and whether to wait for new records.
    enum class Logs { Both, Fiscal, NonFiscal };
    Logs logs = Logs::Both;
    bool follow = false;
    // Invalid: what is wrong, one line in English.
    std::string error;
    // ShowHelp: the subcommand whose help is asked for ("" for all).
    std::string helpTopic;
};

// Parses the arguments (args[0] is the program's name).
CommandLine parseCommandLine(const std::vector<std::string>& args);

// The text of --help.
// The help of the whole command line, or of one subcommand ("ctl").
QString usageText(const std::string& subcommand = {});
// The subcommands: "config", "ctl", ... (the bridge itself has none).
bool isSubcommand(const std::string& word);
std::vector<std::string> subcommandNames();

// True when the bridge has to run without a window: asked for, or no display
// to show one on (no DISPLAY and no WAYLAND_DISPLAY, or a Qt platform
// without a screen such as offscreen).
bool runHeadless(bool asked, const QProcessEnvironment& environment);
