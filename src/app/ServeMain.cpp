// SPDX-License-Identifier: MIT
// The serving program (libexec/tessiro/tessiro-serve-printer): `tessiro
// serve-printer` hands over to it, so the HTTP server's libraries are loaded
// only by what serves, never by the bridge.
#include "app/Subcommands.h"
#include "core/Clock.h"
#include "lan/serve/PrinterServer.h"

#include <QCoreApplication>

#include <exception>
#include <iostream>
#include <string>

namespace {

int usage(const std::string& why)
{
    std::cerr << "tessiro serve-printer: " << why << "\nUsage: tessiro serve-printer --dir DIR --listen HOST:PORT\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::string dir, listen;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--dir" || arg == "--listen") && i + 1 < argc)
            (arg == "--dir" ? dir : listen) = argv[++i];
        else
            return usage("unexpected argument \"" + arg + "\"");
    }
    if (dir.empty() || listen.empty())
        return usage("--dir and --listen are both needed");
    if (const std::string problem = programDirProblem(dir); !problem.empty())
        return usage(problem);

    QCoreApplication app(argc, argv);
    QHostAddress address;
    quint16 port = 0;
    QString why;
    if (!parseListen(QString::fromLocal8Bit(listen.c_str()), &address, &port, &why))
        return usage(why.toStdString());
    try {
        SystemClock clock;
        PrinterServer server(dir, clock);
        server.onRequest = [](const QString& line) {
            std::cerr << "tessiro serve-printer: " << line.toStdString() << std::endl;
        };
        if (!server.listen(address, port)) {
            std::cerr << "tessiro serve-printer: cannot listen on " << listen << ": " << server.why().toStdString()
                      << '\n';
            return 1;
        }
        // The port goes to standard output alone on its line, so a script
        // that asked for port 0 can read which one it got.
        std::cout << "listening on " << address.toString().toStdString() << ':' << server.port() << std::endl;
        return QCoreApplication::exec();
    } catch (const std::exception& e) {
        std::cerr << "tessiro serve-printer: the simulated printer of " << dir << " could not start: " << e.what()
                  << '\n';
        return 1;
    }
}
