// Picking a port in the main window on a large WIN.INI (10 KB to 10 MB, sections of eight keys,
// [Ports] last), beside the floor measured in the same run: reading the file's bytes and
// writing an atomic copy of it. Goal: the pick takes at most 3x the floor's CPU time at every
// size, so its cost grows as the file does.
#include "app/Velmora.h"
#include "files/AtomicFile.h"
#include "ui/MessageBoxes.h"
#include "ui/VbForm.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "Figures.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace velmora::bench;

class SilentBoxes : public velmora::MessageBoxes {
public:
    velmora::MsgAnswer show(const QString&, velmora::MsgIcon, velmora::MsgButtons) override
    {
        return velmora::MsgAnswer::Ok;
    }
};

QByteArray largeWinIni(qsizetype size)
{
    QByteArray text = "[windows]\r\nload=\r\nrun=\r\n\r\n";
    for (int section = 0; text.size() < size - 200; ++section) {
        text += "[Application" + QByteArray::number(section) + "]\r\n";
        for (int key = 0; key < 8; ++key)
            text += "Setting" + QByteArray::number(key) + "=value " + QByteArray::number(section * 8 + key) +
                    ",a,b\r\n";
        text += "\r\n";
    }
    text += "[Ports]\r\nCOM1:=9600,n,8,1,x\r\nCOM2:=19200,e,7,1.5,p\r\nCOM3:=9600,n,8,1,x\r\nCOM4:=9600,n,8,"
            "1,x\r\n";
    return text;
}

struct Machine {
    explicit Machine(qsizetype size)
    {
        QDir(dir.path()).mkpath(QStringLiteral("drive_c/WINDOWS"));
        QFile file(winIni());
        if (file.open(QIODevice::WriteOnly))
            file.write(largeWinIni(size));
    }
    QString winIni() const { return dir.path() + QStringLiteral("/drive_c/WINDOWS/WIN.INI"); }
    QTemporaryDir dir;
};

void BM_Floor_ReadAndAtomicCopy(benchmark::State& state)
{
    Machine machine(state.range(0));
    const QString copy = machine.dir.path() + QStringLiteral("/copy.ini");
    const Clock clock;
    for (auto _ : state) {
        QFile file(machine.winIni());
        file.open(QIODevice::ReadOnly);
        const QByteArray bytes = file.readAll();
        benchmark::DoNotOptimize(velmora::writeFileAtomically(copy, bytes).ok());
        benchmark::DoNotOptimize(bytes.size());
    }
    record(state, nameAtSize("floor", state.range(0)), clock.wallSince(), clock.cpuSince());
}

void BM_PickPort(benchmark::State& state)
{
    Machine machine(state.range(0));
    SilentBoxes boxes;
    QTemporaryDir backups; // never the user's own
    velmora::Velmora app(machine.dir.path(), velmora::Edges{boxes}, backups.path());
    auto* form = app.windows().load(QStringLiteral("Form1"));
    auto* ports = form->findChild<QComboBox*>(QStringLiteral("cmbCommPorts"));
    auto* rate = form->findChild<QComboBox*>(QStringLiteral("comBps"));
    ports->setCurrentIndex(1);
    const Clock clock;
    for (auto _ : state) {
        emit ports->activated(1);
        benchmark::DoNotOptimize(rate->currentText());
    }
    record(state, nameAtSize("pick", state.range(0)), clock.wallSince(), clock.cpuSince());
    if (rate->currentText() != QLatin1String("19200"))
        state.SkipWithError("the pick did not find COM2:");
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (const qsizetype size : kFileSizes)
        b->Arg(size);
}

// The machines this runs on are shared: each figure is the median of a few repetitions.
BENCHMARK(BM_Floor_ReadAndAtomicCopy)->Apply(sizes)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_PickPort)->Apply(sizes)->Unit(benchmark::kMillisecond)->Repetitions(3);

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\nPicking a port on a WIN.INI with [Ports] last\n");
    printHeader();
    printFileSizeFigures("pick", "read + atomic copy", "3x cpu");
    return 0;
}
