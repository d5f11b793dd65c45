#pragma once

// The house style of the benchmarks: each figure timed as wall and thread CPU time, the median of
// the repetitions kept, and printed beside its reference in one table; figures taken at several
// sizes are printed as a growth table as well.
#include "files/AtomicFile.h"

#include <QByteArray>
#include <QString>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <vector>

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
    static std::map<std::string, Figure> all; // mean per iteration, the median of the repetitions
    return all;
}

inline double median(std::vector<double> all)
{
    std::sort(all.begin(), all.end());
    const size_t n = all.size();
    return n == 0 ? 0 : n % 2 ? all[n / 2] : (all[n / 2 - 1] + all[n / 2]) / 2;
}

// Keeps every repetition; the figure is the median of each clock.
inline void record(const std::string& name, Figure run)
{
    static std::map<std::string, std::vector<Figure>> runs;
    auto& all = runs[name];
    all.push_back(run);
    std::vector<double> walls, cpus;
    for (const Figure& f : all) {
        walls.push_back(f.wall);
        cpus.push_back(f.cpu);
    }
    figures()[name] = Figure{median(walls), median(cpus)};
}

inline void record(benchmark::State& state, const std::string& name, double wall, double cpu)
{
    record(name, Figure{wall / double(state.iterations()), cpu / double(state.iterations())});
}

// The floor of a write: replacing the file with the same bytes, atomically.
inline void timeAtomicRewrite(benchmark::State& state, const QString& path, const QByteArray& bytes,
                              const std::string& name)
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

// How figures grow with the size of their input: the CPU time at each size and, in brackets, per
// unit of size (flat while the cost stays linear).
inline void printGrowthHeader(const char* title, const std::vector<std::pair<const char*, double>>& sizes)
{
    std::printf("\n%-36s", title);
    for (const auto& [label, size] : sizes)
        std::printf(" %24s", label);
    std::printf("\n");
}

inline void printGrowthRow(const char* what, const std::vector<Figure>& atSize,
                           const std::vector<std::pair<const char*, double>>& sizes, const char* perUnit)
{
    std::printf("%-36s", what);
    for (size_t i = 0; i < atSize.size() && i < sizes.size(); ++i) {
        const double cpu = atSize[i].cpu;
        char cell[64];
        std::snprintf(cell, sizeof cell, "%.3f ms (%.1f ns/%s)", cpu * 1e3, cpu * 1e9 / sizes[i].second,
                      perUnit);
        std::printf(" %24s", cell);
    }
    std::printf("\n");
}

// The WIN.INI sizes the profile benches grow through, and a figure's name at one of them.
inline constexpr qsizetype kFileSizes[] = {10'000, 100'000, 1'000'000, 10'000'000};

inline std::string nameAtSize(const char* figure, qsizetype size)
{
    return std::string(figure) + "/" + std::to_string(size);
}

// Prints `figure` beside its "floor" at every file size, then how both grow per byte.
inline void printFileSizeFigures(const char* figure, const char* floorWhat, const char* goal)
{
    const std::vector<std::pair<const char*, double>> growth = {
        {"10 KB", 1e4}, {"100 KB", 1e5}, {"1 MB", 1e6}, {"10 MB", 1e7}};
    std::vector<Figure> measured, floors;
    for (size_t i = 0; i < growth.size(); ++i) {
        const std::string what = std::string(figure) + " vs " + floorWhat + ", " + growth[i].first;
        measured.push_back(figures()[nameAtSize(figure, kFileSizes[i])]);
        floors.push_back(figures()[nameAtSize("floor", kFileSizes[i])]);
        printRow(what.c_str(), measured.back(), floors.back(), goal, 1e3, "ms");
    }
    printGrowthHeader("growth (CPU time, per byte)", growth);
    printGrowthRow(figure, measured, growth, "B");
    printGrowthRow((std::string("its floor: ") + floorWhat).c_str(), floors, growth, "B");
}

} // namespace velmora::bench
