// SPDX-License-Identifier: MIT
#include "printer/Currency.h"

#include <charconv>
#include <limits>

int64_t divideHalfEven(int64_t value, int64_t divisor)
{
    int64_t q = value / divisor;
    int64_t r = value % divisor;
    if (r == 0)
        return q;
    // Compare twice the remainder with the divisor without overflowing.
    const int64_t absR = r < 0 ? -r : r;
    const int64_t rest = divisor - absR;
    const int sign = value < 0 ? -1 : 1;
    if (absR > rest || (absR == rest && (q % 2 != 0)))
        q += sign;
    return q;
}

std::optional<Currency> Currency::parse(std::string_view text, int64_t divisor)
{
    bool fraction = false;
    return parse(text, divisor, fraction);
}

std::optional<Currency> Currency::parseCount(std::string_view text, int64_t divisor, bool* fraction)
{
    bool hasFraction = false;
    auto value = parse(text, divisor, hasFraction);
    if (fraction)
        *fraction = value && hasFraction;
    if (hasFraction)
        return std::nullopt;
    return value;
}

std::optional<Currency> Currency::parse(std::string_view text, int64_t divisor, bool& fraction)
{
    fraction = false;
    if (divisor <= 0)
        return std::nullopt;
    size_t i = 0, n = text.size();
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (i < n && blank(text[i]))
        ++i;
    while (n > i && blank(text[n - 1]))
        --n;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Collect the digits as a scaled integer: value * 10^fracDigits. Ties
    // of the final rounding lie on the 10^-5 grid for any integer divisor,
    // so digits past the cap only matter as "something non-zero follows".
    constexpr int MaxFracDigits = 18;
    constexpr __int128 limit = static_cast<__int128>(1) << 100;
    __int128 mantissa = 0;
    int fracDigits = 0;
    bool anyDigit = false, inFraction = false, sticky = false;
    for (; i < n; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            anyDigit = true;
            if (inFraction && c != '0')
                fraction = true;
            if (!inFraction) {
                if (mantissa >= limit)
                    return std::nullopt; // far beyond any amount
                mantissa = mantissa * 10 + (c - '0');
            } else if (fracDigits < MaxFracDigits && mantissa < limit) {
                mantissa = mantissa * 10 + (c - '0');
                ++fracDigits;
            } else if (c != '0') {
                sticky = true;
            }
        } else if (c == '.' && !inFraction) {
            inFraction = true;
        } else {
            return std::nullopt;
        }
    }
    if (!anyDigit)
        return std::nullopt;
    // units = mantissa * Scale / (10^fracDigits * divisor), halves to even.
    __int128 num = mantissa * Scale;
    __int128 den = divisor;
    for (int k = 0; k < fracDigits; ++k)
        den *= 10;
    __int128 q = num / den, r = num % den;
    if (r * 2 > den || (r * 2 == den && (sticky || q % 2 != 0)))
        ++q;
    if (negative)
        q = -q;
    if (q > std::numeric_limits<int64_t>::max() || q < std::numeric_limits<int64_t>::min())
        return std::nullopt;
    return Currency(static_cast<int64_t>(q));
}

Currency Currency::dividedBy(int64_t divisor) const
{
    return Currency(divideHalfEven(m_units, divisor));
}

std::optional<int16_t> Currency::toInt16() const
{
    const int64_t whole = divideHalfEven(m_units, Scale);
    if (whole < std::numeric_limits<int16_t>::min() || whole > std::numeric_limits<int16_t>::max())
        return std::nullopt;
    return static_cast<int16_t>(whole);
}

int64_t Currency::floorWhole() const
{
    int64_t q = m_units / Scale;
    if (m_units % Scale != 0 && m_units < 0)
        --q;
    return q;
}

// Through the decimal text: a single converted from the double would be
// rounded twice and can miss the nearest single by one step.
float Currency::toFloat() const
{
    const std::string text = toString();
    float value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

double Currency::toDouble() const
{
    const std::string text = toString();
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

namespace {
std::string formatFixed(int64_t scaled, int decimals)
{
    int64_t pow = 1;
    for (int k = 0; k < decimals; ++k)
        pow *= 10;
    const bool negative = scaled < 0;
    // Work in unsigned so the most negative value does not overflow.
    const uint64_t mag = negative ? (~static_cast<uint64_t>(scaled) + 1) : static_cast<uint64_t>(scaled);
    std::string whole = std::to_string(mag / static_cast<uint64_t>(pow));
    std::string frac = std::to_string(mag % static_cast<uint64_t>(pow));
    frac.insert(0, static_cast<size_t>(decimals) - frac.size(), '0');
    return (negative ? "-" : "") + whole + "." + frac;
}
} // namespace

std::string Currency::toString() const
{
    return formatFixed(m_units, 4);
}

std::string Currency::toString2() const
{
    return formatFixed(divideHalfEven(m_units, 100), 2);
}
