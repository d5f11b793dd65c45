// The registry over a large REGEDIT4 file: 100,000 values in 10,000 keys (about 4.5 MB, text,
// dword and hex values). Each figure is printed beside its floor:
//   (a) the first ReadKeyValue after start, which loads the file   vs reading the file's bytes
//   (b) a warm ReadKeyValue                                       vs the goal of 2 us
//   (c) one WriteKeyValue                                         vs an atomic rewrite of the bytes
//   memory held by the store                                      vs the file size
#include "platform/Registry.h"
#include "config/Module2.h"
#include "platform/AtomicFile.h"
#include "platform/RegistryStore.h"

#include <QFile>
#include <QTemporaryDir>

#include "Figures.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <unistd.h>

namespace {

using namespace velmora;
using namespace velmora::bench;

constexpr int kKeys = 10000;
constexpr int kValuesPerKey = 10;

QTemporaryDir* g_dir = nullptr;
QString g_file;
QByteArray g_bytes;

QString keyPath(int k)
{
    return QStringLiteral("System\\CurrentControlSet\\Services\\Class\\Bench\\%1\\Device%2\\")
        .arg(k / 100, 4, 10, QChar(u'0'))
        .arg(k % 100, 2, 10, QChar(u'0'));
}

QByteArray makeFile()
{
    QByteArray text = "REGEDIT4\r\n\r\n";
    text.reserve(5 << 20);
    quint32 seed = 12345;
    auto next = [&] { return seed = seed * 1103515245 + 12345; };
    for (int k = 0; k < kKeys; ++k) {
        text += "[HKEY_LOCAL_MACHINE\\" + keyPath(k).chopped(1).toLatin1() + "]\r\n";
        for (int v = 0; v < kValuesPerKey; ++v) {
            const quint32 r = next();
            text += "\"Value" + QByteArray::number(v) + "\"=";
            switch (r % 20) {
            case 0:
            case 1:
            case 2:
            case 3:
            case 4: // dword
                text += "dword:" + QByteArray::number(r >> 8, 16).rightJustified(8, '0');
                break;
            case 5:
            case 6:
            case 7: { // hex
                text += "hex:";
                for (quint32 i = 0; i < 8 + (r >> 8) % 12; ++i)
                    text += (i ? "," : "") + QByteArray::number((r >> i) & 0xff, 16).rightJustified(2, '0');
                break;
            }
            default: // text
                text += "\"C:\\\\WINDOWS\\\\SYSTEM\\\\driver" + QByteArray::number(r % 100000) + ".vxd\"";
            }
            text += "\r\n";
        }
        text += "\r\n";
    }
    return text;
}

long rssBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * sysconf(_SC_PAGESIZE) : 0;
}

void BM_ReadFileBytes(benchmark::State& state)
{
    const Clock clock;
    for (auto _ : state) {
        QFile file(g_file);
        file.open(QIODevice::ReadOnly);
        benchmark::DoNotOptimize(file.readAll());
    }
    record(state, "floor_a", clock.wallSince(), clock.cpuSince());
}

void BM_FirstReadKeyValue(benchmark::State& state)
{
    const QString path = keyPath(kKeys / 2);
    double wall = 0, cpu = 0;
    for (auto _ : state) {
        const Clock clock;
        RegistryApi api(g_file);
        Module2 module(api);
        HKEY root = HKEY_LOCAL_MACHINE;
        QString text = QStringLiteral("Unknown");
        benchmark::DoNotOptimize(module.ReadKeyValue(root, path, QStringLiteral("Value3"), text));
        const double took = clock.wallSince(); // the store's teardown is not part of it
        wall += took;
        cpu += clock.cpuSince();
        state.SetIterationTime(took);
    }
    record(state, "a", wall, cpu);
}

