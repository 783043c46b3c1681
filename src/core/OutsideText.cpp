// SPDX-License-Identifier: MIT
#include "core/OutsideText.h"

namespace {

bool isControl(unsigned int c)
{
    return c < 0x20 || c == 0x7F;
}

} // namespace

std::string cleanOutsideText(std::string text, std::size_t max)
{
    if (text.size() > max)
        text.resize(max);
    for (char& c : text)
        if (isControl(static_cast<unsigned char>(c)))
            c = '?';
    return text;
}

QString cleanOutsideText(const QString& text, std::size_t max)
{
    QString out = text;
    if (std::size_t(out.size()) > max) {
        qsizetype cut = qsizetype(max);
        if (cut > 0 && out.at(cut - 1).isHighSurrogate())
            --cut;
        out.truncate(cut);
    }
    for (QChar& c : out)
        if (isControl(c.unicode()))
            c = QLatin1Char('?');
    return out;
}
