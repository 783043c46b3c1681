// SPDX-License-Identifier: MIT
// The interpreter against the real printer operations and the simulated
// printer: each test drops a command file into IN, runs it, and reads what
// reached the printer from the simulator's call trace.
#include "CommandFileFixture.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const std::string OtherName = "20261208140509NFI000001.txt";

class InterpreteFixture : public CommandFileFixture {
protected:
    void SetUp() override
    {
        CommandFileFixture::SetUp();
        m_state.settings.pause = 50;
        m_state.settings.unpaidType = 2;
        m_state.settings.unpaidIndex = 3;
    }

    void writeConfig(const std::string& lines) { testfiles::write(m_state.configFile(), "[Varie]\r\n" + lines); }
    void writeFaults(const std::string& lines)
    {
        testfiles::write(simulatorFile("guasti.ini"), "[Guasti]\r\n" + lines);
    }

    std::vector<std::string> trace() const { return testfiles::lines(simulatorFile("chiamate.log")); }

    // The trace less the port handling, property traffic (the looks at the
    // open document included; documentLookFollowsOpenPort checks the first)
    // and the error event's own calls: what the records asked the printer to
    // do, and the voids of what a file left open.
    std::vector<std::string> printing() const
    {
        static const std::set<std::string> plumbing = {
            "Busy",        "PortIsOpen", "OpenPort",    "ClosePort", "OpenOptionA", "OpenOptionB", "ComPort",
            "ComSettings", "ItemOptionA", "ItemOptionB", "Event9",    "ErrorText",   "DocumentOpen"};
        std::vector<std::string> out;
        for (const auto& line : trace())
            if (!plumbing.count(line.substr(0, line.find_first_of("( "))))
                out.push_back(line);
        return out;
    }

    // The first call once the port is open asks which document the printer
    // holds, so that nothing left open is continued by this file.
    bool documentLookFollowsOpenPort() const
    {
        const auto t = trace();
        const auto open = std::find(t.begin(), t.end(), "OpenPort()");
        return open != t.end() && open + 1 != t.end() && open[1].rfind("DocumentOpen -> ", 0) == 0;
    }

    long portOpenings() const
    {
        const auto t = trace();
        return std::count(t.begin(), t.end(), "OpenPort()");
    }

    bool portOpenedAndClosed() const
    {
        const auto t = trace();
        const auto open = std::find(t.begin(), t.end(), "OpenPort()");
        const auto close = std::find(open, t.end(), "ClosePort()");
        return open != t.end() && close != t.end();
    }

    std::string log(const std::string& name) const
    {
        return fs::exists(m_dir / name) ? testfiles::read(m_dir / name) : std::string();
    }
    std::string fiscalLog() const { return log("FiscalError.log"); }
    std::string otherLog() const { return log("NotFiscalError.log"); }
};

// ------------------------------------------------ what each record sends

struct RecordCase {
    const char* name;
    std::string config; // lines of section Varie
    std::string file;
    std::vector<std::string> calls;
};
void PrintTo(const RecordCase& c, std::ostream* os)
{
    *os << c.name;
}

class RecordsReachThePrinter : public InterpreteFixture, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(RecordsReachThePrinter, WithTheTableConversions)
{
    const auto& c = GetParam();
    writeConfig(c.config);
    run(c.file);
    EXPECT_EQ(printing(), c.calls);
    EXPECT_TRUE(portOpenedAndClosed());
    EXPECT_TRUE(documentLookFollowsOpenPort());
}

