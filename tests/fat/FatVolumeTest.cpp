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
    QString image = dir.path() + QStringLiteral("/win98.img");

    // Puts bytes on the volume with mtools, as another program would have written them.
    void put(const QString& path, const QByteArray& bytes)
    {
        const QString host = dir.path() + QStringLiteral("/host");
        ASSERT_TRUE(writeBytes(host, bytes));
        mtool(image, QStringLiteral("mcopy"), {QStringLiteral("-o"), host, QStringLiteral("::/") + path});
    }
    // Both outside readers agree the volume is sound and holds exactly these bytes there.
    void expectJudged(const QString& path, const QByteArray& bytes, const char* attributes)
    {
        expectFsckClean(image);
        EXPECT_TRUE(mtype(image, path) == bytes) << path.toStdString();
        EXPECT_EQ(mattrib(image, path), attributes) << path.toStdString();
    }
};

QByteArray edited(QByteArray bytes, qsizetype at)
{
    bytes.replace(at, 5, "Edit!");
    return bytes;
}

// On each FAT type, a Windows folder with a long name holding a hidden, system, read-only
// SYSTEM.DAT is read, and replaced in every way a save can go; after each change fsck.fat and
// mtools read exactly what was written, attributes and long name kept.
TEST_F(Fat, ReplacesFilesOnEveryFatType)
{
    const QByteArray system = readBytes(kSystemDat);
    // FAT bits, KiB, bytes per sector.
    const std::tuple<const char*, int, int, const char*> volumes[] = {{"Fat12", 12, 2000, "512"},
                                                                      {"Fat16", 16, 8000, "512"},
                                                                      {"Fat16Sectors2048", 16, 16384, "2048"},
                                                                      {"Fat32", 32, 40000, "512"}};
    // File, new content, and how many sector runs the save may write at most (-1: any).
    const std::tuple<const char*, QString, QByteArray, int> changes[] = {
        {"OneValueInPlace", QStringLiteral("WINDOW~1\\SYSTEM.DAT"), edited(system, 70000), 3},
        {"GrownPastItsLastCluster", QStringLiteral("windows files\\system.dat"),
         edited(system, 9) + QByteArray(5000, 'g'), -1},
        {"Shrunk", QStringLiteral("Windows Files/SYSTEM.DAT"), system.left(300001), -1},
        {"Emptied", QStringLiteral("Windows Files\\SYSTEM.DAT"), QByteArray(), -1},
        {"RefilledFromNothing", QStringLiteral("Windows Files\\SYSTEM.DAT"), system, -1},
        {"CreatedInItsFolder", QStringLiteral("Windows Files\\win.ini"), "[Ports]\r\nCOM1:=9600,n,8,1\r\n",
         -1}};
    for (const auto& [label, bits, kib, sectorBytes] : volumes) {
        SCOPED_TRACE(label);
        makeVolume(image, bits, kib, {QStringLiteral("-S"), QLatin1String(sectorBytes)});
        mtool(image, QStringLiteral("mmd"), {QStringLiteral("::/Windows Files")});
        put(QStringLiteral("Windows Files/SYSTEM.DAT"), system);
        mtool(image, QStringLiteral("mattrib"),
              {QStringLiteral("+h"), QStringLiteral("+s"), QStringLiteral("+r"),
               QStringLiteral("::/Windows Files/SYSTEM.DAT")});
        FileDevice device(image);
        auto volume = FatVolume::open(device);
        ASSERT_TRUE(volume.ok()) << volume.reason().toStdString();
        const FatFileInfo info = volume->stat(QStringLiteral("WINDOW~1\\system.dat")).value();
        EXPECT_EQ(std::pair(info.attributes & 0x07, info.path),
                  std::pair(0x07, QStringLiteral("WINDOW~1\\SYSTEM.DAT")));
        EXPECT_TRUE(volume->readFile(QStringLiteral("\\Windows Files\\SYSTEM.DAT")).value() == system);

        for (const auto& [change, path, content, maxRuns] : changes) {
            SCOPED_TRACE(change);
            const QDateTime when(QDate(2026, 12, 7), QTime(10, 20, 30));
            auto plan = volume->planReplace(path, content, when);
            ASSERT_TRUE(plan.ok()) << plan.reason().toStdString();
            EXPECT_TRUE(maxRuns < 0 || int(plan->size()) <= maxRuns) << plan->size();
            ASSERT_TRUE(volume->replaceFile(path, content, when).ok());
            const QString unix = path.toUpper().replace(QLatin1Char('\\'), QLatin1Char('/'));
            expectJudged(unix, content, unix.endsWith(QStringLiteral("SYSTEM.DAT")) ? "A  SHR" : "A");
            EXPECT_EQ(FatVolume::open(device)->stat(path)->written, when);
        }
        EXPECT_EQ(volume->list(QStringLiteral("windows files"))->size(), 2u);
    }
}

