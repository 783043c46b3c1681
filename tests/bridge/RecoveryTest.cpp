// SPDX-License-Identifier: MIT
#include "bridge/Bridge.h"
#include "bridge/Recovery.h"
#include "errors/ErrorsBench.h"
#include "errors/FileKind.h"
#include "support/RowNames.h"

#include <filesystem>
#include <ostream>
#include <unistd.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Puts a symbolic link to `target` at `place`, made by another user (which
// needs root: the caller skips otherwise) or by the bridge's own.
void plantLink(const fs::path& target, const fs::path& place, bool anotherUser)
{
    fs::create_symlink(target, place);
    if (anotherUser) {
        ASSERT_EQ(::lchown(place.c_str(), 54321, 54321), 0);
    }
}

// The commands act on the bench's printer, handler, window and clock.
class RecoveryBench : public ErrorsBench {
protected:
    Recovery recovery() { return Recovery(state, errors, printer(), window, clock); }
};

// ---- The six commands: what they all do, and their own printer steps -------

struct Command {
    const char* name;
    void (Recovery::*run)();
    const char* action;
    std::vector<std::string> printerSteps;
    bool writesIdle;
    // What the window's status line hears: the document voided or closed.
    std::vector<std::string> voided;
    friend void PrintTo(const Command& c, std::ostream* os) { *os << c.name; }
};

class OperatorRecovery : public RecoveryBench, public ::testing::WithParamInterface<Command> {
protected:
    void SetUp() override
    {
        printer();
        std::filesystem::create_directories(root / "Kelmora");
        // The copy the reprint takes; without it the reprint reports it.
        testfiles::write(root / "Kelmora" / "_Cassa" / "Old.txt", "F2:1:PANE:1000:150:1\r\n");
        window.printerText = "----- PRINTER ERROR -----";
        window.programText = "----- PROGRAM ERROR -----";
        state.errorState = true;
    }
};

TEST_P(OperatorRecovery, LiftsTheErrorRunsItsStepsAndFilesItsAction)
{
    const Command& c = GetParam();
    (recovery().*c.run)();

    EXPECT_EQ(window.printerText, "");
    EXPECT_EQ(window.programText, "----- PROGRAM ERROR -----");
    EXPECT_FALSE(state.errorState);
    EXPECT_EQ(notFiscalLog(), std::vector<std::string>{std::string("AZIONE;") + Now + ";AZIONE: " + c.action});
    if (c.printerSteps.empty())
        EXPECT_FALSE(traced("OpenPort"));
    else
        EXPECT_TRUE(inOrder(calls(), c.printerSteps));
    EXPECT_EQ(config("Eps_Vuoto"), c.writesIdle ? "-1" : "<none>");
    EXPECT_EQ(window.voids, c.voided);
    EXPECT_EQ(window.clears, 1);
}

TEST_P(OperatorRecovery, ActionUnderAFiscalFileGoesToTheFiscalLog)
{
    errors.fileUnder(jobNamed(FiscalName));
    (recovery().*GetParam().run)();
    ASSERT_FALSE(fiscalLog().empty());
    EXPECT_EQ(fiscalLog().back(), std::string("COR0001.txt;") + Now + ";AZIONE: " + GetParam().action);
}

INSTANTIATE_TEST_SUITE_P(
    Recovery, OperatorRecovery,
    ::testing::Values(
        Command{"cmdChiudiNF",
                &Recovery::cmdChiudiNF,
                "Chiusura scontrino NON Fiscale Bloccato",
                {"OpenPort", "CloseNonFiscal", "ClosePort"},
                true,
                {"Chiusura scontrino NON Fiscale Bloccato"}},
        Command{"cmdChiudiScontrino",
                &Recovery::cmdChiudiScontrino,
                "Annullo Scontrino Fiscale Bloccato",
                {"OpenPort", "CancelReceipt", "ClosePort"},
                true,
                {"Annullo Scontrino Fiscale Bloccato"}},
        Command{"cmdEliminaCor", &Recovery::cmdEliminaCor, "Invio comando Eliminazione Corr ", {}, false, {}},
        Command{"cmdFineCarta",
                &Recovery::cmdFineCarta,
                "Recupero da Fine Carta su Scontrino Fiscale",
                {"OpenPort", "PaperEndRecovery", "ClosePort", "OpenPort", "CancelReceipt", "ClosePort"},
                false,
                {"Recupero da Fine Carta su Scontrino Fiscale"}},
        Command{"cmdFineCartaNoFisc",
                &Recovery::cmdFineCartaNoFisc,
                "Recupero da Fine Carta su Non Fiscale",
                {"OpenPort", "PaperEndRecovery", "ClosePort", "OpenPort", "CloseNonFiscal", "ClosePort"},
                false,
                {"Recupero da Fine Carta su Non Fiscale"}},
        Command{"cmdRistampa", &Recovery::cmdRistampa, "Ristampa Ultimo Scontrino Fiscale", {}, false, {}}),
    rownames::byName);

