// SPDX-License-Identifier: MIT
#include "simulator/SimJournal.h"

#include "config/Text.h"
#include "core/Clock.h"

#include <algorithm>

namespace simjournal {

namespace {
std::string utf8Line(const QString& line)
{
    return line.toStdString() + "\n";
}
} // namespace

QString printable(const std::string& cp1252)
{
    QString out = fromCp1252(cp1252);
    for (QChar& c : out) {
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0))
            c = QLatin1Char(' ');
    }
    return out;
}

QString amount(Currency value)
{
    return QString::fromStdString(value.toString2()).replace(QLatin1Char('.'), QLatin1Char(','));
}

std::string text(const QString& t)
{
    return utf8Line(t.left(Width));
}

std::string centered(const QString& t)
{
    const QString cut = t.left(Width);
    return utf8Line(QString((Width - cut.size()) / 2, QLatin1Char(' ')) + cut);
}

std::string item(const QString& label, const QString& value)
{
    // The value keeps its full width; the label gives way, one blank apart.
    const qsizetype room = std::max<qsizetype>(0, Width - value.size() - 1);
    const QString left = label.left(room);
    const qsizetype gap = std::max<qsizetype>(0, Width - left.size() - value.size());
    return utf8Line(left + QString(gap, QLatin1Char(' ')) + value);
}

std::string item(const QString& label, Currency value)
{
    return item(label, amount(value));
}

std::string rule(char c)
{
    return std::string(size_t(Width), c) + "\n";
}

std::string header()
{
    return rule('=') + centered(QStringLiteral("TESSIRO")) + centered(QStringLiteral("STAMPANTE FISCALE SIMULATA")) +
           rule('-');
}

} // namespace simjournal

std::string SimJournal::numbered(const QString& label, int number) const
{
    const std::tm now = m_clock.localNow();
    const QString stamp = QStringLiteral("%1-%2-%3 %4:%5")
                              .arg(now.tm_mday, 2, 10, QLatin1Char('0'))
                              .arg(now.tm_mon + 1, 2, 10, QLatin1Char('0'))
                              .arg(now.tm_year + 1900, 4, 10, QLatin1Char('0'))
                              .arg(now.tm_hour, 2, 10, QLatin1Char('0'))
                              .arg(now.tm_min, 2, 10, QLatin1Char('0'));
    return simjournal::item(label + QStringLiteral(" N. ") + QStringLiteral("%1").arg(number, 4, 10, QLatin1Char('0')),
                            stamp);
}
