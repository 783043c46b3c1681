// SPDX-License-Identifier: MIT
#include "support/RowNames.h"
#include "ui/WindowFixture.h"

#include "ui/AboutBox.h"

#include <QApplication>
#include <QLabel>
#include <QSystemTrayIcon>

#include <algorithm>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

std::vector<QWidget*> aboutBoxes()
{
    std::vector<QWidget*> found;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String("fAbout"))
            found.push_back(w);
    }
    return found;
}

bool topmost(const QWidget& w)
{
    return w.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

} // namespace

// ---- The error panel and the window seam ---------------------------------

using ErrorPanel = WindowFixture;

TEST_F(ErrorPanel, LabelsShowTheCoresBytesDecodedWithLineBreaks)
{
    window->setPrinterErrorText("----- PRINTER ERROR -----\r\nCosto \x80 1");
    window->setProgramErrorText("riga 1\r\nriga 2");

    EXPECT_EQ(child<QPlainTextEdit>("MsgErrori")->toPlainText(),
              QStringLiteral("----- PRINTER ERROR -----\nCosto \u20ac 1"));
    EXPECT_EQ(child<QPlainTextEdit>("MsgErrore_NOPrinter")->toPlainText(), QStringLiteral("riga 1\nriga 2"));
    EXPECT_EQ(window->printerErrorText(), "----- PRINTER ERROR -----\r\nCosto \x80 1");
    EXPECT_EQ(window->programErrorText(), "riga 1\r\nriga 2");
}

TEST_F(ErrorPanel, SvuotaErroriEmptiesOnlyThePrinterLabel)
{
    window->setPrinterErrorText("stampante");
    window->setProgramErrorText("programma");
    state.errorState = true;

    trigger("SvuotaErrori");

    EXPECT_EQ(window->printerErrorText(), "");
    EXPECT_EQ(window->programErrorText(), "programma");
    EXPECT_TRUE(state.errorState);
}

TEST_F(ErrorPanel, FailingCommandFileBringsTheHiddenWindowToTheFrontOnTop)
{
    ASSERT_TRUE(window->isHidden());
    testfiles::write(prog / "Simulatore" / "guasti.ini", "[Guasti]\r\nSellDept=7\r\n");
    testfiles::write(prog / "Ostro" / "20261208000001COR_test.txt", "F2:1:PANE:1000:150:3\r\nF4:1:450:1\r\n");

    bridge->tick();

    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(topmost(*window));
    EXPECT_TRUE(state.errorState);
    EXPECT_FALSE(window->printerErrorText().empty() && window->programErrorText().empty());
    EXPECT_FALSE(testfiles::read(prog / "FiscalError.log").empty());
}

TEST_F(ErrorPanel, NascondiClearsTheErrorAndHidesToTheTray)
{
    window->showOnTop();
    window->setPrinterErrorText("stampante");
    state.errorState = true;

    click("cmdNascondi");

    EXPECT_TRUE(window->isHidden());
    EXPECT_FALSE(topmost(*window));
    EXPECT_TRUE(window->tray().isShown());
    EXPECT_EQ(window->printerErrorText(), "");
    EXPECT_FALSE(state.errorState);
}

TEST_F(ErrorPanel, MakeTopmostLeavesAHiddenWindowHidden)
{
    ASSERT_TRUE(window->isHidden());
    window->makeTopmost();
    EXPECT_TRUE(window->isHidden());
    EXPECT_TRUE(topmost(*window));
}

TEST_F(ErrorPanel, ShownWindowStaysOnTopUntilHidden)
{
    window->showOnTop();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(topmost(*window));

    window->hideToTray();
    EXPECT_TRUE(window->isHidden());
    EXPECT_FALSE(topmost(*window));
}

TEST_F(ErrorPanel, TestButtonPrintsTheSampleReceipt)
{
    const size_t before = trace().size();

    click("TEST");

    const std::string calls = trace().substr(before);
    EXPECT_NE(calls.find("DisplayText(1, \"CASSA PROVA .................. CLT1\") -> 0"), std::string::npos);
    EXPECT_NE(calls.find("PayCash(1, 10.0000) -> 0"), std::string::npos);
    EXPECT_NE(calls.find("DisplayText(1, \"ARRIVEDERCI E GRAZIE PER LA PREFERENZA\") -> 0"), std::string::npos);
}

// ---- Tray icon ------------------------------------------------------------

