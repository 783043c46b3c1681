// SPDX-License-Identifier: MIT
#include "simulator/SimCodes.h"
#include "simulator/SimJournal.h"
#include "simulator/SimState.h"
#include "simulator/SimulatedPrinter.h"
#include "support/FakeClock.h"
#include "support/Files.h"
#include "support/ProgramFolder.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <QTemporaryDir>

#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

Currency eur(const char* text)
{
    return *Currency::parse(text);
}

// A temporary program directory with a simulated printer whose error events
// are collected.
class SimulatorTest : public ProgramFolderTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tmp.isValid());
        printer = make();
    }

    std::unique_ptr<SimulatedPrinter> make()
    {
        auto p = std::make_unique<SimulatedPrinter>(dir);
        p->onErrorEvent = [this](int16_t level, int32_t code) { events.emplace_back(level, code); };
        return p;
    }

    static void open(SimulatedPrinter& p, int16_t port = 1, const std::string& settings = "9600,N,8,1")
    {
        p.setComPort(port);
        p.setComSettings(settings);
        p.OpenPort();
    }
    void open() { open(*printer); }

    // The trace lines written from now on.
    std::function<std::vector<std::string>()> traceFromHere() const
    {
        const size_t start = trace().size();
        return [this, start] {
            auto all = trace();
            return std::vector<std::string>(all.begin() + long(std::min(start, all.size())), all.end());
        };
    }
    std::vector<std::string> journal() const { return testfiles::lines(sim / "giornale.txt"); }
    SimState state() const { return SimState::load(sim / "stato.ini"); }

    void faults(const std::string& lines) { testfiles::write(sim / "guasti.ini", "[Guasti]\r\n" + lines); }

    // The lines of a receipt from a sale of 1.50 paid in cash.
    void simpleReceipt(SimulatedPrinter& p)
    {
        ASSERT_EQ(p.SellDept(1, "PANE", eur("1.50"), 1), 0);
        ASSERT_EQ(p.PayCash(1, eur("0")), 0);
    }

    const fs::path& dir = m_dir;
    fs::path sim = dir / "Simulatore";
    std::vector<std::pair<int16_t, int32_t>> events;
    std::unique_ptr<SimulatedPrinter> printer;
};

// "SCONTRINO N. 0001          08-12-2026 14:05": the label, then the
// system's date and time right-aligned on a 40-column line.
void expectStamped(const std::string& line, const std::string& label)
{
    EXPECT_EQ(line.size(), 40u) << line;
    // QRegularExpression rather than std::regex: GCC 12's regex trips a
    // false -Wmaybe-uninitialized under the sanitizers.
    const QRegularExpression stamped(QRegularExpression::anchoredPattern(
        QString::fromStdString(label) + QStringLiteral(" +[0-9]{2}-[0-9]{2}-[0-9]{4} [0-9]{2}:[0-9]{2}")));
    EXPECT_TRUE(stamped.match(QString::fromStdString(line)).hasMatch()) << line;
}

// The stamp is the clock's local time, zero-padded, whatever the process's
// own clock says.
TEST(SimulatorJournal, NumberedLineIsDatedByItsClock)
{
    FakeClock clock;
    const SimJournal journal(clock);
    EXPECT_EQ(journal.numbered(QStringLiteral("SCONTRINO"), 1), "SCONTRINO N. 0001       08-12-2026 14:05\n");
    clock.now.tm_year = 2027 - 1900;
    clock.now.tm_mon = 0;
    clock.now.tm_mday = 5;
    clock.now.tm_hour = 9;
    clock.now.tm_min = 7;
    EXPECT_EQ(journal.numbered(QStringLiteral("CHIUSURA"), 12345), "CHIUSURA N. 12345       05-01-2027 09:07\n");
}

const std::string Equals(40, '=');
const std::string Dashes(40, '-');
const std::vector<std::string> Header = {Equals, "                TESSIRO", "       STAMPANTE FISCALE SIMULATA",
                                         Dashes};

