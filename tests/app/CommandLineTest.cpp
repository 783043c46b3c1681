// SPDX-License-Identifier: MIT
#include "app/CommandLine.h"
#include "app/ControlProtocol.h"
#include "app/OperatorCommands.h"

#include <gtest/gtest.h>

#include <ostream>
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
        Accepted{{}, Action::RunBridge, "", false, "", "", "", ""},
        Accepted{{"--dir", "/srv/cassa", "--headless"}, Action::RunBridge, "/srv/cassa", true, "", "", "", ""},
        Accepted{{"--dir=/srv/cassa"}, Action::RunBridge, "/srv/cassa", false, "", "", "", ""},
        Accepted{{"--help"}, Action::ShowHelp, "", false, "", "", "", ""},
        Accepted{{"-h"}, Action::ShowHelp, "", false, "", "", "", ""},
        Accepted{{"--version"}, Action::ShowVersion, "", false, "", "", "", ""},
        Accepted{{"config", "get", "Eps_COM"}, Action::ConfigGet, "", false, "", "Varie", "Eps_COM", ""},
        Accepted{{"config", "get", "--dir", "d", "Eps_Delay", "50"}, Action::ConfigGet, "d", false, "", "Varie",
                 "Eps_Delay", "50"},
        Accepted{{"config", "get", "--file", "x.ini", "--section", "Altro", "k"}, Action::ConfigGet, "", false,
                 "x.ini", "Altro", "k", ""},
        Accepted{{"config", "set", "--dir", "demo", "Eps_COM", "1"}, Action::ConfigSet, "demo", false, "", "Varie",
                 "Eps_COM", "1"},
        // Flags of the shared file are negative numbers, not options.
        Accepted{{"config", "set", "Eps_Vuoto", "-1"}, Action::ConfigSet, "", false, "", "Varie", "Eps_Vuoto", "-1"},
        Accepted{{"config", "set", "Eps_Vuoto", "-1", "--dir", "d"}, Action::ConfigSet, "d", false, "", "Varie",
                 "Eps_Vuoto", "-1"},
        Accepted{{"config", "set", "k", "--", "--x"}, Action::ConfigSet, "", false, "", "Varie", "k", "--x"},
        Accepted{{"config", "set", "--dir", "-strana", "k", "v"}, Action::ConfigSet, "-strana", false, "", "Varie",
                 "k", "v"},
        // Bytes pass unchanged: a windows-1252 euro sign and a raw backslash path.
        Accepted{{"config", "set", "Kelmora_DIR", "C:\\KELMORA\\\x80"}, Action::ConfigSet, "", false, "", "Varie",
                 "Kelmora_DIR", "C:\\KELMORA\\\x80"},
        Accepted{{"config", "set", "Eps_Setting", ""}, Action::ConfigSet, "", false, "", "Varie", "Eps_Setting", ""},
        Accepted{{"test-receipt", "--dir", "demo"}, Action::TestReceipt, "demo", false, "", "", "", ""},
        Accepted{{"init"}, Action::Init, "", false, "", "", "", ""},
        Accepted{{"init", "--dir", "demo"}, Action::Init, "demo", false, "", "", "", ""}));

class CommandLineRejected : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(CommandLineRejected, MistakeIsRefusedWithAReason)
{
    const CommandLine got = parse(GetParam());
    EXPECT_EQ(got.action, Action::Invalid);
    EXPECT_FALSE(got.error.empty());
}

