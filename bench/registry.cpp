// The registry over large REGEDIT4 files of 1,000 to 1,000,000 values (ten to a key; text,
// dword and hex values; about 52 bytes a value). Each figure is printed beside its floor:
//   (a) the first ReadKeyValue after start, which loads the file   vs reading the file's bytes
//       (in this process, warm, and in a fresh process each, against a fresh read)
//   (b) a warm ReadKeyValue                                       vs the goal of 2 us
//   (c) one WriteKeyValue                                         vs an atomic rewrite of the bytes
//   memory held by the store                                      vs the file size
// and the growth of (a), (b) and (c) with the number of values.
#include "registry/Registry.h"
#include "config/Module2.h"
#include "files/AtomicFile.h"
#include "registry/RegistryStore.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "Figures.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>

namespace {

using namespace velmora;
using namespace velmora::bench;

constexpr int kValuesPerKey = 10;
constexpr int kSizes[] = {1000, 10000, 100000, 1000000}; // values
constexpr int kMainSize = 100000;                        // the one the goals of (a) and (b) are for
constexpr int kLargeSize = 1000000;                      // the one the goal of (c) is for

QTemporaryDir* g_dir = nullptr;

QString keyPath(int k)
{
    return QStringLiteral("System\\CurrentControlSet\\Services\\Class\\Bench\\%1\\Device%2\\")
        .arg(k / 100, 4, 10, QChar(u'0'))
        .arg(k % 100, 2, 10, QChar(u'0'));
}

QByteArray makeFile(int values)
{
    const int keys = values / kValuesPerKey;
    QByteArray text = "REGEDIT4\r\n\r\n";
    text.reserve(qsizetype(values) * 56);
    quint32 seed = 12345;
    auto next = [&] { return seed = seed * 1103515245 + 12345; };
    for (int k = 0; k < keys; ++k) {
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

// The file of that many values, made on first use.
struct BenchFile {
    QString path;
    QByteArray bytes;
};
const BenchFile& fileOf(int values)
{
    static std::map<int, BenchFile> files;
    BenchFile& file = files[values];
    if (file.path.isEmpty()) {
        file.bytes = makeFile(values);
        file.path = g_dir->filePath(QStringLiteral("system-%1.reg").arg(values));
        if (!writeFileAtomically(file.path, file.bytes)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file.path));
            std::exit(1);
        }
    }
    return file;
}

std::string nameOf(const char* figure, int values)
{
    return std::string(figure) + "/" + std::to_string(values);
}

long rssBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * sysconf(_SC_PAGESIZE) : 0;
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// The first read in a new store: the file is loaded.
bool firstRead(const QString& path, int values)
{
    RegistryApi api(path);
    Module2 module(api);
    HKEY root = HKEY_LOCAL_MACHINE;
    QString text = QStringLiteral("Unknown");
    return module.ReadKeyValue(root, keyPath(values / kValuesPerKey / 2), QStringLiteral("Value3"), text);
}

void BM_ReadFileBytes(benchmark::State& state)
{
    const BenchFile& file = fileOf(int(state.range(0)));
    const Clock clock;
    for (auto _ : state)
        benchmark::DoNotOptimize(readBytes(file.path));
    record(state, nameOf("floor_a", int(state.range(0))), clock.wallSince(), clock.cpuSince());
}

void BM_FirstReadKeyValue(benchmark::State& state)
{
    const int values = int(state.range(0));
    const BenchFile& file = fileOf(values);
    double wall = 0, cpu = 0;
    for (auto _ : state) {
        const Clock clock;
        RegistryApi api(file.path);
        Module2 module(api);
        HKEY root = HKEY_LOCAL_MACHINE;
        QString text = QStringLiteral("Unknown");
        benchmark::DoNotOptimize(
            module.ReadKeyValue(root, keyPath(values / kValuesPerKey / 2), QStringLiteral("Value3"), text));
        const double took = clock.wallSince(); // the store's teardown is not part of it
        wall += took;
        cpu += clock.cpuSince();
        state.SetIterationTime(took);
    }
    record(state, nameOf("a", values), wall, cpu);
}

void BM_WarmReadKeyValue(benchmark::State& state)
{
    const int values = int(state.range(0));
    const int keys = values / kValuesPerKey;
    RegistryApi api(fileOf(values).path);
    Module2 module(api);
    HKEY root = HKEY_LOCAL_MACHINE;
    QString text;
    module.ReadKeyValue(root, keyPath(0), QStringLiteral("Value0"), text);
    int k = 0;
    QString paths[64];
    for (int i = 0; i < 64; ++i)
        paths[i] = keyPath(i * 151 % keys);
    const Clock clock;
    for (auto _ : state) {
        text = QStringLiteral("Unknown");
        benchmark::DoNotOptimize(module.ReadKeyValue(root, paths[k++ & 63], QStringLiteral("value7"), text));
    }
    record(state, nameOf("b", values), clock.wallSince(), clock.cpuSince());
}

void BM_AtomicRewrite(benchmark::State& state)
{
    const BenchFile& file = fileOf(int(state.range(0)));
    timeAtomicRewrite(state, g_dir->filePath(QStringLiteral("copy.reg")), file.bytes,
                      nameOf("floor_c", int(state.range(0))));
}

void BM_WriteKeyValue(benchmark::State& state)
{
    const int values = int(state.range(0));
    const QString path = g_dir->filePath(QStringLiteral("written.reg"));
    if (!writeFileAtomically(path, fileOf(values).bytes))
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
        benchmark::DoNotOptimize(module.WriteKeyValue(root, keyPath(values / kValuesPerKey / 3), type,
                                                      QStringLiteral("IPMTU"), value));
    }
    record(state, nameOf("c", values), clock.wallSince(), clock.cpuSince());
}