// A file that leaves open the receipt its records opened has it voided
// before the port closes: its last call is CancelReceipt.
INSTANTIATE_TEST_SUITE_P(
    Codes, RecordsReachThePrinter,
    ::testing::Values(
        RecordCase{
            "SaleOfQuantityTwo", "", "F2:1:PANE:2000:150:3\r\n", {"SellDeptQty(1, \"PANE\", 2.000, 1.5000, 3) -> 0", "CancelReceipt(1) -> 0"}},
        RecordCase{
            "SaleOfQuantityOneHasNoQuantity", "", "F2:1:PANE:1000:150:3\r\n", {"SellDept(1, \"PANE\", 1.5000, 3) -> 0", "CancelReceipt(1) -> 0"}},
        RecordCase{"SaleInThousandthsAndHundredths",
                   "",
                   "F2:4:UOVA:500:199:1\r\n",
                   {"SellDeptQty(4, \"UOVA\", 0.500, 1.9900, 1) -> 0", "CancelReceipt(1) -> 0"}},
        RecordCase{"UnpaidPaymentTakesTheUnpaidSettings",
                   "PAY_L=1\r\n",
                   "F2:1:PANE:1000:1250:1\r\nF4:0:0:1250:6\r\n",
                   {"SellDept(1, \"PANE\", 12.5000, 1) -> 0", "PayTender(1, \"A CREDITO\", 12.5000, 2, 0, 3) -> 0"}},
        RecordCase{"CashPaymentHasNoUnpaidText",
                   "PAY_L=1\r\n",
                   "F2:1:PANE:1000:1250:1\r\nF4:0:0:1250:1\r\n",
                   {"SellDept(1, \"PANE\", 12.5000, 1) -> 0", "PayTender(1, \"CONTANTI\", 12.5000, 0, 0, 1) -> 0"}},
        RecordCase{"UnpaidPaymentWithoutPayLinesIsCash",
                   "",
                   "F2:1:PANE:1000:1250:1\r\nF4:0:0:1250:6\r\n",
                   {"SellDept(1, \"PANE\", 12.5000, 1) -> 0", "PayCash(1, 12.5000) -> 0"}},
        RecordCase{"PaymentTypeRoundsHalvesToEven",
                   "",
                   "F2:1:PANE:1000:1250:1\r\nF4:0:0:1250:3.5\r\n",
                   {"SellDept(1, \"PANE\", 12.5000, 1) -> 0", "PayTicket(1, 1, 12.5000) -> 0"}},
        RecordCase{"UnusedPaymentFieldIsNotChecked",
                   "",
                   "F2:1:PANE:1000:1250:1\r\nF4:0:XYZ:1250:1\r\n",
                   {"SellDept(1, \"PANE\", 12.5000, 1) -> 0", "PayCash(1, 12.5000) -> 0"}},
        RecordCase{"ReturnOfOne",
                   "",
                   "F2:1:OLIO:1000:900:1\r\nF3:1:OLIO:150:1::100\r\n",
                   {"SellDept(1, \"OLIO\", 9.0000, 1) -> 0", "ReturnDept(1, \"OLIO\", 1.5000, 1) -> 0", "CancelReceipt(1) -> 0"}},
        RecordCase{"ReturnQuantityInHundredths",
                   "",
                   "F2:1:OLIO:1000:900:1\r\nF3:1:OLIO:150:1:99:200\r\n",
                   {"SellDept(1, \"OLIO\", 9.0000, 1) -> 0", "ReturnDeptQty(1, \"OLIO\", 2.000, 1.5000, 1) -> 0", "CancelReceipt(1) -> 0"}},
        RecordCase{"ReturnOfAnAmount",
                   "",
                   "F2:1:OLIO:1000:900:2\r\nF8:1:RESO:250:2\r\n",
                   {"SellDept(1, \"OLIO\", 9.0000, 2) -> 0", "ReturnDeptAmount(1, \"RESO\", 2.5000, 2) -> 0", "CancelReceipt(1) -> 0"}},
        RecordCase{"DescriptionLine",
                   "",
                   "F2:1:OLIO:1000:900:1\r\nF5:1:OFFERTA\r\n",
                   {"SellDept(1, \"OLIO\", 9.0000, 1) -> 0", "AddDescription(1, \"OFFERTA\") -> 0", "CancelReceipt(1) -> 0"}},
        RecordCase{"ExtraLineTakesFieldThreeAndIgnoresFieldTwo",
                   "",
                   "F2:1:OLIO:1000:900:1\r\nF6:1:XYZ:PUNTI 10\r\n",
                   {"SellDept(1, \"OLIO\", 9.0000, 1) -> 0", "ExtraLine(1, 1, \"PUNTI 10\") -> 0", "CancelReceipt(1) -> 0"}},
        RecordCase{"SubtotalDiscountInHundredths",
                   "",
                   "F2:1:OLIO:1000:900:1\r\nF7:1:150\r\n",
                   {"SellDept(1, \"OLIO\", 9.0000, 1) -> 0", "Subtotal(1) -> 0", "SubtotalDiscount(1, 1.5000) -> 0", "CancelReceipt(1) -> 0"}},
        RecordCase{"AmountEntriesBothForms",
                   "",
                   "F9:1:1999\r\nF10:1:1999\r\n",
                   {"AmountEntry(1, 19.9900) -> 0", "AmountEntry(1, 19.9900) -> 0"}},
        RecordCase{"DailyClosure", "", "Z1:1:1\r\n", {"FiscalClosure(1) -> 0"}},
        RecordCase{"NonFiscalReceipt",
                   "",
                   "N1:1\r\nN2:1:RIGA\r\nN3:1\r\n",
                   {"OpenNonFiscal(1) -> 0", "NonFiscalLine(1, 1, \"RIGA\") -> 0", "CloseNonFiscal(1) -> 0"}},
        RecordCase{"DrawerWithFlooredIdOp", "", "V1:2.7\r\nV1:-1.5\r\n", {"OpenCmd(2) -> 0", "OpenCmd(-2) -> 0"}},
        RecordCase{"CommaSplitsDisplayTextAndUnknownRestIsSkipped",
                   "",
                   "D1:1:BUONGIORNO, A DOMANI\r\nV1:1\r\n",
                   {"DisplayText(1, \"BUONGIORNO\") -> 0", "OpenCmd(1) -> 0"}},
        RecordCase{"QuotedDisplayTextKeepsItsComma",
                   "",
                   "\"D1:1:BUONGIORNO, A DOMANI\"\r\n",
                   {"DisplayText(1, \"BUONGIORNO, A DOMANI\") -> 0"}},
        RecordCase{"EuroByteReachesThePrinter", "", "D1:1:TOTALE \x80 5\r\n", {"DisplayText(1, \"TOTALE € 5\") -> 0"}},
        RecordCase{"TwelveColonsStillRun",
                   "",
                   "F2:1:PANE:1000:150:3:a:b:c:d:e:f:g\r\n",
                   {"SellDept(1, \"PANE\", 1.5000, 3) -> 0", "CancelReceipt(1) -> 0"}},
        RecordCase{"UnknownCodeAfterASuccessIsSkipped",
                   "",
                   "V1:1\r\nf2:1:PANE:1000:150:3\r\nXX\r\nV1:2\r\n",
                   {"OpenCmd(1) -> 0", "OpenCmd(2) -> 0"}},
        RecordCase{"UnknownFirstCodeStopsTheFile", "", "XX:1\r\nV1:1\r\n", {}},
        RecordCase{"LowerCaseCodeIsUnknown", "", "v1:1\r\nV1:1\r\n", {}},
        RecordCase{"BlankLinesBeforeTheFirstRecordDoNotStopIt", "", "\r\n  \r\nV1:1\r\n", {"OpenCmd(1) -> 0"}},
        RecordCase{"EmptyFileSendsNothing", "", "", {}},
        RecordCase{"WholeAmountsMayCarryZeroDecimals",
                   "",
                   "F2:1:PANE:1000.000:250.00:1\r\nF4:0:0:250.:1\r\n",
                   {"SellDept(1, \"PANE\", 2.5000, 1) -> 0", "PayCash(1, 2.5000) -> 0"}},
        RecordCase{"DepartmentKeepsItsConversion",
                   "",
                   "F2:1:PANE:1000:250:1.5\r\n",
                   {"SellDept(1, \"PANE\", 2.5000, 2) -> 0", "CancelReceipt(1) -> 0"}},
        RecordCase{"Utf8FileIsPrintedInThePrintersCharacterSet",
                   "",
                   "F2:1:CAFF\xC3\x88 ESPRESSO:1000:120:1\r\n",
                   {"SellDept(1, \"CAFF\xC3\x88 ESPRESSO\", 1.2000, 1) -> 0", "CancelReceipt(1) -> 0"}},
        RecordCase{"Utf8EuroAndTheRange80To9F",
                   "",
                   "D1:1:\xE2\x82\xAC \xE2\x80\x9C\xC5\x93\xE2\x80\x9D \xE2\x84\xA2 \xC5\xBD\r\n",
                   {"DisplayText(1, \"\xE2\x82\xAC \xE2\x80\x9C\xC5\x93\xE2\x80\x9D \xE2\x84\xA2 \xC5\xBD\") -> 0"}},
        RecordCase{"Utf8WithoutAWindows1252FormPrintsAQuestionMark",
                   "",
                   "D1:1:\xE2\x9C\x93 OK \xC3\xA8 \xF0\x9F\x98\x80\r\n",
                   {"DisplayText(1, \"? OK \xC3\xA8 ?\") -> 0"}},
        RecordCase{"ByteOrderMarkIsDropped", "", "\xEF\xBB\xBFV1:1\r\n", {"OpenCmd(1) -> 0"}},
        RecordCase{"ByteOrderMarkBeforeUtf8Text",
                   "",
                   "\xEF\xBB\xBF\"D1:1:CAFF\xC3\x88, SUBITO\"\r\n",
                   {"DisplayText(1, \"CAFF\xC3\x88, SUBITO\") -> 0"}},
        RecordCase{"OverlongFormIsNotUtf8",
                   "",
                   "D1:1:\xC0\xA9\xC3\xA8\r\n",
                   {"DisplayText(1, \"\xC3\x80\xC2\xA9\xC3\x83\xC2\xA8\") -> 0"}},
        RecordCase{"SurrogateIsNotUtf8",
                   "",
                   "D1:1:\xED\xA0\x80\xC3\xA8\r\n",
                   {"DisplayText(1, \"\xC3\xAD\xC2\xA0\xE2\x82\xAC\xC3\x83\xC2\xA8\") -> 0"}},
        RecordCase{"TruncatedSequenceAtTheEndIsNotUtf8",
                   "",
                   "D1:1:\xC3\xA8\r\n\xE2\x82",
                   {"DisplayText(1, \"\xC3\x83\xC2\xA8\") -> 0"}},
        RecordCase{"NotUtf8StaysWindows1252",
                   "",
                   "D1:1:\xC3\x88 \x80\r\n",
                   {"DisplayText(1, \"\xC3\x83\xCB\x86 \xE2\x82\xAC\") -> 0"}}),
    rownames::byName);

