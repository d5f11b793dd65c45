#include "modeminfo/Form2.h"
#include "support/FileFixtures.h"
#include "support/RegistryValues.h"
#include "support/ScriptedSaveAs.h"
#include "support/WindowTest.h"

#include <QTemporaryDir>

namespace velmora {
namespace {

// Each row of the window, "value|caption prefix", the value under the modem's key unless it
// names a key below it. The value "1" sits under three keys: each row must take its own.
const char* const kRows[] = {"Manufacturer|Manufacturer - ",
                             "Model|Model - ",
                             "AbortPlay|Abort Play - ",
                             "CallerIDOutSide|Caller ID Outside - ",
                             "Caller ID Private|Caller ID Private - ",
                             "ConfigDialog|Configuration Dialog - ",
                             "Contention|Contention - ",
                             "DeviceType|Device Type - ",
                             "DevLoader|Device Loader - ",
                             "DriverDate|Driver Date - ",
                             "DriverDesc|Driver Description - ",
                             "Enumerator|Enumerator - ",
                             "EnumPropPages|Enum Prop Pages - ",
                             "FriendlyDriver|Friendly Driver - ",
                             "InfPath|INF Path - ",
                             "InfSection|INF Section - ",
                             "LoggingPath|Loggin Path - ",
                             "MatchingDeviceId|Matching Device ID - ",
                             "PortConfigDialog|Port Configuration Dialog - ",
                             "PortDriver|Port Driver - ",
                             "ProviderName|Provider Name - ",
                             "Reset|Reset - ",
                             "TerminatePlay|Terminate Play- ",
                             "TerminateRecord|Terminate Record - ",
                             "UserInit|Extra Initialization Strings - ",
                             "VariableTerminator|Variable Terminator - ",
                             "\\Settings\\Init\\1|Modem Initialization String - ",
                             "\\Hangup\\1|HangUp - ",
                             "\\Init\\1|Initialization String 1 - ",
                             "\\Init\\2|Initialization String 2 - "};
constexpr int kRowCount = int(std::size(kRows));

class Form2Test : public testing::WindowTest {
protected:
    Form2Test() { machine.context().saveAs = &saveAs; }

    // What a row shows: its value "Caf<e9> 0" (ANSI) for the first row, "v1", "v2", ... after.
    static QByteArray valueOf(int row) { return (row ? "v" : "Caf\xe9 ") + QByteArray::number(row); }
    static QStringList captions(bool stored)
    {
        QStringList texts;
        for (int row = 0; row < kRowCount; ++row)
            texts.append(QString::fromLatin1(kRows[row]).section('|', 1) +
                         (stored ? QString::fromLatin1(valueOf(row)) : QStringLiteral("Unknown")));
        return texts;
    }
    QStringList shownCaptions()
    {
        QStringList texts;
        for (int row = 1; row <= kRowCount; ++row)
            texts.append(shown(QStringLiteral("Label%1").arg(row)));
        return texts;
    }

    testing::ScriptedSaveAs saveAs;
    QTemporaryDir reports;
};

// Read once, when the window opens: the report saves what it shows, byte for byte, even after
// the registry changed; a registry changed meanwhile shows at the next opening.
TEST_F(Form2Test, ShowsAndSavesEveryRowAsReadWhenOpening)
{
    for (int row = 0; row < kRowCount; ++row) {
        const QByteArray path = QByteArray(kRows[row]).split('|')[0];
        const qsizetype slash = path.lastIndexOf('\\');
        ASSERT_EQ(
            testing::putValue(*machine.context().registry,
                              "System\\CurrentControlSet\\Services\\Class\\Modem\\0000" + path.left(slash),
                              path.mid(slash + 1), REG_SZ, valueOf(row)),
            ERROR_SUCCESS);
    }
    ASSERT_NE(openFrom<Form2>("cmdModemInfo"), nullptr);
    EXPECT_EQ(shownCaptions(), captions(true));
    machine.writeRegistry("");
    click("cmdModemInfo", mainWindow());
    EXPECT_EQ(shownCaptions(), captions(true));

    saveAs.cancel();
    click("Command1");
    EXPECT_TRUE(testing::folderEntries(reports.path()).isEmpty());
    const QString path = reports.path() + QStringLiteral("/modem.txt");
    ASSERT_TRUE(testing::writeBytes(path, QByteArray(5000, 'x')));
    saveAs.pick(path);
    machine.boxes().expect(QStringLiteral("Information has been saved to ") + path);
    click("Command1");
    EXPECT_EQ(saveAs.lastPattern(), QStringLiteral("*.txt"));
    QByteArray expected;
    for (const QString& line : captions(true))
        expected += line.toLatin1() + "\r\n"; // Windows-1252: one byte for the e acute
    EXPECT_EQ(testing::readBytes(path), expected);

    window->close();
    ASSERT_NE(openFrom<Form2>("cmdModemInfo"), nullptr);
    EXPECT_EQ(shownCaptions(), captions(false));
}

} // namespace
} // namespace velmora
