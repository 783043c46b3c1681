// SPDX-License-Identifier: MIT
#include "simulator/SimCodes.h"
#include "simulator/SimState.h"
#include "simulator/SimulatedPrinter.h"
#include "support/Files.h"
#include "support/RowNames.h"
#include "support/WritesRefused.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

Currency eur(const char* text)
{
    return *Currency::parse(text);
}

// A scratch program directory; printers are made, opened and dropped (as a
// killed process drops them) at will.
class SimFixture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_tmp.isValid()); }

    std::unique_ptr<SimulatedPrinter> openPrinter()
    {
        auto p = std::make_unique<SimulatedPrinter>(dir);
        p->setComPort(1);
        p->setComSettings("9600,N,8,1");
        p->OpenPort();
        return p;
    }

    std::string roll() const { return testfiles::read(sim / "giornale.txt"); }
    SimState state() const { return SimState::load(sim / "stato.ini"); }
    std::vector<std::string> trace() const { return testfiles::lines(sim / "chiamate.log"); }
    size_t notesContaining(const std::string& text) const
    {
        const auto t = trace();
        return size_t(std::count_if(t.begin(), t.end(), [&](const std::string& l) {
            return l.rfind("# ", 0) == 0 && l.find(text) != std::string::npos;
        }));
    }

    QTemporaryDir m_tmp;
    fs::path dir = testfiles::path(m_tmp);
    fs::path sim = dir / "Simulatore";
};

// ------------------------------------------------ calls on an idle printer

struct IdleCall {
    const char* name;
    std::function<int16_t(SimulatedPrinter&)> call;
};

class SimIdleCall : public SimFixture, public ::testing::WithParamInterface<IdleCall> {};

TEST_P(SimIdleCall, AnswersWrongSequenceAndOpensNothing)
{
    auto p = openPrinter();
    const std::string before = roll();
    EXPECT_EQ(GetParam().call(*p), simcode::WrongSequence);
    EXPECT_EQ(state().receipt, SimState::Receipt::None);
    EXPECT_EQ(state().lastReceipt, 0);
    EXPECT_EQ(roll(), before);
    EXPECT_EQ(p->FiscalClosure(1), simcode::Ok) << "nothing was left open to refuse the closure";
}

INSTANTIATE_TEST_SUITE_P(
    Calls, SimIdleCall,
    ::testing::Values(IdleCall{"Description", [](SimulatedPrinter& p) { return p.AddDescription(1, "RIGA"); }},
                      IdleCall{"ExtraLine", [](SimulatedPrinter& p) { return p.ExtraLine(1, 1, "RIGA"); }},
                      IdleCall{"Subtotal", [](SimulatedPrinter& p) { return p.Subtotal(1); }},
                      IdleCall{"Discount", [](SimulatedPrinter& p) { return p.SubtotalDiscount(1, eur("0.10")); }}),
    rownames::byName);

TEST_F(SimFixture, ReceiptWithoutASaleOrReturnLineDoesNotClose)
{
    // A fiscal receipt with no item line, as an older version could leave it.
    openPrinter().reset();
    SimState s = state();
    s.receipt = SimState::Receipt::Fiscal;
    s.receiptNumber = s.lastReceipt = 1;
    s.itemLines = 0;
    ASSERT_TRUE(s.save(sim / "stato.ini"));
    auto p = openPrinter();
    EXPECT_EQ(p->PayCash(1, eur("0")), simcode::WrongSequence);
    EXPECT_EQ(state().receipts, 0);
    EXPECT_EQ(p->SellDept(1, "PANE", eur("1.00"), 1), simcode::Ok);
    EXPECT_EQ(p->PayCash(1, eur("0")), simcode::Ok);
    EXPECT_EQ(state().receipts, 1);
}

// ------------------------------------------------------------- rounding

struct RoundingCase {
    const char* name;
    float quantity; // 0: a sale without quantity
    const char* price;
    const char* amount;
};

