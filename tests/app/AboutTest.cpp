#include "app/FrmAbout.h"
#include "platform/Registry.h"
#include "support/RegistryValues.h"
#include "support/WindowTest.h"

#include <QFileInfo>

namespace velmora {
namespace {

const QByteArray kMsinfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const QByteArray kNone; // a missing value

// Real machine and registry; the start of the host process is only recorded.
class AboutTest : public testing::WindowTest {
public:
    AboutTest()
    {
        for (const char* folder : {"MSINFO", "OTHER"})
            machine.writeFile(QStringLiteral("%1/MSINFO32.EXE").arg(folder), QByteArrayLiteral("MZ\x90\x00"));
    }
    frmAbout* about() { return loaded<frmAbout>() ? loaded<frmAbout>() : openFrom<frmAbout>("Command1"); }
    void setValue(const QByteArray& key, const QByteArray& name, const QByteArray& data)
    {
        if (!data.isNull()) {
            ASSERT_EQ(testing::putValue(machine.context().registry, key, name, REG_SZ, data), ERROR_SUCCESS);
        }
    }
};

// The tool's PATH and folder values and what is started (nullptr: the message).
struct SysInfoCase {
    const char* name;
    QByteArray path, folder;
    const char* started;
};

class StartSysInfoTest : public AboutTest, public ::testing::WithParamInterface<SysInfoCase> {};

TEST_P(StartSysInfoTest, StartsTheToolOrSaysItIsUnavailable)
{
    const SysInfoCase& c = GetParam();
    setValue(kMsinfoKey, "PATH", c.path);
    setValue("SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO", c.folder);
    if (!c.started)
        machine.boxes().expect(QStringLiteral("System Information Is Unavailable At This Time"));
    frmAbout* form = about();
    click("Command2");
    machine.boxes().verifyAllShown();
    QStringList started;
    for (const auto& start : machine.launcher().started()) {
        EXPECT_EQ(start.program, machine.wine().program());
        started += start.arguments;
    }
    const QString file = QFileInfo(machine.hostFile(QString::fromLatin1(c.started))).canonicalFilePath();
    EXPECT_EQ(started, c.started ? QStringList{file} : QStringList());
    EXPECT_EQ(loaded<frmAbout>(), form) << "the About box stays open";
    click("Command1"); // its own Close
    EXPECT_EQ(loaded<frmAbout>(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartSysInfoTest,
    ::testing::Values(SysInfoCase{"PathWinsOverTheFolder", "C:\\OTHER\\MSINFO32.EXE", "C:\\MSINFO",
                                  "OTHER/MSINFO32.EXE"},
                      SysInfoCase{"FolderHoldingTheTool", kNone, "C:\\MSINFO", "MSINFO/MSINFO32.EXE"},
                      SysInfoCase{"NoKeysAtAll", kNone, kNone, nullptr},
                      // A path that cannot be started, or one of no bytes, is not made up for by the folder.
                      SysInfoCase{"PathToAMissingFile", "C:\\MISSING\\MSINFO32.EXE", "C:\\MSINFO", nullptr},
                      SysInfoCase{"PathWithoutBytes", "", "C:\\MSINFO", nullptr},
                      SysInfoCase{"FolderWithoutTheTool", kNone, "C:\\WINDOWS", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// How a value's bytes become text is the QueriedValue table's; this proves GetKeyValue uses it
// and covers what is its own: the 1024-byte buffer, missing keys and values, a value of no bytes.
TEST_F(AboutTest, GetKeyValueReadsWhatFitsItsBuffer)
{
    const struct {
        const char *key, *name;
        QByteArray data;
        std::optional<bool> found; // nothing: a failure
        QString expected;
    } cases[] = {
        {"software\\velmora test", "VALUE", QByteArray(1024, 'x'), true, QString(1024, u'x')},
        {"software\\velmora test", "VALUE", QByteArray(1025, 'x'), false, QString()},
        {"software\\velmora test", "Missing", "", false, QString()},
        {"SOFTWARE\\Nowhere", "VALUE", "", false, QString()},
        {"software\\velmora test", "VALUE", "", std::nullopt, QStringLiteral("as it came")},
    };
    for (const auto& c : cases) {
        setValue("SOFTWARE\\Velmora Test", "Value", c.data);
        HKEY root = HKEY_LOCAL_MACHINE;
        QString text = QStringLiteral("as it came");
        const Result<bool> read = about()->GetKeyValue(root, c.key, c.name, text);
        EXPECT_EQ(read.ok() ? std::optional<bool>(read.value()) : std::nullopt, c.found) << c.key << c.name;
        EXPECT_EQ(text, c.expected) << c.key << c.name;
    }
}

} // namespace
} // namespace velmora
