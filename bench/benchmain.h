#pragma once

// main() of the benchmark programs: the registered benchmarks run inside a Qt application
// with one shared fixture, built before the first benchmark and dropped after the last.

#include <QCoreApplication>

#include <benchmark/benchmark.h>

template <typename Store>
int runBenchmarks(int argc, char **argv, Store *&store)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Store shared;
    store = &shared;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    store = nullptr;
    return 0;
}