// Each figure at every size. The machines this runs on are shared: each figure is the median of
// a few repetitions; on the largest file a slow figure has a fixed few iterations, so the run
// stays short (Quick: an operation whose time does not grow with the file).
enum class Timing { Automatic, Manual, Quick };
void registerAtSizes(const char* name, void (*function)(benchmark::State&), benchmark::TimeUnit unit,
                     Timing timing = Timing::Automatic)
{
    for (const int values : kSizes) {
        auto* b = benchmark::RegisterBenchmark(name, function)->Arg(values)->Unit(unit)->Repetitions(3);
        if (values >= kLargeSize && timing != Timing::Quick)
            b->Iterations(2);
        else
            b->MinTime(0.2);
        if (timing == Timing::Manual)
            b->UseManualTime();
    }
}

// A fresh process does one thing and reports its wall and CPU time: "load" the first
// ReadKeyValue, "read" reading the file's bytes.
int freshProcess(const char* what, const QString& path)
{
    const Clock clock;
    const bool ok = std::strcmp(what, "load") == 0 ? firstRead(path, kMainSize) : !readBytes(path).isEmpty();
    std::printf("%.9f %.9f\n", clock.wallSince(), clock.cpuSince());
    return ok ? 0 : 1;
}

// Runs a fresh process of this program for each repetition, loads and reads taking turns.
void timeFreshProcesses(const char* self, const QString& path)
{
    for (int i = 0; i < 9; ++i) {
        for (const char* what : {"load", "read"}) {
            QProcess child;
            child.start(QString::fromLocal8Bit(self),
                        {QStringLiteral("--fresh"), QString::fromLatin1(what), path});
            child.waitForFinished(60000);
            double wall = 0, cpu = 0;
            if (std::sscanf(child.readAllStandardOutput().constData(), "%lf %lf", &wall, &cpu) == 2)
                record(std::string("fresh_") + what, Figure{wall, cpu});
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--fresh") == 0)
        return freshProcess(argv[2], QString::fromLocal8Bit(argv[3]));

    QTemporaryDir dir;
    g_dir = &dir;
    const BenchFile& main = fileOf(kMainSize);

    // Memory: the store's own accounting and the growth of the resident set while loading.
    long rssGrowth = 0;
    qsizetype accounted = 0;
    {
        const long before = rssBytes();
        RegistryStore store(main.path);
        store.refresh();
        rssGrowth = rssBytes() - before;
        accounted = store.memoryUsage();
    }

    registerAtSizes("BM_ReadFileBytes", BM_ReadFileBytes, benchmark::kMillisecond);
    registerAtSizes("BM_FirstReadKeyValue", BM_FirstReadKeyValue, benchmark::kMillisecond, Timing::Manual);
    registerAtSizes("BM_WarmReadKeyValue", BM_WarmReadKeyValue, benchmark::kMicrosecond, Timing::Quick);
    registerAtSizes("BM_AtomicRewrite", BM_AtomicRewrite, benchmark::kMillisecond);
    registerAtSizes("BM_WriteKeyValue", BM_WriteKeyValue, benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    timeFreshProcesses(argv[0], main.path);

    auto& f = figures();
    const double size = double(main.bytes.size());
    const double largeSize = double(fileOf(kLargeSize).bytes.size());
    std::printf("\nRegistry file: %d keys, %d values, %.2f MB (and %d values, %.1f MB for (c))\n",
                kMainSize / kValuesPerKey, kMainSize, size / 1e6, kLargeSize, largeSize / 1e6);
    printHeader();
    const Figure goalB{2e-6, 2e-6};
    printRow("(a) first ReadKeyValue vs file bytes", f[nameOf("a", kMainSize)],
             f[nameOf("floor_a", kMainSize)], "8x", 1e3, "ms");
    printRow("(a) fresh process: load vs read", f["fresh_load"], f["fresh_read"], "3x", 1e3, "ms");
    printRow("(b) warm ReadKeyValue vs 2 us", f[nameOf("b", kMainSize)], goalB, "1x", 1e6, "us");
    printRow("(c) WriteKeyValue vs atomic rewrite", f[nameOf("c", kMainSize)],
             f[nameOf("floor_c", kMainSize)], "2x", 1e3, "ms");
    printRow("(c) on 1,000,000 values vs atomic rewrite", f[nameOf("c", kLargeSize)],
             f[nameOf("floor_c", kLargeSize)], "2x", 1e3, "ms");
    std::printf("%-44s %8.2f MB %22.2f MB %15.2fx %8.0fx\n", "memory: store's accounting vs file",
                accounted / 1e6, size / 1e6, accounted / size, 4.0);
    std::printf("%-44s %8.2f MB %22.2f MB %15.2fx %8.0fx\n", "memory: RSS growth on load vs file",
                rssGrowth / 1e6, size / 1e6, rssGrowth / size, 4.0);

    std::vector<std::pair<const char*, double>> growth = {
        {"1,000 values", 1e3}, {"10,000 values", 1e4}, {"100,000 values", 1e5}, {"1,000,000 values", 1e6}};
    auto at = [&](const char* figure) {
        std::vector<Figure> row;
        for (const int values : kSizes)
            row.push_back(f[nameOf(figure, values)]);
        return row;
    };
    printGrowthHeader("growth (CPU time, per value)", growth);
    printGrowthRow("(a) first ReadKeyValue (load)", at("a"), growth, "value");
    printGrowthRow("    its floor: reading the bytes", at("floor_a"), growth, "value");
    printGrowthRow("(b) warm ReadKeyValue", at("b"), growth, "value");
    printGrowthRow("(c) WriteKeyValue", at("c"), growth, "value");
    printGrowthRow("    its floor: atomic rewrite", at("floor_c"), growth, "value");
    return 0;
}
