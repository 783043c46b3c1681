// SPDX-License-Identifier: MIT
#include "support/RowNames.h"
#include "ui/WindowFixture.h"

#include "ui/ProgramIcon.h"

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QScrollArea>

#include <functional>
#include <string>
#include <vector>

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
        testfiles::write(prog / "Ostro" / "20261208000001COR_test.txt", "F2:1:PANE:1000:150:3\r\nF4:1:450:1\r\n");
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

    testfiles::write(prog / "Ostro" / "20261208000002COR_dopo.txt", "F2:1:PANE:1000:150:1\r\nF4:1:150:1\r\n");
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

    testfiles::write(prog / "Ostro" / "20261208000002COR_dopo.txt", "F2:1:PANE:1000:150:1\r\nF4:1:150:1\r\n");
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

TEST_F(ErrorInSight, AnErrorLeavesTheKeyboardOnTheReadOnlyPanelWhereNoKeyReachesAFieldOrButton)
{
    window->showFromTray();
    QApplication::setActiveWindow(window.get());
    QLineEdit* seriale = child<QLineEdit>("Seriale");
    seriale->setFocus();
    QCoreApplication::processEvents();
    int pressed = 0;
    for (QPushButton* button : window->findChildren<QPushButton*>())
        QObject::connect(button, &QPushButton::pressed, [&] { ++pressed; });

    failAFile();
    QCoreApplication::processEvents();

    ASSERT_EQ(window->focusWidget(), child<QPlainTextEdit>("MsgErrori"));
    const QString shown = child<QPlainTextEdit>("MsgErrori")->toPlainText();
    // The cashier's keys meant for the till: a digit, a space, Enter, a letter.
    for (const auto& [key, text] : std::vector<std::pair<int, QString>>{{Qt::Key_2, QStringLiteral("2")},
                                                                        {Qt::Key_Space, QStringLiteral(" ")},
                                                                        {Qt::Key_Return, QString()},
                                                                        {Qt::Key_A, QStringLiteral("a")}}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(window->focusWidget(), &press);
        QCoreApplication::sendEvent(window->focusWidget(), &release);
    }

    EXPECT_EQ(pressed, 0);
    EXPECT_EQ(seriale->text(), QStringLiteral("1"));
    EXPECT_EQ(config("Eps_COM"), "1");
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(state.errorState);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(child<QPlainTextEdit>("MsgErrori")->toPlainText(), shown);
}

TEST_F(ErrorInSight, EnterPressesTheFocusedButton)
{
    window->showOnTop();
    state.errorState = true;
    QPushButton* nascondi = child<QPushButton>("cmdNascondi");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(nascondi, &enter);
    EXPECT_FALSE(state.errorState);
    EXPECT_TRUE(window->isHidden());
}

TEST_F(ErrorInSight, AFullScreenActiveWindowMakesTheErrorTakeTheKeyboardOnThePanel)
{
    int asked = 0;
    window->activeWindowIsFullscreen = [&] {
        ++asked;
        return true;
    };
    failAFile();
    QCoreApplication::processEvents();
    EXPECT_GE(asked, 1);
    EXPECT_EQ(QApplication::activeWindow(), window.get());
    EXPECT_EQ(QApplication::focusWidget(), child<QPlainTextEdit>("MsgErrori"));
}

// ---- The status line and the tray say what happened and what to do ---------

struct StatusCase {
    const char* name;
    // Brings the window where the row looks at it.
    std::function<void(WindowFixture&)> make;
    std::vector<const char*> words; // in the status line (the action to take)
    const char* marked;             // the recovery button marked, or ""
    const char* notificationTitle;  // the last tray notification's title
};

std::ostream& operator<<(std::ostream& out, const StatusCase& c)
{
    return out << c.name;
}

