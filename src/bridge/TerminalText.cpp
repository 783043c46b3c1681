// SPDX-License-Identifier: MIT
#include "bridge/TerminalText.h"

#include "config/Text.h"

#include <QByteArray>
#include <QString>

#include <iconv.h>
#include <langinfo.h>

#include <algorithm>
#include <cerrno>

namespace {

bool isUtf8(const std::string& codeset)
{
    return codeset == "UTF-8" || codeset == "utf-8" || codeset == "UTF8" || codeset == "utf8";
}

// Length of the UTF-8 sequence that starts with `lead` (1 for a stray byte).
size_t sequenceLength(unsigned char lead)
{
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

} // namespace

std::string terminalCodeset()
{
    const char* codeset = ::nl_langinfo(CODESET);
    return codeset && *codeset ? std::string(codeset) : std::string("UTF-8");
}

std::string utf8ToTerminal(std::string_view utf8, const std::string& codeset)
{
    if (isUtf8(codeset))
        return std::string(utf8);
    const iconv_t cd = ::iconv_open((codeset + "//TRANSLIT").c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::string(utf8);

    std::string out;
    out.reserve(utf8.size());
    std::string input(utf8);
    char* in = input.data();
    size_t inLeft = input.size();
    char buffer[256];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t result = ::iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, size_t(outPtr - buffer));
        if (result == size_t(-1) && errno != E2BIG) {
            // Neither the set nor a transliteration has it: one mark for the
            // whole character, then on.
            const size_t skip = std::min(inLeft, sequenceLength(static_cast<unsigned char>(*in)));
            in += skip;
            inLeft -= skip;
            out += '?';
        }
    }
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    ::iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, size_t(outPtr - buffer));
    ::iconv_close(cd);
    return out;
}

std::string cp1252ToTerminal(std::string_view cp1252, const std::string& codeset)
{
    QString text = fromCp1252(cp1252);
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control && c != QLatin1Char('\n') && c != QLatin1Char('\r') &&
            c != QLatin1Char('\t'))
            c = QLatin1Char('?');
    const QByteArray utf8 = text.toUtf8();
    return utf8ToTerminal(std::string_view(utf8.constData(), size_t(utf8.size())), codeset);
}

std::string oneLine(const std::string& cp1252)
{
    QString text = fromCp1252(cp1252);
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" | "));
    text.replace(QLatin1Char('\r'), QStringLiteral(" | "));
    text.replace(QLatin1Char('\n'), QStringLiteral(" | "));
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    return text.toStdString();
}
