// SPDX-License-Identifier: MIT
#include "lan/LanDocument.h"

#include "lan/LanCodes.h"
#include "lan/LanFormat.h"

#include <QXmlStreamWriter>

#include <iterator>

namespace fmt = lanformat;

namespace {

// 9.999.999,99: the largest amount a receipt's totals take.
constexpr int64_t MaxCents = 999'999'999;
constexpr int MaxDepartment = 99;
constexpr int MaxTrailerLine = 99;
// Text lengths every model of the series prints whole.
constexpr int ItemLength = 37;
constexpr int MessageLength = 46;
constexpr int DisplayLength = 40;

const QString Operator = QStringLiteral("1");

LanElement element(const char* name, std::vector<std::pair<QString, QString>> attributes = {})
{
    LanElement e{QString::fromLatin1(name), {{QStringLiteral("operator"), Operator}}};
    for (auto& a : attributes)
        e.attributes.push_back(std::move(a));
    return e;
}

DocumentCollector::Result code(int16_t c)
{
    return {c, std::nullopt};
}

bool inItems(DocumentCollector::State s)
{
    return s == DocumentCollector::State::None || s == DocumentCollector::State::Fiscal;
}

} // namespace

QString LanElement::attribute(const QString& key) const
{
    for (const auto& [name, value] : attributes)
        if (name == key)
            return value;
    return {};
}

QString LanDocument::rootName() const
{
    switch (kind) {
    case Kind::FiscalReceipt: return QStringLiteral("printerFiscalReceipt");
    case Kind::NonFiscal: return QStringLiteral("printerNonFiscal");
    case Kind::FiscalReport: return QStringLiteral("printerFiscalReport");
    case Kind::Command: break;
    }
    return QStringLiteral("printerCommand");
}

QByteArray LanDocument::toXml() const
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("s:Envelope"));
    xml.writeAttribute(QStringLiteral("xmlns:s"), QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/"));
    xml.writeStartElement(QStringLiteral("s:Body"));
    xml.writeStartElement(rootName());
    for (const LanElement& e : elements) {
        xml.writeEmptyElement(e.name);
        for (const auto& [name, value] : e.attributes)
            xml.writeAttribute(name, value);
    }
    xml.writeEndDocument();
    // Written as the printers' own examples write it.
    out.replace("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "<?xml version=\"1.0\" encoding=\"utf-8\"?>");
    return out;
}

void DocumentCollector::openFiscal()
{
    if (m_state != State::None)
        return;
    m_state = State::Fiscal;
    m_lines.clear();
    m_trailer.clear();
    m_payments.clear();
    m_net = m_paid = 0;
}

DocumentCollector::Result DocumentCollector::item(bool isReturn, const std::string& text, std::optional<float> quantity,
                                                  Currency price, int16_t dept)
{
    if (!inItems(m_state))
        return code(lancode::WrongSequence);
    if (dept < 1 || dept > MaxDepartment)
        return code(lancode::UnknownDepartment);
    if (price < Currency())
        return code(lancode::InvalidData);
    int64_t thousandths = 1000;
    if (quantity) {
        const auto q = fmt::quantityThousandths(*quantity);
        if (!q)
            return code(*quantity > 0 ? lancode::AmountTooLarge : lancode::InvalidData);
        if (*q <= 0)
            return code(lancode::InvalidData);
        thousandths = *q;
    }
    const int64_t priceCents = fmt::centsHalfUp(price);
    if (priceCents > MaxCents || thousandths > MaxCents * 1000)
        return code(lancode::AmountTooLarge);
    const int64_t amount = fmt::lineCents(priceCents, thousandths);
    if (amount > MaxCents)
        return code(lancode::AmountTooLarge);
    const int64_t net = m_state == State::None ? 0 : m_net;
    if (!isReturn && net + amount > MaxCents)
        return code(lancode::AmountTooLarge);
    if (isReturn && net - amount < 0)
        return code(lancode::NegativeTotal);

    openFiscal();
    m_net += isReturn ? -amount : amount;
    m_lines.push_back(element(isReturn ? "printRecRefund" : "printRecItem",
                              {{QStringLiteral("description"), fmt::text(text, ItemLength)},
                               {QStringLiteral("quantity"), fmt::quantity(thousandths)},
                               {QStringLiteral("unitPrice"), fmt::amount(priceCents)},
                               {QStringLiteral("department"), QString::number(dept)},
                               {QStringLiteral("justification"), QStringLiteral("1")}}));
    return code(lancode::Ok);
}

