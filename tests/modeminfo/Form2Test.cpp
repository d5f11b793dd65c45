#include "modeminfo/Form2.h"
#include "support/FileFixtures.h"
#include "support/RegistryValues.h"
#include "support/ScriptedSaveAs.h"
#include "support/WindowTest.h"

#include <QTemporaryDir>

namespace velmora {
namespace {

// Each row of the window: the value it shows (under the modem's key or a key below it) and
// the caption's prefix. The value "1" sits under three keys, each row must take its own.
const struct {
    const char* key;
    const char* value;
    const char* prefix;
} kRows[] = {
    {"", "Manufacturer", "Manufacturer - "},
    {"", "Model", "Model - "},
    {"", "AbortPlay", "Abort Play - "},
    {"", "CallerIDOutSide", "Caller ID Outside - "},
    {"", "Caller ID Private", "Caller ID Private - "},
    {"", "ConfigDialog", "Configuration Dialog - "},
    {"", "Contention", "Contention - "},
    {"", "DeviceType", "Device Type - "},
    {"", "DevLoader", "Device Loader - "},
    {"", "DriverDate", "Driver Date - "},
    {"", "DriverDesc", "Driver Description - "},
    {"", "Enumerator", "Enumerator - "},
    {"", "EnumPropPages", "Enum Prop Pages - "},
    {"", "FriendlyDriver", "Friendly Driver - "},
    {"", "InfPath", "INF Path - "},
    {"", "InfSection", "INF Section - "},
    {"", "LoggingPath", "Loggin Path - "},
    {"", "MatchingDeviceId", "Matching Device ID - "},
    {"", "PortConfigDialog", "Port Configuration Dialog - "},
    {"", "PortDriver", "Port Driver - "},
    {"", "ProviderName", "Provider Name - "},
    {"", "Reset", "Reset - "},
    {"", "TerminatePlay", "Terminate Play- "},
    {"", "TerminateRecord", "Terminate Record - "},
    {"", "UserInit", "Extra Initialization Strings - "},
    {"", "VariableTerminator", "Variable Terminator - "},
    {"\\Settings\\Init", "1", "Modem Initialization String - "},
    {"\\Hangup", "1", "HangUp - "},
    {"\\Init", "1", "Initialization String 1 - "},
    {"\\Init", "2", "Initialization String 2 - "},
};

class Form2Test : public testing::WindowTest {
protected:
    Form2* open() { return openFrom<Form2>("cmdModemInfo"); }
    // Every row's value stored as a text of its own: "Caf<e9> 0" (ANSI), "v1", "v2", ...
    void storeModem()
    {
        for (int row = 0; row < int(std::size(kRows)); ++row)
            ASSERT_EQ(testing::putValue(machine.context().registry,
                                        "System\\CurrentControlSet\\Services\\Class\\Modem\\0000" +
                                            QByteArray(kRows[row].key),
                                        kRows[row].value, REG_SZ,
                                        (row ? "v" : "Caf\xe9 ") + QByteArray::number(row)),
                      ERROR_SUCCESS);
    }
    static QStringList captions(bool stored)
    {
        QStringList texts;
        for (int row = 0; row < int(std::size(kRows)); ++row)
            texts.append(QString::fromLatin1(kRows[row].prefix) +
                         (!stored ? QStringLiteral("Unknown")
                                  : (row ? QStringLiteral("v") : QStringLiteral("Caf\u00e9 ")) +
                                        QString::number(row)));
        return texts;
    }
    QStringList shownCaptions()
    {
        QStringList texts;
        for (int row = 1; row <= 30; ++row)
            texts.append(shown(QStringLiteral("Label%1").arg(row)));
        return texts;
    }

    testing::ScriptedSaveAs& saveAs = machine.saveAs();
    QTemporaryDir reports;
};

// Read once, when the window opens: a registry changed meanwhile shows at the next opening.
TEST_F(Form2Test, ShowsEveryRowWithItsPrefixAndValueAsReadWhenOpening)
{
    storeModem();
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(shownCaptions(), captions(true));
    machine.writeRegistry("");
    click("cmdModemInfo", mainWindow());
    EXPECT_EQ(shownCaptions(), captions(true));
    window->close();
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(shownCaptions(), captions(false));
}

TEST_F(Form2Test, SavesTheShownLinesByteForByteOrNothingWhenCancelled)
{
    storeModem();
    ASSERT_NE(open(), nullptr);
    saveAs.cancel();
    click("Command1");
    EXPECT_TRUE(testing::folderEntries(reports.path()).isEmpty());

    const QString path = reports.path() + QStringLiteral("/modem.txt");
    ASSERT_TRUE(testing::writeBytes(path, QByteArray(5000, 'x')));
    machine.writeRegistry(""); // the report is what the window shows, not a fresh reading
    saveAs.pick(path);
    machine.boxes().expect(QStringLiteral("Information has been saved to ") + path);
    click("Command1");
    EXPECT_EQ(saveAs.lastPattern(), QStringLiteral("*.txt"));
    QByteArray expected = "Manufacturer - Caf\xe9 0\r\n"; // Windows-1252: one byte
    for (const QString& line : captions(true).mid(1))
        expected += line.toLatin1() + "\r\n";
    EXPECT_EQ(testing::readBytes(path), expected);
}

} // namespace
} // namespace velmora
