// A Windows 98 drive C inside a 2 GB disk image (an MBR partition at sector 2048, FAT32, about
// 1,500 files in a few folders, the real SYSTEM.DAT kept with the tests), as a raw file and as
// a qcow2 copy, both made with outside tools. Each figure is printed beside its floor:
//   (1) opening the image as a machine and reading WIN.INI, SYSTEM.INI and SYSTEM.DAT through it
//       vs pread of the same clusters from the raw file; for qcow2 the qemu-nbd start (opening
//       an NbdDevice and reading one sector) is its own figure, and the rest is held to the goal
//   (2) one registry value saved on the image as a window saves it (undo journal, writes,
//       flush)   vs the sectors that save changes, written once to a new file and once in place,
//       each write followed by fsync (the least any undo journal must do)
//   (3) beside them, the route without Velmora: mtools copies the three files out, the value is
//       changed on the copy, mtools copies them back and mattrib repairs SYSTEM.DAT's attributes
// The image is made once per run, in a temporary folder on the file system TMPDIR names.
//
// What stands in the way of the goals (release build, a busy 2-core machine with about 80
// processes, December 2026, CPU time): an opening must look through every process for one
// holding the image (2.3-2.7 ms) and check every chain of the volume (2.1-2.6 ms: both 2 MB
// copies of the FAT read and compared, every folder walked), so (1) raw stays at 6-8 ms against
// a floor of 0.07 ms. A save checks every chain again, since the image may have changed, and
// syncs the journal's folder as well as the floor's two files: 5-7 ms of CPU besides three
// syncs, within 2x of the floor only where a sync costs more than that CPU time.
#include "Figures.h"

#include "app/Velmora.h"
#include "config/Module2.h"
#include "disk/DeviceWindow.h"
#include "disk/DiskImage.h"
#include "disk/ImageUse.h"
#include "disk/NbdDevice.h"
#include "disk/PartitionTable.h"
#include "fat/FatVolume.h"
#include "files/AtomicFile.h"
#include "files/Drive.h"
#include "files/HostFile.h"
#include "machine/MachineFolder.h"
#include "registry/HiveStore.h"
#include "registry/Registry.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <random>

