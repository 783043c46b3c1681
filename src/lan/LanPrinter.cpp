// SPDX-License-Identifier: MIT
#include "lan/LanPrinter.h"

#include "config/Text.h"
#include "lan/LanCodes.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <QScopedValueRollback>

#include <algorithm>

namespace fs = std::filesystem;

namespace {

// The trace is renewed (one old copy kept) when it grows past this.
constexpr qint64 TraceLimit = 2 * 1024 * 1024;
constexpr qsizetype TraceHead = 600;
constexpr qsizetype TraceTail = 120;

// The document without declaration and envelope, on one line, its middle
// left out when long.
QString abridged(const QByteArray& xml)
{
    QString text = QString::fromUtf8(xml);
    const qsizetype body = text.indexOf(QLatin1String("Body>"));
    if (body >= 0) {
        text = text.mid(body + 5);
        const qsizetype end = text.lastIndexOf(QLatin1String("</"));
        const qsizetype bodyEnd = text.lastIndexOf(QLatin1String("Body>"));
        if (bodyEnd > 0 && end >= 0)
            text = text.left(text.lastIndexOf(QLatin1String("</"), bodyEnd));
    }
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    text = text.replace(blanks, QStringLiteral(" ")).trimmed();
    if (text.size() > TraceHead + TraceTail + 20)
        text = text.left(TraceHead) +
               QStringLiteral(" [... %1 caratteri ...] ").arg(text.size() - TraceHead - TraceTail) +
               text.right(TraceTail);
    return text;
}

} // namespace

LanPrinter::LanPrinter(const fs::path& programDir, LanEndpoint endpoint, QString pinnedFingerprint, Timeouts timeouts)
    : m_tracePath(programDir / TraceFile), m_client(std::move(endpoint), std::move(pinnedFingerprint)),
      m_timeouts(timeouts)
{}

LanPrinter::LanPrinter(const fs::path& programDir, LanEndpoint endpoint, QString pinnedFingerprint)
    : LanPrinter(programDir, std::move(endpoint), std::move(pinnedFingerprint), Timeouts{})
{}

void LanPrinter::trace(const QString& line)
{
    const QString path = QString::fromStdString(m_tracePath.string());
    QFile file(path);
    if (file.size() > TraceLimit) {
        QFile::remove(path + QStringLiteral(".1"));
        QFile::rename(path, path + QStringLiteral(".1"));
    }
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return; // the trace is a help for the installer, never a reason to fail a receipt
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss.zzz"));
    file.write((stamp + QLatin1Char(' ') + line + QLatin1Char('\n')).toUtf8());
}

LanReply LanPrinter::exchange(const LanDocument& doc, Wait wait)
{
    const QByteArray body = doc.toXml();
    const bool report = wait == Wait::Report;
    const bool opening = wait == Wait::Opening;
    const int service = report ? m_timeouts.reportServiceMs : opening ? m_timeouts.openServiceMs : m_timeouts.serviceMs;
    const int client = report ? m_timeouts.reportClientMs : opening ? m_timeouts.openClientMs : m_timeouts.clientMs;
    trace(QStringLiteral("-> %1 %2").arg(m_client.endpoint().address(), abridged(body)));
    m_client.whileWaiting = whileWaiting;
    const HttpOutcome outcome = m_client.post(body, service, client);
    // Never silently: the first time in this process, the trace says which
    // TLS errors the pinned certificate was accepted with.
    if (!outcome.acceptedTlsErrors.isEmpty() && !m_tlsNoted) {
        m_tlsNoted = true;
        trace(QStringLiteral("-- TLS: certificato %1 accettato perche' registrato da init, nonostante: %2")
                  .arg(m_client.pin(), outcome.acceptedTlsErrors));
    }
    const LanReply reply = readReply(outcome);
    if (outcome.kind == HttpOutcome::Kind::Replied)
        trace(QStringLiteral("<- HTTP %1 %2").arg(outcome.httpStatus).arg(abridged(outcome.body)));
    else
        trace(QStringLiteral("<- %1").arg(reply.problem));
    if (reply.fromPrinter) {
        if (const auto open = reply.documentOpen())
            m_printerDocumentOpen = *open;
    }
    return reply;
}