class SimLineRounding : public SimFixture, public ::testing::WithParamInterface<RoundingCase> {};

TEST_P(SimLineRounding, LineAmountRoundsHalfUpToTheCent)
{
    auto p = openPrinter();
    const RoundingCase& c = GetParam();
    const int16_t code = c.quantity == 0 ? p->SellDept(1, "ART", eur(c.price), 1)
                                         : p->SellDeptQty(1, "ART", c.quantity, eur(c.price), 1);
    ASSERT_EQ(code, simcode::Ok);
    EXPECT_EQ(state().current.sales, eur(c.amount));
}

INSTANTIATE_TEST_SUITE_P(Lines, SimLineRounding,
                         ::testing::Values(RoundingCase{"HalfACentGoesUp", 0, "0.005", "0.01"},
                                           RoundingCase{"HalfUpOnAnOddCent", 0, "12.345", "12.35"},
                                           RoundingCase{"HalfUpOnAnEvenCent", 0, "12.355", "12.36"},
                                           RoundingCase{"BelowHalfGoesDown", 0, "12.3449", "12.34"},
                                           RoundingCase{"KiloAndFiveGramsAtOneEuro", 1.005f, "1.00", "1.01"},
                                           RoundingCase{"QuantityTakenToThreeDecimals", 2.0005f, "1.00", "2.00"},
                                           RoundingCase{"WeightTimesPrice", 0.335f, "12.90", "4.32"},
                                           RoundingCase{"QuarterCentUp", 2.5f, "0.01", "0.03"}),
                         rownames::byName);

TEST_F(SimFixture, TraceWritesQuantitiesWithThreeDecimals)
{
    auto p = openPrinter();
    ASSERT_EQ(p->SellDeptQty(1, "ART", 99999.999f, eur("0.01"), 1), simcode::Ok);
    ASSERT_EQ(p->SellDeptQty(1, "ART", 0.5f, eur("1"), 1), simcode::Ok);
    const auto t = trace();
    EXPECT_NE(std::find(t.begin(), t.end(), "SellDeptQty(1, \"ART\", 100000.000, 0.0100, 1) -> 0"), t.end());
    EXPECT_NE(std::find(t.begin(), t.end(), "SellDeptQty(1, \"ART\", 0.500, 1.0000, 1) -> 0"), t.end());
}

// ------------------------------------------------------ corrupt state

struct CorruptCase {
    const char* name;
    std::string text;
};

class SimCorruptState : public SimFixture, public ::testing::WithParamInterface<CorruptCase> {};

