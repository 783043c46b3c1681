// SPDX-License-Identifier: MIT
// The least any Qt program that polls costs on this machine: a
// QCoreApplication whose QTimer fires every INTERVAL ms and does nothing.
// Run beside the bridge by whole-process.sh, so that the CPU of an idle tick
// can be split into what the event loop's wake-up costs and what the
// bridge's own work adds.
//
//   tessiro_idle_qt INTERVAL_MS
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessiro_idle_qt INTERVAL_MS\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [] {});
    timer.start(std::atoi(argv[1]));
    return app.exec();
}