int16_t LanPrinter::fail(int16_t code, const QString& detail)
{
    if (detail.isEmpty())
        m_details.erase(code);
    else
        m_details[code] = detail;
    // A failure met while the owner handles an event raises none: the
    // handler itself calls the printer (the void of a receipt).
    if (!onErrorEvent || m_inEvent)
        return code;
    const QScopedValueRollback<bool> inEvent(m_inEvent, true);
    onErrorEvent(lancode::EventLevel, code);
    return code;
}

int16_t LanPrinter::send(const LanDocument& doc, Wait wait)
{
    const LanReply reply = exchange(doc, wait);
    if (reply.code == lancode::Ok)
        return lancode::Ok;
    // A document the printer refused may stay open in it and block the next
    // one: it is reset. Not after a timeout or a lost connection, when the
    // printer may still be printing it.
    const bool isDocument = doc.kind == LanDocument::Kind::FiscalReceipt || doc.kind == LanDocument::Kind::NonFiscal;
    if (isDocument && reply.fromPrinter && reply.documentOpen().value_or(true))
        exchange(DocumentCollector::reset(), Wait::Normal);
    return fail(reply.code, reply.detail());
}

template <typename Step>
int16_t LanPrinter::run(Step&& step, Wait wait)
{
    if (!m_open)
        return fail(lancode::PortClosed);
    const DocumentCollector::Result result = step();
    if (result.code != lancode::Ok)
        return fail(result.code);
    if (result.send)
        return send(*result.send, wait);
    return lancode::Ok;
}

void LanPrinter::OpenPort()
{
    if (m_open)
        throw ControlFailure("Stampante LAN " + m_client.endpoint().address().toStdString() + " gia' aperta");
    const LanReply reply = exchange(DocumentCollector::statusQuery(), Wait::Opening);
    if (!reply.fromPrinter)
        throw ControlFailure(toCp1252(
            QStringLiteral("Stampante LAN %1 non raggiungibile: %2").arg(m_client.endpoint().address(), reply.problem)));
    m_open = true;
}

void LanPrinter::ClosePort()
{
    m_open = false;
    if (!m_doc.dropAll())
        return;
    trace(QStringLiteral("-- %1").arg(QLatin1String(UnclosedDocument)));
    // Inside the error event the bridge is voiding the receipt anyway; the
    // drop is not a failure of its own there.
    if (!m_inEvent)
        throw ControlFailure(UnclosedDocument);
}

int16_t LanPrinter::SellDept(int16_t, const std::string& text, Currency price, int16_t dept)
{
    return run([&] { return m_doc.item(false, text, std::nullopt, price, dept); });
}

int16_t LanPrinter::SellDeptQty(int16_t, const std::string& text, float quantity, Currency price, int16_t dept)
{
    return run([&] { return m_doc.item(false, text, quantity, price, dept); });
}

int16_t LanPrinter::ReturnDept(int16_t, const std::string& text, Currency price, int16_t dept)
{
    return run([&] { return m_doc.item(true, text, std::nullopt, price, dept); });
}

int16_t LanPrinter::ReturnDeptQty(int16_t, const std::string& text, float quantity, Currency price, int16_t dept)
{
    return run([&] { return m_doc.item(true, text, quantity, price, dept); });
}

int16_t LanPrinter::ReturnDeptAmount(int16_t, const std::string& text, Currency amount, int16_t dept)
{
    return run([&] { return m_doc.item(true, text, std::nullopt, amount, dept); });
}

int16_t LanPrinter::AddDescription(int16_t, const std::string& text)
{
    return run([&] { return m_doc.description(text); });
}

int16_t LanPrinter::ExtraLine(int16_t, int16_t line, const std::string& text)
{
    return run([&] { return m_doc.trailerLine(line, text); });
}

int16_t LanPrinter::Subtotal(int16_t)
{
    return run([&] { return m_doc.subtotal(); });
}

int16_t LanPrinter::SubtotalDiscount(int16_t, Currency amount)
{
    return run([&] { return m_doc.subtotalDiscount(amount); });
}

OpenDocument LanPrinter::DocumentOpen()
{
    // What is being collected has not reached the printer, but it is the
    // document the bridge has open.
    switch (m_doc.state()) {
    case DocumentCollector::State::Fiscal:
    case DocumentCollector::State::Payment:
        return OpenDocument::Fiscal;
    case DocumentCollector::State::NonFiscal:
        return OpenDocument::NonFiscal;
    case DocumentCollector::State::None:
        break;
    }
    // Otherwise only the status digits of the printer's last reply tell.
    if (!m_printerDocumentOpen)
        return OpenDocument::Unknown;
    return *m_printerDocumentOpen ? OpenDocument::Undetermined : OpenDocument::None;
}

