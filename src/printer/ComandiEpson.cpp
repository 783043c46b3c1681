// SPDX-License-Identifier: MIT
#include "printer/ComandiEpson.h"

#include "config/SettingsFields.h"
#include "config/Text.h"
#include "errors/ErrorHandler.h"
#include "printer/Porta.h"
#include "printer/PrinterControl.h"

#include <cmath>
#include <exception>
#include <limits>

namespace {

constexpr Currency One = Currency::fromWhole(1);

// What PayTender is given besides idOp and the amount.
struct Tender {
    std::string text;
    int32_t type;
    int16_t flag;
    int16_t index;
};

template <typename Int>
std::optional<Int> wholeNumber(std::string_view text)
{
    const auto value = toDouble(text);
    if (!value)
        return std::nullopt;
    const double whole = std::floor(*value);
    if (whole < double(std::numeric_limits<Int>::min()) || whole > double(std::numeric_limits<Int>::max()))
        return std::nullopt;
    return static_cast<Int>(whole);
}

// "T:I" as the interpreter builds it from the two unpaid settings. Anything
// else is refused rather than guessed: a guessed tender would print a wrong
// payment on a fiscal receipt without a word.
std::optional<Tender> unpaidTender(const std::string& unpaidText)
{
    const auto colon = unpaidText.find(':');
    if (colon == std::string::npos)
        return std::nullopt;
    const auto type = wholeNumber<int32_t>(std::string_view(unpaidText).substr(0, colon));
    const auto index = wholeNumber<int16_t>(std::string_view(unpaidText).substr(colon + 1));
    if (!type || !index)
        return std::nullopt;
    return Tender{"A CREDITO", *type, 0, *index};
}

std::optional<Tender> tenderFor(int16_t paymentType, const std::string& unpaidText)
{
    switch (paymentType) {
    case 2: return Tender{"ASSEGNI", 1, 0, 1};
    case 3: return Tender{"CC BANCOMAT", 2, 0, 1};
    case 4: return Tender{"TICKET", 3, 1, 1};
    case 6: return unpaidTender(unpaidText);
    default: return Tender{"CONTANTI", 0, 0, 1};
    }
}

} // namespace

ComandiEpson::ComandiEpson(PrinterControl& control, ErrorHandler& errors, std::filesystem::path configFile)
    : m_control(control), m_errors(errors), m_configFile(std::move(configFile))
{}

void ComandiEpson::report(const std::string& label, const std::string& description)
{
    std::string message = label;
    if (!message.empty() && message.back() != ' ')
        message += ' ';
    m_errors.registraErrore(message + description);
}

bool ComandiEpson::perform(const std::string& label, CodeInMessage codeInMessage, const std::function<int16_t()>& calls)
{
    int16_t code = 0;
    try {
        code = calls();
    } catch (const std::exception& failure) {
        report(label, printerText(failure.what()));
        return false;
    }
    if (code == 0)
        return true;
    m_errors.registraErrore(codeInMessage == CodeInMessage::Appended ? label + std::to_string(code) : label);
    return false;
}

bool ComandiEpson::refuseWhenBusy(const std::string& label, const std::string& busyMessage)
{
    bool busy = false;
    try {
        busy = m_control.Busy();
    } catch (const std::exception& failure) {
        report(label, printerText(failure.what()));
        return true;
    }
    if (busy)
        m_errors.registraErrore(busyMessage);
    return busy;
}

std::optional<int16_t> ComandiEpson::department(const std::string& label, Currency dept)
{
    const auto number = dept.toInt16();
    if (!number)
        report(label, "reparto non valido: " + dept.toString());
    return number;
}

bool ComandiEpson::payLinesSet()
{
    const std::string text = storedPayLText(m_configFile);
    return toDouble(text).value_or(0.0) != 0.0;
}

bool ComandiEpson::opReparto(int16_t idOp, const std::string& text, Currency quantity, Currency price, Currency dept)
{
    static const std::string label = "opReparto - ";
    const auto number = department(label, dept);
    if (!number || refuseWhenBusy(label, "VenditaReparto: OCX Occupato"))
        return false;
    return perform(label, CodeInMessage::Appended, [&] {
        m_control.setItemOptionA(20);
        m_control.setItemOptionB(10);
        if (quantity == One)
            return m_control.SellDept(idOp, text, price, *number);
        return m_control.SellDeptQty(idOp, text, quantity.toFloat(), price, *number);
    });
}

bool ComandiEpson::opRepartoReso(int16_t idOp, const std::string& text, Currency price, Currency dept,
                                 Currency quantity)
{
    static const std::string label = "opRepartoReso PROBLEMI";
    const auto number = department(label, dept);
    if (!number)
        return false;
    return perform(label, CodeInMessage::Omitted, [&] {
        if (quantity == One)
            return m_control.ReturnDept(idOp, text, price, *number);
        return m_control.ReturnDeptQty(idOp, text, quantity.toFloat(), price, *number);
    });
}

