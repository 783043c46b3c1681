// SPDX-License-Identifier: MIT
#include "printer/ComandiEpson.h"

#include "printer/AcceptingControl.h"
#include "printer/ErrorLink.h"
#include "printer/ForwardingControl.h"
#include "printer/Porta.h"
#include "printer/PrinterControl.h"
#include "printer/PrinterSession.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

Currency whole(int64_t n)
{
    return Currency::fromWhole(n);
}
Currency cents(int64_t n)
{
    return Currency::fromHundredths(n);
}

// Operations against the simulated printer with its port open.
class OperationsTest : public ::testing::Test {
protected:
    void start(const Lines& faults = {}, const Lines& config = {})
    {
        if (!faults.empty())
            m_session.injectFaults(faults);
        m_session.configure(config);
        m_session.startPrinter();
        m_session.openPort();
        m_ops = std::make_unique<ComandiEpson>(m_session.printer(), m_session.errors(), m_session.state().configFile());
        m_session.mark();
    }

    // Opens a fiscal receipt with one sale of `price`; the trace is marked after it.
    void openReceipt(Currency price = cents(1250))
    {
        ASSERT_TRUE(m_ops->opReparto(1, "PANE", whole(1), price, whole(1)));
        m_session.mark();
    }

    Lines failures() const { return m_session.failureRecords(); }
    Lines expectedFailures(const Lines& messages) const
    {
        Lines out;
        for (const auto& m : messages)
            out.push_back(m_session.failureRecord(m));
        return out;
    }

    // From here on the operations drive a ForwardingControl around the
    // simulator, joined to the error handler in the simulator's place.
    void forwardThroughAWrapper()
    {
        m_forwarding = std::make_unique<ForwardingControl>(m_session.printer());
        m_link = std::make_unique<ErrorLink>(*m_forwarding, m_session.errors(), m_session.state().settings);
        m_ops = std::make_unique<ComandiEpson>(*m_forwarding, m_session.errors(), m_session.state().configFile());
    }

    PrinterSession m_session;
    std::unique_ptr<ForwardingControl> m_forwarding;
    std::unique_ptr<ErrorLink> m_link;
    std::unique_ptr<ComandiEpson> m_ops;
};

// ---------------------------------------------------------------- sales

struct SaleCase {
    const char* name;
    Currency quantity;
    const char* call;
};

class DepartmentSale : public OperationsTest, public ::testing::WithParamInterface<SaleCase> {};

TEST_P(DepartmentSale, TestsBusyPutsItemOptionsThenSellsWithQuantityOnlyWhenNotOne)
{
    start();
    EXPECT_TRUE(m_ops->opReparto(1, "PANE", GetParam().quantity, cents(150), whole(3)));
    EXPECT_EQ(m_session.sinceMark(), (Lines{"Busy -> false", "ItemOptionA = 20", "ItemOptionB = 10", GetParam().call}));
    EXPECT_TRUE(failures().empty());
}

INSTANTIATE_TEST_SUITE_P(Quantities, DepartmentSale,
                         ::testing::Values(SaleCase{"One", whole(1), R"(SellDept(1, "PANE", 1.5000, 3) -> 0)"},
                                           SaleCase{"OneFromThousandths", *Currency::parse("1000", 1000),
                                                    R"(SellDept(1, "PANE", 1.5000, 3) -> 0)"},
                                           SaleCase{"Two", whole(2),
                                                    R"(SellDeptQty(1, "PANE", 2.000, 1.5000, 3) -> 0)"},
                                           SaleCase{"Half", *Currency::parse("500", 1000),
                                                    R"(SellDeptQty(1, "PANE", 0.500, 1.5000, 3) -> 0)"}),
                         rownames::byName);

struct RoundingCase {
    const char* name;
    Currency dept;
    const char* call;
};

class DepartmentRounding : public OperationsTest, public ::testing::WithParamInterface<RoundingCase> {};

TEST_P(DepartmentRounding, RoundsTheDepartmentHalvesToEven)
{
    start();
    EXPECT_TRUE(m_ops->opReparto(1, "PANE", whole(1), cents(100), GetParam().dept));
    EXPECT_EQ(m_session.sinceMark().back(), GetParam().call);
}

