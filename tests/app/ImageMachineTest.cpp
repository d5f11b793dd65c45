#include "buffers/Form5.h"
#include "creg/HiveImage.h"

#include "support/DiskImageFixtures.h"
#include "support/HiveFixtures.h"
#include "support/TestMachine.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace velmora {
namespace {

namespace t = velmora::testing;
using namespace velmora::testing;

const QString kSerial = QStringLiteral("System\\CurrentControlSet\\Services\\Serial");

// The program over a disk image, with the test doubles of the other window tests.
class ImageMachineTest : public ::testing::TestWithParam<Format> {
protected:
    ImageMachineTest() : image(buildImage(dir.path(), GetParam()))
    {
        app = std::make_unique<Velmora>(
            image, Edges{boxes, &saveAs, &launcher, {wine.folder()}, wine.folder() + "/prefix"},
            backups.path());
    }

    template <typename T = QWidget> T* control(QWidget* in, const QString& name)
    {
        T* found = in ? in->findChild<T*>(name) : nullptr;
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    QWidget* shown(const QString& form)
    {
        QWidget* window = app->windows().load(form);
        EXPECT_NE(window, nullptr) << form.toStdString();
        if (window && !window->isVisible())
            window->show();
        return window;
    }
    void pick(QWidget* in, const QString& list, const QString& item)
    {
        auto* box = control<QComboBox>(in, list);
        const int index = box ? box->findText(item) : -1;
        ASSERT_GE(index, 0) << item.toStdString();
        box->setCurrentIndex(index);
        emit box->activated(index);
    }
    void click(QWidget* in, const QString& button, const QString& message = {})
    {
        if (!message.isEmpty())
            boxes.expect(message);
        if (QWidget* target = control(in, button))
            QTest::mouseClick(target, Qt::LeftButton);
        boxes.verifyAllShown();
    }

    QTemporaryDir dir, backups;
    QString image;
    t::ScriptedMessageBoxes boxes;
    t::ScriptedSaveAs saveAs;
    t::RecordingLauncher launcher;
    t::WineStandIn wine;
    std::unique_ptr<Velmora> app;
};

// One window per store works on the image as on a drive folder; QEMU, fsck.fat and mtools then
// find a sound disk holding the changes, SYSTEM.DAT keeping its attributes.
TEST_P(ImageMachineTest, TheWindowsSaveIntoTheImage)
{
    QWidget* main = shown("Form1");
    ASSERT_NE(main, nullptr);
    pick(main, "cmbCommPorts", "Com Port 2");
    QWidget* bps = control(main, "comBps");
    auto* list = qobject_cast<QComboBox*>(bps);
    auto* edit = list ? list->lineEdit() : qobject_cast<QLineEdit*>(bps);
    ASSERT_NE(edit, nullptr);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, "19200");
    click(main, "cmdApplyCom", QStringLiteral("Comm Settings have Been Changed!"));

    click(main, "cmdCustomBufferSet");
    QWidget* buffers = app->windows().find<Form5>();
    ASSERT_NE(buffers, nullptr);
    pick(buffers, "cmbTx", "4MB");
    pick(buffers, "cmbRx", "8MB");
    click(buffers, "cmdSetFIFOBuff", QStringLiteral("Receive Buffer and Transmit Buffer have been set!"));

    const QString raw = judgedDisk(image, dir.path());
    expectCleanFileSystem(raw, dir.path());
    EXPECT_EQ(fileInImage(raw, "WIN98/WIN.INI"), QByteArray("[Ports]\r\nCOM2:=19200,n,8,1,x\r\n"));
    EXPECT_EQ(run("mattrib", {"-i", partitionOf(raw), "::WIN98/SYSTEM.DAT"}).out.simplified(),
              QByteArray("A SH ::/WIN98/SYSTEM.DAT"));