bool ComandiEpson::opRepartoResoImporto(int16_t idOp, const std::string& text, Currency amount, Currency dept)
{
    static const std::string label = "opRepartoReso - ";
    const auto number = department(label, dept);
    if (!number)
        return false;
    return perform(label, CodeInMessage::Appended,
                   [&] { return m_control.ReturnDeptAmount(idOp, text, amount, *number); });
}

bool ComandiEpson::opDescAgg(int16_t idOp, const std::string& text)
{
    return perform("opDescAgg > Errore generato su: " + text, CodeInMessage::Omitted,
                   [&] { return m_control.AddDescription(idOp, text); });
}

bool ComandiEpson::AbbuonoSubTot(int16_t idOp, Currency hundredths)
{
    return perform("AbbuonoSubTot PROBLEMA >", CodeInMessage::Omitted, [&] {
        m_control.Subtotal(1);
        return m_control.SubtotalDiscount(idOp, hundredths.dividedBy(100));
    });
}

bool ComandiEpson::ChiudiScontrino(int16_t, Currency, Currency amount, int16_t paymentType,
                                   const std::string& unpaidText)
{
    static const std::string label = "ChiudiScontrino > Pagamento ";
    m_unsentPayment.reset();
    if (refuseWhenBusy(label, "ChiudiScontrino: OCX occupato"))
        return false;

    const Currency zero;
    if (amount == zero || !payLinesSet()) {
        return perform(label, CodeInMessage::Appended, [&]() -> int16_t {
            switch (paymentType) {
            case 1:
            case 6: return m_control.PayCash(1, amount);
            case 2: return m_control.PayCheque(1, amount);
            case 3: return m_control.PayCard(1, 0);
            case 4: return m_control.PayTicket(1, 1, amount);
            default: m_unsentPayment = paymentType; return 0;
            }
        });
    }
    if (amount < zero) {
        m_unsentPayment = paymentType;
        return true;
    }

    const auto tender = tenderFor(paymentType, unpaidText);
    if (!tender) {
        report(label, "non riscosso non valido: \"" + unpaidText + "\"");
        return false;
    }
    return perform(label, CodeInMessage::Appended, [&] {
        return m_control.PayTender(1, tender->text, amount, tender->type, tender->flag, tender->index);
    });
}

bool ComandiEpson::opApriNonFiscale(int16_t idOp)
{
    return perform("Apertura scontrino non fiscale - ", CodeInMessage::Appended,
                   [&] { return m_control.OpenNonFiscal(idOp); });
}

bool ComandiEpson::OpDatiSNoFisc(int16_t idOp, const std::string& text)
{
    return perform("OpDatiSNoFisc PROBLEMI ", CodeInMessage::Appended,
                   [&] { return m_control.NonFiscalLine(idOp, 1, text); });
}

bool ComandiEpson::opChiudiNonFiscale(int16_t idOp)
{
    return perform("Chiusura scontrino non fiscale - ", CodeInMessage::Appended,
                   [&] { return m_control.CloseNonFiscal(idOp); });
}

bool ComandiEpson::opMsgVisoreCortesia(int16_t idOp, const std::string& text)
{
    return perform("opMsgVisoreCortesia PROBLEMI ", CodeInMessage::Appended,
                   [&] { return m_control.DisplayText(idOp, text); });
}

bool ComandiEpson::opRigaAggiuntiva(int16_t idOp, int16_t& lineNumber, const std::string& text)
{
    // Reported like its siblings: a silent failure would leave the back-office
    // believing the receipt printed.
    return perform("opRigaAggiuntiva PROBLEMI ", CodeInMessage::Appended,
                   [&] { return m_control.ExtraLine(idOp, lineNumber, text); });
}

bool ComandiEpson::OpImportoSNoFisc(int16_t idOp, Currency hundredths)
{
    return perform("OpDatiSNoFisc PROBLEMI ", CodeInMessage::Omitted,
                   [&] { return m_control.AmountEntry(idOp, hundredths.dividedBy(100)); });
}

bool ComandiEpson::opZChiusuraFisc(int16_t idOp, int16_t kind)
{
    return perform("opZChiusuraFisc PROBLEMI ", CodeInMessage::Appended,
                   [&] { return kind == 2 ? m_control.FiscalClosureAlt(idOp) : m_control.FiscalClosure(idOp); });
}

bool ComandiEpson::opApri(int16_t idOp)
{
    return perform("opApri PROBLEMI ", CodeInMessage::Appended, [&] { return m_control.OpenCmd(idOp); });
}