using TrayBehaviour = WindowFixture;

TEST_F(TrayBehaviour, StartUpHidesTheWindowBehindTheIcon)
{
    EXPECT_TRUE(window->isHidden());
    EXPECT_TRUE(window->tray().isShown());
}

TEST_F(TrayBehaviour, TipIsTheCaptionNamingSeriesAndVersion)
{
    EXPECT_EQ(window->tray().tip(), window->windowTitle());
    EXPECT_TRUE(window->windowTitle().contains(QStringLiteral("FP Series")));
    EXPECT_TRUE(window->windowTitle().endsWith(QStringLiteral(TESSIRO_VERSION)));
}

struct Activation {
    QSystemTrayIcon::ActivationReason reason;
    bool shows;
    const char* name;
};

class TrayActivation : public WindowFixture, public ::testing::WithParamInterface<Activation> {};

TEST_P(TrayActivation, OnlyALeftClickShowsTheWindowAndTheIconStays)
{
    auto* icon = window->findChild<QSystemTrayIcon*>();
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->contextMenu(), nullptr);

    emit icon->activated(GetParam().reason);

    EXPECT_EQ(window->isVisible(), GetParam().shows);
    EXPECT_TRUE(window->tray().isShown());
}

INSTANTIATE_TEST_SUITE_P(Clicks, TrayActivation,
                         ::testing::Values(Activation{QSystemTrayIcon::Trigger, true, "LeftClick"},
                                           Activation{QSystemTrayIcon::Context, false, "RightClick"},
                                           Activation{QSystemTrayIcon::MiddleClick, false, "MiddleClick"},
                                           Activation{QSystemTrayIcon::DoubleClick, false, "DoubleClick"}),
                         rownames::byName);

class NoTrayHost : public WindowFixture {
protected:
    NoTrayHost() { trayHost = false; }
};

TEST_F(NoTrayHost, WindowIsMinimizedInsteadOfHiddenSoItStaysReachable)
{
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isMinimized());
    EXPECT_FALSE(window->tray().isShown());
    EXPECT_TRUE(window->tray().isWaitingForHost());
}

TEST_F(NoTrayHost, IconAppearsWithALateTrayAndThenTheWindowHides)
{
    window->tray().checkHost();
    EXPECT_TRUE(window->tray().isWaitingForHost());

    trayHost = true;
    window->tray().checkHost();

    EXPECT_TRUE(window->tray().isShown());
    EXPECT_TRUE(window->isHidden());

    window->showOnTop();
    window->hideToTray();
    EXPECT_TRUE(window->isHidden());
}

TEST_F(NoTrayHost, ErrorRestoresTheMinimizedWindow)
{
    window->showOnTop();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
}

// ---- Esci -----------------------------------------------------------------

class Exit : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        QObject::connect(window.get(), &MainWindow::exitRequested, [this] { ++exits; });
    }
    int exits = 0;
};

TEST_F(Exit, YesFilesTheClosingRecordRemovesTheIconAndEnds)
{
    window->showFromTray();
    answers = {true};

    trigger("Esci");

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].buttons, MessageBoxRequest::Buttons::YesNo);
    EXPECT_EQ(boxes[0].text, QStringLiteral("Chiudere il programma ?"));
    EXPECT_EQ(notFiscalLog().back(), actionRecord("Chiusura Programma"));
    EXPECT_FALSE(window->tray().isShown());
    EXPECT_TRUE(window->isHidden());
    EXPECT_EQ(exits, 1);
}

TEST_F(Exit, NoHidesToTheTrayAndGoesOn)
{
    window->showFromTray();
    window->setPrinterErrorText("stampante");
    answers = {false};

    trigger("Esci");

    EXPECT_TRUE(window->isHidden());
    EXPECT_TRUE(window->tray().isShown());
    EXPECT_EQ(window->printerErrorText(), "");
    EXPECT_EQ(exits, 0);
    EXPECT_NE(notFiscalLog().back(), actionRecord("Chiusura Programma"));
}

