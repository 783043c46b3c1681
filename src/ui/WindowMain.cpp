// SPDX-License-Identifier: MIT
// The window program (libexec/tessiro/tessiro): the bridge with its window
// and tray icon. Started by tessiro when a display is there to show a window
// on; it takes the same command line as the bridge itself.
#include "app/BridgeRun.h"
#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "app/Subcommands.h"
#include "bridge/Bridge.h"
#include "ui/MainWindow.h"
#include "ui/Translation.h"

#include <QApplication>
#include <QTranslator>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class MainWindowFront : public WindowFront {
public:
    OperatorWindow& operatorWindow() override { return m_window; }
    void attach(Bridge& bridge) override
    {
        m_window.attach(bridge);
        QObject::connect(&m_window, &MainWindow::exitConfirmed, qApp, [this] {
            if (stopTaking)
                stopTaking();
        });
        QObject::connect(&m_window, &MainWindow::exitRequested, qApp, &QCoreApplication::quit);
    }
    void show() override { m_window.showFromTray(); }

private:
    MainWindow m_window;
};

// Qt ends the process with abort() when no display answers; the operator
// needs one line that says what to do instead, and an exit status that a
// service manager or a launcher can read.
QtMessageHandler g_previousHandler = nullptr;

void startUpMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtFatalMsg) {
        // The platform plugin's own complaints come before the fatal one and
        // would bury the line that says what to do.
        if (context.category && QByteArray(context.category).startsWith("qt.qpa"))
            return;
        if (g_previousHandler)
            g_previousHandler(type, context, message);
        return;
    }
    const QByteArray display = qgetenv("DISPLAY");
    std::cerr << "tessiro: cannot open the display"
              << (display.isEmpty() ? std::string() : " \"" + display.toStdString() + "\"")
              << " for the window; 'tessiro --headless' runs the bridge without one\n";
    std::cerr.flush();
    std::_Exit(1);
}

} // namespace

int main(int argc, char** argv)
{
    const CommandLine command = startProgram(argc, argv);
    if (command.action != CommandLine::Action::RunBridge || command.headless) {
        std::cerr << "tessiro: "
                  << (command.action == CommandLine::Action::Invalid
                          ? command.error
                          : std::string("the window program runs the bridge with its window only"))
                  << "\nStart it as 'tessiro'; 'tessiro --help' tells the rest.\n";
        return ExitUsage;
    }

    const fs::path dir = resolveProgramDir(command, argv[0]);
    if (const std::string problem = programDirProblem(dir); !problem.empty()) {
        std::cerr << "tessiro: " << problem << '\n';
        return ExitUsage;
    }

    SingleInstance instance(dir);
    if (!instance.acquire()) {
        if (instance.heldByAnother())
            return showRunningBridge(dir, instance.why(), argc, argv);
        std::cerr << "tessiro: " << instance.why() << '\n';
        return ExitNoLock;
    }

    g_previousHandler = qInstallMessageHandler(startUpMessages);
    QApplication app(argc, argv);
    qInstallMessageHandler(g_previousHandler);
    QTranslator italian;
    installItalianTranslation(app, italian);
    // The window lives in the tray: closing the last visible window (a
    // message box, the About box) must not end the bridge.
    app.setQuitOnLastWindowClosed(false);
    MainWindowFront front;
    return runBridgeLoop(dir, command.verbosity, &front);
}
