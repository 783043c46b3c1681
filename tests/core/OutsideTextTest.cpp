// SPDX-License-Identifier: MIT
#include "core/OutsideText.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

namespace {

struct OutsideCase {
    const char* name;
    std::string in;
    std::size_t max;
    std::string out;
};

class OutsideTextCleaning : public ::testing::TestWithParam<OutsideCase> {};

TEST_P(OutsideTextCleaning, LeavesNoLineBreakAndNoMoreThanTheLimit)
{
    const OutsideCase& c = GetParam();
    EXPECT_EQ(cleanOutsideText(c.in, c.max), c.out);
    // The decoded form cleans the same way (these rows are ASCII).
    EXPECT_EQ(cleanOutsideText(QString::fromLatin1(c.in.data(), qsizetype(c.in.size())), c.max).toStdString(), c.out);
}

INSTANTIATE_TEST_SUITE_P(
    Table, OutsideTextCleaning,
    ::testing::Values(OutsideCase{"PlainTextUnchanged", "PRINTER ERROR", 200, "PRINTER ERROR"},
                      OutsideCase{"CrLfForgingARecord",
                                  "X\r\nTessiro_Error: COR999999.txt;01/01/2026 00:00:00;RECORD FALSO", 200,
                                  "X??Tessiro_Error: COR999999.txt;01/01/2026 00:00:00;RECORD FALSO"},
                      OutsideCase{"TabNulEscDel",
                                  std::string("a\tb\0c\x1b"
                                              "d\x7f",
                                              8),
                                  200, "a?b?c?d?"},
                      OutsideCase{"CutToTheLimit", std::string(250, 'A'), 200, std::string(200, 'A')},
                      OutsideCase{"CutBeforeCleaning", "ABC\r\n", 4, "ABC?"}, OutsideCase{"Empty", "", 200, ""}),
    rownames::byName);

TEST(OutsideTextCleaning, EightBitLettersStayAndDecodedTextIsCutByCharacters)
{
    EXPECT_EQ(cleanOutsideText(std::string("pu\xF2\r"), 200), "pu\xF2?");
    const QString accented = QStringLiteral("\u00E8\u00E8\u00E8\n");
    EXPECT_EQ(cleanOutsideText(accented, 3), QStringLiteral("\u00E8\u00E8\u00E8"));
    // A character outside the basic plane is never split.
    const QString wide = QStringLiteral("a") + QString::fromUcs4(U"\U0001F600");
    EXPECT_EQ(cleanOutsideText(wide, 2), QStringLiteral("a"));
}

} // namespace
