// SPDX-License-Identifier: MIT
#include "errors/ErrorsBench.h"
#include "errors/FileKind.h"
#include "support/RowNames.h"
#include "support/WritesRefused.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A row named after the command file that runs, if any.
std::string fileRowName(std::string_view file)
{
    return file.empty() ? "NoFile" : rownames::sanitised(file);
}
template <class Row>
std::string byFile(const ::testing::TestParamInfo<Row>& info)
{
    return fileRowName(info.param.name);
}

// ---- Which log, which reference, and Kelmora_CORR --------------------------

struct Routing {
    const char* name;
    bool fiscal;
    const char* reference;
};

class FailureRouting : public ErrorsBench, public ::testing::WithParamInterface<Routing> {};

TEST_P(FailureRouting, RecordGoesToTheLogTheJobsNameChoosesUnderItsReference)
{
    const Routing& c = GetParam();
    errors.fileUnder(jobNamed(c.name));
    errors.registraErrore("Vendita rifiutata - 3");

    const std::string record = std::string("Tessiro_Error: ") + c.reference + ";" + Now + ";Vendita rifiutata - 3";
    EXPECT_EQ(c.fiscal ? fiscalLog() : notFiscalLog(), std::vector<std::string>{record});
    EXPECT_FALSE(fs::exists(c.fiscal ? state.notFiscalLog() : state.fiscalLog()));
    EXPECT_EQ(config("Kelmora_CORR"), c.fiscal ? c.reference : "<none>");
}

INSTANTIATE_TEST_SUITE_P(ErrorHandler, FailureRouting,
                         ::testing::Values(Routing{"20261208140509COR0001.txt", true, "COR0001.txt"},
                                           Routing{"", false, ""},
                                           Routing{"20261208140509cor0001.txt", false, "20261208140509cor0001.txt"},
                                           Routing{"12345678901234", false, "12345678901234"},
                                           Routing{"20261208140509NFS0001.txt", false, "20261208140509NFS0001.txt"}),
                         byFile<Routing>);

// ---- The record and the window ---------------------------------------------

class FailureRecord : public ErrorsBench {};

TEST_F(FailureRecord, TheJobsKindChoosesTheLogUntilAnotherJobOrNoneIsGiven)
{
    Job job;
    job.name = "scontrino.txt";
    job.kind = Job::Kind::Fiscal;
    errors.fileUnder(job);
    EXPECT_EQ(state.currentFileName(), "scontrino.txt");
    errors.logOnly("uno");
    errors.registraAzione("due");
    errors.fileUnderNone();
    EXPECT_EQ(state.currentFileName(), "");
    errors.logOnly("tre");

    EXPECT_EQ(fiscalLog(), (std::vector<std::string>{std::string("Tessiro_Error: scontrino.txt;") + Now + ";uno",
                                                     std::string("scontrino.txt;") + Now + ";AZIONE: due"}));
    EXPECT_EQ(notFiscalLog(), std::vector<std::string>{std::string("Tessiro_Error: ;") + Now + ";tre"});
}

TEST_F(FailureRecord, PrinterFlagChoosesThePrefix)
{
    errors.registraErrore("uno", true);
    errors.registraErrore("due", false);
    EXPECT_EQ(notFiscalLog(), (std::vector<std::string>{std::string("PrinterError: ;") + Now + ";uno",
                                                        std::string("Tessiro_Error: ;") + Now + ";due"}));
}

TEST_F(FailureRecord, AppendsToAnExistingLogAndNeverTruncatesIt)
{
    testfiles::write(state.notFiscalLog(), "vecchio record\r\n");
    errors.registraErrore("primo");
    errors.registraErrore("secondo");
    EXPECT_EQ(testfiles::read(state.notFiscalLog()), std::string("vecchio record\r\nTessiro_Error: ;") + Now +
                                                         ";primo\r\nTessiro_Error: ;" + Now + ";secondo\r\n");
}

