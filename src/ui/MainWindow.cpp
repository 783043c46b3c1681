#include "ui/MainWindow.h"
// STUB
MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {}
MainWindow::~MainWindow() = default;
void MainWindow::attach(Bridge& bridge) { m_bridge = &bridge; }
void MainWindow::setPrinterErrorText(const std::string& t) { m_printerText = t; }
std::string MainWindow::printerErrorText() const { return m_printerText; }
void MainWindow::setProgramErrorText(const std::string& t) { m_programText = t; }
std::string MainWindow::programErrorText() const { return m_programText; }
void MainWindow::showOnTop() { show(); }
void MainWindow::makeTopmost() {}
void MainWindow::hideToTray() { hide(); }
void MainWindow::inform(const std::string&, const std::string&) {}
bool MainWindow::askOkCancel(const std::string&, const std::string&) { return false; }
bool MainWindow::askYesNo(const std::string&, const std::string&) { return false; }
