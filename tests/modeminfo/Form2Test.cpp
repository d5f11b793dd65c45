#include "modeminfo/Form2.h"
#include "config/Module2.h"
#include "support/FileFixtures.h"
#include "support/ScriptedSaveAs.h"
#include "support/WindowTest.h"

#include <QLabel>
#include <QTemporaryDir>

namespace velmora {
namespace {

using testing::folderEntries;
using testing::readBytes;
using testing::ScriptedSaveAs;

// A modem as regedit would export it: every row's value present, as text, with the value
// named "1" holding a different text under each of its three keys.
const QByteArray kFullModem =
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Modem\\0000]\r\n"
    "\"Manufacturer\"=\"Hayes\"\r\n"
    "\"Model\"=\"Accura 56K\"\r\n"
    "\"AbortPlay\"=\"<dle>!\"\r\n"
    "\"CallerIDOutSide\"=\"O\"\r\n"
    "\"CallerIDPrivate\"=\"wrong name\"\r\n"
    "\"Caller ID Private\"=\"P\"\r\n"
    "\"ConfigDialog\"=\"modemui.dll\"\r\n"
    "\"Contention\"=\"*vcd\"\r\n"
    "\"DeviceType\"=hex:01\r\n"
    "\"DevLoader\"=\"*vcomm\"\r\n"
    "\"DriverDate\"=\" 6-30-1998\"\r\n"
    "\"DriverDesc\"=\"Caf\xe9 Modem\"\r\n"
    "\"Enumerator\"=\"serwave.vxd\"\r\n"
    "\"EnumPropPages\"=\"serialui.dll,EnumPropPages\"\r\n"
    "\"FriendlyDriver\"=\"unimodem.vxd\"\r\n"
    "\"InfPath\"=\"MDMHAYES.INF\"\r\n"
    "\"InfSection\"=\"Modem12\"\r\n"
    "\"LoggingPath\"=\"C:\\\\WINDOWS\\\\MODEMLOG.TXT\"\r\n"
    "\"MatchingDeviceId\"=\"SERENUM\\\\HAY5601\"\r\n"
    "\"PortConfigDialog\"=\"serialui.dll\"\r\n"
    "\"PortDriver\"=\"serial.vxd\"\r\n"
    "\"ProviderName\"=\"Velmora Labs\"\r\n"
    "\"Reset\"=\"ATZ<cr>\"\r\n"
    "\"TerminatePlay\"=\"<dle>!\"\r\n"
    "\"TerminateRecord\"=\"<dle>!\"\r\n"
    "\"UserInit\"=dword:00004000\r\n"
    "\"VariableTerminator\"=\"<cr><lf>\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Modem\\0000\\Settings\\Init]\r\n"
    "\"1\"=\"AT&F\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Modem\\0000\\Hangup]\r\n"
    "\"1\"=\"ATH0\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Modem\\0000\\Init]\r\n"
    "\"1\"=\"AT<cr>\"\r\n"
    "\"2\"=\"ATE0V1<cr>\"\r\n";

// What the window shows for kFullModem, row by row.
const char* const kFullModemCaptions[] = {
    "Manufacturer - Hayes",
    "Model - Accura 56K",
    "Abort Play - <dle>!",
    "Caller ID Outside - O",
    "Caller ID Private - P",
    "Configuration Dialog - modemui.dll",
    "Contention - *vcd",
    "Device Type - Unknown", // binary
    "Device Loader - *vcomm",
    "Driver Date -  6-30-1998",
    "Driver Description - Caf\u00e9 Modem",
    "Enumerator - serwave.vxd",
    "Enum Prop Pages - serialui.dll,EnumPropPages",
    "Friendly Driver - unimodem.vxd",
    "INF Path - MDMHAYES.INF",
    "INF Section - Modem12",
    "Loggin Path - C:\\WINDOWS\\MODEMLOG.TXT",
    "Matching Device ID - SERENUM\\HAY5601",
    "Port Configuration Dialog - serialui.dll",
    "Port Driver - serial.vxd",
    "Provider Name - Velmora Labs",
    "Reset - ATZ<cr>",
    "Terminate Play- <dle>!",
    "Terminate Record - <dle>!",
    "Extra Initialization Strings - 16384", // a number value
    "Variable Terminator - <cr><lf>",
    "Modem Initialization String - AT&F",
    "HangUp - ATH0",
    "Initialization String 1 - AT<cr>",
    "Initialization String 2 - ATE0V1<cr>",
};

QByteArray crlfLines(const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += line.toLatin1() + "\r\n";
    return bytes;
}

QStringList fullModemCaptions()
{
    QStringList captions;
    for (const char* caption : kFullModemCaptions)
        captions.append(QString::fromUtf8(caption));
    return captions;
}

// The same rows when nothing can be read: each prefix (through its first "- ") and "Unknown".
QStringList allUnknownCaptions()
{
    QStringList captions;
    for (const QString& caption : fullModemCaptions())
        captions.append(caption.left(caption.indexOf(QLatin1String("- ")) + 2) + QStringLiteral("Unknown"));
    return captions;
}

class Form2Test : public testing::WindowTest {
protected:
    Form2Test() { machine.context().saveAs = &saveAs; }