INSTANTIATE_TEST_SUITE_P(Mistakes, CommandLineRejected,
                         ::testing::Values(std::vector<std::string>{"--bogus"}, std::vector<std::string>{"--dir"},
                                           std::vector<std::string>{"--dir", ""},
                                           std::vector<std::string>{"stampa"}, std::vector<std::string>{"config"},
                                           std::vector<std::string>{"config", "del", "k"},
                                           std::vector<std::string>{"config", "get"},
                                           std::vector<std::string>{"config", "get", "a", "b", "c"},
                                           std::vector<std::string>{"config", "set", "k"},
                                           std::vector<std::string>{"config", "set", "", "v"},
                                           std::vector<std::string>{"config", "set", "a=b", "v"},
                                           std::vector<std::string>{"config", "set", "[Varie]", "v"},
                                           std::vector<std::string>{"config", "set", ";k", "v"},
                                           std::vector<std::string>{"config", "set", "--section", "A]B", "k", "v"},
                                           std::vector<std::string>{"config", "set", "--section", "", "k", "v"},
                                           std::vector<std::string>{"config", "get", "--headless", "k"},
                                           std::vector<std::string>{"--file", "x.ini"},
                                           std::vector<std::string>{"test-receipt", "--section", "S"},
                                           std::vector<std::string>{"test-receipt", "ora"},
                                           std::vector<std::string>{"init", "demo"},
                                           std::vector<std::string>{"init", "--headless"},
                                           std::vector<std::string>{"check"},
                                           std::vector<std::string>{"check", "--follow", "f.txt"},
                                           std::vector<std::string>{"log", "FiscalError.log"},
                                           std::vector<std::string>{"log", "--fiscal", "--non-fiscal"},
                                           std::vector<std::string>{"log", "--quiet"}));

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
        ToolForm{"CheckADashedName", {"check", "--", "-a.txt"}, Action::Check, {"-a.txt"}, CommandLine::Logs::Both,
                 false},
        ToolForm{"CheckAnEightBitName", {"check", "caff\xe8.txt"}, Action::Check, {"caff\xe8.txt"},
                 CommandLine::Logs::Both, false},
        ToolForm{"LogBoth", {"log"}, Action::Log, {}, CommandLine::Logs::Both, false},
        ToolForm{"LogFiscalFollowed", {"log", "--follow", "--fiscal"}, Action::Log, {}, CommandLine::Logs::Fiscal,
                 true},
        ToolForm{"LogNonFiscal", {"log", "--dir", "d", "--non-fiscal"}, Action::Log, {},
                 CommandLine::Logs::NonFiscal, false}),
    [](const ::testing::TestParamInfo<ToolForm>& info) { return std::string(info.param.name); });

struct DisplayCase {
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
    ::testing::Values(DisplayCase{false, {}, true}, DisplayCase{false, {{"DISPLAY", ":0"}}, false},
                      DisplayCase{false, {{"WAYLAND_DISPLAY", "wayland-0"}}, false},
                      DisplayCase{true, {{"DISPLAY", ":0"}}, true},
                      DisplayCase{false, {{"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "offscreen"}}, true},
                      DisplayCase{false, {{"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "minimal"}}, true},
                      DisplayCase{false, {{"QT_QPA_PLATFORM", "xcb"}}, true},
                      DisplayCase{false, {{"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "wayland;xcb"}}, false},
                      DisplayCase{false, {{"QT_QPA_PLATFORM", "wayland;xcb"}}, true},
                      DisplayCase{false, {{"QT_QPA_PLATFORM", "linuxfb"}}, false}));

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
                                                       "annulla-scontrino", "/srv/cassa"},
                                           ControlCase{{"--dir=d", "ctl", "fine-carta-nf"}, "fine-carta-nf", "d"}));

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
    ::testing::Values(VerbosityCase{{}, CommandLine::Verbosity::Normal},
                      VerbosityCase{{"--headless", "--quiet"}, CommandLine::Verbosity::Quiet},
                      VerbosityCase{{"--verbose", "--dir", "d"}, CommandLine::Verbosity::Verbose}));

INSTANTIATE_TEST_SUITE_P(ControlAndVerbosityMistakes, CommandLineRejected,
                         ::testing::Values(std::vector<std::string>{"ctl"},
                                           std::vector<std::string>{"ctl", "stampa"},
                                           std::vector<std::string>{"ctl", "stato", "subito"},
                                           std::vector<std::string>{"ctl", "--headless", "stato"},
                                           std::vector<std::string>{"ctl", "--quiet", "stato"},
                                           std::vector<std::string>{"config", "get", "--verbose", "k"},
                                           std::vector<std::string>{"--quiet", "--verbose"}));

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

INSTANTIATE_TEST_SUITE_P(
    Forms, CommandLineJson,
    ::testing::Values(JsonCase{"After", {"ctl", "stato", "--json"}, true},
                      JsonCase{"Before", {"ctl", "--json", "--dir", "d", "stato"}, true},
                      JsonCase{"OtherCommand", {"ctl", "nascondi", "--json"}, false},
                      JsonCase{"Bridge", {"--json"}, false},
                      JsonCase{"Config", {"config", "get", "--json", "k"}, false}),
    [](const ::testing::TestParamInfo<JsonCase>& info) { return std::string(info.param.name); });

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
