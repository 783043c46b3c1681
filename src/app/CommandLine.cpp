// SPDX-License-Identifier: MIT
#include "app/CommandLine.h"

#include "app/SubcommandRuns.h"
#include "bridge/OperatorCommands.h"
#include "config/Keys.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include <algorithm>
#include <string_view>

namespace {

// Latin-1 maps every byte to one character and back, so arguments survive
// the parser byte for byte whatever their encoding.
QString fromBytes(const std::string& bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string toBytes(const QString& text)
{
    return text.toLatin1().toStdString();
}

bool looksLikeNegativeNumber(const std::string& token)
{
    return token.size() > 1 && token[0] == '-' &&
           ((token[1] >= '0' && token[1] <= '9') || (token[1] == '.' && token.size() > 2));
}

CommandLine invalid(std::string why)
{
    CommandLine c;
    c.action = CommandLine::Action::Invalid;
    c.error = std::move(why);
    return c;
}

// A key or section that would change the file's structure when written
// ("a=b" is read back as key "a", "[x" opens a section, ";x" is a comment).
std::string badName(const std::string& name, bool section)
{
    if (name.empty())
        return section ? "the section must not be empty" : "KEY must not be empty";
    if (name.find_first_of("\r\n") != std::string::npos)
        return "a line break is not allowed in a key or section";
    if (section) {
        if (name.find(']') != std::string::npos)
            return "\"]\" is not allowed in a section";
    } else {
        if (name.find('=') != std::string::npos)
            return "\"=\" is not allowed in a key";
        if (name.front() == '[' || name.front() == ';')
            return "a key must not start with \"[\" or \";\"";
    }
    return {};
}

// One option of the command line, in the order the help lists them.
struct Option {
    std::string_view name;
    std::string_view shortName{};
    // The value's name ("DIR"); empty for a flag.
    std::string_view valueName{};
    // Taken by every form (the help of each subcommand shows it).
    bool everyForm = false;
    // Its lines in the help; empty when the usage line says it all.
    std::string_view help{};
};

constexpr Option Options[] = {
    {.name = "dir",
     .valueName = "DIR",
     .everyForm = true,
     .help = "  --dir DIR      Program directory (default: TESSIRO_DIR, else the\n"
             "                 executable's directory when it is writable and no system\n"
             "                 folder, else $XDG_DATA_HOME/tessiro or ~/.local/share/tessiro).\n"},
    {.name = "headless",
     .help = "  --headless     No window: messages, and every record and action of the logs,\n"
             "                 go to standard error; questions get the safe answer. Also\n"
             "                 chosen when there is no display.\n"},
    {.name = "file",
     .valueName = "F",
     .help = "  --file F       config: the INI file (default: DIR/_Configurazione.ini).\n"},
    {.name = "section", .valueName = "S", .help = "  --section S    config: the section (default: Varie).\n"},
    {.name = "quiet", .help = "  --quiet        Headless: only failures and warnings (ERRORE, AVVISO).\n"},
    {.name = "json", .help = "  --json         ctl stato: the state as one JSON object.\n"},
    {.name = "verbose",
     .help = "  --verbose      Also each command file taken, its outcome and each ctl\n"
             "                 request; with a window too.\n"},
    {.name = "follow", .help = "  --follow       log: waits for new records, as tail -f.\n"},
    {.name = "fiscal", .help = "  --fiscal       log: FiscalError.log only.\n"},
    {.name = "non-fiscal", .help = "  --non-fiscal   log: NotFiscalError.log only.\n"},
    {.name = "printer", .valueName = "P"},
    {.name = "listen", .valueName = "HOST:PORT"},
    {.name = "help", .shortName = "h", .everyForm = true, .help = "  -h, --help     Shows this help.\n"},
    {.name = "version", .shortName = "v", .help = "  -v, --version  Shows the version.\n"},
};

// An option given to a form that does not take it, and the complaint. When
// a line gives several, the first of this list is told.
struct Misplaced {
    std::string_view options;
    std::string_view complaint;
};

constexpr Misplaced Complaints[] = {
    {"printer", "--printer belongs to \"init\""},
    {"listen", "--listen belongs to \"serve-printer\""},
    {"follow fiscal non-fiscal", "--follow, --fiscal and --non-fiscal belong to \"log\""},
    {"file section", "--file and --section belong to \"config get\" and \"config set\""},
    {"json", "--json belongs to \"ctl stato\""},
    {"headless", "--headless belongs to the bridge itself"},
    {"quiet verbose", "--quiet and --verbose belong to the bridge itself"},
};

bool listed(std::string_view list, std::string_view word)
{
    for (size_t at = 0; at <= list.size();) {
        const size_t end = std::min(list.find(' ', at), list.size());
        if (list.substr(at, end - at) == word)
            return true;
        at = end + 1;
    }
    return false;
}

bool takes(const Subcommand& form, const Option& option)
{
    return option.everyForm || listed(form.options, option.name);
}

const Subcommand* findForm(std::string_view name)
{
    for (const Subcommand& form : subcommands())
        if (form.name == name)
            return &form;
    return nullptr;
}

// A valued option whose value is the next word ("--dir DIR", not "--dir=DIR").
bool takesValue(const std::string& token)
{
    for (const Option& option : Options)
        if (!option.valueName.empty() && token == "--" + std::string(option.name))
            return true;
    return false;
}

// ------------------------------------------------------------ the forms

using Words = std::vector<std::string>;

std::string takeConfig(CommandLine& c, const Words& words, const GivenOptions& given)
{
    if (words.empty() || (words[0] != "get" && words[0] != "set"))
        return "config needs \"get\" or \"set\"";
    if (words[0] == "get") {
        if (words.size() < 2 || words.size() > 3)
            return "usage: tessiro config get [--dir DIR] [--file F] [--section S] KEY [DEFAULT]";
        c.action = CommandLine::Action::ConfigGet;
    } else {
        if (words.size() != 3)
            return "usage: tessiro config set [--dir DIR] [--file F] [--section S] KEY VALUE";
        c.action = CommandLine::Action::ConfigSet;
    }
    c.key = words[1];
    if (words.size() == 3)
        c.value = words[2];
    c.section = given.has("section") ? given.value("section") : keys::Section;
    if (std::string why = badName(c.key, false); !why.empty())
        return why;
    if (std::string why = badName(c.section, true); !why.empty())
        return why;
    if (given.has("file")) {
        const std::string file = given.value("file");
        if (file.empty())
            return "--file needs a file";
        c.file = std::filesystem::path(file);
    }
    return {};
}

std::string takeTestReceipt(CommandLine& c, const Words& words, const GivenOptions&)
{
    if (!words.empty())
        return "test-receipt takes no arguments";
    c.action = CommandLine::Action::TestReceipt;
    return {};
}

std::string takeInit(CommandLine& c, const Words& words, const GivenOptions& given)
{
    if (!words.empty())
        return "init takes no arguments besides --dir and --printer";
    c.action = CommandLine::Action::Init;
    if (given.has("printer")) {
        c.printer = given.value("printer");
        if (c.printer->empty())
            return "--printer needs \"simulatore\" or an http(s):// address";
    }
    return {};
}

std::string takeCheck(CommandLine& c, const Words& words, const GivenOptions&)
{
    if (words.empty())
        return "usage: tessiro check [--dir DIR] FILE... (see tessiro --help)";
    c.action = CommandLine::Action::Check;
    c.files.assign(words.begin(), words.end());
    return {};
}

std::string takeLog(CommandLine& c, const Words& words, const GivenOptions& given)
{
    if (!words.empty())
        return "log takes no arguments besides its options";
    c.action = CommandLine::Action::Log;
    if (given.has("fiscal") && given.has("non-fiscal"))
        return "--fiscal and --non-fiscal exclude each other (without either, both logs)";
    c.logs = given.has("fiscal")       ? CommandLine::Logs::Fiscal
             : given.has("non-fiscal") ? CommandLine::Logs::NonFiscal
                                       : CommandLine::Logs::Both;
    c.follow = given.has("follow");
    return {};
}

std::string takeServePrinter(CommandLine& c, const Words& words, const GivenOptions& given)
{
    if (!words.empty() || !given.has("listen") || !c.programDir)
        return "usage: tessiro serve-printer --dir DIR --listen HOST:PORT";
    c.action = CommandLine::Action::ServePrinter;
    c.listen = given.value("listen");
    return {};
}

std::string_view commandName(const std::string& request)
{
    return std::string_view(request).substr(0, request.find(' '));
}

std::string takeCtl(CommandLine& c, const Words& words, const GivenOptions& given)
{
    if (words.size() != 1)
        return "usage: tessiro ctl [--dir DIR] COMMAND (see tessiro --help)";
    const OperatorCommand* command = findControlCommand(words[0]);
    if (!command)
        return "unknown ctl command \"" + words[0] + "\" (see tessiro --help)";
    c.action = CommandLine::Action::Control;
    c.controlCommand = words[0];
    // The command's one option travels with it ("stato --json").
    if (!command->option.empty() && given.has(command->option.substr(2)))
        c.controlCommand += " " + std::string(command->option);
    return {};
}

// The options of ctl belong each to one command.
bool fitsCtl(const CommandLine& c, std::string_view option)
{
    const OperatorCommand* command = findControlCommand(commandName(c.controlCommand));
    return command && command->option.starts_with("--") && command->option.substr(2) == option;
}

QString controlCommandList()
{
    QString commands;
    for (const OperatorCommand& command : operatorCommands()) {
        if (command.name.empty())
            continue;
        commands += QStringLiteral("      %1%2\n")
                        .arg(QLatin1String(command.name.data(), static_cast<qsizetype>(command.name.size())), -19)
                        .arg(QLatin1String(command.help.data(), static_cast<qsizetype>(command.help.size())));
    }
    return commands;
}

// Every form, in the order of the help.
constexpr Subcommand Forms[] = {
    {.name = "",
     .options = "headless quiet verbose version",
     .usage = R"(  tessiro [--dir DIR] [--headless] [--quiet|--verbose]
      Runs the bridge on the program directory DIR: takes the command files
      dropped into DIR/Ostro and runs them on the fiscal printer.
)",
     .run = runBridgeForm},
    {.name = "config",
     .options = "file section",
     .usage = R"(  tessiro config get [--dir DIR] [--file F] [--section S] KEY [DEFAULT]
      Prints the value of KEY as the bridge reads it (raw bytes), or DEFAULT.
  tessiro config set [--dir DIR] [--file F] [--section S] KEY VALUE
      Writes KEY=VALUE as the bridge writes it. A VALUE that starts with "-"
      and is no number goes after "--".
)",
     .take = takeConfig,
     .run = runConfigForm},
    {.name = "test-receipt",
     .usage = R"(  tessiro test-receipt [--dir DIR]
      Prints the test receipt on the configured printer; exit status 0 when
      every step succeeded.
)",
     .take = takeTestReceipt,
     .run = runTestReceiptForm},
    {.name = "init",
     .options = "printer",
     .usage = R"(  tessiro init [--dir DIR] [--printer simulatore|http(s)://HOST[:PORT]]
      Prepares the program directory for the simulated printer: creates it,
      its drop folder Ostro and work folder IN, and stores the port values it
      works with (Eps_COM 1, Eps_Setting 9600,N,8,1) where they are missing
      or empty; other values are kept. Says what it created and what was
      already there. --printer chooses the fiscal printer of DIR: the
      simulated one, or a printer on the LAN (its https certificate is
      pinned). Without --printer the choice is left as it is.
)",
     .take = takeInit,
     .run = runInitForm},
    {.name = "check",
     .usage = R"(  tessiro check [--dir DIR] FILE...
      Reads each command file as the bridge would and prints, per record, the
      operation and the printer calls it would make, or why it would fail,
      with hints at the cause; prints nothing and writes nothing else. FILE
      "-" is standard input. DIR's settings where given, else the defaults.
      Exit status 0 when every record would be accepted.
)",
     .take = takeCheck,
     .run = runCheckForm},
    {.name = "log",
     .options = "follow fiscal non-fiscal",
     .usage = R"(  tessiro log [--dir DIR] [--follow] [--fiscal|--non-fiscal]
      Shows the two error logs in the terminal's encoding, one record at a
      time (a printer's three-line record as one); --follow waits for more.
)",
     .take = takeLog,
     .run = runLogForm},
    {.name = "serve-printer",
     .options = "listen",
     .usage = R"(  tessiro serve-printer --dir DIR --listen HOST:PORT
      Serves the simulated printer of DIR over the LAN printers' XML
      service, for testing programs that speak it.
)",
     .take = takeServePrinter,
     .run = runServePrinterForm},
    {.name = "ctl",
     .options = "json",
     .usage = R"(  tessiro ctl [--dir DIR] COMMAND
      Runs a command of the window in the bridge running on DIR and prints
      its answer. Exit status 0 when done, 1 when refused or when an error
      stands again after it (for stato: while an error stands), 4 when no
      bridge answers. COMMAND is one of:
)",
     .usageList = controlCommandList,
     .take = takeCtl,
     .fits = fitsCtl,
     .run = runCtlForm},
};

