// Writing one port entry into a WIN.INI of 10 KB to 10 MB ([Ports] last, so the whole file is
// crossed), beside the floor of any atomic rewrite: reading the file's bytes and writing them
// back with writeFileAtomically. Printed side by side at each size, and as a growth table.
#include "files/AtomicFile.h"
#include "machine/MachineFolder.h"
#include "profile/ProfileWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "Figures.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

using namespace velmora;
using namespace velmora::bench;

// Sections of a driver each, up to the size, and [Ports] last.
QByteArray largeWinIni(qsizetype size)
{
    QByteArray text;
    for (int i = 0; text.size() < size - 200; ++i) {
        text += "[Driver" + QByteArray::number(i) + "]\r\n";
        text += "Path=C:\\WINDOWS\\SYSTEM\\DRV" + QByteArray::number(i) + ".VXD\r\n";
        text += "Description=A device driver with a long enough description, [sic], number " +
                QByteArray::number(i) + "\r\n";
        text += "Version=4.10.2222 (Windows 98 Second Edition)\r\n";
        text += "; tuned by hand\r\nEnabled=1\r\n\r\n";
    }
    text +=
        "[Ports]\r\nCOM1:=9600,n,8,1,x\r\nCOM2:=9600,n,8,1,x\r\nCOM3:=9600,n,8,1,x\r\nCOM4:=9600,n,8,1,x\r\n";
    return text;
}

struct Machine {
    QTemporaryDir dir;
    MachineFolder folder{dir.path()};
    QString winIni = folder.driveC() + "/WINDOWS/WIN.INI";

    explicit Machine(benchmark::State& state)
    {
        QDir().mkpath(folder.driveC() + "/WINDOWS");
        const QByteArray text = largeWinIni(state.range(0));
        QFile file(winIni);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            state.SkipWithError("cannot write the test file");
        state.counters["sections"] = double(text.count("\r\n["));
        state.counters["bytes"] = double(text.size());
    }
};

void BM_WritePortEntry(benchmark::State& state)
{
    Machine machine(state);
    ProfileWriter writer(machine.folder);
    const QByteArray values[] = {"115200,n,8,1,p", "9600,n,8,1,x"};
    int turn = 0;
    const Clock clock;
    for (auto _ : state) {
        if (!writer.WritePrivateProfileStringA("Ports", "COM2:", values[turn ^= 1], "c:\\windows\\win.ini")) {
            state.SkipWithError(qPrintable(writer.lastError()));
            break;
        }
    }
    record(state, nameAtSize("write", state.range(0)), clock.wallSince(), clock.cpuSince());
}

void BM_FloorReadAndAtomicRewrite(benchmark::State& state)
{
    Machine machine(state);
    const Clock clock;
    for (auto _ : state) {
        QFile file(machine.winIni);
        if (!file.open(QIODevice::ReadOnly)) {
            state.SkipWithError("cannot read the test file");
            break;
        }
        const QByteArray bytes = file.readAll();
        file.close();
        if (!writeFileAtomically(machine.winIni, bytes)) {
            state.SkipWithError("cannot write the test file");
            break;
        }
    }
    record(state, nameAtSize("floor", state.range(0)), clock.wallSince(), clock.cpuSince());
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (const qsizetype size : kFileSizes)
        b->Arg(size);
}

// The machines this runs on are shared: each figure is the median of a few repetitions.
BENCHMARK(BM_WritePortEntry)->Apply(sizes)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3);
BENCHMARK(BM_FloorReadAndAtomicRewrite)
    ->Apply(sizes)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(3);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\nWriting a port entry into WIN.INI ([Ports] last)\n");
    printHeader();
    printFileSizeFigures("write", "read + atomic rewrite", "");
    return 0;
}