void BM_WarmReadKeyValue(benchmark::State& state)
{
    RegistryApi api(g_file);
    Module2 module(api);
    HKEY root = HKEY_LOCAL_MACHINE;
    QString text;
    module.ReadKeyValue(root, keyPath(0), QStringLiteral("Value0"), text);
    int k = 0;
    QString paths[64];
    for (int i = 0; i < 64; ++i)
        paths[i] = keyPath(i * 151 % kKeys);
    const Clock clock;
    for (auto _ : state) {
        text = QStringLiteral("Unknown");
        benchmark::DoNotOptimize(module.ReadKeyValue(root, paths[k++ & 63], QStringLiteral("value7"), text));
    }
    record(state, "b", clock.wallSince(), clock.cpuSince());
}

void BM_AtomicRewrite(benchmark::State& state)
{
    timeAtomicRewrite(state, g_dir->filePath(QStringLiteral("copy.reg")), g_bytes, "floor_c");
}

void BM_WriteKeyValue(benchmark::State& state)
{
    const QString path = g_dir->filePath(QStringLiteral("written.reg"));
    if (!writeFileAtomically(path, g_bytes))
        state.SkipWithError("cannot write the file");
    RegistryApi api(path);
    Module2 module(api);
    HKEY root = HKEY_LOCAL_MACHINE;
    qint32 type = REG_SZ;
    int i = 0;
    QString text;
    module.ReadKeyValue(root, keyPath(0), QStringLiteral("Value0"), text); // loaded before timing
    const Clock clock;
    for (auto _ : state) {
        QVariant value = QString::number(576 + (i++ & 1) * 924);
        benchmark::DoNotOptimize(
            module.WriteKeyValue(root, keyPath(kKeys / 3), type, QStringLiteral("IPMTU"), value));
    }
    record(state, "c", clock.wallSince(), clock.cpuSince());
}

// The machines this runs on are shared: each figure is the best of a few repetitions.
BENCHMARK(BM_ReadFileBytes)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_FirstReadKeyValue)->UseManualTime()->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_WarmReadKeyValue)->Unit(benchmark::kMicrosecond)->Repetitions(3);
BENCHMARK(BM_AtomicRewrite)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_WriteKeyValue)->Unit(benchmark::kMillisecond)->Repetitions(3);

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir dir;
    g_dir = &dir;
    g_file = dir.filePath(QStringLiteral("system.reg"));
    g_bytes = makeFile();
    if (!writeFileAtomically(g_file, g_bytes))
        return 1;

    // Memory: the store's own accounting and the growth of the resident set while loading.
    long rssGrowth = 0;
    qsizetype accounted = 0;
    {
        const long before = rssBytes();
        RegistryStore store(g_file);
        store.refresh();
        rssGrowth = rssBytes() - before;
        accounted = store.memoryUsage();
    }

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const double size = double(g_bytes.size());
    std::printf("\nRegistry file: %d keys, %d values, %.2f MB\n", kKeys, kKeys * kValuesPerKey, size / 1e6);
    printHeader();
    auto row = [&](const char* what, const char* key, const char* floorKey, const char* goal, double unit,
                   const char* unitName) {
        printRow(what, figures()[key], floorKey ? figures()[floorKey] : Figure{2e-6, 2e-6}, goal, unit,
                 unitName);
    };
    row("(a) first ReadKeyValue vs file bytes", "a", "floor_a", "15x", 1e3, "ms");
    row("(b) warm ReadKeyValue vs 2 us", "b", nullptr, "1x", 1e6, "us");
    row("(c) WriteKeyValue vs atomic rewrite", "c", "floor_c", "2x", 1e3, "ms");
    std::printf("%-40s %10.2f MB %22.2f MB %15.2fx %7.0fx\n", "memory: store's accounting vs file",
                accounted / 1e6, size / 1e6, accounted / size, 4.0);
    std::printf("%-40s %10.2f MB %22.2f MB %15.2fx %7.0fx\n", "memory: RSS growth on load vs file",
                rssGrowth / 1e6, size / 1e6, rssGrowth / size, 4.0);
    return 0;
}
