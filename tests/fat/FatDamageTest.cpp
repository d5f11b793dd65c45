#include "fat/FatNames.h"
#include "fat/FatVolume.h"

#include "disk/DiskTools.h"

namespace velmora {
namespace {

using namespace testing;

enum class At { Boot, Fat, FirstFatOnly, RootEntry };
struct Poke {
    At at;
    qint64 place; // byte of the boot sector, cluster, or root slot
    int field;    // byte within a root entry
    int width;
    quint64 value;
};

// A FAT16 volume holding WIN.INI (cluster 2) and SYSTEM.DAT (clusters 3 to 2387), damaged by
// hand: every damage is found, named with the image, the file and the reason, and nothing is
// written; a sound file beside a damaged one still reads.
TEST(FatDamage, DamagedVolumesAreNeverWritten)
{
    const std::tuple<const char*, std::vector<Poke>, const char*, const char*> cases[] = {
        {"Loop", {{At::Fat, 10, 0, 2, 5}}, "SYSTEM.DAT", "its chain loops back to cluster 5"},
        {"OutOfRange", {{At::Fat, 10, 0, 2, 0xFFF0}}, "SYSTEM.DAT", "cluster 65520, outside the volume"},
        {"FreeInChain", {{At::Fat, 10, 0, 2, 0}}, "SYSTEM.DAT", "breaks after cluster 10"},
        {"BadInChain", {{At::Fat, 10, 0, 2, 0xFFF7}}, "SYSTEM.DAT", "runs into a bad cluster"},
        {"CrossLinked", {{At::RootEntry, 0, 26, 2, 2387}}, "WIN.INI", "2387 also belongs to SYSTEM.DAT"},
        {"SizeBeyondChain", {{At::RootEntry, 1, 28, 4, 1225640}}, "SYSTEM.DAT", "shorter than its size"},
        {"ChainBeyondSize", {{At::RootEntry, 1, 28, 4, 1000}}, "SYSTEM.DAT", "longer than its size of 1000"},
        {"EmptyWithACluster", {{At::RootEntry, 0, 28, 4, 0}}, "WIN.INI", "is empty but starts at cluster 2"},
        {"NoClusterForItsBytes", {{At::RootEntry, 0, 26, 2, 0}}, "WIN.INI", "no cluster for its 100 bytes"},
        {"SameNameTwice",
         {{At::RootEntry, 1, 0, 8, 0x20202020204E4957}, {At::RootEntry, 1, 8, 3, 0x494E49}},
         "WIN.INI",
         "a second entry of that name"},
        {"SlashInAName", {{At::RootEntry, 1, 3, 1, '/'}}, "SYS/EM.DAT", "a character no name may hold"},
        {"FatCopiesDiffer", {{At::FirstFatOnly, 3000, 0, 2, 0xFFFF}}, "", "copy 2 of the FAT differs"},
        {"NoSignature", {{At::Boot, 510, 0, 1, 0}}, "", "no 55 AA signature"},
        {"SectorSize", {{At::Boot, 11, 0, 2, 300}}, "", "300 bytes per sector"},
        {"ClusterSize", {{At::Boot, 13, 0, 1, 3}}, "", "3 sectors per cluster"},
        {"NoReservedSector", {{At::Boot, 14, 0, 2, 0}}, "", "reserves no sector"},
        {"NoFat", {{At::Boot, 16, 0, 1, 0}}, "", "0 copies of the FAT"},
        {"NoRootFolder", {{At::Boot, 17, 0, 2, 0}}, "", "root folder no entries"},
        {"LargerThanItsPartition", {{At::Boot, 19, 0, 2, 20000}}, "", "claims 10240000 bytes but"},
        {"FatTooSmall", {{At::Boot, 22, 0, 2, 2}}, "", "too small for"},
        {"Fat32Fields",
         {{At::Boot, 22, 0, 2, 0}, {At::Boot, 17, 0, 2, 0}, {At::Boot, 36, 0, 4, 32}},
         "",
         "not match"}};
    QTemporaryDir dir;
    const QString sound = dir.path() + "/sound.img", image = dir.path() + "/win98.img";
    makeVolume(sound, 16, 8000);
    ASSERT_TRUE(writeBytes(dir.path() + "/WIN.INI", QByteArray(100, 'w')));
    mtool(sound, "mcopy", {dir.path() + "/WIN.INI", kSystemDat, "::/"});
    const QByteArray original = readBytes(sound);
    const auto layout = FatLayout::parse(original, original.size()).value();

    for (const auto& [label, pokes, file, words] : cases) {
        SCOPED_TRACE(label);
        QByteArray bytes = original;
        for (const Poke& p : pokes) {
            std::vector<qint64> offsets{p.place};
            if (p.at == At::Fat || p.at == At::FirstFatOnly)
                offsets = {layout.fatOffset(0) + 2 * p.place, layout.fatOffset(1) + 2 * p.place};
            if (p.at == At::FirstFatOnly)
                offsets.pop_back();
            if (p.at == At::RootEntry)
                offsets = {layout.rootOffset() + 32 * p.place + p.field};
            for (qint64 at : offsets)
                for (int i = 0; i < p.width; ++i)
                    bytes[at + i] = char(p.value >> (8 * i));
        }
        ASSERT_TRUE(writeBytes(image, bytes));
        FileDevice device(image);
        auto volume = FatVolume::open(device);
        const QString reason = volume ? volume->damage() : volume.reason();
        EXPECT_TRUE(reason.startsWith("win98.img: ") && reason.contains(words)) << reason.toStdString();
        if (volume) {
            EXPECT_TRUE(reason.contains("damaged: " + QString(file))) << reason.toStdString();
            EXPECT_FALSE(volume->checkVolume().ok());
            EXPECT_FALSE(volume->replaceFile(u"WIN.INI", "[Ports]\r\n").ok());
            EXPECT_FALSE(volume->replaceFile(u"NEW.INI", "").ok());
            EXPECT_TRUE(*file == '\0' || !volume->readFile(QString(file)).ok());
            EXPECT_TRUE(QString(file) == "WIN.INI" ||
                        volume->readFile(u"win.ini").value() == QByteArray(100, 'w'));
        }
        EXPECT_EQ(device.writes, 0); // the volume reaches the image only through the device
    }
}

// Only a valid 8.3 name is given to a new file; it is stored upper-case.
TEST(FatNames, ShortNamesOfNewFiles)
{
    const std::pair<const char*, const char*> valid[] = {{"win.ini", "WIN     INI"},
                                                         {"A", "A          "},
                                                         {"12345678.123", "12345678123"},
                                                         {"~$a_b-z.{}!", "~$A_B-Z {}!"}};
    for (const auto& [name, raw] : valid) {
        EXPECT_EQ(fatentry::encodeShortName(QString::fromUtf8(name)).value(), raw) << name;
        EXPECT_EQ(fatentry::shortName(raw), QString::fromUtf8(name).toUpper());
    }
    for (const char* name :
         {"123456789", "A.1234", ".INI", "A.", "A B.INI", "A.B.C", "\xC3\xA9.INI", "A*.INI", ""})
        EXPECT_FALSE(fatentry::encodeShortName(QString::fromUtf8(name)).ok()) << name;
}

} // namespace
} // namespace velmora
