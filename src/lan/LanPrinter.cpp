// SPDX-License-Identifier: MIT
#include "lan/LanPrinter.h"

#include "config/IniFile.h"
#include "config/Keys.h"
#include "config/Text.h"
#include "core/Clock.h"
#include "core/OutsideText.h"
#include "core/ProgramFiles.h"
#include "lan/LanCodes.h"
#include "lan/LanFormat.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QScopedValueRollback>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

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
    // A reply is outside text: no control character of it reaches the trace.
    return cleanOutsideText(text, std::size_t(text.size()));
}

} // namespace

LanPrinter::LanPrinter(const fs::path& programDir, Clock& clock, LanEndpoint endpoint, QString pinnedFingerprint,
                       Timeouts timeouts)
    : m_folder(Folder::open(programDir)), m_clock(clock), m_configFile(programDir / files::ConfigFile),
      m_client(std::move(endpoint), std::move(pinnedFingerprint)), m_timeouts(timeouts), m_ledger(programDir)
{}

LanPrinter::LanPrinter(const fs::path& programDir, Clock& clock, LanEndpoint endpoint, QString pinnedFingerprint)
    : LanPrinter(programDir, clock, std::move(endpoint), std::move(pinnedFingerprint), Timeouts{})
{}

void LanPrinter::trace(const QString& line)
{
    const std::string old = std::string(TraceFile) + ".1";
    if (const auto st = m_folder.statAt(TraceFile); st && S_ISREG(st->st_mode) && st->st_size > TraceLimit) {
        // A link or a folder put in the place of the old copy is removed
        // as it is (never followed); the renewal waits for a folder.
        m_folder.remove(old);
        m_folder.rename(TraceFile, m_folder, old);
    }
    const QString stamp = QDateTime::fromMSecsSinceEpoch(
                              std::chrono::duration_cast<std::chrono::milliseconds>(m_clock.wallNow().time_since_epoch())
                                  .count())
                              .toString(QStringLiteral("dd/MM/yyyy HH:mm:ss.zzz"));
    // The trace is a help for the installer, never a reason to fail a receipt.
    if (m_folder.append(TraceFile, (stamp + QLatin1Char(' ') + line + QLatin1Char('\n')).toUtf8().toStdString(), false))
        m_traceRefusalNoted = false;
    else if (errno == ELOOP || errno == EISDIR || errno == EINVAL)
        refusedFile(TraceFile, errno, m_traceRefusalNoted);
}

