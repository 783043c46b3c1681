// SPDX-License-Identifier: MIT
#include "app/CheckFiles.h"
#include "support/Files.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <clocale>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The output is for a UTF-8 terminal in these tests.
class CheckFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_oldCtype = std::setlocale(LC_CTYPE, nullptr);
        ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    }
    void TearDown() override { std::setlocale(LC_CTYPE, m_oldCtype.c_str()); }

    fs::path commandFile(const std::string& name, const std::string& bytes)
    {
        const fs::path file = m_root / "esportati" / name;
        testfiles::write(file, bytes);
        return file;
    }
    int check(const std::vector<fs::path>& files, std::optional<fs::path> dir = std::nullopt)
    {
        m_out.str("");
        m_err.str("");
        return checkCommandFiles(dir, files, m_out, m_err, m_in);
    }
    // The names of every file under m_root, to see that nothing was written.
    std::vector<std::string> tree() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(m_root))
            names.push_back(entry.path().lexically_relative(m_root).string() + ":" +
                            (entry.is_regular_file() ? testfiles::read(entry.path()) : std::string("dir")));
        std::sort(names.begin(), names.end());
        return names;
    }

    QTemporaryDir m_tmp;
    fs::path m_root = testfiles::path(m_tmp);
    std::ostringstream m_out, m_err;
    std::istringstream m_in;
    std::string m_oldCtype;
};

// One command file (a single record unless it says otherwise), the exit
// status, and lines the output must hold.
struct CheckCase {
    const char* name;
    std::string bytes;
    int status;
    std::vector<std::string> expected;
    std::string fileName = "20261208143000COR000001.txt";
    std::string config = {}; // section Varie of a folder's settings; none when empty
};

