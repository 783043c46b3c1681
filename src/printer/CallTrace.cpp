// SPDX-License-Identifier: MIT
#include "printer/CallTrace.h"

#include "config/Text.h"

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
    // Fixed notation keeps 1e10 as 10000000000; the longest single in that
    // form, the smallest negative one, takes 48 characters.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed);
    return std::string(buffer, result.ptr);
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
        default: out += c;
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
