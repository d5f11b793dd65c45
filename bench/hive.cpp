// The binary registry of a real Windows Me machine (SYSTEM.DAT, 1.2 MB, 4,999 keys, 15,858
// values). Each figure is printed beside its reference:
//   (a) opening the file and answering the first read   vs reading its bytes; vs cregexport
//   (b) a warm read                                    vs the goal of 2 us
//   (c) one value change written to disk               vs an atomic rewrite of the same bytes
// Another file can be given as the first argument. Then built files of 10,000 to 60,000 keys,
// once as one chain (each key the only subkey of the one before) and once all below the root:
//   (d) reading the chain and finding its deepest key  vs the same for the flat file
//   memory held for the chain's index                  vs its file size
// with the growth of (d) by key: a key's depth costs nothing.
#include "Figures.h"

#include "files/AtomicFile.h"
#include "regedit4/RegistryFile.h"
#include "registry/HiveStore.h"
#include "tests/support/HiveBuilder.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <iterator>
#include <map>
#include <unistd.h>

namespace {

using namespace velmora;
using bench::Clock;
using bench::record;
using bench::timeAtomicRewrite;

QTemporaryDir* g_dir = nullptr;
QString g_file;
QByteArray g_bytes;
std::vector<QByteArray> g_paths; // folded, a spread of the file's keys
std::vector<QByteArray> g_names; // a value of each

constexpr QByteArrayView kNet = "system\\currentcontrolset\\services\\class\\net\\0001";

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

void BM_FirstRead(benchmark::State& state)
{
    double wall = 0, cpu = 0;
    for (auto _ : state) {
        const Clock clock;
        HiveStore store(g_file);
        store.refresh();
        quint32 type = 0;
        QByteArray data;
        benchmark::DoNotOptimize(store.readValue(store.findKey(kNet), "IPMTU", type, data));
        const double took = clock.wallSince(); // the store's teardown is not part of it
        wall += took;
        cpu += clock.cpuSince();
        state.SetIterationTime(took);
    }
    record(state, "a", wall, cpu);
}

void BM_Cregexport(benchmark::State& state)
{
    const Clock clock;
    for (auto _ : state) {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(QStringLiteral("cregexport"), {g_file});
        p.waitForFinished(-1);
    }
    // The child's CPU is not this thread's: wall time for both columns.
    const double wall = clock.wallSince();
    record(state, "cregexport", wall, wall);
}

void BM_WarmRead(benchmark::State& state)
{
    HiveStore store(g_file);
    store.refresh();
    quint32 type = 0;
    QByteArray data;
    size_t i = 0;
    const Clock clock;
    for (auto _ : state) {
        const size_t k = i++ % g_paths.size();
        benchmark::DoNotOptimize(store.readValue(store.findKey(g_paths[k]), g_names[k], type, data));
    }
    record(state, "b", clock.wallSince(), clock.cpuSince());
}

void BM_AtomicRewrite(benchmark::State& state)
{
    timeAtomicRewrite(state, g_dir->filePath(QStringLiteral("COPY.DAT")), g_bytes, "floor_c");
}

void BM_SetValue(benchmark::State& state)
{
    const QString path = g_dir->filePath(QStringLiteral("SYSTEM.DAT"));
    if (!writeFileAtomically(path, g_bytes))
        state.SkipWithError("cannot write the file");
    HiveStore store(path);
    store.refresh();
    int i = 0;
    const Clock clock;
    for (auto _ : state)
        benchmark::DoNotOptimize(store.setValue(kNet, "IPMTU", 1, (i++ & 1) ? "576" : "1500"));
    record(state, "c", clock.wallSince(), clock.cpuSince());
}

constexpr int kLevels[] = {10000, 20000, 40000, 60000};

struct Shaped {
    QByteArray file;
    QByteArray deepest; // folded
};

// The chain of that many levels (deep) or as many keys below the root (flat), built once.
const Shaped& shapedFile(int keys, bool deep)
{
    static std::map<std::pair<int, bool>, Shaped> files;
    Shaped& shaped = files[{keys, deep}];
    if (shaped.file.isEmpty()) {
        std::vector<velmora::testing::BuiltKey> list = velmora::testing::keyChain(keys);
        if (!deep)
            for (auto& key : list)
                key.parent = 0;
        shaped.file = velmora::testing::buildHive(list);
        shaped.deepest = deep ? velmora::testing::keyChainPath(keys, true) : "k" + QByteArray::number(keys);
    }
    return shaped;
}

std::string nameAt(const char* figure, int keys)
{
    return std::string(figure) + "/" + std::to_string(keys);
}

void loadShaped(benchmark::State& state, bool deep)
{
    const Shaped& shaped = shapedFile(int(state.range(0)), deep);
    const Clock clock;
    for (auto _ : state) {
        auto image = HiveImage::parse(shaped.file);
        if (!image || image->findKey(shaped.deepest) < 0)
            state.SkipWithError("the built file does not read back");
    }
    record(state, nameAt(deep ? "d" : "floor_d", int(state.range(0))), clock.wallSince(), clock.cpuSince());
}

void BM_LoadDeepChain(benchmark::State& state)
{
    loadShaped(state, true);
}

void BM_LoadFlatKeys(benchmark::State& state)
{
    loadShaped(state, false);
}

long rssBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * sysconf(_SC_PAGESIZE) : 0;
}

