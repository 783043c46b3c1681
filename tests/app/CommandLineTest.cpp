// SPDX-License-Identifier: MIT
#include "app/CommandLine.h"
#include "app/ControlProtocol.h"
#include "bridge/OperatorCommands.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <ostream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Action = CommandLine::Action;

CommandLine parse(std::vector<std::string> words)
{
    words.insert(words.begin(), "tessiro");
    return parseCommandLine(words);
}

struct Accepted {
    const char* name;
    std::vector<std::string> words;
    Action action;
    std::string dir; // "" when not given
    bool headless;
    std::string file;
    std::string section;
    std::string key;
    std::string value;
};

class CommandLineAccepted : public ::testing::TestWithParam<Accepted> {};

TEST_P(CommandLineAccepted, ArgumentsGiveTheirCommand)
{
    const Accepted& c = GetParam();
    const CommandLine got = parse(c.words);
    ASSERT_EQ(got.action, c.action) << got.error;
    EXPECT_EQ(got.programDir ? got.programDir->string() : "", c.dir);
    EXPECT_EQ(got.headless, c.headless);
    EXPECT_EQ(got.file ? got.file->string() : "", c.file);
    EXPECT_EQ(got.section, c.section);
    EXPECT_EQ(got.key, c.key);
    EXPECT_EQ(got.value, c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, CommandLineAccepted,
    ::testing::Values(
        Accepted{"Nothing", {}, Action::RunBridge, "", false, "", "", "", ""},
        Accepted{"DirAndHeadless",
                 {"--dir", "/srv/cassa", "--headless"},
                 Action::RunBridge,
                 "/srv/cassa",
                 true,
                 "",
                 "",
                 "",
                 ""},
        Accepted{"DirWithEquals", {"--dir=/srv/cassa"}, Action::RunBridge, "/srv/cassa", false, "", "", "", ""},
        Accepted{"Help", {"--help"}, Action::ShowHelp, "", false, "", "", "", ""},
        Accepted{"ShortHelp", {"-h"}, Action::ShowHelp, "", false, "", "", "", ""},
        Accepted{"Version", {"--version"}, Action::ShowVersion, "", false, "", "", "", ""},
        Accepted{"ConfigGet", {"config", "get", "Eps_COM"}, Action::ConfigGet, "", false, "", "Varie", "Eps_COM", ""},
        Accepted{"ConfigGetWithDefault",
                 {"config", "get", "--dir", "d", "Eps_Delay", "50"},
                 Action::ConfigGet,
                 "d",
                 false,
                 "",
                 "Varie",
                 "Eps_Delay",
                 "50"},
        Accepted{"ConfigGetFileAndSection",
                 {"config", "get", "--file", "x.ini", "--section", "Altro", "k"},
                 Action::ConfigGet,
                 "",
                 false,
                 "x.ini",
                 "Altro",
                 "k",
                 ""},
        Accepted{"ConfigSet",
                 {"config", "set", "--dir", "demo", "Eps_COM", "1"},
                 Action::ConfigSet,
                 "demo",
                 false,
                 "",
                 "Varie",
                 "Eps_COM",
                 "1"},
        // Flags of the shared file are negative numbers, not options.
        Accepted{"ConfigSetNegativeFlag",
                 {"config", "set", "Eps_Vuoto", "-1"},
                 Action::ConfigSet,
                 "",
                 false,
                 "",
                 "Varie",
                 "Eps_Vuoto",
                 "-1"},
        Accepted{"ConfigSetDirAfterValue",
                 {"config", "set", "Eps_Vuoto", "-1", "--dir", "d"},
                 Action::ConfigSet,
                 "d",
                 false,
                 "",
                 "Varie",
                 "Eps_Vuoto",
                 "-1"},
        Accepted{"ConfigSetAfterDoubleDash",
                 {"config", "set", "k", "--", "--x"},
                 Action::ConfigSet,
                 "",
                 false,
                 "",
                 "Varie",
                 "k",
                 "--x"},
        Accepted{"ConfigSetDashedDir",
                 {"config", "set", "--dir", "-strana", "k", "v"},
                 Action::ConfigSet,
                 "-strana",
                 false,
                 "",
                 "Varie",
                 "k",
                 "v"},
        // Bytes pass unchanged: a windows-1252 euro sign and a raw backslash path.
        Accepted{"ConfigSetRawBytes",
                 {"config", "set", "Kelmora_DIR", "C:\\KELMORA\\\x80"},
                 Action::ConfigSet,
                 "",
                 false,
                 "",
                 "Varie",
                 "Kelmora_DIR",
                 "C:\\KELMORA\\\x80"},
        Accepted{"ConfigSetEmptyValue",
                 {"config", "set", "Eps_Setting", ""},
                 Action::ConfigSet,
                 "",
                 false,
                 "",
                 "Varie",
                 "Eps_Setting",
                 ""},
        Accepted{"TestReceipt", {"test-receipt", "--dir", "demo"}, Action::TestReceipt, "demo", false, "", "", "", ""},
        Accepted{"Init", {"init"}, Action::Init, "", false, "", "", "", ""},
        Accepted{"InitWithDir", {"init", "--dir", "demo"}, Action::Init, "demo", false, "", "", "", ""}),
    rownames::byName);

// A command line the parser refuses, and the words of its complaint that name
// the mistake.
struct Mistake {
    const char* name;
    std::vector<std::string> words;
    std::string reason;
};

class CommandLineRejected : public ::testing::TestWithParam<Mistake> {};

TEST_P(CommandLineRejected, MistakeIsRefusedWithAReason)
{
    const CommandLine got = parse(GetParam().words);
    EXPECT_EQ(got.action, Action::Invalid);
    EXPECT_NE(got.error.find(GetParam().reason), std::string::npos) << got.error;
}

const std::string ConfigNeedsVerb = "config needs \"get\" or \"set\"";
const std::string KeyStart = "a key must not start with \"[\" or \";\"";
const std::string HeadlessIsTheBridges = "--headless belongs to the bridge itself";
const std::string OnlyForConfig = "--file and --section belong to \"config get\" and \"config set\"";
const std::string VerbosityIsTheBridges = "--quiet and --verbose belong to the bridge itself";

INSTANTIATE_TEST_SUITE_P(
    Mistakes, CommandLineRejected,
    ::testing::Values(
        Mistake{"UnknownOption", {"--bogus"}, "Unknown option 'bogus'"},
        Mistake{"DirWithoutValue", {"--dir"}, "--dir needs a value"},
        Mistake{"DirEmpty", {"--dir", ""}, "--dir needs a directory"},
        Mistake{"UnknownCommand", {"stampa"}, "unknown command \"stampa\""},
        Mistake{"ConfigAlone", {"config"}, ConfigNeedsVerb},
        Mistake{"ConfigUnknownVerb", {"config", "del", "k"}, ConfigNeedsVerb},
        Mistake{"GetWithoutKey", {"config", "get"}, "usage: tessiro config get"},
        Mistake{"GetWithTooManyWords", {"config", "get", "a", "b", "c"}, "usage: tessiro config get"},
        Mistake{"SetWithoutValue", {"config", "set", "k"}, "usage: tessiro config set"},
        Mistake{"SetEmptyKey", {"config", "set", "", "v"}, "KEY must not be empty"},
        Mistake{"KeyWithEquals", {"config", "set", "a=b", "v"}, "\"=\" is not allowed in a key"},
        Mistake{"KeyLikeASection", {"config", "set", "[Varie]", "v"}, KeyStart},
        Mistake{"KeyLikeAComment", {"config", "set", ";k", "v"}, KeyStart},
        Mistake{
            "SectionWithBracket", {"config", "set", "--section", "A]B", "k", "v"}, "\"]\" is not allowed in a section"},
        Mistake{"SectionEmpty", {"config", "set", "--section", "", "k", "v"}, "the section must not be empty"},
        Mistake{"HeadlessForConfig", {"config", "get", "--headless", "k"}, HeadlessIsTheBridges},
        Mistake{"FileForTheBridge", {"--file", "x.ini"}, OnlyForConfig},
        Mistake{"SectionForTestReceipt", {"test-receipt", "--section", "S"}, OnlyForConfig},
        Mistake{"TestReceiptWithAWord", {"test-receipt", "ora"}, "test-receipt takes no arguments"},
        Mistake{"InitWithAWord", {"init", "demo"}, "init takes no arguments besides --dir and --printer"},
        Mistake{"HeadlessForInit", {"init", "--headless"}, HeadlessIsTheBridges},
        Mistake{"CheckWithoutFile", {"check"}, "usage: tessiro check"},
        Mistake{
            "FollowForCheck", {"check", "--follow", "f.txt"}, "--follow, --fiscal and --non-fiscal belong to \"log\""},
        Mistake{"LogWithAFile", {"log", "FiscalError.log"}, "log takes no arguments besides its options"},
        Mistake{"LogBothKindsOnly", {"log", "--fiscal", "--non-fiscal"}, "--fiscal and --non-fiscal exclude each other"},
        Mistake{"QuietForLog", {"log", "--quiet"}, VerbosityIsTheBridges}),
    rownames::byName);

// The integrator's tools: the files of check, the logs and follow of log.
struct ToolForm {
    const char* name;
    std::vector<std::string> words;
    Action action;
    std::vector<std::string> files;
    CommandLine::Logs logs;
    bool follow;
};

class CommandLineTools : public ::testing::TestWithParam<ToolForm> {};

TEST_P(CommandLineTools, ToolsTakeTheirFilesAndOptions)
{
    const ToolForm& form = GetParam();
    const CommandLine got = parse(form.words);
    ASSERT_EQ(got.action, form.action) << got.error;
    std::vector<std::string> files;
    for (const auto& file : got.files)
        files.push_back(file.string());
    EXPECT_EQ(files, form.files);
    EXPECT_EQ(got.logs, form.logs);
    EXPECT_EQ(got.follow, form.follow);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, CommandLineTools,
    ::testing::Values(
        ToolForm{"CheckOneFile", {"check", "a.txt"}, Action::Check, {"a.txt"}, CommandLine::Logs::Both, false},
        ToolForm{"CheckFilesWithADir",
                 {"check", "--dir", "d", "a.txt", "b.txt"},
                 Action::Check,
                 {"a.txt", "b.txt"},
                 CommandLine::Logs::Both,
                 false},
        ToolForm{
            "CheckADashedName", {"check", "--", "-a.txt"}, Action::Check, {"-a.txt"}, CommandLine::Logs::Both, false},
        ToolForm{"CheckAnEightBitName",
                 {"check", "caff\xe8.txt"},
                 Action::Check,
                 {"caff\xe8.txt"},
                 CommandLine::Logs::Both,
                 false},
        ToolForm{"CheckStandardInput", {"check", "-"}, Action::Check, {"-"}, CommandLine::Logs::Both, false},
        ToolForm{"LogBoth", {"log"}, Action::Log, {}, CommandLine::Logs::Both, false},
        ToolForm{"LogFiscalFollowed", {"log", "--follow", "--fiscal"}, Action::Log, {}, CommandLine::Logs::Fiscal, true},
        ToolForm{
            "LogNonFiscal", {"log", "--dir", "d", "--non-fiscal"}, Action::Log, {}, CommandLine::Logs::NonFiscal, false}),
    rownames::byName);

struct DisplayCase {
    const char* name;
    bool asked;
    std::vector<std::pair<const char*, const char*>> environment;
    bool headless;
};

class CommandLineHeadless : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(CommandLineHeadless, WindowOnlyWhereADisplayCanShowIt)
{
    QProcessEnvironment environment;
    for (const auto& [name, value] : GetParam().environment)
        environment.insert(QString::fromLatin1(name), QString::fromLatin1(value));
    EXPECT_EQ(runHeadless(GetParam().asked, environment), GetParam().headless);
}

INSTANTIATE_TEST_SUITE_P(
    Environments, CommandLineHeadless,
    ::testing::Values(
        DisplayCase{"NoDisplay", false, {}, true}, DisplayCase{"X11Display", false, {{"DISPLAY", ":0"}}, false},
        DisplayCase{"WaylandDisplay", false, {{"WAYLAND_DISPLAY", "wayland-0"}}, false},
        DisplayCase{"AskedWithADisplay", true, {{"DISPLAY", ":0"}}, true},
        DisplayCase{"OffscreenPlatform", false, {{"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "offscreen"}}, true},
        DisplayCase{"MinimalPlatform", false, {{"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "minimal"}}, true},
        DisplayCase{"XcbWithoutDisplay", false, {{"QT_QPA_PLATFORM", "xcb"}}, true},
        DisplayCase{"PlatformListWithDisplay", false, {{"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "wayland;xcb"}}, false},
        DisplayCase{"PlatformListWithoutDisplay", false, {{"QT_QPA_PLATFORM", "wayland;xcb"}}, true},
        DisplayCase{"FramebufferPlatform", false, {{"QT_QPA_PLATFORM", "linuxfb"}}, false}),
    rownames::byName);

struct ControlCase {
    std::vector<std::string> words;
    std::string command;
    std::string dir;
};

class CommandLineControl : public ::testing::TestWithParam<ControlCase> {};

TEST_P(CommandLineControl, CtlNamesTheWindowCommandAndTheFolder)
{
    const CommandLine got = parse(GetParam().words);
    ASSERT_EQ(got.action, Action::Control) << got.error;
    EXPECT_EQ(got.controlCommand, GetParam().command);
    EXPECT_EQ(got.programDir ? got.programDir->string() : "", GetParam().dir);
}

INSTANTIATE_TEST_SUITE_P(Forms, CommandLineControl,
                         ::testing::Values(ControlCase{{"ctl", "stato"}, "stato", ""},
                                           ControlCase{{"ctl", "--dir", "/srv/cassa", "annulla-scontrino"},
                                                       "annulla-scontrino",
                                                       "/srv/cassa"},
                                           ControlCase{{"--dir=d", "ctl", "fine-carta-nf"}, "fine-carta-nf", "d"}),
                         rownames::by(&ControlCase::command));

TEST(CommandLineControlCommands, EveryCommandOfTheBridgeIsAccepted)
{
    for (const OperatorCommand& command : operatorCommands()) {
        if (command.name.empty())
            continue;
        const CommandLine got = parse({"ctl", std::string(command.name)});
        EXPECT_EQ(got.action, Action::Control) << command.name << ": " << got.error;
        EXPECT_TRUE(usageText().contains(QLatin1String(command.name.data(), qsizetype(command.name.size()))))
            << command.name;
    }
}

struct VerbosityCase {
    const char* name;
    std::vector<std::string> words;
    CommandLine::Verbosity verbosity;
};

class CommandLineVerbosity : public ::testing::TestWithParam<VerbosityCase> {};

TEST_P(CommandLineVerbosity, OptionSetsHowMuchTheBridgeSays)
{
    const CommandLine got = parse(GetParam().words);
    ASSERT_EQ(got.action, Action::RunBridge) << got.error;
    EXPECT_EQ(got.verbosity, GetParam().verbosity);
}

INSTANTIATE_TEST_SUITE_P(
    Options, CommandLineVerbosity,
    ::testing::Values(VerbosityCase{"Normal", {}, CommandLine::Verbosity::Normal},
                      VerbosityCase{"Quiet", {"--headless", "--quiet"}, CommandLine::Verbosity::Quiet},
                      VerbosityCase{"Verbose", {"--verbose", "--dir", "d"}, CommandLine::Verbosity::Verbose}),
    rownames::byName);

INSTANTIATE_TEST_SUITE_P(
    ControlAndVerbosityMistakes, CommandLineRejected,
    ::testing::Values(Mistake{"CtlAlone", {"ctl"}, "usage: tessiro ctl"},
                      Mistake{"CtlUnknownCommand", {"ctl", "stampa"}, "unknown ctl command \"stampa\""},
                      Mistake{"CtlWithTwoCommands", {"ctl", "stato", "subito"}, "usage: tessiro ctl"},
                      Mistake{"HeadlessForCtl", {"ctl", "--headless", "stato"}, HeadlessIsTheBridges},
                      Mistake{"QuietForCtl", {"ctl", "--quiet", "stato"}, VerbosityIsTheBridges},
                      Mistake{"VerboseForConfig", {"config", "get", "--verbose", "k"}, VerbosityIsTheBridges},
                      Mistake{"QuietAndVerbose", {"--quiet", "--verbose"}, "--quiet and --verbose exclude each other"}),
    rownames::byName);

// Two mistakes on one line: the words of the form are told before a
// misplaced option, and of misplaced options the same one every time.
INSTANTIATE_TEST_SUITE_P(
    TwoMistakes, CommandLineRejected,
    ::testing::Values(
        Mistake{"WordsBeforeOptions", {"test-receipt", "ora", "--section", "S"}, "test-receipt takes no arguments"},
        Mistake{"LogKindsBeforeOptions",
                {"log", "--fiscal", "--non-fiscal", "--printer", "x"},
                "--fiscal and --non-fiscal exclude each other"},
        Mistake{"FollowBeforeFile", {"check", "--file", "x", "--follow", "f"}, "--follow, --fiscal and --non-fiscal"},
        Mistake{"FollowBeforeJson", {"ctl", "nascondi", "--json", "--follow"}, "--follow, --fiscal and --non-fiscal"},
        Mistake{"JsonBeforeHeadless", {"ctl", "nascondi", "--json", "--headless"}, "--json belongs to \"ctl stato\""},
        Mistake{"PrinterBeforeListen", {"check", "--listen", "l", "--printer", "p", "f"}, "--printer belongs to \"init\""},
        Mistake{"MisplacedBeforeQuietAndVerbose", {"--quiet", "--verbose", "--file", "x"}, OnlyForConfig}),
    rownames::byName);

// `ctl stato --json`: the one command with an option of its own.
struct JsonCase {
    const char* name;
    std::vector<std::string> words;
    bool accepted;
};

std::ostream& operator<<(std::ostream& out, const JsonCase& c)
{
    return out << c.name;
}

class CommandLineJson : public ::testing::TestWithParam<JsonCase> {};

TEST_P(CommandLineJson, BelongsToCtlStatoOnly)
{
    const CommandLine got = parse(GetParam().words);
    if (!GetParam().accepted) {
        EXPECT_EQ(got.action, Action::Invalid);
        EXPECT_NE(got.error.find("--json"), std::string::npos) << got.error;
        return;
    }
    ASSERT_EQ(got.action, Action::Control) << got.error;
    EXPECT_EQ(got.controlCommand, control::StatoJson);
}

INSTANTIATE_TEST_SUITE_P(Forms, CommandLineJson,
                         ::testing::Values(JsonCase{"After", {"ctl", "stato", "--json"}, true},
                                           JsonCase{"Before", {"ctl", "--json", "--dir", "d", "stato"}, true},
                                           JsonCase{"OtherCommand", {"ctl", "nascondi", "--json"}, false},
                                           JsonCase{"Bridge", {"--json"}, false},
                                           JsonCase{"Config", {"config", "get", "--json", "k"}, false}),
                         rownames::byName);

// "tessiro SUBCOMMAND --help": that subcommand's usage and options only.
struct HelpCase {
    const char* name;
    std::vector<std::string> words;
    std::string topic;
    std::vector<std::string> holds;
    std::vector<std::string> lacks;
};

class CommandLineSubcommandHelp : public ::testing::TestWithParam<HelpCase> {};

TEST_P(CommandLineSubcommandHelp, PrintsThatSubcommandsHelp)
{
    const HelpCase& c = GetParam();
    const CommandLine got = parse(c.words);
    ASSERT_EQ(got.action, Action::ShowHelp) << got.error;
    EXPECT_EQ(got.helpTopic, c.topic);
    const std::string help = usageText(got.helpTopic).toStdString();
    for (const std::string& text : c.holds)
        EXPECT_NE(help.find(text), std::string::npos) << text << "\n" << help;
    for (const std::string& text : c.lacks)
        EXPECT_EQ(help.find(text), std::string::npos) << text << "\n" << help;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, CommandLineSubcommandHelp,
    ::testing::Values(
        HelpCase{"Ctl",
                 {"ctl", "--help"},
                 "ctl",
                 {"tessiro ctl [--dir DIR] COMMAND", "annulla-scontrino", "--json", "--dir DIR"},
                 {"tessiro check", "--follow", "Settings (_Configurazione.ini"}},
        HelpCase{"CtlCommand", {"ctl", "stato", "-h"}, "ctl", {"tessiro ctl [--dir DIR] COMMAND"}, {"tessiro log"}},
        HelpCase{"Check", {"check", "--help"}, "check", {"tessiro check [--dir DIR] FILE...", "standard input"}, {"ctl"}},
        HelpCase{"Log", {"--dir", "d", "log", "--help"}, "log", {"--follow", "--non-fiscal"}, {"--json", "--file F"}},
        HelpCase{"Config", {"config", "--help"}, "config", {"config get", "config set", "--section S"}, {"--follow"}},
        HelpCase{"Whole", {"--help"}, "", {"tessiro check", "tessiro ctl", "--follow", "Settings", "man tessiro"}, {}},
        HelpCase{"UnknownWordGivesTheWhole", {"stampa", "--help"}, "", {"tessiro check", "tessiro ctl"}, {}}),
    rownames::byName);

// The bash completion offers every subcommand, every option of the help and
// every ctl command, and nothing the program does not know.
TEST(CommandLineCompletion, FollowsTheCommandTables)
{
    std::ifstream file(TESSIRO_COMPLETION);
    ASSERT_TRUE(file.is_open()) << TESSIRO_COMPLETION;
    const std::string script((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const auto listed = [&script](const std::string& variable) {
        const size_t at = script.find(variable + "=\"");
        if (at == std::string::npos)
            return std::vector<std::string>{};
        const size_t begin = at + variable.size() + 2;
        std::istringstream words(script.substr(begin, script.find('"', begin) - begin));
        std::vector<std::string> out{std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
        std::sort(out.begin(), out.end());
        return out;
    };

    std::vector<std::string> subcommands = subcommandNames();
    std::sort(subcommands.begin(), subcommands.end());
    EXPECT_EQ(listed("subcommands"), subcommands);

    std::vector<std::string> commands;
    for (const OperatorCommand& command : operatorCommands())
        if (!command.name.empty())
            commands.emplace_back(command.name);
    std::sort(commands.begin(), commands.end());
    EXPECT_EQ(listed("ctl_commands"), commands);

    const std::regex option("--[a-z][a-z-]*");
    const auto optionsIn = [&option](const std::string& text) {
        std::set<std::string> found;
        for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it)
            found.insert(it->str());
        return found;
    };
    EXPECT_EQ(optionsIn(script), optionsIn(usageText().toStdString()));

    // Each form's case offers the options that form takes.
    const size_t cases = script.find("local options");
    ASSERT_NE(cases, std::string::npos);
    for (const Subcommand& form : ::subcommands()) {
        const std::string label = "\n        " + (form.name.empty() ? std::string("\"\"") : std::string(form.name)) + ")";
        const size_t at = script.find(label, cases);
        ASSERT_NE(at, std::string::npos) << label;
        const std::vector<std::string> taken = optionsOf(form);
        EXPECT_EQ(optionsIn(script.substr(at, script.find(";;", at) - at)), std::set<std::string>(taken.begin(), taken.end()))
            << "the case of \"" << form.name << "\"";
    }
}

TEST(CommandLineHelp, SaysWhenEachSettingTakesEffect)
{
    const QString help = usageText();
    for (const char* key : {"PAY_L", "Eps_COM", "Eps_Setting", "Eps_Delay", "Eps_NonRiscType", "Eps_NonRiscIndex",
                            "Kelmora_DIR", "intervalTimer"})
        EXPECT_TRUE(help.contains(QLatin1String(key))) << key;
    EXPECT_TRUE(help.contains(QLatin1String("ricarica")));
    EXPECT_TRUE(help.contains(QLatin1String("SIGHUP")));
}

} // namespace
