// SPDX-License-Identifier: MIT
#include "lan/LanReply.h"

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
    switch (outcome.kind) {
    case HttpOutcome::Kind::Timeout:
        reply.code = lancode::NoAnswer;
        reply.problem = QStringLiteral("nessuna risposta in tempo (%1)").arg(outcome.error);
        return reply;
    case HttpOutcome::Kind::NoConnection:
        reply.code = lancode::Communication;
        reply.problem = QStringLiteral("collegamento non riuscito (%1)").arg(outcome.error);
        return reply;
    case HttpOutcome::Kind::Tls:
        reply.code = lancode::Certificate;
        reply.problem = QStringLiteral("TLS: %1").arg(outcome.error);
        return reply;
    case HttpOutcome::Kind::Replied: break;
    }
    if (outcome.httpStatus != 200) {
        reply.code = lancode::Communication;
        reply.problem = QStringLiteral("risposta HTTP %1").arg(outcome.httpStatus);
        return reply;
    }

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
        reply.code = lancode::Communication;
        reply.problem = xml.hasError() ? QStringLiteral("risposta non leggibile (%1)").arg(xml.errorString())
                                       : QStringLiteral("risposta senza elemento response");
        return reply;
    }
    reply.fromPrinter = true;
    for (const char* name : {"printerStatus", "fpStatus"}) {
        const auto it = reply.info.find(QLatin1String(name));
        if (it != reply.info.end() && !it->second.isEmpty()) {
            reply.printerStatus = it->second;
            break;
        }
    }
    const bool succeeded = success.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
                           success == QLatin1String("1");
    reply.code = succeeded ? lancode::Ok : codeForFailure(reply.keyword, reply.status);
    return reply;
}