// The first option the form does not take, told as its complaint; "" when
// it takes them all.
std::string misplacedOption(const Subcommand& form, const CommandLine& c, const GivenOptions& given)
{
    const auto fits = [&](const Option& option) {
        return takes(form, option) && (option.everyForm || !form.fits || form.fits(c, option.name));
    };
    for (const Misplaced& misplaced : Complaints)
        for (const Option& option : Options)
            if (listed(misplaced.options, option.name) && given.has(option.name) && !fits(option))
                return std::string(misplaced.complaint);
    for (const Option& option : Options)
        if (given.has(option.name) && !fits(option))
            return "--" + std::string(option.name) + " does not belong here";
    return {};
}

// Splits args into the options given and the other words; returns what is
// wrong, "" when every option is known and has its value.
std::string readArguments(const std::vector<std::string>& args, GivenOptions& given, std::vector<std::string>& words)
{
    // Options may come anywhere, but a value such as "-1" (a flag of the
    // shared file) must stay a positional argument: options go first, the
    // rest behind "--".
    QStringList options{args.empty() ? QStringLiteral("tessiro") : fromBytes(args.front())};
    QStringList positional;
    bool onlyPositional = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& token = args[i];
        if (onlyPositional) {
            positional << fromBytes(token);
        } else if (token == "--") {
            onlyPositional = true;
        } else if (token.size() > 1 && token[0] == '-' && !looksLikeNegativeNumber(token)) {
            options << fromBytes(token);
            if (takesValue(token)) {
                // Left alone, the parser would take the "--" added below.
                if (i + 1 == args.size())
                    return token + " needs a value";
                options << fromBytes(args[++i]);
            }
        } else {
            positional << fromBytes(token);
        }
    }
    options << QStringLiteral("--") << positional;

    QCommandLineParser parser;
    for (const Option& option : Options) {
        QStringList names;
        if (!option.shortName.empty())
            names << fromBytes(std::string(option.shortName));
        names << fromBytes(std::string(option.name));
        parser.addOption(QCommandLineOption(names, QString(), fromBytes(std::string(option.valueName))));
    }
    if (!parser.parse(options))
        return toBytes(parser.errorText());
    for (const Option& option : Options) {
        const QString name = fromBytes(std::string(option.name));
        if (parser.isSet(name))
            given.values[std::string(option.name)] = option.valueName.empty() ? std::string()
                                                                              : toBytes(parser.value(name));
    }
    for (const QString& word : parser.positionalArguments())
        words.push_back(toBytes(word));
    return {};
}

} // namespace