void expectLines(const std::vector<std::string>& actual, size_t from, const std::vector<std::string>& expected)
{
    ASSERT_GE(actual.size(), from + expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(actual[from + i], expected[i]) << "line " << from + i;
}

// ---------------------------------------------------------------- receipts

using SimulatorReceipt = SimulatorTest;

TEST_F(SimulatorReceipt, SalesReturnDiscountAndTwoPaymentsPrintAndTotalTheReceipt)
{
    open();
    const auto since = traceFromHere();
    EXPECT_EQ(printer->SellDept(1, "PANE", eur("1.50"), 1), 0);
    EXPECT_EQ(printer->SellDeptQty(1, "pomodori", 3.0f, eur("0.04"), 2), 0);
    EXPECT_EQ(printer->ReturnDept(1, "MARMELLATA", eur("0.05"), 1), 0);
    EXPECT_EQ(printer->Subtotal(1), 0);
    EXPECT_EQ(printer->SubtotalDiscount(1, eur("0.01")), 0);
    EXPECT_EQ(printer->PayCheque(1, eur("1.00")), 0);
    EXPECT_EQ(state().receipt, SimState::Receipt::Payment) << "a partial payment leaves the receipt open";
    EXPECT_EQ(printer->PayCash(1, eur("5.00")), 0);

    expectLines(since(), 0,
                {"SellDept(1, \"PANE\", 1.5000, 1) -> 0", "SellDeptQty(1, \"pomodori\", 3.000, 0.0400, 2) -> 0",
                 "ReturnDept(1, \"MARMELLATA\", 0.0500, 1) -> 0", "Subtotal(1) -> 0",
                 "SubtotalDiscount(1, 0.0100) -> 0", "PayCheque(1, 1.0000) -> 0", "PayCash(1, 5.0000) -> 0"});
    EXPECT_EQ(since().size(), 7u);

    const auto j = journal();
    ASSERT_EQ(j.size(), 18u);
    expectLines(j, 0, Header);
    expectLines(j, 4,
                {"PANE                                1,50", "  3 x 0,04", "pomodori                            0,12",
                 "RESO MARMELLATA                    -0,05", "SUBTOTALE                           1,57",
                 "SCONTO SUBTOTALE                   -0,01", Dashes, "TOTALE EURO                         1,56",
                 "ASSEGNO                             1,00", "CONTANTI                            5,00",
                 "RESTO                               4,44", Dashes});
    expectStamped(j[16], "SCONTRINO N\\. 0001");
    EXPECT_EQ(j[17], "");

    const SimState s = state();
    EXPECT_EQ(s.receipt, SimState::Receipt::None);
    EXPECT_EQ(s.lastReceipt, 1);
    EXPECT_EQ(s.receipts, 1);
    EXPECT_EQ(s.day.sales, eur("1.62"));
    EXPECT_EQ(s.day.returns, eur("0.05"));
    EXPECT_EQ(s.day.discounts, eur("0.01"));
    EXPECT_EQ(s.day.payments[SimState::Cheque], eur("1.00"));
    EXPECT_EQ(s.day.payments[SimState::Cash], eur("0.56")) << "cash is counted net of the change";
    EXPECT_EQ(s.day.departments.at(1), eur("1.45"));
    EXPECT_EQ(s.day.departments.at(2), eur("0.12"));
    EXPECT_EQ(s.grandTotal, eur("1.56"));
    EXPECT_TRUE(events.empty());
}

TEST_F(SimulatorReceipt, QuantityAndPriceAreMultipliedAndRoundedToCents)
{
    open();
    EXPECT_EQ(printer->SellDeptQty(1, "FORMAGGIO", 0.335f, eur("12.90"), 1), 0); // 4.3215
    EXPECT_EQ(printer->ReturnDeptQty(1, "LATTE", 2.0f, eur("0.99"), 1), 0);
    EXPECT_EQ(printer->ReturnDeptAmount(1, "VUOTO", eur("0.10"), 1), 0);
    const auto j = journal();
    expectLines(j, 4,
                {"  0,335 x 12,90", "FORMAGGIO                           4,32", "  2 x 0,99",
                 "RESO LATTE                         -1,98", "RESO VUOTO                         -0,10"});
    EXPECT_EQ(state().current.net(), eur("2.24"));
}

TEST_F(SimulatorReceipt, WholeRemainderPaymentsAndTenderLabels)
{
    open();
    ASSERT_EQ(printer->SellDept(1, "A", eur("10.00"), 1), 0);
    EXPECT_EQ(printer->PayTicket(1, 1, eur("4.00")), 0);
    EXPECT_EQ(printer->PayTender(1, "A CREDITO", eur("1.00"), 7, 0, 12), 0);
    EXPECT_EQ(printer->PayCard(1, 0), 0) << "the card pays whatever is left";
    const SimState s = state();
    EXPECT_EQ(s.receipt, SimState::Receipt::None);
    EXPECT_EQ(s.day.payments[SimState::Ticket], eur("4.00"));
    EXPECT_EQ(s.day.payments[SimState::Other], eur("1.00"));
    EXPECT_EQ(s.day.payments[SimState::Card], eur("5.00"));
    const auto j = journal();
    expectLines(j, 5,
                {Dashes, "TOTALE EURO                        10,00", "TICKET                              4,00",
                 "A CREDITO                           1,00", "CARTA DI CREDITO                    5,00", Dashes});

    ASSERT_EQ(printer->SellDept(1, "B", eur("2.00"), 1), 0);
    EXPECT_EQ(printer->PayTender(1, "CONTANTI", eur("5.00"), 0, 0, 1), 0) << "a cash tender gives change";
    EXPECT_EQ(state().day.payments[SimState::Cash], eur("2.00"));
    EXPECT_EQ(journal()[journal().size() - 4], "RESTO                               3,00");
}

TEST_F(SimulatorReceipt, DescriptionsAndExtraLinesPrintInOrderAcrossTheWidth)
{
    open();
    ASSERT_EQ(printer->SellDept(1, "UN NOME DI ARTICOLO MOLTO PIU LUNGO DEL RIGO", eur("1.00"), 1), 0);
    ASSERT_EQ(printer->AddDescription(1, "- IL LATTE DEL PARCO -"), 0);
    ASSERT_EQ(printer->PayCash(1, eur("0")), 0);
    EXPECT_EQ(state().receipt, SimState::Receipt::None);
    ASSERT_EQ(printer->SellDept(1, "X", eur("1.00"), 1), 0);
    ASSERT_EQ(printer->PayCash(1, eur("0.50")), 0);
    EXPECT_EQ(printer->ExtraLine(1, 1, "* * * * * * * * * * * * * * "), 0) << "extra lines may follow the total";
    EXPECT_EQ(printer->ExtraLine(1, 2, "CAFF\xC8 \x80"), 0);
    const auto j = journal();
    EXPECT_EQ(j[4], "UN NOME DI ARTICOLO MOLTO PIU LUNGO 1,00");
    EXPECT_EQ(j[5], "- IL LATTE DEL PARCO -");
    EXPECT_EQ(j[j.size() - 2], "* * * * * * * * * * * * * * ");
    EXPECT_EQ(j.back(), "CAFF\xC3\x88 \xE2\x82\xAC") << "windows-1252 texts are printed as UTF-8";
}

TEST_F(SimulatorReceipt, VoidedReceiptIsMarkedAndLeavesTheDayTotalsAlone)
{
    open();
    ASSERT_EQ(printer->SellDept(1, "PANE", eur("1.50"), 1), 0);
    ASSERT_EQ(printer->PayCash(1, eur("1.00")), 0);
    EXPECT_EQ(printer->CancelReceipt(1), 0);
    const auto j = journal();
    ASSERT_GE(j.size(), 5u);
    expectLines(j, j.size() - 5,
                {"CONTANTI                            1,00", Dashes, "      *** SCONTRINO ANNULLATO ***"});
    expectStamped(j[j.size() - 2], "SCONTRINO N\\. 0001");
    EXPECT_EQ(j.back(), "");

    SimState s = state();
    EXPECT_EQ(s.receipt, SimState::Receipt::None);
    EXPECT_EQ(s.voided, 1);
    EXPECT_EQ(s.receipts, 0);
    EXPECT_EQ(s.day, SimState::Totals{});
    EXPECT_EQ(s.grandTotal, Currency{});

    simpleReceipt(*printer);
    expectStamped(journal()[journal().size() - 2], "SCONTRINO N\\. 0002");
}

TEST_F(SimulatorReceipt, ZeroDiscountIsAcceptedAndPrintsNothing)
{
    open();
    ASSERT_EQ(printer->SellDept(1, "PANE", eur("1.00"), 1), 0);
    const auto before = journal();
    EXPECT_EQ(printer->SubtotalDiscount(1, eur("0")), 0);
    EXPECT_EQ(printer->SubtotalDiscount(1, eur("0.004")), 0) << "less than a cent is no discount";
    EXPECT_EQ(journal(), before);
    EXPECT_EQ(state().current.discounts, Currency{});
    EXPECT_TRUE(events.empty());
}

TEST_F(SimulatorReceipt, CancelWithNothingOpenDoesNothingAndRaisesNoEvent)
{
    open();
    const auto before = journal();
    EXPECT_EQ(printer->CancelReceipt(1), 0);
    EXPECT_EQ(journal(), before);
    EXPECT_TRUE(events.empty());
}

TEST_F(SimulatorReceipt, NonFiscalReceiptPrintsItsLinesAndCountsTheDocument)
{
    open();
    EXPECT_EQ(printer->OpenNonFiscal(1), 0);
    EXPECT_EQ(state().receipt, SimState::Receipt::NonFiscal);
    EXPECT_EQ(printer->NonFiscalLine(1, 1, "PRENOTAZIONE TAVOLO"), 0);
    EXPECT_EQ(printer->AmountEntry(1, eur("19.99")), 0);
    EXPECT_EQ(printer->NonFiscalLine(1, 1, "GRAZIE"), 0);
    EXPECT_EQ(printer->CloseNonFiscal(1), 0);
    const auto j = journal();
    ASSERT_EQ(j.size(), 11u);
    expectLines(j, 0, Header);
    expectLines(j, 4,
                {"         DOCUMENTO NON FISCALE", "PRENOTAZIONE TAVOLO", "IMPORTO                            19,99",
                 "GRAZIE", Dashes});
    expectStamped(j[9], "NON FISCALE N\\. 0001");
    EXPECT_EQ(j[10], "");
    const SimState s = state();
    EXPECT_EQ(s.receipt, SimState::Receipt::None);
    EXPECT_EQ(s.lastNonFiscal, 1);
    EXPECT_EQ(s.lastReceipt, 0);
    EXPECT_EQ(s.amountEntries, eur("19.99"));
}

TEST_F(SimulatorReceipt, ClosurePrintsTheDayTotalsAndStartsANewDay)
{
    open();
    ASSERT_EQ(printer->SellDept(1, "A", eur("10.00"), 1), 0);
    ASSERT_EQ(printer->ReturnDept(1, "B", eur("1.00"), 2), 0);
    ASSERT_EQ(printer->PayCash(1, eur("20.00")), 0);
    ASSERT_EQ(printer->SellDept(1, "C", eur("5.00"), 2), 0);
    ASSERT_EQ(printer->SubtotalDiscount(1, eur("0.50")), 0);
    ASSERT_EQ(printer->PayCard(1, 0), 0);
    ASSERT_EQ(printer->SellDept(1, "D", eur("3.00"), 1), 0);
    ASSERT_EQ(printer->CancelReceipt(1), 0);
    ASSERT_EQ(printer->OpenNonFiscal(1), 0);
    ASSERT_EQ(printer->CloseNonFiscal(1), 0);
    ASSERT_EQ(printer->OpenCmd(1), 0);
    ASSERT_EQ(printer->AmountEntry(1, eur("-2.00")), 0);

    const size_t before = journal().size();
    EXPECT_EQ(printer->FiscalClosure(1), 0);
    const auto j = journal();
    ASSERT_EQ(j.size(), before + 23);
    expectLines(j, before,
                {Equals,
                 "            CHIUSURA FISCALE",
                 Dashes,
                 "SCONTRINI FISCALI                      2",
                 "SCONTRINI ANNULLATI                    1",
                 "DOCUMENTI NON FISCALI                  1",
                 "APERTURE CASSETTO                      1",
                 Dashes,
                 "VENDITE                            15,00",
                 "RESI                               -1,00",
                 "SCONTI                             -0,50",
                 "TOTALE GIORNO                      13,50",
                 Dashes,
                 "CONTANTI                            9,00",
                 "ASSEGNI                             0,00",
                 "CARTE DI CREDITO                    4,50",
                 "TICKET                              0,00",
                 "ALTRI PAGAMENTI                     0,00",
                 "IMPORTI NON FISCALI                -2,00",
                 Dashes,
                 "GRAN TOTALE                        13,50"});
    expectStamped(j[before + 21], "CHIUSURA N\\. 0001");
    EXPECT_EQ(j[before + 22], "");

    const SimState s = state();
    EXPECT_EQ(s.closures, 1);
    EXPECT_EQ(s.lastReceipt, 0);
    EXPECT_EQ(s.lastNonFiscal, 0);
    EXPECT_EQ(s.receipts, 0);
    EXPECT_EQ(s.voided, 0);
    EXPECT_EQ(s.drawerOpenings, 0);
    EXPECT_EQ(s.amountEntries, Currency{});
    EXPECT_EQ(s.day, SimState::Totals{});
    EXPECT_EQ(s.grandTotal, eur("13.50")) << "the grand total is never reset";

    simpleReceipt(*printer);
    expectStamped(journal()[journal().size() - 2], "SCONTRINO N\\. 0001");
}

TEST_F(SimulatorReceipt, AlternativeClosureAddsTheDepartments)
{
    open();
    ASSERT_EQ(printer->SellDept(1, "A", eur("10.00"), 12), 0);
    ASSERT_EQ(printer->SellDept(1, "B", eur("2.00"), 3), 0);
    ASSERT_EQ(printer->PayCash(1, eur("0")), 0);
    const size_t before = journal().size();
    EXPECT_EQ(printer->FiscalClosureAlt(1), 0);
    const auto j = journal();
    EXPECT_EQ(j[before + 1], "      CHIUSURA FISCALE CON REPARTI");
    expectLines(j, before + 19,
                {Dashes, "REPARTO 03                          2,00", "REPARTO 12                         10,00", Dashes,
                 "GRAN TOTALE                        12,00"});
    EXPECT_EQ(state().closures, 1);
}

TEST_F(SimulatorReceipt, DisplayShowsTwoLinesOfTwentyCharacters)
{
    open();
    EXPECT_EQ(printer->DisplayText(1, "CASSA PROVA .................. CLT1"), 0);
    EXPECT_EQ(testfiles::read(sim / "visore.txt"), "CASSA PROVA ........\n.......... CLT1     \n");
    EXPECT_EQ(printer->DisplayText(1, "ARRIVEDERCI E GRAZIE PER LA PREFERENZA E A PRESTO"), 0);
    EXPECT_EQ(testfiles::read(sim / "visore.txt"), "ARRIVEDERCI E GRAZIE\n PER LA PREFERENZA E\n");
    EXPECT_EQ(printer->DisplayText(1, "\x80 1\r\n"), 0);
    EXPECT_EQ(testfiles::read(sim / "visore.txt"),
              "\xE2\x82\xAC 1" + std::string(17, ' ') + "\n" + std::string(20, ' ') + "\n");
    EXPECT_FALSE(fs::exists(sim / "giornale.txt")) << "the display prints nothing";
}

TEST_F(SimulatorReceipt, OpenReceiptSurvivesANewInstanceOnTheSameFolder)
{
    open();
    ASSERT_EQ(printer->SellDept(1, "PANE", eur("1.50"), 1), 0);
    printer.reset();

    printer = make();
    open();
    EXPECT_EQ(printer->SellDept(1, "LATTE", eur("1.00"), 1), 0);
    EXPECT_EQ(printer->PayCash(1, eur("0")), 0);
    const SimState s = state();
    EXPECT_EQ(s.lastReceipt, 1) << "the receipt was continued, not restarted";
    EXPECT_EQ(s.day.sales, eur("2.50"));
    ASSERT_EQ(printer->FiscalClosure(1), 0);
    printer.reset();

    printer = make();
    open();
    EXPECT_EQ(state().closures, 1);
    EXPECT_EQ(state().grandTotal, eur("2.50"));
    ASSERT_EQ(printer->FiscalClosure(1), 0);
    EXPECT_EQ(state().closures, 2);
}

TEST_F(SimulatorReceipt, OpeningThePortPicksUpWhatAnotherInstancePrinted)
{
    auto other = make();
    open(*other);
    simpleReceipt(*other);
    other->ClosePort();

    open();
    simpleReceipt(*printer);
    EXPECT_EQ(state().lastReceipt, 2);
    EXPECT_EQ(state().receipts, 2);
}

TEST_F(SimulatorReceipt, StateFileIsRewrittenOnlyWhenTheRollOrTheCountersChange)
{
    open();
    ASSERT_EQ(printer->OpenNonFiscal(1), 0);
    struct stat first {};
    ASSERT_EQ(::stat((sim / "stato.ini").c_str(), &first), 0);
    ASSERT_EQ(printer->DisplayText(1, "CIAO"), 0);
    ASSERT_EQ(printer->CancelReceipt(1), 0);
    struct stat second {};
    ASSERT_EQ(::stat((sim / "stato.ini").c_str(), &second), 0);
    EXPECT_EQ(first.st_ino, second.st_ino) << "nothing printed, nothing counted: the state stays";
    // The state accounts for every byte of the roll, so a printed line is
    // recorded before it goes on the paper.
    ASSERT_EQ(printer->NonFiscalLine(1, 1, "RIGA"), 0);
    ASSERT_EQ(::stat((sim / "stato.ini").c_str(), &second), 0);
    EXPECT_NE(first.st_ino, second.st_ino);
    EXPECT_EQ(state().journalLength, static_cast<long long>(fs::file_size(sim / "giornale.txt")));
}

TEST_F(SimulatorReceipt, JournalThatCannotBeWrittenFailsTheCallAndKeepsTheState)
{
    open();
    fs::create_directories(sim / "giornale.txt"); // a folder where the roll should be
    EXPECT_EQ(printer->SellDept(1, "PANE", eur("1.50"), 1), simcode::StorageFailure);
    EXPECT_EQ(state().receipt, SimState::Receipt::None);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].second, simcode::StorageFailure);
    EXPECT_EQ(printer->ErrorText(2, simcode::StorageFailure),
              "ERRORE MEMORIA STAMPANTE (giornale.txt: a folder where a file belongs)");
    fs::remove(sim / "giornale.txt");
    EXPECT_EQ(printer->SellDept(1, "PANE", eur("1.50"), 1), 0);
    EXPECT_EQ(state().lastReceipt, 1);

    // A link put in the roll's place while the port is open: nothing is
    // printed through it, and the counters stay as they were.
    const std::string roll = testfiles::read(sim / "giornale.txt");
    QTemporaryDir elsewhere;
    const fs::path outside = testfiles::path(elsewhere) / "dati.txt";
    testfiles::write(outside, "contabilita\n");
    fs::rename(sim / "giornale.txt", testfiles::path(elsewhere) / "rotolo.txt");
    fs::create_symlink(outside, sim / "giornale.txt");
    const SimState before = state();
    EXPECT_EQ(printer->AddDescription(1, "RIGA"), simcode::StorageFailure);
    EXPECT_EQ(printer->ErrorText(2, simcode::StorageFailure),
              "ERRORE MEMORIA STAMPANTE (giornale.txt: symbolic link, not followed)");
    EXPECT_EQ(testfiles::read(outside), "contabilita\n");
    EXPECT_EQ(state(), before);
    fs::remove(sim / "giornale.txt");
    fs::rename(testfiles::path(elsewhere) / "rotolo.txt", sim / "giornale.txt");
    EXPECT_EQ(printer->AddDescription(1, "RIGA"), simcode::Ok);
    EXPECT_EQ(printer->ErrorText(2, simcode::StorageFailure), "ERRORE MEMORIA STAMPANTE");
}