// ------------------------------------------------------- stopping a file

class FileStops : public InterpreteFixture {};

TEST_F(FileStops, FailingSaleStopsBeforeThePayment)
{
    writeFaults("SellDeptQty=7\r\n");
    run("F2:1:PANE:1000:150:3\r\nF2:1:LATTE:2000:120:3\r\nF4:0:0:390:1\r\n");
    EXPECT_EQ(printing(), (std::vector<std::string>{"SellDept(1, \"PANE\", 1.5000, 3) -> 0",
                                                    "SellDeptQty(1, \"LATTE\", 2.000, 1.2000, 3) -> 7"}));
    EXPECT_NE(fiscalLog().find("opReparto - 7"), std::string::npos);
    EXPECT_TRUE(portOpenedAndClosed());
    EXPECT_TRUE(m_state.errorState);
}

TEST_F(FileStops, PortThatWillNotOpenEndsTheFileAtTheFirstRecord)
{
    writeFaults("OpenPort=Porta assente\r\n");
    run("V1:1\r\nV1:2\r\n", OtherName);
    const auto calls = printing();
    EXPECT_LE(calls.size(), 1u);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "OpenCmd(2) -> 0"), 0);
    EXPECT_NE(otherLog().find("Apertura Porta: "), std::string::npos);
}

