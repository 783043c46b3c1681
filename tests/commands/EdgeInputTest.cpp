// SPDX-License-Identifier: MIT
// Command files with bytes and numbers at the edges, run by the interpreter
// against the simulated printer: every one either reaches the printer whole
// or is reported through the error handler, and the port is closed again.
#include "CommandFileFixture.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class EdgeInput : public CommandFileFixture {
protected:
    std::string trace() const { return testfiles::read(simulatorFile("chiamate.log")); }
    std::string journal() const { return testfiles::read(simulatorFile("giornale.txt")); }
    std::string fiscalLog() const { return testfiles::read(m_state.fiscalLog()); }
    bool portClosed() const
    {
        const std::string t = trace();
        const size_t open = t.rfind("OpenPort()");
        return open != std::string::npos && t.find("ClosePort()", open) != std::string::npos;
    }
};

const std::string Sale = "F2:1:PANE:1000:150:1\r\n";
const std::string Pay = "F4:0:0:0:1\r\n";

TEST_F(EdgeInput, NulBytesInATextReachThePrinterAndTheFileRunsToItsEnd)
{
    run(Sale + std::string("F5:1:ID-1\0coda\r\n", 16) + Pay);
    EXPECT_NE(trace().find("AddDescription(1, \"ID-1"), std::string::npos);
    EXPECT_NE(trace().find("PayCash"), std::string::npos) << trace();
    EXPECT_FALSE(m_state.errorState) << fiscalLog();
    EXPECT_EQ(fiscalLog(), "");
    EXPECT_TRUE(portClosed());
}

TEST_F(EdgeInput, NulByteInsideAnAmountIsReportedAsABadFieldAndStopsTheFile)
{
    const std::string bad("F2:1:PANE:1000:1\0"
                          "50:1",
                          20);
    run(bad + "\r\n" + Pay);
    EXPECT_EQ(trace().find("SellDept"), std::string::npos);
    EXPECT_EQ(trace().find("PayCash"), std::string::npos);
    EXPECT_NE(fiscalLog().find(MsgCampoNonValido), std::string::npos) << fiscalLog();
    EXPECT_TRUE(m_state.errorState);
    EXPECT_TRUE(portClosed());
}

TEST_F(EdgeInput, FileWithoutAnyLineEndRunsItsLastRecord)
{
    run("F2:1:PANE:1000:150:1,F5:1:ID-2,F4:0:0:0:1");
    EXPECT_NE(trace().find("AddDescription(1, \"ID-2\") -> 0"), std::string::npos);
    EXPECT_NE(trace().find("PayCash"), std::string::npos) << trace();
    EXPECT_EQ(fiscalLog(), "");
}

TEST_F(EdgeInput, LoneCarriageReturnsEndRecords)
{
    run("F2:1:PANE:1000:150:1\rF5:1:ID-3\rF4:0:0:0:1\r");
    EXPECT_NE(trace().find("AddDescription(1, \"ID-3\") -> 0"), std::string::npos);
    EXPECT_NE(trace().find("PayCash"), std::string::npos) << trace();
    EXPECT_EQ(fiscalLog(), "");
}

TEST_F(EdgeInput, Windows1252AndInvalidUtf8BytesArePrintedNotRejected)
{
    // 0x80 is the euro sign, 0xC8 an E grave; C3 28 and FF FE are no UTF-8.
    run("F2:1:CAFF\xC8 \x80 \xC3\x28 \xFF\xFE:1000:150:1\r\n" + Pay);
    const std::string t = trace();
    EXPECT_NE(t.find("SellDept(1, \"CAFF\xC3\x88 \xE2\x82\xAC "), std::string::npos) << t;
    EXPECT_NE(journal().find("CAFF\xC3\x88 \xE2\x82\xAC"), std::string::npos) << journal();
    EXPECT_EQ(fiscalLog(), "");
    EXPECT_FALSE(m_state.errorState);
}

struct AbsurdCase {
    const char* name;
    std::string record;
    // What the fiscal log must hold: empty for the interpreter's report of a
    // field it cannot convert, else the start of the record that reports it.
    std::string logged;
};
void PrintTo(const AbsurdCase& c, std::ostream* os)
{
    *os << c.name;
}

class AbsurdAmount : public EdgeInput, public ::testing::WithParamInterface<AbsurdCase> {};

TEST_P(AbsurdAmount, IsReportedAndNothingIsSold)
{
    const auto& c = GetParam();
    run(c.record + "\r\n" + Pay);
    const std::string log = fiscalLog();
    EXPECT_TRUE(m_state.errorState);
    const std::string expected = c.logged.empty() ? std::string(MsgCampoNonValido) + c.record : c.logged;
    EXPECT_NE(log.find(expected), std::string::npos) << log;
    EXPECT_EQ(trace().find("PayCash"), std::string::npos) << "the file stops at the bad record";
    EXPECT_EQ(journal().find("PANE"), std::string::npos) << journal();
    EXPECT_TRUE(portClosed());
}

// The printer's refusal: "PrinterError: " and the file's reference.
const std::string Refused = "PrinterError: COR000001.txt;";

INSTANTIATE_TEST_SUITE_P(
    Amounts, AbsurdAmount,
    ::testing::Values(
        AbsurdCase{"PriceBeyondTheCurrencyRange", "F2:1:PANE:1000:922337203685477580800:1", ""},
        AbsurdCase{"PriceOfThirtyNines", "F2:1:PANE:1000:999999999999999999999999999999:1", ""},
        AbsurdCase{"QuantityOfTenToTheForty", "F2:1:PANE:10000000000000000000000000000000000000000:150:1", ""},
        AbsurdCase{"PriceWithAnExponent", "F2:1:PANE:1000:1e30:1", ""},
        AbsurdCase{"PriceAboveThePrintersLimit", "F2:1:PANE:1000:999999999999:1", Refused},
        AbsurdCase{"HugeQuantityTimesPrice", "F2:1:PANE:9000000000000:99999:1", Refused},
        AbsurdCase{"DepartmentBeyondSixteenBits", "F2:1:PANE:1000:150:99999999", "Tessiro_Error: COR000001.txt;"}),
    rownames::byName);

} // namespace
