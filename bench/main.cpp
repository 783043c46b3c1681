// SPDX-License-Identifier: MIT
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <clocale>

// The core's file and text routines expect a Qt application, as in the bridge.
int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "C");
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
