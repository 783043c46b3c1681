// SPDX-License-Identifier: MIT
#include "lan/LanFormat.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

namespace fmt = lanformat;

namespace {

struct AmountCase {
    const char* name;
    int64_t units; // ten-thousandths
    int64_t cents;
    const char* text;
};

class LanAmounts : public ::testing::TestWithParam<AmountCase> {};

TEST_P(LanAmounts, RoundHalfUpToTheCentAndWriteADecimalComma)
{
    const AmountCase& c = GetParam();
    EXPECT_EQ(fmt::centsHalfUp(Currency::fromUnits(c.units)), c.cents);
    EXPECT_EQ(fmt::amount(c.cents).toStdString(), c.text);
}

INSTANTIATE_TEST_SUITE_P(Table, LanAmounts,
                         ::testing::Values(AmountCase{"Zero", 0, 0, "0,00"}, AmountCase{"FiveCents", 500, 5, "0,05"},
                                           AmountCase{"OneTen", 11000, 110, "1,10"},
                                           AmountCase{"HalfCentGoesUp", 250, 3, "0,03"},
                                           AmountCase{"BelowHalfGoesDown", 249, 2, "0,02"},
                                           AmountCase{"NegativeHalfAwayFromZero", -250, -3, "-0,03"},
                                           AmountCase{"Large", 99'999'999'900, 999'999'999, "9999999,99"}),
                         rownames::byName);

struct QuantityCase {
    const char* name;
    float quantity;
    int64_t thousandths;
    const char* text;
};

class LanQuantities : public ::testing::TestWithParam<QuantityCase> {};

TEST_P(LanQuantities, RoundToThreeDecimalsAsTheSingleArrives)
{
    const QuantityCase& c = GetParam();
    const auto q = fmt::quantityThousandths(c.quantity);
    ASSERT_TRUE(q);
    EXPECT_EQ(*q, c.thousandths);
    EXPECT_EQ(fmt::quantity(*q).toStdString(), c.text);
}

INSTANTIATE_TEST_SUITE_P(Table, LanQuantities,
                         ::testing::Values(QuantityCase{"Whole", 2.0f, 2000, "2"},
                                           QuantityCase{"Half", 0.5f, 500, "0,5"},
                                           QuantityCase{"OneTenthIsNotItsBinaryNeighbour", 0.1f, 100, "0,1"},
                                           QuantityCase{"ThreeDecimals", 1.234f, 1234, "1,234"},
                                           QuantityCase{"FourthDecimalRounded", 1.2345f, 1235, "1,235"},
                                           QuantityCase{"MilkTwoLitres", 2.0f, 2000, "2"}),
                         rownames::byName);

TEST(LanQuantity, NotANumberIsRefused)
{
    EXPECT_FALSE(fmt::quantityThousandths(std::numeric_limits<float>::quiet_NaN()));
    EXPECT_FALSE(fmt::quantityThousandths(std::numeric_limits<float>::infinity()));
}

struct LineCase {
    const char* name;
    int64_t priceCents;
    int64_t thousandths;
    int64_t cents;
};

class LanLineAmounts : public ::testing::TestWithParam<LineCase> {};

TEST_P(LanLineAmounts, PriceTimesQuantityRoundsHalfUp)
{
    const LineCase& c = GetParam();
    EXPECT_EQ(fmt::lineCents(c.priceCents, c.thousandths), c.cents);
}

INSTANTIATE_TEST_SUITE_P(Table, LanLineAmounts,
                         ::testing::Values(LineCase{"One", 250, 1000, 250}, LineCase{"Two", 129, 2000, 258},
                                           LineCase{"HalfOfFiveCentsIsThree", 5, 500, 3},
                                           LineCase{"ThreeTimesFour", 4, 3000, 12},
                                           LineCase{"KiloPriceTimesGrams", 1299, 347, 451}),
                         rownames::byName);

struct TextCase {
    const char* name;
    std::string cp1252;
    int max;
    const char* utf8;
};

class LanTexts : public ::testing::TestWithParam<TextCase> {};

TEST_P(LanTexts, KeepPrintableAsciiAndTheEuroSign)
{
    const TextCase& c = GetParam();
    EXPECT_EQ(fmt::text(c.cp1252, c.max).toUtf8().toStdString(), c.utf8);
}

INSTANTIATE_TEST_SUITE_P(Table, LanTexts,
                         ::testing::Values(TextCase{"Plain", "PANE", 0, "PANE"},
                                           TextCase{"EuroSign", "VALE \x80 5", 0, "VALE \xE2\x82\xAC 5"},
                                           TextCase{"AccentDropped", "CAFF\xC8 CITT\xC0", 0, "CAFFE CITTA"},
                                           TextCase{"ControlCharactersBecomeBlanks", "A\tB\rC", 0, "A B C"},
                                           TextCase{"MarkupCharactersKeptForTheWriter", "A&B<C>\"D'", 0, "A&B<C>\"D'"},
                                           TextCase{"CutToTheLength", "1234567890", 4, "1234"},
                                           TextCase{"NoLatinLetterBecomesQuestionMark", "\xB5", 0, "?"}),
                         rownames::byName);

} // namespace