class PaperEndCommand : public RecoveryBench {};

TEST_F(PaperEndCommand, RefusedRecoveryRaisesTheErrorAgainAndStillVoids)
{
    fault("PaperEndRecovery", "17");
    printer();
    recovery().cmdFineCarta();

    EXPECT_TRUE(state.errorState);
    EXPECT_TRUE(inOrder(calls(), {"PaperEndRecovery", "CancelReceipt"}));
    // The error stands again: the window hears of no recovery.
    EXPECT_EQ(window.clears, 0);
    EXPECT_TRUE(window.voids.empty());
    EXPECT_EQ(notFiscalLog(), (std::vector<std::string>{std::string("Tessiro_Error: ;") + Now + ";opApri PROBLEMI ",
                                                        std::string("AZIONE;") + Now +
                                                            ";AZIONE: Recupero da Fine Carta su Scontrino Fiscale"}));
}

// ---- Exchange with the back-office ----------------------------------------

class DeleteReceipt : public RecoveryBench {
protected:
    fs::path exchange() const { return root / "Kelmora" / "_local.ini"; }
    std::string exchanged(const std::string& key) const { return LeggiINI("Varie", key, "<none>", exchange()); }
};

TEST_F(DeleteReceipt, HandsTheLastFailedFiscalFileToTheBackOffice)
{
    fs::create_directories(root / "Kelmora");
    ASSERT_TRUE(ScriviINI("Varie", "Kelmora_CORR", "COR0001.txt", state.configFile()));

    recovery().cmdEliminaCor();
    recovery().cmdEliminaCor();

    EXPECT_EQ(exchanged("killCorr"), "-1");
    EXPECT_EQ(exchanged("killCorrID"), "COR0001.txt");
    EXPECT_EQ(config("Kelmora_CORR"), "COR0001.txt");
    EXPECT_EQ(notFiscalLog().back(),
              std::string("AZIONE;") + Now + ";AZIONE: Invio comando Eliminazione Corr COR0001.txt");
}

TEST_F(DeleteReceipt, NothingStoredWritesAnEmptyReference)
{
    fs::create_directories(root / "Kelmora");
    recovery().cmdEliminaCor();
    EXPECT_EQ(exchanged("killCorr"), "-1");
    EXPECT_EQ(exchanged("killCorrID"), "");
}

TEST_F(DeleteReceipt, ExchangeFileLinkedByAnotherUserIsNotWrittenThroughAndSaysWhy)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "a link made by another user needs root (lchown)";
    const fs::path outside = root / "altrove" / "privato.ini";
    testfiles::write(outside, "[Varie]\r\nsegreto=1\r\n");
    fs::create_directories(root / "Kelmora");
    plantLink(outside, exchange(), true);

    recovery().cmdEliminaCor();

    EXPECT_EQ(testfiles::read(outside), "[Varie]\r\nsegreto=1\r\n");
    EXPECT_TRUE(fs::is_symlink(exchange()));
    const auto log = notFiscalLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], std::string("Tessiro_Error: ;") + Now +
                          ";Eliminazione Corr non inviata: scrittura non riuscita in Kelmora\\_local.ini (symbolic "
                          "link, not followed)");
}

TEST_F(DeleteReceipt, ExchangeFileThatCannotBeWrittenIsReported)
{
    // The folder's name comes from the shared INI: the record quotes it
    // without its escape sequence.
    state.settings.dataDir = "manca\x1b[2J\\";
    testfiles::write(root / "manca\x1b[2J", "un file, non una cartella");

    recovery().cmdEliminaCor();

    EXPECT_TRUE(state.errorState);
    const auto log = notFiscalLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_NE(log[0].find("Eliminazione Corr non inviata: scrittura non riuscita in manca?[2J\\"), std::string::npos)
        << log[0];
    EXPECT_EQ(testfiles::strayControls(testfiles::read(state.notFiscalLog())), "");
    EXPECT_EQ(log[1], std::string("AZIONE;") + Now + ";AZIONE: Invio comando Eliminazione Corr ");
}

class Reprint : public RecoveryBench {
protected:
    fs::path source() const { return root / "Kelmora" / "_Cassa" / "Old.txt"; }
    fs::path target() const { return state.dropDir() / "Old.txt"; }
    std::vector<std::string> dropFolder() const
    {
        std::vector<std::string> names;
        if (fs::exists(state.dropDir()))
            for (const auto& entry : fs::directory_iterator(state.dropDir()))
                names.push_back(entry.path().filename().string());
        return names;
    }
};