    Form2* open() { return openFrom<Form2>("cmdModemInfo"); }
    QStringList captions()
    {
        QStringList texts;
        for (int row = 1; row <= 30; ++row)
            texts.append(shown(QStringLiteral("Label%1").arg(row)));
        return texts;
    }
    QString reportPath(const QString& name = QStringLiteral("modem.txt")) const
    {
        return reports.path() + QLatin1Char('/') + name;
    }
    void save()
    {
        saveAs.pick(reportPath());
        machine.boxes().expect(QStringLiteral("Information has been saved to ") + reportPath());
        click("Command1");
    }

    ScriptedSaveAs saveAs;
    QTemporaryDir reports;
};

TEST_F(Form2Test, ShowsEveryRowWithItsPrefixAndValue)
{
    machine.writeRegistry(kFullModem);
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(captions(), fullModemCaptions());
}

TEST_F(Form2Test, WithoutAModemEveryRowIsUnknown)
{
    machine.writeRegistry("[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Modem]\r\n");
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(captions(), allUnknownCaptions());
}

TEST_F(Form2Test, ValuesNamedOneComeFromTheirOwnKeys)
{
    // Only Init holds "1": rows 27 and 28 must not pick it up from there.
    machine.writeRegistry(
        "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Modem\\0000\\Init]\r\n"
        "\"1\"=\"AT<cr>\"\r\n");
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(captions().mid(26),
              QStringList({"Modem Initialization String - Unknown", "HangUp - Unknown",
                           "Initialization String 1 - AT<cr>", "Initialization String 2 - Unknown"}));
}

TEST_F(Form2Test, LeavesTheMainWindowEnabledAndReadsOnlyWhenOpening)
{
    machine.writeRegistry(kFullModem);
    expectOpensOnceAndCloses<Form2>("cmdModemInfo", false);

    // The registry changes: the open window keeps what it read, the next opening reads afresh.
    ASSERT_NE(open(), nullptr);
    machine.writeRegistry("");
    click("cmdModemInfo", mainWindow());
    EXPECT_EQ(captions(), fullModemCaptions());
    window->close();
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(captions(), allUnknownCaptions());
}

TEST_F(Form2Test, SharesTheProgramWideReadResult)
{
    machine.writeRegistry(kFullModem);
    ASSERT_NE(open(), nullptr);
    // The last row read was "Initialization String 2".
    EXPECT_EQ(Form2::strRegValue, QStringLiteral("ATE0V1<cr>"));
    EXPECT_EQ(&Form2::strRegValue, &velmora::strRegValue);
}

TEST_F(Form2Test, SavesTheShownLinesByteForByteReplacingAnEarlierFile)
{
    ASSERT_TRUE(testing::writeBytes(reportPath(), QByteArray(5000, 'x')));
    machine.writeRegistry(kFullModem);
    ASSERT_NE(open(), nullptr);
    // The report is what the window shows, even after the registry changed.
    machine.writeRegistry("");
    save();
    EXPECT_EQ(saveAs.lastPattern(), QStringLiteral("*.txt"));
    const QByteArray report = readBytes(reportPath());
    EXPECT_EQ(report, crlfLines(fullModemCaptions()));
    EXPECT_TRUE(report.contains("Driver Description - Caf\xe9 Modem\r\n")); // Windows-1252, one byte
    save();
    EXPECT_EQ(readBytes(reportPath()), report);
    EXPECT_EQ(saveAs.calls(), 2);
}

TEST_F(Form2Test, CancellingWritesAndShowsNothing)
{
    ASSERT_NE(open(), nullptr);
    saveAs.cancel();
    click("Command1");
    EXPECT_EQ(saveAs.calls(), 1);
    EXPECT_TRUE(folderEntries(reports.path()).isEmpty());
    EXPECT_TRUE(machine.boxes().shown().isEmpty());
}

TEST_F(Form2Test, AReportThatCannotBeWrittenIsReported)
{
    const QString folderInTheWay = reportPath(QStringLiteral("taken.txt"));
    ASSERT_TRUE(QDir().mkpath(folderInTheWay + QStringLiteral("/inside")));
    ASSERT_NE(open(), nullptr);
    for (const QString& path : {reportPath(QStringLiteral("no such folder/modem.txt")), folderInTheWay}) {
        SCOPED_TRACE(path.toStdString());
        const QStringList before = folderEntries(reports.path());
        const QString expected =
            QStringLiteral("The report could not be saved.\n") + path + QStringLiteral(": ");
        saveAs.pick(path);
        machine.boxes().expectStartingWith(expected, MsgIcon::Critical);
        click("Command1");
        machine.boxes().verifyAllShown();
        EXPECT_GT(machine.boxes().lastText().size(), expected.size()) << "the reason is missing";
        EXPECT_EQ(folderEntries(reports.path()), before) << "nothing may be left behind";
    }
    EXPECT_EQ(folderEntries(folderInTheWay), QStringList{QStringLiteral("inside")});
    // The window stays usable: the next save works.
    save();
    EXPECT_EQ(readBytes(reportPath()), crlfLines(allUnknownCaptions()));
}

TEST_F(Form2Test, AFailedSaveKeepsTheEarlierReport)
{
    const QByteArray earlier = "an earlier report\r\n";
    ASSERT_TRUE(testing::writeBytes(reportPath(), earlier));
    machine.writeRegistry(kFullModem);
    ASSERT_NE(open(), nullptr);

    // A file-size limit makes the write fail part-way (root cannot be kept out by permissions).
    const QString prefix = QStringLiteral("The report could not be saved.\n") + reportPath() + ": ";
    const int outcome = testing::exitCodeUnderFileSizeLimit(64, [&] {
        saveAs.pick(reportPath());
        machine.boxes().expectStartingWith(prefix, MsgIcon::Critical);
        click("Command1");
        const auto& shown = machine.boxes().shown();
        if (shown.size() != 1 || !shown[0].text.startsWith(prefix) || shown[0].icon != MsgIcon::Critical)
            return 1;
        return readBytes(reportPath()) == earlier ? 0 : 2;
    });
    EXPECT_EQ(outcome, 0) << "1: wrong or missing message, 2: earlier report damaged";
    EXPECT_EQ(readBytes(reportPath()), earlier);
    EXPECT_EQ(folderEntries(reports.path()), QStringList{QStringLiteral("modem.txt")});
}

} // namespace
} // namespace velmora