// ------------------------------------------------------- refused calls

struct RefusalCase {
    const char* name;
    std::function<void(SimulatedPrinter&)> setup;
    std::function<int16_t(SimulatedPrinter&)> call;
    int16_t code;
};

class SimulatorRefusal : public SimulatorTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(SimulatorRefusal, FailsWithItsCodeRaisesTheEventAndChangesNothing)
{
    open();
    GetParam().setup(*printer);
    const SimState before = state();
    const auto journalBefore = journal();
    const auto since = traceFromHere();
    events.clear();

    const int16_t code = GetParam().call(*printer);
    EXPECT_EQ(code, GetParam().code);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], std::make_pair(simcode::EventLevel, int32_t{GetParam().code}));
    const auto lines = since();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].ends_with(") -> " + std::to_string(GetParam().code))) << lines[0];
    EXPECT_EQ(lines[1], "Event9(2, " + std::to_string(GetParam().code) + ")");
    EXPECT_EQ(state(), before);
    EXPECT_EQ(journal(), journalBefore);
}

const auto Nothing = [](SimulatedPrinter&) {};
const auto FiscalOpen = [](SimulatedPrinter& p) { ASSERT_EQ(p.SellDept(1, "PANE", eur("1.00"), 1), 0); };
const auto PaymentUnderWay = [](SimulatedPrinter& p) {
    ASSERT_EQ(p.SellDept(1, "PANE", eur("1.00"), 1), 0);
    ASSERT_EQ(p.PayCash(1, eur("0.50")), 0);
};
const auto NonFiscalOpen = [](SimulatedPrinter& p) { ASSERT_EQ(p.OpenNonFiscal(1), 0); };