TEST_P(SimCorruptState, IsReportedKeptAsideAndTheCountersStartAfresh)
{
    testfiles::write(sim / "stato.ini", GetParam().text);
    auto p = openPrinter();
    EXPECT_EQ(testfiles::read(sim / "stato.ini.guasto"), GetParam().text);
    EXPECT_EQ(notesContaining("stato.ini illeggibile"), 1u);
    EXPECT_EQ(p->SellDept(1, "PANE", eur("1.00"), 1), simcode::Ok);
    EXPECT_EQ(state().lastReceipt, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SimCorruptState,
    ::testing::Values(CorruptCase{"Empty", ""}, CorruptCase{"Garbage", "\x01\x02 non e' uno stato\n"},
                      CorruptCase{"NumberThatDoesNotRead", "[Stampante]\nUltimoScontrino=4x\n"},
                      CorruptCase{"CutInTheMiddleOfALine", "[Stampante]\nUltimoScontrino=41\nChiusure"},
                      CorruptCase{"NoPrinterSection", "[Giorno]\nScontrini=3\n"},
                      CorruptCase{"UnknownReceiptState",
                                  "[Stampante]\nUltimoScontrino=1\n[Scontrino]\nStato=aperto\n"}),
    rownames::byName);

TEST_F(SimFixture, StateWithAnUnknownKeyIsNotCorrupt)
{
    testfiles::write(sim / "stato.ini", "[Stampante]\nUltimoScontrino=41\nNuovaChiave=1\n");
    auto p = openPrinter();
    EXPECT_FALSE(fs::exists(sim / "stato.ini.guasto"));
    EXPECT_EQ(state().lastReceipt, 41);
}

// ------------------------------------------------------------ fault file

struct FaultFileCase {
    const char* name;
    std::string lines;
    std::string note;
    // guasti.ini a link to a file outside the program folder that holds the
    // lines: never read, so nothing of it reaches the trace.
    bool linked = false;
};

class SimFaultFile : public SimFixture, public ::testing::WithParamInterface<FaultFileCase> {};

TEST_P(SimFaultFile, ProblemIsNotedOnceInTheTrace)
{
    QTemporaryDir elsewhere;
    const fs::path outside = testfiles::path(elsewhere) / "segreto.ini";
    testfiles::write(GetParam().linked ? outside : sim / "guasti.ini", "[Guasti]\r\n" + GetParam().lines);
    if (GetParam().linked) {
        fs::create_directories(sim);
        fs::create_symlink(outside, sim / "guasti.ini");
    }
    auto p = openPrinter();
    EXPECT_EQ(p->DisplayText(1, "A"), simcode::Ok);
    EXPECT_EQ(p->DisplayText(1, "B"), simcode::Ok);
    EXPECT_EQ(notesContaining(GetParam().note), 1u);
    if (GetParam().linked) {
        EXPECT_EQ(notesContaining("SelDept"), 0u) << "the linked file was read";
        EXPECT_EQ(testfiles::read(outside), "[Guasti]\r\n" + GetParam().lines);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Problems, SimFaultFile,
    ::testing::Values(FaultFileCase{"UnknownKey", "SelDept=7\r\n", "chiave sconosciuta ignorata: SelDept"},
                      FaultFileCase{"CodeThatIsNotANumber", "SellDept=sette\r\n", "valore non valido per SellDept"},
                      FaultFileCase{"CodeBeyondSixteenBits", "PayCash=70000\r\n", "valore non valido per PayCash"},
                      FaultFileCase{"NegativeBusyCount", "Occupato=-2\r\n", "valore non valido per Occupato"},
                      FaultFileCase{"LostRepliesNotACount", "PerdiRisposta=si\r\n",
                                    "valore non valido per PerdiRisposta"},
                      FaultFileCase{"PaperEndNotANumber", "FineCarta=si\r\n", "valore non valido per FineCarta"},
                      FaultFileCase{"LineWithoutEquals", "FineCarta\r\n", "riga senza"},
                      FaultFileCase{"LinkInItsPlace", "SelDept=7\r\nFineCarta=1\r\n",
                                    "guasti.ini non letto (symbolic link, not followed)", true}),
    rownames::byName);

TEST_F(SimFixture, PaperEndClearedByTheRecoveryStaysClearedInANewProcess)
{
    testfiles::write(sim / "guasti.ini", "; prova\r\n[Guasti]\r\nFineCarta=1\r\nOccupato=0\r\n");
    auto p = openPrinter();
    EXPECT_EQ(p->SellDept(1, "PANE", eur("1"), 1), simcode::PaperEnd);
    EXPECT_EQ(p->PaperEndRecovery(1), simcode::Ok);
    EXPECT_EQ(testfiles::read(sim / "guasti.ini"), "; prova\r\n[Guasti]\r\nFineCarta=0\r\nOccupato=0\r\n");
    EXPECT_EQ(p->SellDept(1, "PANE", eur("1"), 1), simcode::Ok);
    p.reset();
    auto again = openPrinter();
    EXPECT_EQ(again->PayCash(1, eur("0")), simcode::Ok) << "the paper end came back in a new process";
}

// ------------------------------------------------- roll and state agree

// The roll as a killed process leaves it: the state was saved, the last
// print reached the paper only in part.
struct CutCase {
    const char* name;
    std::function<void(SimulatedPrinter&)> lastCall;
    size_t keep; // bytes of the last print that reached the roll
};

class SimKilledMidPrint : public SimFixture, public ::testing::WithParamInterface<CutCase> {};

TEST_P(SimKilledMidPrint, NextStartCompletesTheRollFromTheState)
{
    auto p = openPrinter();
    ASSERT_EQ(p->SellDept(1, "PANE", eur("1.50"), 1), simcode::Ok);
    GetParam().lastCall(*p);
    p.reset();
    const std::string whole = roll();
    const SimState saved = state();
    ASSERT_EQ(saved.journalLength, static_cast<long long>(whole.size()));
    const size_t start = whole.size() - saved.lastPrinted.size();
    fs::resize_file(sim / "giornale.txt", start + GetParam().keep);

    auto next = openPrinter();
    EXPECT_EQ(roll(), whole);
    EXPECT_EQ(state(), saved);
    EXPECT_EQ(notesContaining("giornale.txt completato"), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cuts, SimKilledMidPrint,
    ::testing::Values(CutCase{"ClosingNotPrintedAtAll", [](SimulatedPrinter& p) { p.PayCash(1, eur("0")); }, 0},
                      CutCase{"ClosingHalfPrinted", [](SimulatedPrinter& p) { p.PayCash(1, eur("0")); }, 50},
                      CutCase{"VoidHalfPrinted", [](SimulatedPrinter& p) { p.CancelReceipt(1); }, 30},
                      CutCase{"SaleNotPrinted", [](SimulatedPrinter& p) { p.SellDept(1, "LATTE", eur("1"), 1); }, 0}),
    rownames::byName);

// A kill between the two writes of the closing print (the fault hook): the
// state, saved first, tells the next start what the roll still lacks, so
// the receipt number is printed once and the next receipt takes the next one.
TEST_F(SimFixture, KillBetweenStateAndRollNeverRepeatsAReceiptNumber)
{
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto p = openPrinter();
        p->SellDept(1, "PANE", eur("1.50"), 1);
        p->betweenStateAndRoll = [] { std::raise(SIGKILL); };
        p->PayCash(1, eur("0"));
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    // The kill fell between the writes: the state accounts for a print that
    // the roll does not hold yet.
    ASSERT_LT(fs::file_size(sim / "giornale.txt"), static_cast<std::uintmax_t>(state().journalLength));

    auto p = openPrinter();
    EXPECT_EQ(notesContaining("giornale.txt completato"), 1u);
    ASSERT_EQ(p->SellDept(1, "LATTE", eur("1.00"), 1), simcode::Ok);
    ASSERT_EQ(p->PayCash(1, eur("0")), simcode::Ok);

    std::vector<std::string> numbers;
    for (const std::string& line : testfiles::lines(sim / "giornale.txt"))
        if (line.rfind("SCONTRINO N.", 0) == 0)
            numbers.push_back(line.substr(0, 17));
    ASSERT_EQ(numbers.size(), 2u) << roll();
    EXPECT_NE(numbers[0], numbers[1]) << "a receipt number printed twice";
}

TEST_F(SimFixture, ReceiptClosedBeforeTheKillIsNeverPrintedClosedTwice)
{
    auto p = openPrinter();
    ASSERT_EQ(p->SellDept(1, "PANE", eur("1.50"), 1), simcode::Ok);
    ASSERT_EQ(p->PayCash(1, eur("0")), simcode::Ok);
    p.reset();
    const std::string whole = roll();
    fs::resize_file(sim / "giornale.txt", whole.size() - state().lastPrinted.size());

    auto next = openPrinter();
    EXPECT_EQ(next->CancelReceipt(1), simcode::Ok) << "nothing is left open to void";
    EXPECT_EQ(next->SellDept(1, "LATTE", eur("3.00"), 1), simcode::Ok);
    EXPECT_EQ(next->PayCash(1, eur("0")), simcode::Ok);
    const std::string text = roll();
    size_t count = 0;
    for (size_t at = text.find("SCONTRINO N. 0001"); at != std::string::npos;
         at = text.find("SCONTRINO N. 0001", at + 1))
        ++count;
    EXPECT_EQ(count, 1u) << text;
    EXPECT_NE(text.find("SCONTRINO N. 0002"), std::string::npos);
    EXPECT_EQ(text.find("ANNULLATO"), std::string::npos);
    EXPECT_EQ(state().receipts, 2);
}

TEST_F(SimFixture, OpenReceiptStaysOpenAcrossARestartForTheVoid)
{
    auto p = openPrinter();
    ASSERT_EQ(p->SellDept(1, "PANE", eur("1.50"), 1), simcode::Ok);
    p.reset();
    auto next = openPrinter();
    EXPECT_EQ(state().receipt, SimState::Receipt::Fiscal);
    EXPECT_EQ(next->CancelReceipt(1), simcode::Ok);
    EXPECT_EQ(state().voided, 1);
    EXPECT_NE(roll().find("*** SCONTRINO ANNULLATO ***"), std::string::npos);
}

struct RefusedCase {
    const char* name;
    std::function<int16_t(SimulatedPrinter&)> call;
};

class SimRefusedWrite : public SimFixture, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(SimRefusedWrite, FailsWithItsCodeAndLeavesRollAndStateAsTheyWere)
{
    auto p = openPrinter();
    ASSERT_EQ(p->SellDept(1, "PANE", eur("1.50"), 1), simcode::Ok);
    ASSERT_EQ(p->PayCash(1, eur("0")), simcode::Ok);
    ASSERT_EQ(p->SellDept(1, "LATTE", eur("1.00"), 1), simcode::Ok);
    const std::string rollBefore = roll();
    const std::string stateBefore = testfiles::read(sim / "stato.ini");
    int16_t code = 0;
    {
        const WritesRefused refused;
        code = GetParam().call(*p);
    }
    EXPECT_EQ(code, simcode::StorageFailure);
    EXPECT_EQ(roll(), rollBefore);
    EXPECT_EQ(testfiles::read(sim / "stato.ini"), stateBefore);
    // The same printer and a new one both go on from the state as it was.
    EXPECT_EQ(p->PayCash(1, eur("0")), simcode::Ok);
    p.reset();
    auto next = openPrinter();
    EXPECT_EQ(next->SellDept(1, "UOVA", eur("2.00"), 1), simcode::Ok);
    EXPECT_EQ(state().receiptNumber, 3) << "no number is used twice";
}

INSTANTIATE_TEST_SUITE_P(
    Calls, SimRefusedWrite,
    ::testing::Values(RefusedCase{"Sale", [](SimulatedPrinter& p) { return p.SellDept(1, "UOVA", eur("2"), 1); }},
                      RefusedCase{"Payment", [](SimulatedPrinter& p) { return p.PayCash(1, eur("0")); }},
                      RefusedCase{"Void", [](SimulatedPrinter& p) { return p.CancelReceipt(1); }},
                      RefusedCase{"Description", [](SimulatedPrinter& p) { return p.AddDescription(1, "X"); }}),
    rownames::byName);

TEST_F(SimFixture, RollLongerThanTheStateSaysIsTakenAsItIs)
{
    auto p = openPrinter();
    ASSERT_EQ(p->SellDept(1, "PANE", eur("1.50"), 1), simcode::Ok);
    p.reset();
    const std::string extra = "RIGA AGGIUNTA A MANO\n";
    testfiles::write(sim / "giornale.txt", roll() + extra);
    auto next = openPrinter();
    EXPECT_EQ(notesContaining("si prosegue dal giornale"), 1u);
    ASSERT_EQ(next->PayCash(1, eur("0")), simcode::Ok);
    EXPECT_EQ(state().journalLength, static_cast<long long>(roll().size()));
    EXPECT_NE(roll().find(extra), std::string::npos);
}

} // namespace
