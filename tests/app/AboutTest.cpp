#include "app/Form1.h"
#include "app/FrmAbout.h"
#include "platform/ProgramStarter.h"
#include "platform/Registry.h"
#include "support/RecordingLauncher.h"
#include "support/TestMachine.h"
#include "support/WineStandIn.h"

#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using testing::RecordingLauncher;
using testing::TestMachine;
using testing::WineStandIn;

const QString kUnavailable = QStringLiteral("System Information Is Unavailable At This Time");
const QByteArray kMsinfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const QByteArray kLocationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
const QByteArray kPeHead = QByteArrayLiteral("MZ\x90\x00\x03\x00");

QByteArray withZero(QByteArray text) { return text.append('\0'); }

QByteArray dword(quint32 n)
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char((n >> (8 * i)) & 0xFF);
    return bytes;
}

class AboutTest : public ::testing::Test {
public:
    AboutTest()
    {
        // Real machine and registry; only the start of the host process is recorded.
        machine.context().programs = &starter;
        about = qobject_cast<frmAbout*>(machine.app().windows().show(QStringLiteral("frmAbout")));
    }

    RegistryApi& registry() { return *machine.context().registry; }

    void setValue(const QByteArray& key, const QByteArray& name, quint32 type, const QByteArray& data)
    {
        HKEY handle = 0;
        ASSERT_EQ(registry().RegCreateKeyA(HKEY_LOCAL_MACHINE, key, &handle), ERROR_SUCCESS);
        ASSERT_EQ(registry().RegSetValueExA(handle, name, 0, type, reinterpret_cast<const quint8*>(data.constData()),
                                            quint32(data.size())),
                  ERROR_SUCCESS);
        registry().RegCloseKey(handle);
    }

    // The host path a Windows program of the machine is started by.
    QString startedFile(const QString& relative) const
    {
        return QFileInfo(machine.hostFile(relative)).canonicalFilePath();
    }

    QStringList startedFiles() const
    {
        QStringList files;
        for (const auto& start : launcher.started()) {
            EXPECT_EQ(start.program, wine.program());
            files += start.arguments;
        }
        return files;
    }

    TestMachine machine;
    RecordingLauncher launcher;
    WineStandIn wine;
    ProgramStarter starter{machine.app().machine(), &launcher, {wine.folder()}};
    frmAbout* about = nullptr;
};

