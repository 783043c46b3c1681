// SPDX-License-Identifier: MIT
#include "support/RowNames.h"
#include "ui/WindowFixture.h"

#include "ui/ProgramIcon.h"

#include <QApplication>
#include <QImage>
#include <QScreen>

#include <string>

namespace fs = std::filesystem;

namespace {

bool sameIcon(const QIcon& a, const QIcon& b)
{
    return a.pixmap(32, 32).toImage() == b.pixmap(32, 32).toImage();
}

// ---- An error is never out of sight while it stands -----------------------

class ErrorInSight : public WindowFixture {
protected:
    void failAFile()
    {
        testfiles::write(prog / "Simulatore" / "guasti.ini", "[Guasti]\r\nSellDept=7\r\n");
        testfiles::write(prog / "Ostro" / "20261208000001COR_test.txt", "F2:1:PANE:1000:150:3\r\n");
        bridge->tick();
        ASSERT_TRUE(state.errorState);
    }
};

TEST_F(ErrorInSight, AllWellShowsTheProgramIconWithTheCaptionAsTip)
{
    EXPECT_FALSE(window->tray().showsError());
    EXPECT_TRUE(sameIcon(window->tray().currentIcon(), programIcon()));
    EXPECT_FALSE(sameIcon(programIcon(), errorIcon()));
    EXPECT_EQ(window->tray().tip(), window->windowTitle());
}

TEST_F(ErrorInSight, ARisingErrorShowsTheErrorIconATipNamingItAndANotification)
{
    failAFile();

    EXPECT_TRUE(window->tray().showsError());
    EXPECT_TRUE(sameIcon(window->tray().currentIcon(), errorIcon()));
    EXPECT_TRUE(window->tray().tip().startsWith(window->windowTitle()));
    EXPECT_TRUE(window->tray().tip().contains(QStringLiteral("Errore in sospeso")));
    EXPECT_TRUE(window->tray().tip().contains(QString::fromStdString(dateTimeText(clock.now))));
    EXPECT_FALSE(window->tray().lastNotification().isEmpty());
}

TEST_F(ErrorInSight, ClosedWindowComesBackWhenAFileIsDiscardedAndTheIconStaysTheErrorIcon)
{
    failAFile();
    window->close();
    ASSERT_TRUE(window->isHidden());
    ASSERT_TRUE(state.errorState);

    testfiles::write(prog / "Ostro" / "20261208000002COR_dopo.txt", "F2:1:PANE:1000:150:1\r\n");
    bridge->tick();

    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(sameIcon(window->tray().currentIcon(), errorIcon()));
    EXPECT_NE(testfiles::read(prog / "FiscalError.log").find("File non eseguito: errore in sospeso"),
              std::string::npos);
}

TEST_F(ErrorInSight, ExitDeclinedWithAnErrorStandingStillBringsTheWindowBackOnTheNextFile)
{
    failAFile();
    answers = {false};
    trigger("Esci");
    ASSERT_TRUE(window->isHidden());

    testfiles::write(prog / "Ostro" / "20261208000002COR_dopo.txt", "F2:1:PANE:1000:150:1\r\n");
    bridge->tick();

    EXPECT_TRUE(window->isVisible());
}

TEST_F(ErrorInSight, RecoveryOutsideTheWindowBringsBackTheProgramIcon)
{
    failAFile();
    // What `tessiro ctl annulla-scontrino` leaves: the flag down, the window
    // untouched.
    state.errorState = false;
    window->refreshErrorState();

    EXPECT_FALSE(window->tray().showsError());
    EXPECT_TRUE(sameIcon(window->tray().currentIcon(), programIcon()));
    EXPECT_EQ(window->tray().tip(), window->windowTitle());
}

// ---- The error panel wraps ----------------------------------------------------

struct LongTextCase {
    const char* name;
    std::string text;
};

std::ostream& operator<<(std::ostream& out, const LongTextCase& c)
{
    return out << c.name;
}

class ErrorPanelWrap : public WindowFixture, public ::testing::WithParamInterface<LongTextCase> {};

TEST_P(ErrorPanelWrap, TheWindowIsNoWiderThanItWasLaidOut)
{
    window->showFromTray();
    QCoreApplication::processEvents();
    const int width = window->width();
    const int minimum = window->minimumSizeHint().width();
    const int height = window->height();

    window->setPrinterErrorText("----- PRINTER ERROR -----\r\n" + GetParam().text);
    window->setProgramErrorText("----- PROGRAM ERROR -----\r\n" + GetParam().text);
    window->showOnTop();
    QCoreApplication::processEvents();

    EXPECT_LE(window->width(), width);
    EXPECT_LE(window->minimumSizeHint().width(), minimum);
    EXPECT_LE(window->height(), height);
    auto* panel = child<QPlainTextEdit>("MsgErrori");
    EXPECT_LE(panel->document()->idealWidth(), panel->viewport()->width() + 1);
    EXPECT_TRUE(
        panel->toPlainText().endsWith(QString::fromStdString(GetParam().text.substr(GetParam().text.size() - 15))));
}

INSTANTIATE_TEST_SUITE_P(Texts, ErrorPanelWrap,
                         ::testing::Values(LongTextCase{"Word150", std::string(150, 'X')},
                                           LongTextCase{"Word600", std::string(600, 'W')},
                                           LongTextCase{"ManyLines",
                                                        [] {
                                                            std::string t;
                                                            for (int i = 0; i < 200; ++i)
                                                                t += "riga " + std::to_string(i) + "\r\n";
                                                            return t + "fine della riga";
                                                        }()}),
                         rownames::byName);

// ---- Settings written outside are respected -----------------------------------

using SettingsOutside = WindowFixture;

TEST_F(SettingsOutside, ConfigSetWhileTheWindowRunsThenNascondiKeepsTheStoredValue)
{
    window->showFromTray();
    config("Eps_COM", "5");
    config("Eps_Setting", "9600,N,8,1");
    window->followSettingsFile();

    EXPECT_EQ(child<QLineEdit>("Seriale")->text(), QStringLiteral("5"));
    click("cmdNascondi");

    EXPECT_EQ(config("Eps_COM"), "5");
    EXPECT_EQ(config("Eps_Setting"), "9600,N,8,1");
    EXPECT_EQ(state.settings.portNumber, std::optional<int16_t>(5));
}

TEST_F(SettingsOutside, NascondiRightAfterAWriteOutsideSavesWhatIsStored)
{
    // No look at the file between the write and the click.
    window->showFromTray();
    config("Eps_COM", "6");
    click("cmdNascondi");
    EXPECT_EQ(config("Eps_COM"), "6");
    EXPECT_EQ(state.settings.portNumber, std::optional<int16_t>(6));
}

TEST_F(SettingsOutside, FollowingTheFileWritesNothingAndAsksNothing)
{
    config("Eps_Delay", "12x");
    config("Eps_NonRiscType", "contanti");
    window->followSettingsFile();

    EXPECT_EQ(child<QLineEdit>("Ritardo")->text(), QStringLiteral("12x"));
    EXPECT_EQ(child<QLineEdit>("NonRiscType")->text(), QStringLiteral("contanti"));
    EXPECT_EQ(config("Eps_Delay"), "12x");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SettingsOutside, TheFieldBeingEditedIsLeftAsTheOperatorTypesIt)
{
    window->showFromTray();
    QApplication::setActiveWindow(window.get());
    QLineEdit* seriale = child<QLineEdit>("Seriale");
    seriale->setFocus();
    QCoreApplication::processEvents();
    if (!seriale->hasFocus())
        GTEST_SKIP() << "this platform gives no keyboard focus";
    seriale->end(false);
    type(seriale, QStringLiteral("3"));
    config("Eps_Setting", "19200,N,8,1");
    window->followSettingsFile();

    EXPECT_EQ(seriale->text(), QStringLiteral("13"));
    EXPECT_EQ(child<QLineEdit>("Setting")->text(), QStringLiteral("19200,N,8,1"));
}

} // namespace
