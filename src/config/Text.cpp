// SPDX-License-Identifier: MIT
#include "config/Text.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {
// windows-1252 bytes 0x80..0x9F; 0 marks the five undefined bytes, which
// decode to the C1 control of the same number as Windows does.
constexpr char16_t HighTable[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};
} // namespace

QString fromCp1252(std::string_view bytes)
{
    QString out;
    out.reserve(qsizetype(bytes.size()));
    for (unsigned char c : bytes) {
        if (c >= 0x80 && c <= 0x9F && HighTable[c - 0x80] != 0)
            out.append(QChar(HighTable[c - 0x80]));
        else
            out.append(QChar(char16_t(c)));
    }
    return out;
}

std::string toCp1252(const QString& text)
{
    std::string out;
    out.reserve(size_t(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            ++i; // one character outside the code page: one '?'
            out.push_back('?');
            continue;
        }
        // The C1 controls round-trip only where the byte is one of the five
        // undefined ones; the others decode to printable characters.
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF) || (u <= 0x9F && HighTable[u - 0x80] == 0)) {
            out.push_back(char(u));
            continue;
        }
        char mapped = '?';
        for (int k = 0; k < 32; ++k) {
            if (HighTable[k] == u) {
                mapped = char(0x80 + k);
                break;
            }
        }
        out.push_back(mapped);
    }
    return out;
}

std::string trimmed(std::string_view text)
{
    auto junk = [](unsigned char c) { return c <= 0x20; };
    size_t b = 0, e = text.size();
    while (b < e && junk(static_cast<unsigned char>(text[b])))
        ++b;
    while (e > b && junk(static_cast<unsigned char>(text[e - 1])))
        --e;
    return std::string(text.substr(b, e - b));
}

std::optional<double> toDouble(std::string_view text)
{
    // Sign, digits with an optional point, an optional exponent; blanks around.
    size_t i = 0, n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    while (n > i && (text[n - 1] == ' ' || text[n - 1] == '\t'))
        --n;
    const std::string_view t = text.substr(i, n - i);
    size_t p = 0;
    if (p < t.size() && (t[p] == '+' || t[p] == '-'))
        ++p;
    size_t digits = 0;
    while (p < t.size() && t[p] >= '0' && t[p] <= '9')
        ++p, ++digits;
    if (p < t.size() && t[p] == '.') {
        ++p;
        while (p < t.size() && t[p] >= '0' && t[p] <= '9')
            ++p, ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    if (p < t.size() && (t[p] == 'e' || t[p] == 'E')) {
        ++p;
        if (p < t.size() && (t[p] == '+' || t[p] == '-'))
            ++p;
        size_t expDigits = 0;
        while (p < t.size() && t[p] >= '0' && t[p] <= '9')
            ++p, ++expDigits;
        if (expDigits == 0)
            return std::nullopt;
    }
    if (p != t.size())
        return std::nullopt;
    // from_chars, unlike strtod, ignores the process locale, which the GUI
    // takes from the environment (an Italian one would stop at the ".").
    const char* first = t.data();
    const char* last = t.data() + t.size();
    if (*first == '+')
        ++first;
    double value = 0;
    const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec != std::errc() || end != last || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool isNumericText(std::string_view text)
{
    return toDouble(text).has_value();
}

std::optional<int16_t> toInt16(std::string_view text)
{
    const auto value = toDouble(text);
    if (!value)
        return std::nullopt;
    const double rounded = std::nearbyint(*value); // default rounding: halves to even
    if (rounded < std::numeric_limits<int16_t>::min() || rounded > std::numeric_limits<int16_t>::max())
        return std::nullopt;
    return static_cast<int16_t>(rounded);
}

std::filesystem::path storedPath(const std::string& stored, const std::filesystem::path& base)
{
    std::string s = stored;
    for (char& c : s)
        if (c == '\\')
            c = '/';
    std::filesystem::path p(s);
    if (p.is_relative())
        p = base / p;
    return p;
}
