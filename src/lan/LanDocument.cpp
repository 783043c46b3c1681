// SPDX-License-Identifier: MIT
#include "lan/LanDocument.h"

#include "lan/LanCodes.h"
#include "lan/LanFormat.h"

#include <QXmlStreamWriter>

#include <iterator>

namespace fmt = lanformat;

namespace {

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

// The quantity field takes nine digits before its three decimals.
std::optional<int64_t> fieldThousandths(float quantity)
{
    constexpr int64_t MaxThousandths = 999'999'999'000;
    const auto read = fmt::quantityThousandths(quantity);
    if (!read || *read > MaxThousandths)
        return std::nullopt;
    return read;
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

QByteArray soapEnvelope(const QString& prefix, const std::function<void(QXmlStreamWriter&)>& body)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.writeStartDocument();
    xml.writeStartElement(prefix + QStringLiteral(":Envelope"));
    xml.writeAttribute(QStringLiteral("xmlns:") + prefix, QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/"));
    xml.writeStartElement(prefix + QStringLiteral(":Body"));
    body(xml);
    xml.writeEndDocument();
    out.replace("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "<?xml version=\"1.0\" encoding=\"utf-8\"?>");
    return out;
}

QByteArray LanDocument::toXml() const
{
    return soapEnvelope(QStringLiteral("s"), [this](QXmlStreamWriter& xml) {
        xml.writeStartElement(rootName());
        for (const LanElement& e : elements) {
            xml.writeEmptyElement(e.name);
            for (const auto& [name, value] : e.attributes)
                xml.writeAttribute(name, value);
        }
    });
}

const ReceiptRules::Terms& DocumentCollector::receiptTerms()
{
    static const ReceiptRules::Terms terms{&fieldThousandths, true, true};
    return terms;
}

int64_t DocumentCollector::netCents() const
{
    return fmt::centsHalfUp(m_rules.net());
}

int64_t DocumentCollector::dueCents() const
{
    return fmt::centsHalfUp(m_rules.due());
}

void DocumentCollector::clearFiscal()
{
    m_lines.clear();
    m_trailer.clear();
    m_payments.clear();
}

void DocumentCollector::startIfOpened(State before)
{
    if (before == State::None)
        clearFiscal();
}

DocumentCollector::Result DocumentCollector::item(bool isReturn, const std::string& text, std::optional<float> quantity,
                                                  Currency price, int16_t dept)
{
    const State before = state();
    const ReceiptRules::Item line = m_rules.item(isReturn, quantity, price, dept);
    if (line.code != lancode::Ok)
        return code(line.code);
    startIfOpened(before);
    m_lines.push_back(element(isReturn ? "printRecRefund" : "printRecItem",
                              {{QStringLiteral("description"), fmt::text(text, ItemLength)},
                               {QStringLiteral("quantity"), fmt::quantity(line.thousandths)},
                               {QStringLiteral("unitPrice"), fmt::amount(fmt::centsHalfUp(line.unitPrice))},
                               {QStringLiteral("department"), QString::number(dept)},
                               {QStringLiteral("justification"), QStringLiteral("1")}}));
    return code(lancode::Ok);
}

DocumentCollector::Result DocumentCollector::description(const std::string& text)
{
    const State before = state();
    if (const int16_t c = m_rules.description())
        return code(c);
    startIfOpened(before);
    m_lines.push_back(element("printRecMessage", {{QStringLiteral("messageType"), QStringLiteral("4")},
                                                  {QStringLiteral("message"), fmt::text(text, MessageLength)}}));
    return code(lancode::Ok);
}

DocumentCollector::Result DocumentCollector::trailerLine(int16_t line, const std::string& text)
{
    const State before = state();
    if (const int16_t c = m_rules.extraLine(line))
        return code(c);
    startIfOpened(before);
    m_trailer.push_back(element("printRecMessage", {{QStringLiteral("messageType"), QStringLiteral("3")},
                                                    {QStringLiteral("index"), QString::number(line)},
                                                    {QStringLiteral("font"), QStringLiteral("1")},
                                                    {QStringLiteral("message"), fmt::text(text, MessageLength)}}));
    return code(lancode::Ok);
}

DocumentCollector::Result DocumentCollector::subtotal()
{
    const State before = state();
    if (const int16_t c = m_rules.subtotal())
        return code(c);
    startIfOpened(before);
    m_lines.push_back(element("printRecSubtotal", {{QStringLiteral("option"), QStringLiteral("1")}}));
    return code(lancode::Ok);
}

DocumentCollector::Result DocumentCollector::subtotalDiscount(Currency amount)
{
    const State before = state();
    const ReceiptRules::Discount discount = m_rules.discount(amount);
    // A record with no discount to give is accepted and sends nothing.
    if (discount.code != lancode::Ok || discount.amount == Currency())
        return code(discount.code);
    startIfOpened(before);
    LanElement adjustment = element("printRecSubtotalAdjustment",
                                    {{QStringLiteral("description"), QStringLiteral("SCONTO")},
                                     {QStringLiteral("adjustmentType"), QStringLiteral("1")},
                                     {QStringLiteral("amount"), fmt::amount(fmt::centsHalfUp(discount.amount))},
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
    const ReceiptRules::Payment payment = m_rules.pay(amount, paymentType == Cash);
    if (payment.code != lancode::Ok)
        return code(payment.code);
    m_payments.push_back(element("printRecTotal", {{QStringLiteral("description"), fmt::text(description, ItemLength)},
                                                   {QStringLiteral("payment"), fmt::amount(fmt::centsHalfUp(payment.paid))},
                                                   {QStringLiteral("paymentType"), QString::number(paymentType)},
                                                   {QStringLiteral("index"), QString::number(index)},
                                                   {QStringLiteral("justification"), QStringLiteral("1")}}));
    if (!payment.closes)
        return code(lancode::Ok);
    m_lastReceipt = fmt::centsHalfUp(payment.total);
    return {lancode::Ok, takeFiscal()};
}

LanDocument DocumentCollector::takeFiscal()
{
    LanDocument doc{LanDocument::Kind::FiscalReceipt, {}};
    doc.elements.push_back(element("beginFiscalReceipt"));
    for (auto* part : {&m_lines, &m_trailer, &m_payments})
        for (LanElement& e : *part)
            doc.elements.push_back(std::move(e));
    doc.elements.push_back(element("endFiscalReceipt"));
    clearFiscal();
    return doc;
}

DocumentCollector::Result DocumentCollector::openNonFiscal()
{
    if (const int16_t c = m_rules.openNonFiscal())
        return code(c);
    m_nonFiscal.clear();
    m_nonFiscal.push_back(element("beginNonFiscal"));
    return code(lancode::Ok);
}

DocumentCollector::Result DocumentCollector::nonFiscalLine(const std::string& text)
{
    if (const int16_t c = m_rules.nonFiscalLine())
        return code(c);
    m_nonFiscal.push_back(element("printNormal", {{QStringLiteral("font"), QStringLiteral("1")},
                                                  {QStringLiteral("data"), fmt::text(text, MessageLength)}}));
    return code(lancode::Ok);
}

DocumentCollector::Result DocumentCollector::closeNonFiscal()
{
    if (const int16_t c = m_rules.closeNonFiscal())
        return code(c);
    LanDocument doc{LanDocument::Kind::NonFiscal, std::move(m_nonFiscal)};
    doc.elements.push_back(element("endNonFiscal"));
    m_nonFiscal.clear();
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
    if (const int16_t c = m_rules.closure())
        return code(c);
    return {lancode::Ok,
            LanDocument{LanDocument::Kind::FiscalReport, {element(withReport ? "printXZReport" : "printZReport")}}};
}

int16_t DocumentCollector::amountEntry(Currency) const
{
    // The sequence as on any printer; the amount's own limits do not come
    // into it, since the service has no element for it.
    if (const int16_t c = m_rules.amountEntry(Currency()))
        return c;
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
    if (!m_rules.cancel())
        return false;
    clearFiscal();
    return true;
}

bool DocumentCollector::dropAll()
{
    const bool nonFiscal = m_rules.closeNonFiscal() == lancode::Ok;
    m_nonFiscal.clear();
    return dropFiscal() || nonFiscal;
}