INSTANTIATE_TEST_SUITE_P(
    Departments, DepartmentRounding,
    ::testing::Values(RoundingCase{"TwoAndAHalf", *Currency::parse("2.5"), R"(SellDept(1, "PANE", 1.0000, 2) -> 0)"},
                      RoundingCase{"ThreeAndAHalf", *Currency::parse("3.5"), R"(SellDept(1, "PANE", 1.0000, 4) -> 0)"}),
    rownames::byName);

struct BadDepartmentCase {
    const char* name;
    std::function<bool(ComandiEpson&, Currency)> run;
    const char* label;
};

class DepartmentOutside16Bits : public OperationsTest, public ::testing::WithParamInterface<BadDepartmentCase> {};

TEST_P(DepartmentOutside16Bits, IsReportedAndNothingReachesThePrinter)
{
    start();
    EXPECT_FALSE(GetParam().run(*m_ops, whole(70000)));
    EXPECT_FALSE(GetParam().run(*m_ops, whole(-40000)));
    EXPECT_TRUE(m_session.sinceMark().empty());
    EXPECT_EQ(failures(), expectedFailures({std::string(GetParam().label) + "reparto non valido: 70000.0000",
                                            std::string(GetParam().label) + "reparto non valido: -40000.0000"}));
}

INSTANTIATE_TEST_SUITE_P(
    Operations, DepartmentOutside16Bits,
    ::testing::Values(
        BadDepartmentCase{"Sale",
                          [](ComandiEpson& o, Currency d) { return o.opReparto(1, "PANE", whole(1), cents(100), d); },
                          "opReparto - "},
        BadDepartmentCase{
            "Return", [](ComandiEpson& o, Currency d) { return o.opRepartoReso(1, "PANE", cents(100), d, whole(1)); },
            "opRepartoReso PROBLEMI "},
        BadDepartmentCase{"ReturnAmount",
                          [](ComandiEpson& o, Currency d) { return o.opRepartoResoImporto(1, "PANE", cents(100), d); },
                          "opRepartoReso - "}),
    rownames::byName);

// ---------------------------------------------------------------- busy printer

TEST_F(OperationsTest, BusyPrinterStopsTheSaleBeforeAnythingIsSent)
{
    start({"Occupato=1"});
    EXPECT_FALSE(m_ops->opReparto(1, "PANE", whole(1), cents(100), whole(1)));
    EXPECT_EQ(m_session.sinceMark(), (Lines{"Busy -> true"}));
    EXPECT_EQ(failures(), expectedFailures({"VenditaReparto: OCX Occupato"}));
}

TEST_F(OperationsTest, BusyPrinterStopsThePaymentBeforeAnythingIsSent)
{
    start({"Occupato=1"});
    EXPECT_FALSE(m_ops->ChiudiScontrino(1, Currency(), cents(1000), 1, ""));
    EXPECT_EQ(m_session.sinceMark(), (Lines{"Busy -> true"}));
    EXPECT_EQ(failures(), expectedFailures({"ChiudiScontrino: OCX occupato"}));
}

TEST_F(OperationsTest, OnlySaleAndPaymentLookAtBusy)
{
    start();
    openReceipt(); // a printer takes description and extra lines only inside a receipt
    m_session.injectFaults({"Occupato=5"});
    m_session.mark();
    EXPECT_TRUE(m_ops->opMsgVisoreCortesia(1, "BENVENUTI"));
    EXPECT_TRUE(m_ops->opDescAgg(1, "DESCRIZIONE"));
    int16_t line = 1;
    EXPECT_TRUE(m_ops->opRigaAggiuntiva(1, line, "RIGA"));
    for (const auto& line : m_session.sinceMark())
        EXPECT_EQ(line.find("Busy"), std::string::npos) << line;
}

// ---------------------------------------------------------------- receipt lines