class CheckRecords : public CheckFixture, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(CheckRecords, RecordShowsItsOperationAndCallsOrWhyItFails)
{
    const CheckCase& row = GetParam();
    const fs::path file = commandFile(row.fileName, row.bytes);
    std::optional<fs::path> dir;
    if (!row.config.empty()) {
        dir = m_root / "cassa";
        testfiles::write(*dir / "_Configurazione.ini",
                         "[Varie]\r\nEps_COM=1\r\nEps_Setting=9600,N,8,1\r\n" + row.config);
    }
    EXPECT_EQ(check({file}, dir), row.status) << m_out.str();
    for (const std::string& line : row.expected)
        EXPECT_NE(m_out.str().find(line), std::string::npos) << "missing: " << line << "\n" << m_out.str();
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, CheckRecords,
    ::testing::Values(
        // A sale alone leaves its receipt open: held a minute, then voided.
        CheckCase{"Sale",
                  "F2:1:PANE:1000:150:1\r\n",
                  1,
                  {"held in Ostro while a document is opened (F2, F3, F8 or N1) and no F4 or N3 follows",
                   "1: F2:1:PANE:1000:150:1", "opReparto (department sale)", "ItemOptionA = 20",
                   "SellDept(1, \"PANE\", 1.5000, 1) -> 0", "CancelReceipt(1) -> 0",
                   "!! Documento non chiuso dal file: annullato", "would fail (1 record read)"}},
        CheckCase{"SaleByWeight", "F2:3:MELE:1500:220:2\r\n", 1, {"SellDeptQty(3, \"MELE\", 1.500, 2.2000, 2) -> 0"}},
        CheckCase{"Return",
                  "F3:1:RESO:150:4::200\r\n",
                  1,
                  {"opRepartoReso (department return)", "ReturnDeptQty(1, \"RESO\", 2.000, 1.5000, 4) -> 0"}},
        CheckCase{"CashPayment", "F4:0:0:150:1\r\n", 0, {"ChiudiScontrino (payment", "PayCash(1, 1.5000) -> 0"}},
        CheckCase{"CardPayment", "F4:0:0:150:3\r\n", 0, {"PayCard(1, 0) -> 0"}},
        CheckCase{"ChequePayment", "F4:0:0:150:2\r\n", 0, {"PayCheque(1, 1.5000) -> 0"}},
        CheckCase{"TicketPayment", "F4:0:0:150:4\r\n", 0, {"PayTicket(1, 1, 1.5000) -> 0"}},
        CheckCase{"PaymentOfNoKnownTypeSendsNothing",
                  "F4:0:0:150:5\r\n",
                  0,
                  {"ChiudiScontrino (payment", "(no printer call)", "would be accepted",
                   "!! warning: payment type 5 sends nothing to the printer while PAY_L=0: only the types 1, 2, 3, "
                   "4 and 6 pay: the receipt is not paid and stays open"}},
        CheckCase{"PaymentOfTypeZeroSendsNothing", "F4:0:0:150:0\r\n", 0, {"!! warning: payment type 0 sends nothing"}},
        CheckCase{"PaymentOfTypeSevenSendsNothing", "F4:0:0:150:7\r\n", 0, {"!! warning: payment type 7 sends nothing"}},
        CheckCase{"NegativePaymentWithPayLinesSendsNothing",
                  "F4:0:0:-150:1\r\n",
                  0,
                  {"!! warning: a negative amount pays nothing while PAY_L is set"},
                  "20261208143000COR000001.txt",
                  "PAY_L=1\r\n"},
        CheckCase{"PriceWithADecimalPoint",
                  "F2:1:PANE:1000:2.50:1\r\n",
                  1,
                  {"!! Importo non valido nel record: F2:1:PANE:1000:2.50:1",
                   "hint: field 4 (\"2.50\") is not a whole number of hundredths: amounts are written without a "
                   "decimal point (250 for 2.50)",
                   "the file stops here"}},
        CheckCase{"QuantityWithADecimalPoint",
                  "F2:1:PANE:1.5:250:1\r\n",
                  1,
                  {"hint: field 3 (\"1.5\") is not a whole number of thousandths"}},
        CheckCase{"WholeAmountWithZeroDecimals", "F4:0:0:250.00:1\r\n", 0, {"PayCash(1, 2.5000) -> 0"}},
        CheckCase{"CommaInAText",
                  "F2:1:LATTE 1,5L:1000:250:1\r\n",
                  1,
                  {"!! Campo numerico non valido nel record: F2:1:LATTE 1", "hint: field 3 is empty",
                   "hint: a comma ended the record after field 2 (\"LATTE 1\"): a comma ends a record, so a text "
                   "holding one needs the whole record in double quotes"}},
        CheckCase{"CommaInADisplayTextIsToldThoughAccepted",
                  "D1:1:BUONGIORNO, A DOMANI\r\n",
                  1,
                  {"hint: a comma ended the record after field 2 (\"BUONGIORNO\")"}},
        CheckCase{"ColonInAText",
                  "F2:1:LATTE 1:5L:1000:250:1\r\n",
                  1,
                  {"hint: field 3 (\"5L\") is not a number",
                   "hint: field 2 (\"LATTE 1\") may have ended at a colon: F2 takes 6 fields and this record has 7"}},
        CheckCase{"ColonInADisplayText",
                  "D1:1:ORE 10:30\r\n",
                  0,
                  {"DisplayText(1, \"ORE 10\") -> 0", "hint: field 2 (\"ORE 10\") may have ended at a colon"}},
        CheckCase{"LowerCaseCode", "f2:1:PANE:1000:150:1\r\n", 1, {"hint: codes are upper case: \"F2\""}},
        CheckCase{"Semicolons",
                  "F2;1;PANE;1000;150;1\r\n",
                  1,
                  {"hint: fields are separated by colons (:), not semicolons"}},
        CheckCase{"SaleInAFileNamedNotFiscal",
                  "F2:1:PANE:1000:150:1\r\nF4:0:0:150:1\r\n",
                  0,
                  {"!! warning: a fiscal receipt in a file whose name says it is not fiscal (no COR at characters "
                   "15 to 17): its failures go to NotFiscalError.log"},
                  "20261208143000NOF000001.txt"},
        CheckCase{"Utf8File",
                  "F5:1:CAFF\xC3\x88\r\n",
                  0,
                  {"saved as UTF-8: turned into windows-1252, the printer's character set",
                   "AddDescription(1, \"CAFF\xC3\x88\") -> 0"}},
        CheckCase{"Utf8WithoutAWindows1252Form",
                  "F5:1:\xE2\x9C\x93 \xE2\x9C\x93\r\n",
                  0,
                  {"!! warning: 2 characters have no windows-1252 form and print as \"?\"",
                   "AddDescription(1, \"? ?\") -> 0"}},
        CheckCase{"ByteOrderMark",
                  "\xEF\xBB\xBF" "F5:1:OK\r\n",
                  0,
                  {"a UTF-8 byte order mark opens the file: dropped", "1: F5:1:OK\n"}},
        CheckCase{"UnsentPaymentLeavesItsReceiptToBeVoided",
                  "F2:1:PANE:1000:150:1\r\nF4:0:0:150:0\r\n",
                  1,
                  {"!! warning: payment type 0 sends nothing",
                   "!! Documento non chiuso dal file: annullato: pagamento tipo 0 non inviato alla stampante"}},
        CheckCase{"Description",
                  "F5:1:OFFERTA\r\n",
                  0,
                  {"opDescAgg (description line)", "AddDescription(1, \"OFFERTA\") -> 0"}},
        CheckCase{"ExtraLinesAreNumbered",
                  "F6:1::PRIMA\r\nF6:1::SECONDA\r\n",
                  0,
                  {"ExtraLine(1, 1, \"PRIMA\") -> 0", "ExtraLine(1, 2, \"SECONDA\") -> 0", "2 records read"}},
        CheckCase{"Discount", "F7:1:50\r\n", 0, {"Subtotal(1) -> 0", "SubtotalDiscount(1, 0.5000) -> 0"}},
        CheckCase{"AmountReturn",
                  "F8:1:BUONO:300:2\r\n",
                  1,
                  {"opRepartoResoImporto", "ReturnDeptAmount(1, \"BUONO\", 3.0000, 2) -> 0"}},
        CheckCase{"AmountEntryF9", "F9:1:250\r\n", 0, {"AmountEntry(1, 2.5000) -> 0"}},
        CheckCase{"AmountEntryF10", "F10:1:250\r\n", 0, {"AmountEntry(1, 2.5000) -> 0"}},
        CheckCase{"Closure", "Z1:1:1\r\n", 0, {"opZChiusuraFisc", "FiscalClosure(1) -> 0"}},
        CheckCase{"AlternativeClosure", "Z1:1:2\r\n", 0, {"FiscalClosureAlt(1) -> 0"}},
        CheckCase{"NonFiscalReceipt",
                  "N1:1\r\nN2:1:RIGA\r\nN3:1\r\n",
                  0,
                  {"OpenNonFiscal(1) -> 0", "NonFiscalLine(1, 1, \"RIGA\") -> 0", "CloseNonFiscal(1) -> 0"}},
        CheckCase{"Display", "D1:1:BENVENUTI\r\n", 0, {"DisplayText(1, \"BENVENUTI\") -> 0"}},
        CheckCase{"LastLineWithoutItsEnd",
                  "D1:1:BENVENUTI",
                  0,
                  {"held in Ostro while the last line has no line end and its record is no F4 or N3",
                   "DisplayText(1, \"BENVENUTI\") -> 0"}},
        CheckCase{"Drawer", "V1:1\r\n", 0, {"opApri (opens the cash drawer)", "OpenCmd(1) -> 0"}},
        CheckCase{"PortOpenedAndClosedAroundTheFile",
                  "V1:1\r\n",
                  0,
                  {"port: OpenOptionA = 2; PortIsOpen() -> false; OpenOptionB = 0; ComPort = 1; "
                   "ComSettings = \"9600,N,8,1\"; OpenPort()",
                   "port: PortIsOpen() -> true; ClosePort()"}},
        CheckCase{"EuroByte",
                  "F5:1:PREZZO \x80 5\r\n",
                  0,
                  {"1: F5:1:PREZZO \xE2\x82\xAC 5", "AddDescription(1, \"PREZZO \xE2\x82\xAC 5\") -> 0"}},
        CheckCase{"QuantityNoNumber",
                  "F2:1:PANE:uno:150:1\r\nF4:0:0:150:1\r\n",
                  1,
                  {"!! Campo numerico non valido nel record: F2:1:PANE:uno:150:1", "the file stops here",
                   "would fail (1 record read)"}},
        CheckCase{"EmptyPrice", "F2:1:PANE:1000::1\r\n", 1, {"Campo numerico non valido", "the file stops here"}},
        CheckCase{"IdOpOutOfRange", "F5:99999:TESTO\r\n", 1, {"Campo numerico non valido"}},
        CheckCase{"DepartmentOutOfRange",
                  "F2:1:PANE:1000:150:70000\r\n",
                  1,
                  {"!! opReparto - reparto non valido", "the file stops here"}},
        CheckCase{"UnknownFirstCode",
                  "X9:1:BOH\r\nF5:1:MAI\r\n",
                  1,
                  {"unknown code \"X9\": nothing runs", "an unknown code stops the file", "would fail (1 record read)"}},
        CheckCase{"CodesAreCaseSensitive",
                  "f2:1:PANE:1000:150:1\r\n",
                  1,
                  {"unknown code \"f2\"", "codes are upper case"}},
        CheckCase{"UnknownLaterCodeIsSkipped",
                  "F5:1:PRIMA\r\nX9:1\r\nF5:1:DOPO\r\n",
                  1,
                  {"2: X9:1", "unknown code \"X9\": nothing runs", "AddDescription(1, \"DOPO\") -> 0",
                   "would fail (3 records read)"}},
        CheckCase{"CommaSeparatedRecords",
                  "F5:1:A,F5:1:B\r\n",
                  0,
                  {"1: F5:1:A", "2: F5:1:B", "AddDescription(1, \"B\") -> 0"}},
        CheckCase{"Empty", "", 1, {"held in Ostro while the file is empty", "no records: nothing runs"}},
        CheckCase{"TooLong",
                  "F5:1:" + std::string(70000, 'A') + "\r\n",
                  1,
                  {"Record oltre 65536 caratteri", "the file stops here"}}),
    rownames::byName);