// Which operation the receipt rules refuse in which state is theirs
// (tests/printer/ReceiptRulesTest.cpp); here, what the printer does with a
// refusal, once in each state.
INSTANTIATE_TEST_SUITE_P(
    WrongSequence, SimulatorRefusal,
    ::testing::Values(RefusalCase{"PaymentWithNoReceipt", Nothing,
                                  [](SimulatedPrinter& p) { return p.PayCash(1, eur("1")); }, simcode::WrongSequence},
                      RefusalCase{"DiscountAfterPaymentStarted", PaymentUnderWay,
                                  [](SimulatedPrinter& p) { return p.SubtotalDiscount(1, eur("0.10")); },
                                  simcode::WrongSequence},
                      RefusalCase{"NonFiscalTwice", NonFiscalOpen,
                                  [](SimulatedPrinter& p) { return p.OpenNonFiscal(1); }, simcode::WrongSequence}),
    rownames::byName);

INSTANTIATE_TEST_SUITE_P(
    InvalidData, SimulatorRefusal,
    ::testing::Values(
        RefusalCase{"ReturnBeyondTheSubtotal", FiscalOpen,
                    [](SimulatedPrinter& p) { return p.ReturnDeptAmount(1, "A", eur("1.01"), 1); },
                    simcode::NegativeTotal},
        RefusalCase{"TicketTenderAboveTheDue", PaymentUnderWay,
                    [](SimulatedPrinter& p) { return p.PayTender(1, "TICKET", eur("0.51"), 3, 1, 1); },
                    simcode::NonCashExcess},
        RefusalCase{"ExtraLineZero", FiscalOpen, [](SimulatedPrinter& p) { return p.ExtraLine(1, 0, "A"); },
                    simcode::InvalidData},
        RefusalCase{"HugeQuantity", Nothing,
                    [](SimulatedPrinter& p) { return p.SellDeptQty(1, "A", 3e38f, eur("1"), 1); },
                    simcode::AmountTooLarge}),
    rownames::byName);