struct BadFieldCase {
    const char* name;
    std::string record;
    const char* message = MsgCampoNonValido;
    // What the record quotes of it, when not the record as it stands: the
    // record in the file (in double quotes when it holds a line end).
    std::string quoted = {};
};
void PrintTo(const BadFieldCase& c, std::ostream* os)
{
    *os << c.name;
}

class BadNumericField : public InterpreteFixture, public ::testing::WithParamInterface<BadFieldCase> {};

TEST_P(BadNumericField, FailsTheRecordQuotingItAndStopsTheFile)
{
    const auto& c = GetParam();
    const bool quotedInFile = !c.quoted.empty() && c.record.find_first_of("\r\n,") != std::string::npos;
    run("V1:1\r\n" + (quotedInFile ? "\"" + c.record + "\"" : c.record) + "\r\nV1:2\r\n", OtherName);
    EXPECT_EQ(printing(), (std::vector<std::string>{"OpenCmd(1) -> 0"}));
    const std::string log = otherLog();
    EXPECT_NE(log.find(c.message + (c.quoted.empty() ? c.record : c.quoted)), std::string::npos) << log;
    // One record, one line, and no byte of the file that drives a terminal.
    EXPECT_EQ(testfiles::strayControls(log), "");
    EXPECT_EQ(log.find("\r\n"), log.size() - 2) << log;
    EXPECT_TRUE(m_state.errorState);
    EXPECT_TRUE(portOpenedAndClosed());
}

