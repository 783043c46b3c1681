// SPDX-License-Identifier: MIT
// The fiscal receipt's rules on the terms of each printer: what every
// operation answers in each state, how it moves the running total, and that
// a refused one moves nothing. Where the printers read their input
// differently, a row says which printer it holds for.
#include "lan/LanDocument.h"
#include "printer/ReceiptRules.h"
#include "printer/ResultCodes.h"
#include "simulator/SimulatedPrinter.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

namespace {

using namespace resultcode;
using Rules = ReceiptRules;
using Document = ReceiptRules::Document;

Currency eur(const char* text)
{
    return *Currency::parse(text);
}

enum class On { Both, Simulator, Lan };

std::vector<std::pair<const char*, const Rules::Terms*>> termsOf(On on)
{
    std::vector<std::pair<const char*, const Rules::Terms*>> all;
    if (on != On::Lan)
        all.emplace_back("simulator", &SimulatedPrinter::receiptTerms());
    if (on != On::Simulator)
        all.emplace_back("lan", &DocumentCollector::receiptTerms());
    return all;
}

struct RuleCase {
    const char* name;
    On on;
    std::function<void(Rules&)> before; // accepted operations that set the state
    std::function<int16_t(Rules&)> call;
    int16_t code;
    const char* net = nullptr; // the running total after the call, when given
    const char* due = nullptr;
    std::optional<Document> document = std::nullopt; // after the call
};

class ReceiptRulesTable : public ::testing::TestWithParam<RuleCase> {};

TEST_P(ReceiptRulesTable, AnswersItsCodeAndMovesTheTotalOnlyWhenItAccepts)
{
    const RuleCase& c = GetParam();
    for (const auto& [printer, terms] : termsOf(c.on)) {
        SCOPED_TRACE(printer);
        Rules rules(*terms);
        c.before(rules);
        const Rules before = rules;
        EXPECT_EQ(c.call(rules), c.code);
        if (c.code != Ok) {
            EXPECT_EQ(rules, before) << "a refused operation moves nothing";
        }
        if (c.net) {
            EXPECT_EQ(rules.net(), eur(c.net));
        }
        if (c.due) {
            EXPECT_EQ(rules.due(), eur(c.due));
        }
        if (c.document) {
            EXPECT_EQ(rules.document(), *c.document);
        }
    }
}

// Steps that set the state; each must be accepted.
std::function<void(Rules&)> sale(const char* price, int16_t dept = 1)
{
    return [=](Rules& r) { EXPECT_EQ(r.item(false, std::nullopt, eur(price), dept).code, Ok); };
}
std::function<void(Rules&)> steps(std::vector<std::function<void(Rules&)>> all)
{
    return [=](Rules& r) {
        for (const auto& step : all)
            step(r);
    };
}
const auto Nothing = [](Rules&) {};
const auto FiscalOpen = sale("1.00");
const auto PaymentUnderWay = steps({sale("1.00"), [](Rules& r) { EXPECT_EQ(r.pay(eur("0.50"), true).code, Ok); }});
const auto NonFiscalOpen = [](Rules& r) { EXPECT_EQ(r.openNonFiscal(), Ok); };

// The calls, answering their code.
std::function<int16_t(Rules&)> sells(const char* price, std::optional<float> quantity = std::nullopt, int16_t dept = 1)
{
    return [=](Rules& r) { return r.item(false, quantity, eur(price), dept).code; };
}
std::function<int16_t(Rules&)> returns(const char* price, std::optional<float> quantity = std::nullopt,
                                       int16_t dept = 1)
{
    return [=](Rules& r) { return r.item(true, quantity, eur(price), dept).code; };
}
std::function<int16_t(Rules&)> discounts(const char* amount)
{
    return [=](Rules& r) { return r.discount(eur(amount)).code; };
}
std::function<int16_t(Rules&)> paysCash(std::optional<Currency> amount)
{
    return [=](Rules& r) { return r.pay(amount, true).code; };
}
std::function<int16_t(Rules&)> paysOther(std::optional<Currency> amount)
{
    return [=](Rules& r) { return r.pay(amount, false).code; };
}
std::function<int16_t(Rules&)> paysCash(const char* amount)
{
    return paysCash(eur(amount));
}
std::function<int16_t(Rules&)> paysOther(const char* amount)
{
    return paysOther(eur(amount));
}

INSTANTIATE_TEST_SUITE_P(
    WrongSequence, ReceiptRulesTable,
    ::testing::Values(
        RuleCase{"SaleInNonFiscal", On::Both, NonFiscalOpen, sells("1"), WrongSequence},
        RuleCase{"DescriptionInNonFiscal", On::Both, NonFiscalOpen, [](Rules& r) { return r.description(); },
                 WrongSequence},
        RuleCase{"PaymentWithNoReceipt", On::Both, Nothing, paysCash("1"), WrongSequence},
        RuleCase{"CardWithNoReceipt", On::Both, Nothing, paysOther(std::nullopt), WrongSequence},
        RuleCase{"PaymentInNonFiscal", On::Both, NonFiscalOpen, paysCash("1"), WrongSequence},
        RuleCase{"ClosureWithReceiptOpen", On::Both, FiscalOpen, [](Rules& r) { return r.closure(); }, WrongSequence},
        RuleCase{"ClosureWithNonFiscalOpen", On::Both, NonFiscalOpen, [](Rules& r) { return r.closure(); },
                 WrongSequence},
        RuleCase{"NonFiscalInsideFiscal", On::Both, FiscalOpen, [](Rules& r) { return r.openNonFiscal(); },
                 WrongSequence},
        RuleCase{"NonFiscalTwice", On::Both, NonFiscalOpen, [](Rules& r) { return r.openNonFiscal(); }, WrongSequence},
        RuleCase{"NonFiscalLineWithNoneOpen", On::Both, FiscalOpen, [](Rules& r) { return r.nonFiscalLine(); },
                 WrongSequence},
        RuleCase{"CloseNonFiscalWithNoneOpen", On::Both, Nothing, [](Rules& r) { return r.closeNonFiscal(); },
                 WrongSequence},
        RuleCase{"SaleAfterPaymentStarted", On::Both, PaymentUnderWay, sells("1", 2.0f), WrongSequence},
        RuleCase{"DiscountAfterPaymentStarted", On::Both, PaymentUnderWay, discounts("0.10"), WrongSequence},
        RuleCase{"AmountEntryInsideFiscal", On::Both, FiscalOpen, [](Rules& r) { return r.amountEntry(eur("1")); },
                 WrongSequence},
        RuleCase{"AmountEntryInsideNonFiscal", On::Both, NonFiscalOpen,
                 [](Rules& r) { return r.amountEntry(eur("-2.00")); }, Ok},
        // What opens a receipt: on the simulator a sale or a return only; on
        // the LAN printer a line of any kind.
        RuleCase{"DescriptionOnAnIdlePrinter_Simulator", On::Simulator, Nothing,
                 [](Rules& r) { return r.description(); }, WrongSequence},
        RuleCase{"DescriptionOnAnIdlePrinter_Lan", On::Lan, Nothing, [](Rules& r) { return r.description(); }, Ok,
                 "0", "0", Document::Fiscal},
        RuleCase{"SubtotalOnAnIdlePrinter_Simulator", On::Simulator, Nothing, [](Rules& r) { return r.subtotal(); },
                 WrongSequence},
        RuleCase{"SubtotalOnAnIdlePrinter_Lan", On::Lan, Nothing, [](Rules& r) { return r.subtotal(); }, Ok, "0",
                 "0", Document::Fiscal},
        RuleCase{"ExtraLineOnAnIdlePrinter_Simulator", On::Simulator, Nothing,
                 [](Rules& r) { return r.extraLine(1); }, WrongSequence},
        RuleCase{"ExtraLineOnAnIdlePrinter_Lan", On::Lan, Nothing, [](Rules& r) { return r.extraLine(1); }, Ok,
                 nullptr, nullptr, Document::Fiscal},
        RuleCase{"ExtraLineAfterTheTotal", On::Both, PaymentUnderWay, [](Rules& r) { return r.extraLine(99); }, Ok,
                 "1.00", "0.50", Document::Payment},
        // A receipt is paid only after a sale or a return (one saved with no
        // line of either: an older state), except where any line opens it.
        RuleCase{"PaymentBeforeAnySale_Simulator", On::Simulator,
                 [](Rules& r) { r = Rules(SimulatedPrinter::receiptTerms(), Document::Fiscal, Currency(), Currency(), 0); },
                 paysCash(std::nullopt), WrongSequence},
        RuleCase{"PaymentBeforeAnySale_Lan", On::Lan, [](Rules& r) { EXPECT_EQ(r.description(), Ok); },
                 paysCash(std::nullopt), Ok, "0", "0", Document::None}),
    rownames::byName);

INSTANTIATE_TEST_SUITE_P(
    InvalidData, ReceiptRulesTable,
    ::testing::Values(
        RuleCase{"DepartmentZero", On::Both, Nothing, sells("1", std::nullopt, 0), UnknownDepartment},
        RuleCase{"DepartmentHundred", On::Both, FiscalOpen, returns("0.5", std::nullopt, 100), UnknownDepartment},
        RuleCase{"DepartmentNinetyNine", On::Both, Nothing, sells("1", std::nullopt, 99), Ok, "1.00"},
        RuleCase{"NegativePrice", On::Both, Nothing, sells("-1"), InvalidData},
        RuleCase{"ZeroQuantity", On::Both, Nothing, sells("1", 0.0f), InvalidData},
        RuleCase{"NegativeQuantity", On::Both, Nothing, sells("1", -2.0f), InvalidData},
        RuleCase{"NotANumberQuantity", On::Both, Nothing, sells("1", std::nanf("")), InvalidData},
        RuleCase{"QuantityBelowHalfAThousandth", On::Both, Nothing, sells("1", 0.0004f), InvalidData},
        RuleCase{"HugeQuantity", On::Both, Nothing, sells("1", 3e38f), AmountTooLarge},
        RuleCase{"InfiniteQuantity_Simulator", On::Simulator, Nothing,
                 sells("1", std::numeric_limits<float>::infinity()), InvalidData},
        RuleCase{"InfiniteQuantity_Lan", On::Lan, Nothing, sells("1", std::numeric_limits<float>::infinity()),
                 AmountTooLarge},
        RuleCase{"HugePrice", On::Both, Nothing, sells("10000000"), AmountTooLarge},
        RuleCase{"ReceiptTotalBeyondTheLimit", On::Both, FiscalOpen, sells("9999999.99"), AmountTooLarge},
        RuleCase{"ReceiptTotalAtTheLimit", On::Both, FiscalOpen, sells("9999998.99"), Ok, "9999999.99"},
        RuleCase{"ReturnBeyondTheSubtotal", On::Both, FiscalOpen, returns("1.01"), NegativeTotal},
        RuleCase{"ReturnOnAnEmptyReceipt", On::Both, Nothing, returns("1"), NegativeTotal},
        RuleCase{"DiscountBeyondTheSubtotal", On::Both, FiscalOpen, discounts("2"), NegativeTotal},
        RuleCase{"NegativeDiscount", On::Both, FiscalOpen, discounts("-0.10"), InvalidData},
        RuleCase{"NegativePayment", On::Both, FiscalOpen, paysCash("-1"), InvalidData},
        RuleCase{"ChequeAboveTheDue", On::Both, FiscalOpen, paysOther("1.01"), NonCashExcess},
        RuleCase{"TicketTenderAboveTheDue", On::Both, PaymentUnderWay, paysOther("0.51"), NonCashExcess},
        RuleCase{"ExtraLineZero", On::Both, FiscalOpen, [](Rules& r) { return r.extraLine(0); }, InvalidData},
        RuleCase{"ExtraLineHundred", On::Both, FiscalOpen, [](Rules& r) { return r.extraLine(100); }, InvalidData},
        // The line number is checked before the state.
        RuleCase{"ExtraLineZeroOnAnIdlePrinter", On::Both, Nothing, [](Rules& r) { return r.extraLine(0); },
                 InvalidData},
        RuleCase{"AmountEntryBeyondTheLimit", On::Both, Nothing,
                 [](Rules& r) { return r.amountEntry(eur("-10000000")); }, AmountTooLarge},
        // Amounts at the end of the 64-bit range are too large, not wrapped
        // round into small or negative ones.
        RuleCase{"PaymentAtTheEndOfTheRange", On::Both, FiscalOpen,
                 paysCash(Currency::fromUnits(std::numeric_limits<int64_t>::max())), AmountTooLarge},
        RuleCase{"DiscountAtTheEndOfTheRange", On::Both, FiscalOpen,
                 [](Rules& r) { return r.discount(Currency::fromUnits(std::numeric_limits<int64_t>::max())).code; },
                 AmountTooLarge},
        // The LAN printer takes amounts in cents: the limit holds for the
        // rounded amount, and the unit price and the quantity have fields
        // of their own.
        RuleCase{"DiscountJustAboveTheLimit_Simulator", On::Simulator, FiscalOpen, discounts("9999999.993"),
                 AmountTooLarge},
        RuleCase{"DiscountJustAboveTheLimit_Lan", On::Lan, FiscalOpen, discounts("9999999.993"), NegativeTotal},
        RuleCase{"PriceAboveTheLimitForATinyQuantity_Simulator", On::Simulator, Nothing, sells("10000000", 0.001f),
                 Ok, "10000.00"},
        RuleCase{"PriceAboveTheLimitForATinyQuantity_Lan", On::Lan, Nothing, sells("10000000", 0.001f),
                 AmountTooLarge},
        RuleCase{"QuantityAboveItsFieldAtNoPrice_Simulator", On::Simulator, Nothing, sells("0", 1e10f), Ok, "0"},
        RuleCase{"QuantityAboveItsFieldAtNoPrice_Lan", On::Lan, Nothing, sells("0", 1e10f), AmountTooLarge}),
    rownames::byName);

INSTANTIATE_TEST_SUITE_P(
    RunningTotal, ReceiptRulesTable,
    ::testing::Values(
        RuleCase{"OneSale", On::Both, Nothing, sells("2.50"), Ok, "2.50", "2.50", Document::Fiscal},
        RuleCase{"QuantityTimesPrice", On::Both, Nothing, sells("1.29", 2.0f), Ok, "2.58"},
        RuleCase{"HalfCentRoundsUp", On::Both, Nothing, sells("0.05", 0.5f), Ok, "0.03"},
        RuleCase{"ThirdOfACentRoundsDown", On::Both, Nothing, sells("12.90", 0.335f), Ok, "4.32"},
        RuleCase{"SingleFloatQuantityReadAsThreeDecimals", On::Both, Nothing, sells("10.00", 0.1f), Ok, "1.00"},
        // 3 x 0,0350: the LAN printer takes the price as 0,04 first.
        RuleCase{"PriceWithMoreDecimals_Simulator", On::Simulator, Nothing, sells("0.0350", 3.0f), Ok, "0.11"},
        RuleCase{"PriceWithMoreDecimals_Lan", On::Lan, Nothing, sells("0.0350", 3.0f), Ok, "0.12"},
        // 1.0005f is 1.000499...: the simulator reads the decimal the single
        // was written from, the LAN printer the nearest thousandth.
        RuleCase{"QuantityOnAHalfThousandth_Simulator", On::Simulator, Nothing, sells("1000.00", 1.0005f), Ok,
                 "1001.00"},
        RuleCase{"QuantityOnAHalfThousandth_Lan", On::Lan, Nothing, sells("1000.00", 1.0005f), Ok, "1000.00"},
        RuleCase{"ReturnsAndDiscountsSubtract", On::Both,
                 steps({sale("5.90", 3), [](Rules& r) { EXPECT_EQ(r.item(true, 1.0f, eur("3.50"), 1).code, Ok); },
                        [](Rules& r) { EXPECT_EQ(r.item(true, std::nullopt, eur("0.20"), 2).code, Ok); }}),
                 discounts("0.10"), Ok, "2.10"},
        RuleCase{"DiscountOfHalfACentRoundsUp", On::Both, FiscalOpen,
                 [](Rules& r) { return r.discount(Currency::fromUnits(50)).code; }, Ok, "0.99"},
        RuleCase{"DiscountBelowHalfACentGivesNothing", On::Both, FiscalOpen, discounts("0.0049"), Ok, "1.00"},
        RuleCase{"SubtotalMovesNothing", On::Both, FiscalOpen, [](Rules& r) { return r.subtotal(); }, Ok, "1.00",
                 "1.00", Document::Fiscal}),
    rownames::byName);

// After a sale of 10,00.
const auto TenOpen = sale("10.00");

INSTANTIATE_TEST_SUITE_P(
    Payments, ReceiptRulesTable,
    ::testing::Values(
        RuleCase{"ExactCash", On::Both, TenOpen, paysCash("10"), Ok, "0", "0", Document::None},
        RuleCase{"CashWithChange", On::Both, TenOpen, paysCash("20"), Ok, "0", "0", Document::None},
        RuleCase{"PartialCash", On::Both, TenOpen, paysCash("4"), Ok, "10", "6", Document::Payment},
        RuleCase{"ZeroPaysWhatIsDue", On::Both, TenOpen, paysOther("0"), Ok, "0", "0", Document::None},
        RuleCase{"NoAmountPaysWhatIsDue", On::Both, TenOpen, paysOther(std::nullopt), Ok, "0", "0", Document::None},
        RuleCase{"NonCashAboveTheDue", On::Both, TenOpen, paysOther("10.01"), NonCashExcess, "10", "10",
                 Document::Fiscal},
        RuleCase{"Negative", On::Both, TenOpen, paysCash("-0.01"), InvalidData, "10", "10"},
        RuleCase{"BelowHalfACent", On::Both, TenOpen, paysCash("0.0049"), InvalidData, "10", "10"},
        RuleCase{"HalfACentIsACent", On::Both, TenOpen, paysOther("0.005"), Ok, "10", "9.99", Document::Payment},
        RuleCase{"ZeroReceiptIsPaidByItsFirstPayment", On::Both, steps({sale("1.00"), [](Rules& r) {
                                                                             EXPECT_EQ(r.item(true, std::nullopt,
                                                                                              eur("1.00"), 1)
                                                                                           .code,
                                                                                       Ok);
                                                                         }}),
                 paysCash(std::nullopt), Ok, "0", "0", Document::None}),
    rownames::byName);

// What a closing payment hands the printer to print or send.
TEST(ReceiptRulesPayment, ClosingGivesTheChangeAndTheReceiptsTotalAndStartsAfresh)
{
    for (const auto& [printer, terms] : termsOf(On::Both)) {
        SCOPED_TRACE(printer);
        Rules rules(*terms);
        ASSERT_EQ(rules.item(false, 3.0f, eur("1.29"), 2).code, Ok);
        ASSERT_EQ(rules.discount(eur("0.07")).code, Ok);
        const Rules::Payment partial = rules.pay(eur("2.00"), false);
        EXPECT_EQ(partial.code, Ok);
        EXPECT_FALSE(partial.closes);
        EXPECT_EQ(partial.paid, eur("2.00"));
        const Rules::Payment last = rules.pay(eur("5.00"), true);
        EXPECT_EQ(last.code, Ok);
        EXPECT_TRUE(last.closes);
        EXPECT_EQ(last.paid, eur("5.00"));
        EXPECT_EQ(last.total, eur("3.80"));
        EXPECT_EQ(last.change, eur("3.20"));
        EXPECT_EQ(rules, Rules(*terms)) << "the next receipt starts from nothing";
    }
}

} // namespace