TEST_F(FailureRecord, RecordTheDiskCutsShortLeavesNoPartOfItAndIsWrittenWholeLater)
{
    const std::string before = "vecchio record\r\n";
    testfiles::write(state.notFiscalLog(), before);
    {
        // Room for a few bytes of the record, not for all of it.
        const WritesRefused nearlyFull(before.size() + 10);
        ::testing::internal::CaptureStderr();
        errors.registraErrore("stampante spenta");
        ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(testfiles::read(state.notFiscalLog()), before);
    }
    EXPECT_TRUE(errors.writePending());
    EXPECT_EQ(testfiles::read(state.notFiscalLog()), before + "Tessiro_Error: ;" + Now + ";stampante spenta\r\n");
}

TEST_F(FailureRecord, MessageBytesAreWrittenUnchanged)
{
    const std::string message = "Livello: 2\r\n EpsonError: 7\r\nprezzo; 5 \x80 \xe8";
    errors.registraErrore(message);
    EXPECT_EQ(testfiles::read(state.notFiscalLog()), std::string("Tessiro_Error: ;") + Now + ";" + message + "\r\n");
}

TEST_F(FailureRecord, ProgramErrorFillsItsLabelAndBringsTheWindowToTheFront)
{
    window.printerText = "errore stampante precedente";
    errors.registraErrore("Apertura Porta: assente");

    EXPECT_EQ(state.lastErrorText, std::string(Now) + "\r\nApertura Porta: assente");
    EXPECT_EQ(window.programText, std::string("----- PROGRAM ERROR -----\r\n") + Now + "\r\nApertura Porta: assente");
    EXPECT_EQ(window.printerText, "errore stampante precedente");
    EXPECT_TRUE(state.errorState);
    EXPECT_TRUE(window.visible);
    EXPECT_TRUE(window.topmost);
}

TEST_F(FailureRecord, PrinterErrorLabelAlwaysSaysRecoveryFailed)
{
    window.programText = "errore programma precedente";
    errors.registraErrore("carta esaurita", true);

    EXPECT_EQ(window.printerText, std::string("----- PRINTER ERROR -----\r\n") + Now +
                                      "\r\ncarta esaurita\r\n\r\n!!!!  Recupero NON riuscito  !!!!");
    EXPECT_EQ(window.programText, "errore programma precedente");
    EXPECT_TRUE(state.errorState);
}

struct DisplayCase {
    const char* name;
    bool display;
};

class DisplayMessageFile : public ErrorsBench, public ::testing::WithParamInterface<DisplayCase> {};

TEST_P(DisplayMessageFile, FailureIsLoggedButLeavesNothingStanding)
{
    errors.fileUnder(jobNamed(GetParam().name));
    errors.registraErrore("opMsgVisoreCortesia PROBLEMI 5", true);

    ASSERT_EQ(notFiscalLog().size(), 1u);
    if (GetParam().display) {
        EXPECT_EQ(window.printerText, "");
        EXPECT_EQ(window.programText, "");
        EXPECT_FALSE(state.errorState);
        EXPECT_FALSE(window.visible);
        EXPECT_EQ(window.hides, 1);
    } else {
        EXPECT_NE(window.printerText, "");
        EXPECT_TRUE(state.errorState);
        EXPECT_TRUE(window.visible);
    }
}

INSTANTIATE_TEST_SUITE_P(ErrorHandler, DisplayMessageFile,
                         ::testing::Values(DisplayCase{"20261208140509display.txt", true},
                                           DisplayCase{"msgdisplay", true},
                                           DisplayCase{"20261208140509Display.txt", false}),
                         byFile<DisplayCase>);

