// SPDX-License-Identifier: MIT
#include "printer/Currency.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>

namespace {

struct ParseCase {
    const char* text;
    int64_t divisor;
    std::optional<int64_t> units;
};

class CurrencyParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(CurrencyParse, ReadsRecordTextExactlyWithHalvesToEven)
{
    const auto& c = GetParam();
    const auto parsed = Currency::parse(c.text, c.divisor);
    ASSERT_EQ(parsed.has_value(), c.units.has_value()) << '"' << c.text << "\" / " << c.divisor;
    if (c.units) {
        EXPECT_EQ(parsed->units(), *c.units) << '"' << c.text << "\" / " << c.divisor;
    }
}

constexpr int64_t Max = std::numeric_limits<int64_t>::max();
constexpr int64_t Min = std::numeric_limits<int64_t>::min();

// "a over b", the signs spelled out: "minus1250_over_100".
std::string quotientName(const std::string& dividend, int64_t divisor)
{
    return rownames::spelled(dividend) + "_over_" + rownames::spelled(std::to_string(divisor));
}
const auto parseName = rownames::by([](const ParseCase& c) { return quotientName(c.text, c.divisor); });

INSTANTIATE_TEST_SUITE_P(Divisors, CurrencyParse,
                         ::testing::Values(ParseCase{"150", 1, 1500000}, ParseCase{"150", 100, 15000},
                                           ParseCase{"2000", 1000, 20000}, ParseCase{"1", 100, 100},
                                           ParseCase{"1", 1000, 10}, ParseCase{"5", 1000, 50},
                                           ParseCase{"-12", 1, -120000}, ParseCase{"-1250", 100, -125000},
                                           ParseCase{"+3", 1, 30000}, ParseCase{"2.5", 1, 25000},
                                           ParseCase{".5", 1, 5000}, ParseCase{"5.", 1, 50000},
                                           ParseCase{" 7 ", 1, 70000}, ParseCase{"\t7\t", 100, 700},
                                           ParseCase{"-0", 1, 0}, ParseCase{"000150", 100, 15000}),
                         parseName);

INSTANTIATE_TEST_SUITE_P(HalvesToEven, CurrencyParse,
                         ::testing::Values(ParseCase{"0.00005", 1, 0}, ParseCase{"0.00015", 1, 2},
                                           ParseCase{"0.00025", 1, 2}, ParseCase{"0.000251", 1, 3},
                                           ParseCase{"0.000249", 1, 2}, ParseCase{"-0.00015", 1, -2},
                                           ParseCase{"-0.00025", 1, -2}, ParseCase{"0.05", 1000, 0},
                                           ParseCase{"0.15", 1000, 2}, ParseCase{"0.005", 100, 0},
                                           ParseCase{"0.015", 100, 2}, ParseCase{"1", 20000, 0},
                                           ParseCase{"3", 20000, 2},
                                           // a non-zero digit far behind the tie still lifts it
                                           ParseCase{"0.0000500000000000000000000001", 1, 1},
                                           ParseCase{"-0.0000500000000000000000000001", 1, -1}),
                         parseName);

INSTANTIATE_TEST_SUITE_P(Rejected, CurrencyParse,
                         ::testing::Values(ParseCase{"", 1, {}}, ParseCase{"   ", 1, {}}, ParseCase{"-", 1, {}},
                                           ParseCase{".", 1, {}}, ParseCase{"1.2.3", 1, {}}, ParseCase{"1,5", 1, {}},
                                           ParseCase{"1e3", 1, {}}, ParseCase{"abc", 1, {}}, ParseCase{"1 5", 1, {}},
                                           ParseCase{"--1", 1, {}}, ParseCase{"0x10", 1, {}}, ParseCase{"150", 0, {}},
                                           ParseCase{"150", -100, {}}),
                         parseName);

INSTANTIATE_TEST_SUITE_P(Range, CurrencyParse,
                         ::testing::Values(ParseCase{"922337203685477.5807", 1, Max},
                                           ParseCase{"-922337203685477.5808", 1, Min},
                                           ParseCase{"922337203685477.5808", 1, {}},
                                           ParseCase{"-922337203685477.5809", 1, {}},
                                           ParseCase{"92233720368547758", 100, 9223372036854775800},
                                           ParseCase{"99999999999999999999999999999999999999", 1, {}},
                                           ParseCase{"99999999999999999999999999999999999999", 1000, {}}),
                         parseName);

TEST(CurrencyParseLongText, ManyFractionDigitsStayExact)
{
    // Hundreds of digits after the point must neither overflow nor be lost.
    EXPECT_EQ(Currency::parse("0." + std::string(300, '0') + "1")->units(), 0);
    EXPECT_EQ(Currency::parse("1." + std::string(300, '9'))->units(), 20000);
    EXPECT_EQ(Currency::parse("0.00015" + std::string(300, '0'))->units(), 2);
}

struct DivideCase {
    int64_t value, divisor, expected;
};

class DivideHalfEven : public ::testing::TestWithParam<DivideCase> {};

TEST_P(DivideHalfEven, RoundsHalvesToTheEvenNeighbour)
{
    const auto& c = GetParam();
    EXPECT_EQ(divideHalfEven(c.value, c.divisor), c.expected) << c.value << " / " << c.divisor;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DivideHalfEven,
    ::testing::Values(DivideCase{5, 2, 2}, DivideCase{7, 2, 4}, DivideCase{-5, 2, -2}, DivideCase{-7, 2, -4},
                      DivideCase{1, 3, 0}, DivideCase{2, 3, 1}, DivideCase{-2, 3, -1}, DivideCase{150, 100, 2},
                      DivideCase{250, 100, 2}, DivideCase{251, 100, 3}, DivideCase{Max, 1, Max},
                      DivideCase{Min, 1, Min}, DivideCase{Max, 2, Max / 2 + 1}, DivideCase{Min, 2, Min / 2}),
    rownames::by([](const DivideCase& c) { return quotientName(std::to_string(c.value), c.divisor); }));

struct Int16Case {
    const char* text;
    std::optional<int16_t> expected;
};

class CurrencyToInt16 : public ::testing::TestWithParam<Int16Case> {};

TEST_P(CurrencyToInt16, RoundsHalvesToEvenWithinSixteenBits)
{
    const auto& c = GetParam();
    EXPECT_EQ(Currency::parse(c.text)->toInt16(), c.expected) << c.text;
}

INSTANTIATE_TEST_SUITE_P(Cases, CurrencyToInt16,
                         ::testing::Values(Int16Case{"0.5", 0}, Int16Case{"1.5", 2}, Int16Case{"2.5", 2},
                                           Int16Case{"2.5001", 3}, Int16Case{"-0.5", 0}, Int16Case{"-1.5", -2},
                                           Int16Case{"-2.5", -2}, Int16Case{"3", 3}, Int16Case{"32767.4999", 32767},
                                           Int16Case{"32767.5", {}}, Int16Case{"-32768.5", -32768},
                                           Int16Case{"-32768.5001", {}}, Int16Case{"100000", {}}),
                         rownames::spelledBy(&Int16Case::text));

struct FormatCase {
    int64_t units;
    const char* four;
    const char* two;
};

class CurrencyFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(CurrencyFormat, WritesFixedDecimalsWithAPoint)
{
    const auto& c = GetParam();
    const Currency v = Currency::fromUnits(c.units);
    EXPECT_EQ(v.toString(), c.four);
    EXPECT_EQ(v.toString2(), c.two);
}

INSTANTIATE_TEST_SUITE_P(Cases, CurrencyFormat,
                         ::testing::Values(FormatCase{15000, "1.5000", "1.50"}, FormatCase{-100, "-0.0100", "-0.01"},
                                           FormatCase{0, "0.0000", "0.00"}, FormatCase{-1, "-0.0001", "0.00"},
                                           FormatCase{10050, "1.0050", "1.00"}, FormatCase{10150, "1.0150", "1.02"},
                                           FormatCase{-150, "-0.0150", "-0.02"},
                                           FormatCase{123456789, "12345.6789", "12345.68"},
                                           FormatCase{Max, "922337203685477.5807", "922337203685477.58"},
                                           FormatCase{Min, "-922337203685477.5808", "-922337203685477.58"}),
                         rownames::spelledBy(&FormatCase::four));

TEST(CurrencyFormatRoundTrip, ParseReadsBackEveryFormattedValue)
{
    for (int64_t units : {int64_t{0}, int64_t{1}, int64_t{-1}, int64_t{15000}, int64_t{-987654321}, Max, Min})
        EXPECT_EQ(Currency::parse(Currency::fromUnits(units).toString())->units(), units);
}

TEST(CurrencyConversions, ScaledConstructorsAndDivision)
{
    EXPECT_EQ(Currency::fromHundredths(150), *Currency::parse("1.5"));
    EXPECT_EQ(Currency::fromWhole(-3), *Currency::parse("-3"));
    EXPECT_EQ(Currency::fromWhole(1999).dividedBy(100), *Currency::parse("19.99"));
    EXPECT_EQ(Currency::fromUnits(5).dividedBy(10), Currency::fromUnits(0));
    EXPECT_EQ(Currency::fromUnits(15).dividedBy(10), Currency::fromUnits(2));
}

TEST(CurrencyConversions, FloorGoesTowardsMinusInfinity)
{
    EXPECT_EQ(Currency::parse("1.5")->floorWhole(), 1);
    EXPECT_EQ(Currency::parse("-1.5")->floorWhole(), -2);
    EXPECT_EQ(Currency::parse("-2")->floorWhole(), -2);
    EXPECT_EQ(Currency::parse("-0.0001")->floorWhole(), -1);
}

TEST(CurrencyConversions, SingleAndDoubleAreTheNearestToTheDecimal)
{
    EXPECT_EQ(Currency::parse("0.1")->toFloat(), 0.1f);
    EXPECT_EQ(Currency::parse("2.5")->toFloat(), 2.5f);
    EXPECT_EQ(Currency::parse("0.0003")->toFloat(), 0.0003f);
    EXPECT_EQ(Currency::parse("1234567.8901")->toFloat(), 1234567.8901f);
    EXPECT_EQ(Currency::parse("0.1")->toDouble(), 0.1);
    EXPECT_EQ(Currency::parse("-922337203685477.5807")->toDouble(), -922337203685477.5807);
}

} // namespace