TEST_F(Reprint, CopiesTheLastReceiptIntoTheDropFolderByteForByte)
{
    const std::string receipt = "1:F2:Articolo \x80 1:100:150:1\r\n1:F4:1:0:150:1\r\n";
    testfiles::write(source(), receipt);
    testfiles::write(target(), "older receipt, longer than the new one ..............................");

    recovery().cmdRistampa();

    EXPECT_EQ(testfiles::read(target()), receipt);
    EXPECT_EQ(dropFolder(), std::vector<std::string>{"Old.txt"});
    EXPECT_FALSE(state.errorState);
}

TEST_F(Reprint, MissingCopyIsSaidAndFiledBeforeTheUnchangedAction)
{
    recovery().cmdRistampa();
    EXPECT_TRUE(dropFolder().empty());
    EXPECT_FALSE(state.errorState);
    EXPECT_EQ(notFiscalLog(),
              (std::vector<std::string>{std::string("Tessiro_Error: ;") + Now +
                                            ";Ristampa non riuscita: manca Kelmora\\_Cassa\\Old.txt",
                                        std::string("AZIONE;") + Now + ";AZIONE: Ristampa Ultimo Scontrino Fiscale"}));
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].kind, "inform");
    EXPECT_NE(window.boxes[0].text.find("Kelmora\\_Cassa\\Old.txt"), std::string::npos);
}

TEST_F(Reprint, CopyThatCannotBePutInPlaceIsReportedAndLeavesNoPartialFile)
{
    testfiles::write(source(), "1:F4:1:0:150:1\r\n");
    testfiles::write(target() / "occupato", "x"); // a non-empty folder named Old.txt

    recovery().cmdRistampa();

    EXPECT_TRUE(state.errorState);
    EXPECT_EQ(dropFolder(), std::vector<std::string>{"Old.txt"});
    EXPECT_NE(notFiscalLog().front().find("Ristampa non riuscita"), std::string::npos);
}

// A link in the place of the data directory's _Cassa or Old.txt, or of
// Ostro: followed when the bridge's user (the installer) made it, refused
// with one record when another user did. A refused link's target is neither
// read into Ostro nor written.
struct ReprintLinkCase {
    const char* name;
    const char* linked; // "_Cassa", "Old.txt" or "Ostro"
    bool anotherUser;
    const char* record; // the one record of a refusal; none when followed
    friend void PrintTo(const ReprintLinkCase& c, std::ostream* os) { *os << c.name; }
};

class ReprintThroughALink : public Reprint, public ::testing::WithParamInterface<ReprintLinkCase> {};

TEST_P(ReprintThroughALink, IsFollowedOnlyWhenTheInstallerMadeIt)
{
    const ReprintLinkCase& c = GetParam();
    if (c.anotherUser && ::geteuid() != 0)
        GTEST_SKIP() << "a link made by another user needs root (lchown)";
    const std::string receipt = "1:F4:1:0:150:1\r\n";
    const fs::path outside = root / "altrove";
    const std::string linked = c.linked;
    if (linked == "_Cassa") {
        testfiles::write(outside / "Old.txt", receipt);
        fs::create_directories(root / "Kelmora");
        plantLink(outside, root / "Kelmora" / "_Cassa", c.anotherUser);
    } else if (linked == "Old.txt") {
        testfiles::write(outside / "ricevuta.txt", receipt);
        fs::create_directories(source().parent_path());
        plantLink(outside / "ricevuta.txt", source(), c.anotherUser);
    } else {
        testfiles::write(source(), receipt);
        fs::create_directories(outside);
        plantLink(outside, state.dropDir(), c.anotherUser);
    }

    recovery().cmdRistampa();

    const fs::path copy = linked == "Ostro" ? outside / "Old.txt" : target();
    const auto log = notFiscalLog();
    if (!*c.record) {
        EXPECT_EQ(testfiles::read(copy), receipt);
        EXPECT_FALSE(state.errorState);
        ASSERT_EQ(log.size(), 1u);
        return;
    }
    EXPECT_FALSE(fs::exists(linked == "Ostro" ? outside / "Old.txt" : target()));
    EXPECT_TRUE(fs::is_symlink(linked == "_Cassa" ? root / "Kelmora" / "_Cassa"
                               : linked == "Old.txt" ? source()
                                                     : state.dropDir()));
    EXPECT_TRUE(state.errorState);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], std::string("Tessiro_Error: ;") + Now + ";" + c.record);
    EXPECT_EQ(log[1], std::string("AZIONE;") + Now + ";AZIONE: Ristampa Ultimo Scontrino Fiscale");
}

