// SPDX-License-Identifier: MIT
#include "lan/SimService.h"

#include "config/Text.h"
#include "core/Clock.h"
#include "lan/LanDocument.h"
#include "lan/LanFormat.h"
#include "printer/PrinterControl.h"
#include "simulator/SimCodes.h"
#include "simulator/SimState.h"
#include "simulator/SimulatedPrinter.h"

#include <QDateTime>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <chrono>
#include <exception>
#include <map>
#include <set>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Element {
    QString name;
    QXmlStreamAttributes attributes;
    QString value(const char* key) const { return attributes.value(QLatin1String(key)).toString(); }
};

const std::map<QString, std::set<QString>>& allowedElements()
{
    static const std::map<QString, std::set<QString>> allowed{
        {QStringLiteral("printerFiscalReceipt"),
         {QStringLiteral("beginFiscalReceipt"), QStringLiteral("endFiscalReceipt"), QStringLiteral("printRecItem"),
          QStringLiteral("printRecRefund"), QStringLiteral("printRecMessage"), QStringLiteral("printRecSubtotal"),
          QStringLiteral("printRecSubtotalAdjustment"), QStringLiteral("printRecTotal"), QStringLiteral("displayText"),
          QStringLiteral("openDrawer")}},
        {QStringLiteral("printerNonFiscal"),
         {QStringLiteral("beginNonFiscal"), QStringLiteral("printNormal"), QStringLiteral("endNonFiscal")}},
        {QStringLiteral("printerFiscalReport"),
         {QStringLiteral("printZReport"), QStringLiteral("printXZReport"), QStringLiteral("displayText")}},
        {QStringLiteral("printerCommand"),
         {QStringLiteral("displayText"), QStringLiteral("openDrawer"), QStringLiteral("resetPrinter"),
          QStringLiteral("queryPrinterStatus")}},
    };
    return allowed;
}

// "1,10", "1.10", "2": a value of the request; nullopt when it is none.
std::optional<Currency> number(const QString& text)
{
    QString t = text.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    if (t.isEmpty())
        return std::nullopt;
    return Currency::parse(t.toStdString());
}

std::string bytes(const QString& text)
{
    return toCp1252(text);
}

QByteArray replyXml(bool success, const QString& keyword, int status,
                    const std::vector<std::pair<QString, QString>>& info)
{
    return soapEnvelope(QStringLiteral("soapenv"), [&](QXmlStreamWriter& xml) {
        xml.writeStartElement(QStringLiteral("response"));
        xml.writeAttribute(QStringLiteral("success"), success ? QStringLiteral("true") : QStringLiteral("false"));
        xml.writeAttribute(QStringLiteral("code"), keyword);
        xml.writeAttribute(QStringLiteral("status"), QString::number(status));
        if (info.empty())
            return;
        xml.writeStartElement(QStringLiteral("addInfo"));
        QStringList names;
        for (const auto& [name, value] : info)
            names << name;
        xml.writeTextElement(QStringLiteral("elementList"), names.join(QLatin1Char(',')));
        for (const auto& [name, value] : info)
            xml.writeTextElement(name, value);
        xml.writeEndElement();
    });
}

QByteArray refusal(const char* keyword)
{
    return replyXml(false, QLatin1String(keyword), 0, {});
}

// The five status digits: printer (3 paper end), journal, drawer (1 closed),
// document (1 none, 0 fiscal receipt, 3 payment, 2 non-fiscal), mode.
QString statusDigits(const SimState& s)
{
    QChar document = QLatin1Char('1');
    switch (s.receipt) {
    case SimState::Receipt::Fiscal: document = QLatin1Char('0'); break;
    case SimState::Receipt::Payment: document = QLatin1Char('3'); break;
    case SimState::Receipt::NonFiscal: document = QLatin1Char('2'); break;
    case SimState::Receipt::None: break;
    }
    return QString(s.paperEnd ? QLatin1Char('3') : QLatin1Char('0')) + QStringLiteral("01") + document +
           QLatin1Char('0');
}

} // namespace

ServiceFailure serviceFailureFor(int16_t code)
{
    switch (code) {
    case simcode::Ok: return {"", 2};
    case simcode::PortClosed: return {"LAN_ERROR", 0};
    case simcode::PaperEnd: return {"EPTR_REC_EMPTY", 3};
    case simcode::WrongSequence: return {"PRINTER ERROR", 11};
    case simcode::InvalidData:
    case simcode::NegativeTotal:
    case simcode::NonCashExcess: return {"PRINTER ERROR", 13};
    case simcode::UnknownDepartment: return {"PRINTER ERROR", 12};
    case simcode::AmountTooLarge: return {"PRINTER ERROR", 20};
    case simcode::StorageFailure: return {"PRINTER ERROR", 18};
    default: return {"PRINTER ERROR", code};
    }
}

struct SimService::Request {
    QString root;
    std::vector<Element> elements;
};