// What may stand where the log should be: a folder, or a link a member of
// the folder's group planted to a file of the bridge's user (a script that
// would then run the record's text). Nothing is written through a link.
struct UnwritableCase {
    const char* name;
    bool link;
    const char* why; // what standard error says of the log
    // Records are said on standard error by an observer too (headless).
    ErrorHandler::Echoed echoed = ErrorHandler::Echoed::None;
};
void PrintTo(const UnwritableCase& c, std::ostream* os)
{
    *os << c.name;
}

class UnwritableLog : public FailureRecord, public ::testing::WithParamInterface<UnwritableCase> {};

TEST_P(UnwritableLog, IsSaidOnStderrAndTheRestStillRuns)
{
    const fs::path target = state.programDir / "altrove" / "avvio.sh";
    if (GetParam().link) {
        testfiles::write(target, "#!/bin/sh\n");
        fs::create_symlink(target, state.notFiscalLog());
    } else {
        fs::create_directories(state.notFiscalLog());
    }
    std::vector<std::string> observed;
    errors.echoedOnStderr = GetParam().echoed;
    errors.onRecord = [&](ErrorHandler::RecordKind, const std::string&, const std::string& record) {
        observed.push_back(record);
        if (GetParam().echoed != ErrorHandler::Echoed::None)
            std::cerr << record << '\n';
    };

    ::testing::internal::CaptureStderr();
    errors.registraErrore("stampante spenta");
    const std::string said = ::testing::internal::GetCapturedStderr();

    EXPECT_NE(said.find("NotFiscalError.log not written (the log: " + std::string(GetParam().why) + ")"),
              std::string::npos)
        << said;
    // Once: kept, the record is not lost, and not said twice.
    EXPECT_EQ(said.find("stampante spenta"), said.rfind("stampante spenta")) << said;
    EXPECT_NE(said.find("stampante spenta"), std::string::npos);
    EXPECT_EQ(observed, std::vector<std::string>{std::string("Tessiro_Error: ;") + Now + ";stampante spenta"});
    EXPECT_TRUE(state.errorState);
    EXPECT_NE(window.programText.find("stampante spenta"), std::string::npos);
    if (GetParam().link) {
        EXPECT_EQ(testfiles::read(target), "#!/bin/sh\n");
        EXPECT_TRUE(fs::is_symlink(state.notFiscalLog()));
    }
}

INSTANTIATE_TEST_SUITE_P(ErrorHandler, UnwritableLog,
                         ::testing::Values(UnwritableCase{"FolderInItsPlace", false, "a folder where a file belongs"},
                                           UnwritableCase{"LinkToAFileOfTheBridgesUser", true,
                                                          "symbolic link, not followed"},
                                           UnwritableCase{"FolderWithRecordsSaidOnStderr", false,
                                                          "a folder where a file belongs",
                                                          ErrorHandler::Echoed::All}),
                         rownames::byName);

// ---- The void on a sequence error ------------------------------------------

class SequenceErrorVoid : public ErrorsBench {};

TEST_F(SequenceErrorVoid, FiscalFileIsLoggedFirstThenTheReceiptIsVoidedOnTheWorkingPort)
{
    printer();
    errors.fileUnder(jobNamed(FiscalName));
    bool voidedBeforeRecord = true;
    errors.onRecord = [&](ErrorHandler::RecordKind, const std::string&, const std::string&) {
        voidedBeforeRecord = traced("CancelReceipt");
    };

    errors.registraErrore("SEQUENZA ERRATA nella vendita");

    EXPECT_FALSE(voidedBeforeRecord);
    EXPECT_EQ(fiscalLog(), std::vector<std::string>{std::string("Tessiro_Error: COR0001.txt;") + Now +
                                                    ";SEQUENZA ERRATA nella vendita"});
    EXPECT_TRUE(inOrder(calls(), {"OpenOptionA", "ComPort", "ComSettings", "OpenPort", "CancelReceipt", "ClosePort"}));
    EXPECT_TRUE(traceHasLine("ComPort = 3"));
    EXPECT_TRUE(traceHasLine("CancelReceipt(1)"));
    EXPECT_FALSE(printer().PortIsOpen());
    EXPECT_EQ(window.voids, std::vector<std::string>{"SEQUENZA ERRATA"});
}

