#include "app/FrmAbout.h"
#include "platform/ProgramStarter.h"
#include "platform/Registry.h"
#include "support/RecordingLauncher.h"
#include "support/RegistryValues.h"
#include "support/WindowTest.h"
#include "support/WineStandIn.h"

#include <QFileInfo>

namespace velmora {
namespace {

using testing::RecordingLauncher;
using testing::WineStandIn;

const QString kUnavailable = QStringLiteral("System Information Is Unavailable At This Time");
const QByteArray kMsinfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const QByteArray kLocationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
const QByteArray kPeHead = QByteArrayLiteral("MZ\x90\x00\x03\x00");

QByteArray withZero(QByteArray text)
{
    return text.append('\0');
}

class AboutTest : public testing::WindowTest {
public:
    AboutTest()
    {
        // Real machine and registry; only the start of the host process is recorded.
        machine.context().programs = &starter;
        machine.writeFile(QStringLiteral("MSINFO/MSINFO32.EXE"), kPeHead);
        machine.writeFile(QStringLiteral("OTHER/MSINFO32.EXE"), kPeHead);
    }

    frmAbout* about() { return loaded<frmAbout>() ? loaded<frmAbout>() : openFrom<frmAbout>("Command1"); }

    void setValue(const QByteArray& key, const QByteArray& name, quint32 type, const QByteArray& data)
    {
        ASSERT_EQ(testing::putValue(*machine.context().registry, key, name, type, data), ERROR_SUCCESS);
    }

    // The files of drive C that were started, each through Wine.
    QStringList startedFiles() const
    {
        QStringList files;
        for (const auto& start : launcher.started()) {
            EXPECT_EQ(start.program, wine.program());
            files += start.arguments;
        }
        return files;
    }
    QString hostFile(const char* relative) const
    {
        return QFileInfo(machine.hostFile(QString::fromLatin1(relative))).canonicalFilePath();
    }

    RecordingLauncher launcher;
    WineStandIn wine;
    ProgramStarter starter{machine.app().machine(), &launcher, {wine.folder()}, machine.root() + "/wine"};
};

// The tool's PATH and folder values (null: missing) and what is started (nullptr: the message).
struct SysInfoCase {
    const char* name;
    QByteArray path;
    QByteArray folder;
    const char* started;
    quint32 pathType = REG_SZ;
};

class StartSysInfoTest : public AboutTest, public ::testing::WithParamInterface<SysInfoCase> {};

TEST_P(StartSysInfoTest, StartsTheToolOrSaysItIsUnavailable)
{
    const SysInfoCase& c = GetParam();
    if (!c.path.isNull())
        setValue(kMsinfoKey, "PATH", c.pathType, c.path);
    if (!c.folder.isNull())
        setValue(kLocationKey, "MSINFO", REG_SZ, c.folder);
    if (!c.started)
        machine.boxes().expect(kUnavailable);
    frmAbout* form = about();
    click("Command2");
    machine.boxes().verifyAllShown();
    EXPECT_EQ(startedFiles(), c.started ? QStringList{hostFile(c.started)} : QStringList());
    EXPECT_EQ(loaded<frmAbout>(), form) << "the About box stays open";
}

const QByteArray kNone; // a missing value

INSTANTIATE_TEST_SUITE_P(
    Cases, StartSysInfoTest,
    ::testing::Values(
        SysInfoCase{"PathValue", withZero("c:\\msinfo\\msinfo32.exe"), kNone, "MSINFO/MSINFO32.EXE"},
        SysInfoCase{"PathWinsOverTheFolder", "C:\\OTHER\\MSINFO32.EXE", "C:\\MSINFO", "OTHER/MSINFO32.EXE"},
        SysInfoCase{"FolderHoldingTheTool", kNone, withZero("C:\\MSINFO"), "MSINFO/MSINFO32.EXE"},
        SysInfoCase{"NoKeysAtAll", kNone, kNone, nullptr},
        // A path that cannot be started is not made up for by the folder.
        SysInfoCase{"PathToAMissingFile", "C:\\MISSING\\MSINFO32.EXE", "C:\\MSINFO", nullptr},
        SysInfoCase{"ExpandableTextPathCountsAsFoundButEmpty", withZero("C:\\MSINFO\\MSINFO32.EXE"),
                    "C:\\MSINFO", nullptr, REG_EXPAND_SZ},
        SysInfoCase{"FolderWithoutTheTool", kNone, "C:\\WINDOWS", nullptr},
        SysInfoCase{"PathWithoutBytesIsNotMadeUpForByTheFolder", "", "C:\\MSINFO", nullptr},
        // Too long to read, so the folder is asked next, as for a missing value.
        SysInfoCase{"PathOver1024BytesFallsBackToTheFolder", "c:\\" + QByteArray(2000, 'a'), "c:\\msinfo",
                    "MSINFO/MSINFO32.EXE"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AboutTest, AStartThatFailsSaysTheToolIsUnavailable)
{
    setValue(kMsinfoKey, "PATH", REG_SZ, "c:\\msinfo\\msinfo32.exe");
    launcher.failWith(QStringLiteral("no such program"));
    machine.boxes().expect(kUnavailable);
    about()->StartSysInfo();
    EXPECT_EQ(launcher.started().size(), 1);
    click("Command1"); // its own Close
    EXPECT_EQ(loaded<frmAbout>(), nullptr);
}

// How a value's bytes become text is the QueriedValue table's; this proves GetKeyValue uses it
// and covers what is its own: the 1024-byte buffer, missing keys and values, a value of no bytes.
TEST_F(AboutTest, GetKeyValueReadsWhatFitsItsBuffer)
{
    const struct {
        const char* name;
        QByteArray data;           // null: the value is missing
        std::optional<bool> found; // nothing: a failure
        QString expected;
    } cases[] = {
        {"text with its terminating zero", withZero("C:\\MSINFO"), true, QStringLiteral("C:\\MSINFO")},
        {"1024 bytes fill the buffer", QByteArray(1024, 'x'), true, QString(1024, u'x')},
        {"too long to read", QByteArray(1025, 'x'), false, QString()},
        {"missing value", QByteArray(), false, QString()},
        {"no bytes at all", "", std::nullopt, QStringLiteral("as it came")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString name = c.data.isNull() ? QStringLiteral("Missing") : QStringLiteral("VALUE");
        if (!c.data.isNull())
            setValue("SOFTWARE\\Velmora Test", "Value", REG_SZ, c.data);
        HKEY root = HKEY_LOCAL_MACHINE;
        QString text = QStringLiteral("as it came");
        const Result<bool> read =
            about()->GetKeyValue(root, QStringLiteral("software\\velmora test"), name, text);
        EXPECT_EQ(read.ok() ? std::optional<bool>(read.value()) : std::nullopt, c.found);
        EXPECT_EQ(text, c.expected);
    }
    HKEY root = HKEY_LOCAL_MACHINE;
    QString text = QStringLiteral("old");
    const Result<bool> read = about()->GetKeyValue(root, QStringLiteral("SOFTWARE\\Nowhere"), "Value", text);
    EXPECT_TRUE(read.ok() && !read.value() && text.isEmpty());
}

} // namespace
} // namespace velmora