INSTANTIATE_TEST_SUITE_P(
    Fields, BadNumericField,
    ::testing::Values(
        BadFieldCase{"EmptyQuantity", "F2:1:PANE::150:3"}, BadFieldCase{"LettersForPrice", "F2:1:PANE:1000:abc:3"},
        BadFieldCase{"NoDepartment", "F2:1:PANE:1000:150"}, BadFieldCase{"MissingIdOp", "N1"},
        BadFieldCase{"IdOpOutsideSixteenBits", "V1:70000"},
        BadFieldCase{"AmountOverflowingTheCurrency", "F4:0:0:99999999999999999999999:1"},
        BadFieldCase{"PaymentTypeOutsideSixteenBits", "F4:0:0:1250:40000"},
        BadFieldCase{"EmptyPaymentType", "F4:0:0:1250:"}, BadFieldCase{"ReturnWithoutQuantity", "F3:1:OLIO:150:1"},
        BadFieldCase{"ClosureWithoutKind", "Z1:1"}, BadFieldCase{"DiscountWithTwoPoints", "F7:1:1.5.0"},
        BadFieldCase{"AmountEntryWithBlankInside", "F9:1:19 99"},
        BadFieldCase{"PriceWithDecimalPoint", "F2:1:PANE:1000:2.50:1", MsgImportoNonValido},
        BadFieldCase{"QuantityWithAFractionOfAThousandth", "F2:1:PANE:1.5:250:1", MsgImportoNonValido},
        BadFieldCase{"FractionFarPastThePoint", "F2:1:PANE:1000:250.000001:1", MsgImportoNonValido},
        BadFieldCase{"ReturnPriceWithDecimalPoint", "F3:1:OLIO:1.50:1::100", MsgImportoNonValido},
        BadFieldCase{"ReturnQuantityWithDecimalPoint", "F3:1:OLIO:150:1::1.5", MsgImportoNonValido},
        BadFieldCase{"PaymentWithDecimalPoint", "F4:0:0:2.50:1", MsgImportoNonValido},
        BadFieldCase{"DiscountWithDecimalPoint", "F7:1:1.50", MsgImportoNonValido},
        BadFieldCase{"AmountReturnWithDecimalPoint", "F8:1:RESO:2.5:2", MsgImportoNonValido},
        BadFieldCase{"AmountEntryWithDecimalPoint", "F9:1:19.99", MsgImportoNonValido},
        BadFieldCase{"OtherAmountEntryWithDecimalPoint", "F10:1:-0.5", MsgImportoNonValido},
        BadFieldCase{"LettersBeforeAFraction", "F2:1:PANE:abc:2.50:1"},
        BadFieldCase{"TerminalEscapesInAText", "F2:1:\x1b[2J\x1b]0;titolo\x07PANE:abc:150:1", MsgCampoNonValido,
                     "F2:1:?[2J?]0;titolo?PANE:abc:150:1"},
        BadFieldCase{"VtFfNulAndDelInAText",
                     std::string("F2:1:\x0bVT\x0c"
                                 "FF\0NUL\x7f"
                                 "DEL:1000:x:1",
                                 28),
                     MsgCampoNonValido, "F2:1:?VT?FF?NUL?DEL:1000:x:1"},
        BadFieldCase{"LineEndsInAQuotedRecordForgeNoRecord",
                     "F2:1:PANE\r\nPrinterError: ;01/01/2026 00:00:00;falso\n\r:1000:x:1", MsgCampoNonValido,
                     "F2:1:PANE??PrinterError: ;01/01/2026 00:00:00;falso??:1000:x:1"},
        BadFieldCase{"ControlsPastTheQuotedLengthCutAfterTheMessage", "F2:1:" + std::string(300, '\x1b') + ":1000:x:1",
                     MsgCampoNonValido, "F2:1:" + std::string(251, '?') + "...\r\n"}),
    rownames::byName);

