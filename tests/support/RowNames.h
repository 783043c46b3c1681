// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

// Names for the rows of parameterised suites, so that a failing row reads
// ".../port_cleared" and not ".../7". gtest takes letters, digits and
// underscores only, and a row's name must be unique within its suite.
namespace rownames {

// A name of digits alone would read as a row's index: "12" -> "num12".
inline std::string notAnIndex(std::string name)
{
    const bool digitsOnly = std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); });
    return digitsOnly ? "num" + name : name;
}

// `text` as a test name: letters and digits kept, every other byte an
// underscore, "empty" for no text.
inline std::string sanitised(std::string_view text)
{
    if (text.empty())
        return "empty";
    std::string out;
    for (const char c : text)
        out.push_back(std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
    return notAnIndex(out);
}

// `text` as a test name with its signs spelled out, for rows that are data
// ("-2.5" -> "minus2point5", "5\r" -> "5cr"): blanks become underscores,
// other bytes their hexadecimal code ("\x80" -> "x80").
inline std::string spelled(std::string_view text)
{
    if (text.empty())
        return "empty";
    static constexpr std::pair<char, const char*> Words[] = {
        {' ', "_"},         {'-', "minus"},  {'+', "plus"},  {'.', "point"},    {',', "comma"},      {'\t', "tab"},
        {'\r', "cr"},       {'\n', "lf"},    {'\0', "nul"},  {'/', "slash"},    {'\\', "backslash"}, {':', "colon"},
        {';', "semicolon"}, {'=', "equals"}, {'"', "quote"}, {'[', "lbracket"}, {']', "rbracket"}};
    std::string out;
    for (const char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            out.push_back(c);
            continue;
        }
        const auto word = std::find_if(std::begin(Words), std::end(Words), [c](const auto& w) { return w.first == c; });
        if (word != std::end(Words)) {
            out += word->second;
            continue;
        }
        static constexpr char Hex[] = "0123456789ABCDEF";
        const auto byte = static_cast<unsigned char>(c);
        out += {'x', Hex[byte >> 4], Hex[byte & 0xF]};
    }
    return notAnIndex(out);
}

// Names each row after its `name` member.
inline constexpr auto byName = [](const auto& info) { return sanitised(info.param.name); };

// Names each row after the text `describe` (a function or a member) makes of
// it, as a name or spelled out.
template <class Describe>
auto by(Describe describe)
{
    return [describe](const auto& info) { return sanitised(std::invoke(describe, info.param)); };
}
template <class Describe>
auto spelledBy(Describe describe)
{
    return [describe](const auto& info) { return spelled(std::invoke(describe, info.param)); };
}

// Names each row after the row itself, for rows that are plain texts.
inline constexpr auto byText = [](const auto& info) { return spelled(info.param); };

} // namespace rownames
