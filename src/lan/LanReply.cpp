// SPDX-License-Identifier: MIT
#include "lan/LanReply.h"

#include "core/OutsideText.h"
#include "lan/LanCodes.h"

#include <QXmlStreamReader>

namespace {

bool startsWith(const QString& text, const char* prefix)
{
    return text.startsWith(QLatin1String(prefix), Qt::CaseInsensitive);
}

} // namespace

int16_t codeForFailure(const QString& rawKeyword, std::optional<int> status)
{
    const QString keyword = rawKeyword.trimmed();
    if (startsWith(keyword, "EPTR_REC_EMPTY"))
        return lancode::PaperEnd;
    if (startsWith(keyword, "PRINTER ERROR")) {
        switch (status.value_or(-1)) {
        case 3: return lancode::PaperEnd;
        case 11: return lancode::WrongSequence;
        case 13:
        case 16: return lancode::InvalidData;
        case 12:
        case 22: return lancode::UnknownDepartment;
        case 20:
        case 21:
        case 27: return lancode::AmountTooLarge;
        default: return lancode::PrinterError;
        }
    }
    // The fiscal unit may have printed before the service gave up on it.
    if (startsWith(keyword, "FP_NO_ANSWER") || startsWith(keyword, "LAN_TIME_OUT") ||
        startsWith(keyword, "TM_NO_ANSWER") || startsWith(keyword, "TP_NO_ANSWER"))
        return lancode::NoAnswer;
    if (startsWith(keyword, "LAN_ERROR"))
        return lancode::Unavailable;
    if (startsWith(keyword, "PARSER_ER") || startsWith(keyword, "INCOMPLETE FILE") || startsWith(keyword, "NO_DATA") ||
        startsWith(keyword, "NON VALID XML") || startsWith(keyword, "NO VALID XML") ||
        startsWith(keyword, "CONFIGURATION_FILE_ERROR"))
        return lancode::DocumentRefused;
    if (startsWith(keyword, "NO_RAM"))
        return lancode::OutOfMemory;
    if (startsWith(keyword, "EFT_POS_ERROR"))
        return lancode::ElectronicPayment;
    return lancode::PrinterError;
}

bool LanReply::inDoubt() const
{
    return code == lancode::NoAnswer;
}

std::optional<bool> LanReply::documentOpen() const
{
    if (printerStatus.size() < 4)
        return std::nullopt;
    const QChar document = printerStatus.at(3);
    return document == QLatin1Char('0') || document == QLatin1Char('2') || document == QLatin1Char('3') ||
           document == QLatin1Char('8');
}

QString LanReply::detail() const
{
    if (!fromPrinter)
        return problem;
    QString out = keyword.isEmpty() ? QStringLiteral("nessun codice") : keyword;
    if (status)
        out += QStringLiteral(", stato %1").arg(*status);
    if (!printerStatus.isEmpty())
        out += QStringLiteral(", stampante %1").arg(printerStatus);
    return out;
}

LanReply readReply(const HttpOutcome& outcome)
{
    LanReply reply;
    reply.sent = outcome.requestSent;
    auto problem = [&reply](int16_t code, const QString& text) {
        reply.code = code;
        // Our words around the network's or the certificate's, which come
        // from outside: room for both, and no control character.
        reply.problem = cleanOutsideText(text, 2 * OutsideTextMax);
        return reply;
    };
    switch (outcome.kind) {
    case HttpOutcome::Kind::Timeout:
        if (!outcome.requestSent)
            return problem(lancode::Communication, QStringLiteral("documento non inviato (%1)").arg(outcome.error));
        return problem(lancode::NoAnswer, QStringLiteral("nessuna risposta in tempo (%1)").arg(outcome.error));
    case HttpOutcome::Kind::NoConnection:
        if (!outcome.requestSent)
            return problem(lancode::Communication, QStringLiteral("documento non inviato (%1)").arg(outcome.error));
        return problem(lancode::NoAnswer, QStringLiteral("risposta mancante o interrotta (%1)").arg(outcome.error));
    case HttpOutcome::Kind::Tls: return problem(lancode::Certificate, QStringLiteral("TLS: %1").arg(outcome.error));
    case HttpOutcome::Kind::Replied: break;
    }
    // A 4xx says the service refused the request itself; anything else but
    // 200 may come after the fiscal unit took the document.
    if (outcome.httpStatus >= 400 && outcome.httpStatus < 500)
        return problem(
            lancode::Communication,
            QStringLiteral("risposta HTTP %1: documento non accettato dal servizio").arg(outcome.httpStatus));
    if (outcome.httpStatus != 200)
        return problem(lancode::NoAnswer, QStringLiteral("risposta HTTP %1").arg(outcome.httpStatus));

    QXmlStreamReader xml(outcome.body);
    bool inResponse = false, inInfo = false, sawResponse = false;
    QString success;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QString name = xml.name().toString();
            if (!sawResponse && name == QLatin1String("response")) {
                sawResponse = inResponse = true;
                const QXmlStreamAttributes a = xml.attributes();
                success = a.value(QLatin1String("success")).toString().trimmed();
                reply.keyword = a.value(QLatin1String("code")).toString().trimmed();
                bool ok = false;
                const int status = a.value(QLatin1String("status")).toString().trimmed().toInt(&ok);
                if (ok)
                    reply.status = status;
            } else if (inResponse && name == QLatin1String("addInfo")) {
                inInfo = true;
            } else if (inInfo) {
                reply.info[name] = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            }
        } else if (xml.isEndElement()) {
            const QStringView name = xml.name();
            if (name == QLatin1String("addInfo"))
                inInfo = false;
            else if (name == QLatin1String("response"))
                inResponse = false;
        }
    }
    if (xml.hasError() || !sawResponse) {
        // Whatever it was, it came after the document: the printer may have
        // printed it.
        reply.info.clear();
        reply.keyword.clear();
        reply.status.reset();
        return problem(lancode::NoAnswer, xml.hasError()
                                              ? QStringLiteral("risposta non leggibile (%1)").arg(xml.errorString())
                                              : QStringLiteral("risposta senza elemento response"));
    }
    reply.fromPrinter = true;
    reply.keyword = cleanOutsideText(reply.keyword);
    for (auto& [name, value] : reply.info)
        value = cleanOutsideText(value);
    for (const char* name : {"printerStatus", "fpStatus"}) {
        const auto it = reply.info.find(QLatin1String(name));
        if (it != reply.info.end() && !it->second.isEmpty()) {
            reply.printerStatus = it->second; // cleaned above
            break;
        }
    }
    const bool succeeded = success.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
                           success == QLatin1String("1");
    reply.code = succeeded ? lancode::Ok : codeForFailure(reply.keyword, reply.status);
    return reply;
}
