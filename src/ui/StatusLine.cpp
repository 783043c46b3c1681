// SPDX-License-Identifier: MIT
#include "ui/StatusLine.h"

#include <QRegularExpression>

namespace {

// How many discarded names the line spells out; the count says the rest.
constexpr qsizetype NamesShown = 5;

QStringList linesOf(const QString& text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines;
    for (const QString& line : t.split(QLatin1Char('\n')))
        if (!line.trimmed().isEmpty())
            lines << line.trimmed();
    return lines;
}

bool isHeadingOrDate(const QString& line)
{
    static const QRegularExpression heading(QStringLiteral("^-----.*-----$"));
    static const QRegularExpression date(QStringLiteral("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d$"));
    static const QRegularExpression banner(QStringLiteral("^!!!!.*!!!!$"));
    return heading.match(line).hasMatch() || date.match(line).hasMatch() || banner.match(line).hasMatch();
}

// A document closed is a non-fiscal one when its reason says so.
bool nonFiscal(const QString& reason)
{
    return reason.contains(QStringLiteral("non fiscal"), Qt::CaseInsensitive);
}

QString voidSentence(const StatusFacts& facts, bool afterRecovery)
{
    bool receipt = false, other = false;
    for (const QString& reason : facts.voided)
        (nonFiscal(reason) ? other : receipt) = true;
    QStringList done;
    if (receipt)
        done << QStringLiteral("scontrino annullato");
    if (other)
        done << QStringLiteral("documento non fiscale chiuso");
    if (done.isEmpty())
        return {};
    QString text = done.join(QStringLiteral(", "));
    if (!afterRecovery)
        text = text.left(1).toUpper() + text.mid(1) + QStringLiteral(" (") + facts.voided.last() + QLatin1Char(')');
    return text;
}

bool voidedAReceipt(const StatusFacts& facts)
{
    for (const QString& reason : facts.voided)
        if (!nonFiscal(reason))
            return true;
    return false;
}

QString discardedSentence(const QStringList& names)
{
    if (names.isEmpty())
        return {};
    const qsizetype n = names.size();
    QStringList shown = names.mid(0, NamesShown);
    QString list = shown.join(QStringLiteral(", "));
    if (n > NamesShown)
        list += QStringLiteral(" e altri %1").arg(n - NamesShown);
    return n == 1 ? QStringLiteral("1 file non eseguito per l'errore in sospeso: %1. Farlo reinviare dal gestionale.")
                        .arg(list)
                  : QStringLiteral("%1 file non eseguiti per l'errore in sospeso: %2. Farli reinviare dal gestionale.")
                        .arg(n)
                        .arg(list);
}

} // namespace

QString conditionOf(const QString& printerText, const QString& programText)
{
    const QStringList printer = linesOf(printerText);
    // The printer's event: "Livello: ..", " EpsonError: ..", then its text.
    for (qsizetype i = 0; i < printer.size(); ++i)
        if (printer[i].startsWith(QStringLiteral("EpsonError:"))) {
            QStringList words;
            for (qsizetype j = i + 1; j < printer.size() && !isHeadingOrDate(printer[j]); ++j)
                words << printer[j];
            if (!words.isEmpty())
                return words.join(QLatin1Char(' '));
        }
    for (const QStringList& lines : {printer, linesOf(programText)}) {
        QStringList words;
        for (const QString& line : lines)
            if (!isHeadingOrDate(line))
                words << line;
        if (!words.isEmpty())
            return words.join(QLatin1Char(' '));
    }
    return {};
}

bool isPaperEnd(const QString& condition)
{
    return condition.contains(QStringLiteral("FINE CARTA"), Qt::CaseInsensitive) ||
           condition.contains(QStringLiteral("CARTA ESAURITA"), Qt::CaseInsensitive);
}

QString statusText(const StatusFacts& facts)
{
    QStringList sentences;
    if (facts.standing) {
        const QString voided = voidSentence(facts, false);
        if (!voided.isEmpty())
            sentences << voided + (voidedAReceipt(facts) ? QStringLiteral(": ribattere la vendita del cliente.")
                                                         : QStringLiteral("."));
        if (isPaperEnd(facts.condition)) {
            const QString group = facts.document == StatusFacts::Document::Fiscal
                                      ? QStringLiteral("\"Scontrino fiscale\"")
                                  : facts.document == StatusFacts::Document::NonFiscal
                                      ? QStringLiteral("\"Scontrino non fiscale\"")
                                      : QStringLiteral("\"Scontrino fiscale\" o \"Scontrino non fiscale\", secondo "
                                                       "il documento in stampa");
            sentences << QStringLiteral("Carta finita: cambiare il rotolo, poi premere RECUPERO DA FINE CARTA sotto ") +
                             group + QLatin1Char('.');
        } else if (voided.isEmpty()) {
            sentences << QStringLiteral("Errore della stampante: %1. Risolvere il problema, poi premere il pulsante "
                                        "evidenziato.")
                             .arg(facts.condition.isEmpty() ? QStringLiteral("vedere sopra") : facts.condition);
        } else {
            sentences << QStringLiteral("Poi premere NASCONDI per riprendere la stampa.");
        }
    } else if (facts.recovered) {
        const QString voided = voidSentence(facts, true);
        sentences << QStringLiteral("Risolto: ") + (voided.isEmpty() ? QString() : voided + QStringLiteral(", ")) +
                         QStringLiteral("la stampa riprende.");
        if (voidedAReceipt(facts))
            sentences << QStringLiteral("Ribattere la vendita del cliente.");
    }
    if (const QString discarded = discardedSentence(facts.discarded); !discarded.isEmpty())
        sentences << discarded;
    return sentences.join(QLatin1Char(' '));
}

QString matchingButton(const StatusFacts& facts)
{
    if (!facts.standing)
        return {};
    using Document = StatusFacts::Document;
    if (isPaperEnd(facts.condition))
        return facts.document == Document::NonFiscal ? QStringLiteral("cmdFineCartaNoFisc")
               : facts.document == Document::Fiscal  ? QStringLiteral("cmdFineCarta")
                                                     : QString();
    // The printer voided the receipt itself: lifting the error is what is left.
    if (!facts.voided.isEmpty())
        return QStringLiteral("cmdNascondi");
    switch (facts.document) {
    case Document::Fiscal: return QStringLiteral("cmdChiudiScontrino");
    case Document::NonFiscal: return QStringLiteral("cmdChiudiNF");
    case Document::Unknown: break;
    }
    return QStringLiteral("cmdNascondi");
}
