// SPDX-License-Identifier: MIT
#include "simulator/SimReceipt.h"

#include "simulator/CallTrace.h"
#include "simulator/SimCodes.h"
#include "simulator/SimJournal.h"

#include <cmath>

namespace jr = simjournal;
using Receipt = SimState::Receipt;
using Step = SimReceipt::Step;

namespace {

constexpr Currency Zero;

// The quantity as the printer takes it: the decimal the single was written
// from, to three decimals (calltrace::value rounds it so), as the trace and
// the roll show it. An infinity is no quantity at all, refused as invalid.
std::optional<int64_t> writtenThousandths(float quantity)
{
    if (std::isinf(quantity))
        return 0;
    const auto read = Currency::parse(calltrace::value(quantity));
    if (!read)
        return std::nullopt;
    return read->units() / (Currency::Scale / 1000);
}

// "0,335", "2": the quantity as taken, without trailing zeros.
QString quantityText(int64_t thousandths)
{
    std::string t = Currency::fromUnits(thousandths * (Currency::Scale / 1000)).toString();
    while (t.back() == '0')
        t.pop_back();
    if (t.back() == '.')
        t.pop_back();
    return QString::fromStdString(t).replace(QLatin1Char('.'), QLatin1Char(','));
}

void addTotals(SimState::Totals& into, const SimState::Totals& from)
{
    into.sales += from.sales;
    into.returns += from.returns;
    into.discounts += from.discounts;
    for (size_t k = 0; k < into.payments.size(); ++k)
        into.payments[k] += from.payments[k];
    for (const auto& [dept, amount] : from.departments)
        into.departments[dept] += amount;
}

// A fiscal receipt the first line opened: its number, and the header it prints.
std::string openFiscal(SimState& next)
{
    next.receiptNumber = ++next.lastReceipt;
    next.current = {};
    return jr::header();
}

Step refused(int16_t code)
{
    return Step{code, std::nullopt, {}};
}

// Accepted, with nothing to commit.
Step unchanged()
{
    return Step{simcode::Ok, std::nullopt, {}};
}

Step prints(SimState next, std::string printed)
{
    return Step{simcode::Ok, std::move(next), std::move(printed)};
}

} // namespace

const ReceiptRules::Terms& SimReceipt::terms()
{
    static const ReceiptRules::Terms terms{&writtenThousandths, false, false};
    return terms;
}

const char* SimReceipt::paymentLabel(SimState::Payment kind)
{
    switch (kind) {
    case SimState::Cash: return "CONTANTI";
    case SimState::Cheque: return "ASSEGNO";
    case SimState::Card: return "CARTA DI CREDITO";
    case SimState::Ticket: return "TICKET";
    default: return "ALTRO PAGAMENTO";
    }
}

SimState::Payment SimReceipt::tenderKind(int32_t type)
{
    switch (type) {
    case 0: return SimState::Cash;
    case 1: return SimState::Cheque;
    case 2: return SimState::Card;
    case 3: return SimState::Ticket;
    default: return SimState::Other;
    }
}

ReceiptRules SimReceipt::rules() const
{
    return ReceiptRules(terms(), m_state.receipt, m_state.current.net(), m_state.paid(), m_state.itemLines);
}

// The state after an operation the rules accepted: the document and its
// lines as they left them.
SimState SimReceipt::after(const ReceiptRules& rules) const
{
    SimState next = m_state;
    next.receipt = rules.document();
    next.itemLines = rules.itemLines();
    return next;
}

