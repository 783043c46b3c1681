// SPDX-License-Identifier: MIT
#include "simulator/SimState.h"

#include "core/FileAccess.h"

#include <cerrno>
#include <charconv>
#include <sstream>

namespace {

constexpr const char* PaymentKeys[SimState::PaymentKinds] = {"Contanti", "Assegni", "Carte", "Ticket", "Altri"};
constexpr const char* DepartmentPrefix = "Reparto.";

const char* receiptName(SimState::Receipt r)
{
    switch (r) {
    case SimState::Receipt::Fiscal: return "fiscale";
    case SimState::Receipt::Payment: return "pagamento";
    case SimState::Receipt::NonFiscal: return "nonfiscale";
    case SimState::Receipt::None: break;
    }
    return "nessuno";
}

void writeTotals(std::ostringstream& out, const SimState::Totals& t)
{
    out << "Vendite=" << t.sales.toString() << '\n';
    out << "Resi=" << t.returns.toString() << '\n';
    out << "Sconti=" << t.discounts.toString() << '\n';
    for (int k = 0; k < SimState::PaymentKinds; ++k)
        out << PaymentKeys[k] << '=' << t.payments[size_t(k)].toString() << '\n';
    for (const auto& [dept, amount] : t.departments)
        out << DepartmentPrefix << dept << '=' << amount.toString() << '\n';
}

template <class Int>
bool readInt(std::string_view text, Int& target)
{
    Int v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size())
        return false;
    target = v;
    return true;
}

bool readCurrency(std::string_view text, Currency& target)
{
    const auto v = Currency::parse(text);
    if (v)
        target = *v;
    return v.has_value();
}

// The last print on one line: backslash, CR and LF escaped.
std::string escaped(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

bool unescaped(std::string_view text, std::string& out)
{
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size())
            return false;
        switch (text[i]) {
        case '\\': out += '\\'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        default: return false;
        }
    }
    return true;
}

// Entries shared by the day and the receipt sections; false for a known key
// whose value (or department number) does not read.
bool readTotals(std::string_view key, std::string_view value, SimState::Totals& t)
{
    if (key == "Vendite")
        return readCurrency(value, t.sales);
    if (key == "Resi")
        return readCurrency(value, t.returns);
    if (key == "Sconti")
        return readCurrency(value, t.discounts);
    if (key.starts_with(DepartmentPrefix)) {
        int dept = 0;
        if (!readInt(key.substr(std::string_view(DepartmentPrefix).size()), dept))
            return false;
        return readCurrency(value, t.departments[dept]);
    }
    for (int k = 0; k < SimState::PaymentKinds; ++k)
        if (key == PaymentKeys[k])
            return readCurrency(value, t.payments[size_t(k)]);
    return true;
}

} // namespace

Currency SimState::paid() const
{
    Currency sum;
    for (Currency p : current.payments)
        sum += p;
    return sum;
}

std::string SimState::serialize() const
{
    std::ostringstream out;
    out << "[Stampante]\n";
    out << "UltimoScontrino=" << lastReceipt << '\n';
    out << "UltimoNonFiscale=" << lastNonFiscal << '\n';
    out << "Chiusure=" << closures << '\n';
    out << "GranTotale=" << grandTotal.toString() << '\n';
    out << "FineCarta=" << (paperEnd ? 1 : 0) << '\n';
    out << "\n[Giorno]\n";
    out << "Scontrini=" << receipts << '\n';
    out << "Annullati=" << voided << '\n';
    out << "AperturaCassetto=" << drawerOpenings << '\n';
    out << "ImportiNonFiscali=" << amountEntries.toString() << '\n';
    writeTotals(out, day);
    out << "\n[Scontrino]\n";
    out << "Stato=" << receiptName(receipt) << '\n';
    out << "Numero=" << receiptNumber << '\n';
    out << "Righe=" << itemLines << '\n';
    writeTotals(out, current);
    out << "\n[Giornale]\n";
    out << "Lunghezza=" << journalLength << '\n';
    out << "UltimaStampa=" << escaped(lastPrinted) << '\n';
    return out.str();
}