struct NoVoidCase {
    const char* name;
    const char* message;
};

class SequenceErrorNoVoid : public ErrorsBench, public ::testing::WithParamInterface<NoVoidCase> {};

TEST_P(SequenceErrorNoVoid, NothingIsSentToThePrinter)
{
    printer();
    errors.fileUnder(jobNamed(GetParam().name));
    errors.registraErrore(GetParam().message);
    EXPECT_FALSE(traced("CancelReceipt"));
    EXPECT_FALSE(traced("OpenPort"));
}

INSTANTIATE_TEST_SUITE_P(ErrorHandler, SequenceErrorNoVoid,
                         ::testing::Values(NoVoidCase{"20261208140509NFS0001.txt", "SEQUENZA ERRATA"},
                                           NoVoidCase{"", "SEQUENZA ERRATA"},
                                           NoVoidCase{"20261208140509COR0001.txt", "sequenza errata"},
                                           NoVoidCase{"20261208140509COR0001.txt", "Vendita rifiutata"}),
                         rownames::by([](const NoVoidCase& c) { return fileRowName(c.name) + "_" + c.message; }));

TEST_F(SequenceErrorVoid, PortFailureInsideTheVoidIsLoggedOnceAndStartsNoSecondVoid)
{
    // The port's own complaint carries the trigger text: without a guard the
    // void would report it, void again, and never end.
    fault("OpenPort", "SEQUENZA ERRATA: porta occupata");
    printer();
    errors.fileUnder(jobNamed(FiscalName));

    errors.registraErrore("SEQUENZA ERRATA");

    const auto log = fiscalLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], std::string("Tessiro_Error: COR0001.txt;") + Now + ";SEQUENZA ERRATA");
    EXPECT_EQ(log[1],
              std::string("Tessiro_Error: COR0001.txt;") + Now + ";Apertura Porta: SEQUENZA ERRATA: porta occupata");
    const auto names = calls();
    EXPECT_EQ(std::count(names.begin(), names.end(), "OpenPort"), 1);
    EXPECT_TRUE(state.errorState);
}

TEST_F(SequenceErrorVoid, RefusedVoidIsFiledOnceThroughThePrinterEvent)
{
    // The refusal's event text is itself "SEQUENZA ERRATA" on a fiscal file.
    fault("CancelReceipt", "3");
    connectEvent();
    errors.fileUnder(jobNamed(FiscalName));

    errors.registraErrore("SEQUENZA ERRATA");

    const auto log = fiscalLog();
    ASSERT_EQ(log.size(), 4u); // the record runs over three lines
    EXPECT_EQ(log[0], std::string("Tessiro_Error: COR0001.txt;") + Now + ";SEQUENZA ERRATA");
    EXPECT_EQ(log[1], std::string("PrinterError: COR0001.txt;") + Now + ";Livello: 2");
    EXPECT_EQ(log[2], " EpsonError: 3");
    EXPECT_EQ(log[3], "SEQUENZA ERRATA");
    const auto names = calls();
    EXPECT_EQ(std::count(names.begin(), names.end(), "CancelReceipt"), 1);
    EXPECT_NE(window.printerText.find("!!!!  Recupero NON riuscito  !!!!"), std::string::npos);
    // The roll shows no void: the window must not say there was one.
    EXPECT_TRUE(window.voids.empty());
}

TEST_F(SequenceErrorVoid, ReportedVoidMayStartANewVoidOnTheNextFailure)
{
    fault("OpenPort", "SEQUENZA ERRATA");
    printer();
    errors.fileUnder(jobNamed(FiscalName));
    errors.registraErrore("SEQUENZA ERRATA");
    errors.registraErrore("SEQUENZA ERRATA");
    const auto names = calls();
    EXPECT_EQ(std::count(names.begin(), names.end(), "OpenPort"), 2);
}

