#include "fat/FatNames.h"
#include "fat/FatVolume.h"

#include "disk/DiskTools.h"

namespace velmora {
namespace {

using namespace testing;

enum class At { Boot, Fat, FirstFatOnly, RootEntry };
struct Poke {
    At at;
    qint64 place; // byte of the boot sector or the root folder, or cluster
    int width;
    quint64 value;
};

// A FAT16 volume holding WIN.INI (cluster 2) and SYSTEM.DAT (clusters 3 to 2387), damaged by
// hand: every damage is found, named with the image, the file and the reason, and nothing is
// written; a sound file beside a damaged one still reads.
TEST(FatDamage, DamagedVolumesAreNeverWritten)
{
    const std::tuple<const char*, std::vector<Poke>, const char*, const char*> cases[] = {
        {"Loop", {{At::Fat, 10, 2, 5}}, "SYSTEM.DAT", "its chain loops back to cluster 5"},
        {"OutOfRange", {{At::Fat, 10, 2, 0xFFF0}}, "SYSTEM.DAT", "cluster 65520, outside the volume"},
        {"FreeInChain", {{At::Fat, 10, 2, 0}}, "SYSTEM.DAT", "breaks after cluster 10"},
        {"BadInChain", {{At::Fat, 10, 2, 0xFFF7}}, "SYSTEM.DAT", "runs into a bad cluster"},
        {"CrossLinked", {{At::RootEntry, 26, 2, 2387}}, "WIN.INI", "2387 also belongs to SYSTEM.DAT"},
        {"SizeBeyondChain", {{At::RootEntry, 60, 4, 1225640}}, "SYSTEM.DAT", "shorter than its size"},
        {"ChainBeyondSize", {{At::RootEntry, 60, 4, 1000}}, "SYSTEM.DAT", "longer than its size of 1000"},
        {"EmptyWithACluster", {{At::RootEntry, 28, 4, 0}}, "WIN.INI", "is empty but starts at cluster 2"},
        {"NoClusterForItsBytes", {{At::RootEntry, 26, 2, 0}}, "WIN.INI", "no cluster for its 100 bytes"},
        {"SameNameTwice",
         {{At::RootEntry, 32, 8, 0x20202020204E4957}, {At::RootEntry, 40, 3, 0x494E49}},
         "WIN.INI",
         "a second entry of that name"},
        {"SlashInAName", {{At::RootEntry, 35, 1, '/'}}, "SYS/EM.DAT", "a character no name may hold"},
        {"FatCopiesDiffer", {{At::FirstFatOnly, 3000, 2, 0xFFFF}}, "", "copy 2 of the FAT differs"},
        {"NoSignature", {{At::Boot, 510, 1, 0}}, "", "no 55 AA signature"},
        {"SectorSize", {{At::Boot, 11, 2, 300}}, "", "300 bytes per sector"},
        {"ClusterSize", {{At::Boot, 13, 1, 3}}, "", "3 sectors per cluster"},
        {"NoReservedSector", {{At::Boot, 14, 2, 0}}, "", "reserves no sector"},
        {"NoFat", {{At::Boot, 16, 1, 0}}, "", "0 copies of the FAT"},
        {"NoRootFolder", {{At::Boot, 17, 2, 0}}, "", "root folder no entries"},
        {"LargerThanItsPartition", {{At::Boot, 19, 2, 20000}}, "", "claims 10240000 bytes but"},
        {"FatTooSmall", {{At::Boot, 22, 2, 2}}, "", "too small for"},
        {"Fat32Fields",
         {{At::Boot, 22, 2, 0}, {At::Boot, 17, 2, 0}, {At::Boot, 36, 4, 32}},
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
        for (const auto& [at, place, width, value] : pokes) {
            std::vector<qint64> offsets{at == At::RootEntry ? layout.rootOffset() + place : place};
            if (at == At::Fat || at == At::FirstFatOnly)
                offsets = {layout.fatOffset(0) + 2 * place, layout.fatOffset(1) + 2 * place};
            offsets.resize(at == At::FirstFatOnly ? 1 : offsets.size());
            for (qint64 offset : offsets)
                for (int i = 0; i < width; ++i)
                    bytes[offset + i] = char(value >> (8 * i));
        }
        ASSERT_TRUE(writeBytes(image, bytes));
        FileDevice device(image);
        auto volume = FatVolume::open(device);
        const QString reason = volume ? volume->damage() : volume.reason();
        EXPECT_TRUE(reason.startsWith("win98.img: ") && reason.contains(words)) << reason.toStdString();
        if (volume) {
            EXPECT_TRUE(reason.contains("damaged: " + QString(file))) << reason.toStdString();
            EXPECT_FALSE(volume->checkVolume().ok() || volume->replaceFile(u"WIN.INI", "[Ports]\r\n").ok());
            // The damaged file cannot be read; a sound one beside it can.
            EXPECT_TRUE(
                (*file == '\0' || !volume->readFile(QString(file)).ok()) &&
                (QString(file) == "WIN.INI" || volume->readFile(u"win.ini").value() == QByteArray(100, 'w')));
        }
        EXPECT_EQ(device.writes, 0); // the volume reaches the image only through the device
    }
}

// Only a valid 8.3 name is given to a new file; it is stored upper-case.
TEST(FatNames, ShortNamesOfNewFiles)
{
    QStringList named;
    for (const char* name : {"win.ini", "A", "12345678.123", "~$a_b-z.{}!", "123456789", "A.1234", ".INI",
                             "A.", "A B.INI", "A.B.C", "\xC3\xA9.INI", "A*.INI", ""}) {
        const Result<QByteArray> raw = fatentry::encodeShortName(QString::fromUtf8(name));
        named << (raw ? QString(*raw + '=') + fatentry::shortName(*raw) : "-");
    }
    EXPECT_EQ(named.join('|'), "WIN     INI=WIN.INI|A          =A|12345678123=12345678.123|~$A_B-Z "
                               "{}!=~$A_B-Z.{}!|-|-|-|-|-|-|-|-|-");
}

} // namespace
} // namespace velmora