TEST_F(FileStops, RecordOverTheBoundFailsAndStopsTheFile)
{
    run("V1:1\r\nD1:1:" + std::string(70000, 'A') + "\r\nV1:2\r\n", OtherName);
    EXPECT_EQ(printing(), (std::vector<std::string>{"OpenCmd(1) -> 0"}));
    const std::string logText = otherLog();
    EXPECT_NE(logText.find(MsgRecordTroppoLungo), std::string::npos);
    EXPECT_LT(logText.size(), 1000u) << "the log quotes only the start of the record";
    EXPECT_TRUE(portOpenedAndClosed());
}

TEST_F(FileStops, UnreadableFileIsReportedAndTouchesNoPort)
{
    Job job = jobNamed(OtherName);
    const fs::path missing = m_dir / "IN" / OtherName;
    EseguiFileComandi(*m_printer, m_errors, m_state, m_clock, job, missing);
    EXPECT_NE(otherLog().find(MsgFileIlleggibile), std::string::npos);
    EXPECT_TRUE(m_state.errorState);
    EXPECT_EQ(portOpenings(), 0);
}

// ------------------------------------------------------------ busy printer

struct BusyCase {
    const char* name;
    int16_t pause; // hundredths
};
void PrintTo(const BusyCase& c, std::ostream* os)
{
    *os << c.name;
}

class BusyPrinter : public InterpreteFixture, public ::testing::WithParamInterface<BusyCase> {};

TEST_P(BusyPrinter, GivesUpAfterAMinuteOfPausesAndStopsTheFile)
{
    m_state.settings.pause = GetParam().pause;
    writeFaults("Occupato=100000\r\n");
    run("V1:1\r\nV1:2\r\n", OtherName);
    EXPECT_EQ(m_clock.slept, std::chrono::milliseconds(BusyWaitBound));
    EXPECT_EQ(printing(), std::vector<std::string>{});
    EXPECT_NE(otherLog().find(std::string(MsgStampanteOccupata) + "V1:1"), std::string::npos);
    EXPECT_TRUE(portOpenedAndClosed());
}

INSTANTIATE_TEST_SUITE_P(Pauses, BusyPrinter,
                         ::testing::Values(BusyCase{"DefaultPause", 50}, BusyCase{"ZeroPause", 0},
                                           BusyCase{"NegativePause", -5}, BusyCase{"PauseLongerThanTheBound", 7000}),
                         rownames::byName);

class BusySpell : public InterpreteFixture {};