TEST_F(CheckFixture, WithoutAFolderTheDefaultsAreUsedAndNamed)
{
    const fs::path file = commandFile("20261208143000COR000001.txt", "F4:0:0:150:6\r\n");
    EXPECT_EQ(check({file}), 0);
    EXPECT_NE(m_out.str().find("Default settings (no --dir): Eps_COM=1, Eps_Setting=9600,N,8,1, "
                               "Eps_NonRiscType=1, Eps_NonRiscIndex=1, PAY_L=0"),
              std::string::npos)
        << m_out.str();
    EXPECT_NE(m_out.str().find("PayCash(1, 1.5000) -> 0"), std::string::npos) << m_out.str();
}

TEST_F(CheckFixture, FolderSettingsDecideWhatAPaymentSends)
{
    const fs::path dir = m_root / "cassa";
    testfiles::write(dir / "_Configurazione.ini",
                     "[Varie]\r\nEps_COM=2\r\nEps_Setting=19200,N,8,1\r\nPAY_L=1\r\nEps_NonRiscType=3\r\n"
                     "Eps_NonRiscIndex=2\r\n");
    const fs::path file = commandFile("20261208143000COR000001.txt", "F4:0:0:150:6\r\n");
    EXPECT_EQ(check({file}, dir), 0) << m_err.str();
    EXPECT_NE(m_out.str().find("Settings of " + (dir / "_Configurazione.ini").string() +
                               ": Eps_COM=2, Eps_Setting=19200,N,8,1, Eps_NonRiscType=3, Eps_NonRiscIndex=2, "
                               "PAY_L=1"),
              std::string::npos)
        << m_out.str();
    EXPECT_NE(m_out.str().find("ComPort = 2"), std::string::npos) << m_out.str();
    EXPECT_NE(m_out.str().find("PayTender(1, \"A CREDITO\", 1.5000, 3, 0, 2) -> 0"), std::string::npos) << m_out.str();
}