Step SimReceipt::item(bool isReturn, const std::string& text, std::optional<float> quantity, Currency price,
                      int16_t dept) const
{
    ReceiptRules rules = this->rules();
    const ReceiptRules::Item line = rules.item(isReturn, quantity, price, dept);
    if (line.code != simcode::Ok)
        return refused(line.code);

    SimState next = after(rules);
    std::string printed = m_state.receipt == Receipt::None ? openFiscal(next) : std::string();
    if (isReturn) {
        next.current.returns += line.amount;
        next.current.departments[dept] -= line.amount;
    } else {
        next.current.sales += line.amount;
        next.current.departments[dept] += line.amount;
    }
    if (quantity)
        printed += jr::text(QStringLiteral("  ") + quantityText(line.thousandths) + QStringLiteral(" x ") +
                            jr::amount(price));
    const QString label = jr::printable(text);
    printed += isReturn ? jr::item(QStringLiteral("RESO ") + label, -line.amount) : jr::item(label, line.amount);
    return prints(next, printed);
}

// A description or extra line on an idle printer opens nothing: a
// printer only takes it inside a receipt.
Step SimReceipt::line(const std::string& text, std::optional<int16_t> extraLine) const
{
    ReceiptRules rules = this->rules();
    if (const int16_t code = extraLine ? rules.extraLine(*extraLine) : rules.description())
        return refused(code);
    return prints(after(rules), jr::text(jr::printable(text)));
}

Step SimReceipt::subtotal() const
{
    ReceiptRules rules = this->rules();
    if (const int16_t code = rules.subtotal())
        return refused(code);
    return prints(after(rules), jr::item(QStringLiteral("SUBTOTALE"), m_state.current.net()));
}

Step SimReceipt::discount(Currency amount) const
{
    ReceiptRules rules = this->rules();
    const ReceiptRules::Discount discount = rules.discount(amount);
    // A record with no discount to give is accepted and prints nothing.
    if (discount.code != simcode::Ok || discount.amount == Zero)
        return refused(discount.code);
    SimState next = after(rules);
    next.current.discounts += discount.amount;
    return prints(next, jr::item(QStringLiteral("SCONTO SUBTOTALE"), -discount.amount));
}

Step SimReceipt::cancel() const
{
    ReceiptRules rules = this->rules();
    if (!rules.cancel())
        return unchanged(); // nothing to void
    SimState next = after(rules);
    ++next.voided;
    next.current = {};
    const std::string printed = jr::rule() + jr::centered(QStringLiteral("*** SCONTRINO ANNULLATO ***")) +
                                m_journal.numbered(QStringLiteral("SCONTRINO"), m_state.receiptNumber) + "\n";
    return prints(next, printed);
}

Step SimReceipt::pay(SimState::Payment kind, const QString& label, std::optional<Currency> amount) const
{
    ReceiptRules rules = this->rules();
    const ReceiptRules::Payment payment = rules.pay(amount, kind == SimState::Cash);
    if (payment.code != simcode::Ok)
        return refused(payment.code);

    SimState next = after(rules);
    std::string printed;
    if (m_state.receipt == Receipt::Fiscal)
        printed += jr::rule() + jr::item(QStringLiteral("TOTALE EURO"), m_state.current.net());
    next.current.payments[kind] += payment.paid;
    printed += jr::item(label.trimmed().isEmpty() ? QString::fromLatin1(paymentLabel(kind)) : label.trimmed(),
                        payment.paid);
    if (payment.closes) {
        if (payment.change > Zero) {
            next.current.payments[SimState::Cash] -= payment.change;
            printed += jr::item(QStringLiteral("RESTO"), payment.change);
        }
        ++next.receipts;
        addTotals(next.day, next.current);
        next.grandTotal += next.current.net();
        next.current = {};
        printed += jr::rule() + m_journal.numbered(QStringLiteral("SCONTRINO"), m_state.receiptNumber) + "\n";
    }
    return prints(next, printed);
}

Step SimReceipt::openNonFiscal() const
{
    ReceiptRules rules = this->rules();
    if (const int16_t code = rules.openNonFiscal())
        return refused(code);
    SimState next = after(rules);
    next.receiptNumber = ++next.lastNonFiscal;
    next.current = {};
    return prints(next, jr::header() + jr::centered(QStringLiteral("DOCUMENTO NON FISCALE")));
}

