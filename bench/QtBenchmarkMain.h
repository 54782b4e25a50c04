#pragma once

// The main of a benchmark program that needs a Qt event loop: Qt Core, then Google
// Benchmark with the command line's options.
#include <QCoreApplication>
#include <benchmark/benchmark.h>

#define QUILLO_QT_BENCHMARK_MAIN()                                                                 \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        QCoreApplication app(argc, argv);                                                          \
        benchmark::Initialize(&argc, argv);                                                        \
        benchmark::RunSpecifiedBenchmarks();                                                       \
        benchmark::Shutdown();                                                                     \
        return 0;                                                                                  \
    }