std::string GivenOptions::value(std::string_view name) const
{
    const auto it = values.find(name);
    return it == values.end() ? std::string() : it->second;
}

std::span<const Subcommand> subcommands()
{
    return Forms;
}

std::vector<std::string> optionsOf(const Subcommand& form)
{
    std::vector<std::string> names;
    for (const Option& option : Options)
        if (takes(form, option))
            names.push_back("--" + std::string(option.name));
    return names;
}

CommandLine parseCommandLine(const std::vector<std::string>& args)
{
    GivenOptions given;
    std::vector<std::string> words;
    if (const std::string why = readArguments(args, given, words); !why.empty())
        return invalid(why);

    if (given.has("help")) {
        CommandLine c;
        c.action = CommandLine::Action::ShowHelp;
        // "tessiro ctl --help": the help of that subcommand.
        if (!words.empty() && isSubcommand(words.front()))
            c.helpTopic = words.front();
        return c;
    }
    if (given.has("version")) {
        CommandLine c;
        c.action = CommandLine::Action::ShowVersion;
        return c;
    }

    CommandLine c;
    if (given.has("dir")) {
        const std::string dir = given.value("dir");
        if (dir.empty())
            return invalid("--dir needs a directory");
        c.programDir = std::filesystem::path(dir);
    }

    // No word runs the bridge; the bridge's own form has no name to be asked by.
    const Subcommand* form = words.empty() ? &Forms[0] : isSubcommand(words.front()) ? findForm(words.front()) : nullptr;
    if (!form)
        return invalid("unknown command \"" + words.front() + "\"");
    if (form->take) {
        if (const std::string why = form->take(c, Words(words.begin() + 1, words.end()), given); !why.empty())
            return invalid(why);
    }
    if (const std::string why = misplacedOption(*form, c, given); !why.empty())
        return invalid(why);

    // The bridge's own options (no other form takes them).
    c.headless = given.has("headless");
    if (given.has("quiet") && given.has("verbose"))
        return invalid("--quiet and --verbose exclude each other");
    if (given.has("quiet") || given.has("verbose"))
        c.verbosity = given.has("quiet") ? CommandLine::Verbosity::Quiet : CommandLine::Verbosity::Verbose;
    c.subcommand = form;
    return c;
}