// ---- Printer error event and the panel -------------------------------------

class PrinterEvent : public ErrorsBench {};

TEST_F(PrinterEvent, EventIsFiledAsAPrinterErrorWithTheControlsText)
{
    const std::string text = printer().ErrorText(2, 0);
    connectEvent();
    printer().onErrorEvent(2, 0);

    const std::string message = "Livello: 2\r\n EpsonError: 0\r\n" + text;
    EXPECT_EQ(testfiles::read(state.notFiscalLog()), std::string("PrinterError: ;") + Now + ";" + message + "\r\n");
    EXPECT_EQ(window.printerText, std::string("----- PRINTER ERROR -----\r\n") + Now + "\r\n" + message +
                                      "\r\n\r\n!!!!  Recupero NON riuscito  !!!!");
    EXPECT_TRUE(state.errorState);
}

TEST_F(PrinterEvent, ControlsTextReachesTheLogAndTheWindowWithoutItsControlCharacters)
{
    fault("OpenPort", "Porta\x1b[2J assente\x07\x7f");
    connectEvent();
    EXPECT_FALSE(ApriPorta(printer(), errors, state.settings.portNumber, state.settings.portSettings));

    EXPECT_EQ(notFiscalLog(), (std::vector<std::string>{std::string("Tessiro_Error: ;") + Now +
                                                        ";Apertura Porta: Porta?[2J assente??"}));
    EXPECT_EQ(testfiles::strayControls(testfiles::read(state.notFiscalLog())), "");
    EXPECT_EQ(window.programText,
              std::string("----- PROGRAM ERROR -----\r\n") + Now + "\r\nApertura Porta: Porta?[2J assente??");
}

TEST_F(PrinterEvent, RefusedCallOfTheSimulatorRaisesTheEventThroughTheHandler)
{
    fault("PaperEndRecovery", "31");
    connectEvent();
    printer().PaperEndRecovery(1);

    ASSERT_FALSE(notFiscalLog().empty());
    EXPECT_EQ(notFiscalLog().front().rfind("PrinterError: ;", 0), 0u);
    EXPECT_NE(window.printerText.find("!!!!  Recupero NON riuscito  !!!!"), std::string::npos);
}

class ErrorToWindow : public ErrorsBench {};

TEST_F(ErrorToWindow, VisualizzaFormShowsTheLastErrorOnTopWithoutShowingAHiddenWindow)
{
    errors.registraErrore("guasto");
    window.visible = false;
    window.topmost = false;
    state.errorState = false;

    errors.visualizzaForm();

    EXPECT_EQ(window.printerText, std::string("----- ERRORE -----\r\n") + Now + "\r\nguasto\r\n");
    EXPECT_TRUE(window.topmost);
    EXPECT_FALSE(window.visible);
    EXPECT_FALSE(state.errorState);
}

TEST_F(ErrorToWindow, SvuotaErroriEmptiesOnlyThePrinterLabel)
{
    errors.registraErrore("programma", false);
    errors.registraErrore("stampante", true);
    const std::string programText = window.programText;

    errors.SvuotaErrori();

    EXPECT_EQ(window.printerText, "");
    EXPECT_EQ(window.programText, programText);
    EXPECT_TRUE(state.errorState);
    EXPECT_EQ(notFiscalLog().size(), 2u);
}

// ---- Action records and record-only failures ------------------------------

// The same routing as a failure's: file name, log, reference.
using ActionCase = Routing;

class ActionRecord : public ErrorsBench, public ::testing::WithParamInterface<ActionCase> {};