SimService::SimService(const fs::path& programDir, Clock& clock)
    : m_printer(std::make_unique<SimulatedPrinter>(programDir, clock)), m_clock(clock)
{
    m_printer->setComPort(1);
    m_printer->setComSettings("");
}

SimService::~SimService() = default;

QByteArray SimService::handle(const QByteArray& body)
{
    m_problem.clear();
    m_replyLost = false;
    if (body.trimmed().isEmpty())
        return refusal("NO_DATA");

    Request request;
    QXmlStreamReader xml(body);
    int depth = 0;
    bool sawEnvelope = false, inBody = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            ++depth;
            const QString name = xml.name().toString();
            if (depth == 1)
                sawEnvelope = name == QLatin1String("Envelope");
            else if (depth == 2 && name == QLatin1String("Body"))
                inBody = true;
            else if (depth == 3 && inBody && request.root.isEmpty())
                request.root = name;
            else if (depth == 4 && inBody)
                request.elements.push_back({name, xml.attributes()});
        } else if (xml.isEndElement()) {
            if (--depth == 1)
                inBody = false;
        }
    }
    if (xml.hasError() || !sawEnvelope)
        return refusal("PARSER_ERROR");
    const auto allowed = allowedElements().find(request.root);
    if (allowed == allowedElements().end())
        return refusal("Non valid XML command");
    for (const Element& e : request.elements)
        if (!allowed->second.count(e.name))
            return refusal("Non valid XML command");
    const auto has = [&](const char* name) {
        for (const Element& e : request.elements)
            if (e.name == QLatin1String(name))
                return true;
        return false;
    };
    // A receipt is whole with its end element; one that only opens the
    // drawer or writes on the display needs none.
    bool receiptLines = false;
    for (const Element& e : request.elements)
        if (e.name != QLatin1String("openDrawer") && e.name != QLatin1String("displayText"))
            receiptLines = true;
    if ((request.root == QLatin1String("printerFiscalReceipt") && receiptLines && !has("endFiscalReceipt")) ||
        (request.root == QLatin1String("printerNonFiscal") && !has("endNonFiscal")) || request.elements.empty())
        return refusal("INCOMPLETE FILE");

    try {
        m_printer->OpenPort();
    } catch (const std::exception& e) {
        m_problem = e.what();
        return refusal("LAN_ERROR");
    }
    QByteArray reply;
    try {
        reply = play(request);
    } catch (const std::exception& e) {
        m_problem = e.what();
        reply = refusal("FP_NO_ANSWER");
    }
    if (request.root != QLatin1String("printerCommand"))
        m_replyLost = m_printer->takeLostReply();
    m_printer->ClosePort();
    return reply;
}

