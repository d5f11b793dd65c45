#include "app/FrmAbout.h"
#include "support/WindowTest.h"

namespace velmora {
namespace {

using AboutTest = testing::WindowTest;

// The tool's PATH and folder values decide what is started, else the message; the About box
// stays open until its own Close. How a value's bytes become text is Module2's read table's;
// what is GetKeyValue's own is its 1024-byte buffer.
TEST_F(AboutTest, SystemInfoStartsTheToolOrSaysItIsUnavailable)
{
    const QByteArray none; // a missing value
    const auto setValue = [this](const QByteArray& key, const QByteArray& name, const QByteArray& data) {
        ASSERT_TRUE(data.isNull() || testing::putValue(machine.app().context().registry, key, name, REG_SZ,
                                                       data) == ERROR_SUCCESS);
    };
    for (const char* folder : {"MSINFO", "OTHER"})
        machine.writeFile(QString("%1/MSINFO32.EXE").arg(folder), QByteArrayLiteral("MZ\x90\x00"));
    const struct {
        QByteArray path, folder;
        const char* started; // nullptr: the message
    } cases[] = {
        {"C:\\OTHER\\MSINFO32.EXE", "C:\\MSINFO", "OTHER/MSINFO32.EXE"}, // the path wins over the folder
        {none, "C:\\MSINFO", "MSINFO/MSINFO32.EXE"},
        // A path that cannot be started, or one of no bytes, is not made up for by the folder.
        {"C:\\MISSING\\MSINFO32.EXE", "C:\\MSINFO", nullptr},
        {"", "C:\\MSINFO", nullptr},
        {none, "C:\\WINDOWS", nullptr},
    };
    frmAbout* about = openFrom<frmAbout>("Command1");
    ASSERT_NE(about, nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString() + " | " + c.folder.toStdString());
        machine.writeRegistry("");
        setValue("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", c.path);
        setValue("SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO", c.folder);
        const qsizetype before = machine.launcher.started().size();
        if (!c.started)
            machine.boxes.expect("System Information Is Unavailable At This Time");
        click("Command2");
        machine.boxes.verifyAllShown();
        QStringList started;
        for (const auto& start : machine.launcher.started().mid(before))
            started += start.arguments; // through Wine: the program starter's table
        const QString file = QFileInfo(machine.hostFile(QString::fromLatin1(c.started))).canonicalFilePath();
        EXPECT_EQ(started, c.started ? QStringList{file} : QStringList());
    }
    HKEY root = HKEY_LOCAL_MACHINE;
    for (const int size : {1024, 1025}) {
        setValue("SOFTWARE\\Velmora Test", "Value", QByteArray(size, 'x'));
        QString text = "as it came";
        const Result<bool> read = about->GetKeyValue(root, "software\\velmora test", "VALUE", text);
        EXPECT_TRUE(read.ok() && read.value() == (size == 1024)) << size;
        EXPECT_EQ(text, size == 1024 ? QString(1024, u'x') : QString()) << size;
    }
    click("Command1");
    EXPECT_EQ(loaded<frmAbout>(), nullptr);
}

} // namespace
} // namespace velmora
