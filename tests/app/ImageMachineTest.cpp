#include "buffers/Form5.h"
#include "creg/HiveImage.h"

#include "support/DiskImageFixtures.h"
#include "support/HiveFixtures.h"
#include "support/WindowTest.h"

#include <QProcess>

namespace velmora {
namespace {

using namespace velmora::testing;

// The windows over a disk image, raw or in each container format.
class ImageMachineTest : public WindowTest, public ::testing::WithParamInterface<Format> {
protected:
    ImageMachineTest() : WindowTest([](const QString& root) { buildImage(root, GetParam()); }, imageName()) {}
    static QString imageName() { return infoOf(GetParam()).fileName; }
};

// One window per store works on the image as on a drive folder; QEMU, fsck.fat and mtools then
// find a sound disk holding the changes, SYSTEM.DAT written though read-only, as Windows writes
// it, and keeping its attributes.
TEST_P(ImageMachineTest, TheWindowsSaveIntoTheImage)
{
    ASSERT_NE(mainWindow(), nullptr);
    pick("cmbCommPorts", "Com Port 2");
    type("comBps", "19200");
    clickExpecting("cmdApplyCom", QStringLiteral("Comm Settings have Been Changed!"));
    ASSERT_NE(openFrom<Form5>("cmdCustomBufferSet"), nullptr);
    pick("cmbTx", "4MB");
    pick("cmbRx", "8MB");
    clickExpecting("cmdSetFIFOBuff", QStringLiteral("Receive Buffer and Transmit Buffer have been set!"));

    const QString dir = machine.root(), image = dir + '/' + imageName(), raw = judgedDisk(image, dir);
    expectCleanFileSystem(raw, dir);
    EXPECT_EQ(fileInImage(raw, "WIN98/WIN.INI"), QByteArray("[Ports]\r\nCOM2:=19200,n,8,1,x\r\n"));
    EXPECT_EQ(run("mattrib", {"-i", partitionOf(raw), "::WIN98/SYSTEM.DAT"}).out.simplified(),
              QByteArray("A SHR ::/WIN98/SYSTEM.DAT"));

    const QString hive = dir + "/SYSTEM.DAT.out";
    expectRan(run("mcopy", {"-o", "-i", partitionOf(raw), "::WIN98/SYSTEM.DAT", hive}), "mcopy out");
    const HiveImage parsed = imageOf(readBytes(hive));
    EXPECT_EQ(
        valueIn(parsed, parsed.findKey(folded("System\\CurrentControlSet\\Services\\Serial")), "RxFIFO"),
        std::pair(quint32(REG_DWORD), QByteArray::fromHex("04200000"))); // 8196
    expectReadersAgree(hive, parsed);
    EXPECT_FALSE(QFileInfo::exists(image + ".velmora-undo")) << "a save left its journal behind";
}

INSTANTIATE_TEST_SUITE_P(Formats, ImageMachineTest,
                         ::testing::Values(Format::Raw, Format::Qcow2, Format::Vdi, Format::Vmdk,
                                           Format::FixedVhd, Format::DynamicVhd, Format::Vhdx),
                         [](const auto& info) { return infoOf(info.param).label; });

// The command line works on an image too, and refuses before changing anything an image it must
// not touch, saying why: a virtual machine (any program) with the image open keeps it out, named.
TEST(ImageCommandLineTest, WorksOnImagesAndRefusesWhatItMustNotTouch)
{
    struct Case {
        const char* name;
        const char* arguments;
        std::function<QString(const QString& dir)> image;
        int exitCode;
        const char* out;
        const char* err;
        const char* winIniAfter;    // nullptr: the image is left byte for byte as it was
        const char* held = nullptr; // open in sleep meanwhile: the image (""), or a file beside it
    };
    const auto raw = [](const QString& dir) { return buildImage(dir, Format::Raw); };
    const Case cases[] = {
        {"the partition chosen", "--partition 1 show --json", raw, 0, "\"kind\": \"image\"", "", nullptr},
        {"a sparse VMDK renamed", "show",
         [](const QString& dir) {
             const QString image = buildImage(dir, Format::Vmdk); // its descriptor keeps the old name
             EXPECT_TRUE(QFile::rename(image, dir + "/renamed.vmdk"));
             return dir + "/renamed.vmdk";
         },
         0, "com2                    9600,n,8,1,x", "", nullptr},
        {"sets in a qcow2", "set com1 19200,e,7,1,x",
         [](const QString& dir) { return buildImage(dir, Format::Qcow2); }, 0, "new: 19200,e,7,1,x", "",
         "[Ports]\r\nCOM2:=9600,n,8,1,x\r\nCOM1:=19200,e,7,1,x\r\n"},
        {"in use", "set com1 19200,e,7,1,x", raw, 1, "", "sleep", nullptr, ""},
        {"a flat VMDK's extent in use", "set com1 19200,e,7,1,x",
         [](const QString& dir) {
             const QStringList convert{
                 "convert", "-f", "raw", "-O", "vmdk", "-o", "subformat=monolithicFlat"};
             expectRan(run("qemu-img", convert + QStringList{buildImage(dir, Format::Raw), dir + "/d.vmdk"}),
                       "");
             return dir + "/d.vmdk";
         },
         1, "", "is in use by sleep", nullptr, "d-flat.vmdk"},
        // What was written before a write failed is listed.
        {"a write that fails midway", "set mtu 576 com1 19200,e,7,1,x",
         [](const QString& dir) {
             const QString image = buildImage(dir, Format::Raw);
             expectRan(run("mattrib", {"-i", partitionOf(image), "+r", "::WIN98/WIN.INI"}), "mattrib");
             return image;
         },
         1, "mtu: HKEY_LOCAL_MACHINE", "win.ini could not be written: the file is read-only",
         "[Ports]\r\nCOM2:=9600,n,8,1,x\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir home;
        const QString image = c.image(home.path());
        const QByteArray before = readBytes(image);
        QProcess holder;
        if (c.held) {
            holder.start("sh", {"-c", "exec sleep 60 < \"$0\"", *c.held ? home.filePath(c.held) : image});
            ASSERT_TRUE(holder.waitForStarted());
            QTest::qWait(200); // until sleep has the file open
        }
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path())); // its backups too stay in the test's folder
        const Ran ran =
            run(VELMORA_BINARY, QStringList{"--machine", image} + QString(c.arguments).split(' '));
        qunsetenv("XDG_DATA_HOME");
        holder.kill();
        holder.waitForFinished();
        EXPECT_EQ(ran.code, c.exitCode) << ran.err.constData();
        EXPECT_TRUE(ran.out.contains(c.out)) << ran.out.constData();
        EXPECT_TRUE(ran.err.contains(c.err)) << ran.err.constData();
        EXPECT_TRUE(c.winIniAfter || readBytes(image) == before) << "the image was changed";
        const QString judged = c.winIniAfter ? judgedDisk(image, home.path()) : "";
        if (c.winIniAfter)
            expectCleanFileSystem(judged, home.path());
        EXPECT_TRUE(!c.winIniAfter || fileInImage(judged, "WIN98/WIN.INI") == c.winIniAfter);
    }
}

} // namespace
} // namespace velmora