// ------------------------------------------------------------ error event

using SimulatorEvent = SimulatorTest;

TEST_F(SimulatorEvent, SequenceErrorFiresInsideTheCallAndReadsSequenzaErrata)
{
    open();
    ASSERT_EQ(printer->SellDept(1, "PANE", eur("1.00"), 1), 0);
    bool returned = false;
    std::string text;
    printer->onErrorEvent = [&](int16_t level, int32_t code) {
        EXPECT_FALSE(returned) << "the event must come before the call returns";
        text = printer->ErrorText(level, code);
        // The bridge voids the receipt from its handler, port cycle included.
        EXPECT_TRUE(printer->PortIsOpen());
        printer->ClosePort();
        printer->OpenPort();
        EXPECT_EQ(printer->CancelReceipt(1), 0);
        printer->ClosePort();
    };
    const auto since = traceFromHere();
    const int16_t code = printer->OpenNonFiscal(1);
    returned = true;

    EXPECT_EQ(code, simcode::WrongSequence);
    EXPECT_NE(text.find("SEQUENZA ERRATA"), std::string::npos);
    EXPECT_EQ(state().receipt, SimState::Receipt::None);
    EXPECT_EQ(state().voided, 1);
    expectLines(since(), 0,
                {"OpenNonFiscal(1) -> 3", "Event9(2, 3)", "ErrorText(2, 3) -> \"SEQUENZA ERRATA\"",
                 "PortIsOpen() -> true", "ClosePort()", "OpenPort()", "CancelReceipt(1) -> 0", "ClosePort()"});
}

TEST_F(SimulatorEvent, FailureInsideTheHandlerRaisesNoSecondEvent)
{
    open();
    faults("CancelReceipt=3\r\n");
    int calls = 0;
    printer->onErrorEvent = [&](int16_t, int32_t) {
        ++calls;
        // With the fault, a handler that voids on a sequence error would
        // otherwise call itself without end.
        EXPECT_EQ(printer->CancelReceipt(1), simcode::WrongSequence);
    };
    EXPECT_EQ(printer->PayCash(1, eur("1")), simcode::WrongSequence);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(printer->CancelReceipt(1), simcode::WrongSequence);
    EXPECT_EQ(calls, 2) << "outside a handler the event fires again";
}

TEST_F(SimulatorEvent, UnconnectedEventIsStillTraced)
{
    open();
    printer->onErrorEvent = nullptr;
    const auto since = traceFromHere();
    EXPECT_EQ(printer->CloseNonFiscal(1), simcode::WrongSequence);
    EXPECT_EQ(since(), (std::vector<std::string>{"CloseNonFiscal(1) -> 3", "Event9(2, 3)"}));
}

struct TextCase {
    int32_t code;
    const char* text;
};

class SimulatorErrorText : public SimulatorTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(SimulatorErrorText, EveryCodeHasItsItalianText)
{
    EXPECT_EQ(printer->ErrorText(2, GetParam().code), GetParam().text);
    EXPECT_EQ(trace().back(), "ErrorText(2, " + std::to_string(GetParam().code) + ") -> \"" + GetParam().text + "\"");
}

INSTANTIATE_TEST_SUITE_P(Codes, SimulatorErrorText,
                         ::testing::Values(TextCase{1, "PORTA NON APERTA"}, TextCase{2, "FINE CARTA"},
                                           TextCase{3, "SEQUENZA ERRATA"}, TextCase{4, "DATI NON VALIDI"},
                                           TextCase{5, "REPARTO INESISTENTE"}, TextCase{6, "IMPORTO FUORI LIMITE"},
                                           TextCase{7, "TOTALE NEGATIVO"},
                                           TextCase{8, "PAGAMENTO NON CONTANTE SUPERIORE"},
                                           TextCase{9, "ERRORE MEMORIA STAMPANTE"}, TextCase{77, "ERRORE STAMPANTE 77"},
                                           TextCase{-1, "ERRORE STAMPANTE -1"}),
                         rownames::spelledBy(&TextCase::text));

// ------------------------------------------------------------------ port

using SimulatorPort = SimulatorTest;

TEST_F(SimulatorPort, OpenAndCloseAreTracedAndReported)
{
    EXPECT_FALSE(printer->PortIsOpen());
    open();
    EXPECT_TRUE(printer->PortIsOpen());
    printer->ClosePort();
    EXPECT_FALSE(printer->PortIsOpen());
    EXPECT_EQ(trace(),
              (std::vector<std::string>{"PortIsOpen() -> false", "ComPort = 1", "ComSettings = \"9600,N,8,1\"",
                                        "OpenPort()", "PortIsOpen() -> true", "ClosePort()", "PortIsOpen() -> false"}));
}

TEST_F(SimulatorPort, EveryPrintingCallOnAClosedPortFailsWithItsOwnCode)
{
    for (auto call : std::vector<std::function<int16_t()>>{
             [&] { return printer->SellDept(1, "A", eur("1"), 1); }, [&] { return printer->PayCash(1, eur("1")); },
             [&] { return printer->OpenNonFiscal(1); }, [&] { return printer->DisplayText(1, "A"); },
             [&] { return printer->OpenCmd(1); }, [&] { return printer->FiscalClosure(1); },
             [&] { return printer->PaperEndRecovery(1); }, [&] { return printer->CancelReceipt(1); }}) {
        events.clear();
        EXPECT_EQ(call(), simcode::PortClosed);
        EXPECT_EQ(events.size(), 1u);
    }
    EXPECT_EQ(printer->ErrorText(2, simcode::PortClosed), "PORTA NON APERTA");
    EXPECT_FALSE(fs::exists(sim / "giornale.txt"));
}

TEST_F(SimulatorPort, SecondInstanceOnTheSameFolderFindsThePortBusy)
{
    open();
    auto other = make();
    other->setComPort(1);
    try {
        other->OpenPort();
        FAIL() << "the port is held by the first instance";
    } catch (const ControlFailure& failure) {
        EXPECT_EQ(failure.description(), "Porta COM1 occupata da un altro programma");
    }
    EXPECT_FALSE(other->PortIsOpen());
    EXPECT_EQ(other->SellDept(1, "A", eur("1"), 1), simcode::PortClosed);
    EXPECT_EQ(trace()[trace().size() - 4], "OpenPort() !! \"Porta COM1 occupata da un altro programma\"");

    printer->ClosePort();
    EXPECT_NO_THROW(other->OpenPort());
    EXPECT_THROW(open(), ControlFailure);
    other.reset();
    EXPECT_NO_THROW(printer->OpenPort()) << "destroying the holder releases the port";
}