TEST_F(BusySpell, PausesEpsDelayBetweenLooksThenRuns)
{
    writeFaults("Occupato=3\r\n");
    run("V1:1\r\n", OtherName);
    EXPECT_EQ(m_clock.slept, 1500ms);
    EXPECT_EQ(printing(), (std::vector<std::string>{"OpenCmd(1) -> 0"}));
    EXPECT_FALSE(m_state.errorState);
}

// --------------------------------------------------------- error standing

class ErrorStanding : public InterpreteFixture {};

TEST_F(ErrorStanding, FileIsDroppedWithOneLogRecordAndNothingElseChanges)
{
    writeConfig("Kelmora_CORR=COR000000.txt\r\n");
    m_state.errorState = true;
    m_window.setProgramErrorText("errore precedente");
    run("F2:1:PANE:1000:150:3\r\nF4:0:0:150:1\r\n");

    EXPECT_EQ(portOpenings(), 0);
    EXPECT_EQ(printing(), std::vector<std::string>{});
    const auto records = testfiles::lines(m_dir / "FiscalError.log");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].rfind("Tessiro_Error: COR000001.txt;", 0), 0u) << records[0];
    EXPECT_NE(records[0].find(std::string(";") + MsgFileNonEseguito), std::string::npos) << records[0];
    EXPECT_TRUE(m_state.errorState);
    EXPECT_EQ(m_window.programErrorText(), "errore precedente");
    // The standing error is brought back in front of the operator.
    EXPECT_EQ(m_window.shows, 1);
    EXPECT_NE(testfiles::read(m_state.configFile()).find("Kelmora_CORR=COR000000.txt"), std::string::npos);
}

// -------------------------------------------------------------- ContatoreF6

class ContatoreF6 : public InterpreteFixture {};

TEST_F(ContatoreF6, CountsFromOneInEachFile)
{
    run("F2:1:PANE:1000:150:1\r\nF6:1::PRIMA\r\nF6:1::SECONDA\r\nF4:0:0:0:1\r\n");
    run("F2:1:LATTE:1000:120:1\r\nF6:1::TERZA\r\nF4:0:0:0:1\r\n");
    EXPECT_EQ(printing(),
              (std::vector<std::string>{"SellDept(1, \"PANE\", 1.5000, 1) -> 0",
                                        "ExtraLine(1, 1, \"PRIMA\") -> 0", "ExtraLine(1, 2, \"SECONDA\") -> 0",
                                        "PayCash(1, 0.0000) -> 0",
                                        "SellDept(1, \"LATTE\", 1.2000, 1) -> 0", "ExtraLine(1, 1, \"TERZA\") -> 0",
                                        "PayCash(1, 0.0000) -> 0"}));
}

// -------------------------------------------------------------- examples

class ExampleFiles : public InterpreteFixture {};

TEST_F(ExampleFiles, RunInOrderWithoutAFailure)
{
    const fs::path examples = fs::path(TESSIRO_TEST_DATA) / ".." / ".." / "examples";
    for (const char* name :
         {"20261208143000COR000001.txt", "20261208143500COR000002.txt", "20261208144000NOF000003.txt",
          "20261208144500display.txt", "20261208200000CHI000005.txt"}) {
        ASSERT_TRUE(fs::exists(examples / name)) << name;
        run(testfiles::read(examples / name), name);
        EXPECT_FALSE(m_state.errorState) << name;
    }
    EXPECT_EQ(fiscalLog(), "");
    EXPECT_EQ(otherLog(), "");
    const auto calls = printing();
    for (const char* expected :
         {"PayCash(1, 2.0000) -> 0", "PayCard(1, 0) -> 0", "ReturnDept(1, \"MARMELLATA\", 3.5000, 1) -> 0",
          "NonFiscalLine(1, 1, \"VALE € 5,00 SULLA PROSSIMA SPESA\") -> 0",
          "DisplayText(1, \"BENVENUTI, BUONA SPESA\") -> 0", "FiscalClosure(1) -> 0"})
        EXPECT_EQ(std::count(calls.begin(), calls.end(), expected), 1) << expected;
}

} // namespace
