// Writing one port entry into a 1 MB WIN.INI, beside the floor of any atomic rewrite:
// reading the file's bytes and writing them back with writeFileAtomically.
#include "platform/AtomicFile.h"
#include "platform/MachineFolder.h"
#include "platform/ProfileWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

using namespace velmora;

// About 5,000 sections and 1 MB, with [Ports] last so the whole file is crossed.
QByteArray largeWinIni()
{
    QByteArray text;
    for (int i = 0; text.size() < 1000 * 1000 - 200; ++i) {
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
        const QByteArray text = largeWinIni();
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
    for (auto _ : state) {
        if (!writer.WritePrivateProfileStringA("Ports", "COM2:", values[turn ^= 1], "c:\\windows\\win.ini")) {
            state.SkipWithError(qPrintable(writer.lastError()));
            break;
        }
    }
}
BENCHMARK(BM_WritePortEntry)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FloorReadAndAtomicRewrite(benchmark::State& state)
{
    Machine machine(state);
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
}
BENCHMARK(BM_FloorReadAndAtomicRewrite)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