TEST_P(ActionRecord, GoesToTheLogOfTheCurrentFileAndShowsNothing)
{
    const ActionCase& c = GetParam();
    errors.fileUnder(jobNamed(c.name));
    errors.registraAzione("Chiusura Programma");

    EXPECT_EQ(c.fiscal ? fiscalLog() : notFiscalLog(),
              std::vector<std::string>{std::string(c.reference) + ";" + Now + ";AZIONE: Chiusura Programma"});
    EXPECT_FALSE(fs::exists(c.fiscal ? state.notFiscalLog() : state.fiscalLog()));
    EXPECT_FALSE(state.errorState);
    EXPECT_EQ(window.shows, 0);
    EXPECT_EQ(config("Kelmora_CORR"), "<none>");
}

INSTANTIATE_TEST_SUITE_P(ErrorHandler, ActionRecord,
                         ::testing::Values(ActionCase{"", false, "AZIONE"},
                                           ActionCase{"20261208140509COR0001.txt", true, "COR0001.txt"},
                                           ActionCase{"20261208140509NFS0001.txt", false, "20261208140509NFS0001.txt"}),
                         byFile<ActionCase>);

class RecordOnly : public ErrorsBench {};

TEST_F(RecordOnly, LogOnlyFilesAFailureRecordAndNothingElse)
{
    errors.fileUnder(jobNamed(FiscalName));
    errors.logOnly("File scartato");

    EXPECT_EQ(fiscalLog(),
              std::vector<std::string>{std::string("Tessiro_Error: COR0001.txt;") + Now + ";File scartato"});
    EXPECT_FALSE(state.errorState);
    EXPECT_EQ(window.shows, 0);
    EXPECT_EQ(window.programText, "");
    EXPECT_EQ(config("Kelmora_CORR"), "<none>");
    EXPECT_TRUE(state.lastErrorText.empty());
}

TEST_F(RecordOnly, FileDiscardedWhileAnErrorStandsBringsTheWindowBack)
{
    // The operator closed the window over a standing error.
    state.errorState = true;
    state.lastErrorText = "prima";
    window.hideToTray();
    errors.fileUnder(jobNamed(FiscalName));

    errors.fileDiscarded("File non eseguito: errore in sospeso");

    EXPECT_EQ(fiscalLog(), std::vector<std::string>{std::string("Tessiro_Error: COR0001.txt;") + Now +
                                                    ";File non eseguito: errore in sospeso"});
    EXPECT_TRUE(window.visible);
    EXPECT_TRUE(window.topmost);
    EXPECT_EQ(window.shows, 1);
    EXPECT_EQ(window.discarded, std::vector<std::string>{FiscalName});
    EXPECT_TRUE(state.errorState);
    EXPECT_EQ(state.lastErrorText, "prima");
    EXPECT_EQ(config("Kelmora_CORR"), "<none>");

    // A name with control characters reaches the status line as the log
    // quotes it.
    errors.fileUnder(jobNamed("20261208140509NFI\x1b[2J\n01.txt"));
    errors.fileDiscarded("File non eseguito: errore in sospeso");
    EXPECT_EQ(window.discarded.back(), "20261208140509NFI?[2J?01.txt");
}

TEST_F(RecordOnly, ObserverSeesEveryRecordWithItsKindAndLog)
{
    std::vector<std::string> seen;
    errors.onRecord = [&](ErrorHandler::RecordKind kind, const std::string& log, const std::string&) {
        seen.push_back(std::to_string(int(kind)) + " " + log);
    };
    errors.registraErrore("a");
    errors.registraAzione("b");
    errors.fileUnder(jobNamed(FiscalName));
    errors.logOnly("c");

    EXPECT_EQ(seen,
              (std::vector<std::string>{std::to_string(int(ErrorHandler::RecordKind::Failure)) + " NotFiscalError.log",
                                        std::to_string(int(ErrorHandler::RecordKind::Action)) + " NotFiscalError.log",
                                        std::to_string(int(ErrorHandler::RecordKind::Problem)) + " FiscalError.log"}));
}

} // namespace
