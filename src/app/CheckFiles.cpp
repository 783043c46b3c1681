// SPDX-License-Identifier: MIT
#include "app/CheckFiles.h"

#include "app/Subcommands.h"
#include "bridge/ConsoleWindow.h"
#include "bridge/Intake.h"
#include "bridge/TerminalText.h"
#include "commands/CommandText.h"
#include "commands/Interprete.h"
#include "commands/SpezzaRiga.h"
#include "config/Keys.h"
#include "config/SettingsFields.h"
#include "config/Text.h"
#include "core/Clock.h"
#include "core/SharedState.h"
#include "errors/ErrorHandler.h"
#include "errors/FileKind.h"
#include "printer/Currency.h"
#include "printer/ErrorLink.h"
#include "simulator/RecordingControl.h"

#include <fstream>
#include <iterator>
#include <iostream>
#include <fcntl.h>
#include <unistd.h>
#include <ostream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string describe(const WorkingSettings& s, const std::string& payL)
{
    std::ostringstream text;
    text << "Eps_COM=" << (s.portNumber ? std::to_string(*s.portNumber) : std::string("(none)"))
         << ", Eps_Setting=" << s.portSettings << ", Eps_NonRiscType=" << s.unpaidType
         << ", Eps_NonRiscIndex=" << s.unpaidIndex << ", PAY_L=" << payL;
    return text.str();
}

// A path as given (Linux names are bytes, usually UTF-8), with control
// characters marked so that no name can drive the terminal.
std::string printable(const fs::path& path)
{
    std::string text = path.string();
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    return text;
}

// Why an accepted payment record sent nothing, as the payment operation
// decides: with PAY_L set a negative amount pays nothing; otherwise (or for
// an amount of 0) only the types with a payment call of their own pay.
std::string silentPayment(const std::string& record, bool payLSet)
{
    LineFields f;
    SpezzaRiga(record, f);
    const auto amount = Currency::parse(f[3]);
    if (payLSet && amount && *amount < Currency{})
        return "a negative amount pays nothing while PAY_L is set";
    return "payment type " + trimmed(f[4]) + " sends nothing to the printer" +
           (payLSet ? std::string(" with an amount of 0") : std::string(" while PAY_L=0")) +
           ": only the types 1, 2, 3, 4 and 6 pay";
}

// Prints one file's records as the interpreter reports them.
class FilePrinter {
public:
    FilePrinter(std::ostream& out, RecordingControl& control, bool payLSet, bool fiscalName)
        : m_out(out), m_control(control), m_payLSet(payLSet), m_fiscalName(fiscalName)
    {}

    void textRead(const TextReading& reading)
    {
        if (reading.markDropped)
            m_out << "  a UTF-8 byte order mark opens the file: dropped\n";
        if (reading.fromUtf8) {
            m_out << "  saved as UTF-8: turned into windows-1252, the printer's character set\n";
            if (reading.unmapped > 0)
                m_out << "  !! warning: " << reading.unmapped
                      << (reading.unmapped == 1 ? " character has" : " characters have")
                      << " no windows-1252 form and print" << (reading.unmapped == 1 ? "s" : "") << " as \"?\"\n";
        }
        if (reading.tooLargeToJudge)
            m_out << "  over " << CommandText::MaxJudged / (1024 * 1024)
                  << " MiB: read as windows-1252 without looking for UTF-8\n";
    }

    void hint(const std::string& words) { m_out << "     hint: " << cp1252ToTerminal(words) << '\n'; }

    void portCalls(const char* when)
    {
        const std::vector<std::string> calls = m_control.take();
        if (calls.empty())
            return;
        m_out << "  " << when << ":";
        for (const std::string& call : calls)
            m_out << (&call == &calls.front() ? " " : "; ") << utf8ToTerminal(call);
        m_out << '\n';
    }

    void started(const std::string& record, std::string_view routine, std::string_view what)
    {
        portCalls("port");
        flushFailures();
        ++m_number;
        m_out << "  " << m_number << ": " << cp1252ToTerminal(record) << '\n';
        if (routine.empty())
            m_out << "     unknown code \"" << cp1252ToTerminal(record.substr(0, record.find(':')))
                  << "\": nothing runs\n";
        else
            m_out << "     " << routine << " (" << what << ")\n";
        m_unknown = routine.empty();
        m_record = record;
        const std::string code = record.substr(0, record.find(':'));
        // The log a failure goes to, and the crash record, follow the name.
        if (!m_fiscalName && !m_warnedName && (code == "F2" || code == "F3" || code == "F4" || code == "F8")) {
            m_out << "     !! warning: a fiscal receipt in a file whose name says it is not fiscal (no COR at "
                     "characters 15 to 17): its failures go to "
                  << ErrorHandler::NotFiscalLog << ", where the back-office does not look for them\n";
            m_warnedName = true;
        }
    }

    void ended(bool goesOn)
    {
        const std::vector<std::string> calls = m_control.take();
        for (const std::string& call : calls)
            m_out << "       " << utf8ToTerminal(call) << '\n';
        const bool failed = !m_failures.empty();
        // Accepted and yet nothing sent (a payment of a type no tender
        // stands for): worth a word, since nothing will print either.
        if (calls.empty() && !failed && !m_unknown) {
            m_out << "       (no printer call)\n";
            if (m_record.starts_with("F4:"))
                m_out << "     !! warning: " << cp1252ToTerminal(silentPayment(m_record, m_payLSet))
                      << ": the receipt is not paid and stays open\n";
        }
        flushFailures();
        if (failed || m_unknown)
            m_rejected = true;
        if (!goesOn) {
            m_out << "     the file stops here"
                  << (m_unknown && !failed ? " (an unknown code stops the file when no record before it ran)" : "")
                  << '\n';
            m_rejected = true;
        }
    }

