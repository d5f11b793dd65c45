#include "support/ScriptedSaveAs.h"
#include "support/WindowTest.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

namespace velmora {
namespace {

// What a test breaks so that the write behind a button fails.
enum class Broken { WinIni, Registry, Settings, ReportFolder };

class SaveFailure;

struct FailureCase {
    const char* name;
    const char* form;   // the window holding the button
    const char* opener; // the main window's button that opens it; nullptr: the main window
    Broken broken;
    void (*before)(SaveFailure&); // picks, and the question asked before writing
    const char* button;
    QString failure; // how the message starts
};

class SaveFailure : public testing::WindowTest, public ::testing::WithParamInterface<FailureCase> {
public:
    using WindowTest::pick;
    testing::ScriptedMessageBoxes& boxes() { return machine.boxes(); }

protected:
    ~SaveFailure() override { QDir(settingsFile()).removeRecursively(); }
    static QString settingsFile()
    {
        return QSettings(QStringLiteral("Velmora"), QStringLiteral("Velmora")).fileName();
    }

    testing::ScriptedSaveAs& saveAs = machine.saveAs();
    QTemporaryDir reports;
};

// Every way a button writes (buttons sharing one write are tried once): a write that fails is reported with
// what failed and why, no success message follows it, and nothing is written.
TEST_P(SaveFailure, IsReportedInsteadOfTheSuccess)
{
    const FailureCase& c = GetParam();
    const QString winIni = QStringLiteral("WINDOWS/WIN.INI");
    machine.writeFile(winIni, "[Ports]\r\nCOM1:=9600,n,8,1,x\r\n");
    mainWindow();
    if (c.opener)
        click(c.opener);
    window = machine.app().windows().loaded(QString::fromLatin1(c.form));
    ASSERT_NE(window, nullptr);
    if (c.before)
        c.before(*this);
    switch (c.broken) {
    case Broken::WinIni:
        QFile::remove(machine.hostFile(winIni)); // a folder where the file belongs
        ASSERT_TRUE(QDir().mkpath(machine.hostFile(winIni)));
        break;
    case Broken::Registry: // a damaged registry file is never overwritten
        machine.damageRegistry();
        break;
    case Broken::Settings:
        QFile::remove(settingsFile());
        ASSERT_TRUE(QDir().mkpath(settingsFile()));
        break;
    case Broken::ReportFolder:
        saveAs.pick(reports.path() + QStringLiteral("/missing/modem.txt"));
        break;
    }
    const QByteArray registry = machine.registryBytes();
    const QString& failure = c.failure;
    machine.boxes().expectStartingWith(failure, MsgIcon::Critical);

    click(c.button);
    machine.boxes().verifyAllShown();
    EXPECT_GT(machine.boxes().lastText().size(), failure.size() + 2) << "the reason is missing";
    EXPECT_EQ(machine.registryBytes(), registry);
    EXPECT_TRUE(QFileInfo(machine.hostFile(winIni)).isDir() == (c.broken == Broken::WinIni));
}

void pickPort(SaveFailure& test)
{
    test.pick("cmbCommPorts", "Com Port 1");
}
void pickSizes(SaveFailure& test)
{
    test.pick("cmbTx", "1MB");
    test.pick("cmbRx", "2MB");
}
void modemQuestion(SaveFailure& test)
{
    test.boxes().expect(QStringLiteral("By Making your downloads faster, the 'Time Remaining' will be "
                                       "inaccurate\r\nProceede?"),
                        MsgIcon::None, MsgButtons::YesNo, MsgAnswer::Yes);
}
void bandwidthWarning(SaveFailure& test)
{
    test.boxes().expect(QStringLiteral("WARNING!!!!: This option may not work on your modem! Infact, it may "
                                       "Damage your modem by overloading it, and it may overheat!"),
                        MsgIcon::Critical, MsgButtons::YesNo, MsgAnswer::Yes);
}

QString changeOf(const char* what)
{
    return QStringLiteral("The change could not be saved.\n") + QLatin1String(what) + QStringLiteral(": ");
}
QString serviceValue(const char* keyAndName)
{
    return changeOf(QByteArray("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\") + keyAndName);
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, SaveFailure,
    ::testing::Values(FailureCase{"PortApply", "Form1", nullptr, Broken::WinIni, pickPort, "cmdApplyCom",
                                  changeOf("c:\\windows\\win.ini")},
                      FailureCase{"ModemCommandAsked", "Form4", "cmdCustomModemSet", Broken::Registry,
                                  modemQuestion, "Command2",
                                  serviceValue("Class\\Modem\\0000\\Settings\\Init\\2")},
                      // The first value fails: the three after it are not attempted.
                      FailureCase{"FifoSizes", "Form5", "cmdCustomBufferSet", Broken::Registry, pickSizes,
                                  "cmdSetFIFOBuff", serviceValue("Serial\\RxFIFO")},
                      FailureCase{"BandwidthOn", "Form6", "cmdBandwidth", Broken::Settings, bandwidthWarning,
                                  "Command1", changeOf("Velmora settings")},
                      FailureCase{"ModemReport", "Form2", "cmdModemInfo", Broken::ReportFolder, nullptr,
                                  "Command1", QStringLiteral("The report could not be saved.\n")}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace velmora
