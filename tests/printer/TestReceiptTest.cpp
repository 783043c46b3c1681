// SPDX-License-Identifier: MIT
#include "printer/TestReceipt.h"

#include "printer/PrinterSession.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const Lines ExtraLines = {
    "* * * * * * * * * * * * * * ", "CLIENTE: CARTA SOCIO        ", "* * * * * * * * * * * * * * ",
    "PUNTI OGGI               10 ", "PUNTI SPESI               5 ", "PUNTI TOT               100 ",
    "* * * * * * * * * * * * * * ",
};

// What the receipt sends between the port's opening and its closing when
// every step succeeds; `payment` is the trace line of the payment.
Lines receiptCalls(const std::string& payment)
{
    Lines calls = {
        R"(DisplayText(1, "CASSA PROVA .................. CLT1") -> 0)",
        "Busy -> false",
        "ItemOptionA = 20",
        "ItemOptionB = 10",
        R"(SellDept(1, "PANE", 0.0500, 1) -> 0)",
        "Busy -> false",
        "ItemOptionA = 20",
        "ItemOptionB = 10",
        R"(SellDeptQty(1, "pomodori", 3.000, 0.0400, 1) -> 0)",
        R"(AddDescription(1, "- IL LATTE DEL PARCO -") -> 0)",
        R"(ReturnDept(1, "MARMELLATA", 0.0500, 1) -> 0)",
        "Subtotal(1) -> 0",
        "SubtotalDiscount(1, 0.0100) -> 0",
    };
    for (size_t i = 0; i < ExtraLines.size(); ++i)
        calls.push_back("ExtraLine(1, " + std::to_string(i + 1) + ", \"" + ExtraLines[i] + "\") -> 0");
    calls.push_back("Busy -> false");
    calls.push_back(payment);
    calls.push_back(R"(DisplayText(1, "ARRIVEDERCI E GRAZIE PER LA PREFERENZA") -> 0)");
    return calls;
}

class TestReceipt : public ::testing::Test {
protected:
    bool runTest(const Lines& config, const Lines& faults = {})
    {
        if (!faults.empty())
            m_session.injectFaults(faults);
        m_session.configure(config);
        return (TEST)(m_session.startPrinter(), m_session.errors(), m_session.state().configFile());
    }

    // The trace from the first OpenPort to the last PortIsOpen before the close.
    Lines betweenOpenAndClose() const
    {
        const auto trace = m_session.trace();
        const auto open = std::find(trace.begin(), trace.end(), "OpenPort()");
        const auto close = std::find(trace.rbegin(), trace.rend(), "PortIsOpen() -> true");
        if (open == trace.end() || close == trace.rend() || close.base() <= open)
            return {};
        return {open + 1, close.base() - 1};
    }

    Lines failureMessages() const
    {
        Lines out;
        const std::string prefix = m_session.failureRecord("");
        for (const auto& record : m_session.failureRecords())
            out.push_back(record.substr(std::min(prefix.size(), record.size())));
        return out;
    }

    PrinterSession m_session;
};

const Lines GoodPort = {"Eps_COM=1", "Eps_Setting=9600,N,8,1"};

TEST_F(TestReceipt, OpensThePortFromTheConfigurationAndClosesItAtTheEnd)
{
    ASSERT_TRUE(runTest(GoodPort));
    const auto trace = m_session.trace();
    EXPECT_NE(std::find(trace.begin(), trace.end(), "ComPort = 1"), trace.end());
    EXPECT_NE(std::find(trace.begin(), trace.end(), R"(ComSettings = "9600,N,8,1")"), trace.end());
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back(), "ClosePort()");
}

TEST_F(TestReceipt, AcceptingPrinterGetsEveryStepInOrderAndPaysCash)
{
    EXPECT_TRUE(runTest(GoodPort));
    EXPECT_EQ(betweenOpenAndClose(), receiptCalls("PayCash(1, 10.0000) -> 0"));
    EXPECT_TRUE(m_session.failureRecords().empty());
}

