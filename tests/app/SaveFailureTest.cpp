#include "support/WindowTest.h"

#include <QDir>
#include <QSettings>

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
    // A question before the write, answered Yes (its text is its own window's test).
    void answerYes(const char* start, MsgIcon icon)
    {
        machine.boxes().expectStartingWith(QLatin1String(start), icon, MsgButtons::YesNo, MsgAnswer::Yes);
    }
};

// Every way a button writes (buttons sharing one write are tried once): a write that fails is reported with
// what failed and why, no success message follows it, and nothing is written.
TEST_P(SaveFailure, IsReportedInsteadOfTheSuccess)
{
    const FailureCase& c = GetParam();
    const QString& winIni = testing::kWinIni;
    machine.writeFile(winIni, "[Ports]\r\nCOM1:=9600,n,8,1,x\r\n");
    mainWindow();
    if (c.opener)
        click(c.opener);
    window = machine.app().windows().loaded(QString::fromLatin1(c.form));
    ASSERT_NE(window, nullptr);
    if (c.before)
        c.before(*this);
    if (c.broken == Broken::WinIni || c.broken == Broken::Settings) { // a folder where the file belongs
        const QString file = c.broken == Broken::WinIni
                                 ? machine.hostFile(winIni)
                                 : QSettings(QStringLiteral("Velmora"), QStringLiteral("Velmora")).fileName();
        QFile::remove(file);
        ASSERT_TRUE(QDir().mkpath(file));
    } else if (c.broken == Broken::Registry) { // a damaged registry file is never overwritten
        ASSERT_TRUE(
            testing::writeBytes(machine.root() + QStringLiteral("/system.reg"), "not a registry\r\n"));
    } else {
        machine.saveAs().pick(machine.root() + QStringLiteral("/missing/modem.txt"));
    }
    const QByteArray registry = machine.registryBytes();
    machine.boxes().expectStartingWith(c.failure, MsgIcon::Critical);

    click(c.button);
    machine.boxes().verifyAllShown();
    EXPECT_GT(machine.boxes().lastText().size(), c.failure.size() + 2) << "the reason is missing";
    EXPECT_EQ(machine.registryBytes(), registry);
    EXPECT_EQ(QFileInfo(machine.hostFile(winIni)).isDir(), c.broken == Broken::WinIni);
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
    ::testing::Values(FailureCase{"PortApply", "Form1", nullptr, Broken::WinIni,
                                  [](SaveFailure& t) { t.pick("cmbCommPorts", "Com Port 1"); }, "cmdApplyCom",
                                  changeOf("c:\\windows\\win.ini")},
                      FailureCase{"ModemCommandAsked", "Form4", "cmdCustomModemSet", Broken::Registry,
                                  [](SaveFailure& t) {
                                      t.answerYes("By Making your downloads faster", MsgIcon::None);
                                  },
                                  "Command2", serviceValue("Class\\Modem\\0000\\Settings\\Init\\2")},
                      // The first value fails: the three after it are not attempted.
                      FailureCase{"FifoSizes", "Form5", "cmdCustomBufferSet", Broken::Registry,
                                  [](SaveFailure& t) {
                                      t.pick("cmbTx", "1MB");
                                      t.pick("cmbRx", "2MB");
                                  },
                                  "cmdSetFIFOBuff", serviceValue("Serial\\RxFIFO")},
                      FailureCase{"BandwidthOn", "Form6", "cmdBandwidth", Broken::Settings,
                                  [](SaveFailure& t) { t.answerYes("WARNING!!!!", MsgIcon::Critical); },
                                  "Command1", changeOf("Velmora settings")},
                      FailureCase{"ModemReport", "Form2", "cmdModemInfo", Broken::ReportFolder, nullptr,
                                  "Command1", QStringLiteral("The report could not be saved.\n")}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace velmora
