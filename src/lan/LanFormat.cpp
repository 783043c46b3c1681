// SPDX-License-Identifier: MIT
#include "lan/LanFormat.h"

#include "config/Text.h"

#include <cmath>

namespace lanformat {

namespace {

// value / divisor rounded half away from zero; divisor > 0.
int64_t divideHalfUp(__int128 value, __int128 divisor)
{
    const bool negative = value < 0;
    const __int128 magnitude = negative ? -value : value;
    __int128 q = magnitude / divisor;
    if ((magnitude % divisor) * 2 >= divisor)
        ++q;
    return static_cast<int64_t>(negative ? -q : q);
}

QString decimals(int64_t value, int scale, bool trimZeros)
{
    const bool negative = value < 0;
    const uint64_t magnitude = negative ? uint64_t(0) - uint64_t(value) : uint64_t(value);
    uint64_t divisor = 1;
    for (int i = 0; i < scale; ++i)
        divisor *= 10;
    QString fraction = QString::number(magnitude % divisor).rightJustified(scale, QLatin1Char('0'));
    if (trimZeros) {
        while (fraction.endsWith(QLatin1Char('0')))
            fraction.chop(1);
    }
    QString out = QString::number(magnitude / divisor);
    if (!fraction.isEmpty())
        out += QLatin1Char(',') + fraction;
    return negative ? QLatin1Char('-') + out : out;
}

} // namespace

int64_t centsHalfUp(Currency value)
{
    return divideHalfUp(value.units(), Currency::Scale / 100);
}

std::optional<int64_t> quantityThousandths(float quantity)
{
    const double scaled = double(quantity) * 1000.0;
    if (!std::isfinite(scaled) || std::fabs(scaled) > 9e15)
        return std::nullopt;
    return static_cast<int64_t>(std::llround(scaled));
}

int64_t lineCents(int64_t priceCents, int64_t quantityThousandths)
{
    return divideHalfUp(static_cast<__int128>(priceCents) * quantityThousandths, 1000);
}

QString amount(int64_t cents)
{
    return decimals(cents, 2, false);
}

QString quantity(int64_t thousandths)
{
    return decimals(thousandths, 3, true);
}

QString text(const std::string& cp1252, int maxLength)
{
    const QString decoded = fromCp1252(cp1252);
    QString out;
    out.reserve(decoded.size());
    for (const QChar c : decoded) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7f) {
            out += c;
        } else if (c == QChar(0x20ac)) {
            out += c;
        } else if (c.unicode() < 0x20 || c.unicode() == 0x7f || c.category() == QChar::Other_Control) {
            out += QLatin1Char(' ');
        } else {
            // "è" -> "e": the base letter of a decomposable character.
            const QString base = QString(c).normalized(QString::NormalizationForm_KD);
            QString kept;
            for (const QChar b : base)
                if (b.unicode() >= 0x20 && b.unicode() < 0x7f)
                    kept += b;
            out += kept.isEmpty() ? QStringLiteral("?") : kept;
        }
    }
    if (maxLength > 0 && out.size() > maxLength)
        out.truncate(maxLength);
    return out;
}

} // namespace lanformat