TEST_F(OperationsTest, ReturnOfOneSendsTheReturnWithoutQuantityOrOptions)
{
    start();
    openReceipt();
    EXPECT_TRUE(m_ops->opRepartoReso(1, "MARMELLATA", cents(5), whole(1), whole(1)));
    EXPECT_EQ(m_session.sinceMark(), (Lines{R"(ReturnDept(1, "MARMELLATA", 0.0500, 1) -> 0)"}));
}

TEST_F(OperationsTest, ReturnOfSeveralSendsTheQuantityAsSingleFloat)
{
    start();
    openReceipt();
    EXPECT_TRUE(m_ops->opRepartoReso(1, "MARMELLATA", cents(5), whole(1), cents(250)));
    EXPECT_EQ(m_session.sinceMark(), (Lines{R"(ReturnDeptQty(1, "MARMELLATA", 2.500, 0.0500, 1) -> 0)"}));
}

TEST_F(OperationsTest, ReturnOfAnAmountPassesAmountAndDepartment)
{
    start();
    openReceipt();
    EXPECT_TRUE(m_ops->opRepartoResoImporto(7, "RESO", cents(50), *Currency::parse("2.5")));
    EXPECT_EQ(m_session.sinceMark(), (Lines{R"(ReturnDeptAmount(7, "RESO", 0.5000, 2) -> 0)"}));
}