INSTANTIATE_TEST_SUITE_P(
    Reprint, ReprintThroughALink,
    ::testing::Values(
        ReprintLinkCase{"CassaOfAnotherUser", "_Cassa", true,
                        "Ristampa non riuscita: copia di Kelmora\\_Cassa\\Old.txt (symbolic link, not followed)"},
        ReprintLinkCase{"OldTxtOfAnotherUser", "Old.txt", true,
                        "Ristampa non riuscita: copia di Kelmora\\_Cassa\\Old.txt (symbolic link, not followed)"},
        ReprintLinkCase{"OstroOfAnotherUser", "Ostro", true,
                        "Collegamento simbolico non seguito al posto della cartella Ostro: ristampa non eseguita"},
        ReprintLinkCase{"CassaOfTheInstaller", "_Cassa", false, ""},
        ReprintLinkCase{"OldTxtOfTheInstaller", "Old.txt", false, ""},
        ReprintLinkCase{"OstroOfTheInstaller", "Ostro", false, ""}),
    rownames::byName);

// ---- Log renewal -------------------------------------------------------------

class LogRenewal : public RecoveryBench {
protected:
    void SetUp() override
    {
        testfiles::write(state.fiscalLog(), "fiscale\r\n");
        testfiles::write(state.notFiscalLog(), "non fiscale\r\n");
    }
    fs::path bin() const { return root / "Cestino"; }
};

TEST_F(LogRenewal, CancelLeavesBothLogsWhereTheyAre)
{
    window.answers = {false};
    EXPECT_FALSE(recovery().RicreaLog(true));

    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].kind, "okcancel");
    EXPECT_EQ(window.boxes[0].title, "File LOG");
    EXPECT_EQ(window.boxes[0].text, "Si vogliono ricreare nuovi file di Log ?");
    EXPECT_EQ(testfiles::read(state.fiscalLog()), "fiscale\r\n");
    EXPECT_EQ(testfiles::read(state.notFiscalLog()), "non fiscale\r\n");
    EXPECT_FALSE(fs::exists(bin()));
}

TEST_F(LogRenewal, OkMovesBothLogsIntoTheBinUnderTheStamp)
{
    window.answers = {true};
    EXPECT_TRUE(recovery().RicreaLog(true));

    EXPECT_EQ(testfiles::read(bin() / "202612080509FiscalError.log"), "fiscale\r\n");
    EXPECT_EQ(testfiles::read(bin() / "202612080509NotFiscalError.log"), "non fiscale\r\n");
    EXPECT_FALSE(fs::exists(state.fiscalLog()));
    EXPECT_FALSE(fs::exists(state.notFiscalLog()));

    errors.registraAzione("dopo");
    EXPECT_EQ(notFiscalLog(), std::vector<std::string>{std::string("AZIONE;") + Now + ";AZIONE: dopo"});
}

TEST_F(LogRenewal, OnlyLogPresentIsMoved)
{
    fs::remove(state.fiscalLog());
    EXPECT_TRUE(recovery().RicreaLog(false));
    EXPECT_TRUE(window.boxes.empty());
    EXPECT_TRUE(fs::exists(bin() / "202612080509NotFiscalError.log"));
    EXPECT_FALSE(fs::exists(bin() / "202612080509FiscalError.log"));
}

TEST_F(LogRenewal, BinThatIsALinkIsNeitherFilledNorFollowedAndHasOneRecord)
{
    const fs::path outside = root / "altrove";
    fs::create_directories(outside);
    plantLink(outside, bin(), false);

    EXPECT_TRUE(recovery().RicreaLog(false));

    EXPECT_TRUE(fs::is_empty(outside));
    EXPECT_EQ(testfiles::read(state.fiscalLog()), "fiscale\r\n");
    const auto log = notFiscalLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1], std::string("Tessiro_Error: ;") + Now + ";" + MsgCartellaCollegamento + "Cestino: log non rinnovati");
}

TEST_F(LogRenewal, SameMinuteAndSecondOfAnotherHourKeepsBothRenewals)
{
    recovery().RicreaLog(false);
    testfiles::write(state.fiscalLog(), "fiscale, seconda ora\r\n");
    clock.now.tm_hour += 1;

    recovery().RicreaLog(false);

    EXPECT_EQ(testfiles::read(bin() / "202612080509FiscalError.log"), "fiscale\r\n");
    EXPECT_EQ(testfiles::read(bin() / "202612080509_2FiscalError.log"), "fiscale, seconda ora\r\n");
    EXPECT_FALSE(fs::exists(state.fiscalLog()));
}

} // namespace