// Volumes in shapes other programs leave and a fresh one never has: a save on each is judged by
// fsck.fat and mtools, and what it must have left alone still holds.
TEST_F(Fat, SavesOnOddlyShapedVolumes)
{
    const QByteArray system = readBytes(kSystemDat), grown = edited(system, 2000) + system.left(150000);
    QByteArray fsInfo; // the volume's own, its free count and next free cluster made unknown
    const struct {
        const char* label;
        int bits, kib;
        std::function<void()> shape;
        QString path;
        QByteArray content;
        std::function<void(FatVolume&)> check;
    } rows[] = {
        {"FragmentedSystemDat", 16, 8000,
         [&] {
             for (int i = 0; i < 40; ++i)
                 put(QStringLiteral("F%1.TMP").arg(i), QByteArray(1500, char('a' + i % 26)));
             for (int i = 0; i < 40; i += 2)
                 mtool(image, QStringLiteral("mdel"), {QStringLiteral("::/F%1.TMP").arg(i)});
             put(QStringLiteral("SYSTEM.DAT"), system);
             for (int i = 1; i < 40; i += 4)
                 mtool(image, QStringLiteral("mdel"), {QStringLiteral("::/F%1.TMP").arg(i)});
         },
         QStringLiteral("SYSTEM.DAT"), grown,
         [&](FatVolume& volume) {
             EXPECT_TRUE(volume.readFile(QStringLiteral("system.dat")).value() == grown);
             expectJudged(QStringLiteral("F3.TMP"), QByteArray(1500, 'd'), "A");
         }},
        // With "." and "..", the folder's one 512-byte cluster is full: it grows by one.
        {"NewFileInAFullFolder", 16, 8000,
         [&] {
             mtool(image, QStringLiteral("mmd"), {QStringLiteral("::/WINDOWS")});
             for (int i = 0; i < 14; ++i)
                 put(QStringLiteral("WINDOWS/F%1.INI").arg(i), "x");
         },
         QStringLiteral("WINDOWS\\WIN.INI"), "[windows]\r\n",
         [](FatVolume& volume) { EXPECT_EQ(volume.list(QStringLiteral("windows"))->size(), 15u); }},
        // A new entry in the end-of-folder slot keeps the folder ending after it.
        {"GarbageBeyondTheFolderEnd", 12, 1440,
         [&] {
             put(QStringLiteral("A.TXT"), "a");
             QByteArray bytes = readBytes(image);
             bytes.replace(FatLayout::parse(bytes, bytes.size())->rootOffset() + 64, 12, "GARBAGE TXT ");
             ASSERT_TRUE(writeBytes(image, bytes));
         },
         QStringLiteral("B.TXT"), "b",
         [&](FatVolume&) {
             EXPECT_FALSE(mtool(image, QStringLiteral("mdir"), {QStringLiteral("-a"), QStringLiteral("::/")})
                              .contains("GARBAGE"));
         }},
        // The boot sector names as FSInfo a sector past the reserved ones, which a file's bytes
        // happen to fill: no FSInfo then, and the file is left alone.
        {"FsInfoOutsideTheReservedSectors", 32, 40000,
         [&] {
             fsInfo = readBytes(image).mid(512, 512).replace(488, 8, QByteArray(8, '\xFF'));
             put(QStringLiteral("INFO.BIN"), fsInfo);
             QByteArray bytes = readBytes(image);
             qToLittleEndian(quint16(bytes.indexOf(fsInfo) / 512), bytes.data() + 48);
             ASSERT_TRUE(writeBytes(image, bytes));
         },
         QStringLiteral("WIN.INI"), "[windows]\r\n",
         [&](FatVolume&) { expectJudged(QStringLiteral("INFO.BIN"), fsInfo, "A"); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        makeVolume(image, row.bits, row.kib);
        row.shape();
        FileDevice device(image);
        auto volume = FatVolume::open(device);
        ASSERT_TRUE(volume.ok()) << volume.reason().toStdString();
        ASSERT_TRUE(volume->replaceFile(row.path, row.content).ok());
        expectJudged(QString(row.path).replace(QLatin1Char('\\'), QLatin1Char('/')), row.content, "A");
        row.check(*volume);
    }
}

// What cannot be done is refused with the reason before a byte is written.
TEST_F(Fat, ImpossibleSavesChangeNothing)
{
    const QByteArray system = readBytes(kSystemDat);
    // Setup (FAT12 volume of 1440 KiB with 16 root slots, SYSTEM.DAT in the root, then
    // `extraFiles` more), path, content, words of the reason.
    const std::tuple<const char*, int, QString, QByteArray, const char*> cases[] = {
        {"VolumeFull", 0, QStringLiteral("SYSTEM.DAT"), system + system, "the file system is full"},
        {"NewFileOnAFullVolume", 0, QStringLiteral("USER.DAT"), system, "the file system is full"},
        {"RootFolderFull", 15, QStringLiteral("WIN.INI"), "x", "the root folder is full"},
        {"NoShortName", 0, QStringLiteral("Long File Name.ini"), "x", "no 8.3 file name"},
        {"MissingFolder", 0, QStringLiteral("WINDOWS\\WIN.INI"), "x", "the folder WINDOWS does not exist"},
        {"AFolder", 1, QStringLiteral("F0"), "x", "is a folder"},
        {"LeavesTheVolume", 0, QStringLiteral("..\\WIN.INI"), "x", "is not plain"}};
    for (const auto& [label, extraFiles, path, content, words] : cases) {
        SCOPED_TRACE(label);
        makeVolume(image, 12, 1440, {QStringLiteral("-r"), QStringLiteral("16")});
        put(QStringLiteral("SYSTEM.DAT"), system);
        for (int i = 0; i < extraFiles; ++i)
            mtool(image, QStringLiteral("mmd"), {QStringLiteral("::/F%1").arg(i)});
        FileDevice device(image);
        auto volume = FatVolume::open(device);
        ASSERT_TRUE(volume.ok());
        auto saved = volume->replaceFile(path, content);
        ASSERT_FALSE(saved.ok());
        EXPECT_TRUE(saved.reason().contains(QLatin1String(words))) << saved.reason().toStdString();
        EXPECT_TRUE(saved.reason().startsWith(QStringLiteral("win98.img: ")));
        EXPECT_EQ(device.writes, 0);
    }
}

} // namespace
} // namespace velmora
