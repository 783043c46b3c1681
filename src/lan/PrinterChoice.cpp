// SPDX-License-Identifier: MIT
#include "lan/PrinterChoice.h"

#include "config/IniFile.h"
#include "config/Text.h"
#include "lan/HttpClient.h"
#include "lan/LanPrinter.h"
#include "simulator/SimulatedPrinter.h"

#include <exception>
#include <ostream>

namespace fs = std::filesystem;

namespace {

const std::string Section = "Stampante";
const std::string KindKey = "Tipo";
const std::string AddressKey = "Indirizzo";
const std::string FingerprintKey = "Impronta";
const std::string LanWord = "lan";

} // namespace

std::string PrinterChoice::describe() const
{
    if (kind == Kind::Simulator)
        return "stampante simulata";
    std::string text = "stampante LAN " + address;
    if (!fingerprint.empty())
        text += " (certificato " + fingerprint + ")";
    return text;
}

PrinterChoice readPrinterChoice(const fs::path& programDir)
{
    PrinterChoice choice;
    const fs::path file = programDir / PrinterChoice::FileName;
    std::error_code ec;
    if (!fs::exists(file, ec))
        return choice;
    const std::string kind = trimmed(LeggiINI(Section, KindKey, PrinterChoice::SimulatorWord, file));
    if (kind == PrinterChoice::SimulatorWord)
        return choice;
    choice.kind = PrinterChoice::Kind::Lan;
    choice.address = trimmed(LeggiINI(Section, AddressKey, "", file));
    choice.fingerprint = trimmed(LeggiINI(Section, FingerprintKey, "", file));
    if (kind != LanWord) {
        choice.problem = file.string() + ": Tipo=" + kind + " is neither \"simulatore\" nor \"lan\"";
        return choice;
    }
    QString why;
    const auto endpoint = LanEndpoint::parse(QString::fromStdString(choice.address), &why);
    if (!endpoint)
        choice.problem = file.string() + ": Indirizzo=" + choice.address + ": " + why.toStdString();
    else if (endpoint->tls && choice.fingerprint.empty())
        choice.problem = file.string() + ": no certificate pinned for " + choice.address +
                         " (run 'tessiro init --printer " + choice.address + "' again)";
    return choice;
}

bool storePrinterChoice(const fs::path& programDir, const std::string& printer, std::ostream& out, std::ostream& err,
                        int timeoutMs)
{
    const fs::path file = programDir / PrinterChoice::FileName;
    const auto write = [&](const std::string& key, const std::string& value) {
        if (ScriviINI(Section, key, value, file))
            return true;
        err << "tessiro: could not write " << key << " in " << file.string() << '\n';
        return false;
    };
    if (trimmed(printer) == PrinterChoice::SimulatorWord) {
        if (!write(KindKey, PrinterChoice::SimulatorWord))
            return false;
        out << "tessiro: printer: the simulated printer of " << (programDir / "Simulatore").string() << '\n';
        return true;
    }
    QString why;
    const auto endpoint = LanEndpoint::parse(QString::fromStdString(printer), &why);
    if (!endpoint) {
        err << "tessiro: --printer " << printer << ": " << why.toStdString()
            << " (or \"simulatore\" for the simulated printer)\n";
        return false;
    }
    std::string fingerprint;
    if (endpoint->tls) {
        const auto seen = fetchFingerprint(*endpoint, timeoutMs, &why);
        if (!seen) {
            err << "tessiro: the certificate of " << endpoint->address().toStdString()
                << " could not be read: " << why.toStdString() << "; nothing was changed\n";
            return false;
        }
        fingerprint = seen->toStdString();
    }
    // The kind goes last: a choice half written still reads as the old one
    // or as a LAN printer with its whole address.
    if (!write(AddressKey, endpoint->address().toStdString()) || !write(FingerprintKey, fingerprint) ||
        !write(KindKey, LanWord))
        return false;
    out << "tessiro: printer: the LAN printer at " << endpoint->address().toStdString() << '\n';
    if (!fingerprint.empty())
        out << "tessiro: certificate pinned, SHA-256 " << fingerprint
            << "\n         (check it on the printer; a different certificate will be refused)\n";
    return true;
}

std::unique_ptr<PrinterControl> makeChosenPrinter(const fs::path& programDir, Clock& clock, std::ostream& err)
{
    const PrinterChoice choice = readPrinterChoice(programDir);
    if (!choice.problem.empty()) {
        err << "tessiro: the printer choice cannot be used: " << choice.problem << '\n';
        return nullptr;
    }
    try {
        if (choice.kind == PrinterChoice::Kind::Simulator)
            return std::make_unique<SimulatedPrinter>(programDir, clock);
        const auto endpoint = LanEndpoint::parse(QString::fromStdString(choice.address));
        return std::make_unique<LanPrinter>(programDir, clock, *endpoint,
                                            QString::fromStdString(choice.fingerprint));
    } catch (const std::exception& e) {
        err << "tessiro: the " << choice.describe() << " could not start: " << e.what() << '\n';
    }
    return nullptr;
}
