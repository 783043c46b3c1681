// SPDX-License-Identifier: MIT
#include "printer/CallTrace.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

struct FloatCase {
    float value;
    const char* text;
};

class TraceSingle : public ::testing::TestWithParam<FloatCase> {};

TEST_P(TraceSingle, WritesTheShortestPlainDecimal)
{
    EXPECT_EQ(calltrace::value(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Cases, TraceSingle,
                         ::testing::Values(FloatCase{2.0f, "2"}, FloatCase{0.5f, "0.5"}, FloatCase{1.0f, "1"},
                                           FloatCase{0.1f, "0.1"}, FloatCase{1.001f, "1.001"},
                                           FloatCase{-3.25f, "-3.25"}, FloatCase{0.0f, "0"},
                                           FloatCase{1e10f, "10000000000"}, FloatCase{1e-5f, "0.00001"},
                                           FloatCase{16777216.0f, "16777216"}));

TEST(TraceSingleRoundTrip, EveryWrittenSingleReadsBackTheSame)
{
    for (float v : {0.1f, 0.3f, 1.0f / 3.0f, 123.456f, 7e-8f, 3.4e38f, std::numeric_limits<float>::denorm_min()}) {
        const std::string text = calltrace::value(v);
        EXPECT_EQ(text.find('e'), std::string::npos) << text;
        float back = 0;
        std::from_chars(text.data(), text.data() + text.size(), back);
        EXPECT_EQ(back, v) << text;
    }
}

struct TextCase {
    std::string cp1252;
    std::string written;
};

class TraceText : public ::testing::TestWithParam<TextCase> {};

TEST_P(TraceText, QuotesEscapesAndWritesUtf8)
{
    EXPECT_EQ(calltrace::value(GetParam().cp1252), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TraceText,
    ::testing::Values(TextCase{"PANE", "\"PANE\""}, TextCase{"", "\"\""},
                      TextCase{"a\\b", "\"a\\\\b\""}, TextCase{"say \"hi\"", "\"say \\\"hi\\\"\""},
                      TextCase{"a\r\nb", "\"a\\r\\nb\""}, TextCase{"a\tb", "\"a\\tb\""},
                      TextCase{"\x80 5", "\"\xE2\x82\xAC 5\""}, TextCase{"CAFF\xC8", "\"CAFF\xC3\x88\""},
                      TextCase{"PUNTI OGGI  10 ", "\"PUNTI OGGI  10 \""}));

} // namespace
