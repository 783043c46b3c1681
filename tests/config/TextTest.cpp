// SPDX-License-Identifier: MIT
#include "config/Text.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <optional>
#include <string>

namespace {

struct NumberCase {
    std::string text;
    std::optional<double> value; // nullopt: fails the numeric test
};

void PrintTo(const NumberCase& c, std::ostream* os)
{
    *os << '"' << c.text << '"';
}

class TextNumeric : public ::testing::TestWithParam<NumberCase> {};

TEST_P(TextNumeric, AcceptsNumbersAndRejectsEverythingElse)
{
    const NumberCase& c = GetParam();
    EXPECT_EQ(isNumericText(c.text), c.value.has_value());
    EXPECT_EQ(toDouble(c.text), c.value);
}

INSTANTIATE_TEST_SUITE_P(Accepted, TextNumeric,
                         ::testing::Values(NumberCase{"0", 0.0}, NumberCase{"12", 12.0}, NumberCase{"-3", -3.0},
                                           NumberCase{"+7", 7.0}, NumberCase{"  5  ", 5.0}, NumberCase{"\t5\t", 5.0},
                                           NumberCase{"1.5", 1.5}, NumberCase{".5", 0.5}, NumberCase{"2.", 2.0},
                                           NumberCase{"1e3", 1000.0}, NumberCase{"-2.5E-1", -0.25},
                                           NumberCase{"00042", 42.0}),
                         rownames::spelledBy(&NumberCase::text));

INSTANTIATE_TEST_SUITE_P(Rejected, TextNumeric,
                         ::testing::Values(NumberCase{"", std::nullopt}, NumberCase{"   ", std::nullopt},
                                           NumberCase{"abc", std::nullopt}, NumberCase{"12a", std::nullopt},
                                           NumberCase{"COM1", std::nullopt}, NumberCase{"-", std::nullopt},
                                           NumberCase{".", std::nullopt}, NumberCase{"1e", std::nullopt},
                                           NumberCase{"1 2", std::nullopt}, NumberCase{"--1", std::nullopt},
                                           NumberCase{"+-1", std::nullopt}, NumberCase{"1,5", std::nullopt},
                                           NumberCase{"0x10", std::nullopt}, NumberCase{"inf", std::nullopt},
                                           NumberCase{"nan", std::nullopt}, NumberCase{"1e999", std::nullopt},
                                           NumberCase{"5\r", std::nullopt}),
                         rownames::spelledBy(&NumberCase::text));

TEST(TextNumericLocale, DecimalPointDoesNotDependOnTheProcessLocale)
{
    // The GUI takes its locale from the environment; a comma locale must not
    // turn "1.5" into 1 or reject "2.5e1".
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "it_IT.UTF-8") && !std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "no comma locale installed";
    const auto half = toDouble("1.5");
    const auto exp = toDouble("2.5e1");
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(half, 1.5);
    EXPECT_EQ(exp, 25.0);
}

struct Int16Case {
    std::string text;
    std::optional<int16_t> value;
};

void PrintTo(const Int16Case& c, std::ostream* os)
{
    *os << '"' << c.text << '"';
}

class TextInt16 : public ::testing::TestWithParam<Int16Case> {};

TEST_P(TextInt16, RoundsHalvesToEvenWithinSixteenBits)
{
    EXPECT_EQ(toInt16(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Texts, TextInt16,
                         ::testing::Values(Int16Case{"3", 3}, Int16Case{" 12 ", 12}, Int16Case{"-3", -3},
                                           Int16Case{"2.5", 2}, Int16Case{"3.5", 4}, Int16Case{"-2.5", -2},
                                           Int16Case{"2.6", 3}, Int16Case{"32767", 32767}, Int16Case{"-32768", -32768},
                                           Int16Case{"32767.4", 32767}, Int16Case{"32767.5", std::nullopt},
                                           Int16Case{"32768", std::nullopt}, Int16Case{"-32769", std::nullopt},
                                           Int16Case{"1e5", std::nullopt}, Int16Case{"", std::nullopt},
                                           Int16Case{"x", std::nullopt}),
                         rownames::spelledBy(&Int16Case::text));

struct TrimCase {
    std::string text;
    std::string expected;
};

class TextTrim : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TextTrim, RemovesBlanksTabsAndControlsAtBothEnds)
{
    EXPECT_EQ(trimmed(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, TextTrim,
                         ::testing::Values(TrimCase{"", ""}, TrimCase{"   ", ""}, TrimCase{"a", "a"},
                                           TrimCase{"  a b  ", "a b"}, TrimCase{"\t\r\na\x01\x1f", "a"},
                                           TrimCase{"\xA0x\xA0", "\xA0x\xA0"}),
                         rownames::spelledBy(&TrimCase::text));

// windows-1252 bytes and their characters.
struct CodePageCase {
    std::string bytes;
    char32_t character;
};

class TextCodePage : public ::testing::TestWithParam<CodePageCase> {};

TEST_P(TextCodePage, DecodesAndEncodesTheSameCharacter)
{
    const QString decoded = fromCp1252(GetParam().bytes);
    ASSERT_EQ(decoded.size(), 1);
    EXPECT_EQ(char32_t(decoded[0].unicode()), GetParam().character);
    EXPECT_EQ(toCp1252(decoded), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(Bytes, TextCodePage,
                         ::testing::Values(CodePageCase{"A", U'A'}, CodePageCase{"\x80", U'\u20AC'},
                                           CodePageCase{"\x8A", U'\u0160'}, CodePageCase{"\x9F", U'\u0178'},
                                           CodePageCase{"\xE0", U'\u00E0'}, CodePageCase{"\xA0", U'\u00A0'},
                                           CodePageCase{"\x81", U'\u0081'}, CodePageCase{"\x9D", U'\u009D'}),
                         rownames::spelledBy(&CodePageCase::bytes));

TEST(TextCodePageEncode, CharactersOutsideTheCodePageBecomeOneQuestionMarkEach)
{
    EXPECT_EQ(toCp1252(QString::fromUtf8("a\u0100b")), "a?b");
    // A C1 control whose byte decodes to a printable character has no byte.
    EXPECT_EQ(toCp1252(QString(QChar(char16_t(0x80)))), "?");
    // A character beyond 16 bits is one character, not two.
    EXPECT_EQ(toCp1252(QString::fromUtf8("x\U0001F600y")), "x?y");
}

TEST(TextCodePageEncode, EveryByteRoundTrips)
{
    std::string all;
    for (int b = 1; b < 256; ++b)
        all.push_back(char(b));
    EXPECT_EQ(toCp1252(fromCp1252(all)), all);
}

struct PathCase {
    const char* name;
    std::string stored;
    std::string expected;
};

class TextStoredPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(TextStoredPath, OpensWindowsSeparatorsAndAnchorsRelativePaths)
{
    EXPECT_EQ(storedPath(GetParam().stored, "/prog").generic_string(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Paths, TextStoredPath,
                         ::testing::Values(PathCase{"Absolute", "/srv/kelmora/", "/srv/kelmora/"},
                                           PathCase{"WindowsSeparators", "\\srv\\kelmora\\", "/srv/kelmora/"},
                                           PathCase{"RelativeWithBoth", "dati\\cassa/", "/prog/dati/cassa/"}),
                         rownames::byName);

} // namespace
