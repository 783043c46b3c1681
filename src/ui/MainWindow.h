// SPDX-License-Identifier: MIT
#pragma once

#include "config/SettingsPanel.h"
#include "core/OperatorWindow.h"
#include "ui/MessageBox.h"
#include "ui/StatusLine.h"

#include <QMainWindow>
#include <QMargins>
#include <QPointer>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class AboutBox;
class Bridge;
struct OperatorCommand;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QScrollArea;
class QTimer;
class TrayIcon;

// The main window `Tessiro`: the settings panel, the error panel, the
// recovery buttons, the menu and the tray icon. It is the window seam the
// core talks to; every button and menu entry hands over to the core.
//
// Closing it from the title bar hides it to the tray; the program ends only
// through Esci. When Esci is confirmed, exitConfirmed stops the bridge from
// taking anything more, and the window, its icon and an open About box go
// at once.
class MainWindow : public QMainWindow, public OperatorWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Connects the window to the running bridge. Called once by main() after
    // the bridge is built and before its start-up runs.
    void attach(Bridge& bridge);

    void setPrinterErrorText(const std::string& text) override;
    std::string printerErrorText() const override;
    void setProgramErrorText(const std::string& text) override;
    std::string programErrorText() const override;
    void showOnTop() override;
    void makeTopmost() override;
    void hideToTray() override;
    void fileDiscarded(const std::string& name) override;
    void documentVoided(const std::string& reason) override;
    void errorCleared() override;
    void inform(const std::string& title, const std::string& text) override;
    bool askOkCancel(const std::string& title, const std::string& text) override;
    bool askYesNo(const std::string& title, const std::string& text) override;

    // Shows the window from the tray (a left click on the icon).
    void showFromTray();

    // Copies the settings panel's model into its widgets.
    void showSettings();

    // The settings panel takes the values stored in the configuration when
    // the file changed since the last look (a `tessiro config set`, the
    // back-office), except in the field the operator is editing. Runs on a
    // timer; `force` looks whatever the file's stamp says.
    void followSettingsFile(bool force = false);
    static constexpr int SettingsLookInterval = 1000; // ms

    // The tray icon shows whether an error stands. Runs on every error, hide
    // and show, and on a timer for recoveries run over `tessiro ctl`.
    void refreshErrorState();

    TrayIcon& tray() { return *m_tray; }

    // The status line's text now, and the recovery button it points to.
    QString statusLine() const;
    QString markedButton() const;

    // Whether another program's full-screen window has the keyboard: then
    // an error must take the keyboard to be seen at all. Tests replace it.
    std::function<bool()> activeWindowIsFullscreen;

    // The size the window opens with where the screen has room for it.
    static constexpr int PreferredWidth = 600;
    static constexpr int PreferredHeight = 640;

    // When set, answers the operator's message boxes instead of a modal box
    // (true = OK/Yes), so the window can run without a person.
    std::function<bool(const MessageBoxRequest&)> answerBox;

signals:
    // The operator confirmed Esci: nothing more may be taken (polling and
    // the control socket stop at once).
    void exitConfirmed();
    // Then the program is to end; the About box has been closed with it.
    void exitRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    using Field = SettingsPanel::Field;

    QWidget* buildSettings();
    QWidget* buildErrorPanel();
    QWidget* buildButtons();
    QWidget* buildStatusLine();
    void buildMenu();
    // Runs an operator command as the window's button or menu entry.
    void run(const OperatorCommand& command);

    void fieldEdited(Field field, const QString& text);
    void showField(Field field);
    void setTopmost(bool on);
    // Puts the keyboard focus of the window (not of the screen) on the error
    // panel that shows the error, and scrolls it into sight.
    void focusErrorPanel();
    // Keeps the window, frame and all, inside the screen's available area.
    void fitToScreen();
    // What the status line is made from, as things stand now.
    StatusFacts facts() const;
    // A new error, void or discarded file after the last clear starts a new
    // account of what happened.
    void troubleBegins();
    // Which document the job the error handler files under was on, told by
    // its kind; none without a job.
    std::optional<StatusFacts::Document> jobDocument() const;
    void showStatus();
    bool ask(MessageBoxRequest::Buttons buttons, const std::string& title, const std::string& text);

    void esci();
    void FileTemp();
    void about();

    Bridge* m_bridge = nullptr;
    TrayIcon* m_tray = nullptr;
    std::array<QLineEdit*, SettingsPanel::FieldCount> m_fields{};
    QCheckBox* m_payL = nullptr;
    QPlainTextEdit* m_msgErrori = nullptr;
    QPlainTextEdit* m_msgErroreNoPrinter = nullptr;
    std::string m_printerText, m_programText;
    QScrollArea* m_scroll = nullptr;
    QLabel* m_status = nullptr;
    // What happened since the error came (the files thrown away, the voids,
    // the clear), and whether the last event was the clear.
    StatusFacts m_facts;
    bool m_cleared = true;
    QMargins m_frame{4, 28, 4, 4}; // the window manager's frame, once seen
    QPointer<AboutBox> m_about;
    bool m_minimizedForTray = false; // minimized because no tray host ran
    QTimer* m_watch = nullptr;       // settings file and error state
    std::string m_settingsStamp;
    bool m_exiting = false;
};
