// SPDX-License-Identifier: MIT
#include "lan/LanLedger.h"

#include <QRegularExpression>

#include <cerrno>

namespace fs = std::filesystem;

namespace {

const std::string Printed = "stampato (scontrino n. ";
const std::string NotPrinted = "non stampato: pu\xF2 essere reinviato";
const std::string Unknowable = "non verificabile: controllare la carta";
const std::string Stranded = "annullato nella stampante: pu\xF2 essere reinviato";

QByteArray encode(const std::string& bytes)
{
    return QByteArray::fromStdString(bytes).toPercentEncoding();
}

QByteArray encode(const QString& text)
{
    return text.toUtf8().toPercentEncoding();
}

std::string decodeBytes(const QByteArray& field)
{
    return QByteArray::fromPercentEncoding(field).toStdString();
}

QString decodeText(const QByteArray& field)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(field));
}

long number(const QByteArray& field)
{
    bool ok = false;
    const long n = field.toLong(&ok);
    return ok && n >= 0 ? n : -1;
}

QByteArray numberText(long n)
{
    return n >= 0 ? QByteArray::number(qlonglong(n)) : QByteArray("-");
}

} // namespace

QString ReceiptNumbers::describe() const
{
    QString out = QStringLiteral("scontrino n. %1, chiusura n. %2")
                      .arg(receipt >= 0 ? QString::number(receipt) : QStringLiteral("?"),
                           z >= 0 ? QString::number(z) : QStringLiteral("?"));
    if (!amount.isEmpty())
        out += QStringLiteral(", importo ") + amount;
    if (!date.isEmpty() || !time.isEmpty())
        out += QStringLiteral(", ") + (date + QLatin1Char(' ') + time).trimmed();
    return out;
}