    void failure(const std::string& message)
    {
        m_failures.push_back(message);
        // A failure outside any record (the file cannot be read, the port
        // does not open) counts too.
        m_rejected = true;
    }

    void flushFailures()
    {
        for (const std::string& message : m_failures)
            m_out << "     !! " << cp1252ToTerminal(message) << '\n';
        m_failures.clear();
    }

    int records() const { return m_number; }
    bool rejected() const { return m_rejected; }

private:
    std::ostream& m_out;
    RecordingControl& m_control;
    const bool m_payLSet;
    const bool m_fiscalName;
    bool m_warnedName = false;
    std::string m_record;
    std::vector<std::string> m_failures;
    int m_number = 0;
    bool m_unknown = false;
    bool m_rejected = false;
};

// `file` "-" is standard input, `input`.
bool checkOne(const fs::path& file, const fs::path& settingsDir, const WorkingSettings& settings, bool payLSet,
              std::istream& input, std::ostream& out)
{
    const bool fromInput = file == "-";
    RecordingControl control;
    SharedState state;
    // Read for the keys the operations look up themselves (PAY_L); nothing is
    // ever written there.
    state.programDir = settingsDir;
    state.settings = settings;

    std::ostringstream labels; // the window's texts repeat the failures
    ConsoleWindow window(labels);
    SystemClock clock;
    ErrorHandler errors(state, window, clock);
    errors.keepOffDisk = true;

    Job job = jobNamed(fromInput ? std::string() : file.filename().string());
    const std::string& name = job.name;
    out << (fromInput ? std::string("standard input") : printable(file)) << " (" << (fromInput ? "no name: " : "")
        << (isDisplayName(name)  ? "display message"
            : isFiscalName(name) ? "fiscal"
                                 : "not fiscal")
        << ", failures go to " << (isFiscalName(name) ? ErrorHandler::FiscalLog : ErrorHandler::NotFiscalLog) << ")\n";

    if (const UniqueFd fd(fromInput ? -1 : ::open(file.c_str(), O_RDONLY | O_CLOEXEC)); fd.get() >= 0) {
        const Unfinished why = unfinishedContent(fd.get());
        if (why != Unfinished::No)
            out << "  held in Ostro while " << unfinishedText(why)
                << " (once unchanged for a minute, it runs as it is)\n";
    }


    FilePrinter printer(out, control, payLSet, isFiscalName(name));
    errors.onRecord = [&printer, &state](ErrorHandler::RecordKind kind, const std::string&, const std::string&) {
        if (kind != ErrorHandler::RecordKind::Failure)
            return;
        const std::string& last = state.lastErrorText;
        const size_t lineEnd = last.find("\r\n");
        printer.failure(lineEnd == std::string::npos ? last : last.substr(lineEnd + 2));
    };
    const ErrorLink link(control, errors, state.settings);

    RecordWatch watch;
    watch.textRead = [&printer](const TextReading& reading) { printer.textRead(reading); };
    watch.hint = [&printer](const std::string& words) { printer.hint(words); };
    watch.started = [&printer](const std::string& record, std::string_view routine, std::string_view what) {
        printer.started(record, routine, what);
    };
    watch.ended = [&printer](bool goesOn) { printer.ended(goesOn); };

    if (fromInput)
        EseguiFileComandi(control, errors, state, clock, job, input, {}, &watch);
    else
        EseguiFileComandi(control, errors, state, clock, job, file, &watch);
    printer.portCalls("port");
    printer.flushFailures();
    if (printer.records() == 0) {
        out << "  no records: nothing runs\n";
        return false;
    }
    out << "  " << (printer.rejected() ? "would fail" : "would be accepted") << " (" << printer.records()
        << (printer.records() == 1 ? " record read" : " records read") << ")\n";
    return !printer.rejected();
}

} // namespace

int checkCommandFiles(const std::optional<fs::path>& programDir, const std::vector<fs::path>& files, std::ostream& out,
                      std::ostream& err, std::istream& input)
{
    WorkingSettings settings = freshFolderSettings();
    // No folder: a path under which nothing can exist, so every key the
    // operations read there gives its default.
    fs::path settingsDir = "/dev/null";
    std::string payL = "0";
    if (programDir) {
        if (const std::string problem = programDirProblem(*programDir); !problem.empty()) {
            err << "tessiro: " << problem << '\n';
            return 2;
        }
        settingsDir = *programDir;
        settings = storedSettings(settingsDir / keys::ConfigFile);
        payL = storedPayLText(settingsDir / keys::ConfigFile);
        out << "Settings of " << printable(settingsDir / keys::ConfigFile) << ": "
            << cp1252ToTerminal(describe(settings, payL)) << "\n\n";
    } else {
        out << "Default settings (no --dir): " << describe(settings, payL)
            << "\nPayments and the port follow a program directory's settings: --dir DIR checks with those.\n\n";
    }

    bool allAccepted = true;
    for (const fs::path& file : files) {
        allAccepted =
            checkOne(file, settingsDir, settings, toDouble(payL).value_or(0.0) != 0.0, input, out) && allAccepted;
        out << '\n';
    }
    out.flush();
    return allAccepted ? 0 : 1;
}
