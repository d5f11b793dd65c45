#include "modeminfo/Form2.h"
#include "app/Form1.h"
#include "config/Module2.h"
#include "platform/FileFixtures.h"
#include "support/ScriptedSaveAs.h"
#include "support/TestMachine.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using testing::ScriptedSaveAs;
using testing::TestMachine;

// A modem as regedit would export it: every row's value present, as text, with the value
// named "1" holding a different text under each of its three keys.
const QByteArray kFullModem =
    "REGEDIT4\r\n"
    "\r\n"
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

class Form2Test : public ::testing::Test {
protected:
    Form2Test() { machine.context().saveAs = &saveAs; }

    void writeRegistry(const QByteArray& text) const
    {
        ASSERT_TRUE(testing::writeBytes(machine.root() + QStringLiteral("/system.reg"), text));
    }

    Form1* openMainWindow()
    {
        auto* main = qobject_cast<Form1*>(machine.app().windows().load(QStringLiteral("Form1")));
        EXPECT_NE(main, nullptr);
        if (main)
            main->show();
        return main;
    }

    // Opens the window as the user does, from the main window's "Modem Info".
    Form2* openModemInfo()
    {
        Form1* main = openMainWindow();
        if (!main)
            return nullptr;
        QTest::mouseClick(main->findChild<QPushButton*>(QStringLiteral("cmdModemInfo")), Qt::LeftButton);
        auto* form = machine.app().windows().find<Form2>();
        EXPECT_NE(form, nullptr);
        return form;
    }

    QStringList captions(Form2* form) const
    {
        QStringList texts;
        for (int row = 1; row <= 30; ++row) {
            auto* label = form->findChild<QLabel*>(QStringLiteral("Label%1").arg(row));
            texts.append(label ? label->text() : QStringLiteral("<no Label%1>").arg(row));
        }
        return texts;
    }

    void clickSave(Form2* form)
    {
        QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
    }

    QString reportPath(const QString& name = QStringLiteral("modem.txt")) const
    {
        return reports.path() + QLatin1Char('/') + name;
    }

    ScriptedSaveAs saveAs;
    TestMachine machine;
    QTemporaryDir reports;
};

TEST_F(Form2Test, ShowsEveryRowWithItsPrefixAndValue)
{
    writeRegistry(kFullModem);
    Form2* form = openModemInfo();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(captions(form), fullModemCaptions());
}

TEST_F(Form2Test, WithoutAModemEveryRowIsUnknown)
{
    writeRegistry(
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Modem]\r\n");
    Form2* form = openModemInfo();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(captions(form), allUnknownCaptions());
}

TEST_F(Form2Test, ValuesNamedOneComeFromTheirOwnKeys)
{
    // Only Init holds "1": rows 27 and 28 must not pick it up from there.
    writeRegistry("REGEDIT4\r\n\r\n"
                  "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Modem\\0000\\Init]\r\n"
                  "\"1\"=\"AT<cr>\"\r\n");
    Form2* form = openModemInfo();
    ASSERT_NE(form, nullptr);
    const QStringList texts = captions(form);
    EXPECT_EQ(texts[26], QStringLiteral("Modem Initialization String - Unknown"));
    EXPECT_EQ(texts[27], QStringLiteral("HangUp - Unknown"));
    EXPECT_EQ(texts[28], QStringLiteral("Initialization String 1 - AT<cr>"));
    EXPECT_EQ(texts[29], QStringLiteral("Initialization String 2 - Unknown"));
}