TEST_F(OperationsTest, DescriptionPassesTheTextAsItIs)
{
    start();
    openReceipt();
    EXPECT_TRUE(m_ops->opDescAgg(3, "- IL LATTE \"FRESCO\" -"));
    EXPECT_EQ(m_session.sinceMark(), (Lines{R"(AddDescription(3, "- IL LATTE \"FRESCO\" -") -> 0)"}));
}

TEST_F(OperationsTest, DiscountTakesTheSubtotalAndDividesTheAmountByHundred)
{
    start();
    openReceipt();
    EXPECT_TRUE(m_ops->AbbuonoSubTot(2, whole(150)));
    EXPECT_EQ(m_session.sinceMark(), (Lines{"Subtotal(1) -> 0", "SubtotalDiscount(2, 1.5000) -> 0"}));
}

TEST_F(OperationsTest, DiscountIgnoresTheSubtotalCode)
{
    start({"Subtotal=9"});
    openReceipt();
    EXPECT_TRUE(m_ops->AbbuonoSubTot(1, whole(10)));
    EXPECT_EQ(m_session.sinceMark().back(), "SubtotalDiscount(1, 0.1000) -> 0");
    EXPECT_TRUE(failures().empty());
}

TEST_F(OperationsTest, ExtraLinePassesTheLineNumberUnchanged)
{
    start();
    openReceipt();
    int16_t line = 3;
    EXPECT_TRUE(m_ops->opRigaAggiuntiva(1, line, "PUNTI OGGI               10 "));
    EXPECT_EQ(line, 3);
    EXPECT_EQ(m_session.sinceMark(), (Lines{R"(ExtraLine(1, 3, "PUNTI OGGI               10 ") -> 0)"}));
}

// ---------------------------------------------------------------- payments

struct PaymentCase {
    const char* name;
    const char* payL;
    int16_t type;
    Currency amount;
    const char* unpaid;
    const char* call; // empty: nothing is sent
};

class Payment : public OperationsTest, public ::testing::WithParamInterface<PaymentCase> {};

TEST_P(Payment, SendsThePaymentCallOfTheTypeAndPayLSetting)
{
    const auto& p = GetParam();
    start({}, {std::string("PAY_L=") + p.payL});
    openReceipt(cents(1250));
    EXPECT_TRUE(m_ops->ChiudiScontrino(1, Currency(), p.amount, p.type, p.unpaid));
    Lines expected{"Busy -> false"};
    if (*p.call)
        expected.push_back(p.call);
    EXPECT_EQ(m_session.sinceMark(), expected);
    EXPECT_TRUE(failures().empty());
}

INSTANTIATE_TEST_SUITE_P(
    PlainCalls, Payment,
    ::testing::Values(PaymentCase{"CashType1", "0", 1, cents(500), "", "PayCash(1, 5.0000) -> 0"},
                      PaymentCase{"UnpaidWithoutPayLIsCash", "0", 6, cents(500), "1:12", "PayCash(1, 5.0000) -> 0"},
                      PaymentCase{"Cheque", "0", 2, cents(500), "", "PayCheque(1, 5.0000) -> 0"},
                      PaymentCase{"ChequeOfZero", "0", 2, cents(0), "", "PayCheque(1, 0.0000) -> 0"},
                      PaymentCase{"ChequeOfZeroEvenWithPayL", "1", 2, cents(0), "", "PayCheque(1, 0.0000) -> 0"},
                      PaymentCase{"CardSendsNoAmount", "0", 3, cents(500), "", "PayCard(1, 0) -> 0"},
                      PaymentCase{"Ticket", "0", 4, cents(500), "", "PayTicket(1, 1, 5.0000) -> 0"},
                      PaymentCase{"Type5SendsNothing", "0", 5, cents(500), "", ""},
                      PaymentCase{"PayLNotANumberCountsAsZero", "si", 4, cents(500), "",
                                  "PayTicket(1, 1, 5.0000) -> 0"},
                      PaymentCase{"PayLZeroWithDecimals", "0.0", 4, cents(500), "", "PayTicket(1, 1, 5.0000) -> 0"}),
    rownames::byName);

INSTANTIATE_TEST_SUITE_P(
    Tenders, Payment,
    ::testing::Values(
        PaymentCase{"Cash", "1", 1, cents(500), "", R"(PayTender(1, "CONTANTI", 5.0000, 0, 0, 1) -> 0)"},
        PaymentCase{"Type5IsCash", "1", 5, cents(500), "", R"(PayTender(1, "CONTANTI", 5.0000, 0, 0, 1) -> 0)"},
        PaymentCase{"OtherTypeIsCash", "1", 9, cents(500), "", R"(PayTender(1, "CONTANTI", 5.0000, 0, 0, 1) -> 0)"},
        PaymentCase{"Cheque", "1", 2, cents(500), "", R"(PayTender(1, "ASSEGNI", 5.0000, 1, 0, 1) -> 0)"},
        PaymentCase{"Card", "1", 3, cents(500), "", R"(PayTender(1, "CC BANCOMAT", 5.0000, 2, 0, 1) -> 0)"},
        PaymentCase{"Ticket", "1", 4, cents(500), "", R"(PayTender(1, "TICKET", 5.0000, 3, 1, 1) -> 0)"},
        PaymentCase{"Unpaid", "1", 6, cents(1250), "1:12", R"(PayTender(1, "A CREDITO", 12.5000, 1, 0, 12) -> 0)"},
        PaymentCase{"UnpaidRoundedDown", "1", 6, cents(1250), "2.9:3.7",
                    R"(PayTender(1, "A CREDITO", 12.5000, 2, 0, 3) -> 0)"},
        PaymentCase{"PayLAnyNonZeroNumber", "-1", 1, cents(500), "",
                    R"(PayTender(1, "CONTANTI", 5.0000, 0, 0, 1) -> 0)"},
        PaymentCase{"NegativeAmountSendsNothing", "1", 1, cents(-100), "", ""}),
    rownames::byName);

TEST_F(OperationsTest, NegativeAmountWithoutPayLGoesToThePlainCall)
{
    start({}, {"PAY_L=0"});
    openReceipt();
    // The calls sent are what is checked, whatever the printer answers.
    (void)m_ops->ChiudiScontrino(1, Currency(), cents(-100), 1, "");
    const auto sent = m_session.sinceMark();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[1].rfind("PayCash(1, -1.0000) -> ", 0), 0u) << sent[1];
}

TEST_F(OperationsTest, PayLIsReadAfreshAtEveryPayment)
{
    start({}, {"PAY_L=0"});
    openReceipt(cents(300));
    EXPECT_TRUE(m_ops->ChiudiScontrino(1, Currency(), cents(300), 1, ""));
    m_session.configure({"PAY_L=1"});
    openReceipt(cents(300));
    EXPECT_TRUE(m_ops->ChiudiScontrino(1, Currency(), cents(300), 1, ""));
    EXPECT_EQ(m_session.sinceMark().back(), R"(PayTender(1, "CONTANTI", 3.0000, 0, 0, 1) -> 0)");
}