Step SimReceipt::nonFiscalLine(const std::string& text) const
{
    if (const int16_t code = rules().nonFiscalLine())
        return refused(code);
    return prints(m_state, jr::text(jr::printable(text)));
}

Step SimReceipt::closeNonFiscal() const
{
    ReceiptRules rules = this->rules();
    if (const int16_t code = rules.closeNonFiscal())
        return refused(code);
    return prints(after(rules),
                  jr::rule() + m_journal.numbered(QStringLiteral("NON FISCALE"), m_state.receiptNumber) + "\n");
}

Step SimReceipt::amountEntry(Currency amount) const
{
    if (const int16_t code = rules().amountEntry(amount))
        return refused(code);
    SimState next = m_state;
    next.amountEntries += amount;
    return prints(next, jr::item(QStringLiteral("IMPORTO"), amount));
}

Step SimReceipt::openDrawer() const
{
    SimState next = m_state;
    ++next.drawerOpenings;
    return prints(next, {});
}

Step SimReceipt::closure(bool withDepartments) const
{
    if (const int16_t code = rules().closure())
        return refused(code);
    const SimState& s = m_state;
    auto count = [](int n) { return QString::number(n); };
    std::string printed = jr::rule('=');
    printed += jr::centered(withDepartments ? QStringLiteral("CHIUSURA FISCALE CON REPARTI")
                                            : QStringLiteral("CHIUSURA FISCALE"));
    printed += jr::rule();
    printed += jr::item(QStringLiteral("SCONTRINI FISCALI"), count(s.receipts));
    printed += jr::item(QStringLiteral("SCONTRINI ANNULLATI"), count(s.voided));
    printed += jr::item(QStringLiteral("DOCUMENTI NON FISCALI"), count(s.lastNonFiscal));
    printed += jr::item(QStringLiteral("APERTURE CASSETTO"), count(s.drawerOpenings));
    printed += jr::rule();
    printed += jr::item(QStringLiteral("VENDITE"), s.day.sales);
    printed += jr::item(QStringLiteral("RESI"), -s.day.returns);
    printed += jr::item(QStringLiteral("SCONTI"), -s.day.discounts);
    printed += jr::item(QStringLiteral("TOTALE GIORNO"), s.day.net());
    printed += jr::rule();
    printed += jr::item(QStringLiteral("CONTANTI"), s.day.payments[SimState::Cash]);
    printed += jr::item(QStringLiteral("ASSEGNI"), s.day.payments[SimState::Cheque]);
    printed += jr::item(QStringLiteral("CARTE DI CREDITO"), s.day.payments[SimState::Card]);
    printed += jr::item(QStringLiteral("TICKET"), s.day.payments[SimState::Ticket]);
    printed += jr::item(QStringLiteral("ALTRI PAGAMENTI"), s.day.payments[SimState::Other]);
    printed += jr::item(QStringLiteral("IMPORTI NON FISCALI"), s.amountEntries);
    if (withDepartments) {
        printed += jr::rule();
        for (const auto& [dept, amount] : s.day.departments)
            printed += jr::item(QStringLiteral("REPARTO %1").arg(dept, 2, 10, QLatin1Char('0')), amount);
    }
    printed += jr::rule();
    printed += jr::item(QStringLiteral("GRAN TOTALE"), s.grandTotal);
    printed += m_journal.numbered(QStringLiteral("CHIUSURA"), s.closures + 1) + "\n";

    SimState next;
    next.closures = s.closures + 1;
    next.grandTotal = s.grandTotal;
    next.paperEnd = s.paperEnd;
    return prints(next, printed);
}

Step SimReceipt::paperEndRecovery() const
{
    if (!m_state.paperEnd)
        return unchanged();
    SimState next = m_state;
    next.paperEnd = false;
    return prints(next, jr::centered(QStringLiteral("--- RIPRESA DA FINE CARTA ---")));
}