    const QString hive = dir.path() + "/SYSTEM.DAT.out";
    expectRan(run("mcopy", {"-o", "-i", partitionOf(raw), "::WIN98/SYSTEM.DAT", hive}), "mcopy out");
    auto parsed = HiveImage::parse(t::readBytes(hive));
    ASSERT_TRUE(parsed) << parsed.reason().toStdString();
    quint32 type = 0;
    QByteArray data;
    ASSERT_TRUE(parsed->readValue(parsed->findKey(kSerial.toLower().toLatin1()), "RxFIFO", type, data));
    EXPECT_EQ(type, quint32(REG_DWORD));
    EXPECT_EQ(data, QByteArray::fromHex("04200000")); // 8196
    t::expectReadersAgree(hive, *parsed);
    EXPECT_FALSE(QFileInfo::exists(image + ".velmora-undo")) << "a save left its journal behind";
}

INSTANTIATE_TEST_SUITE_P(Formats, ImageMachineTest, ::testing::Values(Format::Raw, Format::Qcow2),
                         [](const auto& info) { return info.param == Format::Raw ? "Raw" : "Qcow2"; });

// The command line works on an image too, and refuses before changing anything an image it must
// not touch, saying why.
TEST(ImageCommandLineTest, WorksOnImagesAndRefusesWhatItMustNotTouch)
{
    struct Case {
        const char* name;
        const char* arguments;
        std::function<QString(const QString& dir)> image;
        int exitCode;
        const char* out;
        const char* err;
        const char* winIniAfter; // nullptr: the image is left byte for byte as it was
    };
    const auto raw = [](const QString& dir) { return buildImage(dir, Format::Raw); };
    const Case cases[] = {
        {"shows", "show", raw, 0, "com2                    9600,n,8,1,x", "", nullptr},
        {"sets", "set com1 19200,e,7,1,x", raw, 0, "new: 19200,e,7,1,x", "",
         "[Ports]\r\nCOM2:=9600,n,8,1,x\r\nCOM1:=19200,e,7,1,x\r\n"},
        {"sets in a qcow2", "set com1 19200,e,7,1,x",
         [](const QString& dir) { return buildImage(dir, Format::Qcow2); }, 0, "new: 19200,e,7,1,x", "",
         "[Ports]\r\nCOM2:=9600,n,8,1,x\r\nCOM1:=19200,e,7,1,x\r\n"},
        {"the partition chosen", "--partition 1 show", raw, 0, "com2                    9600,n,8,1,x", "",
         nullptr},
        {"a partition the disk lacks", "--partition 2 show", raw, 1, "", "the disk has no partition 2",
         nullptr},
        {"no Windows on the disk", "show",
         [](const QString& dir) {
             buildRawDisk(dir + "/disk.img", {}, false);
             return dir + "/disk.img";
         },
         1, "", "disk.img", nullptr},
        {"not a disk image", "show",
         [](const QString& dir) {
             t::writeBytes(dir + "/notes.txt", "not a disk");
             return dir + "/notes.txt";
         },
         1, "", "notes.txt", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir home;
        const QString image = c.image(home.path());
        const QByteArray before = t::readBytes(image);
        QStringList arguments{"--machine", image};
        arguments += QString(c.arguments).split(' ');
        const Ran ran = run(VELMORA_BINARY, arguments);
        EXPECT_EQ(ran.code, c.exitCode) << ran.err.constData();
        EXPECT_TRUE(ran.out.contains(c.out)) << ran.out.constData();
        EXPECT_TRUE(ran.err.contains(c.err)) << ran.err.constData();
        if (!c.winIniAfter) {
            EXPECT_TRUE(t::readBytes(image) == before) << "the image was changed";
        } else {
            const QString judged = judgedDisk(image, home.path());
            EXPECT_EQ(fileInImage(judged, "WIN98/WIN.INI"), QByteArray(c.winIniAfter));
            expectCleanFileSystem(judged, home.path());
        }
    }
}

// A virtual machine (any program) with the image open keeps Velmora out of it, named.
TEST(ImageCommandLineTest, AnImageInUseIsRefusedNamingTheProgram)
{
    QTemporaryDir home;
    const QString image = buildImage(home.path(), Format::Raw);
    QProcess holder;
    holder.start("sh", {"-c", "exec sleep 60 < \"$0\"", image});
    ASSERT_TRUE(holder.waitForStarted());
    QTest::qWait(200); // until sleep has the file open
    const Ran ran = run(VELMORA_BINARY, {"--machine", image, "set", "com1", "19200,e,7,1,x"});
    holder.kill();
    holder.waitForFinished();
    EXPECT_EQ(ran.code, 1);
    EXPECT_TRUE(ran.err.contains("sleep")) << ran.err.constData();
    EXPECT_EQ(fileInImage(image, "WIN98/WIN.INI"), QByteArray("[Ports]\r\nCOM2:=9600,n,8,1,x\r\n"));
}

} // namespace
} // namespace velmora