TEST_F(OperationsTest, MissingPayLCountsAsZero)
{
    start();
    openReceipt(cents(300));
    EXPECT_TRUE(m_ops->ChiudiScontrino(1, Currency(), cents(300), 1, ""));
    EXPECT_EQ(m_session.sinceMark().back(), "PayCash(1, 3.0000) -> 0");
}

class UnusableUnpaidText : public OperationsTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(UnusableUnpaidText, FailsTheUnpaidTenderWithoutSendingIt)
{
    start({}, {"PAY_L=1"});
    openReceipt();
    EXPECT_FALSE(m_ops->ChiudiScontrino(1, Currency(), cents(1250), 6, GetParam()));
    EXPECT_EQ(m_session.sinceMark(), (Lines{"Busy -> false"}));
    EXPECT_EQ(failures(), expectedFailures({std::string("ChiudiScontrino > Pagamento non riscosso non valido: \"") +
                                            GetParam() + "\""}));
}

INSTANTIATE_TEST_SUITE_P(Texts, UnusableUnpaidText,
                         ::testing::Values("", "12", "a:1", "1:", ":1", "1:2:3", "1:40000", "99999999999:1"),
                         rownames::byText);

// ---------------------------------------------------------------- other operations

TEST_F(OperationsTest, NonFiscalReceiptOpensPrintsLinesAndCloses)
{
    start();
    EXPECT_TRUE(m_ops->opApriNonFiscale(4));
    EXPECT_TRUE(m_ops->OpDatiSNoFisc(4, "RIGA LIBERA"));
    EXPECT_TRUE(m_ops->opChiudiNonFiscale(4));
    EXPECT_EQ(m_session.sinceMark(),
              (Lines{"OpenNonFiscal(4) -> 0", R"(NonFiscalLine(4, 1, "RIGA LIBERA") -> 0)", "CloseNonFiscal(4) -> 0"}));
}

TEST_F(OperationsTest, DisplayMessageGoesToTheCustomerDisplay)
{
    start();
    EXPECT_TRUE(m_ops->opMsgVisoreCortesia(2, "BUONGIORNO"));
    EXPECT_EQ(m_session.sinceMark(), (Lines{R"(DisplayText(2, "BUONGIORNO") -> 0)"}));
}

TEST_F(OperationsTest, DrawerCommandSendsOpenCmd)
{
    start();
    EXPECT_TRUE(m_ops->opApri(5));
    EXPECT_EQ(m_session.sinceMark(), (Lines{"OpenCmd(5) -> 0"}));
}

TEST_F(OperationsTest, AmountEntryDividesTheHundredthsByHundred)
{
    start();
    // F9 and F10 both reach this operation with the record's 1999.
    EXPECT_TRUE(m_ops->OpImportoSNoFisc(1, whole(1999)));
    EXPECT_TRUE(m_ops->OpImportoSNoFisc(1, whole(1999)));
    EXPECT_EQ(m_session.sinceMark(), (Lines{"AmountEntry(1, 19.9900) -> 0", "AmountEntry(1, 19.9900) -> 0"}));
}

struct ClosureCase {
    int16_t kind;
    const char* call;
};

class DailyClosure : public OperationsTest, public ::testing::WithParamInterface<ClosureCase> {};

TEST_P(DailyClosure, KindTwoUsesTheAlternativeClosureEveryOtherKindThePlainOne)
{
    start();
    EXPECT_TRUE(m_ops->opZChiusuraFisc(1, GetParam().kind));
    EXPECT_EQ(m_session.sinceMark(), (Lines{GetParam().call}));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DailyClosure,
    ::testing::Values(ClosureCase{1, "FiscalClosure(1) -> 0"}, ClosureCase{2, "FiscalClosureAlt(1) -> 0"},
                      ClosureCase{0, "FiscalClosure(1) -> 0"}, ClosureCase{3, "FiscalClosure(1) -> 0"},
                      ClosureCase{-2, "FiscalClosure(1) -> 0"}),
    rownames::by([](const ClosureCase& c) { return "Kind" + rownames::spelled(std::to_string(c.kind)); }));

