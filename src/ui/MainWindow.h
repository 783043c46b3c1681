#pragma once

#include "errors/OperatorWindow.h"

#include <QMainWindow>

class Bridge;

// The main window `Tessiro`: the settings panel, the error panel, the
// recovery buttons, the menu and the tray icon. It is the window seam the
// core talks to. STUB: interface agreed between the app and the ui developers.
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

signals:
    // The operator confirmed Esci: the program is to end.
    void exitRequested();

private:
    Bridge* m_bridge = nullptr;
    std::string m_printerText, m_programText;
};