// What may stand where the simulator's folder or one of its files belongs.
// The program folder is shared with the back-office's group, whose members
// can put a link there to a file of the bridge's user.
enum class Planted { Folder, LinkToAFile, LinkToAFolder };

struct PlaceCase {
    const char* name;
    const char* place; // a file of Simulatore, or "Simulatore" itself
    Planted what;
    bool madeByAnotherUser = false;
    // The refusal's reason in the port's failure; nullptr: no refusal, the
    // printer prints through the link (an installer's link).
    const char* why = nullptr;
};

class SimulatorUnusablePlace : public SimulatorTest, public ::testing::WithParamInterface<PlaceCase> {};

TEST_P(SimulatorUnusablePlace, IsAControlFailureNamingItAndNothingIsReachedThroughIt)
{
    const PlaceCase& c = GetParam();
    if (c.madeByAnotherUser && ::geteuid() != 0)
        GTEST_SKIP() << "a link made by another user needs root (lchown)";
    QTemporaryDir elsewhere; // outside the program folder: a file of the bridge's user
    ASSERT_TRUE(elsewhere.isValid());
    const fs::path target = testfiles::path(elsewhere) / (c.what == Planted::LinkToAFolder ? "cartella" : "dati.txt");
    if (c.what == Planted::LinkToAFolder)
        fs::create_directory(target);
    else
        testfiles::write(target, "contabilita\n");
    const bool folderItself = std::string(c.place) == "Simulatore";
    printer.reset();
    const fs::path place = folderItself ? sim : sim / c.place;
    fs::remove_all(place);
    if (c.what == Planted::Folder)
        fs::create_directories(place);
    else
        fs::create_symlink(target, place);
    if (c.madeByAnotherUser) {
        ASSERT_EQ(::lchown(place.c_str(), 54321, 54321), 0);
    }
    printer = make();
    printer->setComPort(1);
    printer->setComSettings("9600,N,8,1");

    if (!c.why) {
        ASSERT_NO_THROW(printer->OpenPort());
        simpleReceipt(*printer);
        EXPECT_TRUE(fs::is_symlink(sim));
        EXPECT_FALSE(testfiles::lines(target / "giornale.txt").empty()) << "the roll is on the link's side";
        return;
    }
    try {
        printer->OpenPort();
        FAIL() << "opened on " << c.place;
    } catch (const ControlFailure& failure) {
        const std::string d = failure.description();
        EXPECT_TRUE(d.starts_with("Stampante simulata non disponibile: ")) << d;
        EXPECT_NE(d.find(c.place), std::string::npos) << d;
        EXPECT_NE(d.find(c.why), std::string::npos) << d;
    }
    EXPECT_FALSE(printer->PortIsOpen());
    EXPECT_EQ(printer->SellDept(1, "PANE", eur("1.50"), 1), simcode::PortClosed);
    EXPECT_EQ(printer->DisplayText(1, "BUONGIORNO"), simcode::PortClosed);
    // Nothing reached through it: the file or the folder the link leads to
    // is as it was, and what was planted is still there.
    if (c.what == Planted::LinkToAFolder) {
        EXPECT_TRUE(fs::is_empty(target));
    } else if (c.what == Planted::LinkToAFile) {
        EXPECT_EQ(testfiles::read(target), "contabilita\n");
    }
    EXPECT_EQ(fs::is_symlink(place), c.what != Planted::Folder);

    // Gone, the printer opens again and goes on from its state.
    printer.reset();
    fs::remove(place);
    printer = make();
    ASSERT_NO_THROW(open());
    simpleReceipt(*printer);
    EXPECT_EQ(state().receipts, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Places, SimulatorUnusablePlace,
    ::testing::Values(
        PlaceCase{"LockIsAFolder", "porta.lock", Planted::Folder, false, "a folder where a file belongs"},
        PlaceCase{"RollIsALink", "giornale.txt", Planted::LinkToAFile, false, "symbolic link, not followed"},
        PlaceCase{"RollIsAFolder", "giornale.txt", Planted::Folder, false, "a folder where a file belongs"},
        PlaceCase{"StateIsALink", "stato.ini", Planted::LinkToAFile, false, "symbolic link, not followed"},
        PlaceCase{"StateIsAFolder", "stato.ini", Planted::Folder, false, "a folder where a file belongs"},
        PlaceCase{"TraceIsALink", "chiamate.log", Planted::LinkToAFile, false, "symbolic link, not followed"},
        PlaceCase{"TraceIsAFolder", "chiamate.log", Planted::Folder, false, "a folder where a file belongs"},
        PlaceCase{"DisplayIsALink", "visore.txt", Planted::LinkToAFile, false, "symbolic link, not followed"},
        PlaceCase{"WriteLockIsALink", "scrittura.lock", Planted::LinkToAFile, false, "symbolic link, not followed"},
        PlaceCase{"FolderLinkedByAnotherUser", "Simulatore", Planted::LinkToAFolder, true,
                  "Collegamento simbolico non seguito al posto della cartella Simulatore"},
        PlaceCase{"FolderLinkedByTheUserIsTheInstallers", "Simulatore", Planted::LinkToAFolder}),
    rownames::byName);

TEST_F(SimulatorPort, OpeningAnOpenPortIsAControlFailure)
{
    open();
    EXPECT_THROW(printer->OpenPort(), ControlFailure);
    EXPECT_TRUE(printer->PortIsOpen());
}

struct PortCase {
    const char* name;
    int16_t port;
    const char* settings;
    bool opens;
};

class SimulatorPortSettings : public SimulatorTest, public ::testing::WithParamInterface<PortCase> {};

TEST_P(SimulatorPortSettings, OpensOnlyOnAPortNumberAndSerialSettings)
{
    printer->setComPort(GetParam().port);
    printer->setComSettings(GetParam().settings);
    if (GetParam().opens) {
        EXPECT_NO_THROW(printer->OpenPort());
        EXPECT_TRUE(printer->PortIsOpen());
        return;
    }
    try {
        printer->OpenPort();
        FAIL() << "port " << GetParam().port << " settings \"" << GetParam().settings << '"';
    } catch (const ControlFailure& failure) {
        EXPECT_FALSE(failure.description().empty());
        EXPECT_TRUE(trace().back().starts_with("OpenPort() !! \"")) << trace().back();
    }
    EXPECT_FALSE(printer->PortIsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimulatorPortSettings,
    ::testing::Values(PortCase{"NoSettings", 1, "", true}, PortCase{"Usual", 1, "9600,N,8,1", true},
                      PortCase{"EvenParitySevenBits", 4, "19200,e,7,2", true},
                      PortCase{"BlanksAndHalfStopBit", 2, " 115200 , O , 8 , 1.5 ", true},
                      PortCase{"OnlyBlanks", 1, "   ", true}, PortCase{"PortZero", 0, "9600,N,8,1", false},
                      PortCase{"NegativePort", -1, "", false}, PortCase{"SpeedOnly", 1, "9600", false},
                      PortCase{"NoStopBits", 1, "9600,N,8", false}, PortCase{"FifthField", 1, "9600,N,8,1,0", false},
                      PortCase{"UnknownSpeed", 1, "9601,N,8,1", false},
                      PortCase{"UnknownParity", 1, "9600,X,8,1", false},
                      PortCase{"NineDataBits", 1, "9600,N,9,1", false},
                      PortCase{"ThreeStopBits", 1, "9600,N,8,3", false}, PortCase{"Letters", 1, "abc", false},
                      PortCase{"OnlyCommas", 1, ",,,", false}),
    rownames::byName);

TEST_F(SimulatorPort, RejectedSettingsAreNamedInTheDescription)
{
    printer->setComPort(1);
    printer->setComSettings("9600;N;8;1");
    try {
        printer->OpenPort();
        FAIL();
    } catch (const ControlFailure& failure) {
        EXPECT_NE(failure.description().find("9600;N;8;1"), std::string::npos) << failure.description();
    }
}

// ------------------------------------------------------------ trace forms

using SimulatorTrace = SimulatorTest;

TEST_F(SimulatorTrace, PropertyPutsAndGetsHaveTheirForms)
{
    printer->setOpenOptionA(2);
    printer->setOpenOptionB(0);
    printer->setComPort(3);
    printer->setComSettings("9600,N,8,1");
    printer->setItemOptionA(20);
    printer->setItemOptionB(10);
    EXPECT_FALSE(printer->Busy());
    EXPECT_EQ(trace(), (std::vector<std::string>{"OpenOptionA = 2", "OpenOptionB = 0", "ComPort = 3",
                                                 "ComSettings = \"9600,N,8,1\"", "ItemOptionA = 20", "ItemOptionB = 10",
                                                 "Busy -> false"}));
}

TEST_F(SimulatorTrace, CallsWriteEveryArgumentInItsForm)
{
    open();
    const auto since = traceFromHere();
    printer->SellDeptQty(1, "PANE", 2.0f, eur("1.5"), 3);
    printer->ReturnDeptQty(-7, "a\\b\"c\r\n\t\x80", 0.5f, eur("0.01"), 3);
    printer->PayTender(1, "A CREDITO", eur("12.50"), 1, 0, 12);
    printer->PayTicket(1, 1, eur("-0.01"));
    printer->NonFiscalLine(1, 1, "");
    printer->DisplayText(1, "CIAO");
    printer->AmountEntry(1, eur("19.99"));
    const auto lines = since();
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[0], "SellDeptQty(1, \"PANE\", 2.000, 1.5000, 3) -> 0");
    EXPECT_EQ(lines[1], "ReturnDeptQty(-7, \"a\\\\b\\\"c\\r\\n\\t\xE2\x82\xAC\", 0.500, 0.0100, 3) -> 0");
    EXPECT_EQ(lines[2], "PayTender(1, \"A CREDITO\", 12.5000, 1, 0, 12) -> 8");
    EXPECT_EQ(lines[3], "Event9(2, 8)");
    EXPECT_EQ(lines[4], "PayTicket(1, 1, -0.0100) -> 4");
    EXPECT_EQ(lines[5], "Event9(2, 4)");
    EXPECT_EQ(lines[6], "NonFiscalLine(1, 1, \"\") -> 3");
    EXPECT_EQ(lines[8], "DisplayText(1, \"CIAO\") -> 0");
    EXPECT_EQ(lines[9], "AmountEntry(1, 19.9900) -> 3");
}

TEST_F(SimulatorTrace, FileIsUtf8WithLineFeedsOnly)
{
    open();
    ASSERT_EQ(printer->SellDept(1, "PANE", eur("1"), 1), 0);
    printer->AddDescription(1, "\x80\r\n");
    const std::string bytes = testfiles::read(sim / "chiamate.log");
    EXPECT_EQ(bytes.find('\r'), std::string::npos);
    EXPECT_NE(bytes.find("AddDescription(1, \"\xE2\x82\xAC\\r\\n\") -> 0\n"), std::string::npos);
}

// ---------------------------------------------------------------- faults

using SimulatorFaults = SimulatorTest;

TEST_F(SimulatorFaults, BusyAnswersTrueForTheGivenNumberOfReads)
{
    faults("Occupato=2\r\n");
    open();
    const auto since = traceFromHere();
    EXPECT_TRUE(printer->Busy());
    EXPECT_TRUE(printer->Busy());
    EXPECT_FALSE(printer->Busy());
    EXPECT_EQ(since(), (std::vector<std::string>{"Busy -> true", "Busy -> true", "Busy -> false"}));
    EXPECT_EQ(printer->SellDept(1, "PANE", eur("1"), 1), 0) << "busy reads do not refuse calls";
}

TEST_F(SimulatorFaults, ChangedFileRestartsTheBusyCount)
{
    faults("Occupato=1\r\n");
    EXPECT_TRUE(printer->Busy());
    EXPECT_FALSE(printer->Busy());
    EXPECT_FALSE(printer->Busy()) << "an unchanged file does not count again";
    faults("Occupato=3\r\n"); // same size, written at once
    EXPECT_TRUE(printer->Busy());
    EXPECT_TRUE(printer->Busy());
    EXPECT_TRUE(printer->Busy());
    EXPECT_FALSE(printer->Busy());
    faults("Occupato=1\r\n; again\r\n");
    EXPECT_TRUE(printer->Busy());
    EXPECT_FALSE(printer->Busy());
}

TEST_F(SimulatorFaults, PaperEndLastsUntilRecovery)
{
    open();
    faults("FineCarta=1\r\n");
    EXPECT_EQ(printer->SellDept(1, "PANE", eur("1"), 1), simcode::PaperEnd);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(printer->ErrorText(events[0].first, events[0].second), "FINE CARTA");
    EXPECT_EQ(printer->OpenNonFiscal(1), simcode::PaperEnd);
    EXPECT_EQ(printer->DisplayText(1, "CIAO"), 0) << "the display needs no paper";
    EXPECT_EQ(printer->OpenCmd(1), 0) << "nor does the drawer";
    EXPECT_TRUE(state().paperEnd);

    EXPECT_EQ(printer->PaperEndRecovery(1), 0);
    EXPECT_FALSE(state().paperEnd);
    EXPECT_EQ(journal().back(), "     --- RIPRESA DA FINE CARTA ---");
    EXPECT_EQ(printer->SellDept(1, "PANE", eur("1"), 1), 0) << "the unchanged file does not bring it back";
    EXPECT_EQ(printer->PaperEndRecovery(1), 0) << "recovery with paper is harmless";
}

TEST_F(SimulatorFaults, PaperEndInsideAReceiptKeepsItOpenForTheVoid)
{
    open();
    ASSERT_EQ(printer->SellDept(1, "PANE", eur("1"), 1), 0);
    faults("FineCarta=1\r\n");
    EXPECT_EQ(printer->PayCash(1, eur("0")), simcode::PaperEnd);
    EXPECT_EQ(printer->CancelReceipt(1), simcode::PaperEnd);
    EXPECT_EQ(state().receipt, SimState::Receipt::Fiscal);
    ASSERT_EQ(printer->PaperEndRecovery(1), 0);
    EXPECT_EQ(printer->CancelReceipt(1), 0);
    EXPECT_EQ(state().receipt, SimState::Receipt::None);
    EXPECT_EQ(state().voided, 1);
}

TEST_F(SimulatorFaults, PaperEndSurvivesARestart)
{
    open();
    faults("FineCarta=1\r\n");
    ASSERT_EQ(printer->SellDept(1, "PANE", eur("1"), 1), simcode::PaperEnd);
    printer.reset();
    fs::remove(sim / "guasti.ini");
    printer = make();
    open();
    EXPECT_EQ(printer->SellDept(1, "PANE", eur("1"), 1), simcode::PaperEnd);
    EXPECT_EQ(printer->PaperEndRecovery(1), 0);
    EXPECT_EQ(printer->SellDept(1, "PANE", eur("1"), 1), 0);
}

TEST_F(SimulatorFaults, OpenPortFailsWithTheGivenDescription)
{
    faults("OpenPort=Porta guasta \x80\r\n");
    printer->setComPort(1);
    try {
        printer->OpenPort();
        FAIL();
    } catch (const ControlFailure& failure) {
        EXPECT_EQ(failure.description(), "Porta guasta \x80");
    }
    EXPECT_EQ(trace().back(), "OpenPort() !! \"Porta guasta \xE2\x82\xAC\"");
    EXPECT_FALSE(printer->PortIsOpen());
    fs::remove(sim / "guasti.ini");
    EXPECT_NO_THROW(printer->OpenPort()) << "removing the file removes the fault";
}

TEST_F(SimulatorFaults, EventOffReturnsTheCodeSilently)
{
    open();
    faults("SellDept=7\r\nEvento=0\r\n");
    const auto since = traceFromHere();
    EXPECT_EQ(printer->SellDept(1, "PANE", eur("1"), 1), 7);
    EXPECT_EQ(printer->PayCash(1, eur("1")), simcode::WrongSequence);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(since(), (std::vector<std::string>{"SellDept(1, \"PANE\", 1.0000, 1) -> 7", "PayCash(1, 1.0000) -> 3"}));
    faults("SellDept=7\r\nEvento=1\r\n");
    EXPECT_EQ(printer->SellDept(1, "PANE", eur("1"), 1), 7);
    EXPECT_EQ(events.size(), 1u);
}

TEST_F(SimulatorFaults, InjectedCodeWinsEvenOnAClosedPort)
{
    faults("OpenNonFiscal=12\r\n");
    EXPECT_EQ(printer->OpenNonFiscal(1), 12);
    EXPECT_EQ(printer->ErrorText(2, 12), "ERRORE STAMPANTE 12");
}

struct FaultCase {
    const char* name;
    std::function<int16_t(SimulatedPrinter&)> call;
};

class SimulatorFaultKey : public SimulatorTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(SimulatorFaultKey, NamedOperationFailsWithTheCodeAndRaisesTheEvent)
{
    open();
    ASSERT_EQ(printer->SellDept(1, "PANE", eur("5"), 1), 0);
    const SimState before = state();
    faults(std::string(GetParam().name) + "=77\r\nSellDept=0\r\n");
    const auto since = traceFromHere();
    EXPECT_EQ(GetParam().call(*printer), 77);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], std::make_pair(simcode::EventLevel, int32_t{77}));
    const auto lines = since();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].starts_with(std::string(GetParam().name) + "(")) << lines[0];
    EXPECT_TRUE(lines[0].ends_with(") -> 77")) << lines[0];
    EXPECT_EQ(state(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, SimulatorFaultKey,
    ::testing::Values(
        FaultCase{"SellDept", [](SimulatedPrinter& p) { return p.SellDept(1, "A", eur("1"), 1); }},
        FaultCase{"SellDeptQty", [](SimulatedPrinter& p) { return p.SellDeptQty(1, "A", 2.0f, eur("1"), 1); }},
        FaultCase{"ReturnDept", [](SimulatedPrinter& p) { return p.ReturnDept(1, "A", eur("1"), 1); }},
        FaultCase{"ReturnDeptQty", [](SimulatedPrinter& p) { return p.ReturnDeptQty(1, "A", 2.0f, eur("1"), 1); }},
        FaultCase{"ReturnDeptAmount", [](SimulatedPrinter& p) { return p.ReturnDeptAmount(1, "A", eur("1"), 1); }},
        FaultCase{"AddDescription", [](SimulatedPrinter& p) { return p.AddDescription(1, "A"); }},
        FaultCase{"ExtraLine", [](SimulatedPrinter& p) { return p.ExtraLine(1, 1, "A"); }},
        FaultCase{"Subtotal", [](SimulatedPrinter& p) { return p.Subtotal(1); }},
        FaultCase{"SubtotalDiscount", [](SimulatedPrinter& p) { return p.SubtotalDiscount(1, eur("1")); }},
        FaultCase{"CancelReceipt", [](SimulatedPrinter& p) { return p.CancelReceipt(1); }},
        FaultCase{"PayCash", [](SimulatedPrinter& p) { return p.PayCash(1, eur("1")); }},
        FaultCase{"PayCheque", [](SimulatedPrinter& p) { return p.PayCheque(1, eur("1")); }},
        FaultCase{"PayCard", [](SimulatedPrinter& p) { return p.PayCard(1, 0); }},
        FaultCase{"PayTicket", [](SimulatedPrinter& p) { return p.PayTicket(1, 1, eur("1")); }},
        FaultCase{"PayTender", [](SimulatedPrinter& p) { return p.PayTender(1, "CONTANTI", eur("1"), 0, 0, 1); }},
        FaultCase{"OpenNonFiscal", [](SimulatedPrinter& p) { return p.OpenNonFiscal(1); }},
        FaultCase{"NonFiscalLine", [](SimulatedPrinter& p) { return p.NonFiscalLine(1, 1, "A"); }},
        FaultCase{"CloseNonFiscal", [](SimulatedPrinter& p) { return p.CloseNonFiscal(1); }},
        FaultCase{"DisplayText", [](SimulatedPrinter& p) { return p.DisplayText(1, "A"); }},
        FaultCase{"OpenCmd", [](SimulatedPrinter& p) { return p.OpenCmd(1); }},
        FaultCase{"AmountEntry", [](SimulatedPrinter& p) { return p.AmountEntry(1, eur("1")); }},
        FaultCase{"FiscalClosure", [](SimulatedPrinter& p) { return p.FiscalClosure(1); }},
        FaultCase{"FiscalClosureAlt", [](SimulatedPrinter& p) { return p.FiscalClosureAlt(1); }},
        FaultCase{"PaperEndRecovery", [](SimulatedPrinter& p) { return p.PaperEndRecovery(1); }}),
    rownames::byName);

} // namespace