// ---------------------------------------------------------------- failure codes

struct FailureCase {
    const char* name;
    const char* fault; // guasti.ini line, or empty for a failure of the printer's own
    std::function<bool(ComandiEpson&)> run;
    const char* message;
    // When set, the operations run through a wrapper that forwards every
    // call, and this line of the error event's record must come through it.
    const char* forwardedEvent = nullptr;
};

class FailureCode : public OperationsTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailureCode, IsReportedOnceWithTheOperationsMessageAndGivesFalse)
{
    const auto& p = GetParam();
    start(*p.fault ? Lines{p.fault} : Lines{});
    if (p.forwardedEvent)
        forwardThroughAWrapper();
    EXPECT_FALSE(p.run(*m_ops));
    EXPECT_EQ(failures(), expectedFailures({p.message}));
    if (p.forwardedEvent) {
        const Lines log = m_session.notFiscalLog();
        EXPECT_NE(std::find(log.begin(), log.end(), p.forwardedEvent), log.end()) << ::testing::PrintToString(log);
    }
}

bool sale(ComandiEpson& o)
{
    return o.opReparto(1, "PANE", whole(1), cents(500), whole(1));
}

INSTANTIATE_TEST_SUITE_P(
    Operations, FailureCode,
    ::testing::Values(
        FailureCase{"Sale", "SellDept=12", [](ComandiEpson& o) { return sale(o); }, "opReparto - 12"},
        FailureCase{"SaleThroughAForwardingWrapper", "SellDept=12", [](ComandiEpson& o) { return sale(o); },
                    "opReparto - 12", " EpsonError: 12"},
        FailureCase{"SaleWithQuantity", "SellDeptQty=12",
                    [](ComandiEpson& o) { return o.opReparto(1, "PANE", whole(2), cents(500), whole(1)); },
                    "opReparto - 12"},
        FailureCase{"SaleInsideNonFiscalReceipt", "", [](ComandiEpson& o) { return o.opApriNonFiscale(1) && sale(o); },
                    "opReparto - 3"},
        FailureCase{"SaleInUnknownDepartment", "",
                    [](ComandiEpson& o) { return o.opReparto(1, "PANE", whole(1), cents(500), whole(100)); },
                    "opReparto - 5"},
        FailureCase{"Return", "ReturnDept=7",
                    [](ComandiEpson& o) { return sale(o) && o.opRepartoReso(1, "X", cents(100), whole(1), whole(1)); },
                    "opRepartoReso PROBLEMI"},
        FailureCase{"ReturnWithQuantity", "ReturnDeptQty=7",
                    [](ComandiEpson& o) { return sale(o) && o.opRepartoReso(1, "X", cents(100), whole(1), whole(2)); },
                    "opRepartoReso PROBLEMI"},
        FailureCase{"ReturnOfAmount", "ReturnDeptAmount=7",
                    [](ComandiEpson& o) { return sale(o) && o.opRepartoResoImporto(1, "X", cents(100), whole(1)); },
                    "opRepartoReso - 7"},
        FailureCase{"Description", "AddDescription=7", [](ComandiEpson& o) { return o.opDescAgg(1, "- IL LATTE -"); },
                    "opDescAgg > Errore generato su: - IL LATTE -"},
        FailureCase{"Discount", "SubtotalDiscount=7",
                    [](ComandiEpson& o) { return sale(o) && o.AbbuonoSubTot(1, whole(10)); },
                    "AbbuonoSubTot PROBLEMA >"},
        FailureCase{"Payment", "PayCash=8",
                    [](ComandiEpson& o) { return sale(o) && o.ChiudiScontrino(1, Currency(), cents(500), 1, ""); },
                    "ChiudiScontrino > Pagamento 8"},
        FailureCase{"PaymentWithNoReceipt", "",
                    [](ComandiEpson& o) { return o.ChiudiScontrino(1, Currency(), cents(500), 2, ""); },
                    "ChiudiScontrino > Pagamento 3"},
        FailureCase{"OpenNonFiscal", "OpenNonFiscal=12", [](ComandiEpson& o) { return o.opApriNonFiscale(1); },
                    "Apertura scontrino non fiscale - 12"},
        FailureCase{"NonFiscalLine", "NonFiscalLine=7",
                    [](ComandiEpson& o) { return o.opApriNonFiscale(1) && o.OpDatiSNoFisc(1, "RIGA"); },
                    "OpDatiSNoFisc PROBLEMI 7"},
        FailureCase{"CloseNonFiscal", "CloseNonFiscal=7",
                    [](ComandiEpson& o) { return o.opApriNonFiscale(1) && o.opChiudiNonFiscale(1); },
                    "Chiusura scontrino non fiscale - 7"},
        FailureCase{"Display", "DisplayText=7", [](ComandiEpson& o) { return o.opMsgVisoreCortesia(1, "CIAO"); },
                    "opMsgVisoreCortesia PROBLEMI 7"},
        FailureCase{"ExtraLine", "ExtraLine=7",
                    [](ComandiEpson& o) {
                        int16_t line = 1;
                        return sale(o) && o.opRigaAggiuntiva(1, line, "RIGA");
                    },
                    "opRigaAggiuntiva PROBLEMI 7"},
        FailureCase{"AmountEntry", "AmountEntry=7", [](ComandiEpson& o) { return o.OpImportoSNoFisc(1, whole(1999)); },
                    "OpDatiSNoFisc PROBLEMI "},
        FailureCase{"Closure", "FiscalClosure=7", [](ComandiEpson& o) { return o.opZChiusuraFisc(1, 1); },
                    "opZChiusuraFisc PROBLEMI 7"},
        FailureCase{"ClosureAlt", "FiscalClosureAlt=7", [](ComandiEpson& o) { return o.opZChiusuraFisc(1, 2); },
                    "opZChiusuraFisc PROBLEMI 7"},
        FailureCase{"ClosureWithReceiptOpen", "", [](ComandiEpson& o) { return sale(o) && o.opZChiusuraFisc(1, 1); },
                    "opZChiusuraFisc PROBLEMI 3"},
        FailureCase{"Drawer", "OpenCmd=7", [](ComandiEpson& o) { return o.opApri(1); }, "opApri PROBLEMI 7"}),
    rownames::byName);

