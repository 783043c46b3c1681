// SPDX-License-Identifier: MIT
#include "errors/FileKind.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

struct NameCase {
    std::string name;
    bool fiscal;
    bool display;
    std::string reference;
    friend void PrintTo(const NameCase& c, std::ostream* os) { *os << '"' << c.name << '"'; }
};

class CommandFileName : public ::testing::TestWithParam<NameCase> {};

TEST_P(CommandFileName, KindAndReferenceFollowTheFixedWidthPrefix)
{
    const NameCase& c = GetParam();
    EXPECT_EQ(isFiscalName(c.name), c.fiscal);
    EXPECT_EQ(isDisplayName(c.name), c.display);
    EXPECT_EQ(fileReference(c.name), c.reference);
}

INSTANTIATE_TEST_SUITE_P(
    FileKind, CommandFileName,
    ::testing::Values(NameCase{"", false, false, ""}, NameCase{"20261208140509COR0001.txt", true, false, "COR0001.txt"},
                      NameCase{"12345678901234COR", true, false, "COR"},
                      NameCase{"12345678901234CO", false, false, "12345678901234CO"},
                      NameCase{"1234567890123COR", false, false, "1234567890123COR"},
                      NameCase{"20261208140509cor0001.txt", false, false, "20261208140509cor0001.txt"},
                      NameCase{"20261208140509COR_display.txt", true, true, "COR_display.txt"},
                      NameCase{"display", false, true, "display"},
                      NameCase{"20261208140509Display.txt", false, false, "20261208140509Display.txt"}),
    rownames::byName);

} // namespace
