// SPDX-License-Identifier: MIT
#pragma once

#include "config/SettingsPanel.h"
#include "errors/OperatorWindow.h"
#include "ui/MessageBox.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <functional>

class AboutBox;
class Bridge;
class QCheckBox;
class QLabel;
class QLineEdit;
class TrayIcon;

// The main window `Tessiro`: the settings panel, the error panel, the
// recovery buttons, the menu and the tray icon. It is the window seam the
// core talks to; every button and menu entry hands over to the core.
//
// Closing it from the title bar hides it to the tray; the program ends only
// through Esci. When Esci is confirmed while fAbout is open, the main window
// and its icon go at once but exitRequested waits until fAbout is closed, as
// an open About window keeps the program running.
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
    void inform(const std::string& title, const std::string& text) override;
    bool askOkCancel(const std::string& title, const std::string& text) override;
    bool askYesNo(const std::string& title, const std::string& text) override;

    // Shows the window from the tray (a left click on the icon).
    void showFromTray();

    // Copies the settings panel's model into its widgets.
    void showSettings();

    TrayIcon& tray() { return *m_tray; }

    // When set, answers the operator's message boxes instead of a modal box
    // (true = OK/Yes), so the window can run without a person.
    std::function<bool(const MessageBoxRequest&)> answerBox;

signals:
    // The operator confirmed Esci: the program is to end.
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
    QLabel* m_msgErrori = nullptr;
    QLabel* m_msgErroreNoPrinter = nullptr;
    std::string m_printerText, m_programText;
    QPointer<AboutBox> m_about;
    bool m_minimizedForTray = false; // minimized because no tray host ran
    bool m_exiting = false;
};