// ---------------------------------------------------------------- raised failures

// A control that raises a failure from every member, as a control with a
// vanished port does; Busy answers false unless told to raise too.
class RaisingControl : public ForwardingControl {
public:
    RaisingControl() : ForwardingControl(std::make_unique<AcceptingControl>()) {}
    bool busyRaises = false;

protected:
    CallValue pass(const ControlCall& call, const std::function<CallValue()>& make) override
    {
        if (std::string_view(call.name) != "Busy" || busyRaises)
            throw ControlFailure("porta scomparsa");
        return make();
    }
};

struct RaisedCase {
    const char* name;
    std::function<bool(ComandiEpson&)> run;
    const char* message;
};

class RaisingControlTest : public ::testing::Test {
protected:
    PrinterSession m_session;
    RaisingControl m_control;
    ComandiEpson m_ops{m_control, m_session.errors(), m_session.state().configFile()};
};

class RaisedFailure : public RaisingControlTest, public ::testing::WithParamInterface<RaisedCase> {};

TEST_P(RaisedFailure, IsReportedWithTheOperationsLabelAndNeverEscapes)
{
    bool result = true;
    EXPECT_NO_THROW(result = GetParam().run(m_ops));
    EXPECT_FALSE(result);
    EXPECT_EQ(m_session.failureRecords(), Lines{m_session.failureRecord(GetParam().message)});
}

TEST_F(RaisingControlTest, RaisedBusyReadIsReportedUnderTheOperationsLabel)
{
    m_control.busyRaises = true;
    EXPECT_FALSE(m_ops.opReparto(1, "PANE", whole(1), cents(100), whole(1)));
    EXPECT_FALSE(m_ops.ChiudiScontrino(1, Currency(), cents(100), 1, ""));
    EXPECT_EQ(m_session.failureRecords(),
              (Lines{m_session.failureRecord("opReparto - porta scomparsa"),
                     m_session.failureRecord("ChiudiScontrino > Pagamento porta scomparsa")}));
}