bool isSubcommand(const std::string& word)
{
    return !word.empty() && findForm(word);
}

std::vector<std::string> subcommandNames()
{
    std::vector<std::string> names;
    for (const Subcommand& form : Forms)
        if (!form.name.empty())
            names.emplace_back(form.name);
    return names;
}

QString usageText(const std::string& subcommand)
{
    const Subcommand* topic = findForm(subcommand);
    QString text = QStringLiteral("Usage:\n");
    for (const Subcommand& form : Forms) {
        if (!subcommand.empty() && &form != topic)
            continue;
        text += QString::fromUtf8(form.usage.data(), static_cast<qsizetype>(form.usage.size()));
        if (form.usageList)
            text += form.usageList();
    }
    text += subcommand.empty()
                ? QStringLiteral("\n"
                                 "Settings (_Configurazione.ini, section Varie):\n"
                                 "  Read afresh where they are used: PAY_L, Eps_Vuoto, Kelmora_CORR.\n"
                                 "  Taken by NASCONDI, 'tessiro ctl ricarica' or SIGHUP (and at start-up):\n"
                                 "  Eps_COM, Eps_Setting, Eps_Delay, Eps_NonRiscType, Eps_NonRiscIndex,\n"
                                 "  Kelmora_DIR. At start-up only: intervalTimer.\n")
                : QString();
    text += QStringLiteral("\nOptions:\n");
    for (const Option& option : Options)
        if (subcommand.empty() || option.everyForm || (topic && takes(*topic, option)))
            text += QString::fromUtf8(option.help.data(), static_cast<qsizetype>(option.help.size()));
    text += subcommand.empty() ? QStringLiteral("\nThe reference: man tessiro.\n")
                               : QStringLiteral("\nEvery command: tessiro --help. The reference: man tessiro.\n");
    return text;
}

bool runHeadless(bool asked, const QProcessEnvironment& environment)
{
    if (asked)
        return true;
    const bool x11 = !environment.value(QStringLiteral("DISPLAY")).isEmpty();
    const bool wayland = !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
    const QString platforms = environment.value(QStringLiteral("QT_QPA_PLATFORM"));
    if (platforms.trimmed().isEmpty())
        return !x11 && !wayland;
    // Qt tries the platforms of the list in order ("wayland;xcb"); the first
    // one that can start decides. A QApplication with none would abort.
    for (const QString& entry : platforms.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString name = entry.section(QLatin1Char(':'), 0, 0).trimmed();
        if (name == QLatin1String("offscreen") || name == QLatin1String("minimal"))
            return true;
        if (name == QLatin1String("xcb")) {
            if (x11)
                return false;
        } else if (name.startsWith(QLatin1String("wayland"))) {
            if (wayland)
                return false;
        } else {
            return false; // eglfs, linuxfb, vnc...: a screen without a display server
        }
    }
    return true;
}
