// Picking a port in the main window on a large WIN.INI (about 1 MB, 5,000 sections, [Ports]
// last), beside the floor measured in the same run: reading the file's bytes and writing an
// atomic copy of it. Goal: the pick takes at most 5x the floor.
#include "app/Velmora.h"
#include "platform/AtomicFile.h"
#include "platform/MessageBoxes.h"
#include "ui/VbForm.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

class SilentBoxes : public velmora::MessageBoxes {
public:
    velmora::MsgAnswer show(const QString&, velmora::MsgIcon, velmora::MsgButtons) override
    {
        return velmora::MsgAnswer::Ok;
    }
};

QByteArray largeWinIni()
{
    QByteArray text = "[windows]\r\nload=\r\nrun=\r\n\r\n";
    for (int section = 0; text.size() < 1'000'000 - 200; ++section) {
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
    Machine()
    {
        QDir(dir.path()).mkpath(QStringLiteral("drive_c/WINDOWS"));
        QFile file(winIni());
        if (file.open(QIODevice::WriteOnly))
            file.write(largeWinIni());
    }
    QString winIni() const { return dir.path() + QStringLiteral("/drive_c/WINDOWS/WIN.INI"); }
    QTemporaryDir dir;
};

void BM_Floor_ReadAndAtomicCopy(benchmark::State& state)
{
    Machine machine;
    const QString copy = machine.dir.path() + QStringLiteral("/copy.ini");
    for (auto _ : state) {
        QFile file(machine.winIni());
        file.open(QIODevice::ReadOnly);
        const QByteArray bytes = file.readAll();
        benchmark::DoNotOptimize(velmora::writeFileAtomically(copy, bytes).ok());
        benchmark::DoNotOptimize(bytes.size());
    }
}
BENCHMARK(BM_Floor_ReadAndAtomicCopy)->Unit(benchmark::kMillisecond);

void BM_PickPort(benchmark::State& state)
{
    Machine machine;
    SilentBoxes boxes;
    QTemporaryDir backups; // never the user's own
    velmora::Velmora app(machine.dir.path(), velmora::Edges{boxes}, backups.path());
    velmora::VbForm* form = app.windows().load(QStringLiteral("Form1"));
    auto* ports = form->findChild<QComboBox*>(QStringLiteral("cmbCommPorts"));
    auto* rate = form->findChild<QComboBox*>(QStringLiteral("comBps"));
    ports->setCurrentIndex(1);
    for (auto _ : state) {
        emit ports->activated(1);
        benchmark::DoNotOptimize(rate->currentText());
    }
    if (rate->currentText() != QLatin1String("19200"))
        state.SkipWithError("the pick did not find COM2:");
}
BENCHMARK(BM_PickPort)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