namespace {

using namespace velmora;
using bench::Clock;
using bench::record;

constexpr qint64 kSector = 512;
constexpr qint64 kPartitionStart = 2048; // sectors
constexpr qint64 kDiskSize = qint64(2) << 30;
constexpr char kNetKey[] = "System\\CurrentControlSet\\Services\\Class\\Net\\0001";

// Where a file's clusters lie in the raw image.
struct ByteRange {
    qint64 offset = 0;
    qint64 length = 0;
};

QTemporaryDir* g_dir = nullptr;
QString g_raw, g_qcow2;
std::vector<ByteRange> g_fileClusters; // WIN.INI, SYSTEM.INI, SYSTEM.DAT
std::vector<qint64> g_savedSectors;    // the sectors of the raw image one value save changes

[[noreturn]] void fail(const QString& why)
{
    std::fprintf(stderr, "%s\n", qPrintable(why));
    std::exit(1);
}

QByteArray runTool(const QString& program, const QStringList& arguments, const QByteArray& input = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MTOOLS_SKIP_CHECK"), QStringLiteral("1"));
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        fail(QStringLiteral("%1 %2 failed: %3")
                 .arg(program, arguments.join(u' '), QString::fromLocal8Bit(process.readAllStandardError())));
    return process.readAllStandardOutput();
}

void writeOrFail(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fail(QStringLiteral("cannot write %1").arg(path));
}

QByteArray readOrFail(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read %1").arg(path));
    return file.readAll();
}

// mtools' name for the partition.
QString partitionOf(const QString& raw)
{
    return raw + QStringLiteral("@@%1").arg(kPartitionStart * kSector);
}

// An INI file of about `size` bytes, the first line naming it, so its bytes are found once.
QByteArray iniFile(const char* name, const QByteArray& head, int size)
{
    QByteArray text = QByteArray("; ") + name + " of the image benchmark\r\n" + head;
    for (int section = 0; text.size() < size; ++section) {
        text += "[Section" + QByteArray::number(section) + "]\r\n";
        for (int key = 0; key < 8; ++key)
            text += "Key" + QByteArray::number(key) + "=C:\\WINDOWS\\SYSTEM\\FILE" + QByteArray::number(key) +
                    ".DLL\r\n";
    }
    return text;
}

// The folders of drive C and how many files of varied sizes each holds: about 1,500 in all.
struct Folder {
    const char* name;
    const char* extension;
    int files;
};
constexpr Folder kFolders[] = {{"WINDOWS", "EXE", 400},
                               {"WINDOWS/SYSTEM", "DLL", 500},
                               {"WINDOWS/INF", "INF", 300},
                               {"WINDOWS/COMMAND", "COM", 150},
                               {"PROGRA~1", "DAT", 150}};

// The disk the tests would make, larger: sfdisk, mkfs.fat and mtools build it, qemu-img copies it.
void buildImages()
{
    const QString dir = g_dir->path();
    g_raw = dir + QStringLiteral("/disk.img");
    writeOrFail(g_raw, {});
    if (!QFile::resize(g_raw, kDiskSize)) // sparse
        fail(QStringLiteral("cannot size %1").arg(g_raw));
    runTool(QStringLiteral("sfdisk"), {QStringLiteral("-q"), g_raw}, "start=2048, type=c, bootable\n");
    runTool(QStringLiteral("mkfs.fat"),
            {QStringLiteral("-F"), QStringLiteral("32"), QStringLiteral("--offset"),
             QString::number(kPartitionStart), g_raw});
    const QString part = partitionOf(g_raw);
    QStringList folders{QStringLiteral("-i"), part};
    for (const Folder& folder : kFolders)
        folders << QStringLiteral("::") + folder.name;
    runTool(QStringLiteral("mmd"), folders);

    std::mt19937 random(1998);
    std::uniform_real_distribution<double> logSize(std::log(200.0), std::log(40'000.0));
    for (const Folder& folder : kFolders) {
        const QString stage = dir + QStringLiteral("/stage/") + folder.name;
        QDir().mkpath(stage);
        QStringList batch{QStringLiteral("-i"), part};
        for (int i = 0; i < folder.files; ++i) {
            QByteArray bytes(qsizetype(std::exp(logSize(random))), Qt::Uninitialized);
            for (char& byte : bytes)
                byte = char(random());
            const QString file =
                stage + QStringLiteral("/F%1.%2").arg(i, 4, 10, QChar(u'0')).arg(folder.extension);
            writeOrFail(file, bytes);
            batch << file;
        }
        runTool(QStringLiteral("mcopy"), batch << QStringLiteral("::") + folder.name + u'/');
    }

    writeOrFail(dir + QStringLiteral("/MSDOS.SYS"),
                "[Paths]\r\nWinDir=C:\\WINDOWS\r\nWinBootDir=C:\\WINDOWS\r\n");
    writeOrFail(dir + QStringLiteral("/WIN.INI"),
                iniFile("WIN.INI", "[windows]\r\nload=\r\nrun=\r\n[Ports]\r\nCOM1:=9600,n,8,1,x\r\n", 6000));
    writeOrFail(dir + QStringLiteral("/SYSTEM.INI"),
                iniFile("SYSTEM.INI", "[boot]\r\nshell=Explorer.exe\r\n[386Enh]\r\nCOM1Buffer=64\r\n", 3000));
    writeOrFail(dir + QStringLiteral("/SYSTEM.DAT"), readOrFail(QStringLiteral(VELMORA_HIVE_FILE)));
    runTool(QStringLiteral("mcopy"),
            {QStringLiteral("-i"), part, dir + QStringLiteral("/MSDOS.SYS"), QStringLiteral("::")});
    runTool(QStringLiteral("mcopy"), {QStringLiteral("-i"), part, dir + QStringLiteral("/WIN.INI"),
                                      dir + QStringLiteral("/SYSTEM.INI"),
                                      dir + QStringLiteral("/SYSTEM.DAT"), QStringLiteral("::WINDOWS/")});
    runTool(QStringLiteral("mattrib"),
            {QStringLiteral("-i"), part, QStringLiteral("+h"), QStringLiteral("+s"), QStringLiteral("+r"),
             QStringLiteral("::MSDOS.SYS")});
    runTool(QStringLiteral("mattrib"), {QStringLiteral("-i"), part, QStringLiteral("+h"),
                                        QStringLiteral("+s"), QStringLiteral("::WINDOWS/SYSTEM.DAT")});

    g_qcow2 = dir + QStringLiteral("/disk.qcow2");
    runTool(QStringLiteral("qemu-img"),
            {QStringLiteral("convert"), QStringLiteral("-f"), QStringLiteral("raw"), QStringLiteral("-O"),
             QStringLiteral("qcow2"), g_raw, g_qcow2});
}

// The parts of the raw image that hold data (the rest is a hole), byte for byte.
std::map<qint64, QByteArray> dataOf(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        fail(QStringLiteral("cannot open %1").arg(path));
    std::map<qint64, QByteArray> data;
    for (off_t at = 0;;) {
        const off_t start = ::lseek(fd, at, SEEK_DATA);
        if (start < 0)
            break;
        const off_t end = ::lseek(fd, start, SEEK_HOLE);
        QByteArray bytes(qsizetype(end - start), Qt::Uninitialized);
        if (::pread(fd, bytes.data(), size_t(bytes.size()), start) != bytes.size())
            fail(QStringLiteral("cannot read %1").arg(path));
        data.emplace(start, std::move(bytes));
        at = end;
    }
    ::close(fd);
    return data;
}

// The bytes at offset in such a map (zeros in a hole), within one stretch of data.
QByteArray bytesAt(const std::map<qint64, QByteArray>& data, qint64 offset, qint64 length)
{
    auto extent = data.upper_bound(offset);
    if (extent != data.begin() && (--extent, offset < extent->first + extent->second.size()))
        return extent->second.mid(offset - extent->first, length);
    return QByteArray(length, '\0');
}

// Finds each file's bytes in the raw image (each is written whole, in one piece, by mcopy on a
// fresh file system), rounded up to whole clusters as the volume reads them.
void locateFiles()
{
    const std::map<qint64, QByteArray> data = dataOf(g_raw);
    const QByteArray boot = bytesAt(data, kPartitionStart * kSector, kSector);
    const qint64 cluster = qint64(quint8(boot[11]) | quint8(boot[12]) << 8) * quint8(boot[13]);
    for (const char* name : {"WIN.INI", "SYSTEM.INI", "SYSTEM.DAT"}) {
        const QByteArray bytes = readOrFail(g_dir->filePath(QString::fromLatin1(name)));
        ByteRange found;
        for (const auto& [start, extent] : data) {
            const qsizetype at = extent.indexOf(bytes);
            if (at >= 0) {
                found = {start + at, (bytes.size() + cluster - 1) / cluster * cluster};
                break;
            }
        }
        if (found.length == 0)
            fail(QStringLiteral("%1 does not lie in one piece in the image").arg(QString::fromLatin1(name)));
        g_fileClusters.push_back(found);
    }
}

// Velmora's registry on the machine, as the windows reach it.
struct MachineRegistry {
    explicit MachineRegistry(const MachineFolder& machine) : api(Velmora::registryOf(machine)), module(api) {}
    bool write(const QString& text)
    {
        HKEY root = HKEY_LOCAL_MACHINE;
        qint32 type = REG_SZ;
        QVariant value = text;
        return module.WriteKeyValue(root, QString::fromLatin1(kNetKey), type, QStringLiteral("IPMTU"), value);
    }
    RegistryApi api;
    Module2 module;
};

// The sectors one value save changes, found by comparing the raw image before and after one.
void findSavedSectors()
{
    MachineFolder machine(MachineName{g_raw});
    if (const Result<void> ready = machine.prepare(MachineFolder::Creation::MustExist); !ready)
        fail(ready.reason());
    MachineRegistry registry(machine);
    if (!registry.write(QStringLiteral("1500")))
        fail(registry.module.lastError());
    const std::map<qint64, QByteArray> before = dataOf(g_raw);
    if (!registry.write(QStringLiteral("576")))
        fail(registry.module.lastError());
    for (const auto& [start, extent] : dataOf(g_raw)) {
        for (qint64 at = 0; at < extent.size(); at += kSector) {
            if (extent.mid(at, kSector) != bytesAt(before, start + at, kSector))
                g_savedSectors.push_back((start + at) / kSector);
        }
    }
    if (g_savedSectors.empty())
        fail(QStringLiteral("the value save changed nothing in the image"));
}

QString imageOf(benchmark::State& state)
{
    return state.range(0) ? g_qcow2 : g_raw;
}

std::string nameFor(const char* figure, benchmark::State& state)
{
    return std::string(figure) + (state.range(0) ? "/qcow2" : "/raw");
}

void BM_PreadClusters(benchmark::State& state)
{
    const QByteArray path = QFile::encodeName(g_raw);
    QByteArray buffer;
    const Clock clock;
    for (auto _ : state) {
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        for (const ByteRange& range : g_fileClusters) {
            buffer.resize(range.length);
            if (::pread(fd, buffer.data(), size_t(range.length), range.offset) != range.length)
                state.SkipWithError("cannot read the raw image");
        }
        ::close(fd);
        benchmark::DoNotOptimize(buffer.data());
    }
    record(state, "floor_1", clock.wallSince(), clock.cpuSince());
}

// Opening the machine and reading its three files; closing it (and ending a qemu-nbd) is not
// part of the figure.
void BM_OpenAndRead(benchmark::State& state)
{
    const QString image = imageOf(state);
    double wall = 0, cpu = 0;
    for (auto _ : state) {
        const Clock clock;
        {
            MachineFolder machine(MachineName{image});
            bool read = machine.prepare(MachineFolder::Creation::MustExist).ok();
            for (const char* file : {"c:\\windows\\win.ini", "c:\\windows\\system.ini"}) {
                const Result<QString> path = machine.hostPath(QString::fromLatin1(file));
                read = read && path && machine.drive().readIfPresent(*path, kHostFileLimit).ok();
            }
            const auto hive = machine.drive().readIfPresent(machine.registryFile(), HiveStore::kMaxHiveSize);
            if (!read || !hive || !hive->isPresent())
                state.SkipWithError("the machine's files cannot be read");
            const double took = clock.wallSince();
            wall += took;
            cpu += clock.cpuSince();
            state.SetIterationTime(took);
        }
    }
    record(state, nameFor("1", state), wall, cpu);
}

void BM_QemuNbdStart(benchmark::State& state)
{
    double wall = 0, cpu = 0;
    for (auto _ : state) {
        const Clock clock;
        {
            auto device = NbdDevice::open(g_qcow2, QStringLiteral("qcow2"), ImageAccess::ReadWrite);
            if (!device || !(*device)->read(0, kSector))
                state.SkipWithError("qemu-nbd did not serve the image");
            const double took = clock.wallSince();
            wall += took;
            cpu += clock.cpuSince();
            state.SetIterationTime(took);
        }
    }
    record(state, "nbd_start", wall, cpu);
}

// The journal's floor: the changed sectors written to a new file beside the image and then in
// place, each followed by fsync. The bytes written are the ones already there.
void BM_SectorsTwiceSynced(benchmark::State& state)
{
    const int image = ::open(QFile::encodeName(g_raw).constData(), O_RDWR | O_CLOEXEC);
    const QByteArray journal = QFile::encodeName(g_dir->filePath(QStringLiteral("floor.journal")));
    std::vector<QByteArray> sectors;
    QByteArray all;
    for (const qint64 sector : g_savedSectors) {
        QByteArray bytes(kSector, Qt::Uninitialized);
        if (::pread(image, bytes.data(), kSector, sector * kSector) != kSector)
            state.SkipWithError("cannot read the raw image");
        all += bytes;
        sectors.push_back(bytes);
    }
    const Clock clock;
    for (auto _ : state) {
        const int fd = ::open(journal.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        bool written = ::write(fd, all.constData(), size_t(all.size())) == all.size() && ::fsync(fd) == 0;
        ::close(fd);
        for (size_t i = 0; i < sectors.size(); ++i)
            written = written && ::pwrite(image, sectors[i].constData(), kSector,
                                          g_savedSectors[i] * kSector) == kSector;
        written = written && ::fsync(image) == 0 && ::unlink(journal.constData()) == 0;
        if (!written)
            state.SkipWithError("cannot write the sectors");
    }
    record(state, "floor_2", clock.wallSince(), clock.cpuSince());
    ::close(image);
}

void BM_SaveValue(benchmark::State& state)
{
    MachineFolder machine(MachineName{imageOf(state)});
    if (const Result<void> ready = machine.prepare(MachineFolder::Creation::MustExist); !ready)
        state.SkipWithError(qPrintable(ready.reason()));
    MachineRegistry registry(machine);
    HKEY root = HKEY_LOCAL_MACHINE;
    QString text;
    registry.module.ReadKeyValue(root, QString::fromLatin1(kNetKey), QStringLiteral("IPMTU"),
                                 text); // loaded first
    int i = 0;
    const Clock clock;
    for (auto _ : state) {
        if (!registry.write((i++ & 1) ? QStringLiteral("576") : QStringLiteral("1500")))
            state.SkipWithError(qPrintable(registry.module.lastError()));
    }
    record(state, nameFor("2", state), clock.wallSince(), clock.cpuSince());
}

// What a user without Velmora does: the three files out, the value changed on the copy (with
// the same registry code on a host folder), the files back and SYSTEM.DAT's attributes repaired.
void BM_MtoolsRoute(benchmark::State& state)
{
    const QString part = partitionOf(g_raw);
    const QString out = g_dir->filePath(QStringLiteral("copied"));
    QDir().mkpath(out);
    const QString hive = out + QStringLiteral("/SYSTEM.DAT");
    int i = 0;
    const Clock clock;
    for (auto _ : state) {
        runTool(QStringLiteral("mcopy"),
                {QStringLiteral("-n"), QStringLiteral("-i"), part, QStringLiteral("::WINDOWS/WIN.INI"),
                 QStringLiteral("::WINDOWS/SYSTEM.INI"), QStringLiteral("::WINDOWS/SYSTEM.DAT"), out});
        {
            RegistryApi api(std::make_unique<HiveStore>(hive, out));
            Module2 module(api);
            HKEY root = HKEY_LOCAL_MACHINE;
            qint32 type = REG_SZ;
            QVariant value = (i++ & 1) ? QStringLiteral("576") : QStringLiteral("1500");
            if (!module.WriteKeyValue(root, QString::fromLatin1(kNetKey), type, QStringLiteral("IPMTU"),
                                      value))
                state.SkipWithError(qPrintable(module.lastError()));
        }
        runTool(QStringLiteral("mcopy"),
                {QStringLiteral("-o"), QStringLiteral("-i"), part, out + QStringLiteral("/WIN.INI"),
                 out + QStringLiteral("/SYSTEM.INI"), hive, QStringLiteral("::WINDOWS/")});
        runTool(QStringLiteral("mattrib"), {QStringLiteral("-i"), part, QStringLiteral("+h"),
                                            QStringLiteral("+s"), QStringLiteral("::WINDOWS/SYSTEM.DAT")});
    }
    // Most of the work is the tools' own: wall time for both columns.
    const double wall = clock.wallSince();
    record(state, "3", wall, wall);
}

// Where the time of (1) and (2) goes: the look through every process for one holding the image
// (once on opening; before a save of a raw image only when the file was opened since), and one
// check of the whole file system (every FAT copy and every folder; once on opening, once a save).
void BM_InUseCheck(benchmark::State& state)
{
    const Clock clock;
    for (auto _ : state)
        if (!checkImageNotInUse(g_raw))
            state.SkipWithError("the image is in use");
    record(state, "in_use", clock.wallSince(), clock.cpuSince());
}

void BM_VolumeCheck(benchmark::State& state)
{
    Result<DiskImage> image = openDiskImage(g_raw, ImageAccess::ReadOnly);
    Result<QList<Partition>> partitions = image ? readPartitions(*image->disk) : failure(image.reason());
    if (!partitions || partitions->isEmpty()) {
        state.SkipWithError("the raw image cannot be read");
        return;
    }
    const Partition& partition = partitions->first();
    DeviceWindow window(image->disk, QStringLiteral("C:"), partition.offset, partition.length);
    Result<FatVolume> volume = FatVolume::open(window);
    if (!volume) {
        state.SkipWithError(qPrintable(volume.reason()));
        return;
    }
    const Clock clock;
    for (auto _ : state)
        if (!volume->checkVolume())
            state.SkipWithError("the file system is damaged");
    record(state, "volume_check", clock.wallSince(), clock.cpuSince());
}

// Raw (0) and qcow2 (1). The machine is shared: each figure is the median of a few repetitions.
BENCHMARK(BM_PreadClusters)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_OpenAndRead)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_QemuNbdStart)->UseManualTime()->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_SectorsTwiceSynced)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_SaveValue)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_MtoolsRoute)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_InUseCheck)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_VolumeCheck)->Unit(benchmark::kMillisecond)->Repetitions(3);

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir dir;
    if (!dir.isValid())
        fail(QStringLiteral("no temporary folder"));
    g_dir = &dir;
    buildImages();
    locateFiles();
    findSavedSectors();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    auto& f = bench::figures();
    qint64 fileBytes = 0;
    for (const ByteRange& range : g_fileClusters)
        fileBytes += range.length;
    std::printf(
        "\nA 2 GB FAT32 image, %d files; the three files take %.2f MB of clusters; a value save "
        "changes %zu sectors\n",
        [] {
            int files = 0;
            for (const Folder& folder : kFolders)
                files += folder.files;
            return files + 4;
        }(),
        double(fileBytes) / 1e6, g_savedSectors.size());
    bench::printHeader();
    bench::printRow("(1) raw: open + read 3 files vs pread", f["1/raw"], f["floor_1"], "<= 3x", 1e3, "ms");
    bench::printRow("(1) qcow2: open + read 3 files vs pread", f["1/qcow2"], f["floor_1"], "-", 1e3, "ms");
    bench::printRow("(1) qemu-nbd start + one sector vs pread", f["nbd_start"], f["floor_1"], "-", 1e3, "ms");
    const bench::Figure withoutStart{f["1/qcow2"].wall - f["nbd_start"].wall,
                                     f["1/qcow2"].cpu - f["nbd_start"].cpu};
    bench::printRow("(1) qcow2 less the qemu-nbd start vs pread", withoutStart, f["floor_1"], "<= 3x", 1e3,
                    "ms");
    bench::printRow("(2) raw: value saved vs sectors twice+fsync", f["2/raw"], f["floor_2"], "<= 2x", 1e3,
                    "ms");
    bench::printRow("(2) qcow2: value saved vs sectors twice+fsync", f["2/qcow2"], f["floor_2"], "<= 2x", 1e3,
                    "ms");
    bench::printRow("(3) mtools out, edit, in vs (2) raw save", f["3"], f["2/raw"], "-", 1e3, "ms");
    std::printf("\nWhere the time goes (raw)\n");
    for (const auto& [what, name] : {std::pair{"in-use look (1 an open, 0-1 a save)", "in_use"},
                                     std::pair{"file-system check (1 an open, 1 a save)", "volume_check"}})
        std::printf("%-44s %8.3f / %8.3f ms\n", what, f[name].wall * 1e3, f[name].cpu * 1e3);
    return 0;
}
