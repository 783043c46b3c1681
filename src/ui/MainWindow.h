// SPDX-License-Identifier: MIT
#pragma once

#include "config/SettingsPanel.h"
#include "core/OperatorWindow.h"
#include "ui/MessageBox.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <functional>
#include <string>
#include <vector>

class AboutBox;
class Bridge;
struct OperatorCommand;
class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
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
    void buildMenu();
    // Runs an operator command as the window's button or menu entry.
    void run(const OperatorCommand& command);

    void fieldEdited(Field field, const QString& text);
    void showField(Field field);
    void setTopmost(bool on);
    bool ask(MessageBoxRequest::Buttons buttons, const std::string& title, const std::string& text);

    void esci();
    void fileTemporanei();
    void about();

    Bridge* m_bridge = nullptr;
    TrayIcon* m_tray = nullptr;
    std::array<QLineEdit*, SettingsPanel::FieldCount> m_fields{};
    QCheckBox* m_payL = nullptr;
    QPlainTextEdit* m_msgErrori = nullptr;
    QPlainTextEdit* m_msgErroreNoPrinter = nullptr;
    std::string m_printerText, m_programText;
    // Since the error came: the files thrown away, and the last void.
    std::vector<std::string> m_discarded;
    std::string m_lastVoid;
    QPointer<AboutBox> m_about;
    bool m_minimizedForTray = false; // minimized because no tray host ran
    QTimer* m_watch = nullptr;       // settings file and error state
    std::string m_settingsStamp;
    bool m_exiting = false;
};