TEST_F(Exit, OpenAboutBoxGoesWithTheWindowAndTheProgramEndsAtOnce)
{
    int confirmed = 0;
    int exitsWhenConfirmed = -1;
    QObject::connect(window.get(), &MainWindow::exitConfirmed, [&] {
        ++confirmed;
        exitsWhenConfirmed = exits;
    });
    trigger("About");
    ASSERT_EQ(aboutBoxes().size(), 1u);
    answers = {true};

    trigger("Esci");
    flushDeletes();

    EXPECT_EQ(confirmed, 1);
    EXPECT_EQ(exitsWhenConfirmed, 0); // the bridge stops before the program ends
    EXPECT_EQ(exits, 1);
    EXPECT_TRUE(aboutBoxes().empty());
    EXPECT_FALSE(window->tray().isShown());

    // A late error must not bring back a window whose end was confirmed.
    window->showOnTop();
    EXPECT_TRUE(window->isHidden());
}

// ---- Log renewal ----------------------------------------------------------

using LogRenewal = WindowFixture;

TEST_F(LogRenewal, CancelLeavesBothLogs)
{
    testfiles::write(prog / "FiscalError.log", "fiscale\r\n");
    const std::string notFiscal = testfiles::read(prog / "NotFiscalError.log");

    trigger("RicreaLog");

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].buttons, MessageBoxRequest::Buttons::OkCancel);
    EXPECT_EQ(boxes[0].title, QStringLiteral("File LOG"));
    EXPECT_EQ(boxes[0].text, QStringLiteral("Si vogliono ricreare nuovi file di Log ?"));
    EXPECT_EQ(testfiles::read(prog / "FiscalError.log"), "fiscale\r\n");
    EXPECT_EQ(testfiles::read(prog / "NotFiscalError.log"), notFiscal);
}

TEST_F(LogRenewal, OneLogIsMovedUnderTheStamp)
{
    ASSERT_FALSE(fs::exists(prog / "FiscalError.log"));
    const std::string notFiscal = testfiles::read(prog / "NotFiscalError.log");
    ASSERT_FALSE(notFiscal.empty());
    answers = {true};

    trigger("RicreaLog");

    const fs::path moved = prog / "Cestino" / (renewalStamp(clock.now) + "NotFiscalError.log");
    EXPECT_EQ(testfiles::read(moved), notFiscal);
    EXPECT_FALSE(fs::exists(prog / "NotFiscalError.log"));
    EXPECT_FALSE(fs::exists(prog / "Cestino" / (renewalStamp(clock.now) + "FiscalError.log")));
}

// ---- File Temporanei --------------------------------------------------------

using TemporaryFiles = WindowFixture;

TEST_F(TemporaryFiles, CancelDeletesNothingAndSaysNothingMore)
{
    testfiles::write(prog / "Ostro" / "job.txt", "x");

    trigger("FileTemp");

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].buttons, MessageBoxRequest::Buttons::OkCancel);
    EXPECT_EQ(boxes[0].title, QStringLiteral("File Temporanei"));
    EXPECT_EQ(boxes[0].text, QStringLiteral("File temporanei delle cartelle\r\n..\\Ostro\r\n..\\IN\r\n"
                                            "..\\Cestino\r\n..\\Log\r\nEliminarli?"));
    EXPECT_TRUE(fs::exists(prog / "Ostro" / "job.txt"));
}

TEST_F(TemporaryFiles, OkEmptiesTheFourFoldersButKeepsSubfolders)
{
    for (const char* folder : {"Ostro", "IN", "Cestino", "Log"})
        testfiles::write(prog / folder / "file.txt", "x");
    testfiles::write(prog / "Log" / "archivio" / "vecchio.log", "keep");
    answers = {true};

    trigger("FileTemp");

    for (const char* folder : {"Ostro", "IN", "Cestino", "Log"})
        EXPECT_FALSE(fs::exists(prog / folder / "file.txt")) << folder;
    EXPECT_EQ(testfiles::read(prog / "Log" / "archivio" / "vecchio.log"), "keep");
    EXPECT_TRUE(fs::exists(prog / keys::ConfigFile));
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].buttons, MessageBoxRequest::Buttons::Ok);
    EXPECT_EQ(boxes[1].title, QStringLiteral("Eliminazione File Temporanei"));
    EXPECT_EQ(boxes[1].text, QStringLiteral("Cancellazione eseguita con successo."));
}

TEST_F(TemporaryFiles, EmptyOrMissingFoldersStillEndInSuccess)
{
    answers = {true};

    trigger("FileTemp");

    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, QStringLiteral("Cancellazione eseguita con successo."));
}