int16_t LanPrinter::CancelReceipt(int16_t)
{
    if (!m_open)
        return fail(lancode::PortClosed);
    if (m_doc.dropFiscal())
        trace(QStringLiteral("-- scontrino in preparazione annullato"));
    // Nothing of the collected receipt reached the printer; a document is
    // open there only if a reply said so, or if none has come yet.
    if (!m_printerDocumentOpen.value_or(true))
        return lancode::Ok;
    const LanReply reply = exchange(DocumentCollector::reset(), Wait::Normal);
    return reply.code == lancode::Ok ? lancode::Ok : fail(reply.code, reply.detail());
}

int16_t LanPrinter::PayCash(int16_t, Currency amount)
{
    return run([&] { return m_doc.pay("CONTANTI", amount, DocumentCollector::Cash, 0); });
}

int16_t LanPrinter::PayCheque(int16_t, Currency amount)
{
    return run([&] { return m_doc.pay("ASSEGNO", amount, DocumentCollector::Cheque, 0); });
}

int16_t LanPrinter::PayCard(int16_t, int16_t)
{
    // Index 0 of the card type is "credit" (not paid) on these printers.
    return run([&] { return m_doc.pay("CARTA DI CREDITO", std::nullopt, DocumentCollector::Card, 1); });
}

int16_t LanPrinter::PayTicket(int16_t, int16_t, Currency amount)
{
    return run([&] { return m_doc.pay("TICKET", amount, DocumentCollector::Ticket, 1); });
}

int16_t LanPrinter::PayTender(int16_t, const std::string& text, Currency amount, int32_t type, int16_t, int16_t index)
{
    return run([&]() -> DocumentCollector::Result {
        // The service knows payment types 0 to 6 only.
        if (type < 0 || type > 6 || index < 0)
            return {lancode::InvalidData, std::nullopt};
        // Cards and tickets count their descriptions from 1; index 0 of a
        // card is "not paid", and of a ticket blocks the receipt.
        const bool fromOne = type == DocumentCollector::Card || type == DocumentCollector::Ticket;
        return m_doc.pay(text, amount, type, fromOne ? std::max<int16_t>(index, 1) : index);
    });
}

int16_t LanPrinter::OpenNonFiscal(int16_t)
{
    return run([&] { return m_doc.openNonFiscal(); });
}

int16_t LanPrinter::NonFiscalLine(int16_t, int16_t, const std::string& text)
{
    return run([&] { return m_doc.nonFiscalLine(text); });
}

int16_t LanPrinter::CloseNonFiscal(int16_t)
{
    return run([&] { return m_doc.closeNonFiscal(); });
}

int16_t LanPrinter::DisplayText(int16_t, const std::string& text)
{
    return run([&] { return m_doc.display(text); });
}

int16_t LanPrinter::OpenCmd(int16_t)
{
    return run([&] { return m_doc.openDrawer(); });
}

int16_t LanPrinter::AmountEntry(int16_t, Currency amount)
{
    return run([&] { return DocumentCollector::Result{m_doc.amountEntry(amount), std::nullopt}; });
}

int16_t LanPrinter::FiscalClosure(int16_t)
{
    return run([&] { return m_doc.closure(false); }, Wait::Report);
}

int16_t LanPrinter::FiscalClosureAlt(int16_t)
{
    return run([&] { return m_doc.closure(true); }, Wait::Report);
}

int16_t LanPrinter::PaperEndRecovery(int16_t)
{
    if (!m_open)
        return fail(lancode::PortClosed);
    const LanReply reply = exchange(DocumentCollector::reset(), Wait::Normal);
    return reply.code == lancode::Ok ? lancode::Ok : fail(reply.code, reply.detail());
}

std::string LanPrinter::ErrorText(int16_t, int32_t code)
{
    QString text = QString::fromStdString(lancode::text(code));
    if (const auto it = m_details.find(code); it != m_details.end())
        text += QStringLiteral(" (") + it->second + QLatin1Char(')');
    return toCp1252(text);
}
