// The headless bridge linked against the core alone (QtCore and QtNetwork,
// no QtWidgets or QtGui), to measure what loading the GUI libraries costs a
// headless start. Measurement aid only: it runs the same start-up and ticks
// as `tessiro --headless`, without the control server and operations log.
//
//   tessiro_headless_probe --headless --dir DIR
#include "app/Bridge.h"
#include "app/ConsoleWindow.h"
#include "app/ShutdownSignals.h"
#include "app/SingleInstance.h"
#include "errors/Clock.h"
#include "errors/SharedState.h"
#include "printer/SimulatedPrinter.h"

#include <QCoreApplication>
#include <QTimer>

#include <clocale>
#include <filesystem>
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    std::filesystem::path dir;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--dir")
            dir = std::filesystem::absolute(argv[i + 1]);
    if (dir.empty()) {
        std::cerr << "usage: tessiro_headless_probe --headless --dir DIR\n";
        return 2;
    }

    SingleInstance instance(dir);
    if (!instance.acquire()) {
        std::cerr << "tessiro_headless_probe: " << instance.why() << '\n';
        return 3;
    }
    QCoreApplication app(argc, argv);
    SharedState state;
    state.programDir = dir;
    SystemClock clock;
    SimulatedPrinter printer(dir);
    ConsoleWindow console(std::cerr);
    Bridge bridge(state, console, clock, printer);

    QTimer timer;
    timer.setInterval(bridge.avvio());
    QObject::connect(&timer, &QTimer::timeout, [&bridge] {
        try {
            bridge.tick();
        } catch (const std::exception& e) {
            std::cerr << "tessiro_headless_probe: tick failed: " << e.what() << '\n';
        }
    });
    timer.start();

    ShutdownSignals shutdown;
    QObject::connect(&shutdown, &ShutdownSignals::received, [&](int) {
        timer.stop();
        bridge.chiusura();
        QCoreApplication::quit();
    });
    return app.exec();
}