TEST_F(CheckFixture, FolderWithoutAPortIsToldItWouldFail)
{
    const fs::path dir = m_root / "cassa";
    fs::create_directories(dir);
    const fs::path file = commandFile("20261208143000COR000001.txt", "V1:1\r\n");
    EXPECT_EQ(check({file}, dir), 1);
    EXPECT_NE(m_out.str().find("!! APERTURA PORTA NON RIUSCITA"), std::string::npos) << m_out.str();
}

TEST_F(CheckFixture, NothingIsWrittenEvenForAFailingFiscalFile)
{
    const fs::path dir = m_root / "cassa";
    testfiles::write(dir / "_Configurazione.ini", "[Varie]\r\nEps_COM=1\r\nEps_Setting=9600,N,8,1\r\n");
    const fs::path file = commandFile("20261208143000COR000001.txt", "F2:1:PANE:x:150:1\r\n");
    const std::vector<std::string> before = tree();
    EXPECT_EQ(check({file}, dir), 1);
    EXPECT_EQ(tree(), before);
    EXPECT_EQ(check({file}), 1);
    EXPECT_EQ(tree(), before);
}

TEST_F(CheckFixture, OneBadFileAmongGoodOnesFailsTheWholeCheck)
{
    const fs::path good = commandFile("20261208143000COR000001.txt", "F5:1:OK\r\n");
    const fs::path bad = commandFile("20261208143001NOF000002.txt", "N2:x:RIGA\r\n");
    EXPECT_EQ(check({good}), 0);
    EXPECT_EQ(check({good, bad, good}), 1);
    EXPECT_NE(m_out.str().find("NOF000002.txt (not fiscal, failures go to NotFiscalError.log)"), std::string::npos)
        << m_out.str();
}