TEST_F(TemporaryFiles, FolderThatIsALinkIsLeftAsItIsOnRecordAndTold)
{
    testfiles::write(prog / "altrove" / "prezioso.txt", "keep");
    fs::create_directory_symlink(prog / "altrove", prog / "Cestino");
    testfiles::write(prog / "Ostro" / "file.txt", "x");
    answers = {true};

    trigger("FileTemp");

    EXPECT_EQ(testfiles::read(prog / "altrove" / "prezioso.txt"), "keep");
    EXPECT_FALSE(fs::exists(prog / "Ostro" / "file.txt"));
    const std::string refused = "Collegamento simbolico non seguito al posto della cartella Cestino: nessun file eliminato";
    const auto log = testfiles::lines(prog / "NotFiscalError.log");
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [&](const std::string& l) { return l.find(refused) != std::string::npos; }),
              1);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, QString::fromStdString("Cancellazione eseguita con successo.\r\n" + refused));
}

TEST_F(TemporaryFiles, FilesThatStayAreNotReportedAsDeleted)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root deletes from a read-only folder";
    testfiles::write(prog / "Log" / "bloccato.log", "x");
    fs::permissions(prog / "Log", fs::perms::owner_read | fs::perms::owner_exec);
    answers = {true};

    trigger("FileTemp");

    fs::permissions(prog / "Log", fs::perms::owner_all);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_NE(boxes[1].text, QStringLiteral("Cancellazione eseguita con successo."));
    EXPECT_TRUE(fs::exists(prog / "Log" / "bloccato.log"));
}

// ---- About ----------------------------------------------------------------

using About = WindowFixture;

TEST_F(About, SecondClickShowsTheSameWindowAndTheMainWindowStaysUsable)
{
    trigger("About");
    trigger("About");

    ASSERT_EQ(aboutBoxes().size(), 1u);
    QWidget* box = aboutBoxes().front();
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->windowTitle(), QStringLiteral("About"));
    EXPECT_EQ(box->windowModality(), Qt::NonModal);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(About, ShowsTheProgramsTexts)
{
    trigger("About");
    ASSERT_EQ(aboutBoxes().size(), 1u);
    QWidget* box = aboutBoxes().front();
    auto text = [box](const char* name) {
        auto* label = box->findChild<QLabel*>(QLatin1String(name));
        return label ? label->text() : QStringLiteral("<missing>");
    };
    EXPECT_EQ(text("Label7"), QStringLiteral("Software di comunicazione con Epson FP Series"));
    EXPECT_EQ(text("Label1"), QStringLiteral("Versione 1.6.1 del 13 dicembre 2010"));
    EXPECT_EQ(text("Label6"), QStringLiteral("Utilizzabile con Ostro release 2.10.49"));
    for (const char* supplier : {"Label2", "Label3", "Label4", "Label5"})
        EXPECT_FALSE(text(supplier).isEmpty()) << supplier;
    auto* logo = box->findChild<QLabel*>(QStringLiteral("Image1"));
    ASSERT_NE(logo, nullptr);
    EXPECT_FALSE(logo->pixmap().isNull());
}

TEST_F(About, ChiudiClosesItAndTheNextClickOpensAFreshOne)
{
    trigger("About");
    ASSERT_EQ(aboutBoxes().size(), 1u);
    auto* chiudi = aboutBoxes().front()->findChild<QPushButton*>(QStringLiteral("cmdChiudi"));
    ASSERT_NE(chiudi, nullptr);
    EXPECT_EQ(chiudi->text(), QStringLiteral("Chiudi"));

    chiudi->click();
    flushDeletes();
    EXPECT_TRUE(aboutBoxes().empty());

    trigger("About");
    EXPECT_EQ(aboutBoxes().size(), 1u);
}

TEST_F(About, OpensAsTheWindowsChildInsideTheScreenWhereverTheWindowIs)
{
    window->showFromTray();
    const QRect area = window->screen()->availableGeometry();
    // The window pushed against the bottom right corner.
    window->move(area.right() - 50, area.bottom() - 50);
    trigger("About");
    ASSERT_EQ(aboutBoxes().size(), 1u);
    QWidget* box = aboutBoxes().front();
    EXPECT_EQ(box->parentWidget(), window.get());
    EXPECT_TRUE(area.contains(box->frameGeometry())) << box->frameGeometry().x() << "," << box->frameGeometry().y();
}

TEST_F(About, ProgramIconIsEmbedded)
{
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_FALSE(window->windowIcon().pixmap(32, 32).isNull());
}
