// SPDX-License-Identifier: MIT
#include "simulator/CallTrace.h"

#include "config/Text.h"

#include <algorithm>
#include <charconv>

namespace calltrace {

std::string value(int16_t v)
{
    return std::to_string(v);
}

std::string value(int32_t v)
{
    return std::to_string(v);
}

std::string value(bool v)
{
    return v ? "true" : "false";
}

std::string value(Currency v)
{
    return v.toString();
}

std::string value(float v)
{
    // The shortest decimal that reads back as the same single is the number
    // the caller wrote (0.1f is 0.1); fixed notation keeps 1e10 as
    // 10000000000. The longest single in that form takes 48 characters.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed);
    std::string text(buffer, result.ptr);
    const bool negative = !text.empty() && text.front() == '-';
    if (negative)
        text.erase(0, 1);
    const size_t point = text.find('.');
    std::string whole = point == std::string::npos ? text : text.substr(0, point);
    std::string fraction = point == std::string::npos ? std::string() : text.substr(point + 1);
    fraction.resize(std::max<size_t>(fraction.size(), 4), '0');
    const bool up = fraction[3] >= '5'; // halves up, away from zero
    std::string digits = whole + fraction.substr(0, 3);
    if (up) {
        size_t i = digits.size();
        while (i > 0 && digits[i - 1] == '9')
            digits[--i] = '0';
        if (i == 0)
            digits.insert(digits.begin(), '1');
        else
            ++digits[i - 1];
    }
    std::string out = digits.substr(0, digits.size() - 3) + "." + digits.substr(digits.size() - 3);
    if (negative && out.find_first_not_of("0.") != std::string::npos)
        out.insert(out.begin(), '-');
    return out;
}

std::string value(const std::string& cp1252)
{
    const QByteArray utf8 = fromCp1252(cp1252).toUtf8();
    std::string out;
    out.reserve(size_t(utf8.size()) + 2);
    out += '"';
    for (char c : utf8) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        // The rest of the control characters would reach whoever reads
        // the trace on a terminal.
        default: out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
        }
    }
    out += '"';
    return out;
}

std::string call(std::string_view name, std::string_view args, std::string_view result)
{
    return std::string(name) + "(" + std::string(args) + ") -> " + std::string(result);
}

std::string call(std::string_view name, std::string_view args)
{
    return std::string(name) + "(" + std::string(args) + ")";
}

std::string put(std::string_view name, std::string_view value)
{
    return std::string(name) + " = " + std::string(value);
}

std::string get(std::string_view name, std::string_view value)
{
    return std::string(name) + " -> " + std::string(value);
}

std::string event(int16_t level, int32_t code)
{
    return "Event9(" + args(level, code) + ")";
}

std::string failure(std::string_view name, std::string_view args, const std::string& description)
{
    return call(name, args) + " !! " + value(description);
}

} // namespace calltrace