TEST_F(Form2Test, LabelsSitInTwoColumnsAndShowTheirWholeText)
{
    writeRegistry(kFullModem);
    Form2* form = openModemInfo();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Velmora - Modem Info"));
    EXPECT_EQ(form->size(), QSize(725, 395));
    for (int row = 1; row <= 30; ++row) {
        auto* label = form->findChild<QLabel*>(QStringLiteral("Label%1").arg(row));
        ASSERT_NE(label, nullptr) << row;
        const QPoint expected = row <= 19 ? QPoint(8, 8 + 16 * (row - 1)) : QPoint(368, 8 + 16 * (row - 20));
        EXPECT_EQ(label->pos(), expected) << "Label" << row;
        EXPECT_GE(label->width(), label->sizeHint().width()) << "Label" << row;
    }
    auto* save = form->findChild<QPushButton*>(QStringLiteral("Command1"));
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(save->text(), QStringLiteral("Save to File"));
    EXPECT_EQ(save->toolTip(), QStringLiteral("Click to save this information to a file"));
    EXPECT_EQ(save->geometry(), QRect(600, 360, 121, 25));
}

TEST_F(Form2Test, LeavesTheMainWindowEnabledAndLoadsOnlyOnce)
{
    writeRegistry(kFullModem);
    Form2* form = openModemInfo();
    ASSERT_NE(form, nullptr);
    Form1* main = machine.app().windows().find<Form1>();
    EXPECT_TRUE(main->isEnabled());

    // The registry changes; a second click only shows the open window, without reading again.
    writeRegistry("REGEDIT4\r\n\r\n");
    QTest::mouseClick(main->findChild<QPushButton*>(QStringLiteral("cmdModemInfo")), Qt::LeftButton);
    EXPECT_EQ(machine.app().windows().find<Form2>(), form);
    EXPECT_EQ(captions(form), fullModemCaptions());

    form->close();
    EXPECT_TRUE(main->isEnabled());
    EXPECT_EQ(machine.app().windows().find<Form2>(), nullptr);

    // The next opening reads afresh.
    QTest::mouseClick(main->findChild<QPushButton*>(QStringLiteral("cmdModemInfo")), Qt::LeftButton);
    Form2* reopened = machine.app().windows().find<Form2>();
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(captions(reopened), allUnknownCaptions());
}

TEST_F(Form2Test, SharesTheProgramWideReadResult)
{
    writeRegistry(kFullModem);
    ASSERT_NE(openModemInfo(), nullptr);
    // The last row read was "Initialization String 2".
    EXPECT_EQ(Form2::strRegValue, QStringLiteral("ATE0V1<cr>"));
    EXPECT_EQ(&Form2::strRegValue, &velmora::strRegValue);
}

TEST_F(Form2Test, SavesTheShownLinesByteForByte)
{
    writeRegistry(kFullModem);
    Form2* form = openModemInfo();
    ASSERT_NE(form, nullptr);
    // The report is what the window shows, even after the registry changed.
    writeRegistry("REGEDIT4\r\n\r\n");

    saveAs.pick(reportPath());
    machine.boxes().expect(QStringLiteral("Information has been saved to ") + reportPath());
    clickSave(form);

    EXPECT_EQ(saveAs.calls(), 1);
    EXPECT_EQ(saveAs.lastPattern(), QStringLiteral("*.txt"));
    const QByteArray report = testing::readBytes(reportPath());
    EXPECT_EQ(report, crlfLines(fullModemCaptions()));
    EXPECT_TRUE(report.contains("Driver Description - Caf\xe9 Modem\r\n")); // Windows-1252, one byte
    EXPECT_EQ(report.count("\r\n"), 30);
}

TEST_F(Form2Test, SavesThirtyLinesWhenEverythingIsUnknown)
{
    Form2* form = openModemInfo();
    ASSERT_NE(form, nullptr);
    saveAs.pick(reportPath());
    machine.boxes().expect(QStringLiteral("Information has been saved to ") + reportPath());
    clickSave(form);
    EXPECT_EQ(testing::readBytes(reportPath()), crlfLines(allUnknownCaptions()));
}