INSTANTIATE_TEST_SUITE_P(
    Operations, RaisedFailure,
    ::testing::Values(
        RaisedCase{"Sale", [](ComandiEpson& o) { return o.opReparto(1, "PANE", whole(1), cents(100), whole(1)); },
                   "opReparto - porta scomparsa"},
        RaisedCase{"Return", [](ComandiEpson& o) { return o.opRepartoReso(1, "X", cents(100), whole(1), whole(1)); },
                   "opRepartoReso PROBLEMI porta scomparsa"},
        RaisedCase{"ReturnOfAmount",
                   [](ComandiEpson& o) { return o.opRepartoResoImporto(1, "X", cents(100), whole(1)); },
                   "opRepartoReso - porta scomparsa"},
        RaisedCase{"Description", [](ComandiEpson& o) { return o.opDescAgg(1, "LATTE"); },
                   "opDescAgg > Errore generato su: LATTE porta scomparsa"},
        RaisedCase{"Discount", [](ComandiEpson& o) { return o.AbbuonoSubTot(1, whole(1)); },
                   "AbbuonoSubTot PROBLEMA > porta scomparsa"},
        RaisedCase{"Payment", [](ComandiEpson& o) { return o.ChiudiScontrino(1, Currency(), cents(100), 1, ""); },
                   "ChiudiScontrino > Pagamento porta scomparsa"},
        RaisedCase{"OpenNonFiscal", [](ComandiEpson& o) { return o.opApriNonFiscale(1); },
                   "Apertura scontrino non fiscale - porta scomparsa"},
        RaisedCase{"NonFiscalLine", [](ComandiEpson& o) { return o.OpDatiSNoFisc(1, "RIGA"); },
                   "OpDatiSNoFisc PROBLEMI porta scomparsa"},
        RaisedCase{"CloseNonFiscal", [](ComandiEpson& o) { return o.opChiudiNonFiscale(1); },
                   "Chiusura scontrino non fiscale - porta scomparsa"},
        RaisedCase{"Display", [](ComandiEpson& o) { return o.opMsgVisoreCortesia(1, "CIAO"); },
                   "opMsgVisoreCortesia PROBLEMI porta scomparsa"},
        RaisedCase{"ExtraLine",
                   [](ComandiEpson& o) {
                       int16_t line = 1;
                       return o.opRigaAggiuntiva(1, line, "RIGA");
                   },
                   "opRigaAggiuntiva PROBLEMI porta scomparsa"},
        RaisedCase{"AmountEntry", [](ComandiEpson& o) { return o.OpImportoSNoFisc(1, whole(100)); },
                   "OpDatiSNoFisc PROBLEMI porta scomparsa"},
        RaisedCase{"Closure", [](ComandiEpson& o) { return o.opZChiusuraFisc(1, 1); },
                   "opZChiusuraFisc PROBLEMI porta scomparsa"},
        RaisedCase{"ClosureAlt", [](ComandiEpson& o) { return o.opZChiusuraFisc(1, 2); },
                   "opZChiusuraFisc PROBLEMI porta scomparsa"},
        RaisedCase{"Drawer", [](ComandiEpson& o) { return o.opApri(1); }, "opApri PROBLEMI porta scomparsa"}),
    rownames::byName);

// ---------------------------------------------------------------- paper-end recovery

TEST_F(OperationsTest, PaperEndRecoveryThatSucceedsLogsNothing)
{
    m_session.startPrinter();
    EXPECT_TRUE(RecuperoFineCarta(m_session.printer(), m_session.errors(), int16_t(1), "9600,N,8,1", 1));
    const auto trace = m_session.trace();
    EXPECT_NE(std::find(trace.begin(), trace.end(), "PaperEndRecovery(1) -> 0"), trace.end());
    EXPECT_TRUE(failures().empty());
}

} // namespace