TEST_F(AboutTest, LooksAsDesigned)
{
    ASSERT_NE(about, nullptr);
    ASSERT_NE(machine.context().registry, nullptr);
    EXPECT_EQ(about->windowTitle().toStdString(), "About Velmora");
    EXPECT_TRUE(about->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(about->palette().color(QPalette::Window), QColor(Qt::black));

    auto* label1 = about->findChild<QLabel*>(QStringLiteral("Label1"));
    auto* label6 = about->findChild<QLabel*>(QStringLiteral("Label6"));
    ASSERT_TRUE(label1 && label6);
    EXPECT_EQ(label1->text().toStdString(), "Velmora 1.2");
    EXPECT_TRUE(label6->text().contains(QStringLiteral("download")));
    EXPECT_GE(label6->height(), label6->heightForWidth(label6->width())) << "description clipped";
    EXPECT_EQ(label1->palette().color(QPalette::WindowText), QColor(0xFF, 0xFF, 0x00));

    const struct {
        const char* name;
        const char* caption;
        const char* tooltip;
    } buttons[] = {{"Command1", "Close", "Click to Close"},
                   {"Command2", "System Info", "Click to see your system info!!"}};
    for (const auto& b : buttons) {
        auto* button = about->findChild<QPushButton*>(QString::fromLatin1(b.name));
        ASSERT_NE(button, nullptr) << b.name;
        EXPECT_EQ(button->text().toStdString(), b.caption);
        EXPECT_EQ(button->toolTip().toStdString(), b.tooltip);
        EXPECT_TRUE(about->rect().contains(button->geometry())) << b.name;
    }

    auto* shape = about->findChild<QFrame*>(QStringLiteral("Shape1"));
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(shape->geometry(), about->rect());
    EXPECT_EQ(shape->palette().color(QPalette::WindowText), QColor(0xFF, 0x00, 0x00));
}

TEST_F(AboutTest, OpensBesideAnEnabledMainWindowOnlyOnceAndCloses)
{
    auto* main = qobject_cast<Form1*>(machine.app().windows().load(QStringLiteral("Form1")));
    ASSERT_NE(main, nullptr);
    machine.app().windows().loaded(QStringLiteral("splash"))->close();
    ASSERT_TRUE(main->isVisible());
    QTest::mouseClick(main->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
    QTest::mouseClick(main->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
    EXPECT_EQ(machine.app().windows().loaded(QStringLiteral("frmAbout")), about);
    EXPECT_TRUE(main->isEnabled());

    QTest::mouseClick(about->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
    EXPECT_EQ(machine.app().windows().loaded(QStringLiteral("frmAbout")), nullptr);
    EXPECT_TRUE(main->isEnabled());
}

TEST_F(AboutTest, SystemInfoStartsTheToolWithoutAMessageAndStaysOpen)
{
    machine.writeFile(QStringLiteral("Program Files/MSInfo/MSINFO32.EXE"), kPeHead);
    setValue(kMsinfoKey, "PATH", REG_SZ, withZero("C:\\Program Files\\MSInfo\\MSINFO32.EXE"));

    QTest::mouseClick(about->findChild<QPushButton*>(QStringLiteral("Command2")), Qt::LeftButton);
    EXPECT_EQ(startedFiles(), QStringList{startedFile(QStringLiteral("Program Files/MSInfo/MSINFO32.EXE"))});
    EXPECT_TRUE(machine.boxes().shown().isEmpty());
    EXPECT_EQ(machine.app().windows().loaded(QStringLiteral("frmAbout")), about);
    EXPECT_TRUE(about->isVisible());
}

// Each registry and file set-up, and what StartSysInfo starts (nothing: the message).
struct SysInfoCase {
    const char* name;
    std::function<void(AboutTest&)> setUp;
    const char* started; // file under drive C, or nullptr
};

class StartSysInfoTest : public AboutTest, public ::testing::WithParamInterface<SysInfoCase> {};

TEST_P(StartSysInfoTest, StartsTheToolOrSaysItIsUnavailable)
{
    machine.writeFile(QStringLiteral("MSINFO/MSINFO32.EXE"), kPeHead);
    machine.writeFile(QStringLiteral("OTHER/MSINFO32.EXE"), kPeHead);
    machine.writeFile(QStringLiteral("EMPTY/README.TXT"), "no tool here");
    GetParam().setUp(*this);
    if (!GetParam().started)
        machine.boxes().expect(kUnavailable);

    about->StartSysInfo();

    machine.boxes().verifyAllShown();
    if (GetParam().started)
        EXPECT_EQ(startedFiles(), QStringList{startedFile(QString::fromLatin1(GetParam().started))});
    else
        EXPECT_TRUE(launcher.started().isEmpty());
}

void path(AboutTest& t, const QByteArray& text) { t.setValue(kMsinfoKey, "PATH", REG_SZ, text); }
void folder(AboutTest& t, const QByteArray& text) { t.setValue(kLocationKey, "MSINFO", REG_SZ, text); }

INSTANTIATE_TEST_SUITE_P(
    Cases, StartSysInfoTest,
    ::testing::Values(
        SysInfoCase{"PathValue", [](AboutTest& t) { path(t, withZero("c:\\msinfo\\msinfo32.exe")); },
                    "MSINFO/MSINFO32.EXE"},
        SysInfoCase{"PathWinsOverTheFolder",
                    [](AboutTest& t) {
                        path(t, "C:\\OTHER\\MSINFO32.EXE");
                        folder(t, "C:\\MSINFO");
                    },
                    "OTHER/MSINFO32.EXE"},
        SysInfoCase{"FolderHoldingTheTool", [](AboutTest& t) { folder(t, withZero("C:\\MSINFO")); },
                    "MSINFO/MSINFO32.EXE"},
        SysInfoCase{"NoKeysAtAll", [](AboutTest&) {}, nullptr},
        SysInfoCase{"KeyWithoutThePathValue",
                    [](AboutTest& t) { t.setValue(kMsinfoKey, "Other", REG_SZ, "c:\\msinfo\\msinfo32.exe"); },
                    nullptr},
        // The path is not checked before the start, and a failed start does not fall back.
        SysInfoCase{"PathToAMissingFile",
                    [](AboutTest& t) {
                        path(t, "C:\\MISSING\\MSINFO32.EXE");
                        folder(t, "C:\\MSINFO");
                    },
                    nullptr},
        SysInfoCase{"ExpandableTextPathCountsAsFoundButEmpty",
                    [](AboutTest& t) {
                        t.setValue(kMsinfoKey, "PATH", REG_EXPAND_SZ, withZero("C:\\MSINFO\\MSINFO32.EXE"));
                        folder(t, "C:\\MSINFO");
                    },
                    nullptr},
        SysInfoCase{"FolderWithoutTheTool", [](AboutTest& t) { folder(t, "C:\\EMPTY"); }, nullptr},
        SysInfoCase{"FolderThatIsMissing", [](AboutTest& t) { folder(t, "C:\\NOWHERE"); }, nullptr},
        SysInfoCase{"FolderAsANumber", [](AboutTest& t) { t.setValue(kLocationKey, "MSINFO", REG_DWORD, dword(7)); },
                    nullptr},
        // Registry data that tries to reach the host: nothing is started.
        SysInfoCase{"PathIsAHostProgram", [](AboutTest& t) { path(t, "/bin/sh"); }, nullptr},
        SysInfoCase{"PathClimbsOut", [](AboutTest& t) { path(t, "..\\..\\"); }, nullptr},
        SysInfoCase{"PathClimbsOutOfDriveC", [](AboutTest& t) { path(t, "c:\\..\\..\\..\\bin\\sh"); }, nullptr},
        SysInfoCase{"PathIsAFolder", [](AboutTest& t) { path(t, "c:\\msinfo"); }, nullptr},
        SysInfoCase{"PathIsOnAnotherDrive", [](AboutTest& t) { path(t, "d:\\msinfo\\msinfo32.exe"); }, nullptr},
        SysInfoCase{"PathIsAnEmptyText", [](AboutTest& t) { path(t, QByteArray()); }, nullptr},
        SysInfoCase{"PathIsJustATerminator", [](AboutTest& t) { path(t, QByteArray(1, '\0')); }, nullptr},
        SysInfoCase{"PathOf1024Bytes", [](AboutTest& t) { path(t, "c:\\" + QByteArray(1021, 'a')); }, nullptr},
        SysInfoCase{"PathOver1024Bytes", [](AboutTest& t) { path(t, "c:\\" + QByteArray(2000, 'a')); }, nullptr},
        SysInfoCase{"FolderIsOnTheHost", [](AboutTest& t) { folder(t, "/usr/bin"); }, nullptr},
        SysInfoCase{"FolderClimbsOut", [](AboutTest& t) { folder(t, "c:\\..\\..\\..\\usr\\bin"); }, nullptr},
        // Too long to read, so the folder is asked next, as for a missing value.
        SysInfoCase{"PathOver1024BytesFallsBackToTheFolder",
                    [](AboutTest& t) {
                        path(t, "c:\\" + QByteArray(2000, 'a'));
                        folder(t, "c:\\msinfo");
                    },
                    "MSINFO/MSINFO32.EXE"}),
    [](const ::testing::TestParamInfo<SysInfoCase>& info) { return std::string(info.param.name); });

TEST_F(AboutTest, NoToolIsStartedWithoutWineOrWhenTheStartFails)
{
    machine.writeFile(QStringLiteral("MSINFO/MSINFO32.EXE"), kPeHead);
    path(*this, "c:\\msinfo\\msinfo32.exe");

    ProgramStarter noWine(machine.app().machine(), &launcher, {machine.root() + QStringLiteral("/nowhere")});
    machine.context().programs = &noWine;
    machine.boxes().expect(kUnavailable);
    about->StartSysInfo();
    EXPECT_TRUE(launcher.started().isEmpty());

    machine.context().programs = &starter;
    launcher.failWith(QStringLiteral("no such program"));
    machine.boxes().expect(kUnavailable);
    about->StartSysInfo();
    EXPECT_EQ(launcher.started().size(), 1);
    machine.boxes().verifyAllShown();
}

struct KeyValueCase {
    const char* name;
    quint32 type;
    QByteArray data;
    QString expected;
};

TEST_F(AboutTest, GetKeyValueTakesTheValueAsFarAsItsTypeAllows)
{
    const KeyValueCase cases[] = {
        {"text with its terminating zero", REG_SZ, withZero("C:\\MSINFO"), QStringLiteral("C:\\MSINFO")},
        {"text without one", REG_SZ, "C:\\MSINFO", QStringLiteral("C:\\MSINFO")},
        {"only the last zero goes", REG_SZ, QByteArray("ab\0\0", 4), QStringLiteral("ab") + QChar(0)},
        {"a zero inside stays", REG_SZ, QByteArray("a\0b", 3), QStringLiteral("a") + QChar(0) + QStringLiteral("b")},
        {"ANSI text", REG_SZ, "Caf\xe9", QStringLiteral("Caf\u00e9")},
        {"1024 bytes fill the buffer", REG_SZ, QByteArray(1024, 'x'), QString(1024, u'x')},
        {"number", REG_DWORD, dword(256), QStringLiteral("256")},
        {"number zero", REG_DWORD, dword(0), QStringLiteral("0")},
        {"large number", REG_DWORD, dword(0xFFFFFFFF), QStringLiteral("4294967295")},
        {"bytes leave the text as it came", REG_BINARY, "\x01\x02", QStringLiteral("as it came")},
        {"expandable text too", REG_EXPAND_SZ, withZero("%windir%"), QStringLiteral("as it came")},
    };
    for (const KeyValueCase& c : cases) {
        setValue("SOFTWARE\\Velmora Test", "Value", c.type, c.data);
        HKEY root = HKEY_LOCAL_MACHINE;
        QString text = QStringLiteral("as it came");
        EXPECT_TRUE(about->GetKeyValue(root, QStringLiteral("software\\velmora test"), QStringLiteral("VALUE"), text))
            << c.name;
        EXPECT_EQ(text, c.expected) << c.name;
    }
}

TEST_F(AboutTest, GetKeyValueFailsWithAnEmptyText)
{
    setValue("SOFTWARE\\Velmora Test", "Long", REG_SZ, QByteArray(1025, 'x'));
    const struct {
        const char* name;
        const char* key;
        const char* value;
    } cases[] = {
        {"missing key", "SOFTWARE\\Nowhere", "Value"},
        {"missing value", "SOFTWARE\\Velmora Test", "Missing"},
        {"value longer than the buffer", "SOFTWARE\\Velmora Test", "Long"},
    };
    for (const auto& c : cases) {
        HKEY root = HKEY_LOCAL_MACHINE;
        QString text = QStringLiteral("old");
        EXPECT_FALSE(about->GetKeyValue(root, QString::fromLatin1(c.key), QString::fromLatin1(c.value), text))
            << c.name;
        EXPECT_TRUE(text.isEmpty()) << c.name;
    }
}

TEST_F(AboutTest, GetKeyValueRaisesAnErrorForAValueWithoutBytes)
{
    setValue("SOFTWARE\\Velmora Test", "Empty", REG_SZ, QByteArray());
    HKEY root = HKEY_LOCAL_MACHINE;
    QString text;
    EXPECT_THROW(about->GetKeyValue(root, QStringLiteral("SOFTWARE\\Velmora Test"), QStringLiteral("Empty"), text),
                 KeyValueError);
}

} // namespace
} // namespace velmora
