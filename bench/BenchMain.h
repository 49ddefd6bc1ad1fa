#pragma once

// The main of every benchmark: a Qt application of the type given (the widgets want a QApplication),
// then the registered benchmarks with Google Benchmark's own command line.

#include "core/calendar/ReadingThreads.h"

#include <benchmark/benchmark.h>

template <class Application> int runBenchmarks(int argc, char** argv) {
    {
        Application app(argc, argv);
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    }
    return ReadingThreads::beforeExit(0, std::chrono::seconds(10));
}
