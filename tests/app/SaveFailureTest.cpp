#include "support/WindowTest.h"

#include <QSettings>

namespace velmora {
namespace {

// What a test breaks so that the write behind a button fails.
enum class Broken { WinIni, Registry, Settings, ReportFolder };

struct FailureCase {
    const char* form;     // the window holding the button
    const char* opener;   // the main window's button that opens it; nullptr: the main window
    const char* picks;    // "list:item;list:item", made before writing
    const char* question; // how the question before writing starts, answered Yes (its text is its window's)
    MsgIcon questionIcon;
    Broken broken;
    const char* button;
    QString failure; // how the message starts
};

class SaveFailure : public testing::WindowTest, public ::testing::WithParamInterface<FailureCase> {};

// Every way a button writes (buttons sharing one write are tried once): a write that fails is reported with
// what failed and why (the boxes' double insists on a reason after the prefix), no success message follows
// it, and nothing is written.
TEST_P(SaveFailure, IsReportedInsteadOfTheSuccess)
{
    const FailureCase& c = GetParam();
    machine.writeFile(testing::kWinIni, "[Ports]\r\nCOM1:=9600,n,8,1,x\r\n");
    mainWindow();
    if (c.opener)
        click(c.opener);
    window = machine.app().windows().loaded(QString::fromLatin1(c.form));
    ASSERT_NE(window, nullptr);
    for (const QString& choice : QString(c.picks).split(';', Qt::SkipEmptyParts))
        pick(choice.section(':', 0, 0), choice.section(':', 1));
    if (c.question)
        machine.boxes.expect(c.question, c.questionIcon, MsgButtons::YesNo, MsgAnswer::Yes, true);
    if (c.broken == Broken::WinIni || c.broken == Broken::Settings) { // a folder where the file belongs
        const QString file = c.broken == Broken::WinIni ? machine.hostFile(testing::kWinIni)
                                                        : QSettings("Velmora", "Velmora").fileName();
        QFile::remove(file);
        ASSERT_TRUE(QDir().mkpath(file));
    } else if (c.broken == Broken::Registry) { // a damaged registry file is never overwritten
        ASSERT_TRUE(testing::writeBytes(machine.root() + "/system.reg", "not a registry\r\n"));
    } else {
        machine.saveAs.pick(machine.root() + "/missing/modem.txt");
    }
    const QByteArray registry = machine.registryBytes();
    machine.boxes.expect(c.failure, MsgIcon::Critical, MsgButtons::Ok, MsgAnswer::Ok, true);

    click(c.button);
    machine.boxes.verifyAllShown();
    EXPECT_EQ(machine.registryBytes(), registry);
    EXPECT_EQ(QFileInfo(machine.hostFile(testing::kWinIni)).isDir(), c.broken == Broken::WinIni);
}

const QString kNotSaved = "The change could not be saved.\n";
const QString kService = kNotSaved + "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\";
// Why a damaged registry takes no value: its own reason, not that of a key it could not open.
const QString kDamaged = ": system.reg line 1: not a REGEDIT4 file";

const FailureCase kCases[] = {
    {"Form1", nullptr, "cmbCommPorts:Com Port 1", nullptr, MsgIcon::None, Broken::WinIni, "cmdApplyCom",
     kNotSaved + "c:\\windows\\win.ini: "},
    {"Form4", "cmdCustomModemSet", "", "By Making your downloads faster", MsgIcon::None, Broken::Registry,
     "Command2", kService + "Class\\Modem\\0000\\Settings\\Init\\2" + kDamaged},
    // The first value fails: the three after it are not attempted.
    {"Form5", "cmdCustomBufferSet", "cmbTx:1MB;cmbRx:2MB", nullptr, MsgIcon::None, Broken::Registry,
     "cmdSetFIFOBuff", kService + "Serial\\RxFIFO" + kDamaged},
    {"Form6", "cmdBandwidth", "", "WARNING!!!!", MsgIcon::Critical, Broken::Settings, "Command1",
     kNotSaved + "Velmora settings: "},
    {"Form2", "cmdModemInfo", "", nullptr, MsgIcon::None, Broken::ReportFolder, "Command1",
     "The report could not be saved.\n"},
};
INSTANTIATE_TEST_SUITE_P(Buttons, SaveFailure, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.form); });

} // namespace
} // namespace velmora
