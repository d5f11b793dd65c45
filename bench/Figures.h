#pragma once

// The house style of the benchmarks: each figure timed as wall and thread CPU time, the best of
// the repetitions kept, and printed beside its reference in one table.
#include "platform/AtomicFile.h"

#include <QByteArray>
#include <QString>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>

namespace velmora::bench {

// On a shared machine the CPU time is the steadier figure for work that does not wait for the
// disk.
struct Clock {
    std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
    double cpu = threadCpu();
    static double threadCpu()
    {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
    }
    double wallSince() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
    }
    double cpuSince() const { return threadCpu() - cpu; }
};

struct Figure {
    double wall = 0;
    double cpu = 0;
};

inline std::map<std::string, Figure>& figures()
{
    static std::map<std::string, Figure> all; // mean per iteration, the best of the repetitions
    return all;
}

inline void record(benchmark::State& state, const char* name, double wall, double cpu)
{
    const Figure run{wall / double(state.iterations()), cpu / double(state.iterations())};
    const auto it = figures().find(name);
    if (it == figures().end() || run.cpu < it->second.cpu)
        figures()[name] = run;
}

// The floor of a write: replacing the file with the same bytes, atomically.
inline void timeAtomicRewrite(benchmark::State& state, const QString& path, const QByteArray& bytes,
                              const char* name)
{
    const Clock clock;
    for (auto _ : state)
        benchmark::DoNotOptimize(velmora::writeFileAtomically(path, bytes).ok());
    record(state, name, clock.wallSince(), clock.cpuSince());
}

inline void printHeader()
{
    std::printf("%-44s %22s %22s %17s %8s\n", "figure", "measured (wall / cpu)", "reference (wall / cpu)",
                "ratio (wall/cpu)", "goal");
}

// One line: the figure, its reference and their ratio beside the goal ("x" a ratio limit).
inline void printRow(const char* what, const Figure& m, const Figure& f, const char* goal, double unit,
                     const char* unitName)
{
    std::printf("%-44s %8.3f / %8.3f %s %8.3f / %8.3f %s %7.2fx / %6.2fx %8s\n", what, m.wall * unit,
                m.cpu * unit, unitName, f.wall * unit, f.cpu * unit, unitName, m.wall / f.wall, m.cpu / f.cpu,
                goal);
}

} // namespace velmora::bench