// The machines this runs on are shared: each figure is the best of a few repetitions.
BENCHMARK(BM_ReadFileBytes)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_FirstRead)->UseManualTime()->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_Cregexport)->Unit(benchmark::kMillisecond)->Iterations(2)->Repetitions(2);
BENCHMARK(BM_WarmRead)->Unit(benchmark::kMicrosecond)->Repetitions(3);
BENCHMARK(BM_AtomicRewrite)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_SetValue)->Unit(benchmark::kMillisecond)->Repetitions(3);
void atEveryDepth(benchmark::internal::Benchmark* b)
{
    for (const int levels : kLevels)
        b->Arg(levels);
}
BENCHMARK(BM_LoadDeepChain)->Apply(atEveryDepth)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_LoadFlatKeys)->Apply(atEveryDepth)->Unit(benchmark::kMillisecond)->Repetitions(3);

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir dir;
    g_dir = &dir;
    g_file =
        argc > 1 && argv[1][0] != '-' ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(VELMORA_HIVE_FILE);
    QFile file(g_file);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(g_file));
        return 1;
    }
    g_bytes = file.readAll();
    auto image = HiveImage::parse(g_bytes);
    if (!image) {
        std::fprintf(stderr, "%s\n", qPrintable(image.reason()));
        return 1;
    }
    for (int key = 1; key < image->keyCount(); key += 37) {
        const auto values = image->values(key);
        if (values.empty())
            continue;
        QByteArray display, folded;
        regfile::normalisePath(image->keyPath(key), display, folded);
        g_paths.push_back(folded);
        g_names.push_back(values[values.size() / 2].name.toByteArray().toLower());
    }

    // Memory held while the deepest chain is read, beside the size of its file (the file's
    // bytes are shared with the image, so they count once, in the reference).
    const int deepest = kLevels[std::size(kLevels) - 1];
    const QByteArray& chain = shapedFile(deepest, true).file;
    long held = 0;
    {
        const long before = rssBytes();
        auto deep = HiveImage::parse(chain);
        held = rssBytes() - before;
        if (!deep || deep->findKey(shapedFile(deepest, true).deepest) < 0) {
            std::fprintf(stderr, "the built chain does not read back\n");
            return 1;
        }
    }

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    auto& f = bench::figures();
    std::printf("\nRegistry file: %s, %d keys, %.2f MB\n", qPrintable(g_file), image->keyCount(),
                double(g_bytes.size()) / 1e6);
    bench::printHeader();
    bench::printRow("(a) open + first read vs file bytes", f["a"], f["floor_a"], "<= 20x", 1e3, "ms");
    bench::printRow("(a) open + first read vs cregexport", f["a"], f["cregexport"], "<= 0.01x", 1e3, "ms");
    bench::printRow("(b) warm read vs 2 us", f["b"], bench::Figure{2e-6, 2e-6}, "<= 1x", 1e6, "us");
    bench::printRow("(c) value change on disk vs atomic rewrite", f["c"], f["floor_c"], "<= 2x", 1e3, "ms");

    std::printf("\nBuilt files: a chain of %d levels, %.2f MB, and as many keys below the root\n", deepest,
                double(chain.size()) / 1e6);
    bench::printHeader();
    bench::printRow("(d) load a 60,000-level chain vs flat keys", f[nameAt("d", deepest)],
                    f[nameAt("floor_d", deepest)], "<= 2x", 1e3, "ms");
    std::printf("%-44s %8.2f MB %22.2f MB %15.2fx %8.0fx\n", "memory: RSS growth on load vs file", held / 1e6,
                double(chain.size()) / 1e6, double(held) / double(chain.size()), 2.0);
    std::vector<std::pair<const char*, double>> growth = {
        {"10,000 levels", 1e4}, {"20,000 levels", 2e4}, {"40,000 levels", 4e4}, {"60,000 levels", 6e4}};
    const auto at = [&](const char* figure) {
        std::vector<bench::Figure> row;
        for (const int levels : kLevels)
            row.push_back(f[nameAt(figure, levels)]);
        return row;
    };
    bench::printGrowthHeader("growth (CPU time, per key)", growth);
    bench::printGrowthRow("(d) load a chain, find its deepest", at("d"), growth, "key");
    bench::printGrowthRow("    its floor: as many keys flat", at("floor_d"), growth, "key");
    return 0;
}
