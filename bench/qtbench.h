#pragma once

// The run of the editor's benchmarks: widgets need an application, and
// without a display they draw offscreen.

#include <functional>

#include <benchmark/benchmark.h>
#include <QApplication>

namespace tavolin::bench {

// Runs the benchmarks the command line asks for, inside a QApplication, then
// `cleanUp` while the application still stands (windows must go before it).
inline void RunWithApplication(int argc, char** argv, const std::function<void()>& cleanUp)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    cleanUp();
}

} // namespace tavolin::bench