QByteArray SimService::play(const Request& request)
{
    SimulatedPrinter& p = *m_printer;
    // A printer that is busy takes nothing: the service gives up before
    // the fiscal unit has seen the document.
    if (p.Busy())
        return refusal("LAN_ERROR");

    const auto amountOf = [](const Element& e, const char* key) { return number(e.value(key)).value_or(Currency()); };
    // The whole document is one print: one durable commit of roll and
    // counters at its end, not one per line.
    // What the printer counts for a receipt: the grand total's step.
    const Currency grandTotalBefore = p.currentState().grandTotal;
    p.beginDocument();
    int16_t code = simcode::Ok;
    bool statusAsked = false;
    for (const Element& e : request.elements) {
        const QString& n = e.name;
        const std::string text = bytes(e.value(n == QLatin1String("printRecMessage") ? "message"
                                               : n == QLatin1String("printNormal") || n == QLatin1String("displayText")
                                                   ? "data"
                                                   : "description"));
        if (n == QLatin1String("printRecItem") || n == QLatin1String("printRecRefund")) {
            const bool isReturn = n == QLatin1String("printRecRefund");
            const auto dept = number(e.value("department")).value_or(Currency()).toInt16().value_or(0);
            const auto quantity = number(e.value("quantity"));
            if (isReturn && !e.value("amount").isEmpty() && !quantity)
                code = p.ReturnDeptAmount(1, text, amountOf(e, "amount"), dept);
            else if (!quantity || *quantity == Currency::fromWhole(1))
                code = isReturn ? p.ReturnDept(1, text, amountOf(e, "unitPrice"), dept)
                                : p.SellDept(1, text, amountOf(e, "unitPrice"), dept);
            else
                code = isReturn ? p.ReturnDeptQty(1, text, quantity->toFloat(), amountOf(e, "unitPrice"), dept)
                                : p.SellDeptQty(1, text, quantity->toFloat(), amountOf(e, "unitPrice"), dept);
        } else if (n == QLatin1String("printRecMessage")) {
            const QString type = e.value("messageType").trimmed();
            if (type == QLatin1String("2") || type == QLatin1String("3"))
                code = p.ExtraLine(1, int16_t(e.value("index").toInt()), text);
            else
                code = p.AddDescription(1, text);
        } else if (n == QLatin1String("printRecSubtotal")) {
            code = p.Subtotal(1);
        } else if (n == QLatin1String("printRecSubtotalAdjustment")) {
            const QString type = e.value("adjustmentType").trimmed();
            code = type == QLatin1String("1") || type == QLatin1String("2")
                       ? p.SubtotalDiscount(1, amountOf(e, "amount"))
                       : simcode::InvalidData;
        } else if (n == QLatin1String("printRecTotal")) {
            const int type = e.value("paymentType").toInt();
            const int index = e.value("index").toInt();
            const QString label = e.value("description").trimmed();
            const Currency amount = amountOf(e, "payment");
            const SimState& state = p.currentState();
            if (type == 0 && index == 0 && label == QLatin1String("CONTANTI"))
                code = p.PayCash(1, amount);
            else if (type == 1 && index == 0 && label == QLatin1String("ASSEGNO"))
                code = p.PayCheque(1, amount);
            else if (type == 2 && label == QLatin1String("CARTA DI CREDITO") &&
                     (amount == Currency() || amount == state.due()))
                code = p.PayCard(1, 0);
            else if (type == 3 && index == 1 && label == QLatin1String("TICKET"))
                code = p.PayTicket(1, 1, amount);
            else
                code = p.PayTender(1, bytes(label), amount, type, 0, int16_t(index));
        } else if (n == QLatin1String("displayText")) {
            code = p.DisplayText(1, text);
        } else if (n == QLatin1String("openDrawer")) {
            code = p.OpenCmd(1);
        } else if (n == QLatin1String("beginNonFiscal")) {
            code = p.OpenNonFiscal(1);
        } else if (n == QLatin1String("printNormal")) {
            code = p.NonFiscalLine(1, 1, text);
        } else if (n == QLatin1String("endNonFiscal")) {
            code = p.CloseNonFiscal(1);
        } else if (n == QLatin1String("printZReport")) {
            code = p.FiscalClosure(1);
        } else if (n == QLatin1String("printXZReport")) {
            code = p.FiscalClosureAlt(1);
        } else if (n == QLatin1String("resetPrinter")) {
            // Back to the registration state: paper seen again, any document
            // closed. The receipt's void is printed as on the simulator.
            code = p.PaperEndRecovery(1);
            if (code == simcode::Ok)
                code = p.CancelReceipt(1);
            if (code == simcode::Ok && p.currentState().receipt == SimState::Receipt::NonFiscal)
                code = p.CloseNonFiscal(1);
        } else if (n == QLatin1String("queryPrinterStatus")) {
            statusAsked = true;
        }
        // beginFiscalReceipt and endFiscalReceipt: the simulator opens a
        // receipt on its first line and closes it when paid.
        if (code != simcode::Ok)
            break;
    }
    if (const int16_t committed = p.endDocument(); committed != simcode::Ok)
        code = committed;

    const SimState& state = p.currentState();
    const ServiceFailure failure = serviceFailureFor(code);
    std::vector<std::pair<QString, QString>> info{{QStringLiteral("lastCommand"), QStringLiteral("74")}};
    if (statusAsked && code == simcode::Ok) {
        info.push_back({QStringLiteral("cpuRel"), QStringLiteral("07.00")});
        info.push_back({QStringLiteral("mfRel"), QStringLiteral("07.00")});
        info.push_back({QStringLiteral("mfStatus"), QStringLiteral("02")});
        info.push_back({QStringLiteral("fpStatus"), statusDigits(state)});
    } else {
        info.push_back({QStringLiteral("printerStatus"), statusDigits(state)});
    }
    if (code == simcode::Ok && request.root == QLatin1String("printerFiscalReceipt")) {
        const QDateTime now = QDateTime::fromMSecsSinceEpoch(
            std::chrono::duration_cast<std::chrono::milliseconds>(m_clock.wallNow().time_since_epoch()).count());
        info.push_back({QStringLiteral("fiscalReceiptNumber"), QString::number(state.lastReceipt)});
        info.push_back({QStringLiteral("fiscalReceiptAmount"),
                        lanformat::amount(lanformat::centsHalfUp(state.grandTotal - grandTotalBefore))});
        info.push_back({QStringLiteral("fiscalReceiptDate"), now.toString(QStringLiteral("d/M/yyyy"))});
        info.push_back({QStringLiteral("fiscalReceiptTime"), now.toString(QStringLiteral("HH:mm"))});
        info.push_back({QStringLiteral("zRepNumber"), QString::number(state.closures + 1)});
    } else if (code == simcode::Ok && request.root == QLatin1String("printerFiscalReport")) {
        info.push_back({QStringLiteral("zRepNumber"), QString::number(state.closures)});
    }
    return replyXml(code == simcode::Ok, QLatin1String(failure.keyword), failure.status, info);
}
