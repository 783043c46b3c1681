#pragma once
#include <QMainWindow>
// STUB
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    using QMainWindow::QMainWindow;
};