class StatusLine : public WindowFixture, public ::testing::WithParamInterface<StatusCase> {
public:
    void drop(const std::string& name, const std::string& records)
    {
        testfiles::write(prog / "Ostro" / name, records);
        bridge->tick();
    }
    void faults(const std::string& lines)
    {
        testfiles::write(prog / "Simulatore" / "guasti.ini", "[Guasti]\r\n" + lines);
    }
    void clickButton(const char* name) { click(name); }
};

TEST_P(StatusLine, SaysWhatToDoAndMarksTheMatchingButtonWithoutTakingTheFocus)
{
    window->showFromTray();
    GetParam().make(*this);
    QCoreApplication::processEvents();

    const QString line = window->statusLine();
    EXPECT_EQ(child<QLabel>("RigaStato")->text(), line);
    for (const char* word : GetParam().words)
        EXPECT_TRUE(line.contains(QString::fromUtf8(word), Qt::CaseInsensitive))
            << word << " not in: " << line.toStdString();
    EXPECT_EQ(window->markedButton(), QString::fromLatin1(GetParam().marked));
    if (QWidget* focused = window->focusWidget()) {
        EXPECT_FALSE(qobject_cast<QPushButton*>(focused)) << focused->objectName().toStdString();
    }
    EXPECT_EQ(window->tray().lastNotificationTitle(), QString::fromLatin1(GetParam().notificationTitle));
}