DocumentCollector::Result DocumentCollector::description(const std::string& text)
{
    if (!inItems(m_state))
        return code(lancode::WrongSequence);
    openFiscal();
    m_lines.push_back(element("printRecMessage", {{QStringLiteral("messageType"), QStringLiteral("4")},
                                                  {QStringLiteral("message"), fmt::text(text, MessageLength)}}));
    return code(lancode::Ok);
}

DocumentCollector::Result DocumentCollector::trailerLine(int16_t line, const std::string& text)
{
    if (line < 1 || line > MaxTrailerLine)
        return code(lancode::InvalidData);
    if (!inItems(m_state) && m_state != State::Payment)
        return code(lancode::WrongSequence);
    openFiscal();
    m_trailer.push_back(element("printRecMessage", {{QStringLiteral("messageType"), QStringLiteral("3")},
                                                    {QStringLiteral("index"), QString::number(line)},
                                                    {QStringLiteral("font"), QStringLiteral("1")},
                                                    {QStringLiteral("message"), fmt::text(text, MessageLength)}}));
    return code(lancode::Ok);
}

DocumentCollector::Result DocumentCollector::subtotal()
{
    if (!inItems(m_state))
        return code(lancode::WrongSequence);
    openFiscal();
    m_lines.push_back(element("printRecSubtotal", {{QStringLiteral("option"), QStringLiteral("1")}}));
    return code(lancode::Ok);
}

DocumentCollector::Result DocumentCollector::subtotalDiscount(Currency amount)
{
    if (!inItems(m_state))
        return code(lancode::WrongSequence);
    if (amount < Currency())
        return code(lancode::InvalidData);
    const int64_t cents = fmt::centsHalfUp(amount);
    if (cents > MaxCents)
        return code(lancode::AmountTooLarge);
    // A record with no discount to give is accepted and sends nothing.
    if (cents == 0)
        return code(lancode::Ok);
    const int64_t net = m_state == State::None ? 0 : m_net;
    if (net - cents < 0)
        return code(lancode::NegativeTotal);
    openFiscal();
    m_net -= cents;
    LanElement adjustment = element("printRecSubtotalAdjustment",
                                    {{QStringLiteral("description"), QStringLiteral("SCONTO")},
                                     {QStringLiteral("adjustmentType"), QStringLiteral("1")},
                                     {QStringLiteral("amount"), fmt::amount(cents)},
                                     {QStringLiteral("justification"), QStringLiteral("1")}});
    // The service takes the adjustment before the subtotal it applies to;
    // the files give the subtotal first.
    auto at = m_lines.end();
    if (!m_lines.empty() && m_lines.back().name == QLatin1String("printRecSubtotal"))
        at = std::prev(at);
    m_lines.insert(at, std::move(adjustment));
    return code(lancode::Ok);
}

DocumentCollector::Result DocumentCollector::pay(const std::string& description, std::optional<Currency> amount,
                                                 int32_t paymentType, int16_t index)
{
    if (m_state != State::Fiscal && m_state != State::Payment)
        return code(lancode::WrongSequence);
    const int64_t due = dueCents();
    int64_t paid = due;
    if (amount && *amount != Currency()) {
        if (*amount < Currency())
            return code(lancode::InvalidData);
        paid = fmt::centsHalfUp(*amount);
        if (paid > MaxCents)
            return code(lancode::AmountTooLarge);
        if (paid == 0)
            return code(lancode::InvalidData);
        if (paid > due && paymentType != Cash)
            return code(lancode::NonCashExcess);
    }
    m_state = State::Payment;
    m_paid += paid;
    m_payments.push_back(element("printRecTotal", {{QStringLiteral("description"), fmt::text(description, ItemLength)},
                                                   {QStringLiteral("payment"), fmt::amount(paid)},
                                                   {QStringLiteral("paymentType"), QString::number(paymentType)},
                                                   {QStringLiteral("index"), QString::number(index)},
                                                   {QStringLiteral("justification"), QStringLiteral("1")}}));
    if (m_paid < m_net)
        return code(lancode::Ok);
    return {lancode::Ok, takeFiscal()};
}