TEST_F(Form2Test, SavingAgainReplacesTheFile)
{
    writeRegistry(kFullModem);
    ASSERT_TRUE(testing::writeBytes(reportPath(), QByteArray(5000, 'x')));
    Form2* form = openModemInfo();
    ASSERT_NE(form, nullptr);

    for (int i = 0; i < 2; ++i) {
        saveAs.pick(reportPath());
        machine.boxes().expect(QStringLiteral("Information has been saved to ") + reportPath());
        clickSave(form);
    }
    EXPECT_EQ(testing::readBytes(reportPath()), crlfLines(fullModemCaptions()));
}

TEST_F(Form2Test, CancellingWritesAndShowsNothing)
{
    Form2* form = openModemInfo();
    ASSERT_NE(form, nullptr);
    saveAs.cancel();
    clickSave(form);
    EXPECT_EQ(saveAs.calls(), 1);
    EXPECT_TRUE(testing::folderEntries(reports.path()).isEmpty());
    EXPECT_TRUE(machine.boxes().shown().isEmpty());
}

TEST_F(Form2Test, AReportThatCannotBeWrittenIsReported)
{
    struct Case {
        const char* name;
        QString path;
        std::function<void()> prepare;
    };
    const QString folderInTheWay = reportPath(QStringLiteral("taken.txt"));
    const Case cases[] = {
        {"missing folder", reportPath(QStringLiteral("no such folder/modem.txt")), [] {}},
        {"a folder in the file's place", folderInTheWay, [&] { QDir().mkpath(folderInTheWay + "/inside"); }},
    };
    Form2* form = openModemInfo();
    ASSERT_NE(form, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.prepare();
        const QStringList before = testing::folderEntries(reports.path());
        saveAs.pick(c.path);
        machine.boxes().expectStartingWith(QStringLiteral("The report could not be saved.\n") + c.path + ": ",
                                           MsgIcon::Critical);
        clickSave(form);
        machine.boxes().verifyAllShown();
        EXPECT_GT(machine.boxes().lastText().size(),
                  (QStringLiteral("The report could not be saved.\n") + c.path + ": ").size())
            << "the reason is missing";
        EXPECT_EQ(testing::folderEntries(reports.path()), before) << "nothing may be left behind";
    }
    EXPECT_EQ(testing::folderEntries(folderInTheWay), QStringList{QStringLiteral("inside")});
    // The window stays usable: the next save works.
    saveAs.pick(reportPath());
    machine.boxes().expect(QStringLiteral("Information has been saved to ") + reportPath());
    clickSave(form);
    EXPECT_EQ(testing::readBytes(reportPath()), crlfLines(allUnknownCaptions()));
}

TEST_F(Form2Test, AFailedSaveKeepsTheEarlierReport)
{
    const QByteArray earlier = "an earlier report\r\n";
    ASSERT_TRUE(testing::writeBytes(reportPath(), earlier));
    writeRegistry(kFullModem);
    Form2* form = openModemInfo();
    ASSERT_NE(form, nullptr);

    // A file-size limit makes the write fail part-way (root cannot be kept out by permissions).
    const QString prefix = QStringLiteral("The report could not be saved.\n") + reportPath() + ": ";
    const int outcome = testing::exitCodeUnderFileSizeLimit(64, [&] {
        saveAs.pick(reportPath());
        machine.boxes().expectStartingWith(prefix, MsgIcon::Critical);
        clickSave(form);
        const auto& shown = machine.boxes().shown();
        if (shown.size() != 1 || !shown[0].text.startsWith(prefix) || shown[0].icon != MsgIcon::Critical)
            return 1;
        return testing::readBytes(reportPath()) == earlier ? 0 : 2;
    });
    EXPECT_EQ(outcome, 0) << "1: wrong or missing message, 2: earlier report damaged";
    EXPECT_EQ(testing::readBytes(reportPath()), earlier);
    EXPECT_EQ(testing::folderEntries(reports.path()), QStringList{QStringLiteral("modem.txt")});
}

} // namespace
} // namespace velmora
