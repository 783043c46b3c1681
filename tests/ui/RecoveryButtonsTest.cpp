// SPDX-License-Identifier: MIT
#include "support/RowNames.h"
#include "ui/WindowFixture.h"

namespace fs = std::filesystem;

namespace {

// The printer state a button is meant to get the shop out of.
enum class Blocked { Nothing, NonFiscalOpen, FiscalOpen, PaperEndInFiscal, PaperEndInNonFiscal };

struct RecoveryCase {
    const char* button;
    Blocked blocked;
    std::vector<std::string> calls; // printer calls in order, each between an OpenPort and a ClosePort
    const char* action;
};

std::ostream& operator<<(std::ostream& out, const RecoveryCase& c)
{
    return out << c.button;
}

// Lines of `text` after the first `from` characters.
std::vector<std::string> linesAfter(const std::string& text, size_t from)
{
    std::vector<std::string> out;
    std::string line;
    for (size_t i = std::min(from, text.size()); i < text.size(); ++i) {
        if (text[i] == '\n') {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            out.push_back(line);
            line.clear();
        } else {
            line += text[i];
        }
    }
    if (!line.empty())
        out.push_back(line);
    return out;
}

} // namespace

class RecoveryButton : public WindowFixture, public ::testing::WithParamInterface<RecoveryCase> {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        if (GetParam().blocked == Blocked::Nothing)
            return;
        printer->setComPort(1);
        printer->OpenPort();
        const Blocked b = GetParam().blocked;
        if (b == Blocked::NonFiscalOpen || b == Blocked::PaperEndInNonFiscal)
            ASSERT_EQ(printer->OpenNonFiscal(1), 0);
        else
            ASSERT_EQ(printer->SellDept(1, "PANE", Currency::fromHundredths(150), 1), 0);
        printer->ClosePort();
        if (b == Blocked::PaperEndInFiscal || b == Blocked::PaperEndInNonFiscal)
            testfiles::write(prog / "Simulatore" / "guasti.ini", "[Guasti]\r\nFineCarta=1\r\n");
    }
};

TEST_P(RecoveryButton, EmptiesPrinterLabelKeepsProgramLabelAndLowersTheFlag)
{
    window->showOnTop();
    window->setPrinterErrorText("----- PRINTER ERROR -----");
    window->setProgramErrorText("----- PROGRAM ERROR -----");
    state.errorState = true;

    click(GetParam().button);

    EXPECT_EQ(window->printerErrorText(), "");
    EXPECT_EQ(child<QPlainTextEdit>("MsgErrori")->toPlainText(), QString());
    EXPECT_EQ(window->programErrorText(), "----- PROGRAM ERROR -----");
    EXPECT_EQ(child<QPlainTextEdit>("MsgErrore_NOPrinter")->toPlainText(), QStringLiteral("----- PROGRAM ERROR -----"));
    EXPECT_FALSE(state.errorState);
}

TEST_P(RecoveryButton, FilesItsActionRecordLast)
{
    click(GetParam().button);

    const std::vector<std::string> log = notFiscalLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), actionRecord(GetParam().action));
}

TEST_P(RecoveryButton, RunsItsPrinterStepsEachWithThePortAround)
{
    const size_t before = trace().size();

    click(GetParam().button);

    std::vector<std::string> expected;
    for (const std::string& call : GetParam().calls) {
        expected.push_back("OpenPort()");
        expected.push_back(call);
        expected.push_back("ClosePort()");
    }
    std::vector<std::string> seen;
    for (const std::string& line : linesAfter(trace(), before)) {
        const bool portQuery = line.rfind("PortIsOpen()", 0) == 0;
        if (line == "OpenPort()" || line == "ClosePort()" || (line.find(") -> ") != std::string::npos && !portQuery))
            seen.push_back(line);
    }
    EXPECT_EQ(seen, expected);
}

INSTANTIATE_TEST_SUITE_P(
    SixButtons, RecoveryButton,
    ::testing::Values(RecoveryCase{"cmdChiudiNF",
                                   Blocked::NonFiscalOpen,
                                   {"CloseNonFiscal(1) -> 0"},
                                   "Chiusura scontrino NON Fiscale Bloccato"},
                      RecoveryCase{"cmdChiudiScontrino",
                                   Blocked::FiscalOpen,
                                   {"CancelReceipt(1) -> 0"},
                                   "Annullo Scontrino Fiscale Bloccato"},
                      RecoveryCase{"cmdEliminaCor", Blocked::Nothing, {}, "Invio comando Eliminazione Corr "},
                      RecoveryCase{"cmdFineCarta",
                                   Blocked::PaperEndInFiscal,
                                   {"PaperEndRecovery(1) -> 0", "CancelReceipt(1) -> 0"},
                                   "Recupero da Fine Carta su Scontrino Fiscale"},
                      RecoveryCase{"cmdFineCartaNoFisc",
                                   Blocked::PaperEndInNonFiscal,
                                   {"PaperEndRecovery(1) -> 0", "CloseNonFiscal(1) -> 0"},
                                   "Recupero da Fine Carta su Non Fiscale"},
                      RecoveryCase{"cmdRistampa", Blocked::Nothing, {}, "Ristampa Ultimo Scontrino Fiscale"}),
    rownames::by(&RecoveryCase::button));

using RecoveryExchange = WindowFixture;

TEST_F(RecoveryExchange, EliminaCorHandsTheFailedReceiptToTheBackOffice)
{
    config("Kelmora_CORR", "COR_test.txt");

    click("cmdEliminaCor");

    const fs::path exchange = data / keys::ExchangeFile;
    EXPECT_EQ(LeggiINI(keys::Section, keys::killCorr, "<missing>", exchange), "-1");
    EXPECT_EQ(LeggiINI(keys::Section, keys::killCorrID, "<missing>", exchange), "COR_test.txt");
    EXPECT_EQ(notFiscalLog().back(), actionRecord("Invio comando Eliminazione Corr COR_test.txt"));
}

TEST_F(RecoveryExchange, RistampaCopiesTheLastReceiptIntoTheDropFolder)
{
    const std::string receipt = "F2:1:PANE:1000:150:3\r\nF4:1:150:1\r\n";
    testfiles::write(data / "_Cassa" / "Old.txt", receipt);
    testfiles::write(prog / "Ostro" / "Old.txt", "stale");

    click("cmdRistampa");

    EXPECT_EQ(testfiles::read(prog / "Ostro" / "Old.txt"), receipt);
}

TEST_F(RecoveryExchange, RistampaWithoutACopySaysSoAndKeepsItsActionRecord)
{
    click("cmdRistampa");

    EXPECT_FALSE(fs::exists(prog / "Ostro" / "Old.txt"));
    const std::string missing = data.string() + "/_Cassa\\Old.txt";
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("manca"))) << boxes[0].text.toStdString();
    EXPECT_TRUE(boxes[0].text.contains(QString::fromStdString(missing))) << boxes[0].text.toStdString();
    const std::vector<std::string> log = notFiscalLog();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], record("Tessiro_Error: ", "Ristampa non riuscita: manca " + missing));
    EXPECT_EQ(log.back(), actionRecord("Ristampa Ultimo Scontrino Fiscale"));
    EXPECT_FALSE(state.errorState);
}