void LanPrinter::refusedFile(const char* name, int error, bool& noted)
{
    if (noted || !onNote)
        return;
    noted = true;
    onNote(PrinterNote{{}, std::string(name) + " non usato: " + accessError(error), std::nullopt});
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

void LanPrinter::begin()
{
    m_failureInDoubt = false;
}

void LanPrinter::note(PrinterNote n)
{
    trace(QStringLiteral("-- AZIONE: %1").arg(fromCp1252(n.action)));
    if (onNote)
        onNote(n);
}

void LanPrinter::saveLedger()
{
    if (!m_ledger.save())
        trace(QStringLiteral("-- %1 non scritto (%2): i numeri restano solo in memoria")
                  .arg(QLatin1String(LanLedger::FileName), QString::fromStdString(m_ledger.why())));
}

LanReply LanPrinter::resetPrinter()
{
    const LanReply reply = exchange(DocumentCollector::reset(), Wait::Normal);
    const bool stranded = m_strandedConfirmed;
    m_strandedConfirmed = false;
    if (stranded && reply.code == lancode::Ok) {
        for (const Verdict& v : m_ledger.strandedReset())
            note({v.doubt.file, LanLedger::VerdictPrefix + v.text,
                  v.resendable ? std::optional<std::string>(v.doubt.corr) : std::nullopt});
    } else {
        // Even a reset that failed may have reached the printer.
        m_ledger.interrupt();
    }
    saveLedger();
    return reply;
}

void LanPrinter::receiptConfirmed(const LanReply& reply)
{
    ReceiptNumbers n;
    auto info = [&reply](const char* name) {
        const auto it = reply.info.find(QLatin1String(name));
        return it == reply.info.end() ? QString() : it->second;
    };
    bool ok = false;
    if (const long receipt = info("fiscalReceiptNumber").toLong(&ok); ok && receipt >= 0)
        n.receipt = receipt;
    if (const long z = info("zRepNumber").toLong(&ok); ok && z >= 0)
        n.z = z;
    n.amount = info("fiscalReceiptAmount");
    n.date = info("fiscalReceiptDate");
    n.time = info("fiscalReceiptTime");
    trace(n.known() ? QStringLiteral("-- numeri della stampante: %1").arg(n.describe())
                    : QStringLiteral("-- la risposta non porta i numeri dello scontrino (%1)").arg(n.describe()));
    const std::vector<Verdict> verdicts = m_ledger.confirmed(n);
    saveLedger();
    for (const Verdict& v : verdicts)
        note({v.doubt.file, LanLedger::VerdictPrefix + v.text,
              v.resendable ? std::optional<std::string>(v.doubt.corr) : std::nullopt});
    // The printer's figure is the one the tax office sees.
    const auto printed = printerAmountCents(n.amount);
    if (printed && *printed != m_doc.lastReceiptCents())
        note({std::string(),
              toCp1252(QStringLiteral("Importo dello scontrino n. %1 secondo la stampante %2, "
                                      "calcolato %3: verificare")
                           .arg(n.receipt >= 0 ? QString::number(n.receipt) : QStringLiteral("?"),
                                lanformat::amount(*printed), lanformat::amount(m_doc.lastReceiptCents()))),
              std::nullopt});
}

void LanPrinter::receiptInDoubt()
{
    const std::string file = currentFile ? currentFile() : std::string();
    const std::string corr = LeggiINI(keys::Section, keys::Kelmora_CORR, std::string(), m_configFile);
    m_ledger.addDoubt(file, corr);
    saveLedger();
    // What the printer holds open is unknown until it answers again.
    m_printerDocumentOpen.reset();
    trace(QStringLiteral("-- scontrino in dubbio (file %1): nessun reset, si attende il prossimo scontrino")
              .arg(cleanOutsideText(fromCp1252(file))));
}

bool LanPrinter::StoppedInDoubt(const std::string& file, bool fiscal)
{
    // The document goes to the printer whole at its closing call: it may be
    // on the paper. A receipt is told by the next one's numbers; a
    // non-fiscal document has none, and a guessed close would only be
    // refused. Whatever is still open is found when the next file starts.
    if (fiscal) {
        m_ledger.addDoubt(file, LeggiINI(keys::Section, keys::Kelmora_CORR, std::string(), m_configFile));
        saveLedger();
    }
    m_printerDocumentOpen.reset();
    trace(QStringLiteral("-- avvio dopo un arresto in attesa della stampante (file %1): %2")
              .arg(cleanOutsideText(fromCp1252(file)),
                   fiscal ? QStringLiteral("scontrino in dubbio, nessun annullo")
                          : QStringLiteral("documento forse stampato, nessuna chiusura")));
    return true;
}

int16_t LanPrinter::fail(int16_t code, const QString& detail)
{
    m_failureInDoubt = code == lancode::NoAnswer;
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
    const bool fiscal = doc.kind == LanDocument::Kind::FiscalReceipt;
    // A closure starts the receipts' count again, whatever its reply.
    if (doc.kind == LanDocument::Kind::FiscalReport) {
        m_ledger.interrupt();
        saveLedger();
    }
    if (reply.code == lancode::Ok) {
        if (fiscal)
            receiptConfirmed(reply);
        return lancode::Ok;
    }
    if (reply.inDoubt()) {
        // The printer may still be printing it: no reset.
        if (fiscal)
            receiptInDoubt();
        return fail(reply.code, reply.detail());
    }
    // Whether a refused document stays open in the printer is not known for
    // every firmware, and the status digits are no proof that it did not:
    // every refused document is followed by a reset. Not one that never
    // left: the service cannot hold what it did not get.
    const bool isDocument = fiscal || doc.kind == LanDocument::Kind::NonFiscal;
    if (isDocument && reply.sent)
        resetPrinter();
    return fail(reply.code, reply.detail());
}

template <typename Step>
int16_t LanPrinter::run(Step&& step, Wait wait)
{
    begin();
    m_strandedConfirmed = false;
    if (!m_open)
        return fail(lancode::PortClosed);
    const DocumentCollector::Result result = step();
    if (result.code != lancode::Ok)
        return fail(result.code);
    if (result.send)
        return send(*result.send, wait);
    return lancode::Ok;
}

// The port settings mean nothing to a printer on the LAN; they are kept so
// the bridge's open sequence runs as with any control.
void LanPrinter::setOpenOptionA(int32_t) {}
void LanPrinter::setOpenOptionB(int32_t) {}
void LanPrinter::setComPort(int16_t) {}
void LanPrinter::setComSettings(const std::string&) {}
void LanPrinter::setItemOptionA(int16_t) {}
void LanPrinter::setItemOptionB(int16_t) {}

bool LanPrinter::PortIsOpen()
{
    return m_open;
}

bool LanPrinter::Busy()
{
    return false;
}

void LanPrinter::OpenPort()
{
    begin();
    m_strandedConfirmed = false;
    if (m_ledger.refused())
        refusedFile(LanLedger::FileName, m_ledger.refused(), m_ledgerRefusalNoted);
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
    begin();
    m_strandedConfirmed = false;
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

// While a receipt stands in doubt, the printer is asked (twice, a few
// seconds apart: it may still be printing it); a document both answers show
// open is taken as stranded, and the void that follows resets it and
// settles the doubt as "annullato nella stampante".
OpenDocument LanPrinter::DocumentOpen()
{
    // What is being collected has not reached the printer, but it is the
    // document the bridge has open.
    switch (m_doc.state()) {
    case DocumentCollector::State::Fiscal:
    case DocumentCollector::State::Payment: return OpenDocument::Fiscal;
    case DocumentCollector::State::NonFiscal: return OpenDocument::NonFiscal;
    case DocumentCollector::State::None: break;
    }
    begin();
    if (!m_ledger.doubts().empty() && m_open) {
        // The printer may still be printing the receipt in doubt: a document
        // is taken as stranded only when two looks a few seconds apart both
        // find it open.
        m_strandedConfirmed = false;
        const LanReply first = exchange(DocumentCollector::statusQuery(), Wait::Opening);
        if (!first.fromPrinter || !first.documentOpen())
            return OpenDocument::Unknown;
        if (!*first.documentOpen())
            return OpenDocument::None;
        trace(QStringLiteral("-- documento aperto con uno scontrino in dubbio: nuovo controllo tra %1 ms")
                  .arg(m_timeouts.doubtRecheckMs));
        m_clock.sleepFor(std::chrono::milliseconds(std::max(0, m_timeouts.doubtRecheckMs)));
        const LanReply second = exchange(DocumentCollector::statusQuery(), Wait::Opening);
        if (!second.fromPrinter || !second.documentOpen())
            return OpenDocument::Unknown;
        if (!*second.documentOpen())
            return OpenDocument::None;
        m_strandedConfirmed = true;
        switch (second.printerStatus.at(3).unicode()) {
        case '0':
        case '3': return OpenDocument::Fiscal;
        case '2': return OpenDocument::NonFiscal;
        default: return OpenDocument::Undetermined;
        }
    }
    // Otherwise only the status digits of the printer's last reply tell.
    if (!m_printerDocumentOpen)
        return OpenDocument::Unknown;
    return *m_printerDocumentOpen ? OpenDocument::Undetermined : OpenDocument::None;
}

int16_t LanPrinter::CancelReceipt(int16_t)
{
    begin();
    if (!m_open)
        return fail(lancode::PortClosed);
    if (m_doc.dropFiscal())
        trace(QStringLiteral("-- scontrino in preparazione annullato"));
    if (!m_strandedConfirmed) {
        // No reply since a receipt went into doubt: the printer may still be
        // printing it, and a reset now could cut it in half.
        if (!m_ledger.doubts().empty() && !m_printerDocumentOpen) {
            trace(QStringLiteral("-- nessun reset: uno scontrino e' in dubbio e la stampante potrebbe stamparlo"));
            return lancode::Ok;
        }
        // Nothing of the collected receipt reached the printer; a document
        // is open there only if a reply said so, or if none has come yet.
        if (!m_printerDocumentOpen.value_or(true))
            return lancode::Ok;
    }
    const LanReply reply = resetPrinter();
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

// With no non-fiscal document being collected: the operator's close of one
// stranded in the printer, which no element closes; a reset does.
int16_t LanPrinter::CloseNonFiscal(int16_t)
{
    if (m_doc.state() != DocumentCollector::State::None || !m_open)
        return run([&] { return m_doc.closeNonFiscal(); });
    begin();
    const LanReply reply = resetPrinter();
    return reply.code == lancode::Ok ? lancode::Ok : fail(reply.code, reply.detail());
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
    begin();
    if (!m_open)
        return fail(lancode::PortClosed);
    const LanReply reply = resetPrinter();
    return reply.code == lancode::Ok ? lancode::Ok : fail(reply.code, reply.detail());
}

std::string LanPrinter::ErrorText(int16_t, int32_t code)
{
    QString text = QString::fromStdString(lancode::text(code));
    if (const auto it = m_details.find(code); it != m_details.end())
        text += QStringLiteral(" (") + it->second + QLatin1Char(')');
    return toCp1252(text);
}