LanLedger::LanLedger(const fs::path& programDir) : m_folder(Folder::open(programDir))
{
    const auto bytes = m_folder.read(FileName);
    if (!bytes) {
        if (errno == ELOOP || errno == EISDIR || errno == EINVAL)
            m_refused = errno;
        return;
    }
    QByteArray section;
    ReceiptNumbers last;
    bool haveLast = false;
    for (QByteArray line : QByteArray::fromStdString(*bytes).split('\n')) {
        line = line.trimmed();
        if (line.startsWith('[') && line.endsWith(']')) {
            section = line.mid(1, line.size() - 2);
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            continue;
        const QByteArray key = line.left(eq);
        const QByteArray value = line.mid(eq + 1);
        if (section == "Ultimo") {
            haveLast = true;
            if (key == "Scontrino")
                last.receipt = number(value);
            else if (key == "Chiusura")
                last.z = number(value);
            else if (key == "Importo")
                last.amount = decodeText(value);
            else if (key == "Data")
                last.date = decodeText(value);
            else if (key == "Ora")
                last.time = decodeText(value);
            else if (key == "Superato")
                m_lastStale = value == "1";
        } else if (section == "Dubbi" && key == "Dubbio") {
            const QList<QByteArray> f = value.split(';');
            if (f.size() < 5)
                continue;
            Doubt d{decodeBytes(f[0]), decodeBytes(f[1]), std::nullopt, f[4] == "1"};
            ReceiptNumbers before;
            before.receipt = number(f[2]);
            before.z = number(f[3]);
            if (before.known())
                d.before = before;
            m_doubts.push_back(std::move(d));
        } else if (section == "Esito" && key == "Testo") {
            m_lastVerdict = decodeBytes(value);
        }
    }
    if (haveLast)
        m_last = last;
}

std::vector<Verdict> LanLedger::confirmed(const ReceiptNumbers& reply)
{
    std::vector<Verdict> verdicts;
    if (!m_doubts.empty()) {
        const auto& base = m_doubts.front().before;
        bool countable = reply.known() && base && base->z == reply.z;
        for (const Doubt& d : m_doubts)
            countable = countable && !d.interrupted;
        // The reply numbers the receipt just printed: before it, the printer
        // had printed `delta` receipts since the last one confirmed.
        const long delta = countable ? reply.receipt - 1 - base->receipt : -1;
        const long standing = long(m_doubts.size());
        for (size_t i = 0; i < m_doubts.size(); ++i) {
            Verdict v{m_doubts[i], Unknowable, false};
            if (delta == 0) {
                v.text = NotPrinted;
                v.resendable = true;
            } else if (delta == standing) {
                v.text = Printed + std::to_string(base->receipt + 1 + long(i)) + ")";
            }
            verdicts.push_back(std::move(v));
        }
    }
    m_last = reply;
    m_lastStale = false;
    return settle(std::move(verdicts));
}

void LanLedger::addDoubt(const std::string& file, const std::string& corr)
{
    Doubt d{file, corr, std::nullopt, false};
    if (m_last && m_last->known() && !m_lastStale)
        d.before = m_last;
    m_doubts.push_back(std::move(d));
}

void LanLedger::interrupt()
{
    for (Doubt& d : m_doubts)
        d.interrupted = true;
    // A reset may cancel a receipt the printer had begun, and a closure
    // starts the count again: the last numbers kept are no base for a
    // doubt that comes after.
    m_lastStale = true;
}

std::vector<Verdict> LanLedger::strandedReset()
{
    std::vector<Verdict> verdicts;
    for (size_t i = 0; i < m_doubts.size(); ++i) {
        const bool newest = i + 1 == m_doubts.size();
        verdicts.push_back(Verdict{m_doubts[i], newest ? Stranded : Unknowable, newest});
    }
    m_lastStale = true;
    return settle(std::move(verdicts));
}

std::vector<Verdict> LanLedger::settle(std::vector<Verdict> verdicts)
{
    m_doubts.clear();
    if (!verdicts.empty())
        m_lastVerdict = verdicts.back().doubt.file + ": " + VerdictPrefix + verdicts.back().text;
    return verdicts;
}

bool LanLedger::save()
{
    QByteArray out;
    if (m_last) {
        out += "[Ultimo]\n";
        out += "Scontrino=" + numberText(m_last->receipt) + "\n";
        out += "Chiusura=" + numberText(m_last->z) + "\n";
        out += "Importo=" + encode(m_last->amount) + "\n";
        out += "Data=" + encode(m_last->date) + "\n";
        out += "Ora=" + encode(m_last->time) + "\n";
        out += QByteArray("Superato=") + (m_lastStale ? "1" : "0") + "\n";
    }
    if (!m_doubts.empty()) {
        out += "[Dubbi]\n";
        for (const Doubt& d : m_doubts)
            out += "Dubbio=" + encode(d.file) + ";" + encode(d.corr) + ";" +
                   numberText(d.before ? d.before->receipt : -1) + ";" + numberText(d.before ? d.before->z : -1) + ";" +
                   (d.interrupted ? "1" : "0") + "\n";
    }
    if (!m_lastVerdict.empty())
        out += "[Esito]\nTesto=" + encode(m_lastVerdict) + "\n";
    if (!m_folder.replace(FileName, out.toStdString())) {
        m_why = accessError(errno);
        return false;
    }
    m_refused = 0;
    return true;
}

std::optional<int64_t> printerAmountCents(const QString& text)
{
    QString t = text.trimmed();
    if (t.contains(QLatin1Char(','))) {
        t.remove(QLatin1Char('.'));
        t.replace(QLatin1Char(','), QLatin1Char('.'));
    }
    static const QRegularExpression shape(QStringLiteral("^(-?)(\\d{1,12})(?:\\.(\\d{1,2}))?$"));
    const auto m = shape.match(t);
    if (!m.hasMatch())
        return std::nullopt;
    const int64_t units = m.captured(2).toLongLong();
    const QString decimals = m.captured(3).leftJustified(2, QLatin1Char('0'));
    const int64_t cents = units * 100 + decimals.toLongLong();
    return m.captured(1).isEmpty() ? cents : -cents;
}
