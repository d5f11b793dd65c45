#include "modeminfo/Form2.h"
#include "support/WindowTest.h"

namespace velmora {
namespace {

using Form2Test = testing::WindowTest;

// The value "1" sits under three keys: each row takes its own; a missing value shows "Unknown".
// Read once, when the window opens: the report saves what it shows, byte for byte, even after
// the registry changed; a registry changed meanwhile shows at the next opening.
TEST_F(Form2Test, ShowsAndSavesEveryRowAsReadWhenOpening)
{
    const QByteArray modem =
        "\r\n[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Modem\\0000";
    machine.writeRegistry(modem + "]\r\n\"Manufacturer\"=\"Caf\xe9\"\r\n" + modem +
                          "\\Settings\\Init]\r\n\"1\"=\"S1\"\r\n" + modem + "\\Hangup]\r\n\"1\"=\"H1\"\r\n" +
                          modem + "\\Init]\r\n\"1\"=\"I1\"\r\n\"2\"=\"I2\"\r\n");
    QStringList labels;
    for (int row = 1; row <= 30; ++row)
        labels.append(QString("Label%1").arg(row));
    ASSERT_NE(openFrom<Form2>("cmdModemInfo"), nullptr);
    const QStringList captions = shownTexts(labels);
    EXPECT_EQ(captions.mid(0, 2), (QStringList{"Manufacturer - Caf\u00e9", "Model - Unknown"}));
    EXPECT_EQ(captions.mid(26),
              (QStringList{"Modem Initialization String - S1", "HangUp - H1", "Initialization String 1 - I1",
                           "Initialization String 2 - I2"}));
    machine.writeRegistry("");
    click("cmdModemInfo", mainWindow());
    EXPECT_EQ(shownTexts(labels), captions);

    const QString reports = machine.root() + "/reports";
    machine.saveAs.cancel();
    click("Command1");
    EXPECT_TRUE(testing::folderEntries(reports).isEmpty());
    const QString path = reports + "/modem.txt";
    ASSERT_TRUE(testing::writeBytes(path, QByteArray(5000, 'x')));
    machine.saveAs.pick(path);
    clickExpecting("Command1", "Information has been saved to " + path);
    EXPECT_EQ(testing::readBytes(path), (captions.join("\r\n") + "\r\n").toLatin1()); // Windows-1252

    window->close();
    ASSERT_NE(openFrom<Form2>("cmdModemInfo"), nullptr);
    EXPECT_EQ(shown("Label1"), "Manufacturer - Unknown");
}

} // namespace
} // namespace velmora
