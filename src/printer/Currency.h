// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Fixed-point money with four decimals, as the printer control takes it:
// a 64-bit integer scaled by 10,000. Conversions are exact; where a value
// has to lose decimals it rounds halves to the even neighbour.
class Currency {
public:
    static constexpr int64_t Scale = 10000;

    constexpr Currency() = default;
    static constexpr Currency fromUnits(int64_t units) { return Currency(units); }
    static constexpr Currency fromWhole(int64_t whole) { return Currency(whole * Scale); }
    // Hundredths, as the command records write most amounts: 150 -> 1.5000.
    static constexpr Currency fromHundredths(int64_t h) { return Currency(h * (Scale / 100)); }

    // Reads a decimal text ("150", "-12", "2.5", " 7 "), divides it by
    // `divisor` (1, 100 or 1000) and rounds to four decimals, halves to even.
    // Blanks around the number are allowed; anything else, or a value outside
    // the 64-bit range, gives nullopt.
    static std::optional<Currency> parse(std::string_view text, int64_t divisor = 1);
    // A count of 1/`divisor` units ("250" hundredths -> 2.5000): the text
    // must be a whole number ("250", "250.00", " -3 "), since a fraction of
    // the counted unit ("2.50" hundredths) is always a mistake of the writer.
    // Anything else gives nullopt; `fraction` tells a number with a fraction
    // from no number at all.
    static std::optional<Currency> parseCount(std::string_view text, int64_t divisor, bool* fraction = nullptr);

    constexpr int64_t units() const { return m_units; }

    // This value divided by `divisor`, rounded to four decimals, halves to even.
    Currency dividedBy(int64_t divisor) const;

    // Rounded to a whole number, halves to even; nullopt outside 16 bits.
    std::optional<int16_t> toInt16() const;
    // Floor to a whole number (towards minus infinity).
    int64_t floorWhole() const;
    // Nearest single float (quantities go to the printer as singles).
    float toFloat() const;
    // Nearest double.
    double toDouble() const;

    // "1.5000", "-0.0100": always four decimals and a point.
    std::string toString() const;
    // "1.50", "-0.01": two decimals, rounded halves to even (receipts).
    std::string toString2() const;

    friend constexpr bool operator==(Currency a, Currency b) = default;
    friend constexpr auto operator<=>(Currency a, Currency b) = default;
    friend constexpr Currency operator+(Currency a, Currency b) { return Currency(a.m_units + b.m_units); }
    friend constexpr Currency operator-(Currency a, Currency b) { return Currency(a.m_units - b.m_units); }
    constexpr Currency operator-() const { return Currency(-m_units); }
    Currency& operator+=(Currency o)
    {
        m_units += o.m_units;
        return *this;
    }
    Currency& operator-=(Currency o)
    {
        m_units -= o.m_units;
        return *this;
    }

private:
    // parse, telling whether a digit other than 0 follows the decimal point.
    static std::optional<Currency> parse(std::string_view text, int64_t divisor, bool& fraction);
    explicit constexpr Currency(int64_t units) : m_units(units) {}
    int64_t m_units = 0;
};

// Divides with rounding halves to the even neighbour; divisor > 0.
int64_t divideHalfEven(int64_t value, int64_t divisor);