LanDocument DocumentCollector::takeFiscal()
{
    LanDocument doc{LanDocument::Kind::FiscalReceipt, {}};
    m_lastReceipt = m_net;
    doc.elements.push_back(element("beginFiscalReceipt"));
    for (auto* part : {&m_lines, &m_trailer, &m_payments})
        for (LanElement& e : *part)
            doc.elements.push_back(std::move(e));
    doc.elements.push_back(element("endFiscalReceipt"));
    m_lines.clear();
    m_trailer.clear();
    m_payments.clear();
    m_net = m_paid = 0;
    m_state = State::None;
    return doc;
}

DocumentCollector::Result DocumentCollector::openNonFiscal()
{
    if (m_state != State::None)
        return code(lancode::WrongSequence);
    m_state = State::NonFiscal;
    m_nonFiscal.clear();
    m_nonFiscal.push_back(element("beginNonFiscal"));
    return code(lancode::Ok);
}

DocumentCollector::Result DocumentCollector::nonFiscalLine(const std::string& text)
{
    if (m_state != State::NonFiscal)
        return code(lancode::WrongSequence);
    m_nonFiscal.push_back(element("printNormal", {{QStringLiteral("font"), QStringLiteral("1")},
                                                  {QStringLiteral("data"), fmt::text(text, MessageLength)}}));
    return code(lancode::Ok);
}

DocumentCollector::Result DocumentCollector::closeNonFiscal()
{
    if (m_state != State::NonFiscal)
        return code(lancode::WrongSequence);
    LanDocument doc{LanDocument::Kind::NonFiscal, std::move(m_nonFiscal)};
    doc.elements.push_back(element("endNonFiscal"));
    m_nonFiscal.clear();
    m_state = State::None;
    return {lancode::Ok, std::move(doc)};
}

DocumentCollector::Result DocumentCollector::display(const std::string& text) const
{
    return {lancode::Ok,
            LanDocument{LanDocument::Kind::Command,
                        {element("displayText", {{QStringLiteral("data"), fmt::text(text, DisplayLength)}})}}};
}

DocumentCollector::Result DocumentCollector::openDrawer() const
{
    return {lancode::Ok, LanDocument{LanDocument::Kind::Command, {element("openDrawer")}}};
}

DocumentCollector::Result DocumentCollector::closure(bool withReport) const
{
    if (m_state != State::None)
        return code(lancode::WrongSequence);
    return {lancode::Ok,
            LanDocument{LanDocument::Kind::FiscalReport, {element(withReport ? "printXZReport" : "printZReport")}}};
}

int16_t DocumentCollector::amountEntry(Currency) const
{
    if (m_state != State::None && m_state != State::NonFiscal)
        return lancode::WrongSequence;
    return lancode::AmountEntryUnsupported;
}

LanDocument DocumentCollector::reset()
{
    return {LanDocument::Kind::Command, {element("resetPrinter")}};
}

LanDocument DocumentCollector::statusQuery()
{
    return {LanDocument::Kind::Command,
            {element("queryPrinterStatus", {{QStringLiteral("statusType"), QStringLiteral("0")}})}};
}

bool DocumentCollector::dropFiscal()
{
    if (m_state != State::Fiscal && m_state != State::Payment)
        return false;
    m_lines.clear();
    m_trailer.clear();
    m_payments.clear();
    m_net = m_paid = 0;
    m_state = State::None;
    return true;
}

bool DocumentCollector::dropAll()
{
    const bool nonFiscal = m_state == State::NonFiscal;
    m_nonFiscal.clear();
    if (nonFiscal)
        m_state = State::None;
    return dropFiscal() || nonFiscal;
}
