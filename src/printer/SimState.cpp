// SPDX-License-Identifier: MIT
#include "printer/SimState.h"

#include <QFile>
#include <QSaveFile>

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

bool readInt(std::string_view text, int& target)
{
    int v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size())
        return false;
    target = v;
    return true;
}

void readCurrency(std::string_view text, Currency& target)
{
    if (const auto v = Currency::parse(text))
        target = *v;
}

// Entries shared by the day and the receipt sections.
bool readTotals(std::string_view key, std::string_view value, SimState::Totals& t)
{
    if (key == "Vendite")
        readCurrency(value, t.sales);
    else if (key == "Resi")
        readCurrency(value, t.returns);
    else if (key == "Sconti")
        readCurrency(value, t.discounts);
    else if (key.starts_with(DepartmentPrefix)) {
        int dept = 0;
        if (readInt(key.substr(std::string_view(DepartmentPrefix).size()), dept))
            readCurrency(value, t.departments[dept]);
    } else {
        for (int k = 0; k < SimState::PaymentKinds; ++k) {
            if (key == PaymentKeys[k]) {
                readCurrency(value, t.payments[size_t(k)]);
                return true;
            }
        }
        return false;
    }
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
    writeTotals(out, current);
    return out.str();
}

SimState SimState::parse(const std::string& text)
{
    SimState s;
    std::istringstream in(text);
    std::string line, section;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string_view key(line.data(), eq);
        const std::string_view value(line.data() + eq + 1, line.size() - eq - 1);
        if (section == "Stampante") {
            if (key == "UltimoScontrino")
                readInt(value, s.lastReceipt);
            else if (key == "UltimoNonFiscale")
                readInt(value, s.lastNonFiscal);
            else if (key == "Chiusure")
                readInt(value, s.closures);
            else if (key == "GranTotale")
                readCurrency(value, s.grandTotal);
            else if (key == "FineCarta")
                s.paperEnd = value == "1";
        } else if (section == "Giorno") {
            if (key == "Scontrini")
                readInt(value, s.receipts);
            else if (key == "Annullati")
                readInt(value, s.voided);
            else if (key == "AperturaCassetto")
                readInt(value, s.drawerOpenings);
            else if (key == "ImportiNonFiscali")
                readCurrency(value, s.amountEntries);
            else
                readTotals(key, value, s.day);
        } else if (section == "Scontrino") {
            if (key == "Stato") {
                for (Receipt r : {Receipt::None, Receipt::Fiscal, Receipt::Payment, Receipt::NonFiscal})
                    if (value == receiptName(r))
                        s.receipt = r;
            } else if (key == "Numero") {
                readInt(value, s.receiptNumber);
            } else {
                readTotals(key, value, s.current);
            }
        }
    }
    return s;
}

SimState SimState::load(const std::filesystem::path& file)
{
    QFile f(QString::fromStdString(file.string()));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return parse(f.readAll().toStdString());
}

bool SimState::save(const std::filesystem::path& file) const
{
    QSaveFile f(QString::fromStdString(file.string()));
    // Unbuffered: a buffered QSaveFile whose flush the disk refuses still
    // commits an empty file (Qt 6.4), and the printer would lose its counters.
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const std::string text = serialize();
    if (f.write(text.data(), qint64(text.size())) != qint64(text.size()) || f.error() != QFileDevice::NoError) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}
