#include "fat/FatVolume.h"

#include "disk/DiskTools.h"

#include <QtEndian>

#include <functional>

namespace velmora {
namespace {

using namespace testing;

class Fat : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString image = dir.path() + "/win98.img";

    // Puts bytes on the volume with mtools, as another program would have written them.
    void put(const QString& path, const QByteArray& bytes)
    {
        ASSERT_TRUE(writeBytes(dir.path() + "/host", bytes));
        mtool(image, "mcopy", {"-o", dir.path() + "/host", "::/" + path});
    }
    // The tool on each name of the pattern, numbered from `first` below `end` by `step`.
    void mtoolEach(const QString& tool, const QString& pattern, int first, int step, int end = 40)
    {
        for (int i = first; i < end; i += step)
            mtool(image, tool, {pattern.arg(i)});
    }
    // Both outside readers agree the volume is sound and holds exactly these bytes there, with
    // these attribute letters ("A  SHR").
    void expectJudged(const QString& path, const QByteArray& bytes, const char* attributes)
    {
        run("fsck.fat -n " + image);
        const QByteArray letters = mtool(image, "mattrib", {"::/" + path});
        EXPECT_EQ(letters.left(letters.indexOf("::")).trimmed() + ' ' +
                      sha256(mtool(image, "mtype", {"::/" + path})),
                  attributes + (' ' + sha256(bytes)))
            << path.toStdString();
    }
};

QByteArray edited(QByteArray bytes, qsizetype at)
{
    return bytes.replace(at, 5, "Edit!");
}

// On each FAT type, a Windows folder with a long name holding a hidden, system, read-only
// SYSTEM.DAT in fragments is read, replaced in every way a save can go, and removed; after each change
// fsck.fat and mtools read exactly what was written, attributes and long name kept.
TEST_F(Fat, ReplacesFilesOnEveryFatType)
{
    const QByteArray system = readBytes(kSystemDat);
    const QDateTime when(QDate(2026, 12, 7), QTime(10, 20, 30));
    // FAT bits, KiB, bytes per sector.
    const std::tuple<const char*, int, int, const char*> volumes[] = {{"Fat12", 12, 2000, "512"},
                                                                      {"Fat16", 16, 8000, "512"},
                                                                      {"Fat16Sectors2048", 16, 16384, "2048"},
                                                                      {"Fat32", 32, 40000, "512"}};
    // File and new content.
    const std::tuple<const char*, QString, QByteArray> changes[] = {
        {"OneValueInPlace", "WINDOW~1\\SYSTEM.DAT", edited(system, 70000)}, // in three sector runs at most
        {"GrownPastItsLastCluster", "windows files\\system.dat", edited(system, 9) + QByteArray(5000, 'g')},
        // Ends on a cluster's end, whatever the cluster size (64 KiB at most).
        {"GrownToWholeClusters", "Windows Files\\SYSTEM.DAT",
         system + QByteArray((system.size() / 65536 + 1) * 65536 - system.size(), 'w')},
        {"Shrunk", "Windows Files/SYSTEM.DAT", system.left(300001)},
        {"Emptied", "Windows Files\\SYSTEM.DAT", QByteArray()},
        {"RefilledFromNothing", "Windows Files\\SYSTEM.DAT", system},
        {"CreatedInItsFolder", "Windows Files\\win.ini", "[Ports]\r\nCOM1:=9600,n,8,1\r\n"}};
    for (const auto& [label, bits, kib, sectorBytes] : volumes) {
        SCOPED_TRACE(label);
        makeVolume(image, bits, kib, {"-S", sectorBytes});
        mtool(image, "mmd", {"::/Windows Files", "::/Desktop"}); // a long name only case sets apart
        // SYSTEM.DAT in the gaps files left, and beside gaps it can grow into.
        for (int i = 0; i < 40; ++i)
            put(QString("F%1.TMP").arg(i), QByteArray(1500, char('a' + i % 26)));
        mtoolEach("mdel", "::/F%1.TMP", 0, 2);
        put("Windows Files/SYSTEM.DAT", system);
        mtoolEach("mdel", "::/F%1.TMP", 1, 4);
        mtool(image, "mattrib", {"+h", "+s", "+r", "::/Windows Files/SYSTEM.DAT"});
        FileDevice device(image);
        auto volume = FatVolume::open(device);
        ASSERT_TRUE(volume.ok()) << volume.reason().toStdString();
        const FatFileInfo info = volume->stat(u"WINDOW~1\\system.dat").value();
        EXPECT_EQ(std::tuple(info.attributes & 0x07, info.path,
                             sha256(volume->readFile(u"\\Windows Files\\SYSTEM.DAT").value())),
                  std::tuple(0x07, QString("WINDOW~1\\SYSTEM.DAT"), sha256(system)));

        for (const auto& [change, path, content] : changes) {
            SCOPED_TRACE(change);
            EXPECT_TRUE(QByteArrayView(change) != "OneValueInPlace" ||
                        volume->planReplace(path, content, when)->size() <= 3);
            ASSERT_TRUE(volume->replaceFile(path, content, when).ok());
            const QString unix = path.toUpper().replace('\\', '/');
            expectJudged(unix, content, unix.endsWith("SYSTEM.DAT") ? "A  SHR" : "A");
            EXPECT_EQ(FatVolume::open(device)->stat(path)->written, when);
            if (QByteArrayView(change) == "CreatedInItsFolder") { // a new file is made when written
                const QByteArray bytes = readBytes(image);
                const qsizetype made = bytes.indexOf("WIN     INI");
                EXPECT_TRUE(made >= 0 && bytes.mid(made + 14, 4) == bytes.mid(made + 22, 4));
            }
        }
        expectJudged("F3.TMP", QByteArray(1500, 'd'), "A");

        // Removed: a long-named file and SYSTEM.DAT, their entries (the long name's too) marked
        // deleted and their clusters freed, which fsck.fat would otherwise report as lost.
        put("Windows Files/A Long Name.txt", QByteArray(3000, 'l'));
        ASSERT_TRUE(volume->reload());
        for (const char* path : {"Windows Files\\a long name.txt", "WINDOW~1\\SYSTEM.DAT"})
            ASSERT_TRUE(applyPlan(device, volume->planRemove(QString(path)).value()) && volume->reload());
        run("fsck.fat -n " + image);
        EXPECT_EQ(mtool(image, "mdir", {"-b", "::/Windows Files"}).trimmed(), "::/Windows Files/WIN.INI");
        EXPECT_EQ(volume->planRemove(u"Windows Files").reason(), "win98.img: Windows Files is a folder");
    }
}

// Volumes in shapes other programs leave and a fresh one never has: a save on each is judged by
// fsck.fat and mtools, and what it must have left alone still holds.
TEST_F(Fat, SavesOnOddlyShapedVolumes)
{
    QByteArray before; // the volume's own FSInfo sector, or the whole volume before the save
    const struct {
        const char* label;
        int bits, kib;
        std::function<void()> shape;            // with mtools
        std::function<void(QByteArray&)> patch; // then on the volume's bytes
        std::function<void(FatVolume&)> check;
        QString path = "WIN.INI";
        QByteArray content = "[windows]\r\n";
        bool judgedOutside = true; // fsck.fat and mtools read the first FAT whatever the flags say
    } rows[] = {
        // With "." and "..", the folder's one 512-byte cluster is full: it grows by one.
        {"NewFileInAFullFolder", 16, 8000,
         [&] {
             mtool(image, "mmd", {"::/WINDOWS"});
             for (int i = 0; i < 14; ++i)
                 put(QString("WINDOWS/F%1.INI").arg(i), "x");
         },
         nullptr, [](FatVolume& volume) { EXPECT_EQ(volume.list(u"windows")->size(), 15u); },
         "WINDOWS\\WIN.INI"},
        // A new entry in the end-of-folder slot keeps the folder ending after it.
        {"GarbageBeyondTheFolderEnd", 12, 1440, [&] { put("A.TXT", "a"); },
         [](QByteArray& b) {
             b.replace(FatLayout::parse(b, b.size())->rootOffset() + 64, 12, "GARBAGE TXT ");
         },
         [&](FatVolume&) {
             EXPECT_FALSE(mtool(image, "mdir", {"-a", "::/"}).contains("GARBAGE"));
         }},
        // The boot sector names as FSInfo a sector past the reserved ones, which a file's bytes
        // happen to fill: no FSInfo then, and the file is left alone.
        {"FsInfoOutsideTheReservedSectors", 32, 40000,
         [&] {
             before = readBytes(image).mid(512, 512).replace(488, 8, QByteArray(8, '\xFF'));
             put("INFO.BIN", before);
         },
         [&](QByteArray& b) { qToLittleEndian(quint16(b.indexOf(before) / 512), b.data() + 48); },
         [&](FatVolume&) { expectJudged("INFO.BIN", before, "A"); }},
        // FSInfo sends the search for free clusters past 65535: the entry keeps the first
        // cluster's high half.
        {"FirstClusterAbove65535", 32, 40000, [] {},
         [](QByteArray& b) { qToLittleEndian(quint32(70000), b.data() + 512 + 492); }, [](FatVolume&) {}},
        // Mirroring off, the second copy active: only that copy is read and written.
        {"Fat32MirroringOff", 32, 40000, [] {},
         [&](QByteArray& b) {
             qToLittleEndian(quint16(0x81), b.data() + 40);
             before = b;
         },
         // Copy 1 holds the new file, or the read after the save would have found it damaged.
         [&](FatVolume&) {
             const FatLayout layout = FatLayout::parse(before, before.size()).value();
             EXPECT_TRUE(readBytes(image).mid(layout.fatOffset(0), layout.fatBytes()) ==
                         before.mid(layout.fatOffset(0), layout.fatBytes()));
         },
         "WIN.INI", "[windows]\r\n", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        makeVolume(image, row.bits, row.kib);
        row.shape();
        if (row.patch) {
            QByteArray bytes = readBytes(image);
            row.patch(bytes);
            ASSERT_TRUE(writeBytes(image, bytes));
        }
        FileDevice device(image);
        auto volume = FatVolume::open(device);
        ASSERT_TRUE(volume.ok()) << volume.reason().toStdString();
        ASSERT_TRUE(volume->replaceFile(row.path, row.content).ok());
        if (row.judgedOutside)
            expectJudged(QString(row.path).replace('\\', '/'), row.content, "A");
        row.check(*volume);
    }
}

// What cannot be done is refused with the reason before a byte is written.
TEST_F(Fat, ImpossibleSavesChangeNothing)
{
    // Setup (FAT12 volume of 1440 KiB with 16 root slots, SYSTEM.DAT in the root, then
    // `extraFolders` more), path, content, words of the reason.
    const std::tuple<const char*, int, QString, QByteArray, const char*> cases[] = {
        {"VolumeFull", 0, "SYSTEM.DAT", readBytes(kSystemDat).repeated(2), "the file system is full"},
        {"RootFolderFull", 15, "WIN.INI", "x", "the root folder is full"},
        {"NoShortName", 0, "Long File Name.ini", "x", "no 8.3 file name"},
        {"MissingFolder", 0, "WINDOWS\\WIN.INI", "x", "the folder WINDOWS does not exist"},
        {"AFolder", 1, "F0", "x", "is a folder"},
        {"LeavesTheVolume", 0, "..\\WIN.INI", "x", "is not plain"}};
    for (const auto& [label, extraFolders, path, content, words] : cases) {
        SCOPED_TRACE(label);
        makeVolume(image, 12, 1440, {"-r", "16"});
        mtool(image, "mcopy", {kSystemDat, "::/"});
        mtoolEach("mmd", "::/F%1", 0, 1, extraFolders);
        FileDevice device(image);
        const QString reason = FatVolume::open(device)->replaceFile(path, content).reason();
        EXPECT_TRUE(reason.startsWith("win98.img: ") && reason.contains(words)) << reason.toStdString();
        EXPECT_EQ(device.writes, 0);
    }
}

} // namespace
} // namespace velmora
