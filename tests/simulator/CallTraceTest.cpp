// SPDX-License-Identifier: MIT
#include "simulator/CallTrace.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct FloatCase {
    float value;
    const char* text;
    const char* name;
};

class TraceSingle : public ::testing::TestWithParam<FloatCase> {};

TEST_P(TraceSingle, WritesTheQuantityWithThreeDecimals)
{
    EXPECT_EQ(calltrace::value(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TraceSingle,
    ::testing::Values(FloatCase{2.0f, "2.000", "whole"}, FloatCase{0.5f, "0.500", "half"},
                      FloatCase{0.1f, "0.100", "tenth_as_written"}, FloatCase{1.001f, "1.001", "thousandth"},
                      FloatCase{1.005f, "1.005", "kilo_and_five_grams"},
                      FloatCase{0.0005f, "0.001", "half_a_thousandth_goes_up"},
                      FloatCase{0.0004f, "0.000", "less_than_half_goes_down"},
                      FloatCase{2.9995f, "3.000", "carry_into_the_units"},
                      FloatCase{99999.999f, "100000.000", "largest_quantity_of_a_record"},
                      FloatCase{-3.25f, "-3.250", "negative"}, FloatCase{-0.0001f, "0.000", "negative_zero"},
                      FloatCase{0.0f, "0.000", "zero"}, FloatCase{1e10f, "10000000000.000", "no_exponent"},
                      FloatCase{3.4e38f, "339999995214436424907732413799364296704.000", "largest_single"}),
    rownames::byName);

struct TextCase {
    std::string cp1252;
    std::string written;
};

class TraceText : public ::testing::TestWithParam<TextCase> {};

TEST_P(TraceText, QuotesEscapesAndWritesUtf8)
{
    EXPECT_EQ(calltrace::value(GetParam().cp1252), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(Cases, TraceText,
                         ::testing::Values(TextCase{"PANE", "\"PANE\""}, TextCase{"", "\"\""},
                                           TextCase{"a\\b", "\"a\\\\b\""}, TextCase{"say \"hi\"", "\"say \\\"hi\\\"\""},
                                           TextCase{"a\r\nb", "\"a\\r\\nb\""}, TextCase{"a\tb", "\"a\\tb\""},
                                           TextCase{"\x80 5", "\"\xE2\x82\xAC 5\""},
                                           TextCase{"CAFF\xC8", "\"CAFF\xC3\x88\""},
                                           TextCase{"PUNTI OGGI  10 ", "\"PUNTI OGGI  10 \""},
                                           TextCase{std::string("\x1b[2J\x07\x0b\x0c\0\x7f", 9), "\"?[2J?????\""}),
                         rownames::spelledBy(&TextCase::cp1252));

} // namespace