SimState SimState::parse(const std::string& text)
{
    SimState s;
    parseChecked(text, s);
    return s;
}

bool SimState::parseChecked(const std::string& text, SimState& s)
{
    s = {};
    bool whole = true;
    bool printerSeen = false;
    std::istringstream in(text);
    std::string line, section;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            printerSeen = printerSeen || section == "Stampante";
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            whole = false;
            continue;
        }
        const std::string_view key(line.data(), eq);
        const std::string_view value(line.data() + eq + 1, line.size() - eq - 1);
        bool ok = true;
        if (section == "Stampante") {
            if (key == "UltimoScontrino")
                ok = readInt(value, s.lastReceipt);
            else if (key == "UltimoNonFiscale")
                ok = readInt(value, s.lastNonFiscal);
            else if (key == "Chiusure")
                ok = readInt(value, s.closures);
            else if (key == "GranTotale")
                ok = readCurrency(value, s.grandTotal);
            else if (key == "FineCarta")
                s.paperEnd = value == "1";
        } else if (section == "Giorno") {
            if (key == "Scontrini")
                ok = readInt(value, s.receipts);
            else if (key == "Annullati")
                ok = readInt(value, s.voided);
            else if (key == "AperturaCassetto")
                ok = readInt(value, s.drawerOpenings);
            else if (key == "ImportiNonFiscali")
                ok = readCurrency(value, s.amountEntries);
            else
                ok = readTotals(key, value, s.day);
        } else if (section == "Scontrino") {
            if (key == "Stato") {
                ok = false;
                for (Receipt r : {Receipt::None, Receipt::Fiscal, Receipt::Payment, Receipt::NonFiscal}) {
                    if (value == receiptName(r)) {
                        s.receipt = r;
                        ok = true;
                    }
                }
            } else if (key == "Numero") {
                ok = readInt(value, s.receiptNumber);
            } else if (key == "Righe") {
                ok = readInt(value, s.itemLines);
            } else {
                ok = readTotals(key, value, s.current);
            }
        } else if (section == "Giornale") {
            if (key == "Lunghezza")
                ok = readInt(value, s.journalLength);
            else if (key == "UltimaStampa")
                ok = unescaped(value, s.lastPrinted);
        }
        whole = whole && ok;
    }
    // A fiscal receipt saved before its lines were counted has at least one.
    if (s.receipt == Receipt::Fiscal && text.find("\nRighe=") == std::string::npos)
        s.itemLines = 1;
    return whole && printerSeen;
}

SimState::Loaded SimState::load(const Folder& folder, std::string_view name, SimState& out)
{
    out = {};
    const auto text = folder.read(name);
    if (text)
        return parseChecked(*text, out) ? Loaded::Read : Loaded::Corrupt;
    switch (errno) {
    case ENOENT: return Loaded::Missing;
    case ELOOP:
    case EISDIR:
    case EINVAL: return Loaded::Refused;
    default: return Loaded::Corrupt;
    }
}

bool SimState::save(const Folder& folder, std::string_view name) const
{
    // A link or a folder planted in the file's place is left as it is: the
    // rename would replace it, and the printer would go on with counters
    // no one can see.
    if (const int why = folder.notAFile(name)) {
        errno = why;
        return false;
    }
    return folder.replace(name, serialize());
}

SimState::Loaded SimState::load(const std::filesystem::path& file, SimState& out)
{
    return load(Folder::open(file.parent_path()), file.filename().string(), out);
}

SimState SimState::load(const std::filesystem::path& file)
{
    SimState s;
    if (load(file, s) != Loaded::Read)
        return {};
    return s;
}

bool SimState::save(const std::filesystem::path& file) const
{
    return save(Folder::open(file.parent_path()), file.filename().string());
}