TEST_F(TestReceipt, WithPayLTheCashPaymentGoesAsContanti)
{
    Lines config = GoodPort;
    config.push_back("PAY_L=1");
    EXPECT_TRUE(runTest(config));
    EXPECT_EQ(betweenOpenAndClose(), receiptCalls(R"(PayTender(1, "CONTANTI", 10.0000, 0, 0, 1) -> 0)"));
}

TEST_F(TestReceipt, JournalCarriesTheWholeReceiptInOrderAndTheDisplayTheGoodbye)
{
    ASSERT_TRUE(runTest(GoodPort));
    EXPECT_EQ(testfiles::lines(m_session.simulatorDir() / "visore.txt"),
              (Lines{"ARRIVEDERCI E GRAZIE", " PER LA PREFERENZA  "}));

    const std::string journal = testfiles::read(m_session.simulatorDir() / "giornale.txt");
    Lines expected = {"PANE", "pomodori", "- IL LATTE DEL PARCO -", "MARMELLATA", "-0,01"};
    for (const auto& line : ExtraLines)
        expected.push_back(line);
    expected.push_back("CONTANTI");
    expected.push_back("10,00");
    size_t at = 0;
    for (const auto& text : expected) {
        const size_t found = journal.find(text, at);
        ASSERT_NE(found, std::string::npos) << "missing after offset " << at << ": " << text << "\n" << journal;
        at = found + text.size();
    }
}

TEST_F(TestReceipt, BusyPrinterAtTheFirstSaleSkipsItAndRunsTheRest)
{
    EXPECT_FALSE(runTest(GoodPort, {"Occupato=1"}));
    EXPECT_EQ(failureMessages(), Lines{"VenditaReparto: OCX Occupato"});

    Lines expected = receiptCalls("PayCash(1, 10.0000) -> 0");
    expected.erase(expected.begin() + 1, expected.begin() + 5);
    expected.insert(expected.begin() + 1, "Busy -> true");
    EXPECT_EQ(betweenOpenAndClose(), expected);
}

class UnusablePortNumber : public TestReceipt, public ::testing::WithParamInterface<const char*> {};

TEST_P(UnusablePortNumber, ReportsTheConfigurationAndEveryStepFailsWithItsOwnMessage)
{
    EXPECT_FALSE(runTest({std::string("Eps_COM=") + GetParam(), "Eps_Setting=9600,N,8,1"}));
    const auto trace = m_session.trace();
    EXPECT_EQ(std::count_if(trace.begin(), trace.end(), [](const auto& l) { return l.rfind("ComPort", 0) == 0; }), 0);
    EXPECT_EQ(failureMessages(), (Lines{
                                     "APERTURA PORTA NON RIUSCITA. Controllare parametri di configurazione.",
                                     "opMsgVisoreCortesia PROBLEMI 1",
                                     "opReparto - 1",
                                     "opReparto - 1",
                                     "opDescAgg > Errore generato su: - IL LATTE DEL PARCO -",
                                     "opRepartoReso PROBLEMI",
                                     "AbbuonoSubTot PROBLEMA >",
                                     "opRigaAggiuntiva PROBLEMI 1",
                                     "opRigaAggiuntiva PROBLEMI 1",
                                     "opRigaAggiuntiva PROBLEMI 1",
                                     "opRigaAggiuntiva PROBLEMI 1",
                                     "opRigaAggiuntiva PROBLEMI 1",
                                     "opRigaAggiuntiva PROBLEMI 1",
                                     "opRigaAggiuntiva PROBLEMI 1",
                                     "ChiudiScontrino > Pagamento 1",
                                     "opMsgVisoreCortesia PROBLEMI 1",
                                 }));
}

INSTANTIATE_TEST_SUITE_P(StoredTexts, UnusablePortNumber, ::testing::Values("", "COM1", "70000"), rownames::byText);

} // namespace
