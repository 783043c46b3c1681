// SPDX-License-Identifier: MIT
#pragma once

#include <QProcessEnvironment>
#include <QString>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct Subcommand;
struct SubcommandCall;

// What the command line asks for: the bridge itself, or one of the
// subcommands of the table subcommands() (CommandLine.cpp lists them with
// their options and help).
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
    // The form that runs: a subcommand's row, or the bridge's own (no
    // name); null for help, version and a mistake.
    const Subcommand* subcommand = nullptr;
};

// The options a command line gives, by long name ("dir"), each with its
// value ("" for a flag).
struct GivenOptions {
    std::map<std::string, std::string, std::less<>> values;

    bool has(std::string_view name) const { return values.find(name) != values.end(); }
    std::string value(std::string_view name) const;
};

// One form of the command line: the bridge itself (no name) or a
// subcommand. Parsing, --help, the usage text and main()'s dispatch read
// the table of these rows, subcommands().
struct Subcommand {
    // The word after "tessiro"; empty for the bridge itself.
    std::string_view name{};
    // The options it takes besides --dir and --help, by long name,
    // separated by blanks.
    std::string_view options{};
    // Its part of the usage text: each form and what it does.
    std::string_view usage{};
    // Lines the usage adds after `usage` (ctl: its commands); null for none.
    QString (*usageList)() = nullptr;
    // Reads the words after the name, and the option values it needs, into
    // `line`; returns what is wrong (one line in English), "" when they fit.
    // Null for a form that takes no words.
    std::string (*take)(CommandLine& line, const std::vector<std::string>& words, const GivenOptions& given) = nullptr;
    // Whether one of `options` fits the line as taken (ctl: --json fits
    // "stato" only); null when each always does.
    bool (*fits)(const CommandLine& line, std::string_view option) = nullptr;
    // Runs it in the tessiro executable; returns the exit status.
    int (*run)(const SubcommandCall& call) = nullptr;
};

// Every form, in the order --help lists them; the bridge's own first.
std::span<const Subcommand> subcommands();
// Every option `form` takes, as "--name": --dir and --help included.
std::vector<std::string> optionsOf(const Subcommand& form);

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