// A paper end in a fiscal receipt: the sale meets the end of the roll.
void paperEndInAReceipt(StatusLine& t)
{
    t.faults("FineCarta=1\r\n");
    t.drop("20261208000001COR_carta.txt", "F2:1:PANE:1000:150:3\r\nF4:1:450:1\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StatusLine,
    ::testing::Values(StatusCase{"AutomaticVoid",
                                 [](WindowFixture& w) {
                                     // A non-fiscal receipt asked for inside an open fiscal one.
                                     static_cast<StatusLine&>(w).drop("20261208000001COR_seq.txt",
                                                                      "F2:1:PANE:1000:150:3\r\nN1:1\r\nN3:1\r\n");
                                 },
                                 {"scontrino annullato", "ribattere la vendita"},
                                 "cmdNascondi",
                                 "SEQUENZA ERRATA"},
                      StatusCase{"PaperEndFiscal",
                                 [](WindowFixture& w) { paperEndInAReceipt(static_cast<StatusLine&>(w)); },
                                 {"cambiare il rotolo", "RECUPERO DA FINE CARTA", "\"Scontrino fiscale\""},
                                 "cmdFineCarta",
                                 "FINE CARTA"},
                      StatusCase{"PaperEndNonFiscal",
                                 [](WindowFixture& w) {
                                     auto& t = static_cast<StatusLine&>(w);
                                     t.faults("FineCarta=1\r\n");
                                     t.drop("20261208000001NOF_carta.txt", "N1:1\r\nN2:1:RIGA\r\nN3:1\r\n");
                                 },
                                 {"cambiare il rotolo", "RECUPERO DA FINE CARTA", "\"Scontrino non fiscale\""},
                                 "cmdFineCartaNoFisc",
                                 "FINE CARTA"},
                      StatusCase{"RecoveryAfterPaperEnd",
                                 [](WindowFixture& w) {
                                     auto& t = static_cast<StatusLine&>(w);
                                     paperEndInAReceipt(t);
                                     t.clickButton("cmdFineCarta");
                                 },
                                 {"Risolto", "scontrino annullato", "la stampa riprende", "ribattere la vendita"},
                                 "",
                                 "Risolto"},
                      StatusCase{"FilesDiscarded",
                                 [](WindowFixture& w) {
                                     auto& t = static_cast<StatusLine&>(w);
                                     paperEndInAReceipt(t);
                                     t.drop("20261208000002COR_uno.txt", "F2:1:PANE:1000:150:1\r\nF4:1:150:1\r\n");
                                     t.drop("20261208000003NOF_due.txt", "N1:1\r\nN3:1\r\n");
                                 },
                                 {"2 file non eseguiti", "20261208000002COR_uno.txt", "20261208000003NOF_due.txt",
                                  "reinviare dal gestionale", "cambiare il rotolo"},
                                 "cmdFineCarta",
                                 "FINE CARTA"},
                      StatusCase{
                          "FilesDiscardedStayAfterNascondi",
                          [](WindowFixture& w) {
                              auto& t = static_cast<StatusLine&>(w);
                              paperEndInAReceipt(t);
                              t.drop("20261208000002COR_uno.txt", "F2:1:PANE:1000:150:1\r\nF4:1:150:1\r\n");
                              t.faults("");
                              t.clickButton("cmdNascondi");
                          },
                          {"Risolto", "1 file non eseguito", "20261208000002COR_uno.txt", "reinviare dal gestionale"},
                          "",
                          "Risolto"}),
    rownames::byName);

TEST_F(StatusLine, TheTrayNamesThePaperEndInWordsNotTheProgramsCall)
{
    paperEndInAReceipt(*this);
    ASSERT_TRUE(state.errorState);
    const QString tip = window->tray().tip();
    EXPECT_TRUE(tip.contains(QStringLiteral("FINE CARTA"))) << tip.toStdString();
    EXPECT_FALSE(tip.contains(QStringLiteral("opReparto"))) << tip.toStdString();
    EXPECT_TRUE(window->tray().lastNotification().contains(QStringLiteral("rotolo")));
}

// ---- The window fits a till's screen ------------------------------------------

struct ScreenCase {
    const char* name;
    QSize screen; // in the window's own pixels (a scale factor divides the screen)
};

std::ostream& operator<<(std::ostream& out, const ScreenCase& c)
{
    return out << c.name;
}

class TillScreen : public WindowFixture, public ::testing::WithParamInterface<ScreenCase> {};

TEST_P(TillScreen, EveryControlCanBeReachedAndTheButtonsAreInSight)
{
    // A panel of 32 pixels and a title bar with its borders.
    const QSize room = GetParam().screen - QSize(8, 32 + 32);
    window->showFromTray();
    window->setPrinterErrorText("----- PRINTER ERROR -----\r\n" + std::string(400, 'X'));
    window->setProgramErrorText("----- PROGRAM ERROR -----\r\nerrore");
    window->resize(room);
    QCoreApplication::processEvents();

    ASSERT_LE(window->minimumSizeHint().width(), room.width());
    ASSERT_LE(window->minimumSizeHint().height(), room.height());
    ASSERT_LE(window->height(), room.height());
    const QRect inside = window->rect();
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        const QRect at(button->mapTo(window.get(), QPoint(0, 0)), button->size());
        EXPECT_TRUE(inside.contains(at)) << button->objectName().toStdString();
        EXPECT_GE(button->height(), button->minimumSizeHint().height()) << button->objectName().toStdString();
    }
    EXPECT_TRUE(inside.contains(
        QRect(child<QLabel>("RigaStato")->mapTo(window.get(), QPoint(0, 0)), child<QLabel>("RigaStato")->size())));
    // The fields and panels above scroll into sight.
    auto* scroll = child<QScrollArea>("pannelli");
    for (const char* name : {"Seriale", "Setting", "Ritardo", "NonRiscIndex", "NonRiscType", "cartellaOstro", "PAY_L",
                             "MsgErrori", "MsgErrore_NOPrinter"}) {
        QWidget* w = window->findChild<QWidget*>(QString::fromLatin1(name));
        ASSERT_NE(w, nullptr) << name;
        scroll->ensureWidgetVisible(w, 0, 0);
        QCoreApplication::processEvents();
        const QRect seen(w->mapTo(scroll->viewport(), QPoint(0, 0)), w->size());
        EXPECT_TRUE(scroll->viewport()->rect().intersects(seen)) << name;
        EXPECT_GE(w->width(), 20) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Screens, TillScreen,
                         ::testing::Values(ScreenCase{"W1024x600", {1024, 600}}, ScreenCase{"W800x600", {800, 600}},
                                           ScreenCase{"W1280x800Scale150", {853, 533}}),
                         rownames::byName);

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
