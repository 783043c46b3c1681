// SPDX-License-Identifier: MIT
#include "app/CommandLine.h"

#include "app/OperatorCommands.h"
#include "config/Keys.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

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

bool takesValue(const std::string& token)
{
    return token == "--dir" || token == "--file" || token == "--section" || token == "--printer" || token == "--listen";
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

} // namespace

CommandLine parseCommandLine(const std::vector<std::string>& args)
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
                    return invalid(token + " needs a value");
                options << fromBytes(args[++i]);
            }
        } else {
            positional << fromBytes(token);
        }
    }
    options << QStringLiteral("--") << positional;

    QCommandLineParser parser;
    const QCommandLineOption dirOption(QStringLiteral("dir"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption headlessOption(QStringLiteral("headless"));
    const QCommandLineOption fileOption(QStringLiteral("file"), QString(), QStringLiteral("F"));
    const QCommandLineOption sectionOption(QStringLiteral("section"), QString(), QStringLiteral("S"));
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption versionOption(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption quietOption(QStringLiteral("quiet"));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"));
    const QCommandLineOption followOption(QStringLiteral("follow"));
    const QCommandLineOption fiscalOption(QStringLiteral("fiscal"));
    const QCommandLineOption nonFiscalOption(QStringLiteral("non-fiscal"));
    const QCommandLineOption jsonOption(QStringLiteral("json"));
    parser.addOptions(
        {dirOption, headlessOption, fileOption, sectionOption, helpOption, versionOption, quietOption, verboseOption});
    parser.addOptions({followOption, fiscalOption, nonFiscalOption});
    const QCommandLineOption printerOption(QStringLiteral("printer"), QString(), QStringLiteral("P"));
    const QCommandLineOption listenOption(QStringLiteral("listen"), QString(), QStringLiteral("HOST:PORT"));
    parser.addOptions({printerOption, listenOption});
    parser.addOption(jsonOption);
    if (!parser.parse(options))
        return invalid(toBytes(parser.errorText()));

    if (parser.isSet(helpOption)) {
        CommandLine c;
        c.action = CommandLine::Action::ShowHelp;
        // "tessiro ctl --help": the help of that subcommand.
        const QStringList words = parser.positionalArguments();
        if (!words.isEmpty() && isSubcommand(toBytes(words.front())))
            c.helpTopic = toBytes(words.front());
        return c;
    }
    if (parser.isSet(versionOption)) {
        CommandLine c;
        c.action = CommandLine::Action::ShowVersion;
        return c;
    }

    CommandLine c;
    if (parser.isSet(dirOption)) {
        const std::string dir = toBytes(parser.value(dirOption));
        if (dir.empty())
            return invalid("--dir needs a directory");
        c.programDir = std::filesystem::path(dir);
    }

    const QStringList words = parser.positionalArguments();
    const auto word = [&words](int i) { return toBytes(words.at(i)); };
    if (words.isEmpty()) {
        c.action = CommandLine::Action::RunBridge;
    } else if (word(0) == "test-receipt") {
        if (words.size() > 1)
            return invalid("test-receipt takes no arguments");
        c.action = CommandLine::Action::TestReceipt;
    } else if (word(0) == "init") {
        if (words.size() > 1)
            return invalid("init takes no arguments besides --dir and --printer");
        c.action = CommandLine::Action::Init;
        if (parser.isSet(printerOption)) {
            c.printer = toBytes(parser.value(printerOption));
            if (c.printer->empty())
                return invalid("--printer needs \"simulatore\" or an http(s):// address");
        }
    } else if (word(0) == "check") {
        if (words.size() < 2)
            return invalid("usage: tessiro check [--dir DIR] FILE... (see tessiro --help)");
        c.action = CommandLine::Action::Check;
        for (int i = 1; i < words.size(); ++i)
            c.files.emplace_back(word(i));
    } else if (word(0) == "log") {
        if (words.size() > 1)
            return invalid("log takes no arguments besides its options");
        c.action = CommandLine::Action::Log;
        if (parser.isSet(fiscalOption) && parser.isSet(nonFiscalOption))
            return invalid("--fiscal and --non-fiscal exclude each other (without either, both logs)");
        c.logs = parser.isSet(fiscalOption)      ? CommandLine::Logs::Fiscal
                 : parser.isSet(nonFiscalOption) ? CommandLine::Logs::NonFiscal
                                                 : CommandLine::Logs::Both;
        c.follow = parser.isSet(followOption);
    } else if (word(0) == "ctl") {
        if (words.size() != 2)
            return invalid("usage: tessiro ctl [--dir DIR] COMMAND (see tessiro --help)");
        if (!findControlCommand(word(1)))
            return invalid("unknown ctl command \"" + word(1) + "\" (see tessiro --help)");
        c.action = CommandLine::Action::Control;
        c.controlCommand = word(1);
    } else if (word(0) == "config") {
        if (words.size() < 2 || (word(1) != "get" && word(1) != "set"))
            return invalid("config needs \"get\" or \"set\"");
        if (word(1) == "get") {
            if (words.size() < 3 || words.size() > 4)
                return invalid("usage: tessiro config get [--dir DIR] [--file F] [--section S] KEY [DEFAULT]");
            c.action = CommandLine::Action::ConfigGet;
        } else {
            if (words.size() != 4)
                return invalid("usage: tessiro config set [--dir DIR] [--file F] [--section S] KEY VALUE");
            c.action = CommandLine::Action::ConfigSet;
        }
        c.key = word(2);
        if (words.size() == 4)
            c.value = word(3);
        c.section = parser.isSet(sectionOption) ? toBytes(parser.value(sectionOption)) : keys::Section;
        if (const std::string why = badName(c.key, false); !why.empty())
            return invalid(why);
        if (const std::string why = badName(c.section, true); !why.empty())
            return invalid(why);
        if (parser.isSet(fileOption)) {
            const std::string file = toBytes(parser.value(fileOption));
            if (file.empty())
                return invalid("--file needs a file");
            c.file = std::filesystem::path(file);
        }
    } else if (word(0) == "serve-printer") {
        if (words.size() > 1 || !parser.isSet(listenOption) || !c.programDir)
            return invalid("usage: tessiro serve-printer --dir DIR --listen HOST:PORT");
        c.action = CommandLine::Action::ServePrinter;
        c.listen = toBytes(parser.value(listenOption));
    } else {
        return invalid("unknown command \"" + word(0) + "\"");
    }
    if (parser.isSet(printerOption) && c.action != CommandLine::Action::Init)
        return invalid("--printer belongs to \"init\"");
    if (parser.isSet(listenOption) && c.action != CommandLine::Action::ServePrinter)
        return invalid("--listen belongs to \"serve-printer\"");

    if (c.action != CommandLine::Action::Log &&
        (parser.isSet(followOption) || parser.isSet(fiscalOption) || parser.isSet(nonFiscalOption)))
        return invalid("--follow, --fiscal and --non-fiscal belong to \"log\"");
    const bool isConfig = c.action == CommandLine::Action::ConfigGet || c.action == CommandLine::Action::ConfigSet;
    if (!isConfig && (parser.isSet(fileOption) || parser.isSet(sectionOption)))
        return invalid("--file and --section belong to \"config get\" and \"config set\"");
    if (parser.isSet(jsonOption)) {
        const OperatorCommand* command = c.action == CommandLine::Action::Control ? findControlCommand(c.controlCommand)
                                                                                  : nullptr;
        if (!command || command->option != "--json")
            return invalid("--json belongs to \"ctl stato\"");
        c.controlCommand += " --json";
    }
    if (parser.isSet(headlessOption)) {
        if (c.action != CommandLine::Action::RunBridge)
            return invalid("--headless belongs to the bridge itself");
        c.headless = true;
    }
    if (parser.isSet(quietOption) || parser.isSet(verboseOption)) {
        if (c.action != CommandLine::Action::RunBridge)
            return invalid("--quiet and --verbose belong to the bridge itself");
        if (parser.isSet(quietOption) && parser.isSet(verboseOption))
            return invalid("--quiet and --verbose exclude each other");
        c.verbosity = parser.isSet(quietOption) ? CommandLine::Verbosity::Quiet : CommandLine::Verbosity::Verbose;
    }
    return c;
}

namespace {

// A piece of the command line's help and the forms of the command line it
// belongs to: subcommand names separated by blanks, "" the bridge itself,
// "*" every form. The whole help shows every piece, `tessiro SUBCOMMAND
// --help` those of the subcommand.
struct HelpEntry {
    const char* owners;
    const char* text;
};

// One entry per form of the command line, owned by its subcommand.
constexpr HelpEntry Usage[] = {
    {"", "  tessiro [--dir DIR] [--headless] [--quiet|--verbose]\n"
         "      Runs the bridge on the program directory DIR: takes the command files\n"
         "      dropped into DIR/Ostro and runs them on the fiscal printer.\n"},
    {"config", "  tessiro config get [--dir DIR] [--file F] [--section S] KEY [DEFAULT]\n"
               "      Prints the value of KEY as the bridge reads it (raw bytes), or DEFAULT.\n"
               "  tessiro config set [--dir DIR] [--file F] [--section S] KEY VALUE\n"
               "      Writes KEY=VALUE as the bridge writes it. A VALUE that starts with \"-\"\n"
               "      and is no number goes after \"--\".\n"},
    {"test-receipt", "  tessiro test-receipt [--dir DIR]\n"
                     "      Prints the test receipt on the configured printer; exit status 0 when\n"
                     "      every step succeeded.\n"},
    {"init", "  tessiro init [--dir DIR] [--printer simulatore|http(s)://HOST[:PORT]]\n"
             "      Prepares the program directory for the simulated printer: creates it,\n"
             "      its drop folder Ostro and work folder IN, and stores the port values it\n"
             "      works with (Eps_COM 1, Eps_Setting 9600,N,8,1) where they are missing\n"
             "      or empty; other values are kept. Says what it created and what was\n"
             "      already there. --printer chooses the fiscal printer of DIR: the\n"
             "      simulated one, or a printer on the LAN (its https certificate is\n"
             "      pinned). Without --printer the choice is left as it is.\n"},
    {"check", "  tessiro check [--dir DIR] FILE...\n"
              "      Reads each command file as the bridge would and prints, per record, the\n"
              "      operation and the printer calls it would make, or why it would fail,\n"
              "      with hints at the cause; prints nothing and writes nothing else. FILE\n"
              "      \"-\" is standard input. DIR's settings where given, else the defaults.\n"
              "      Exit status 0 when every record would be accepted.\n"},
    {"log", "  tessiro log [--dir DIR] [--follow] [--fiscal|--non-fiscal]\n"
            "      Shows the two error logs in the terminal's encoding, one record at a\n"
            "      time (a printer's three-line record as one); --follow waits for more.\n"},
    {"serve-printer", "  tessiro serve-printer --dir DIR --listen HOST:PORT\n"
                      "      Serves the simulated printer of DIR over the LAN printers' XML\n"
                      "      service, for testing programs that speak it.\n"},
    {"ctl", "  tessiro ctl [--dir DIR] COMMAND\n"
            "      Runs a command of the window in the bridge running on DIR and prints\n"
            "      its answer. Exit status 0 when done, 1 when refused or when an error\n"
            "      stands again after it (for stato: while an error stands), 4 when no\n"
            "      bridge answers. COMMAND is one of:\n"},
};

constexpr HelpEntry Options[] = {
    {"*", "  --dir DIR      Program directory (default: TESSIRO_DIR, else the\n"
          "                 executable's directory when it is writable and no system\n"
          "                 folder, else $XDG_DATA_HOME/tessiro or ~/.local/share/tessiro).\n"},
    {"", "  --headless     No window: messages, and every record and action of the logs,\n"
         "                 go to standard error; questions get the safe answer. Also\n"
         "                 chosen when there is no display.\n"},
    {"config", "  --file F       config: the INI file (default: DIR/_Configurazione.ini).\n"},
    {"config", "  --section S    config: the section (default: Varie).\n"},
    {"", "  --quiet        Headless: only failures and warnings (ERRORE, AVVISO).\n"},
    {"ctl", "  --json         ctl stato: the state as one JSON object.\n"},
    {"", "  --verbose      Also each command file taken, its outcome and each ctl\n"
         "                 request; with a window too.\n"},
    {"log", "  --follow       log: waits for new records, as tail -f.\n"},
    {"log", "  --fiscal       log: FiscalError.log only.\n"},
    {"log", "  --non-fiscal   log: NotFiscalError.log only.\n"},
    {"*", "  -h, --help     Shows this help.\n"},
    {"", "  -v, --version  Shows the version.\n"},
};

bool belongsTo(const HelpEntry& option, const std::string& subcommand)
{
    const std::string owners = option.owners;
    if (owners == "*" || (subcommand.empty() && owners.empty()))
        return true;
    return !subcommand.empty() && (" " + owners + " ").find(" " + subcommand + " ") != std::string::npos;
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

QString usageOf(const HelpEntry& entry)
{
    QString text = QString::fromUtf8(entry.text);
    if (std::string_view(entry.owners) == "ctl")
        text += controlCommandList();
    return text;
}

} // namespace

bool isSubcommand(const std::string& word)
{
    for (const HelpEntry& entry : Usage)
        if (*entry.owners && word == entry.owners)
            return true;
    return false;
}

std::vector<std::string> subcommandNames()
{
    std::vector<std::string> names;
    for (const HelpEntry& entry : Usage)
        if (*entry.owners)
            names.emplace_back(entry.owners);
    return names;
}

QString usageText(const std::string& subcommand)
{
    QString text = QStringLiteral("Usage:\n");
    QString options;
    for (const HelpEntry& entry : Usage)
        if (subcommand.empty() || subcommand == entry.owners)
            text += usageOf(entry);
    for (const HelpEntry& option : Options)
        if (subcommand.empty() || belongsTo(option, subcommand))
            options += QString::fromUtf8(option.text);
    if (subcommand.empty())
        text += QStringLiteral("\n"
                               "Settings (_Configurazione.ini, section Varie):\n"
                               "  Read afresh where they are used: PAY_L, Eps_Vuoto, Kelmora_CORR.\n"
                               "  Taken by NASCONDI, 'tessiro ctl ricarica' or SIGHUP (and at start-up):\n"
                               "  Eps_COM, Eps_Setting, Eps_Delay, Eps_NonRiscType, Eps_NonRiscIndex,\n"
                               "  Kelmora_DIR. At start-up only: intervalTimer.\n");
    text += QStringLiteral("\nOptions:\n") + options;
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