TEST_F(CheckFixture, DashReadsStandardInput)
{
    m_in.str("F2:1:PANE:1000:150:1\r\nF4:0:0:150:1\r\n");
    EXPECT_EQ(check({"-"}), 0) << m_out.str();
    EXPECT_NE(m_out.str().find("standard input (no name: not fiscal, failures go to NotFiscalError.log)"), std::string::npos) << m_out.str();
    EXPECT_NE(m_out.str().find("SellDept(1, \"PANE\", 1.5000, 1) -> 0"), std::string::npos) << m_out.str();
    EXPECT_NE(m_out.str().find("would be accepted (2 records read)"), std::string::npos) << m_out.str();
}

TEST_F(CheckFixture, MissingFileIsReported)
{
    EXPECT_EQ(check({m_root / "manca.txt"}), 1);
    EXPECT_NE(m_out.str().find("!! Impossibile aprire il file comandi"), std::string::npos) << m_out.str();
}

TEST_F(CheckFixture, MissingFolderIsAUsageError)
{
    const fs::path file = commandFile("20261208143000COR000001.txt", "F5:1:OK\r\n");
    EXPECT_EQ(check({file}, m_root / "manca"), 2);
    EXPECT_NE(m_err.str().find("does not exist"), std::string::npos) << m_err.str();
}

} // namespace
